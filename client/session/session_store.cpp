#include "client/session/session_store.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace tarn {

using platform::RegKey;
using platform::RegStatus;
using platform::RegValue;

namespace {

constexpr const char* kHostIndex = "HostIndex";
constexpr const char* kZoomPaths = "ZoomPaths";

// Registry names compare as the registry does: ASCII letters fold.
bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Decimal text as the stored numbers spell it; leading blanks and a sign
// are taken, anything after the digits is ignored, junk reads as 0, and a
// number beyond 32 bits is clamped.
int32_t ParseDecimal(const char* text) {
  long v = std::strtol(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

const char* YesNo(bool yes) { return yes ? "YES" : "NO"; }

// Session names that never name a session key: the empty name would be the
// Sessions key itself, and HostIndex is the session list.
bool IsSessionName(const std::string& name) {
  return !name.empty() && !EqualsNoCase(name, kHostIndex);
}

}  // namespace

// --- Keys and values ------------------------------------------------------

std::optional<RegKey> SessionStore::OpenSessionsKey(const std::string& name, bool create) {
  RegKey key;
  std::string path = platform::RegJoin(kSessionsKey, name);
  RegStatus st = create ? reg_.CreateKey(path, &key) : reg_.OpenKey(path, &key);
  if (st != RegStatus::kOk) return std::nullopt;
  return key;
}

std::optional<RegKey> SessionStore::OpenApplicationKey(const std::string& name, bool create) {
  RegKey key;
  std::string path = platform::RegJoin(kApplicationKey, name);
  RegStatus st = create ? reg_.CreateKey(path, &key) : reg_.OpenKey(path, &key);
  if (st != RegStatus::kOk) return std::nullopt;
  return key;
}

bool SessionStore::ReadBytes(const RegKey& key, const std::string& name, uint32_t capacity,
                             std::string* bytes) {
  RegValue value;
  if (reg_.QueryValue(key, name, &value) != RegStatus::kOk) return false;
  std::string data(value.data.begin(), value.data.end());
  bool text = value.type == platform::REG_SZ || value.type == platform::REG_EXPAND_SZ;
  if (text && !data.empty() && data.back() == '\0') data.pop_back();
  // Every value is read as a C string, so a terminator must fit after the
  // bytes: a REG_SZ needs its stored size, binary data one byte more.
  size_t needed = data.size() + 1;
  if (needed > capacity) {
    ui_.MessageBox("Buffer needs to be at least " + std::to_string(needed) + " bytes long",
                   "Buffer too small", BoxButtons::kOk, BoxIcon::kWarning);
    return false;
  }
  *bytes = std::move(data);
  return true;
}

bool SessionStore::ReadValue(const RegKey& key, const std::string& name, char* buffer,
                             uint32_t capacity) {
  std::string bytes;
  if (!ReadBytes(key, name, capacity, &bytes)) return false;
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = '\0';
  return true;
}

void SessionStore::WriteString(const RegKey& key, const std::string& name,
                               const std::string& text) {
  std::vector<uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  reg_.SetValue(key, name, platform::REG_SZ, data);
}

namespace {

void WriteBinary(platform::Registry& reg, const RegKey& key, const std::string& name,
                 const std::string& bytes) {
  reg.SetValue(key, name, platform::REG_BINARY, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

}  // namespace

// --- Sessions -------------------------------------------------------------

template <size_t N>
void SessionStore::ReadSecret(const RegKey& key, const std::string& name, char (&field)[N],
                              bool unscramble) {
  std::string bytes;
  if (!ReadBytes(key, name, N, &bytes)) {
    field[0] = '\0';
    return;
  }
  if (unscramble) {
    SetField(field, UnscramblePassword(bytes));
  } else if (bytes.find('\0') != std::string::npos) {
    // Scrambled by a release that let a byte wrap to NUL: held as it is,
    // the text would end at that byte. Scrambled afresh it keeps its length.
    SetField(field, ScrambledCopy(UnscramblePassword(bytes).c_str()));
  } else {
    SetField(field, bytes);
  }
}

std::string SessionStore::ScrambledCopy(const char* plain) {
  std::lock_guard<std::mutex> lock(scramblerMu_);
  return scrambler_.Scramble(std::string(plain));
}

bool SessionStore::LoadSession(const std::string& name, HostRecord* rec, AppState* app) {
  if (!IsSessionName(name)) return false;
  auto key = OpenSessionsKey(name, false);
  if (!key) return false;
  SetField(rec->cSessionName, name);

  auto read = [&](const char* value, auto& field) {
    ReadValue(*key, value, field, sizeof field);
  };
  read("HostName", rec->cHostName);
  read("FTPPort", rec->cFTPPort);
  read("ConnectFlag", rec->cConnectFlag);
  read("ConnectVia", rec->cConnectVia);
  read("DefaultTransfer", rec->cDefaultTransfer);
  read("Proxy", rec->cProxy);
  read("ProxyAddress", rec->cProxyAddress);
  read("ProxyPort", rec->cProxyPort);
  read("UserFlag", rec->cUserFlag);
  read("UserName", rec->cUserName);
  read("PasswordFlag", rec->cPasswordFlag);
  read("InitHostDir", rec->cHostDir);
  read("InitLocalDir", rec->cLocalDir);
  ReadSecret(*key, "RandomInitData", rec->cPassword, false);
  ReadSecret(*key, "RandomSeed", rec->cAccount, false);
  LoadFirewallGroup(*key, rec);
  LoadSslGroup(*key, rec);

  if (app) {
    char done[6] = {};
    bool read_ok = ReadValue(*key, "ResIsDownLoadDone", done, sizeof done);
    app->bLastDownloadDone = !read_ok || std::strcmp(done, "FALSE") != 0;
  }
  return true;
}

void SessionStore::LoadFirewallGroup(const RegKey& key, HostRecord* rec) {
  char use[4] = {};
  if (!ReadValue(key, "Firewalluse", use, sizeof use) || std::strcmp(use, "YES") != 0) {
    rec->iFirewallUse = 0;
    rec->cFirewallHost[0] = '\0';
    rec->cFirewallUser[0] = '\0';
    rec->cFirewallPass[0] = '\0';
    rec->iFirewallPort = 21;
    rec->iFirewallType = 0;
    return;
  }
  rec->iFirewallUse = 1;
  ReadValue(key, "Firewallhost", rec->cFirewallHost, sizeof rec->cFirewallHost);
  ReadValue(key, "Firewalluser", rec->cFirewallUser, sizeof rec->cFirewallUser);
  ReadSecret(key, "CryptoKeys", rec->cFirewallPass, true);
  char port[6] = {};
  if (ReadValue(key, "Firewallport", port, sizeof port)) rec->iFirewallPort = ParseDecimal(port);
  char type[3] = {};
  if (ReadValue(key, "Firewalltype", type, sizeof type)) rec->iFirewallType = ParseDecimal(type);
}

void SessionStore::LoadSslGroup(const RegKey& key, HostRecord* rec) {
  constexpr uint32_t kAllSslBits = 0x1ffu;
  char use[4] = {};
  if (!ReadValue(key, "SSLUse", use, sizeof use) || std::strcmp(use, "YES") != 0) {
    rec->uSecurity = (rec->uSecurity & ~kAllSslBits) | (1u << kSslStrengthShift);
    rec->cCertFile[0] = '\0';
    rec->cCertPassword[0] = '\0';
    return;
  }
  rec->uSecurity |= kSslUse;
  ReadSecret(key, "SSLCryptoSeed", rec->cCertPassword, true);
  if (!ReadValue(key, "SSLCertfile", rec->cCertFile, sizeof rec->cCertFile))
    rec->cCertFile[0] = '\0';

  static constexpr struct {
    const char* name;
    uint32_t bit;
  } kFlags[] = {{"SSLExpired", kSslExpired},
                {"SSLInvalid", kSslInvalid},
                {"SSLFuture", kSslFuture},
                {"SSLSelf", kSslSelf}};
  for (const auto& flag : kFlags) {
    char yes[4] = {};
    if (ReadValue(key, flag.name, yes, sizeof yes) && std::strcmp(yes, "YES") == 0)
      rec->uSecurity |= flag.bit;
    else
      rec->uSecurity &= ~flag.bit;
  }
  char num[4] = {};
  if (ReadValue(key, "SSLType", num, sizeof num))
    rec->uSecurity = (rec->uSecurity & ~static_cast<uint32_t>(kSslTypeMask)) |
                     ((static_cast<uint32_t>(ParseDecimal(num)) & 3u) << kSslTypeShift);
  if (ReadValue(key, "SSLStrength", num, sizeof num))
    rec->uSecurity = (rec->uSecurity & ~static_cast<uint32_t>(kSslStrengthMask)) |
                     ((static_cast<uint32_t>(ParseDecimal(num)) & 3u) << kSslStrengthShift);
}

void SessionStore::SaveSession(const HostRecord& rec) {
  std::string name(rec.cSessionName);
  if (!IsSessionName(name)) return;
  auto key = OpenSessionsKey(name, true);
  if (!key) return;
  WriteString(*key, "HostName", rec.cHostName);
  WriteString(*key, "FTPPort", rec.cFTPPort);
  WriteString(*key, "ConnectFlag", rec.cConnectFlag);
  WriteString(*key, "ConnectVia", rec.cConnectVia);
  WriteString(*key, "DefaultTransfer", rec.cDefaultTransfer);
  WriteString(*key, "Proxy", rec.cProxy);
  WriteString(*key, "ProxyAddress", rec.cProxyAddress);
  WriteString(*key, "ProxyPort", rec.cProxyPort);
  WriteString(*key, "InitHostDir", rec.cHostDir);
  WriteString(*key, "InitLocalDir", rec.cLocalDir);
  WriteString(*key, "UserFlag", rec.cUserFlag);
  WriteString(*key, "UserName", rec.cUserName);
  WriteString(*key, "PasswordFlag", rec.cPasswordFlag);
  // The log-on secrets are held scrambled already.
  WriteBinary(reg_, *key, "RandomInitData", rec.cPassword);
  WriteBinary(reg_, *key, "RandomSeed", rec.cAccount);
  SaveFirewallGroup(*key, rec);
  SaveSslGroup(*key, rec);
}

void SessionStore::SaveFirewallGroup(const RegKey& key, const HostRecord& rec) {
  if (!rec.iFirewallUse) {
    // The other firewall values stay in the registry; loading ignores them.
    WriteString(key, "Firewalluse", "NO");
    return;
  }
  WriteString(key, "Firewalluse", "YES");
  WriteString(key, "Firewallhost", rec.cFirewallHost);
  WriteString(key, "Firewalluser", rec.cFirewallUser);
  WriteBinary(reg_, key, "CryptoKeys", ScrambledCopy(rec.cFirewallPass));
  WriteString(key, "Firewalltype", std::to_string(rec.iFirewallType));
  WriteString(key, "Firewallport", std::to_string(rec.iFirewallPort));
}

void SessionStore::SaveSslGroup(const RegKey& key, const HostRecord& rec) {
  if (!(rec.uSecurity & kSslUse)) {
    WriteString(key, "SSLUse", "NO");
    return;
  }
  WriteString(key, "SSLUse", "YES");
  WriteBinary(reg_, key, "SSLCryptoSeed", ScrambledCopy(rec.cCertPassword));
  WriteString(key, "SSLCertfile", rec.cCertFile);
  WriteString(key, "SSLExpired", YesNo(rec.uSecurity & kSslExpired));
  WriteString(key, "SSLInvalid", YesNo(rec.uSecurity & kSslInvalid));
  WriteString(key, "SSLFuture", YesNo(rec.uSecurity & kSslFuture));
  WriteString(key, "SSLSelf", YesNo(rec.uSecurity & kSslSelf));
  WriteString(key, "SSLStrength", std::to_string(rec.SslStrength()));
  WriteString(key, "SSLType", std::to_string(rec.SslType()));
}

bool SessionStore::SessionExists(const std::string& name) {
  if (EqualsNoCase(name, kHostIndex)) return true;
  auto sessions = OpenSessionsKey("", false);
  if (!sessions) return false;
  std::vector<std::string> names;
  reg_.EnumKeys(*sessions, &names);
  for (const auto& n : names)
    if (EqualsNoCase(n, name)) return true;
  return false;
}

// --- Application settings -------------------------------------------------

AppSettings FreshInstallSettings() {
  AppSettings s;
  s.bPassive = 1;
  return s;
}

void SessionStore::LoadAppSettings(AppSettings* settings) {
  RegKey opened;
  RegStatus st = reg_.OpenKey(kApplicationKey, &opened);
  std::vector<RegValue> present;
  if (st == RegStatus::kNotFound ||
      (st == RegStatus::kOk && reg_.EnumValues(opened, &present) == RegStatus::kOk && present.empty())) {
    // First start: the log file is on until the person turns it off.
    *settings = FreshInstallSettings();
    SaveAppSettings(*settings);
    return;
  }
  // A store that fails to answer is not taken for a fresh one: the
  // defaults would overwrite what it holds.
  auto key = OpenApplicationKey("", false);
  if (!key) {
    *settings = FreshInstallSettings();
    return;
  }
  // An absent value reads as empty text, so "NO" or 0.
  auto text = [&](const char* name, uint32_t capacity) {
    std::string bytes;
    if (!ReadBytes(*key, name, capacity, &bytes)) return std::string();
    return std::string(bytes.c_str());
  };
  constexpr uint32_t kFlag = 2, kYesNo = 4, kNumber = 16;
  settings->cEmailAddress = text("EmailAddress", 260);
  settings->cCapFlag = text("CapFlag", kFlag);
  settings->cHiddenFlag = text("HiddenFlag", kFlag);
  settings->cAutoStart = text("AutoStart", kFlag);
  settings->cFeedbackFlag = text("FeedbackFlag", kFlag);
  settings->cConfirmDisconnectRas = text("ConfirmDisconnectRas", kFlag);
  settings->bDisableSplash = text("DisableSplash", kYesNo) == "YES";
  settings->bCloseXferDialog = text("CloseXferDialog", kYesNo) == "YES";
  settings->bDebugLog = text("DebugLog", kYesNo) == "YES";
  settings->bKeepAlive = ParseDecimal(text("KeepAlive", kNumber).c_str());
  settings->iKeepAliveTime = ParseDecimal(text("KeepAliveTime", kNumber).c_str());
  settings->bPassive = ParseDecimal(text("PASV", kNumber).c_str());

  // The extension list has no length limit in the settings page, so it is
  // read with room to spare; the default is written back only when the value
  // is absent, never over a list that merely failed to read.
  constexpr uint32_t kExtensions = 4096;
  std::string ext;
  RegValue probe;
  if (ReadBytes(*key, "AsciiExtensions", kExtensions, &ext)) {
    settings->cAsciiExtensions = ext.c_str();
  } else {
    settings->cAsciiExtensions = AppSettings{}.cAsciiExtensions;
    if (reg_.QueryValue(*key, "AsciiExtensions", &probe) == RegStatus::kNotFound)
      WriteString(*key, "AsciiExtensions", settings->cAsciiExtensions);
  }
}

void SessionStore::SaveAppSettings(const AppSettings& settings) {
  auto key = OpenApplicationKey("", true);
  if (!key) return;
  WriteString(*key, "EmailAddress", settings.cEmailAddress);
  WriteString(*key, "CapFlag", settings.cCapFlag);
  WriteString(*key, "HiddenFlag", settings.cHiddenFlag);
  WriteString(*key, "AutoStart", settings.cAutoStart);
  WriteString(*key, "FeedbackFlag", settings.cFeedbackFlag);
  WriteString(*key, "AsciiExtensions", settings.cAsciiExtensions);
  WriteString(*key, "ConfirmDisconnectRas", settings.cConfirmDisconnectRas);
  WriteString(*key, "DebugLog", YesNo(settings.bDebugLog));
  WriteString(*key, "DisableSplash", YesNo(settings.bDisableSplash));
  WriteString(*key, "KeepAlive", std::to_string(settings.bKeepAlive));
  WriteString(*key, "KeepAliveTime", std::to_string(settings.iKeepAliveTime));
  WriteString(*key, "PASV", std::to_string(settings.bPassive));
}

void SessionStore::SaveCloseXferDialog(bool close) {
  if (auto key = OpenApplicationKey("", true)) WriteString(*key, "CloseXferDialog", YesNo(close));
}

void SessionStore::SetQueueFileForScheduler(const std::string& path) {
  if (auto key = OpenApplicationKey("", true)) WriteString(*key, "CurrentQueueFile", path);
}

void SessionStore::SaveWindowPlacement(const WindowPlacement& placement) {
  auto key = OpenApplicationKey("", true);
  if (!key) return;
  using State = WindowPlacement::State;
  const char* flag = placement.state == State::kMaximised   ? "TRUE"
                     : placement.state == State::kMinimised ? "ICON"
                                                            : "FALSE";
  WriteString(*key, "WindowMaxFlag", flag);
  if (placement.state != State::kNormal) return;
  WriteString(*key, "mainWindowLeftPosition", std::to_string(placement.left));
  WriteString(*key, "mainWindowTopPosition", std::to_string(placement.top));
  WriteString(*key, "mainWindowWidth", std::to_string(placement.width));
  WriteString(*key, "mainWindowHeight", std::to_string(placement.height));
}

bool SessionStore::LoadWindowPlacement(WindowPlacement* placement) {
  auto key = OpenApplicationKey("", false);
  if (!key) return false;
  using State = WindowPlacement::State;
  *placement = WindowPlacement{};
  std::string flag;
  if (ReadBytes(*key, "WindowMaxFlag", 6, &flag)) {
    flag = flag.c_str();
    if (EqualsNoCase(flag, "TRUE")) placement->state = State::kMaximised;
    else if (EqualsNoCase(flag, "ICON")) placement->state = State::kMinimised;
  }
  std::string left, top, width, height;
  constexpr uint32_t kNumber = 16;
  placement->hasRect = ReadBytes(*key, "mainWindowLeftPosition", kNumber, &left) &&
                       ReadBytes(*key, "mainWindowTopPosition", kNumber, &top) &&
                       ReadBytes(*key, "mainWindowWidth", kNumber, &width) &&
                       ReadBytes(*key, "mainWindowHeight", kNumber, &height);
  if (placement->hasRect) {
    placement->left = ParseDecimal(left.c_str());
    placement->top = ParseDecimal(top.c_str());
    placement->width = ParseDecimal(width.c_str());
    placement->height = ParseDecimal(height.c_str());
  }
  return true;
}

// --- Session list and zoom paths -------------------------------------------

std::vector<std::string> SessionStore::ReadNumbered(const RegKey& key, const std::string& prefix) {
  std::vector<std::string> out;
  for (int i = 0;; ++i) {
    std::string name = prefix + std::to_string(i);
    RegValue probe;
    if (reg_.QueryValue(key, name, &probe) != RegStatus::kOk) break;
    std::string bytes;
    if (ReadBytes(key, name, 260, &bytes)) out.emplace_back(bytes.c_str());
  }
  return out;
}

int SessionStore::CountSessions() {
  auto key = OpenSessionsKey(kHostIndex, false);
  if (!key) return 0;
  std::vector<RegValue> values;
  if (reg_.EnumValues(*key, &values) != RegStatus::kOk) return 0;
  return static_cast<int>(values.size());
}

std::vector<std::string> SessionStore::SessionList() {
  auto key = OpenSessionsKey(kHostIndex, false);
  if (!key) return {};
  return ReadNumbered(*key, "Host");
}

void SessionStore::SaveSessionList(const std::vector<std::string>& items) {
  reg_.DeleteKey(platform::RegJoin(kSessionsKey, kHostIndex));
  auto key = OpenSessionsKey(kHostIndex, true);
  if (!key) return;
  if (items.size() == 1 && items[0] == kNoSessionsText) return;
  for (size_t i = 0; i < items.size(); ++i)
    WriteString(*key, "Host" + std::to_string(i), items[i]);
}

std::vector<std::string> SessionStore::SessionKeyNames() {
  std::vector<std::string> list;
  if (auto sessions = OpenSessionsKey("", false)) {
    std::vector<std::string> names;
    reg_.EnumKeys(*sessions, &names);
    // The list key is a subkey like the sessions, in whatever spelling it
    // was made.
    for (const auto& n : names)
      if (!EqualsNoCase(n, kHostIndex)) list.push_back(n);
  }
  return list;
}

std::vector<std::string> SessionStore::RebuildSessionList() {
  if (CountSessions() == 0) {
    std::vector<std::string> list = SessionKeyNames();
    if (!list.empty()) {
      if (auto key = OpenSessionsKey(kHostIndex, true))
        for (size_t i = 0; i < list.size(); ++i)
          WriteString(*key, "Host" + std::to_string(i), list[i]);
    }
  }
  return SessionList();
}

std::vector<std::string> SessionStore::ListedSessions() {
  if (CountSessions() == 0) return SessionKeyNames();
  return SessionList();
}

namespace {

// "Software\Ostravel\Tarn\Sessions\Home\ZoomPaths" -> "Home"; empty
// for a path that is not at or below a subkey of Sessions.
std::string SessionOfPath(const std::string& path) {
  const std::string prefix = std::string(kSessionsKey) + "\\";
  if (path.size() <= prefix.size() || !EqualsNoCase(path.substr(0, prefix.size()), prefix))
    return {};
  std::string rest = path.substr(prefix.size());
  return rest.substr(0, rest.find('\\'));
}

// True when deleting `path` took the Sessions key itself with it.
bool TakesAllSessions(const std::string& path) {
  const std::string sessions = kSessionsKey;
  if (path.size() > sessions.size()) return false;
  if (!EqualsNoCase(path, sessions.substr(0, path.size()))) return false;
  return path.size() == sessions.size() || sessions[path.size()] == '\\';
}

}  // namespace

void SessionStore::AddImportedSessions(const std::vector<std::string>& before,
                                       const std::vector<std::string>& keyPaths,
                                       const std::vector<std::string>& deletedPaths) {
  bool fileHasIndex = false;
  std::vector<std::string> imported;
  for (const auto& path : keyPaths) {
    std::string name = SessionOfPath(path);
    if (EqualsNoCase(name, kHostIndex)) fileHasIndex = true;
    else if (!name.empty()) imported.push_back(name);
  }
  bool allDeleted = false;
  std::vector<std::string> deleted;
  for (const auto& path : deletedPaths) {
    if (TakesAllSessions(path)) allDeleted = true;
    // Only the session key itself: a deleted ZoomPaths leaves the session.
    std::string name = SessionOfPath(path);
    if (!name.empty() && EqualsNoCase(platform::RegJoin(kSessionsKey, name), path))
      deleted.push_back(name);
  }

  if (imported.empty() && !fileHasIndex && deleted.empty() && !allDeleted) return;

  const std::vector<std::string> stored = SessionKeyNames();
  auto storedSpelling = [&](const std::string& name) -> std::string {
    for (const auto& n : stored)
      if (EqualsNoCase(n, name)) return n;
    return {};
  };
  auto among = [](const std::vector<std::string>& names, const std::string& name) {
    for (const auto& n : names)
      if (EqualsNoCase(n, name)) return true;
    return false;
  };

  HostRecord probe;
  std::vector<std::string> list;
  // A name listed before stays as it was spelled, unless this import
  // deleted its key; a name the import brought must name a session key.
  auto keep = [&](const std::string& name) {
    if (!IsSessionName(name) || among(list, name)) return;
    if (storedSpelling(name).empty() && (allDeleted || among(deleted, name))) return;
    list.push_back(name);
  };
  auto add = [&](const std::string& name) {
    const std::string spelled = storedSpelling(name);
    if (!IsSessionName(spelled) || among(list, spelled) || !FitsField(probe.cSessionName, spelled))
      return;
    list.push_back(spelled);
  };
  for (const auto& name : before) keep(name);
  if (fileHasIndex)
    for (const auto& name : SessionList()) add(name);
  for (const auto& name : imported) add(name);

  if (list != SessionList()) SaveSessionList(list);
}

std::vector<std::string> SessionStore::LoadZoomPaths(const std::string& sessionName) {
  if (!IsSessionName(sessionName)) return {};
  auto key = OpenSessionsKey(platform::RegJoin(sessionName, kZoomPaths), false);
  if (!key) return {};
  return ReadNumbered(*key, "Zoom");
}

void SessionStore::SaveZoomPaths(const std::string& sessionName,
                                 const std::vector<std::string>& paths) {
  if (!IsSessionName(sessionName) || !OpenSessionsKey(sessionName, false)) return;
  std::string sub = platform::RegJoin(sessionName, kZoomPaths);
  reg_.DeleteKey(platform::RegJoin(kSessionsKey, sub));
  auto key = OpenSessionsKey(sub, true);
  if (!key) return;
  for (size_t i = 0; i < paths.size(); ++i)
    WriteString(*key, "Zoom" + std::to_string(i), paths[i]);
}

// --- Resume state ---------------------------------------------------------

void SessionStore::SaveResumeState(const std::string& sessionName, const ResumeState& state) {
  if (!IsSessionName(sessionName)) return;
  auto key = OpenSessionsKey(sessionName, false);
  if (!key) return;
  WriteString(*key, "ResumeFileName", state.cResumeFileName);
  WriteString(*key, "ResumeSourceFileSize", state.cResumeSourceFileSize);
  WriteString(*key, "ResumeSourcePath", state.cResumeSourcePath);
  WriteString(*key, "ResIsDownLoadDone", state.cResIsDownLoadDone);
  WriteString(*key, "ResFileCreateDate", state.cResFileCreateDate);
  WriteString(*key, "ResTransferType", state.cResTransferType);
}

bool SessionStore::LoadResumeState(const std::string& sessionName, ResumeState* state,
                                   AppState* app) {
  std::optional<RegKey> key;
  if (IsSessionName(sessionName)) key = OpenSessionsKey(sessionName, false);
  if (!key) {
    if (app) app->bNoResumeInfo = 1;
    return false;
  }
  if (app) app->bNoResumeInfo = 0;
  ReadValue(*key, "ResumeFileName", state->cResumeFileName, sizeof state->cResumeFileName);
  ReadValue(*key, "ResumeSourceFileSize", state->cResumeSourceFileSize,
            sizeof state->cResumeSourceFileSize);
  ReadValue(*key, "ResumeSourcePath", state->cResumeSourcePath, sizeof state->cResumeSourcePath);
  ReadValue(*key, "ResIsDownLoadDone", state->cResIsDownLoadDone,
            sizeof state->cResIsDownLoadDone);
  ReadValue(*key, "ResFileCreateDate", state->cResFileCreateDate,
            sizeof state->cResFileCreateDate);
  ReadValue(*key, "ResTransferType", state->cResTransferType, sizeof state->cResTransferType);
  return true;
}

// --- Create, rename, delete -------------------------------------------------

void SessionStore::CreateSession(const std::string& name, const std::string& hostName,
                                 const std::vector<std::string>& zoomPaths, HostRecord* rec) {
  InitNewSession(rec, name, hostName);
  std::string stored(rec->cSessionName);  // the name as the record can hold it
  if (!IsSessionName(stored)) return;
  std::vector<std::string> list = SessionList();
  list.push_back(stored);
  SaveSessionList(list);
  SaveSession(*rec);
  SaveZoomPaths(stored, zoomPaths);
}

namespace {

// Copies the values of `from` that `to` lacks, then every subkey whole.
void CopyMissing(platform::Registry& reg, const std::string& from, const std::string& to) {
  RegKey src, dst;
  if (reg.OpenKey(from, &src) != RegStatus::kOk || reg.CreateKey(to, &dst) != RegStatus::kOk)
    return;
  std::vector<RegValue> values;
  reg.EnumValues(src, &values);
  for (const auto& v : values) {
    RegValue have;
    if (reg.QueryValue(dst, v.name, &have) == RegStatus::kNotFound)
      reg.SetValue(dst, v.name, v.type, v.data);
  }
  std::vector<std::string> subkeys;
  reg.EnumKeys(src, &subkeys);
  for (const auto& sub : subkeys)
    CopyMissing(reg, platform::RegJoin(from, sub), platform::RegJoin(to, sub));
}

}  // namespace

bool SessionStore::RenameSession(const std::string& oldName, const std::string& newName) {
  HostRecord probe;
  // The new key must be a different key: names differing only in letter
  // case name the same key, and deleting the old one would lose both.
  if (!IsSessionName(oldName) || !IsSessionName(newName) || !FitsField(probe.cSessionName, newName) ||
      EqualsNoCase(oldName, newName) || SessionExists(newName))
    return false;
  HostRecord rec;
  if (!LoadSession(oldName, &rec, nullptr)) return false;
  SetField(rec.cSessionName, newName);
  SaveSession(rec);
  // Zoom paths, the resume state and the firewall values kept aside while
  // the firewall is off go along with the session.
  CopyMissing(reg_, platform::RegJoin(kSessionsKey, oldName),
              platform::RegJoin(kSessionsKey, newName));
  reg_.DeleteKey(platform::RegJoin(kSessionsKey, oldName));

  std::vector<std::string> list;
  for (auto& n : SessionList())
    if (!EqualsNoCase(n, oldName)) list.push_back(n);
  list.push_back(newName);
  SaveSessionList(list);
  return true;
}

bool SessionStore::DeleteSession(const std::string& name) {
  if (!IsSessionName(name)) return false;
  std::string text = "This command will permanently delete the connection settings for\rFTP host '" +
                     name + "'.\r\rDo you want to continue?";
  if (ui_.MessageBox(text, "Confirm Delete", BoxButtons::kYesNo, BoxIcon::kApplication) !=
      BoxResult::kYes)
    return false;
  reg_.DeleteKey(platform::RegJoin(kSessionsKey, platform::RegJoin(name, kZoomPaths)));
  reg_.DeleteKey(platform::RegJoin(kSessionsKey, name));
  std::vector<std::string> list;
  for (auto& n : SessionList())
    if (!EqualsNoCase(n, name)) list.push_back(n);
  SaveSessionList(list);
  return true;
}

}  // namespace tarn
