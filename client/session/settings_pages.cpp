#include "client/session/settings_pages.h"

#include <algorithm>
#include <filesystem>

#include "client/session/pc_directory.h"

namespace tarn {

namespace {

constexpr uint32_t kAllSslBits = 0x1ffu;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool LessNoCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char x = Upper(a[i]), y = Upper(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  return a.size() < b.size();
}

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The value of a digit string, or -1 when it is not one; values past
// 65536 read as 65536, which is all the port rules need to know.
long PortValue(const std::string& s) {
  if (!AllDigits(s)) return -1;
  long v = 0;
  for (char c : s) {
    v = v * 10 + (c - '0');
    if (v > 65536) return 65536;
  }
  return v;
}

// Number of UTF-8 characters, or -1 when `s` is not UTF-8.
long Utf8Chars(const std::string& s) {
  long chars = 0;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return -1;
    uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1f) : len == 3 ? (b & 0x0f) : (b & 0x07);
    for (size_t k = 1; k < len; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t >> 6) != 2) return -1;
      cp = (cp << 6) | (t & 0x3f);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    i += len;
    ++chars;
  }
  return chars;
}

CheckFailure Failure(const char* title, std::string text, BoxIcon icon, SettingsField focus) {
  return CheckFailure{title, std::move(text), icon, focus};
}

// The box limits. The sheet's boxes never hold more than their limit nor a
// line break; text from a command line may, and is refused rather than cut.
CheckResult Limit(const char* label, const std::string& value, size_t limit, SettingsField focus) {
  if (value.find_first_of("\r\n") != std::string::npos)
    return Failure(kProgramShortTitle, std::string("The ") + label + " cannot contain line breaks.",
                   BoxIcon::kWarning, focus);
  if (value.size() > limit)
    return Failure(kProgramShortTitle,
                   std::string("The ") + label + " can have at most " + std::to_string(limit) +
                       " characters.",
                   BoxIcon::kWarning, focus);
  return std::nullopt;
}

constexpr const char* kBadPort = "Invalid port number, must be between 0 and 65,535";

bool FileFound(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

void ShowCheckFailure(Ui& ui, const CheckFailure& f) {
  ui.MessageBox(f.text, f.title, BoxButtons::kOk, f.icon);
}

// ---------------------------------------------------------------------------
// Session Settings page

std::vector<std::string> ConnectViaItems(const std::vector<std::string>& dialUpEntries) {
  std::vector<std::string> items = {kConnectAutoDetect, kConnectNetwork};
  items.insert(items.end(), dialUpEntries.begin(), dialUpEntries.end());
  return items;
}

SessionPageEnabling SessionEnabling(const SessionPageValues& v) {
  SessionPageEnabling e;
  e.userName = e.savePasswords = v.logon == LogonChoice::kSpecify;
  e.secrets = e.savePasswords && v.savePasswords;
  return e;
}

void ChooseLogon(SessionPageValues* v, LogonChoice choice) {
  v->logon = choice;
  if (choice != LogonChoice::kSpecify) v->savePasswords = false;
}

CheckResult CheckSessionPage(const SessionPageValues& v, MountTable& mounts) {
  const SessionPageEnabling on = SessionEnabling(v);
  if (auto f = Limit("host name", v.hostName, kHostNameLimit, SettingsField::kHostName)) return f;
  if (!v.port.empty() && (!AllDigits(v.port) || v.port.size() > kPortLimit))
    return Failure(kProgramShortTitle, "The FTP port can only hold digits (at most 5).",
                   BoxIcon::kWarning, SettingsField::kPort);
  if (on.userName)
    if (auto f = Limit("user name", v.userName, kUserNameLimit, SettingsField::kUserName)) return f;
  if (on.secrets) {
    if (auto f = Limit("password", v.password, kSecretLimit, SettingsField::kPassword)) return f;
    if (auto f = Limit("account", v.account, kSecretLimit, SettingsField::kAccount)) return f;
  }
  if (auto f = Limit("initial host directory", v.hostDir, kDirectoryLimit, SettingsField::kHostDir))
    return f;
  if (auto f = Limit("initial local directory", v.localDir, kDirectoryLimit, SettingsField::kLocalDir))
    return f;

  if (v.hostName.empty())
    return Failure("Host Name/IP Address Not Entered",
                   "You must enter a host name or IP address for the FTP host that you want\r"
                   "to connect to.\r\rIf you do not have this information, contact your systems "
                   "administrator for\rassistance.",
                   BoxIcon::kWarning, SettingsField::kHostName);
  // Five digits reach 99999; a port past 65535 would connect somewhere else.
  if (PortValue(v.port) > 65535)
    return Failure(kProgramShortTitle, kBadPort, BoxIcon::kWarning, SettingsField::kPort);
  if (v.logon == LogonChoice::kSpecify && v.userName.empty())
    return Failure("User Name Not Entered",
                   "You have checked the 'Specify User Name' button but have not provided a\r"
                   "user name.\r\rPlease specify a valid user name for the FTP host.",
                   BoxIcon::kWarning, SettingsField::kUserName);
  if (on.secrets && v.password.empty())
    return Failure("Password Not Entered",
                   "You have checked the 'Specify Password' button but have not provided a\r"
                   "password.\r\rPlease specify a valid password for the FTP host.",
                   BoxIcon::kWarning, SettingsField::kPassword);
  if (!v.localDir.empty() && !LocalDirectoryResolves(v.localDir, mounts))
    return Failure("Invalid Initial Local Directory",
                   "The initial local directory that you entered could not be\rfound on this "
                   "PC.\r\rVerify that the directory you specify exists and is in the\rformat: "
                   "C:\\directoryname",
                   BoxIcon::kWarning, SettingsField::kLocalDir);
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Firewall Settings page

FirewallPageEnabling FirewallEnabling(const FirewallPageValues& v) {
  FirewallPageEnabling e;
  if (!v.useFirewall) return e;
  e.type = e.host = e.port = true;
  e.user = v.type == kFirewallUserWithLogon || v.type == kFirewallSiteHostname ||
           v.type == kFirewallTransparent;
  e.password = v.type == kFirewallUserWithLogon || v.type == kFirewallSiteHostname;
  return e;
}

void SetUseFirewall(FirewallPageValues* v, bool on) {
  v->useFirewall = on;
  if (on) {
    if (v->type < 0) v->type = kFirewallUserNoLogon;
    if (v->port.empty()) v->port = "21";
    return;
  }
  v->type = -1;
  v->host.clear();
  v->port = "21";
  v->user.clear();
  v->password.clear();
}

CheckFailure InvalidFirewallSelection() {
  return Failure(kProgramShortTitle, "Invalid Selection", BoxIcon::kInformation,
                 SettingsField::kFirewallType);
}

CheckResult CheckFirewallPage(const FirewallPageValues& v) {
  if (!v.useFirewall) return std::nullopt;
  const FirewallPageEnabling on = FirewallEnabling(v);
  if (auto f = Limit("firewall host name", v.host, kFirewallHostLimit, SettingsField::kFirewallHost))
    return f;
  if (on.user)
    if (auto f = Limit("firewall user name", v.user, kFirewallUserLimit, SettingsField::kFirewallUser))
      return f;
  if (on.password)
    if (auto f = Limit("firewall password", v.password, kSecretLimit, SettingsField::kFirewallPassword))
      return f;

  auto warn = [](const char* text, SettingsField focus) {
    return Failure(kProgramShortTitle, text, BoxIcon::kWarning, focus);
  };
  // An empty or non-numeric box is no port between 0 and 65,535 either.
  long port = PortValue(v.port);
  if (port < 0 || port > 65535) return warn(kBadPort, SettingsField::kFirewallPort);
  if (v.type < 0)
    return warn("You need to select a firewall type to continue, or uncheck the 'Use Firewall' box",
                SettingsField::kFirewallType);
  if (v.host.empty())
    return warn("No Hostname or IP address for firewall specified", SettingsField::kFirewallHost);
  if (v.type > kFirewallSiteHostname)
    return warn("You have specified an invalid firewall type", SettingsField::kFirewallType);
  if (v.type == kFirewallUserWithLogon || v.type == kFirewallSiteHostname) {
    if (v.user.empty())
      return warn("You need to specify a user name for this type of firewall",
                  SettingsField::kFirewallUser);
    if (v.password.empty())
      return warn("You need to specify a password for this type of firewall",
                  SettingsField::kFirewallPassword);
  }
  if (v.type == kFirewallTransparent && v.user.empty())
    return warn("You need to specify a user name for this type of firewall", SettingsField::kFirewallUser);
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Security Settings page

CheckResult CheckSecurityPage(const SecurityPageValues& v) {
  if (!v.useTls) return std::nullopt;
  if (auto f = Limit("certificate file name", v.certFile, kCertFileLimit, SettingsField::kCertFile))
    return f;
  if (auto f = Limit("certificate password", v.certPassword, kSecretLimit, SettingsField::kCertPassword))
    return f;
  if (v.type != 0 && v.type != 1)
    return Failure("No option selected", "Please select a security option from the list.",
                   BoxIcon::kInformation, SettingsField::kSecurityType);
  if (v.strength < 0 || v.strength > 3)
    return Failure("No cipher selected", "Please select a cipher strength from the list.",
                   BoxIcon::kInformation, SettingsField::kCipherStrength);
  if (!v.certFile.empty() && !FileFound(v.certFile))
    return Failure("File not found", "Please select a valid client certificate file.",
                   BoxIcon::kInformation, SettingsField::kCertFile);
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Pages and record

SessionPages PagesFromRecord(const HostRecord& rec, const std::vector<std::string>& connectViaItems) {
  SessionPages p;
  SessionPageValues& s = p.session;
  s.sessionName = rec.cSessionName;
  s.hostName = rec.cHostName;
  s.port = rec.cFTPPort[0] ? rec.cFTPPort : "21";
  for (const auto& item : connectViaItems)
    if (item == rec.cConnectVia) s.connectVia = item;
  if (s.connectVia.empty()) {
    for (const auto& item : connectViaItems)
      if (item.compare(0, 4, "Auto") == 0) {
        s.connectVia = item;
        break;
      }
  }
  switch (rec.cDefaultTransfer[0]) {
    case 'D': s.transfer = DefaultTransfer::kAuto; break;
    case 'B': s.transfer = DefaultTransfer::kBinary; break;
    default: s.transfer = DefaultTransfer::kAscii; break;
  }
  s.logon = rec.cUserFlag[0] == 'A'   ? LogonChoice::kAnonymous
            : rec.cUserFlag[0] == 'P' ? LogonChoice::kPrompt
                                      : LogonChoice::kSpecify;
  s.userName = rec.cUserName;
  s.savePasswords = s.logon == LogonChoice::kSpecify && rec.cPasswordFlag[0] == 'S';
  s.password = UnscramblePassword(std::string(rec.cPassword));
  s.account = UnscramblePassword(std::string(rec.cAccount));
  s.hostDir = rec.cHostDir;
  s.localDir = rec.cLocalDir;

  FirewallPageValues& f = p.firewall;
  f.useFirewall = rec.iFirewallUse != 0;
  if (f.useFirewall) {
    f.type = rec.iFirewallType;
    f.host = rec.cFirewallHost;
    f.port = std::to_string(rec.iFirewallPort);
    f.user = rec.cFirewallUser;
    f.password = rec.cFirewallPass;
  }

  SecurityPageValues& t = p.security;
  t.useTls = (rec.uSecurity & kSslUse) != 0;
  t.type = rec.SslType();
  t.strength = rec.SslStrength();
  t.acceptExpired = (rec.uSecurity & kSslExpired) != 0;
  t.acceptSelfSigned = (rec.uSecurity & kSslSelf) != 0;
  t.acceptFuture = (rec.uSecurity & kSslFuture) != 0;
  t.acceptInvalid = (rec.uSecurity & kSslInvalid) != 0;
  t.certFile = rec.cCertFile;
  t.certPassword = rec.cCertPassword;
  return p;
}

void SessionPageToRecord(const SessionPageValues& v, PasswordScrambler& scrambler, HostRecord* rec) {
  SetField(rec->cSessionName, v.sessionName);
  SetField(rec->cHostName, v.hostName);
  // An empty box shows 21; stored empty it would connect to port 0.
  SetField(rec->cFTPPort, v.port.empty() ? "21" : v.port);
  const std::string via = v.connectVia.empty() ? kConnectAutoDetect : v.connectVia;
  SetField(rec->cConnectVia, via);
  SetField(rec->cConnectFlag, via == kConnectAutoDetect || via == kConnectNetwork ? "" : "X");
  static constexpr const char* kStored[] = {"Detect", "Binary", "Ascii"};
  SetField(rec->cDefaultTransfer, kStored[static_cast<int>(v.transfer)]);
  rec->cProxy[0] = rec->cProxyAddress[0] = rec->cProxyPort[0] = '\0';
  static constexpr const char* kFlags[] = {"A", "P", "S"};
  SetField(rec->cUserFlag, kFlags[static_cast<int>(v.logon)]);
  const SessionPageEnabling on = SessionEnabling(v);
  SetField(rec->cUserName, on.userName ? v.userName : "");
  SetField(rec->cPasswordFlag, on.secrets ? "S" : "P");
  SetField(rec->cPassword, on.secrets ? scrambler.Scramble(v.password) : "");
  SetField(rec->cAccount, on.secrets ? scrambler.Scramble(v.account) : "");
  SetField(rec->cHostDir, v.hostDir);
  SetField(rec->cLocalDir, v.localDir);
}

void FirewallPageToRecord(const FirewallPageValues& v, HostRecord* rec) {
  if (!v.useFirewall) {
    rec->iFirewallUse = 0;
    rec->iFirewallPort = 21;
    rec->iFirewallType = 0;
    rec->cFirewallHost[0] = rec->cFirewallUser[0] = rec->cFirewallPass[0] = '\0';
    return;
  }
  // A box the type disables holds nothing the log-on would send; a secret
  // typed there before the type changed is not kept.
  const FirewallPageEnabling on = FirewallEnabling(v);
  rec->iFirewallUse = 1;
  rec->iFirewallType = v.type;
  rec->iFirewallPort = static_cast<int32_t>(PortValue(v.port));
  SetField(rec->cFirewallHost, v.host);
  SetField(rec->cFirewallUser, on.user ? v.user : "");
  SetField(rec->cFirewallPass, on.password ? v.password : "");
}

void SecurityPageToRecord(const SecurityPageValues& v, HostRecord* rec) {
  uint32_t kept = rec->uSecurity & ~kAllSslBits;
  if (!v.useTls) {
    // The cleared state a session without SSLUse loads as.
    rec->uSecurity = kept | (1u << kSslStrengthShift);
    rec->cCertFile[0] = rec->cCertPassword[0] = '\0';
    return;
  }
  uint32_t bits = kSslUse | (static_cast<uint32_t>(v.type & 3) << kSslTypeShift) |
                  (static_cast<uint32_t>(v.strength & 3) << kSslStrengthShift);
  if (v.acceptExpired) bits |= kSslExpired;
  if (v.acceptSelfSigned) bits |= kSslSelf;
  if (v.acceptFuture) bits |= kSslFuture;
  if (v.acceptInvalid) bits |= kSslInvalid;
  rec->uSecurity = kept | bits;
  SetField(rec->cCertFile, v.certFile);
  SetField(rec->cCertPassword, v.certPassword);
}

std::optional<PageFailure> RecordFromPages(const SessionPages& pages, MountTable& mounts,
                                           PasswordScrambler& scrambler, HostRecord* rec) {
  if (auto f = CheckSessionPage(pages.session, mounts)) return PageFailure{SettingsPage::kSession, *f};
  if (auto f = CheckFirewallPage(pages.firewall)) return PageFailure{SettingsPage::kFirewall, *f};
  if (auto f = CheckSecurityPage(pages.security)) return PageFailure{SettingsPage::kSecurity, *f};
  HostRecord out = *rec;
  SessionPageToRecord(pages.session, scrambler, &out);
  FirewallPageToRecord(pages.firewall, &out);
  SecurityPageToRecord(pages.security, &out);
  *rec = out;
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Session-name dialog

SessionNameDialogText SessionNameDialog(bool renaming) {
  if (renaming) return {"Rename Session", "Enter new name for session:"};
  return {"New Session", "Enter name for new session:"};
}

CheckResult CheckSessionName(const std::string& name,
                             const std::function<bool(const std::string&)>& exists) {
  auto info = [](std::string text) {
    return Failure(kProgramLongTitle, std::move(text), BoxIcon::kInformation, SettingsField::kSessionName);
  };
  if (name.empty()) return info("Please type a name for the session");
  // The name is a key of its own under Sessions: a backslash would make it
  // a key below another one.
  if (name.find('\\') != std::string::npos)
    return info("A session name cannot contain a backslash (\\).\r\rPlease type a name without it.");
  long chars = Utf8Chars(name);
  bool control = std::any_of(name.begin(), name.end(), [](char c) {
    unsigned char b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7f;
  });
  if (control || chars < 0)
    return info(
        "A session name cannot contain line breaks, tabs or other control characters,\rnor bytes "
        "that are not UTF-8 text: the settings and .reg files cannot carry them.\r\rPlease type a "
        "name without them.");
  if (name.size() > kSessionNameLimit || static_cast<size_t>(chars) > kSessionNameMaxChars)
    return info("A session name can have at most " + std::to_string(kSessionNameMaxChars) +
                " characters.");
  if (EqualsNoCase(name, "HostIndex") || (exists && exists(name)))
    return Failure(kProgramLongTitle, "Session Name already exists", BoxIcon::kWarning,
                   SettingsField::kSessionName);
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Application Settings page

int CapFlagIndex(const std::string& capFlag) {
  switch (capFlag.empty() ? 'A' : capFlag[0]) {
    case 'C': return 1;
    case 'U': return 2;
    case 'L': return 3;
    default: return 0;
  }
}

std::string CapFlagFromIndex(int index) {
  static constexpr const char* kFlags[] = {"A", "C", "U", "L"};
  return index >= 0 && index < 4 ? kFlags[index] : "A";
}

std::string ApplyCapFlag(const std::string& capFlag, const std::string& name) {
  std::string out = name;
  switch (CapFlagIndex(capFlag)) {
    case 1:
      for (size_t i = 0; i < out.size(); ++i) out[i] = i == 0 ? Upper(out[i]) : Lower(out[i]);
      break;
    case 2: std::transform(out.begin(), out.end(), out.begin(), Upper); break;
    case 3: std::transform(out.begin(), out.end(), out.begin(), Lower); break;
    default: break;
  }
  return out;
}

ExtensionList ExtensionList::FromSetting(const std::string& joined) {
  ExtensionList list;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t slash = joined.find('/', start);
    if (slash == std::string::npos) slash = joined.size();
    if (slash > start) list.items_.push_back(joined.substr(start, slash - start));
    start = slash + 1;
  }
  list.Sort();
  return list;
}

std::string ExtensionList::ToSetting() const {
  std::string out;
  for (const auto& item : items_) {
    if (!out.empty()) out += '/';
    out += item;
  }
  return out;
}

std::string ExtensionList::Key(const std::string& editText) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t b = 0;
  while (b < editText.size() && (blank(editText[b]) || editText[b] == '.')) ++b;
  size_t e = editText.find('.', b);
  if (e == std::string::npos) e = editText.size();
  while (e > b && blank(editText[e - 1])) --e;
  return editText.substr(b, e - b);
}

int ExtensionList::Find(const std::string& key) const {
  if (key.empty()) return -1;
  for (size_t i = 0; i < items_.size(); ++i)
    if (EqualsNoCase(items_[i], key)) return static_cast<int>(i);
  return -1;
}

int ExtensionList::Add(const std::string& editText) {
  std::string key = Key(editText);
  if (key.empty()) return -1;
  // The separator of the stored list cannot be part of an extension.
  if (key.find('/') != std::string::npos) return -1;
  int at = Find(key);
  if (at >= 0) return at;
  items_.push_back(key);
  Sort();
  return Find(key);
}

bool ExtensionList::Remove(const std::string& editText) {
  int at = Find(Key(editText));
  if (at < 0) return false;
  items_.erase(items_.begin() + at);
  return true;
}

void ExtensionList::Sort() { std::stable_sort(items_.begin(), items_.end(), LessNoCase); }

AppPageValues AppPageFromSettings(const AppSettings& s) {
  auto flag = [](const std::string& v) { return !v.empty() && v[0] == 'X'; };
  AppPageValues v;
  v.emailAddress = s.cEmailAddress;
  v.hostFileNames = CapFlagIndex(s.cCapFlag);
  v.showHidden = flag(s.cHiddenFlag);
  v.autoStart = flag(s.cAutoStart);
  v.maxFeedback = flag(s.cFeedbackFlag);
  v.connectionLog = s.bDebugLog;
  v.disableSplash = s.bDisableSplash;
  v.keepAlive = s.bKeepAlive != 0;
  v.keepAliveMinutes = v.keepAlive ? std::max(0, s.iKeepAliveTime) : 0;
  v.allowPasv = s.bPassive != 0;
  v.dontCloseDialUp = flag(s.cConfirmDisconnectRas);
  v.extensions = ExtensionList::FromSetting(s.cAsciiExtensions);
  return v;
}

AppPageEffects AppPageToSettings(const AppPageValues& v, AppSettings* s) {
  AppPageEffects fx;
  const bool hiddenBefore = !s->cHiddenFlag.empty() && s->cHiddenFlag[0] == 'X';
  const int capBefore = CapFlagIndex(s->cCapFlag);
  s->cEmailAddress = v.emailAddress;
  s->cCapFlag = CapFlagFromIndex(v.hostFileNames);
  s->cHiddenFlag = v.showHidden ? "X" : "";
  s->cAutoStart = v.autoStart ? "X" : "";
  s->cFeedbackFlag = v.maxFeedback ? "X" : "";
  s->bDebugLog = v.connectionLog;
  s->bDisableSplash = v.disableSplash;
  const int minutes = v.keepAlive ? std::max(0, v.keepAliveMinutes) : 0;
  s->bKeepAlive = v.keepAlive ? 1 : 0;
  s->iKeepAliveTime = minutes;
  s->bPassive = v.allowPasv ? 1 : 0;
  s->cConfirmDisconnectRas = v.dontCloseDialUp ? "X" : "";
  s->cAsciiExtensions = v.extensions.ToSetting();
  fx.refreshPcView = hiddenBefore != v.showHidden;
  fx.refreshHostView = capBefore != CapFlagIndex(s->cCapFlag);
  if (v.keepAlive && minutes > 0) fx.keepAliveRestartMs = static_cast<int64_t>(minutes) * 60000;
  return fx;
}

}  // namespace tarn
