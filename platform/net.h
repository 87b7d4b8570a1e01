// TCP sockets for IPv4 with WinSock error numbers.
//
// Every blocking wait (connect, accept, send, recv) is a poll() with a time
// limit, and any wait can be cancelled from another thread. A wait that runs
// out of time or is cancelled fails with 10004 (WSAEINTR, "Blocking call
// cancelled"), exactly what the engine's watchdog used to produce; `timedOut`
// tells the two apart so that the engine can write its log line.
//
// Errors are WinSock numbers (ECONNREFUSED -> 10061, ETIMEDOUT -> 10060, ...)
// so that the engine's error texts and its "connection is gone" set apply
// unchanged.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

using Socket = int;
constexpr Socket kInvalidSocket = -1;

// WinSock numbers used by name in the engine.
enum WsaError : int {
  WSAEINTR = 10004,
  WSAEBADF = 10009,
  WSAEFAULT = 10014,
  WSAEINVAL = 10022,
  WSAEMFILE = 10024,
  WSAEWOULDBLOCK = 10035,
  WSAEINPROGRESS = 10036,
  WSAENOTSOCK = 10038,
  WSAEMSGSIZE = 10040,
  WSAEPROTOTYPE = 10041,
  WSAEPROTONOSUPPORT = 10043,
  WSAESOCKTNOSUPPORT = 10044,
  WSAEAFNOSUPPORT = 10047,
  WSAEADDRINUSE = 10048,
  WSAEADDRNOTAVAIL = 10049,
  WSAENETDOWN = 10050,
  WSAENETUNREACH = 10051,
  WSAENETRESET = 10052,
  WSAECONNABORTED = 10053,
  WSAECONNRESET = 10054,
  WSAENOBUFS = 10055,
  WSAENOTCONN = 10057,
  WSAESHUTDOWN = 10058,
  WSAETIMEDOUT = 10060,
  WSAECONNREFUSED = 10061,
  WSAEHOSTDOWN = 10064,
  WSAEHOSTUNREACH = 10065,
  WSAHOST_NOT_FOUND = 11001,
  WSATRY_AGAIN = 11002,
  WSANO_RECOVERY = 11003,
  WSANO_DATA = 11004,
};

// Maps an errno value to its WinSock number (unknown values map to 10000 +
// errno so that they still show through "WS error %u").
int WsaFromErrno(int err);

// An IPv4 address and port, both in host byte order.
struct Ipv4 {
  uint32_t addr = 0;
  uint16_t port = 0;

  std::string AddrText() const;  // dotted quad
  bool operator==(const Ipv4&) const = default;
};

// Parses a dotted quad ("127.0.0.1"); false when it is not one.
bool ParseIpv4(const std::string& text, uint32_t* addr);

// Result of one socket call: `n` is the byte count (or 0 for calls without
// one) and -1 on failure, when `error` holds the WinSock number.
struct NetResult {
  long n = 0;
  int error = 0;
  bool timedOut = false;  // the wait ran out of time (error is 10004)

  bool ok() const { return n >= 0; }
};

// Flags for Recv and Send.
enum NetFlags : int {
  kPeek = 1,  // MSG_PEEK
  kOob = 2,   // MSG_OOB
};

enum class ShutdownHow { kReceive, kSend, kBoth };

// One Net serves one connection context; its calls may come from any thread.
class Net {
 public:
  Net();
  ~Net();
  Net(const Net&) = delete;
  Net& operator=(const Net&) = delete;

  // Resolves a host name or dotted quad to its first IPv4 address.
  // Failure: n = -1, error 11001..11004.
  NetResult Resolve(const std::string& host, uint32_t* addr);

  // A new TCP stream socket, or kInvalidSocket with `error` set.
  Socket OpenTcp(int* error);

  // Connects within `timeoutMs` (0 = no limit).
  NetResult Connect(Socket s, const Ipv4& to, int timeoutMs);
  NetResult Bind(Socket s, const Ipv4& at);
  NetResult Listen(Socket s, int backlog);
  // Waits up to `timeoutMs` for a connection; the accepted socket is in
  // `*accepted`, its peer in `*peer`.
  NetResult Accept(Socket s, Socket* accepted, Ipv4* peer, int timeoutMs);

  // Sends at most `len` bytes (one call, may be partial). Waits up to
  // `timeoutMs` for room to send.
  NetResult Send(Socket s, const void* data, size_t len, int flags, int timeoutMs);
  // Sends up to `count` bytes of the open file `fd` from its current
  // offset, without copying them through user space (sendfile). One call,
  // may be partial; n = 0 at the end of the file.
  NetResult SendFile(Socket s, int fd, size_t count, int timeoutMs);
  // Receives at most `len` bytes; 0 means the peer closed. Waits up to
  // `timeoutMs` for data.
  NetResult Recv(Socket s, void* buf, size_t len, int flags, int timeoutMs);

  NetResult Shutdown(Socket s, ShutdownHow how);
  NetResult Close(Socket s);
  NetResult LocalAddress(Socket s, Ipv4* out);
  NetResult PeerAddress(Socket s, Ipv4* out);
  NetResult SetOobInline(Socket s, bool on);
  NetResult SetBufferSizes(Socket s, int sendBytes, int recvBytes);

  // True while a call of this Net is waiting (WSAIsBlocking).
  bool IsBlocking() const { return blocking_.load() > 0; }

  // Ends the waits in progress with 10004 (WSACancelBlockingCall). Does
  // nothing when no call is waiting. Any thread may call it.
  void CancelBlockingCall();

  // When set, a wait that begins while *flag is not 0 ends at once with
  // 10004. Closes the gap between a cancel that finds no wait to wake and
  // the wait that begins right after it: the canceller sets the flag, then
  // calls CancelBlockingCall. Null (the default) turns the check off. The
  // flag must outlive this Net.
  void SetAbortFlag(const std::atomic<int32_t>* flag) { abortFlag_.store(flag); }

  // Forgets a wake-up of CancelBlockingCall that no wait took, so that it
  // cannot end a later wait. Called where a new piece of work begins.
  void ClearCancel();

 private:
  // Waits for `events` on `s`; returns 0 when ready, else a WinSock number.
  int Wait(Socket s, short events, int timeoutMs, bool* timedOut);

  int wakeFd_ = -1;  // eventfd written by CancelBlockingCall
  std::atomic<int> blocking_{0};
  std::atomic<const std::atomic<int32_t>*> abortFlag_{nullptr};
};

}  // namespace platform
