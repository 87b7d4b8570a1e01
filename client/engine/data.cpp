#include "client/engine/data.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "client/engine/control.h"
#include "client/engine/messages.h"
#include "client/engine/transfer.h"
#include "client/session/host_record.h"
#include "platform/clock.h"
#include "platform/files.h"
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
  if (!r.ok()) {
    // A data connection that was reset cannot be shut down either: what
    // ended it ("Recv: connection reset") stays the reason given.
    const std::string why = c.lastError;
    FtpLogError(c, "ShutDown", r.error);
    if (!why.empty()) c.lastError = why;
  }
  c.sockData = FtpCloseSocket(c, s);
}

void CloseListener(FtpConn& c) {
  if (c.sockListen != kInvalidSocket) c.sockListen = FtpCloseSocket(c, c.sockListen);
}

// Settles which partial file a resumed download continues, before anything
// is sent. The path comes from memory, else from the stored resume state;
// without a partial file the download starts from the beginning (a
// "REST 0" would only hide that nothing is resumed). A partial file larger
// than the host file cannot be continued: false, with the reason in cReply.
bool SettleResume(FtpConn& c, char type) {
  if (!c.resume.bResume) return true;
  if (c.resume.path.empty() && c.reloadResume) {
    ResumeInfo stored;
    if (c.reloadResume(&stored) && !stored.path.empty()) {
      c.resume.path = stored.path;
      if (c.resume.sourcePath.empty()) c.resume.sourcePath = stored.sourcePath;
      if (c.resume.sourceSize <= 0) c.resume.sourceSize = stored.sourceSize;
    }
  }
  int64_t size = 0;
  if (c.resume.path.empty() || !platform::FileStat(c.resume.path, &size, nullptr)) {
    LogWrite(c, "No partial file to resume, the download starts from the beginning\r\n");
    c.resume.bResume = false;
    c.resume.offset = 0;
    return true;
  }
  c.resume.offset = size;
  // ASCII sizes change with the line ends, so only binary sizes compare.
  if (type != 'A' && c.resume.sourceSize > 0 && size > c.resume.sourceSize) {
    std::string text = msg::ResumeTooLargeText(c.resume.path, static_cast<long long>(size),
                                               static_cast<long long>(c.resume.sourceSize));
    LogWrite(c, text + "\r\n");
    SetField(c.cReply, text);
    c.lastError = text;
    return false;
  }
  return true;
}

// The restart step of a resumed download: REST with the partial file's
// size. False when the server refused it: the whole file would come and be
// appended to the partial one.
bool SendRestart(FtpConn& c, Socket sock) {
  if (!c.resume.bResume) return true;
  return FtpCommand(c, sock, "REST %lld", static_cast<long long>(c.resume.offset)) == kReplyIntermediate;
}

// True when a binary download ended short of the size the server announced.
bool CutShort(const FtpConn& c, char type) {
  if (type == 'A' || c.llAnnounced <= 0) return false;
  const int64_t have = c.llReceived + (c.resume.bResume ? c.resume.offset : 0);
  return have < c.llAnnounced;
}

// A download the server confirmed although bytes are missing: a failed
// transfer. The file it would replace stays; the bytes that came are kept
// as the partial file when the server takes restarts.
int FailCutShort(FtpConn& c, const std::string& localPath) {
  const int64_t have = c.llReceived + (c.resume.bResume ? c.resume.offset : 0);
  std::string text = msg::DownloadIncompleteText(static_cast<long long>(have),
                                                static_cast<long long>(c.llAnnounced));
  LogWrite(c, text + "\r\n");
  if (!c.pendingTemp.empty()) {
    FinishDownload(c, false);
  } else if (c.app->bResumeOK) {
    c.resume.path = localPath;
  } else if (platform::FileStat(localPath, nullptr, nullptr)) {
    platform::RemoveFile(localPath);
    LogWrite(c, "Partially downloaded file deleted\r\n");
  }
  SetField(c.cReply, text);
  c.lastError = text;
  return kReplyPermanent;
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

// Accepts the server's data connection on sockListen (active mode). Only
// the control peer may connect: a connection from any other address is
// refused and logged, and the wait goes on, as passive mode connects only
// to the control peer.
bool AcceptData(FtpConn& c) {
  const platform::Deadline deadline =
      c.iReplyTimeout > 0 ? platform::Deadline::In(c.iReplyTimeout) : platform::Deadline::Never();
  for (;;) {
    // Accept's 0 is no limit: a passed deadline gets one last short look.
    const int left = deadline.Limited() ? std::max(1, deadline.LeftMs()) : 0;
    Socket accepted = kInvalidSocket;
    platform::Ipv4 peer;
    NetResult r = c.net->Accept(c.sockListen, &accepted, &peer, left);
    if (!r.ok()) {
      if (r.timedOut) LogWrite(c, "Timer cancelled blocking call");
      FtpLogError(c, "accept", r.error);
      return false;
    }
    if (peer.addr == c.saServer.addr) {
      c.saData = peer;
      c.sockData = accepted;
      return true;
    }
    LogWrite(c, Format("[%u] data connection from %s port %u refused: not the server's address %s\r\n",
                       static_cast<unsigned>(accepted), peer.AddrText().c_str(),
                       static_cast<unsigned>(peer.port), c.saServer.AddrText().c_str()));
    c.net->Close(accepted);
  }
}

// A transfer command whose reply the cancel cut off: the server may be
// starting the transfer, so it gets ABOR, and its replies are read (the
// late "150" among them) to keep the connection in step.
void AbortUnanswered(FtpConn& c, Socket sock) {
  if (c.sockData != kInvalidSocket) c.sockData = FtpCloseSocket(c, c.sockData);
  FtpAbort(c, sock);
}

// Reads the server's reply to a transfer that ended on our side, so that
// it is not taken for the reply of the next command. The abort flag would
// end the read at once; it is set again afterwards.
void ReadTransferReply(FtpConn& c, Socket sock) {
  const int32_t aborted = c.bAbort.exchange(0);
  c.net->ClearCancel();
  FtpGetReply(c, sock);
  if (aborted) c.bAbort = aborted;
}

// The receive and the end of a download, common to both modes. `sized` is
// the size the caller learnt with SIZE (0 when not known); the count of
// the 150 reply takes its place.
int ReceiveAndFinish(FtpConn& c, Socket sock, const std::string& localPath, char type,
                     int64_t sized) {
  c.llAnnounced = sized;
  FtpParseSize(c);
  int rc = FtpRecvFile(c, c.sockData, localPath);
  if (c.tls) c.tls->EndData(c.sockData);
  // A local failure (the file could not be made or written) ends the
  // transfer like an abort in both modes: the server's "226" for the bytes
  // it sent must not make a failed download look done. The data connection
  // goes first: a server busy sending (vsftpd) reads ABOR only once its
  // send fails, so ABOR's replies would otherwise wait for the time-out.
  if (rc == kReplyAborted || rc == kReplyPermanent) {
    EndDataSocket(c, false);
    const std::string why = c.lastError;
    FtpAbort(c, sock);
    if (!why.empty()) c.lastError = why;
    FinishDownload(c, false);
    return rc;
  }
  EndDataSocket(c, false);
  rc = FtpGetReply(c, sock);
  if (rc == kReplyComplete && CutShort(c, type)) return FailCutShort(c, localPath);
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

int PutFileData(FtpConn& c, Socket sock, const std::string& localPath, bool passive) {
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
  int rc = FtpSendFile(c, c.sockData, localPath);
  if (c.tls) c.tls->EndData(c.sockData);
  if (rc == kReplyAborted) {
    // No ABOR: closing the data connection ends an upload. The server then
    // answers for the transfer, and that reply is read here so that the
    // next command gets its own.
    EndDataSocket(c, true);
    ReadTransferReply(c, sock);
    return kReplyAborted;
  }
  EndDataSocket(c, false);
  const std::string why = c.lastError;
  int reply = FtpGetReply(c, sock);
  // A local read failure sent a cut file; the server's confirmation of what
  // arrived must not make it look done.
  if (rc == kReplyPermanent) {
    if (!why.empty()) c.lastError = why;
    return kReplyPermanent;
  }
  return reply;
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
  // A piece is read from its first digit up to the first non-digit, so
  // blanks and the closing parenthesis do no harm: "195, 80)" is 195 and 80.
  auto number = [&](size_t from, size_t end, int* out) {
    while (from < end && !isdigit(static_cast<unsigned char>(reply[from]))) ++from;
    if (from >= end) return false;
    long v = 0;
    for (; from < end && isdigit(static_cast<unsigned char>(reply[from])); ++from) {
      v = v * 10 + (reply[from] - '0');
      if (v > 255) return false;
    }
    *out = static_cast<int>(v);
    return true;
  };
  auto next = reply.find(',', comma + 1);
  const size_t end = next == std::string::npos ? reply.size() : next;
  int hi = 0, lo = 0;
  if (!number(pos, comma, &hi) || !number(comma + 1, end, &lo)) return false;
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
  // The listener takes the address the control connection goes out from,
  // the one PORT announces, not every interface of the machine.
  platform::Ipv4 control;
  NetResult r = c.net->LocalAddress(sock, &control);
  if (!r.ok()) FtpLogError(c, "getsockname", r.error);
  r = c.net->Bind(s, platform::Ipv4{control.addr, 0});
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

namespace {

// What every download settles before a command goes out: the size SIZE
// told (it serves this one download), the partial file of a resume, and
// the local file, opened now so that a folder that cannot be written is
// refused before the server sends a byte. False after the reason was given.
bool BeginDownload(FtpConn& c, const std::string& localPath, char type, int64_t* sized) {
  *sized = std::exchange(c.llAnnounced, 0);
  c.llReceived = 0;
  if (!SettleResume(c, type)) return false;
  return PrepareDownload(c, localPath);
}

int DownloadPassive(FtpConn& c, Socket sock, const std::string& command,
                    const std::string& localPath, char type, int64_t sized) {
  int rc = OpenPassive(c, sock);
  if (rc != kReplyComplete) {
    AbandonDownload(c);
    return rc;
  }
  if (!SendRestart(c, sock)) {
    c.sockData = FtpCloseSocket(c, c.sockData);
    AbandonDownload(c);
    return kReplyPermanent;
  }
  rc = FtpCommandLine(c, sock, command);
  if (rc != kReplyPreliminary) {
    // The refused command leaves a connected data socket nobody will use.
    c.sockData = FtpCloseSocket(c, c.sockData);
    AbandonDownload(c);
    if (rc == kReplyAborted) AbortUnanswered(c, sock);
    return rc;
  }
  return ReceiveAndFinish(c, sock, localPath, type, sized);
}

}  // namespace

int FtpGetFilePassive(FtpConn& c, Socket sock, const std::string& command,
                      const std::string& localPath, char type) {
  int64_t sized = 0;
  if (!BeginDownload(c, localPath, type, &sized)) return kReplyPermanent;
  return DownloadPassive(c, sock, command, localPath, type, sized);
}

int FtpGetFile(FtpConn& c, Socket sock, const std::string& command, const std::string& localPath,
               char type) {
  if (!Prologue(c, sock, command, type, true)) return 0;
  int64_t sized = 0;
  if (!BeginDownload(c, localPath, type, &sized)) return kReplyPermanent;
  if (c.app->settings.bPassive) return DownloadPassive(c, sock, command, localPath, type, sized);
  c.sockListen = FtpPort(c, sock);
  if (c.sockListen == kInvalidSocket) {
    AbandonDownload(c);
    return 0;
  }
  if (!SendRestart(c, sock)) {
    CloseListener(c);
    AbandonDownload(c);
    return kReplyPermanent;
  }
  const int sent = FtpCommandLine(c, sock, command);
  if (sent != kReplyPreliminary) {
    CloseListener(c);
    AbandonDownload(c);
    if (sent != kReplyAborted) return 0;
    AbortUnanswered(c, sock);
    return kReplyAborted;
  }
  if (!AcceptData(c)) {
    CloseListener(c);
    AbandonDownload(c);
    return 0;
  }
  CloseListener(c);
  LogDebug(c, Format("[%u] accept from %s port %u\r\n", static_cast<unsigned>(c.sockData.load()),
                     c.saData.AddrText().c_str(), static_cast<unsigned>(c.saData.port)));
  return ReceiveAndFinish(c, sock, localPath, type, sized);
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
  if (rc == kReplyPreliminary) return PutFileData(c, sock, localPath, passive);
  if (rc == kReplyAborted) {
    CloseListener(c);
    AbortUnanswered(c, sock);
    return kReplyAborted;
  }
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
    if (!c.ui->PromptText(msg::kAccountCaption, msg::kAccountLabel, true, &account)) {
      CloseListener(c);
      if (c.sockData != kInvalidSocket) c.sockData = FtpCloseSocket(c, c.sockData);
      return kReplyPermanent;
    }
    if (account.size() > 31) account.resize(31);
    if (account.empty())
      c.ui->MessageBox(msg::kAccountEmpty, c.app->cTitle, BoxButtons::kOk,
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
  if (rc == kReplyPreliminary) return PutFileData(c, sock, localPath, passive);
  if (rc == kReplyAborted) {
    CloseListener(c);
    AbortUnanswered(c, sock);
    return kReplyAborted;
  }
  return RefusedUpload(c, sock, rc);
}

}  // namespace tarn
