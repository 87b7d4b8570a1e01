// The control connection: opening it, sending command lines, reading
// numbered replies, the abort sequence and closing. Every other part of the
// engine talks to the server through these primitives.
//
// All calls block the calling thread; each wait for the server is bounded by
// FtpConn::iReplyTimeout. They may be called from any worker thread; the
// busy count refuses a second command while one runs.
#pragma once

#include <string>

#include "client/engine/ftp_conn.h"

namespace tarn {

// LogWrite: appends text to the connection log as it is.
void LogWrite(FtpConn& c, const std::string& text);
// The same, only while DebugLog is on.
void LogDebug(FtpConn& c, const std::string& text);
// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// FtpOpenSocket: resolves `hostName`, connects to `port` and returns the
// connected socket, or kInvalidSocket after logging why.
//   Connected to 127.0.0.1 port 21
platform::Socket FtpOpenSocket(FtpConn& c, const std::string& hostName, uint16_t port);

// FtpCommand: sends one command line and reads its reply; returns the reply
// class. The line is refused (class 0, nothing sent) when it is longer than
// 257 characters or holds CR, LF or NUL: a cut or split line would name
// another file or smuggle a second command.
//   PASS and ACCT lines are logged as "PASS xxxxxx" / "ACCT xxxxxx".
int FtpCommand(FtpConn& c, platform::Socket sock, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
int FtpCommandLine(FtpConn& c, platform::Socket sock, const std::string& line);

// FtpSendLine: sends `line` + CR LF; returns the bytes sent or -1. Refused
// with "Command already in progress, ignored New Cmd" while another
// primitive runs, unless the line is "quit" (any case).
long FtpSendLine(FtpConn& c, platform::Socket sock, const std::string& line);

// FtpSendRaw: as FtpSendLine without the busy test; CR LF is added only
// when the line does not end with LF. Used for NOOP, ABOR and ACCT.
long FtpSendRaw(FtpConn& c, platform::Socket sock, const std::string& line);

// FtpSendAll: sends every byte on the control (`isControl`) or data channel.
// Returns the bytes sent, or -1 after logging "Send: <error>"; `*status` is
// 2 when done, 5 on an error, 6 when aborted.
long FtpSendAll(FtpConn& c, platform::Socket sock, const void* data, size_t length, int* status,
                bool isControl);

// FtpGetReplyLine: reads one reply line into cReply; returns its code, 0
// when it has none, 421 when the connection is gone or the wait was
// cancelled.
int FtpGetReplyLine(FtpConn& c, platform::Socket sock);

// FtpGetReply: reads a whole reply, multi-line ones to their closing line;
// returns its class. cReply holds the last line, iReplyCode the code.
//   230-Welcome
//   230 Logged in.        -> class 2, iReplyCode 230, cReply "230 Logged in."
int FtpGetReply(FtpConn& c, platform::Socket sock);

// FtpAbort: the abort sequence (urgent IAC IP IAC, then DM + ABOR).
void FtpAbort(FtpConn& c, platform::Socket sock);

// FtpCloseSocket: closes `sock`; returns kInvalidSocket (store it back) or
// `sock` when closing failed. Cancels a wait in progress first.
platform::Socket FtpCloseSocket(FtpConn& c, platform::Socket sock);

// FtpQuit: sends "quit", shuts the socket down and releases TLS; returns the
// reply class (0 for no socket).
int FtpQuit(FtpConn& c, platform::Socket sock);

// FtpLogError: logs "<text>: <error text>" (debug), or the error text alone
// when `text` is null.
void FtpLogError(FtpConn& c, const char* text, int code);

// WsErrorText: the text of a WinSock error, "WS error %u" when unknown.
std::string WsErrorText(int code);

// FailureText: what the person is told about the engine call that just
// failed: the reason recorded where it failed (a socket error's text, a
// local file's error, a cut transfer), else the server's last reply, else
// "No reply from server". Never empty.
std::string FailureText(const FtpConn& c);

// ChannelSend / ChannelRecv: through TLS when that channel uses it, plain
// otherwise. Waits are bounded by iReplyTimeout; a wait that runs out logs
// "Timer cancelled blocking call" and sets bAbort.
platform::NetResult ChannelSend(FtpConn& c, platform::Socket sock, const void* data, size_t len,
                                int flags, bool isControl);
platform::NetResult ChannelRecv(FtpConn& c, platform::Socket sock, void* buf, size_t len,
                                int flags, bool isControl);

// Stops the keep-alive timer / re-arms it from the settings.
void StopKeepAlive(FtpConn& c);
void RearmKeepAlive(FtpConn& c);

// True for the WinSock errors that mean the connection is gone.
bool IsConnectionGone(int wsaError);

// BusyScope: raises iBusy for its life, so that FtpSendLine refuses a second
// command while a primitive, a byte loop or a log-on step runs. With
// kPauseKeepAlive (the default) the keep-alive stops on entry and re-arms on
// the way out, so it fires only after a whole idle interval; log-on leaves
// it alone, as there is no session to keep alive yet.
class BusyScope {
 public:
  enum KeepAlive { kPauseKeepAlive, kLeaveKeepAlive };
  explicit BusyScope(FtpConn& c, KeepAlive keepAlive = kPauseKeepAlive);
  ~BusyScope();
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  FtpConn& c_;
  const KeepAlive keepAlive_;
};

// The connection's host-type values (HostFamily, ServerType, SystemCode and
// the host view's code).
HostType HostTypeOf(const FtpConn& c);

// SetHostType: the one way the engine and the listing code change the
// host-type values. A change is written to the transcript (DebugLog) with
// the old and the new values by name:
//   Host type: GENERIC UNIX DEFAULT view 3 -> MVS MVS MVS view 3
void SetHostType(FtpConn& c, const HostType& type);

}  // namespace tarn
