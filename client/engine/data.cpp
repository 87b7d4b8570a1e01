#include "client/engine/data.h"

#include <cstdlib>
#include <cstring>

#include "client/engine/control.h"
#include "client/engine/transfer.h"
#include "client/session/host_record.h"
#include "platform/paths.h"

namespace tarn {

using platform::kInvalidSocket;
using platform::NetResult;
using platform::Socket;

namespace {

// Common start of downloads and uploads. False when nothing may be sent.
bool Prologue(FtpConn& c, Socket sock, const std::string& command, char type, bool download) {
  LogWrite(c, command + "\r\n");
  c.iReplyCode = 0;
  if (sock == kInvalidSocket) {
    LogWrite(c, download ? "No control socket, command ignored\r\n" : "No control socket, ignored\r\n");
    return false;
  }
  if (c.iBusy != 0) {
    LogWrite(c, "Command in process, ignored\r\n");
    return false;
  }
  if (type != c.cTypeNow) {
    if (type == 'L')
      FtpCommand(c, sock, "TYPE L 8");
    else
      FtpCommand(c, sock, "TYPE %c", type);
    c.cTypeNow = type;
  }
  return true;
}

// Shuts a data socket down in both directions (or only the sending one)
// and closes it.
void EndDataSocket(FtpConn& c, bool sendOnly) {
  Socket s = c.sockData;
  if (s == kInvalidSocket) return;
  NetResult r = c.net->Shutdown(s, sendOnly ? platform::ShutdownHow::kSend : platform::ShutdownHow::kBoth);
  if (!r.ok()) FtpLogError(c, "ShutDown", r.error);
  c.sockData = FtpCloseSocket(c, s);
}

void CloseListener(FtpConn& c) {
  if (c.sockListen != kInvalidSocket) c.sockListen = FtpCloseSocket(c, c.sockListen);
}

// The restart step of a resumed download: REST with the partial file's size.
void SendRestart(FtpConn& c, Socket sock) {
  if (!c.resume.bResume) return;
  int64_t size = 0;
  if (!platform::FileStat(c.resume.path, &size, nullptr)) size = 0;
  c.resume.offset = size;
  FtpCommand(c, sock, "REST %lld", static_cast<long long>(size));
}

// PASV, then a data connection to the control peer at the announced port.
// Returns 2 when connected, the class of a refused PASV, or -1.
int OpenPassive(FtpConn& c, Socket sock) {
  c.iReplyCode = 0;
  int rc = FtpCommand(c, sock, "PASV");
  if (rc != kReplyComplete) return rc;
  uint16_t port = 0;
  if (!ParsePasvPort(c.cReply, &port)) {
    FtpLogError(c, "connect PASV", platform::WSAEINVAL);
    return -1;
  }
  // Always the control peer: a server must not direct the client's data
  // connection to a third host.
  c.saData.addr = c.saServer.addr;
  c.saData.port = port;
  int err = 0;
  Socket s = c.net->OpenTcp(&err);
  if (s == kInvalidSocket) {
    FtpLogError(c, "connect PASV", err);
    return -1;
  }
  c.sockData = s;
  NetResult r = c.net->Connect(s, c.saData, c.iReplyTimeout);
  if (!r.ok()) {
    if (r.timedOut) LogWrite(c, "Timer cancelled blocking call");
    FtpLogError(c, "connect PASV", r.error);
    c.sockData = FtpCloseSocket(c, s);
    return -1;
  }
  return kReplyComplete;
}

// Accepts the server's data connection on sockListen (active mode).
bool AcceptData(FtpConn& c) {
  Socket accepted = kInvalidSocket;
  NetResult r = c.net->Accept(c.sockListen, &accepted, &c.saData, c.iReplyTimeout);
  if (!r.ok()) {
    if (r.timedOut) LogWrite(c, "Timer cancelled blocking call");
    FtpLogError(c, "accept", r.error);
    return false;
  }
  c.sockData = accepted;
  return true;
}

// The receive and the end of a download, common to both modes.
int ReceiveAndFinish(FtpConn& c, Socket sock, const std::string& localPath, char type) {
  FtpParseSize(c);
  int rc = FtpRecvFile(c, c.sockData, localPath, type == 'I');
  if (c.tls) c.tls->EndData(c.sockData);
  // A local failure (the file could not be made or written) ends the
  // transfer like an abort in both modes: the server's "226" for the bytes
  // it sent must not make a failed download look done.
  if (rc == kReplyAborted || rc == kReplyPermanent) {
    FtpAbort(c, sock);
    EndDataSocket(c, false);
    FinishDownload(c, false);
    return rc;
  }
  EndDataSocket(c, false);
  rc = FtpGetReply(c, sock);
  FinishDownload(c, rc == kReplyComplete);
  return rc;
}

// A refused transfer command of an upload: ABOR with the refusal kept for
// the person.
int RefusedUpload(FtpConn& c, Socket sock, int rc) {
  std::string kept(c.cReply, strnlen(c.cReply, kMaxCommandLength));
  CloseListener(c);
  if (c.sockData != kInvalidSocket) c.sockData = FtpCloseSocket(c, c.sockData);
  FtpAbort(c, sock);
  SetField(c.cReply, kept);
  return rc;
}

int PutFileData(FtpConn& c, Socket sock, const std::string& localPath, char type, bool passive) {
  if (!passive) {
    if (!AcceptData(c)) {
      CloseListener(c);
      return kReplyPermanent;
    }
    CloseListener(c);
    LogDebug(c, Format("[%u] accept from %s port %u\r\n", static_cast<unsigned>(c.sockData.load()),
                       c.saData.AddrText().c_str(), static_cast<unsigned>(c.saData.port)));
  } else {
    LogDebug(c, "Receiving on passive connection...\r\n");
  }
  int rc = FtpSendFile(c, c.sockData, localPath, type);
  if (c.tls) c.tls->EndData(c.sockData);
  if (rc == kReplyAborted) {
    EndDataSocket(c, true);
    return kReplyAborted;
  }
  EndDataSocket(c, false);
  int reply = FtpGetReply(c, sock);
  // A local read failure sent a cut file; the server's confirmation of what
  // arrived must not make it look done.
  return rc == kReplyPermanent ? kReplyPermanent : reply;
}

}  // namespace

bool ParsePasvPort(const std::string& reply, uint16_t* port) {
  // Pieces at commas: the first four carry the reply text and the address.
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    pos = reply.find(',', pos);
    if (pos == std::string::npos) return false;
    ++pos;
  }
  auto comma = reply.find(',', pos);
  if (comma == std::string::npos) return false;
  auto number = [&](size_t from, int* out) {
    if (from >= reply.size() || !isdigit(static_cast<unsigned char>(reply[from]))) return false;
    *out = atoi(reply.c_str() + from);
    return *out >= 0 && *out <= 255;
  };
  int hi = 0, lo = 0;
  if (!number(pos, &hi) || !number(comma + 1, &lo)) return false;
  *port = static_cast<uint16_t>(hi * 256 + lo);
  return *port != 0;
}

Socket FtpPort(FtpConn& c, Socket sock) {
  int err = 0;
  Socket s = c.net->OpenTcp(&err);
  if (s == kInvalidSocket) {
    FtpLogError(c, "socket create", err);
    return kInvalidSocket;
  }
  LogDebug(c, Format("[%u] going to listen %s port %u\r\n", static_cast<unsigned>(s),
                     c.saLocal.AddrText().c_str(), static_cast<unsigned>(c.saLocal.port)));
  platform::Ipv4 any{0, 0};
  NetResult r = c.net->Bind(s, any);
  const char* step = "bind";
  if (r.ok()) {
    step = "getsockname";
    r = c.net->LocalAddress(s, &c.saLocal);
  }
  if (r.ok()) {
    step = "listen";
    r = c.net->Listen(s, 1);
  }
  if (!r.ok()) {
    FtpLogError(c, step, r.error);
    FtpCloseSocket(c, s);
    return kInvalidSocket;
  }
  platform::Ipv4 control;
  r = c.net->LocalAddress(sock, &control);
  if (!r.ok()) FtpLogError(c, "getsockname", r.error);
  uint32_t a = control.addr;
  uint16_t p = c.saLocal.port;
  int rc = FtpCommand(c, sock, "PORT %d,%d,%d,%d,%d,%d", (a >> 24) & 255, (a >> 16) & 255,
                      (a >> 8) & 255, a & 255, (p >> 8) & 255, p & 255);
  if (rc == kReplyComplete)
    LogDebug(c, Format("[%u] listener %s port %u\r\n", static_cast<unsigned>(s),
                       control.AddrText().c_str(), static_cast<unsigned>(p)));
  else
    LogWrite(c, Format("[%u] remote end didn't understand our port command.\r\n\r\n",
                       static_cast<unsigned>(s)));
  return s;
}

int FtpGetFilePassive(FtpConn& c, Socket sock, const std::string& command,
                      const std::string& localPath, char type) {
  int rc = OpenPassive(c, sock);
  if (rc != kReplyComplete) return rc;
  SendRestart(c, sock);
  rc = FtpCommandLine(c, sock, command);
  if (rc != kReplyPreliminary) {
    // The refused command leaves a connected data socket nobody will use.
    c.sockData = FtpCloseSocket(c, c.sockData);
    return rc;
  }
  return ReceiveAndFinish(c, sock, localPath, type);
}

int FtpGetFile(FtpConn& c, Socket sock, const std::string& command, const std::string& localPath,
               char type) {
  if (!Prologue(c, sock, command, type, true)) return 0;
  if (c.app->settings.bPassive) return FtpGetFilePassive(c, sock, command, localPath, type);
  c.sockListen = FtpPort(c, sock);
  if (c.sockListen == kInvalidSocket) return 0;
  SendRestart(c, sock);
  if (FtpCommandLine(c, sock, command) != kReplyPreliminary) {
    CloseListener(c);
    return 0;
  }
  if (!AcceptData(c)) {
    CloseListener(c);
    return 0;
  }
  CloseListener(c);
  LogDebug(c, Format("[%u] accept from %s port %u\r\n", static_cast<unsigned>(c.sockData.load()),
                     c.saData.AddrText().c_str(), static_cast<unsigned>(c.saData.port)));
  return ReceiveAndFinish(c, sock, localPath, type);
}

int FtpPutFile(FtpConn& c, Socket sock, const std::string& command, const std::string& localPath,
               char type) {
  if (!Prologue(c, sock, command, type, false)) return 0;
  const bool passive = c.app->settings.bPassive != 0;
  int rc;
  if (passive) {
    rc = OpenPassive(c, sock);
    if (rc != kReplyComplete) return rc;
  } else {
    c.sockListen = FtpPort(c, sock);
    if (c.sockListen == kInvalidSocket) return kReplyPermanent;
  }
  rc = FtpCommandLine(c, sock, command);
  if (rc == kReplyPreliminary) return PutFileData(c, sock, localPath, type, passive);
  if (rc == kReplyAborted) return kReplyAborted;
  if (rc != kReplyPermanent) return RefusedUpload(c, sock, rc);

  std::string kept(c.cReply, strnlen(c.cReply, kMaxCommandLength));
  FtpAbort(c, sock);
  SetField(c.cReply, kept);
  if (kept.compare(0, 3, "532") != 0) {
    CloseListener(c);
    if (c.sockData != kInvalidSocket) c.sockData = FtpCloseSocket(c, c.sockData);
    return kReplyPermanent;
  }
  // The server wants an account before it stores files.
  std::string account = c.cConnAccount;
  while (account.empty()) {
    if (!c.ui->PromptText("Account Password", "Enter Write Access Password:", true, &account)) {
      CloseListener(c);
      if (c.sockData != kInvalidSocket) c.sockData = FtpCloseSocket(c, c.sockData);
      return kReplyPermanent;
    }
    if (account.size() > 31) account.resize(31);
    if (account.empty())
      c.ui->MessageBox("Please type a valid password", c.app->cTitle, BoxButtons::kOk,
                       BoxIcon::kWarning);
  }
  if (account.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    CloseListener(c);
    return kReplyPermanent;
  }
  SetField(c.cReply, "ACCT " + account);
  LogWrite(c, "ACCT\r\n");
  FtpSendRaw(c, sock, std::string("ACCT ") + account);
  FtpGetReply(c, sock);
  rc = FtpCommandLine(c, sock, command);
  if (rc == kReplyPreliminary) return PutFileData(c, sock, localPath, type, passive);
  if (rc == kReplyAborted) return kReplyAborted;
  return RefusedUpload(c, sock, rc);
}

}  // namespace tarn
