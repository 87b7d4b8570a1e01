#include "client/cli/session_commands.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "client/cli/console_ui.h"
#include "client/session/host_record.h"
#include "client/session/password.h"
#include "client/session/session_store.h"
#include "client/session/settings_pages.h"

namespace tarn::cli {

namespace {

// The options of "session add" and "session edit"; unset ones leave the
// page values as they are.
struct SessionOptions {
  std::optional<std::string> host, port, user, hostDir, localDir, connectVia;
  std::optional<LogonChoice> logon;
  std::optional<bool> savePassword, account;
  std::optional<DefaultTransfer> transfer;
  std::optional<int> firewall;  // -1 = off
  std::optional<std::string> fwHost, fwPort, fwUser;
  bool fwPassword = false;      // read the firewall password anew
  std::optional<int> tls;       // -1 = off, else the security type
  std::optional<int> strength;
  std::optional<bool> accept[4];  // expired, self-signed, future, invalid
  std::optional<std::string> cert;
  bool yes = false;             // "session rm" without asking
  bool any = false;             // some option of add/edit was given
  std::vector<std::string> words;
};

constexpr const char* kAcceptNames[] = {"expired", "self-signed", "future", "invalid"};

// The stored spelling of a session's name: keys are found ignoring letter
// case, and a session keeps the name it was made with.
std::string StoredName(platform::Registry& reg, const std::string& typed) {
  platform::RegKey sessions;
  std::vector<std::string> names;
  if (reg.OpenKey(kSessionsKey, &sessions) == platform::RegStatus::kOk) reg.EnumKeys(sessions, &names);
  for (const auto& n : names) {
    if (n.size() != typed.size()) continue;
    bool same = true;
    for (size_t i = 0; i < n.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(n[i])) == std::toupper(static_cast<unsigned char>(typed[i]));
    if (same) return n;
  }
  return typed;
}

class Command {
 public:
  Command(SessionCommandContext& ctx, std::string sub) : ctx_(ctx), sub_(std::move(sub)) {}

  bool Usage(const std::string& text) {
    std::fprintf(ctx_.err, "tarn-cli: session %s: %s\n", sub_.c_str(), text.c_str());
    return false;
  }

  // Reads the words after the subcommand into `o`; false (with the message
  // written) on a malformed option.
  bool Parse(const std::vector<std::string>& args, SessionOptions* o) {
    for (size_t i = 0; i < args.size(); ++i) {
      std::string a = args[i];
      if (a.size() < 2 || a[0] != '-' || a == "--") {
        o->words.push_back(a);
        continue;
      }
      std::optional<std::string> inlineValue;
      if (size_t eq = a.find('='); a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
        inlineValue = a.substr(eq + 1);
        a.resize(eq);
      }
      auto value = [&](std::optional<std::string>* into) {
        if (inlineValue) {
          *into = *inlineValue;
        } else if (i + 1 < args.size()) {
          *into = args[++i];
        } else {
          return Usage(a + " needs a value");
        }
        o->any = true;
        return true;
      };
      auto flag = [&]() {
        if (inlineValue) return Usage(a + " takes no value");
        o->any = true;
        return true;
      };
      std::optional<std::string> v;
      if (a == "--host") {
        if (!value(&o->host)) return false;
      } else if (a == "--port") {
        if (!value(&o->port)) return false;
      } else if (a == "--anonymous" || a == "--prompt") {
        if (!flag()) return false;
        o->logon = a == "--anonymous" ? LogonChoice::kAnonymous : LogonChoice::kPrompt;
        o->user.reset();
      } else if (a == "--user") {
        if (!value(&o->user)) return false;
        o->logon = LogonChoice::kSpecify;
      } else if (a == "--save-password" || a == "--no-save-password") {
        if (!flag()) return false;
        o->savePassword = a == "--save-password";
      } else if (a == "--account" || a == "--no-account") {
        if (!flag()) return false;
        o->account = a == "--account";
      } else if (a == "--host-dir") {
        if (!value(&o->hostDir)) return false;
      } else if (a == "--local-dir") {
        if (!value(&o->localDir)) return false;
      } else if (a == "--transfer") {
        if (!value(&v)) return false;
        if (*v == "auto" || *v == "detect") o->transfer = DefaultTransfer::kAuto;
        else if (*v == "binary") o->transfer = DefaultTransfer::kBinary;
        else if (*v == "ascii") o->transfer = DefaultTransfer::kAscii;
        else return Usage("--transfer takes auto, binary or ascii");
      } else if (a == "--connect-via") {
        if (!value(&v)) return false;
        if (*v == "auto") v = kConnectAutoDetect;
        if (*v == "network") v = kConnectNetwork;
        bool known = false;
        for (const auto& item : ConnectViaItems(ctx_.dialUpEntries)) known = known || item == *v;
        if (!known)
          return Usage("--connect-via takes auto or network" +
                       std::string(ctx_.dialUpEntries.empty() ? " (this system has no dial-up entries)"
                                                              : " or a dial-up entry's name"));
        o->connectVia = v;
      } else if (a == "--firewall") {
        if (!value(&v)) return false;
        if (*v == "off" || *v == "none") {
          o->firewall = -1;
        } else if (!v->empty() && v->size() <= 9 && v->find_first_not_of("0123456789") == std::string::npos) {
          o->firewall = std::atoi(v->c_str());
        } else {
          return Usage("--firewall takes 0, 1, 2, 3 or off");
        }
      } else if (a == "--fw-host") {
        if (!value(&o->fwHost)) return false;
      } else if (a == "--fw-port") {
        if (!value(&o->fwPort)) return false;
      } else if (a == "--fw-user") {
        if (!value(&o->fwUser)) return false;
      } else if (a == "--fw-password") {
        if (!flag()) return false;
        o->fwPassword = true;
      } else if (a == "--tls") {
        if (!value(&v)) return false;
        if (*v == "max") o->tls = 0;
        else if (*v == "partial") o->tls = 1;
        else if (*v == "off") o->tls = -1;
        else return Usage("--tls takes max, partial or off");
      } else if (a == "--cipher-strength") {
        if (!value(&v)) return false;
        if (v->size() != 1 || (*v)[0] < '0' || (*v)[0] > '3')
          return Usage("--cipher-strength takes 0, 1, 2 or 3");
        o->strength = (*v)[0] - '0';
      } else if (a == "--cert") {
        if (!value(&o->cert)) return false;
      } else if (a == "--yes" || a == "-y") {
        if (inlineValue) return Usage(a + " takes no value");
        o->yes = true;
      } else {
        bool matched = false;
        for (int k = 0; k < 4 && !matched; ++k) {
          if (a == std::string("--accept-") + kAcceptNames[k] ||
              a == std::string("--no-accept-") + kAcceptNames[k]) {
            if (!flag()) return false;
            o->accept[k] = a.compare(0, 5, "--no-") != 0;
            matched = true;
          }
        }
        if (!matched) return Usage("unknown option " + a + " (see session --help)");
      }
    }
    return true;
  }

  // The options over the pages of the session being made or changed.
  bool Apply(const SessionOptions& o, SessionPages* p) {
    SessionPageValues& s = p->session;
    if (o.host) s.hostName = *o.host;
    if (o.port) s.port = *o.port;
    if (o.logon) ChooseLogon(&s, *o.logon);
    if (o.user) s.userName = *o.user;
    if (o.savePassword) {
      if (*o.savePassword && s.logon != LogonChoice::kSpecify)
        return Usage("--save-password needs a user name (--user)");
      s.savePasswords = *o.savePassword;
    }
    if (o.account && *o.account && !SessionEnabling(s).secrets)
      return Usage("--account is saved with the password: it needs --save-password");
    if (o.hostDir) s.hostDir = *o.hostDir;
    if (o.localDir) s.localDir = *o.localDir;
    if (o.transfer) s.transfer = *o.transfer;
    if (o.connectVia) s.connectVia = *o.connectVia;

    FirewallPageValues& f = p->firewall;
    if (o.firewall) {
      SetUseFirewall(&f, *o.firewall >= 0);
      if (*o.firewall >= 0) f.type = *o.firewall;
    }
    if ((o.fwHost || o.fwPort || o.fwUser || o.fwPassword) && !f.useFirewall)
      return Usage("the firewall options need a firewall (--firewall 0..3)");
    const FirewallPageEnabling fon = FirewallEnabling(f);
    const std::string typeName = f.type >= 0 && f.type <= 3 ? kFirewallTypeItems[f.type] : "?";
    if (o.fwUser && !fon.user)
      return Usage("firewall type " + std::to_string(f.type) + " (" + typeName + ") uses no firewall user");
    if (o.fwPassword && !fon.password)
      return Usage("firewall type " + std::to_string(f.type) + " (" + typeName +
                   ") uses no firewall password");
    if (o.fwHost) f.host = *o.fwHost;
    if (o.fwPort) f.port = *o.fwPort;
    if (o.fwUser) f.user = *o.fwUser;

    SecurityPageValues& t = p->security;
    const bool wasOn = t.useTls;
    if (o.tls) {
      t.useTls = *o.tls >= 0;
      if (t.useTls) t.type = *o.tls;
      // A command line that turns TLS on without naming a strength gets the
      // strong suites, as ftpes:// does.
      if (t.useTls && !wasOn && !o.strength) t.strength = 3;
    }
    bool anyAccept = false;
    for (const auto& a : o.accept) anyAccept = anyAccept || a.has_value();
    if ((o.strength || anyAccept || o.cert) && !t.useTls)
      return Usage("the TLS options need TLS (--tls max or --tls partial)");
    if (o.strength) t.strength = *o.strength;
    if (o.accept[0]) t.acceptExpired = *o.accept[0];
    if (o.accept[1]) t.acceptSelfSigned = *o.accept[1];
    if (o.accept[2]) t.acceptFuture = *o.accept[2];
    if (o.accept[3]) t.acceptInvalid = *o.accept[3];
    if (o.cert) t.certFile = *o.cert;
    return true;
  }

  // A secret from its environment variable, else typed on the terminal;
  // empty when neither gives one.
  std::string Secret(const char* env, const std::string& label) {
    if (ctx_.secret)
      if (auto v = ctx_.secret(env)) return *v;
    std::string typed;
    if (ctx_.ui->PromptText("Session " + name_, label, true, &typed)) return typed;
    return "";
  }

  void ReadSecrets(const SessionOptions& o, SessionPages* p) {
    SessionPageValues& s = p->session;
    if (SessionEnabling(s).secrets) {
      if ((o.savePassword && *o.savePassword) || s.password.empty())
        s.password = Secret(kPasswordVariable, "Password for " + s.userName + "@" + s.hostName);
      if (o.account && *o.account)
        s.account = Secret("TARN_ACCOUNT", "Account for " + s.userName + "@" + s.hostName);
    }
    if (o.account && !*o.account) s.account.clear();
    FirewallPageValues& f = p->firewall;
    if (FirewallEnabling(f).password && (o.fwPassword || f.password.empty()))
      f.password = Secret("TARN_FW_PASSWORD", "Firewall password for " + f.user + "@" + f.host);
    SecurityPageValues& t = p->security;
    if (o.cert) {
      t.certPassword.clear();
      if (!o.cert->empty())
        t.certPassword = Secret("TARN_CERT_PASSWORD", "Password of " + *o.cert + " (Enter for none)");
    }
  }

  bool NoOptions(const SessionOptions& o) {
    if (o.any) return Usage("takes no options");
    return true;
  }

  bool Words(const SessionOptions& o, size_t count, const char* usage) {
    if (o.words.size() != count) return Usage(std::string("usage: session ") + usage);
    return true;
  }

  bool NotFound(const std::string& name) {
    ctx_.ui->MessageBox("Session not found", name, BoxButtons::kOk, BoxIcon::kWarning);
    return false;
  }

  bool Failed(const CheckFailure& f) {
    ShowCheckFailure(*ctx_.ui, f);
    return false;
  }

  bool Add(SessionStore& store, PasswordScrambler& scrambler, const SessionOptions& o) {
    if (!Words(o, 1, "add NAME --host H [OPTIONS]")) return false;
    name_ = o.words[0];
    if (auto f = CheckSessionName(name_, [&](const std::string& n) { return store.SessionExists(n); }))
      return Failed(*f);
    HostRecord rec;
    InitNewSession(&rec, name_, o.host.value_or(""));
    SessionPages pages = PagesFromRecord(rec, ConnectViaItems(ctx_.dialUpEntries));
    if (!Apply(o, &pages)) return false;
    ReadSecrets(o, &pages);
    if (auto failed = RecordFromPages(pages, *ctx_.mounts, scrambler, &rec)) return Failed(failed->failure);
    // As the sheet does it: the new session is made with the defaults and
    // listed, then saved with what its pages hold.
    HostRecord made;
    store.CreateSession(name_, o.host.value_or(""), {}, &made);
    if (!store.SessionExists(name_)) return Usage("the session could not be stored");
    store.SaveSession(rec);
    return true;
  }

  bool Edit(SessionStore& store, PasswordScrambler& scrambler, const SessionOptions& o) {
    if (!Words(o, 1, "edit NAME [OPTIONS]")) return false;
    name_ = StoredName(*ctx_.reg, o.words[0]);
    HostRecord rec;
    if (!store.LoadSession(name_, &rec, nullptr)) return NotFound(o.words[0]);
    SessionPages pages = PagesFromRecord(rec, ConnectViaItems(ctx_.dialUpEntries));
    if (!Apply(o, &pages)) return false;
    ReadSecrets(o, &pages);
    if (auto failed = RecordFromPages(pages, *ctx_.mounts, scrambler, &rec)) return Failed(failed->failure);
    store.SaveSession(rec);
    return true;
  }

  bool Rename(SessionStore& store, const SessionOptions& o) {
    if (!NoOptions(o) || !Words(o, 2, "rename OLD NEW")) return false;
    const std::string oldName = StoredName(*ctx_.reg, o.words[0]);
    const std::string& newName = o.words[1];
    HostRecord rec;
    if (!store.LoadSession(oldName, &rec, nullptr)) return NotFound(o.words[0]);
    if (auto f = CheckSessionName(newName, [&](const std::string& n) { return store.SessionExists(n); }))
      return Failed(*f);
    if (!store.RenameSession(rec.cSessionName, newName)) return Usage("the session could not be renamed");
    return true;
  }

  bool Remove(platform::Registry& reg, PasswordScrambler& scrambler, const SessionOptions& o) {
    if (o.any || !Words(o, 1, "rm NAME [--yes]")) return o.any ? Usage("takes only --yes") : false;
    // --yes answers the delete confirmation; every other box still shows.
    struct Answering : Ui {
      Ui& inner;
      bool yes;
      Answering(Ui& i, bool y) : inner(i), yes(y) {}
      BoxResult MessageBox(const std::string& text, const std::string& caption, BoxButtons buttons,
                           BoxIcon icon) override {
        if (yes && caption == "Confirm Delete") return BoxResult::kYes;
        return inner.MessageBox(text, caption, buttons, icon);
      }
      void SetStatusText(int part, const std::string& text) override { inner.SetStatusText(part, text); }
      bool PromptLogon(LogonPrompt* p) override { return inner.PromptLogon(p); }
      bool PromptText(const std::string& c, const std::string& l, bool m, std::string* v) override {
        return inner.PromptText(c, l, m, v);
      }
    } ui(*ctx_.ui, o.yes);
    SessionStore store(reg, ui, scrambler);
    HostRecord rec;
    if (!store.LoadSession(StoredName(*ctx_.reg, o.words[0]), &rec, nullptr)) return NotFound(o.words[0]);
    if (!store.DeleteSession(rec.cSessionName)) {
      std::fprintf(ctx_.err, "tarn-cli: session rm: %s was kept (--yes deletes without asking)\n",
                   rec.cSessionName);
      return false;
    }
    return true;
  }

  bool Show(SessionStore& store, const SessionOptions& o) {
    if (!NoOptions(o) || !Words(o, 1, "show NAME")) return false;
    HostRecord rec;
    if (!store.LoadSession(StoredName(*ctx_.reg, o.words[0]), &rec, nullptr)) return NotFound(o.words[0]);
    std::FILE* out = ctx_.out;
    auto line = [out](const char* label, const std::string& value) {
      std::fprintf(out, "%-33s %s\n", (std::string(label) + ":").c_str(), value.c_str());
    };
    auto saved = [](const char* secret) { return std::string(secret[0] ? "saved" : "none"); };
    auto yesNo = [](bool b) { return std::string(b ? "yes" : "no"); };
    line("Session", rec.cSessionName);
    line("Host name", rec.cHostName);
    line("FTP port", rec.cFTPPort[0] ? rec.cFTPPort : "21");
    line("Connect via", std::string(rec.cConnectVia) + (rec.cConnectFlag[0] == 'X' ? " (dial-up)" : ""));
    line("Default transfer", rec.cDefaultTransfer[0] == 'D'   ? "Auto"
                             : rec.cDefaultTransfer[0] == 'B' ? "Binary"
                                                              : "Ascii");
    const char flag = rec.cUserFlag[0];
    if (flag == 'A') {
      line("Log on", "Anonymous");
    } else if (flag == 'P') {
      line("Log on", "Prompt while connecting");
    } else {
      line("Log on", std::string("User ") + rec.cUserName);
      line("Password", rec.cPasswordFlag[0] == 'S' ? "saved" : "prompted while connecting");
      if (rec.cPasswordFlag[0] == 'S') line("Account", saved(rec.cAccount));
    }
    line("Initial host directory", rec.cHostDir);
    line("Initial local directory", rec.cLocalDir);
    if (rec.cProxy[0] == 'X')
      line("Proxy", std::string(rec.cProxyAddress) + (rec.cProxyPort[0] ? ":" : "") + rec.cProxyPort);
    if (!rec.iFirewallUse) {
      line("Firewall", "off");
    } else {
      const int type = rec.iFirewallType;
      line("Firewall", type >= 0 && type <= 3 ? kFirewallTypeItems[type] : "type " + std::to_string(type));
      line("Firewall host", rec.cFirewallHost);
      line("Firewall port", std::to_string(rec.iFirewallPort));
      line("Firewall user", rec.cFirewallUser);
      line("Firewall password", saved(rec.cFirewallPass));
    }
    if (!(rec.uSecurity & kSslUse)) {
      line("TLS", "off");
    } else {
      const int type = rec.SslType();
      line("TLS", type <= 1 ? kSecurityTypeItems[type] : "type " + std::to_string(type));
      line("Cipher strength", kCipherStrengthItems[rec.SslStrength()]);
      line("Accept expired certificate", yesNo(rec.uSecurity & kSslExpired));
      line("Accept self-signed certificate", yesNo(rec.uSecurity & kSslSelf));
      line("Accept certificate not yet valid", yesNo(rec.uSecurity & kSslFuture));
      line("Accept invalid certificate", yesNo(rec.uSecurity & kSslInvalid));
      line("Certificate file", rec.cCertFile);
      if (rec.cCertFile[0]) line("Certificate password", saved(rec.cCertPassword));
    }
    return true;
  }

  bool List(SessionStore& store, const SessionOptions& o) {
    if (!NoOptions(o) || !Words(o, 0, "list")) return false;
    for (const auto& n : store.RebuildSessionList()) std::fprintf(ctx_.out, "%s\n", n.c_str());
    return true;
  }

  bool Run(const std::vector<std::string>& args) {
    SessionOptions o;
    if (!Parse(args, &o)) return false;
    if (!(sub_ == "add" || sub_ == "edit") && o.any && sub_ != "rm") return NoOptions(o);
    if (o.yes && sub_ != "rm" && sub_ != "delete") return Usage("--yes is an option of session rm");
    PasswordScrambler scrambler(ctx_.now);
    SessionStore store(*ctx_.reg, *ctx_.ui, scrambler);
    if (sub_ == "add") return Add(store, scrambler, o);
    if (sub_ == "edit") return Edit(store, scrambler, o);
    if (sub_ == "rename") return Rename(store, o);
    if (sub_ == "rm" || sub_ == "delete") return Remove(*ctx_.reg, scrambler, o);
    if (sub_ == "show") return Show(store, o);
    if (sub_ == "list") return List(store, o);
    return Usage("unknown command (see session --help)");
  }

 private:
  SessionCommandContext& ctx_;
  std::string sub_;
  std::string name_;  // the session being made or changed, for prompts
};

}  // namespace

bool RunSessionCommand(const std::vector<std::string>& args, SessionCommandContext& ctx) {
  if (args.empty()) {
    std::fprintf(ctx.err, "tarn-cli: session: add, edit, rename, rm, show or list (see session --help)\n");
    return false;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(SessionHelp().c_str(), ctx.out);
    return true;
  }
  Command command(ctx, args[0]);
  return command.Run(std::vector<std::string>(args.begin() + 1, args.end()));
}

bool RunSessionCommand(const std::vector<std::string>& args, platform::Registry& reg, Ui& ui,
                       std::FILE* out, std::FILE* err) {
  std::unique_ptr<MountTable> mounts = SystemMountTable();
  SessionCommandContext ctx;
  ctx.reg = &reg;
  ctx.ui = &ui;
  ctx.out = out;
  ctx.err = err;
  ctx.mounts = mounts.get();
  ctx.secret = EnvironmentSecret;
  ctx.now = static_cast<int64_t>(std::time(nullptr));
  return RunSessionCommand(args, ctx);
}

std::string SessionHelp() {
  return "Sessions (stored as the Settings sheet stores them):\n"
         "  session add NAME --host H [OPTIONS]   make a session\n"
         "  session edit NAME [OPTIONS]           change a session\n"
         "  session rename OLD NEW                rename a session\n"
         "  session rm NAME [--yes]               delete a session (asks unless --yes)\n"
         "  session show NAME                     every setting but the secrets\n"
         "  session list                          the stored sessions\n"
         "Options of add and edit:\n"
         "  --host H                host name or IP address\n"
         "  --port P                control port (default 21)\n"
         "  --anonymous | --prompt | --user U\n"
         "                          log on anonymously, ask while connecting, or as U\n"
         "  --save-password         save the password (TARN_PASSWORD or a prompt);\n"
         "                          --no-save-password asks for it while connecting\n"
         "  --account               save an account too (TARN_ACCOUNT or a prompt); --no-account\n"
         "  --host-dir D            initial host directory (\"\" for none)\n"
         "  --local-dir D           initial local directory: a folder, or \\\\server\\share\\path\n"
         "                          of a mounted network share (\"\" for none)\n"
         "  --transfer auto|binary|ascii   default transfer type\n"
         "  --connect-via auto|network     how the host is reached\n"
         "  --firewall 0..3|off     0 USER w/o Logon, 1 USER with Logon, 2 Transparent,\n"
         "                          3 SITE Hostname\n"
         "  --fw-host H --fw-port P --fw-user U\n"
         "                          the firewall; its password (types 1 and 3) from\n"
         "                          TARN_FW_PASSWORD or a prompt; --fw-password reads it anew\n"
         "  --tls max|partial|off   TLS for commands and data, for commands only, or none\n"
         "  --cipher-strength 0..3  0 none, 1 weak, 2 medium, 3 strong (3 when --tls turns TLS on)\n"
         "  --accept-expired, --accept-self-signed, --accept-future, --accept-invalid\n"
         "                          server certificate failures to accept (--no-accept-... clears)\n"
         "  --cert FILE             client certificate (PEM, \"\" for none); its password from\n"
         "                          TARN_CERT_PASSWORD or a prompt\n"
         "Passwords never come from the command line. A failed check prints its message\n"
         "and stores nothing.\n";
}

}  // namespace tarn::cli
