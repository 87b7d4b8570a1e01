#include "platform/net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/clock.h"

namespace platform {

namespace {

sockaddr_in ToSockaddr(const Ipv4& a) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(a.addr);
  sa.sin_port = htons(a.port);
  return sa;
}

Ipv4 FromSockaddr(const sockaddr_in& sa) {
  return Ipv4{ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
}

NetResult Fail(int wsa) { return NetResult{-1, wsa, false}; }
NetResult FailErrno() { return Fail(WsaFromErrno(errno)); }

bool WouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK; }

// sendfile() has no MSG_NOSIGNAL: a peer that closed or reset the
// connection would end the whole program with SIGPIPE, no message, no log.
// The signal is held for the calling thread while the calls run, and one
// they raised is taken before the thread's mask goes back (a call that
// sent part of its bytes before the peer went away returns the count and
// still raises it). A caller that held the signal itself keeps it.
class PipeSignalHeld {
 public:
  PipeSignalHeld() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    ownHold_ = sigismember(&old_, SIGPIPE) != 1;
  }
  ~PipeSignalHeld() {
    if (!ownHold_) return;
    const int saved = errno;
    const timespec now{0, 0};
    while (sigtimedwait(&pipe_, nullptr, &now) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    errno = saved;
  }
  PipeSignalHeld(const PipeSignalHeld&) = delete;
  PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

 private:
  sigset_t pipe_;
  sigset_t old_;
  bool ownHold_ = false;
};

}  // namespace

int WsaFromErrno(int err) {
  switch (err) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE: case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: case EALREADY: return WSAEINPROGRESS;
    case ENOTSOCK: return WSAENOTSOCK;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: case EPIPE: return WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return WSAENOBUFS;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return 10000 + err;
  }
}

std::string Ipv4::AddrText() const {
  char buf[INET_ADDRSTRLEN] = {};
  in_addr in{};
  in.s_addr = htonl(addr);
  inet_ntop(AF_INET, &in, buf, sizeof buf);
  return buf;
}

bool ParseIpv4(const std::string& text, uint32_t* addr) {
  in_addr in{};
  if (inet_pton(AF_INET, text.c_str(), &in) != 1) return false;
  *addr = ntohl(in.s_addr);
  return true;
}

Net::Net() { wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

Net::~Net() {
  if (wakeFd_ >= 0) close(wakeFd_);
}

void Net::CancelBlockingCall() {
  if (blocking_.load() == 0 || wakeFd_ < 0) return;
  uint64_t one = 1;
  ssize_t w = write(wakeFd_, &one, sizeof one);
  (void)w;
}

void Net::ClearCancel() {
  if (wakeFd_ < 0) return;
  uint64_t v;
  ssize_t r = read(wakeFd_, &v, sizeof v);
  (void)r;
}

int Net::Wait(Socket s, short events, int timeoutMs, bool* timedOut) {
  *timedOut = false;
  blocking_.fetch_add(1);
  const Deadline deadline = timeoutMs > 0 ? Deadline::In(timeoutMs) : Deadline::Never();
  int result = 0;
  for (;;) {
    // Read after blocking_ went up: a canceller that set the flag before
    // is seen here, one that sets it after sees blocking_ and wakes us.
    const std::atomic<int32_t>* flag = abortFlag_.load();
    if (flag && flag->load() != 0) {
      result = WSAEINTR;
      break;
    }
    pollfd fds[2] = {{s, events, 0}, {wakeFd_, POLLIN, 0}};
    const int wait = deadline.LeftMs();
    if (wait == 0) {
      *timedOut = true;
      result = WSAEINTR;
      break;
    }
    int rc = poll(fds, wakeFd_ >= 0 ? 2 : 1, wait);
    if (rc < 0) {
      if (errno == EINTR) continue;
      result = WsaFromErrno(errno);
      break;
    }
    if (rc == 0) continue;  // the deadline check above ends the wait
    if (wakeFd_ >= 0 && (fds[1].revents & POLLIN)) {
      uint64_t v;
      ssize_t r = read(wakeFd_, &v, sizeof v);
      (void)r;
      result = WSAEINTR;
      break;
    }
    if (fds[0].revents & POLLNVAL) {
      result = WSAENOTSOCK;
      break;
    }
    break;  // ready (or in error: the call itself reports it)
  }
  blocking_.fetch_sub(1);
  return result;
}

NetResult Net::Resolve(const std::string& host, uint32_t* addr) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  int rc = getaddrinfo(host.c_str(), nullptr, &hints, &res);
  if (rc != 0 || !res) {
    if (ParseIpv4(host, addr)) return {};
    switch (rc) {
      case EAI_AGAIN: return Fail(WSATRY_AGAIN);
      case EAI_FAIL: return Fail(WSANO_RECOVERY);
#ifdef EAI_NODATA
      case EAI_NODATA: return Fail(WSANO_DATA);
#endif
      default: return Fail(WSAHOST_NOT_FOUND);
    }
  }
  *addr = ntohl(reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr);
  freeaddrinfo(res);
  return {};
}

Socket Net::OpenTcp(int* error) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
  if (s < 0) {
    *error = WsaFromErrno(errno);
    return kInvalidSocket;
  }
  int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  *error = 0;
  return s;
}

NetResult Net::Connect(Socket s, const Ipv4& to, int timeoutMs) {
  sockaddr_in sa = ToSockaddr(to);
  if (connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return {};
  if (errno != EINPROGRESS) return FailErrno();
  bool timedOut = false;
  if (int e = Wait(s, POLLOUT, timeoutMs, &timedOut)) return NetResult{-1, e, timedOut};
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) < 0) return FailErrno();
  if (err) return Fail(WsaFromErrno(err));
  return {};
}

NetResult Net::Bind(Socket s, const Ipv4& at) {
  sockaddr_in sa = ToSockaddr(at);
  if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) < 0) return FailErrno();
  return {};
}

NetResult Net::Listen(Socket s, int backlog) {
  if (listen(s, backlog) < 0) return FailErrno();
  return {};
}

NetResult Net::Accept(Socket s, Socket* accepted, Ipv4* peer, int timeoutMs) {
  for (;;) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int a = accept4(s, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (a >= 0) {
      int one = 1;
      setsockopt(a, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      *accepted = a;
      if (peer) *peer = FromSockaddr(sa);
      return {};
    }
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) return FailErrno();
    bool timedOut = false;
    if (int e = Wait(s, POLLIN, timeoutMs, &timedOut)) return NetResult{-1, e, timedOut};
  }
}

NetResult Net::Send(Socket s, const void* data, size_t len, int flags, int timeoutMs) {
  int f = MSG_NOSIGNAL | ((flags & kOob) ? MSG_OOB : 0);
  for (;;) {
    ssize_t n = send(s, data, len, f);
    if (n >= 0) return NetResult{static_cast<long>(n), 0, false};
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) return FailErrno();
    bool timedOut = false;
    if (int e = Wait(s, POLLOUT, timeoutMs, &timedOut)) return NetResult{-1, e, timedOut};
  }
}

NetResult Net::SendFile(Socket s, int fd, size_t count, int timeoutMs) {
  PipeSignalHeld held;
  for (;;) {
    ssize_t n = sendfile(s, fd, nullptr, count);
    if (n >= 0) return NetResult{static_cast<long>(n), 0, false};
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) return FailErrno();
    bool timedOut = false;
    if (int e = Wait(s, POLLOUT, timeoutMs, &timedOut)) return NetResult{-1, e, timedOut};
  }
}

NetResult Net::Recv(Socket s, void* buf, size_t len, int flags, int timeoutMs) {
  int f = ((flags & kPeek) ? MSG_PEEK : 0) | ((flags & kOob) ? MSG_OOB : 0);
  for (;;) {
    ssize_t n = recv(s, buf, len, f);
    if (n >= 0) return NetResult{static_cast<long>(n), 0, false};
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) return FailErrno();
    bool timedOut = false;
    if (int e = Wait(s, POLLIN, timeoutMs, &timedOut)) return NetResult{-1, e, timedOut};
  }
}

NetResult Net::Shutdown(Socket s, ShutdownHow how) {
  int h = how == ShutdownHow::kReceive ? SHUT_RD : how == ShutdownHow::kSend ? SHUT_WR : SHUT_RDWR;
  if (shutdown(s, h) < 0) return FailErrno();
  return {};
}

NetResult Net::Close(Socket s) {
  if (s < 0) return Fail(WSAENOTSOCK);
  if (close(s) < 0) return FailErrno();
  return {};
}

NetResult Net::LocalAddress(Socket s, Ipv4* out) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) < 0) return FailErrno();
  *out = FromSockaddr(sa);
  return {};
}

NetResult Net::PeerAddress(Socket s, Ipv4* out) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getpeername(s, reinterpret_cast<sockaddr*>(&sa), &len) < 0) return FailErrno();
  *out = FromSockaddr(sa);
  return {};
}

NetResult Net::SetOobInline(Socket s, bool on) {
  int v = on ? 1 : 0;
  if (setsockopt(s, SOL_SOCKET, SO_OOBINLINE, &v, sizeof v) < 0) return FailErrno();
  return {};
}

NetResult Net::SetBufferSizes(Socket s, int sendBytes, int recvBytes) {
  if (sendBytes > 0 && setsockopt(s, SOL_SOCKET, SO_SNDBUF, &sendBytes, sizeof sendBytes) < 0)
    return FailErrno();
  if (recvBytes > 0 && setsockopt(s, SOL_SOCKET, SO_RCVBUF, &recvBytes, sizeof recvBytes) < 0)
    return FailErrno();
  return {};
}

}  // namespace platform
