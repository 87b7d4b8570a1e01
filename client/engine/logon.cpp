#include "client/engine/logon.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "client/engine/control.h"
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
  c.ui->SetStatusText(1, " ");
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
  c.ui->SetStatusText(1, "Starting TLS Authorization...");
  int rc = FtpCommand(c, sock, "AUTH TLS");
  if (rc == kReplyTransient) {
    c.ui->SetStatusText(1, "Starting SSL Authorization...");
    rc = FtpCommand(c, sock, "AUTH SSL");
  }
  if (rc != kReplyComplete && rc != kReplyIntermediate) {
    TlsRefused(c,
               "The server did not understand our AUTH command.\r\n"
               "Possibly the server does not understand the SSL protocol.");
    return false;
  }
  c.ui->SetStatusText(1, "Initializing SSL structures...");
  if (!c.tls) {
    LogWrite(c, "TLS is not available in this build\r\n");
    return false;
  }
  // The certificate must name the host connected to: the firewall when
  // the session goes through one.
  const std::string peer = h.iFirewallUse ? h.cFirewallHost : h.cHostName;
  if (!c.tls->HandshakeControl(sock, h, peer)) return false;
  if (FtpCommand(c, sock, "PBSZ 0") != kReplyComplete) {
    TlsRefused(c,
               "Error setting protection buffer (PBSZ).\r\n"
               "Possibly the server does not understand the SSL protocol.");
    return false;
  }
  c.ui->SetStatusText(1, "Negotiating Protection Level...");
  char level = h.SslType() == 0 ? 'P' : 'C';
  if (FtpCommand(c, sock, "PROT %c", level) != kReplyComplete) {
    TlsRefused(c, level == 'C'
                      ? "Server does not support clear data channel communication.\r\n"
                        "Try using encrypted data channel."
                      : "Server does not support encrypted data channel communication.\r\n"
                        "Try using clear data channel.");
    return false;
  }
  return true;
}

}  // namespace

Socket FtpLogon(FtpConn& c, HostRecord* pHost, uint16_t port) {
  if (c.app->bConnected) {
    LogWrite(c, "Already connected!\r\n");
    return kInvalidSocket;
  }
  std::string target = pHost->cHostName;
  uint16_t targetPort = port;
  if (pHost->iFirewallUse) {
    if (!pHost->cFirewallHost[0]) {
      LogWrite(c, "FireWall Host name not specified. Can not Connect.");
      c.ui->SetStatusText(1, " ");
      SetField(c.cReply, "FireWall Host name not specified. Can not Connect.");
      return kInvalidSocket;
    }
    target = pHost->cFirewallHost;
    targetPort = static_cast<uint16_t>(pHost->iFirewallPort);
  }

  c.bExosCR = 0;
  c.ui->SetStatusText(1, "Connecting...");
  c.iBusy.fetch_add(1);
  Socket sock = FtpOpenSocket(c, target, targetPort);
  if (sock == kInvalidSocket) {
    std::string text = Format("Connection to %s failed", target.c_str());
    SetField(c.cReply, text);
    LogWrite(c, text + "\r\n");
    c.iBusy.fetch_sub(1);
    c.ui->SetStatusText(1, " ");
    return kInvalidSocket;
  }

  platform::NetResult r = c.net->LocalAddress(sock, &c.saLocal);
  if (!r.ok()) {
    FtpLogError(c, "getsockname", r.error);
    c.iBusy.fetch_sub(1);
    return GiveUp(c, sock);
  }
  LogDebug(c, Format("[%u] from %s port %u\r\n", static_cast<unsigned>(sock),
                     c.saLocal.AddrText().c_str(), static_cast<unsigned>(c.saLocal.port)));

  // The banner: preliminary replies may come first.
  int rc;
  do {
    rc = FtpGetReply(c, sock);
    if (rc == kReplyPreliminary && strstr(c.cReply, "(EXOS")) c.bExosCR = 1;
  } while (rc == kReplyPreliminary);
  if (rc != kReplyComplete) {
    LogWrite(c, Format("Unknown open msg \"%s\" %u", c.cReply,
                       static_cast<unsigned>(c.iReplyCode.load())));
    c.iBusy.fetch_sub(1);
    return GiveUp(c, sock);
  }
  if (strstr(c.cReply, "CesarFTP")) {
    c.ServerType = SERVER_CESAR;
    c.SystemCode = 1;
    c.app->iHostViewCode = 3;
  }
  r = c.net->SetOobInline(sock, true);
  if (!r.ok()) FtpLogError(c, "setsockopt", r.error);
  c.iBusy.fetch_sub(1);

  // USER and PASS texts of the first step.
  std::string user = pHost->cUserName;
  std::string pass = pHost->cPassword;
  const std::string host = pHost->cHostName;
  if (pHost->iFirewallUse) {
    switch (pHost->iFirewallType) {
      case 0:
        user = std::string(pHost->cUserName) + "@" + host;
        break;
      case 2:
        user = std::string(pHost->cFirewallUser) + "@" + host + ":" +
               std::to_string(ConnectPort(*pHost));
        break;
      default:  // 1 and 3 log on at the firewall first
        user = pHost->cFirewallUser;
        pass = pHost->cFirewallPass;
        break;
    }
  }

  // A refused TLS step leaves a connection that can be used for nothing:
  // it is closed like any other failed log-on.
  if ((pHost->uSecurity & kSslUse) && !NegotiateTls(c, sock, *pHost)) return GiveUp(c, sock);

  c.ui->SetStatusText(1, pHost->iFirewallUse ? "Logging in at firewall..." : "Sending UserName...");
  rc = SendUserPass(c, sock, user, pass);
  if (rc != kReplyComplete) {
    if (pHost->iFirewallUse)
      LogDebug(c, Format("Failed to log in to Firewall Host %s\r\n", pHost->cFirewallHost));
    else
      LogDebug(c, Format("Could not log on to remote host %s\r\n", target.c_str()));
    return GiveUp(c, sock);
  }

  if (pHost->iFirewallUse && (pHost->iFirewallType == 1 || pHost->iFirewallType == 3)) {
    std::string second;
    if (pHost->iFirewallType == 1) {
      c.ui->SetStatusText(1, "Sending UserName...");
      second = std::string(pHost->cUserName) + "@" + host;
    } else {
      c.ui->SetStatusText(1, "Sending 'SITE' command...");
      second = "site " + host;
    }
    if (SendUserPass(c, sock, second, pHost->cPassword) != kReplyComplete) {
      LogDebug(c, Format("Could not connect to %s through FireWall Host\r\n", pHost->cHostName));
      CloseControl(c, sock);
      return kInvalidSocket;
    }
  }

  if (c.cConnAccount[0] && Contains(Upper(c.cReply), "'ACCOUNT"))
    FtpCommand(c, sock, "ACCT %s", pHost->cAccount);

  if (FtpCommand(c, sock, "REST %s", "100") != kReplyPermanent) c.app->bResumeOK = 1;
  FtpCommand(c, sock, "REST %s", "0");

  c.app->bConnected = 1;
  c.ui->SetStatusText(1, " ");
  return sock;
}

void VseListingMode(FtpConn& c, Socket sock) {
  c.bL8Emulated = 0;
  if (FtpCommand(c, sock, "SITE UNIX OFF") != kReplyPermanent) {
    c.SystemCode = 5;
    c.HostFamily = HOST_VSE;
    c.ServerType = SERVER_VSE;
    c.app->iHostViewCode = 4;
    return;
  }
  LogWrite(c,
           "\"Site Unix\" command failed\n\nCould not use VSE style listings,\n"
           "using UNIX mode instead");
  c.ui->MessageBox(
      "This site does not have support for VSE style directory listings!\n\n"
      "Switching to use UNIX style file listings",
      "VSE type listings not supported", BoxButtons::kOk, BoxIcon::kInformation);
  c.SystemCode = 1;
  c.ServerType = SERVER_UNIX;
  c.app->iHostViewCode = 3;
}

void FtpDetectHost(FtpConn& c, Socket sock) {
  c.ui->SetStatusText(1, "Determining Host Type...");
  c.bL8Emulated = 0;
  if (FtpCommand(c, sock, "SYST") == kReplyPermanent) {
    c.ServerType = SERVER_UNIX;
    c.app->iHostViewCode = 3;
    if (c.SystemCode == 0) c.SystemCode = 1;
    c.ui->EnableCommand(UiCommand::kChangePermissions, false);
    return;
  }
  const std::string syst = Upper(c.cReply);
  c.SystemCode = 1;
  c.ServerType = SERVER_UNIX;
  c.app->iHostViewCode = 3;
  if (Contains(syst, "NETWARE")) {
    c.SystemCode = 17;
    c.ServerType = SERVER_NETWARE;
    FtpCommand(c, sock, "SITE DOS");
  } else if (Contains(syst, "MVS")) {
    c.HostFamily = HOST_MVS;
    c.SystemCode = 13;
    c.ServerType = SERVER_MVS;
    FtpCommand(c, sock, "SITE LISTFMT=IBM");
  } else if (Contains(syst, "VSE")) {
    VseListingMode(c, sock);
  } else if (Contains(syst, "VM")) {
    c.ServerType = SERVER_VM;
    c.HostFamily = HOST_VM;
    c.SystemCode = 16;
  } else if (Contains(syst, "WINDOWS") || Contains(syst, "MICROSOFT")) {
    if (FtpCommand(c, sock, "SITE DIRSTYLE") != kReplyPermanent) {
      c.SystemCode = 15;
      c.ServerType = SERVER_MICROSOFT;
      if (Contains(Upper(c.cReply), "OFF")) {
        // SITE DIRSTYLE toggles the style: "off" means the server has just
        // left MS-DOS style, so it is toggled once more.
        c.SystemCode = 1;
        c.ServerType = SERVER_UNIX;
        c.app->iHostViewCode = 3;
        if (FtpCommand(c, sock, "SITE DIRSTYLE") != kReplyPermanent &&
            Contains(Upper(c.cReply), "ON")) {
          c.SystemCode = 15;
          c.ServerType = SERVER_MICROSOFT;
        }
      }
    }
  } else if (Contains(syst, "L8 EMULATED")) {
    c.bL8Emulated = 1;
  }
  c.ui->EnableCommand(UiCommand::kChangePermissions, c.ServerType == SERVER_UNIX);
}

std::string ParsePwdReply(int systemCode, const std::string& reply, size_t limit) {
  std::string out;
  if (systemCode == 3 || systemCode == 4) {
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
  c.app->iOpState = 0;
  c.ui->SetWaitCursor(false);
  c.ui->SetConnState(ConnState::kDisconnected, "");
  if (ctx.hooks.cancelUnattendedRun) ctx.hooks.cancelUnattendedRun();
}

bool IsSlash(char ch) { return ch == '/' || ch == '\\'; }

// The text of a failed log-on: the server's last reply when it refused,
// else the reason the connection failed (FailureText). "Connection to %s
// failed" gets the socket's error after it.
std::string LogonFailureText(const FtpConn& c) {
  std::string reply = c.cReply;
  if (!reply.empty() && reply.compare(0, 14, "Connection to ") == 0 && !c.lastError.empty())
    return reply + ": " + c.lastError;
  if (!reply.empty() && c.lastError.empty()) return reply;
  if (!reply.empty() && c.iReplyCode >= 400) return reply;
  return FailureText(c);
}

}  // namespace

bool RunConnect(ConnectContext& ctx, HostRecord* pHost) {
  FtpConn& c = *ctx.conn;
  c.app->iOpState = 1;
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
  c.HostFamily = HOST_GENERIC;
  c.SystemCode = 1;
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
    c.ui->MessageBox(c.cReply, "Error connecting to host", BoxButtons::kOk, BoxIcon::kError);
    Disconnected(ctx);
    c.ui->SetStatusText(1, "Not Connected");
    return false;
  }
  c.sockControl = sock;
  c.app->bConnected = 1;
  if (ctx.store) c.ui->SetZoomPaths(ctx.store->LoadZoomPaths(pHost->cSessionName));

  if (c.ServerType == SERVER_CESAR)
    c.ServerType = SERVER_UNIX;
  else
    FtpDetectHost(c, sock);

  // The start directory.
  std::string pwdDir;
  if (FtpCommand(c, sock, "PWD") == kReplyComplete) pwdDir = DirectoryFromPwd(c.SystemCode, c.cReply);
  if (c.HostFamily == HOST_VSE && pwdDir.empty()) pwdDir = "\\";
  std::string root;
  if (c.HostFamily == HOST_GENERIC) {
    if (c.bL8Emulated) {
      root = "/";
    } else {
      auto p = pwdDir.find_first_of("/\\");
      if (p != std::string::npos) root = pwdDir.substr(p, 1);
    }
  } else if (c.HostFamily == HOST_VSE) {
    root = c.bL8Emulated ? "/" : ".";
  }
  SetField(c.cRootDir, root);

  std::string start = pHost->cHostDir[0] ? pHost->cHostDir : pwdDir;
  if (!start.empty() && (start.back() == '\'' || start.back() == '"')) start.pop_back();
  if (!start.empty() && (start.front() == '\'' || start.front() == '"')) start.erase(0, 1);
  if (!start.empty() && !IsSlash(start[0]) && !(start.size() > 1 && start[1] == ':'))
    start = root + start;
  LogWrite(c, Format("--- Initial Startup Directory pHost->cHostDir: %s%s", start.c_str(), "\r\n"));

  if (ctx.hooks.processDirectory && !ctx.hooks.processDirectory(start) && pHost->cHostDir[0]) {
    if (ctx.startDirectoryRequired) {
      const std::string why = FailureText(c);
      SetField(c.cReply, Format("Can't change to the start directory %s: %s", start.c_str(), why.c_str()));
      LogWrite(c, std::string(c.cReply) + "\r\n");
      const std::string text = c.cReply;
      FtpQuit(c, sock);
      c.sockControl = FtpCloseSocket(c, sock);
      c.app->bConnected = 0;
      SetField(c.cReply, text);
      c.lastError = text;
      c.ui->SetWaitCursor(false);
      c.ui->MessageBox(text, "Error connecting to host", BoxButtons::kOk, BoxIcon::kError);
      Disconnected(ctx);
      c.ui->SetStatusText(1, "Not Connected");
      return false;
    }
    c.ui->MessageBox("Tarn will connect to the default host directory path instead.",
                     "Change In Startup Directory", BoxButtons::kOk, BoxIcon::kInformation);
    start = pwdDir;
    if (ctx.hooks.processDirectory) ctx.hooks.processDirectory(start);
  }
  ctx.startDirectory = start;

  c.ui->SetWaitCursor(false);
  std::string connected = std::string("Connected to FTP host ") + pHost->cSessionName;
  if (connected.size() > 63) connected.resize(63);
  c.ui->SetStatusText(0, connected);
  c.ui->SetConnState(ConnState::kConnected, pHost->cSessionName);

  switch (pHost->cDefaultTransfer[0]) {
    case 'D': c.ui->SetTransferMode(TransferMode::kAutoDetect); break;
    case 'B': c.ui->SetTransferMode(TransferMode::kBinary); break;
    default: c.ui->SetTransferMode(TransferMode::kAscii); break;
  }
  if (pHost->cLocalDir[0]) c.ui->ShowLocalDirectory(pHost->cLocalDir);

  RearmKeepAlive(c);
  c.app->iOpState = 0;
  if (ctx.hooks.startListing) ctx.hooks.startListing(start);
  return true;
}

}  // namespace tarn
