#include "client/engine/logon.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "client/engine/control.h"
#include "client/engine/messages.h"
#include "client/session/dialup_ops.h"
#include "client/session/password.h"
#include "client/session/session_store.h"

namespace tarn {

using platform::kInvalidSocket;
using platform::Socket;

namespace {

std::string Upper(std::string s) {
  for (char& ch : s) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
  return s;
}

bool Contains(const std::string& hay, const char* needle) {
  return hay.find(needle) != std::string::npos;
}

// Closes the control connection of a failed log-on, its TLS first.
void CloseControl(FtpConn& c, Socket sock) {
  if (c.tls && c.tls->Active(true)) c.tls->ShutdownAll();
  FtpCloseSocket(c, sock);
}

// Closes a socket of the log-on after a failure and leaves the idle status.
Socket GiveUp(FtpConn& c, Socket sock) {
  CloseControl(c, sock);
  c.ui->SetStatusText(kStatusOperation, msg::kStatusIdle);
  return kInvalidSocket;
}

// The box of a refused TLS step; the log-on then ends.
Socket TlsRefused(FtpConn& c, const char* text) {
  c.ui->MessageBox(text, c.app->cTitle, BoxButtons::kOk, BoxIcon::kInformation);
  return kInvalidSocket;
}

// USER, then PASS when USER asked for one. Returns the final class.
int SendUserPass(FtpConn& c, Socket sock, const std::string& user, const std::string& pass) {
  int rc = FtpCommand(c, sock, "USER %s", user.c_str());
  if (rc == kReplyIntermediate) rc = FtpCommand(c, sock, "PASS %s", pass.c_str());
  return rc;
}

// The TLS steps: AUTH, handshake, PBSZ, PROT.
bool NegotiateTls(FtpConn& c, Socket sock, const HostRecord& h) {
  c.ui->SetStatusText(kStatusOperation, msg::kStatusStartingTls);
  int rc = FtpCommand(c, sock, "AUTH TLS");
  if (rc == kReplyTransient) {
    c.ui->SetStatusText(kStatusOperation, msg::kStatusStartingSsl);
    rc = FtpCommand(c, sock, "AUTH SSL");
  }
  if (rc != kReplyComplete && rc != kReplyIntermediate) {
    TlsRefused(c, msg::kAuthRefused);
    return false;
  }
  c.ui->SetStatusText(kStatusOperation, msg::kStatusInitializingSsl);
  if (!c.tls) {
    LogWrite(c, "TLS is not available in this build\r\n");
    return false;
  }
  // The certificate must name the host connected to: the firewall when
  // the session goes through one.
  const std::string peer = h.iFirewallUse ? h.cFirewallHost : h.cHostName;
  if (!c.tls->HandshakeControl(sock, h, peer)) return false;
  if (FtpCommand(c, sock, "PBSZ 0") != kReplyComplete) {
    TlsRefused(c, msg::kPbszRefused);
    return false;
  }
  c.ui->SetStatusText(kStatusOperation, msg::kStatusNegotiatingProtection);
  char level = h.SslType() == 0 ? 'P' : 'C';
  if (FtpCommand(c, sock, "PROT %c", level) != kReplyComplete) {
    TlsRefused(c, level == 'C' ? msg::kClearDataRefused : msg::kProtectedDataRefused);
    return false;
  }
  return true;
}

// The control connection and the server's banner. Preliminary replies may
// come before the 220; "(EXOS" in one means the host ends its lines at CR.
// A CesarFTP banner settles the host type at once (it answers no SYST).
// Returns the socket, or kInvalidSocket after closing it, with the text for
// the person in cReply when the connection could not be made.
Socket OpenAndReadBanner(FtpConn& c, const std::string& target, uint16_t port) {
  c.bExosCR = 0;
  c.ui->SetStatusText(kStatusOperation, msg::kStatusConnecting);
  BusyScope busy(c, BusyScope::kLeaveKeepAlive);
  Socket sock = FtpOpenSocket(c, target, port);
  if (sock == kInvalidSocket) {
    const std::string text = msg::ConnectionFailedText(target);
    SetField(c.cReply, text);
    LogWrite(c, text + "\r\n");
    c.ui->SetStatusText(kStatusOperation, msg::kStatusIdle);
    return kInvalidSocket;
  }

  platform::NetResult r = c.net->LocalAddress(sock, &c.saLocal);
  if (!r.ok()) {
    FtpLogError(c, "getsockname", r.error);
    return GiveUp(c, sock);
  }
  LogDebug(c, Format("[%u] from %s port %u\r\n", static_cast<unsigned>(sock),
                     c.saLocal.AddrText().c_str(), static_cast<unsigned>(c.saLocal.port)));

  int rc;
  do {
    rc = FtpGetReply(c, sock);
    if (rc == kReplyPreliminary && strstr(c.cReply, "(EXOS")) c.bExosCR = 1;
  } while (rc == kReplyPreliminary);
  if (rc != kReplyComplete) {
    LogWrite(c, Format("Unknown open msg \"%s\" %u", c.cReply,
                       static_cast<unsigned>(c.iReplyCode.load())));
    return GiveUp(c, sock);
  }
  if (strstr(c.cReply, "CesarFTP")) {
    HostType t = HostTypeOf(c);
    t.server = SERVER_CESAR;
    t.system = SYSTEM_DEFAULT;
    t.view = VIEW_UNIX;
    SetHostType(c, t);
  }
  r = c.net->SetOobInline(sock, true);
  if (!r.ok()) FtpLogError(c, "setsockopt", r.error);
  return sock;
}

// The firewall schemes that log on at the firewall first, then at the host.
bool LogsOnAtFirewallFirst(const HostRecord& h) {
  return h.iFirewallUse &&
         (h.iFirewallType == kFirewallUserWithLogon || h.iFirewallType == kFirewallSiteHostname);
}

// The second step of those schemes: the host's user, or "site host".
// False after closing the connection.
bool LogOnThroughFirewall(FtpConn& c, Socket sock, const HostRecord& h) {
  std::string second;
  if (h.iFirewallType == kFirewallUserWithLogon) {
    c.ui->SetStatusText(kStatusOperation, msg::kStatusSendingUserName);
    second = std::string(h.cUserName) + "@" + h.cHostName;
  } else {
    c.ui->SetStatusText(kStatusOperation, msg::kStatusSendingSite);
    second = std::string("site ") + h.cHostName;
  }
  if (SendUserPass(c, sock, second, h.cPassword) != kReplyComplete) {
    LogDebug(c, Format("Could not connect to %s through FireWall Host\r\n", h.cHostName));
    CloseControl(c, sock);
    return false;
  }
  return true;
}

// Whether the server takes restart markers: REST 100 not refused, then
// back to 0.
void ProbeRestart(FtpConn& c, Socket sock) {
  if (FtpCommand(c, sock, "REST %s", "100") != kReplyPermanent) c.app->bResumeOK = 1;
  FtpCommand(c, sock, "REST %s", "0");
}

}  // namespace

LogonUser FirstLogonUser(const HostRecord& h) {
  LogonUser u{h.cUserName, h.cPassword};
  if (!h.iFirewallUse) return u;
  const std::string host = h.cHostName;
  switch (h.iFirewallType) {
    case kFirewallUserNoLogon:
      u.user = std::string(h.cUserName) + "@" + host;
      break;
    case kFirewallTransparent:
      u.user = std::string(h.cFirewallUser) + "@" + host + ":" + std::to_string(ConnectPort(h));
      break;
    default:  // kFirewallUserWithLogon, kFirewallSiteHostname: the firewall's own log-on
      u.user = h.cFirewallUser;
      u.pass = h.cFirewallPass;
      break;
  }
  return u;
}

Socket FtpLogon(FtpConn& c, HostRecord* pHost, uint16_t port) {
  if (c.app->bConnected) {
    LogWrite(c, "Already connected!\r\n");
    return kInvalidSocket;
  }
  std::string target = pHost->cHostName;
  uint16_t targetPort = port;
  if (pHost->iFirewallUse) {
    if (!pHost->cFirewallHost[0]) {
      LogWrite(c, msg::kNoFirewallHost);
      c.ui->SetStatusText(kStatusOperation, msg::kStatusIdle);
      SetField(c.cReply, msg::kNoFirewallHost);
      return kInvalidSocket;
    }
    target = pHost->cFirewallHost;
    targetPort = static_cast<uint16_t>(pHost->iFirewallPort);
  }

  Socket sock = OpenAndReadBanner(c, target, targetPort);
  if (sock == kInvalidSocket) return kInvalidSocket;

  // A refused TLS step leaves a connection that can be used for nothing:
  // it is closed like any other failed log-on.
  if ((pHost->uSecurity & kSslUse) && !NegotiateTls(c, sock, *pHost)) return GiveUp(c, sock);

  c.ui->SetStatusText(kStatusOperation, pHost->iFirewallUse ? msg::kStatusLoggingInAtFirewall
                                                             : msg::kStatusSendingUserName);
  const LogonUser first = FirstLogonUser(*pHost);
  if (SendUserPass(c, sock, first.user, first.pass) != kReplyComplete) {
    if (pHost->iFirewallUse)
      LogDebug(c, Format("Failed to log in to Firewall Host %s\r\n", pHost->cFirewallHost));
    else
      LogDebug(c, Format("Could not log on to remote host %s\r\n", target.c_str()));
    return GiveUp(c, sock);
  }
  if (LogsOnAtFirewallFirst(*pHost) && !LogOnThroughFirewall(c, sock, *pHost)) return kInvalidSocket;

  if (c.cConnAccount[0] && Contains(Upper(c.cReply), "'ACCOUNT"))
    FtpCommand(c, sock, "ACCT %s", pHost->cAccount);

  ProbeRestart(c, sock);

  c.app->bConnected = 1;
  c.ui->SetStatusText(kStatusOperation, msg::kStatusIdle);
  return sock;
}

void VseListingMode(FtpConn& c, Socket sock) {
  c.bL8Emulated = 0;
  HostType t = HostTypeOf(c);
  if (FtpCommand(c, sock, "SITE UNIX OFF") != kReplyPermanent) {
    t.family = HOST_VSE;
    t.server = SERVER_VSE;
    t.system = SYSTEM_VSE_NATIVE;
    t.view = VIEW_VSE;
    SetHostType(c, t);
    return;
  }
  LogWrite(c,
           "\"Site Unix\" command failed\n\nCould not use VSE style listings,\n"
           "using UNIX mode instead");
  c.ui->MessageBox(msg::kVseListingsMissing, msg::kVseListingsMissingCaption, BoxButtons::kOk,
                   BoxIcon::kInformation);
  t.server = SERVER_UNIX;
  t.system = SYSTEM_DEFAULT;
  t.view = VIEW_UNIX;
  SetHostType(c, t);
}

void FtpDetectHost(FtpConn& c, Socket sock) {
  c.ui->SetStatusText(kStatusOperation, msg::kStatusDeterminingHostType);
  c.bL8Emulated = 0;
  HostType t = HostTypeOf(c);
  t.server = SERVER_UNIX;
  t.view = VIEW_UNIX;
  if (FtpCommand(c, sock, "SYST") == kReplyPermanent) {
    if (t.system == 0) t.system = SYSTEM_DEFAULT;
    SetHostType(c, t);
    c.ui->EnableCommand(UiCommand::kChangePermissions, false);
    return;
  }
  const std::string syst = Upper(c.cReply);
  t.system = SYSTEM_DEFAULT;
  // Each type is in force before the command that adapts the server to it.
  if (Contains(syst, "NETWARE")) {
    t.server = SERVER_NETWARE;
    t.system = SYSTEM_NETWARE;
    SetHostType(c, t);
    FtpCommand(c, sock, "SITE DOS");
  } else if (Contains(syst, "MVS")) {
    t.family = HOST_MVS;
    t.server = SERVER_MVS;
    t.system = SYSTEM_MVS;
    SetHostType(c, t);
    FtpCommand(c, sock, "SITE LISTFMT=IBM");
  } else if (Contains(syst, "VSE")) {
    SetHostType(c, t);
    VseListingMode(c, sock);
    t = HostTypeOf(c);
  } else if (Contains(syst, "VM")) {
    t.family = HOST_VM;
    t.server = SERVER_VM;
    t.system = SYSTEM_VM;
  } else if (Contains(syst, "WINDOWS") || Contains(syst, "MICROSOFT")) {
    if (FtpCommand(c, sock, "SITE DIRSTYLE") != kReplyPermanent) {
      t.server = SERVER_MICROSOFT;
      t.system = SYSTEM_MS_DOS_STYLE;
      if (Contains(Upper(c.cReply), "OFF")) {
        // SITE DIRSTYLE toggles the style: "off" means the server has just
        // left MS-DOS style, so it is toggled once more.
        t.server = SERVER_UNIX;
        t.system = SYSTEM_DEFAULT;
        if (FtpCommand(c, sock, "SITE DIRSTYLE") != kReplyPermanent &&
            Contains(Upper(c.cReply), "ON")) {
          t.server = SERVER_MICROSOFT;
          t.system = SYSTEM_MS_DOS_STYLE;
        }
      }
    }
  } else if (Contains(syst, "L8 EMULATED")) {
    c.bL8Emulated = 1;
  }
  SetHostType(c, t);
  c.ui->EnableCommand(UiCommand::kChangePermissions, c.ServerType == SERVER_UNIX);
}

std::string ParsePwdReply(int systemCode, const std::string& reply, size_t limit) {
  std::string out;
  if (HasDevicePaths(systemCode)) {
    auto mark = reply.find(":[");
    if (mark == std::string::npos) return "";
    auto blank = reply.rfind(' ', mark);
    size_t start = blank == std::string::npos ? 0 : blank + 1;
    auto end = reply.find(' ', start);
    out = reply.substr(start, end == std::string::npos ? std::string::npos : end - start);
  } else {
    auto q1 = reply.find('"');
    if (q1 == std::string::npos) return "";
    auto q2 = reply.find('"', q1 + 1);
    if (q2 == std::string::npos) return "";
    out = reply.substr(q1 + 1, q2 - q1 - 1);
    auto blank = out.find(' ');
    if (blank != std::string::npos) out.resize(blank);
  }
  if (out.size() > limit) out.resize(limit);
  return out;
}

std::string DirectoryFromPwd(int systemCode, const std::string& reply) {
  std::string dir;
  auto q = reply.find('"');
  if (q != std::string::npos) {
    dir = reply.substr(q + 1, 180);
    auto q2 = dir.find('"');
    if (q2 != std::string::npos) dir.resize(q2);
  } else {
    dir = ParsePwdReply(systemCode, reply, 100);
  }
  if (!dir.empty() && dir.back() == '\'') dir.pop_back();
  if (!dir.empty() && dir.front() == '\'') dir.erase(0, 1);
  return dir;
}

namespace {

// Credentials of the connection (step 2 of connecting). False when the
// person cancelled the prompt.
bool SettleCredentials(FtpConn& c, HostRecord* h) {
  auto prompt = [&](bool askUser) {
    h->iPromptUser = askUser ? 1 : 0;
    LogonPrompt p;
    p.sessionName = h->cSessionName;
    p.userName = h->cUserName;
    p.password = h->cPassword;
    p.focusUser = askUser;
    if (!c.ui->PromptLogon(&p)) return false;
    SetField(h->cUserName, p.userName);
    SetField(h->cPassword, p.password);
    return true;
  };
  char flag = h->cUserFlag[0];
  if (flag == 'A') {
    SetField(h->cUserName, "anonymous");
    const std::string& email = c.app->settings.cEmailAddress;
    SetField(h->cPassword, email.empty() ? kAnonymousPlaceholder : email);
    h->cAccount[0] = '\0';
    return true;
  }
  if (flag == 'P') {
    h->cUserName[0] = h->cPassword[0] = h->cAccount[0] = '\0';
    return prompt(true);
  }
  if (h->cPasswordFlag[0] == 'P') {
    h->cPassword[0] = h->cAccount[0] = '\0';
    return prompt(false);
  }
  if (h->cPasswordFlag[0] == 'S') {
    UnscramblePassword(h->cPassword);
    UnscramblePassword(h->cAccount);
    SetField(c.cConnAccount, h->cAccount);
  }
  return true;
}

void Disconnected(ConnectContext& ctx) {
  FtpConn& c = *ctx.conn;
  c.app->iOpState = kOpIdle;
  c.ui->SetWaitCursor(false);
  c.ui->SetConnState(ConnState::kDisconnected, "");
  if (ctx.hooks.cancelUnattendedRun) ctx.hooks.cancelUnattendedRun();
}

// The text of a failed log-on: the server's last reply when it refused,
// else the reason the connection failed (FailureText). "Connection to %s
// failed" gets the socket's error after it.
std::string LogonFailureText(const FtpConn& c) {
  std::string reply = c.cReply;
  const std::string prefix = msg::kConnectionFailedPrefix;
  if (!reply.empty() && reply.compare(0, prefix.size(), prefix) == 0 && !c.lastError.empty())
    return reply + ": " + c.lastError;
  if (!reply.empty() && c.lastError.empty()) return reply;
  if (!reply.empty() && c.iReplyCode >= 400) return reply;
  return FailureText(c);
}

// A connect that failed after the log-on: logged off, the box shows
// `text`, the window is back in its disconnected state.
bool FailConnected(ConnectContext& ctx, Socket sock, const std::string& text) {
  FtpConn& c = *ctx.conn;
  LogWrite(c, text + "\r\n");
  FtpQuit(c, sock);
  c.sockControl = FtpCloseSocket(c, sock);
  c.app->bConnected = 0;
  SetField(c.cReply, text);
  c.lastError = text;
  c.ui->SetWaitCursor(false);
  c.ui->MessageBox(text, msg::kConnectErrorCaption, BoxButtons::kOk, BoxIcon::kError);
  Disconnected(ctx);
  c.ui->SetStatusText(kStatusOperation, msg::kStatusNotConnected);
  return false;
}

TransferMode DefaultTransferMode(const HostRecord& h) {
  switch (h.cDefaultTransfer[0]) {
    case 'D': return TransferMode::kAutoDetect;
    case 'B': return TransferMode::kBinary;
    default: return TransferMode::kAscii;
  }
}

}  // namespace

StartDirectory StartDirectoryRule(int32_t hostFamily, bool l8Emulated, const std::string& pwdDir,
                                  const std::string& sessionDir) {
  auto isSlash = [](char ch) { return ch == '/' || ch == '\\'; };
  StartDirectory d;
  d.fallback = pwdDir;
  if (hostFamily == HOST_VSE && d.fallback.empty()) d.fallback = "\\";
  if (hostFamily == HOST_GENERIC) {
    if (l8Emulated) {
      d.root = "/";
    } else {
      auto p = d.fallback.find_first_of("/\\");
      if (p != std::string::npos) d.root = d.fallback.substr(p, 1);
    }
  } else if (hostFamily == HOST_VSE) {
    d.root = l8Emulated ? "/" : ".";
  }
  std::string start = sessionDir.empty() ? d.fallback : sessionDir;
  if (!start.empty() && (start.back() == '\'' || start.back() == '"')) start.pop_back();
  if (!start.empty() && (start.front() == '\'' || start.front() == '"')) start.erase(0, 1);
  if (!start.empty() && !isSlash(start[0]) && !(start.size() > 1 && start[1] == ':'))
    start = d.root + start;
  d.start = start;
  return d;
}

bool RunConnect(ConnectContext& ctx, HostRecord* pHost) {
  FtpConn& c = *ctx.conn;
  c.app->iOpState = kOpConnecting;
  c.ui->SetConnState(ConnState::kConnecting, pHost->cSessionName);

  if (!SettleCredentials(c, pHost)) {
    Disconnected(ctx);
    return false;
  }
  if (pHost->cConnectFlag[0] == 'X' && ctx.dialUp && ctx.dialUp->Available() &&
      !ctx.dialUp->DialEntry(pHost->cConnectVia)) {
    Disconnected(ctx);
    return false;
  }

  c.ui->SetWaitCursor(true);
  c.iReplyTimeout = ctx.replyTimeoutMs;
  HostType fresh = HostTypeOf(c);
  fresh.family = HOST_GENERIC;
  fresh.system = SYSTEM_DEFAULT;
  SetHostType(c, fresh);
  c.cTypeNow = 0;
  c.bAbort = 0;
  if (ctx.hooks.resetListing) ctx.hooks.resetListing();

  c.lastError.clear();
  c.cReply[0] = '\0';
  Socket sock = FtpLogon(c, pHost, ConnectPort(*pHost));
  if (sock == kInvalidSocket) {
    c.ui->SetWaitCursor(false);
    // The box names what failed: the server's refusal, or the socket's
    // error when no reply came.
    SetField(c.cReply, LogonFailureText(c));
    c.ui->MessageBox(c.cReply, msg::kConnectErrorCaption, BoxButtons::kOk, BoxIcon::kError);
    Disconnected(ctx);
    c.ui->SetStatusText(kStatusOperation, msg::kStatusNotConnected);
    return false;
  }
  c.sockControl = sock;
  c.app->bConnected = 1;
  if (ctx.store) c.ui->SetZoomPaths(ctx.store->LoadZoomPaths(pHost->cSessionName));

  if (c.ServerType == SERVER_CESAR) {
    HostType t = HostTypeOf(c);
    t.server = SERVER_UNIX;
    SetHostType(c, t);
  } else {
    FtpDetectHost(c, sock);
  }

  // A connection lost right after the log-on (SYST, PWD or the start
  // directory never answered) fails the connect with its reason: going on
  // would show a session connected over a dead socket, and the fall-back
  // box would blame the directory.
  const auto lost = [&c] { return c.bAbort != 0; };
  if (lost()) return FailConnected(ctx, sock, FailureText(c));
  std::string pwdDir;
  if (FtpCommand(c, sock, "PWD") == kReplyComplete) pwdDir = DirectoryFromPwd(c.SystemCode, c.cReply);
  const StartDirectory dir = StartDirectoryRule(c.HostFamily, c.bL8Emulated != 0, pwdDir, pHost->cHostDir);
  SetField(c.cRootDir, dir.root);
  std::string start = dir.start;
  // The line names the field it comes from, as support staff know it.
  LogWrite(c, Format("--- Initial Startup Directory pHost->cHostDir: %s%s", start.c_str(), "\r\n"));

  if (lost()) return FailConnected(ctx, sock, FailureText(c));
  if (ctx.hooks.processDirectory && !ctx.hooks.processDirectory(start) && pHost->cHostDir[0]) {
    if (lost()) return FailConnected(ctx, sock, FailureText(c));
    if (ctx.startDirectoryRequired)
      return FailConnected(ctx, sock, msg::StartDirectoryRefusedText(start, FailureText(c)));
    c.ui->MessageBox(msg::kStartDirectoryFallback, msg::kStartDirectoryFallbackCaption,
                     BoxButtons::kOk, BoxIcon::kInformation);
    start = dir.fallback;
    if (ctx.hooks.processDirectory) ctx.hooks.processDirectory(start);
  }
  if (lost()) return FailConnected(ctx, sock, FailureText(c));
  ctx.startDirectory = start;

  c.ui->SetWaitCursor(false);
  c.ui->SetStatusText(kStatusConnection, msg::ConnectedStatus(pHost->cSessionName));
  c.ui->SetConnState(ConnState::kConnected, pHost->cSessionName);
  c.ui->SetTransferMode(DefaultTransferMode(*pHost));
  if (pHost->cLocalDir[0]) c.ui->ShowLocalDirectory(pHost->cLocalDir);

  RearmKeepAlive(c);
  c.app->iOpState = kOpIdle;
  if (ctx.hooks.startListing) ctx.hooks.startListing(start);
  return true;
}

}  // namespace tarn
