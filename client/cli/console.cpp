#include "client/cli/console.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "client/cli/parse_command.h"
#include "client/cli/queue_commands.h"
#include "client/cli/session_commands.h"
#include "client/cli/quick_url.h"
#include "client/engine/commands.h"
#include "client/engine/control.h"
#include "client/engine/logon.h"
#include "client/listing/listing_thread.h"
#include "platform/reg_file.h"

namespace tarn::cli {

namespace {

constexpr const char* kTarnKey = "Software\\Ostravel\\Tarn";

std::string Join(const std::vector<std::string>& words, size_t from) {
  std::string s;
  for (size_t i = from; i < words.size(); ++i) {
    if (i > from) s += ' ';
    s += words[i];
  }
  return s;
}

std::string TypeName(platform::RegType t) {
  switch (t) {
    case platform::REG_SZ: return "REG_SZ";
    case platform::REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case platform::REG_BINARY: return "REG_BINARY";
    case platform::REG_DWORD: return "REG_DWORD";
    case platform::REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return "REG_NONE";
  }
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string cur;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char ch = line[i];
    if (ch == '\\' && i + 1 < line.size()) {
      cur += line[++i];
      inWord = true;
    } else if (ch == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n')) {
      if (inWord) words.push_back(cur);
      cur.clear();
      inWord = false;
    } else if (!quoted && ch == '#' && !inWord) {
      break;
    } else {
      cur += ch;
      inWord = true;
    }
  }
  if (inWord) words.push_back(cur);
  return words;
}

Console::Console(platform::Registry& reg, AppState& app, ConsoleUi& ui, std::FILE* out,
                 std::FILE* err, const ConsoleOptions& options)
    : reg_(reg),
      app_(app),
      ui_(ui),
      out_(out),
      err_(err),
      options_(options),
      scrambler_(static_cast<int64_t>(std::time(nullptr))),
      store_(reg, ui, scrambler_),
      dialService_(platform::MakeNoDialUp()),
      dialUp_(*dialService_, ui, app),
      tls_(conn_) {
  conn_.app = &app_;
  conn_.ui = &ui_;
  conn_.net = &net_;
  conn_.keepAlive = &keepAlive_;
  conn_.iReplyTimeout = options_.replyTimeoutMs;
  conn_.reloadResume = [this](ResumeInfo* info) {
    bool done = false;
    return StoredResume(info, &done) && !done;
  };
  listing_.typeNames = &typeNames_;
  listing_.nameCase = listing::NameCaseFromFlag(app_.settings.cCapFlag);
  // The worker takes the keep-alive timer over: a NOOP only when idle.
  worker_ = std::make_unique<ConnWorker>(conn_);
}

Console::~Console() {
  Shutdown();
  worker_.reset();
}

bool Console::OnWorker(const std::function<bool()>& body) {
  if (worker_->OnWorkerThread()) return body();
  return worker_->Submit([&body](FtpConn&) { return body() ? 1 : 0; }).get() == 1;
}

bool Console::StoredResume(ResumeInfo* info, bool* done) {
  if (host_.iQuickConnect || !host_.cSessionName[0]) return false;
  ResumeState state;
  if (!store_.LoadResumeState(host_.cSessionName, &state, &app_) || !state.cResumeFileName[0])
    return false;
  info->path = state.cResumeFileName;
  info->sourcePath = state.cResumeSourcePath;
  info->sourceSize = std::atoll(state.cResumeSourceFileSize);
  *done = std::string(state.cResIsDownLoadDone) == "TRUE";
  return true;
}

std::string TerminalSafe(std::string_view text, bool keepLines) {
  std::string out;
  out.reserve(text.size());
  auto escape = [&out](unsigned char ch) {
    char b[8];
    std::snprintf(b, sizeof b, "\\x%02x", ch);
    out += b;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char ch = static_cast<unsigned char>(text[i]);
    if (keepLines && (ch == '\n' || ch == '\t')) {
      out += static_cast<char>(ch);
    } else if (ch == 0) {
      out += "\\0";
    } else if (ch < 0x20 || ch == 0x7f) {
      escape(ch);
    } else if (ch < 0x80) {
      out += static_cast<char>(ch);
    } else {
      // A whole UTF-8 sequence passes, except the C1 controls U+0080 to
      // U+009F (U+009B opens a control sequence on some terminals); any
      // other byte of 0x80..0x9F is a C1 control of an 8-bit terminal.
      const size_t len = ch >= 0xf0 && ch <= 0xf4 ? 4 : ch >= 0xe0 ? 3 : ch >= 0xc2 && ch < 0xe0 ? 2 : 0;
      bool whole = len > 0 && i + len <= text.size();
      for (size_t k = 1; whole && k < len; ++k)
        whole = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
      if (whole && !(ch == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f)) {
        out.append(text.substr(i, len));
        i += len - 1;
      } else if (whole) {
        escape(ch);
        escape(static_cast<unsigned char>(text[++i]));
      } else if (ch <= 0x9f) {
        escape(ch);
      } else {
        out += static_cast<char>(ch);
      }
    }
  }
  return out;
}

std::string Console::Help() {
  return "Commands:\n"
         "  open SESSION | open ftp://[user@]host[:port][/path]   log on\n"
         "  open ftpes://[user@]host[:port][/path]   log on over explicit TLS\n"
         "  pwd                       print the host's current directory\n"
         "  quote LINE...             send a command line, print the reply\n"
         "  ls [--raw] [PATH]         list a host directory (--raw: the server's own lines)\n"
         "  cd DIR                    change the host directory\n"
         "  get REMOTE [LOCAL]        download (--resume continues a partial file)\n"
         "  put LOCAL [REMOTE]        upload\n"
         "  get -r REMOTE_DIR [LOCAL_DIR]   download a folder with everything below it into LOCAL_DIR\n"
         "  put -r LOCAL_DIR [REMOTE_DIR]   upload a folder with everything below it into REMOTE_DIR\n"
         "  append LOCAL REMOTE       append a local file to a host file\n"
         "  mkdir DIR | rmdir DIR | rm FILE | rename OLD NEW\n"
         "  site ARGS...              a SITE command\n"
         "  noop                      keep the connection alive\n"
         "  close                     log off\n"
         "  sessions                  list the stored sessions\n"
         "  session add|edit|rename|rm|show NAME ...   make and change sessions (session --help)\n"
         "  parse FILE [--host H]     parse a saved listing (no server needed)\n"
         "  queue show FILE           the entries of a schedule file (.tsc), one per line\n"
         "  queue add FILE SESSION get|put|append REMOTE LOCAL [--ascii|--binary] [--passive|--active]\n"
         "  queue rm FILE N           remove entry N (counted from 1)\n"
         "  reg import FILE.reg       import sessions and settings from a .reg file\n"
         "  reg export [KEY]          write a key (default Software\\Ostravel\\Tarn) as .reg text\n"
         "  reg list [KEY]            list a key's subkeys and values\n"
         "  help                      this text\n";
}

bool Console::Fail(const std::string& text) {
  std::fprintf(err_, "%s\n", TerminalSafe(text).c_str());
  return false;
}

bool Console::NeedConnection() {
  if (Connected()) return true;
  return Fail("Not connected");
}

bool Console::Run(const std::vector<std::string>& words) {
  if (words.empty()) return true;
  const std::string& cmd = words[0];
  std::vector<std::string> args(words.begin() + 1, words.end());
  if (cmd == "open") return OnWorker([&] { return Open(args); });
  if (cmd == "close" || cmd == "bye" || cmd == "quit") return OnWorker([&] { return Close(); });
  if (cmd == "pwd") return OnWorker([&] { return Pwd(); });
  if (cmd == "quote") return OnWorker([&] { return Quote(args); });
  if (cmd == "reg") return Reg(args);
  if (cmd == "sessions") return Sessions();
  if (cmd == "parse") return RunParseCommand(args, out_, err_);
  if (cmd == "queue") return RunQueueCommand(args, reg_, app_.settings, out_, err_);
  if (cmd == "session") return RunSessionCommand(args, reg_, ui_, out_, err_);
  if (cmd == "ls" || cmd == "dir") return OnWorker([&] { return List(args); });
  if (cmd == "cd") return OnWorker([&] { return Cd(args); });
  if (cmd == "get") return OnWorker([&] { return Get(args); });
  if (cmd == "put") return OnWorker([&] { return Put(args, false); });
  if (cmd == "append") return OnWorker([&] { return Put(args, true); });
  if (cmd == "mkdir" || cmd == "rmdir" || cmd == "rm" || cmd == "rename" || cmd == "site" ||
      cmd == "noop")
    return OnWorker([&] { return Simple(cmd, args); });
  if (cmd == "help") {
    std::fputs(Help().c_str(), out_);
    return true;
  }
  return Fail("Unknown command \"" + cmd + "\" (try help)");
}

bool Console::Open(const std::vector<std::string>& args) {
  if (args.size() != 1)
    return Fail("usage: open SESSION | open ftp[es]://[user@]host[:port][/path]");
  if (Connected()) Close();
  host_ = HostRecord{};
  const std::string& target = args[0];
  if (target.find("://") != std::string::npos) {
    QuickUrl url;
    std::string error;
    if (!ParseQuickUrl(target, &url, &error)) return Fail(error);
    if (url.hasPassword)
      std::fprintf(err_,
                   "warning: a password in the URL can be seen by other users of this machine; "
                   "prefer TARN_PASSWORD or the prompt\n");
    InitNewSession(&host_, url.host, url.host);
    host_.iQuickConnect = 1;
    // Explicit TLS at "Max. Security" with the strong cipher list: nothing
    // weaker is offered unless asked for.
    if (url.scheme == "ftpes") host_.uSecurity = kSslUse | (3u << kSslStrengthShift);
    SetField(host_.cFTPPort, std::to_string(url.port));
    SetField(host_.cHostDir, url.path);
    if (url.user.empty() || url.user == "anonymous" || url.user == "ftp") {
      SetField(host_.cUserFlag, "A");
    } else {
      if (!FitsField(host_.cUserName, url.user)) return Fail("user name too long");
      SetField(host_.cUserFlag, "S");
      SetField(host_.cUserName, url.user);
      std::string password = url.password;
      if (!url.hasPassword)
        if (auto env = EnvironmentSecret(kPasswordVariable)) password = *env;
      if (password.empty()) {
        SetField(host_.cPasswordFlag, "P");
      } else {
        if (password.size() > 129) return Fail("password too long");
        SetField(host_.cPasswordFlag, "S");
        SetField(host_.cPassword, password);
        scrambler_.Scramble(host_.cPassword, sizeof host_.cPassword);
      }
    }
  } else if (!store_.LoadSession(target, &host_, &app_)) {
    return Fail(target + ": Session not found");
  }

  if (!ApplyTlsOptions()) return false;
  conn_.tls = (host_.uSecurity & kSslUse) ? &tls_ : nullptr;

  ConnectContext ctx;
  ctx.conn = &conn_;
  ctx.store = host_.iQuickConnect ? nullptr : &store_;
  ctx.dialUp = &dialUp_;
  ctx.replyTimeoutMs = options_.replyTimeoutMs;
  // A script names its directory: one that cannot be entered fails the
  // open rather than running the rest of the script somewhere else.
  ctx.startDirectoryRequired = host_.iQuickConnect != 0 && host_.cHostDir[0] != '\0';
  ctx.hooks.resetListing = [this] { listing::ResetListing(conn_, &listing_); };
  ctx.hooks.processDirectory = [this](const std::string& dir) {
    listing::PathStateFromConn(conn_, &listing_.path);
    return listing::ProcessCurrentDirectory(conn_, &listing_, dir);
  };
  if (!RunConnect(ctx, &host_)) return false;
  if (options_.verbose) {
    std::fprintf(err_, "Connected to %s, directory %s\n", TerminalSafe(host_.cSessionName).c_str(),
                 TerminalSafe(ctx.startDirectory).c_str());
    if (conn_.tls)
      std::fprintf(err_, "TLS: %s, cipher %s, data %s\n", tls_.Protocol().c_str(),
                   tls_.Cipher().c_str(), tls_.DataProtected() ? "protected" : "in clear");
  }
  return true;
}

bool Console::ApplyTlsOptions() {
  if (!(host_.uSecurity & kSslUse)) return true;
  if (options_.tlsPartial)
    host_.uSecurity = (host_.uSecurity & ~static_cast<uint32_t>(kSslTypeMask)) | (1u << kSslTypeShift);
  host_.uSecurity |= options_.tlsAccept;
  if (options_.cipherStrength >= 0)
    host_.uSecurity = (host_.uSecurity & ~static_cast<uint32_t>(kSslStrengthMask)) |
                      (static_cast<uint32_t>(options_.cipherStrength & 3) << kSslStrengthShift);
  if (!options_.certFile.empty()) {
    if (!FitsField(host_.cCertFile, options_.certFile)) return Fail("certificate file name too long");
    SetField(host_.cCertFile, options_.certFile);
    const std::string pw = EnvironmentSecret("TARN_CERT_PASSWORD").value_or("");
    if (!FitsField(host_.cCertPassword, pw)) return Fail("certificate password too long");
    SetField(host_.cCertPassword, pw);
  }
  return true;
}

bool Console::Close() {
  if (!Connected()) return true;
  platform::Socket s = conn_.sockControl;
  int rc = FtpQuit(conn_, s);
  conn_.sockControl = FtpCloseSocket(conn_, s);
  app_.bConnected = 0;
  keepAlive_.Stop();
  return rc == kReplyComplete || rc == kReplyNone || rc == kReplyAborted;
}

void Console::Shutdown() {
  if (worker_) OnWorker([this] { return Close(); });
}

void Console::Abort() { worker_->Cancel(); }

bool Console::Pwd() {
  if (!NeedConnection()) return false;
  if (FtpCommand(conn_, conn_.sockControl, "PWD") != kReplyComplete) return Fail(FailureText(conn_));
  std::fprintf(out_, "%s\n", TerminalSafe(DirectoryFromPwd(conn_.SystemCode, conn_.cReply)).c_str());
  return true;
}

bool Console::Quote(const std::vector<std::string>& args) {
  if (args.empty()) return Fail("usage: quote COMMAND [ARGS...]");
  if (!NeedConnection()) return false;
  std::string capture;
  conn_.pCapture = &capture;
  int rc = FtpCommandLine(conn_, conn_.sockControl, Join(args, 0));
  conn_.pCapture = nullptr;
  std::string text;
  for (char ch : capture)
    if (ch != '\r') text += ch;
  if (!text.empty() && text.back() != '\n') text += '\n';
  std::fputs(TerminalSafe(text, true).c_str(), out_);
  if (rc == kReplyNone && capture.empty()) return Fail(FailureText(conn_));
  if (rc == kReplyAborted && capture.empty()) return Fail(FailureText(conn_));
  return rc >= kReplyPreliminary && rc <= kReplyIntermediate;
}

bool Console::Sessions() {
  for (const auto& name : store_.RebuildSessionList()) std::fprintf(out_, "%s\n", name.c_str());
  return true;
}

bool Console::Reg(const std::vector<std::string>& args) {
  if (args.empty()) return Fail("usage: reg import FILE.reg | reg export [KEY] | reg list [KEY]");
  std::string error;
  if (args[0] == "import") {
    if (args.size() != 2) return Fail("usage: reg import FILE.reg");
    std::ifstream in(args[1], std::ios::binary);
    if (!in) return Fail(args[1] + ": cannot be opened");
    std::stringstream ss;
    ss << in.rdbuf();
    platform::RegImportReport report;
    const std::vector<std::string> listed = store_.ListedSessions();
    bool ok = platform::ImportRegText(reg_, ss.str(), &report, &error);
    // What was written is listed, even when a store failure cut the file.
    store_.AddImportedSessions(listed, report.keyPaths, report.deletedKeyPaths);
    for (const auto& w : report.warnings) std::fprintf(err_, "%s: %s\n", args[1].c_str(), w.c_str());
    if (!ok) return Fail(args[1] + ": " + error);
    std::string refused;
    if (!report.warnings.empty()) refused = "; " + std::to_string(report.warnings.size()) + " lines refused";
    std::fprintf(err_, "%s: %d keys, %d values, %d deletions%s\n", args[1].c_str(), report.keys,
                 report.values, report.deletions, refused.c_str());
    // A file taken only in part is a failed import.
    return report.warnings.empty();
  }
  std::string key = args.size() > 1 ? args[1] : kTarnKey;
  if (args[0] == "export") {
    std::string text;
    if (!platform::ExportRegText(reg_, key, &text, &error)) return Fail(error);
    std::fwrite(text.data(), 1, text.size(), out_);
    return true;
  }
  if (args[0] == "list") {
    platform::RegKey k;
    if (reg_.OpenKey(key, &k) != platform::RegStatus::kOk) return Fail(key + ": key not found");
    std::vector<platform::RegValue> values;
    std::vector<std::string> keys;
    reg_.EnumValues(k, &values);
    reg_.EnumKeys(k, &keys);
    for (const auto& v : values) {
      std::string shown = v.type == platform::REG_SZ ? v.Text() : "(" + std::to_string(v.data.size()) + " bytes)";
      std::fprintf(out_, "    %s\t%s\t%s\n", v.name.c_str(), TypeName(v.type).c_str(), shown.c_str());
    }
    for (const auto& name : keys) std::fprintf(out_, "%s\\%s\n", key.c_str(), name.c_str());
    return true;
  }
  return Fail("usage: reg import FILE.reg | reg export [KEY] | reg list [KEY]");
}

}  // namespace tarn::cli
