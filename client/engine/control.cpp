#include "client/engine/control.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "client/engine/keepalive.h"
#include "client/engine/messages.h"
#include "client/session/connection_log.h"

namespace tarn {

using platform::kInvalidSocket;
using platform::NetResult;
using platform::Socket;

namespace {

// A reply that runs past this many bytes without its closing line is not a
// reply: the peer is sending garbage, so the connection is given up.
constexpr size_t kMaxReplyBytes = 8u << 20;

struct ErrorText {
  int code;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {10004, "Blocking call cancelled"},
    {10014, "namelen argument is incorrect"},
    {10022, "app version not supported by DLL"},
    {10024, "no file descriptors available"},
    {10035, "socket marked as non-blocking and SO_LINGER set not 0"},
    {10036, "Blocking operation in progress"},
    {10038, "descriptor is not a socket"},
    {10041, "protocol wrong type for this socket"},
    {10043, "specified protocol not supported"},
    {10044, "socket type not supported for address family"},
    {10047, "address family not supported"},
    {10048, "address already in use"},
    {10049, "address not available from local machine"},
    {10050, "network subsystem has failed"},
    {10051, "host network un-reachable"},
    {10052, "connection must be reset"},
    {10053, "connection aborted"},
    {10054, "connection reset"},
    {10055, "no buffer space available"},
    {10057, "not connected"},
    {10058, "socket has been shutdown"},
    {10060, "connection timed out"},
    {10061, "connection refused"},
    {10064, "host down"},
    {10065, "host unreachable"},
    {10091, "WinSock not present or not responding"},
    {10092, "version of WinSock not supported"},
    {10093, "WSA Startup not initialized"},
    {11001, "Authoritive: Host not found"},
    {11002, "Non-authoritive: host not found or server failure"},
    {11003, "Non-recoverable: refused or not implemented"},
    {11004, "Valid name, no data record for type"},
};

std::string VFormat(const char* fmt, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  int n = vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  if (n <= 0) return "";
  std::string out(static_cast<size_t>(n), '\0');
  vsnprintf(out.data(), out.size() + 1, fmt, ap);
  return out;
}

// Logs the watchdog's line when a wait ran out of time; a cancelled or
// timed-out wait sets bAbort as the watchdog did.
void NoteWait(FtpConn& c, const NetResult& r) {
  if (r.ok()) return;
  if (r.timedOut) {
    LogWrite(c, "Timer cancelled blocking call");
    c.lastError = WsErrorText(platform::WSAETIMEDOUT);
  }
  if (r.error == platform::WSAEINTR) c.bAbort = 1;
}

// True when `line` is a command that carries a secret (PASS or ACCT, in
// any letter case), which the transcript must not show.
bool CarriesSecret(const std::string& line, const char** word) {
  size_t i = line.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  for (const char* w : {"PASS", "ACCT"}) {
    if (strncasecmp(line.c_str() + i, w, 4) == 0 &&
        (line.size() == i + 4 || line[i + 4] == ' ')) {
      *word = w;
      return true;
    }
  }
  return false;
}

const char* FamilyName(int32_t v) {
  switch (v) {
    case HOST_GENERIC: return "GENERIC";
    case HOST_MVS: return "MVS";
    case HOST_VM: return "VM";
    case HOST_VSE: return "VSE";
    default: return "?";
  }
}

const char* ServerName(int32_t v) {
  switch (v) {
    case SERVER_UNIX: return "UNIX";
    case SERVER_MICROSOFT: return "MICROSOFT";
    case SERVER_MVS: return "MVS";
    case SERVER_VM: return "VM";
    case SERVER_VSE: return "VSE";
    case SERVER_NETWARE: return "NETWARE";
    case SERVER_CESAR: return "CESAR";
    default: return "?";
  }
}

const char* SystemName(int32_t v) {
  switch (v) {
    case SYSTEM_DEFAULT: return "DEFAULT";
    case SYSTEM_DEVICE_PWD_A: return "DEVICE_PWD_A";
    case SYSTEM_DEVICE_PWD_B: return "DEVICE_PWD_B";
    case SYSTEM_VSE_NATIVE: return "VSE_NATIVE";
    case SYSTEM_MVS: return "MVS";
    case SYSTEM_MS_DOS_STYLE: return "MS_DOS_STYLE";
    case SYSTEM_VM: return "VM";
    case SYSTEM_NETWARE: return "NETWARE";
    default: return "?";
  }
}

std::string HostTypeText(const HostType& t) {
  return Format("%s %s %s view %d", FamilyName(t.family), ServerName(t.server), SystemName(t.system),
                static_cast<int>(t.view));
}

}  // namespace

BusyScope::BusyScope(FtpConn& c, KeepAlive keepAlive) : c_(c), keepAlive_(keepAlive) {
  c_.iBusy.fetch_add(1);
  if (keepAlive_ == kPauseKeepAlive) StopKeepAlive(c_);
}

BusyScope::~BusyScope() {
  c_.iBusy.fetch_sub(1);
  if (keepAlive_ == kPauseKeepAlive) RearmKeepAlive(c_);
}

HostType HostTypeOf(const FtpConn& c) {
  HostType t;
  t.family = c.HostFamily;
  t.server = c.ServerType;
  t.system = c.SystemCode;
  t.view = c.app ? c.app->iHostViewCode.load() : VIEW_UNIX;
  return t;
}

void SetHostType(FtpConn& c, const HostType& type) {
  const HostType old = HostTypeOf(c);
  c.HostFamily = type.family;
  c.ServerType = type.server;
  c.SystemCode = type.system;
  if (c.app) c.app->iHostViewCode = type.view;
  if (HostTypeOf(c) != old)
    LogDebug(c, "Host type: " + HostTypeText(old) + " -> " + HostTypeText(HostTypeOf(c)) + "\r\n");
}

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = VFormat(fmt, ap);
  va_end(ap);
  return s;
}

void LogWrite(FtpConn& c, const std::string& text) {
  if (c.app && c.app->log) c.app->log->Write(text);
}

void LogDebug(FtpConn& c, const std::string& text) {
  if (c.app && c.app->settings.bDebugLog) LogWrite(c, text);
}

void StopKeepAlive(FtpConn& c) {
  if (c.keepAlive) c.keepAlive->Stop();
}

void RearmKeepAlive(FtpConn& c) {
  if (!c.keepAlive || !c.app) return;
  const AppSettings& s = c.app->settings;
  if (s.bKeepAlive == 0) return;
  if (c.iKeepAliveMs > 0)
    c.keepAlive->Arm(c.iKeepAliveMs);
  else if (s.iKeepAliveTime > 0)
    c.keepAlive->Arm(static_cast<int64_t>(s.iKeepAliveTime) * 60000);
}

bool IsConnectionGone(int e) {
  switch (e) {
    case platform::WSAEINTR: case platform::WSAEINVAL: case platform::WSAENOTSOCK:
    case platform::WSAENETDOWN: case platform::WSAENETRESET: case platform::WSAECONNABORTED:
    case platform::WSAECONNRESET: case platform::WSAESHUTDOWN:
      return true;
    default:
      return false;
  }
}

std::string WsErrorText(int code) {
  for (const auto& e : kErrorTexts)
    if (e.code == code) return e.text;
  return Format("WS error %u", static_cast<unsigned>(code));
}

std::string FailureText(const FtpConn& c) {
  if (!c.lastError.empty()) return c.lastError;
  if (c.cReply[0]) return c.cReply;
  return msg::kNoReply;
}

void FtpLogError(FtpConn& c, const char* text, int code) {
  c.lastError = text ? std::string(text) + ": " + WsErrorText(code) : WsErrorText(code);
  if (!text) {
    LogWrite(c, WsErrorText(code) + "\r\n");
    return;
  }
  LogDebug(c, Format("%s: %s\r\n", text, WsErrorText(code).c_str()));
}

NetResult ChannelSend(FtpConn& c, Socket sock, const void* data, size_t len, int flags,
                      bool isControl) {
  NetResult r;
  if (c.tls && c.tls->Active(isControl) && !(flags & platform::kOob))
    r = c.tls->Send(sock, data, len, isControl);
  else
    r = c.net->Send(sock, data, len, flags, c.iReplyTimeout);
  NoteWait(c, r);
  return r;
}

NetResult ChannelRecv(FtpConn& c, Socket sock, void* buf, size_t len, int flags, bool isControl) {
  NetResult r;
  if (c.tls && c.tls->Active(isControl))
    r = c.tls->Recv(sock, buf, len, flags, isControl);
  else
    r = c.net->Recv(sock, buf, len, flags, c.iReplyTimeout);
  NoteWait(c, r);
  return r;
}

Socket FtpOpenSocket(FtpConn& c, const std::string& hostName, uint16_t port) {
  c.saServer = platform::Ipv4{};
  c.saServer.port = port;
  uint32_t addr = 0;
  if (!c.net->Resolve(hostName, &addr).ok() && !platform::ParseIpv4(hostName, &addr)) {
    LogWrite(c, Format("Can't get \"%s\" host entry\r\n", hostName.c_str()));
    c.lastError = msg::NoHostEntryText(hostName);
    return kInvalidSocket;
  }
  c.saServer.addr = addr;

  int err = 0;
  Socket s = c.net->OpenTcp(&err);
  if (s == kInvalidSocket) {
    FtpLogError(c, "create socket", err);
    return kInvalidSocket;
  }
  c.saData = c.saServer;
  c.saData.port = 20;

  NetResult r = c.net->Connect(s, c.saServer, c.iReplyTimeout);
  if (!r.ok()) {
    NoteWait(c, r);
    std::string what = Format("Can't connect to %s %s service.", hostName.c_str(), "FTP ");
    FtpLogError(c, what.c_str(), r.error);
    c.lastError = WsErrorText(r.timedOut ? platform::WSAETIMEDOUT : r.error);
    c.net->Close(s);
    return kInvalidSocket;
  }
  LogWrite(c, Format("Connected to %s port %u\r\n", c.saServer.AddrText().c_str(),
                     static_cast<unsigned>(port)));
  return s;
}

long FtpSendAll(FtpConn& c, Socket sock, const void* data, size_t length, int* status,
                bool isControl) {
  const char* p = static_cast<const char*>(data);
  size_t sent = 0;
  while (sent < length) {
    NetResult r = ChannelSend(c, sock, p + sent, length - sent, 0, isControl);
    if (!r.ok()) {
      FtpLogError(c, "Send", r.error);
      *status = c.bAbort ? kReplyAborted : kReplyPermanent;
      return -1;
    }
    sent += static_cast<size_t>(r.n);
    if (c.bAbort) break;
  }
  *status = c.bAbort ? kReplyAborted : kReplyComplete;
  return static_cast<long>(sent);
}

long FtpSendRaw(FtpConn& c, Socket sock, const std::string& line) {
  if (sock == kInvalidSocket) return -1;
  BusyScope busy(c);
  std::string out = line;
  if (out.empty() || out.back() != '\n') out += "\r\n";
  int status = 0;
  return FtpSendAll(c, sock, out.data(), out.size(), &status, true);
}

long FtpSendLine(FtpConn& c, Socket sock, const std::string& line) {
  if (sock == kInvalidSocket) return -1;
  if (c.iBusy.load() != 0 && strcasecmp(line.c_str(), "quit") != 0) {
    LogWrite(c, "Command already in progress, ignored New Cmd\r\n");
    c.lastError = msg::kCommandInProgress;
    return -1;
  }
  BusyScope busy(c);
  std::string out = line + "\r\n";
  int status = 0;
  return FtpSendAll(c, sock, out.data(), out.size(), &status, true);
}

int FtpCommandLine(FtpConn& c, Socket sock, const std::string& line) {
  c.iReplyCode = 0;
  c.lastError.clear();
  if (line.size() > kMaxCommandLength) {
    c.lastError = msg::CommandTooLongText(line.size());
    LogWrite(c, c.lastError + "\r\n");
    return kReplyNone;
  }
  if (line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    c.lastError = msg::kLineBreakInCommand;
    LogWrite(c, c.lastError + "\r\n");
    return kReplyNone;
  }
  const char* secret = nullptr;
  if (CarriesSecret(line, &secret))
    LogDebug(c, std::string(secret) + " xxxxxx\r\n");
  else
    LogDebug(c, line + "\r\n");
  if (sock == kInvalidSocket) {
    LogDebug(c, "Not connected\r\n");
    c.lastError = msg::kNotConnected;
    return kReplyNone;
  }
  if (FtpSendLine(c, sock, line) == -1) {
    if (c.lastError.empty()) c.lastError = msg::kCommandNotSent;
    return kReplyNone;
  }
  return FtpGetReply(c, sock);
}

int FtpCommand(FtpConn& c, Socket sock, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string line = VFormat(fmt, ap);
  va_end(ap);
  return FtpCommandLine(c, sock, line);
}

namespace {

// FtpGetReplyLine's work; `*complete` tells whether a whole line came, so
// that a line that arrived just as the operation was cancelled still
// counts.
int ReadReplyLine(FtpConn& c, Socket sock, bool* complete) {
  *complete = false;
  if (sock == kInvalidSocket) return 0;
  BusyScope busy(c);
  std::memset(c.cReply, 0, sizeof c.cReply);
  // Once the connection is known to be gone or the operation aborted, every
  // read answers at once instead of waiting out the time limit again.
  if (c.bAbort) return 421;

  const bool exosCR = c.bExosCR != 0;
  char* w = c.cReply;
  size_t total = 0;
  NetResult last = ChannelRecv(c, sock, w, kReplyPeek, platform::kPeek, true);
  while (last.n > 0) {
    size_t peeked = static_cast<size_t>(last.n);
    w[peeked] = '\0';
    size_t take = peeked;
    for (size_t i = 0; i < peeked; ++i) {
      if (w[i] == '\0' || w[i] == '\n' || (exosCR && w[i] == '\r')) {
        take = i + 1;
        break;
      }
    }
    last = ChannelRecv(c, sock, w, take, 0, true);
    if (last.n <= 0) break;
    size_t got = static_cast<size_t>(last.n);
    w[got] = '\0';
    std::string piece(w, got);
    LogDebug(c, piece + "\r\n");
    if (c.pCapture) c.pCapture->append(piece);
    char end = w[got - 1];
    w += got;
    if (end == '\n' || (exosCR && end == '\r')) break;
    total += got;
    if (total >= kReplyLineCut) break;
    last = ChannelRecv(c, sock, w, kReplyPeek, platform::kPeek, true);
  }
  *w = '\0';

  int code = 0;
  if (last.n < 0) {
    if (IsConnectionGone(last.error)) c.bAbort = 1;
    if (!last.timedOut) c.lastError = WsErrorText(last.error);
  } else if (last.n == 0 && w == c.cReply) {
    // The peer closed the connection: no reply will ever come.
    c.bAbort = 1;
    c.lastError = msg::kConnectionClosed;
  } else {
    char digits[4] = {c.cReply[0], c.cReply[1], c.cReply[2], 0};
    code = atoi(digits);
  }

  size_t len = strlen(c.cReply);
  while (len > 2 && (c.cReply[len - 1] == ' ' || c.cReply[len - 1] == '\r' ||
                     c.cReply[len - 1] == '\n'))
    c.cReply[--len] = '\0';
  *complete = last.n > 0;
  return c.bAbort ? 421 : code;
}

}  // namespace

int FtpGetReplyLine(FtpConn& c, Socket sock) {
  bool complete = false;
  return ReadReplyLine(c, sock, &complete);
}

int FtpGetReply(FtpConn& c, Socket sock) {
  if (sock == kInvalidSocket) return 0;
  BusyScope busy(c);
  // A reply that comes is the news; one that does not leaves its reason.
  c.lastError.clear();
  ++c.iReplyDepth;
  size_t bytes = 0;
  bool aborted = false;
  for (;;) {
    bool complete = false;
    int code = ReadReplyLine(c, sock, &complete);
    // A whole line that came as a cancel arrived is the server's reply all
    // the same: dropped, it would pass for the reply of the next command.
    if (complete && c.bAbort && code == 421) {
      char digits[4] = {c.cReply[0], c.cReply[1], c.cReply[2], 0};
      code = atoi(digits);
    }
    bool continuation = code < 100 || code >= 600 || c.cReply[3] == '-';
    if (c.bAbort && (!complete || continuation)) {
      c.iReplyCode = 421;
      aborted = true;
      break;
    }
    if ((c.iReplyDepth == 1 || c.iReplyCode == 0) && code >= 100 && code <= 599)
      c.iReplyCode = code;
    bytes += strlen(c.cReply) + 2;
    if (bytes > kMaxReplyBytes) {
      LogWrite(c, "Reply too long, connection given up\r\n");
      c.bAbort = 1;
      c.iReplyCode = 421;
      aborted = true;
      break;
    }
    if (continuation) continue;
    if (c.bAbort || c.iReplyCode <= 0 || c.iReplyDepth < 2 || code == c.iReplyCode) break;
  }
  --c.iReplyDepth;
  if (aborted) return kReplyAborted;
  int rc = c.iReplyCode;
  return rc >= 100 && rc <= 599 ? rc / 100 : kReplyNone;
}

void FtpAbort(FtpConn& c, Socket sock) {
  static constexpr unsigned char kIacIpIac[3] = {255, 244, 255};
  // The abort flag that brought us here must not stop the replies to ABOR
  // from being read: left unread, they would be taken for the replies of
  // the next commands. It is set again on the way out.
  const int32_t aborted = c.bAbort.exchange(0);
  // Nor may the cancel's wake-up, when no wait took it, end these reads; a
  // second cancel sets bAbort again and still ends them.
  c.net->ClearCancel();
  // Urgent data cannot travel inside TLS: the Telnet bytes would land in the
  // middle of the record stream and the server would end the session. A
  // protected control connection gets the plain ABOR line alone.
  const bool protectedControl = c.tls && c.tls->Active(true);
  size_t sent = protectedControl ? sizeof kIacIpIac : 0;
  while (sent < sizeof kIacIpIac) {
    NetResult r = ChannelSend(c, sock, kIacIpIac + sent, sizeof kIacIpIac - sent,
                              platform::kOob, true);
    if (!r.ok()) {
      FtpLogError(c, "Send", r.error);
      break;
    }
    sent += static_cast<size_t>(r.n);
  }
  LogWrite(c, "ABOR\r\n");
  if (c.HostFamily == HOST_VM || protectedControl)
    FtpSendRaw(c, sock, "ABOR");
  else
    FtpSendRaw(c, sock, "\xF2" "ABOR");
  FtpGetReply(c, sock);
  if (strstr(c.cReply, "command not understood")) {
    FtpSendRaw(c, sock, "ABOR");
    LogWrite(c, "Send an ABOR command\r\n");
    FtpGetReply(c, sock);
  }
  // A transfer cut short is answered twice: 426 (or 451) for the transfer,
  // then 226 for the ABOR itself. A transfer command whose "150" came only
  // after the cancel has that reply first.
  for (int more = 0; more < 4 && !c.bAbort; ++more) {
    const int code = c.iReplyCode;
    if (code / 100 != 1 && code != 426 && code != 451 && code != 425) break;
    FtpGetReply(c, sock);
  }
  if (aborted) c.bAbort = aborted;
}

Socket FtpCloseSocket(FtpConn& c, Socket sock) {
  if (sock == kInvalidSocket) return kInvalidSocket;
  if (c.net->IsBlocking()) {
    LogDebug(c, Format("[%u] Cancelled blocking call\r\n", static_cast<unsigned>(sock)));
    c.net->CancelBlockingCall();
    c.bAbort = 1;
  }
  NetResult r = c.net->Close(sock);
  if (r.ok()) {
    LogDebug(c, Format("[%u] Socket closed.\r\n", static_cast<unsigned>(sock)));
    return kInvalidSocket;
  }
  FtpLogError(c, "CloseSocket", r.error);
  LogDebug(c, Format("[%u] Failed to close socket.\r\n", static_cast<unsigned>(sock)));
  return sock;
}

int FtpQuit(FtpConn& c, Socket sock) {
  if (sock == kInvalidSocket) {
    if (c.tls) c.tls->ShutdownAll();
    return kReplyNone;
  }
  int rc = FtpCommand(c, sock, "quit");
  c.net->Shutdown(sock, platform::ShutdownHow::kBoth);
  if (c.tls) c.tls->ShutdownAll();
  return rc;
}

}  // namespace tarn
