#include "tests/support/fault_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <strings.h>

namespace tarn::testing {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kLoopback = 0x7f000001;
// Bytes a relay holds per direction before it stops reading, so that a
// slow or stalled reader slows the sender as a real network would.
constexpr size_t kBacklog = 256 * 1024;
constexpr size_t kReadBlock = 64 * 1024;
// A data listener nobody connects to gives up after this long.
constexpr int kDataAcceptMs = 120000;

int FlowIndex(Flow f) { return f == Flow::kFromServer ? 0 : 1; }
int ChannelIndex(Channel c) { return c == Channel::kControl ? 0 : 1; }

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

void SetLingerZero(int fd) {
  linger l{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

// A listening socket on 127.0.0.1, port chosen by the system; -1 on failure.
int ListenLoopback(uint16_t* port, int backlog) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(kLoopback);
  socklen_t len = sizeof sa;
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(sa.sin_port);
  return fd;
}

// A blocking connect on loopback (immediate there); -1 on failure.
int ConnectTo(uint32_t addr, uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(addr);
  sa.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  const size_t n = strlen(prefix);
  return s.size() >= n && strncasecmp(s.data(), prefix, n) == 0;
}

// Reads up to `count` comma-separated numbers from `s` at `pos`; the
// position after the last one in *end. False when fewer were there.
bool ReadNumbers(const std::string& s, size_t pos, int count, std::vector<long>* out, size_t* end) {
  out->clear();
  for (int i = 0; i < count; ++i) {
    if (i > 0) {
      if (pos >= s.size() || s[pos] != ',') return false;
      ++pos;
    }
    size_t start = pos;
    long v = 0;
    while (pos < s.size() && isdigit(static_cast<unsigned char>(s[pos])) && pos - start < 6)
      v = v * 10 + (s[pos++] - '0');
    if (pos == start) return false;
    out->push_back(v);
  }
  *end = pos;
  return true;
}

std::string HostPort(uint16_t port) {
  return "127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

// The line without its CR LF, and the line end it had.
void SplitEnd(const std::string& line, std::string* body, std::string* ending) {
  size_t n = line.size();
  if (n && line[n - 1] == '\n') --n;
  if (n && line[n - 1] == '\r') --n;
  *body = line.substr(0, n);
  *ending = line.substr(n);
}

}  // namespace

std::string Cue::Describe() const {
  static const char* const kNames[] = {"pass", "drop", "reset", "stall", "delay"};
  std::string s = kNames[fault];
  if (fault == kDelay) s += " " + std::to_string(delayMs) + " ms per segment";
  if (after) s += " after " + std::to_string(after) + " bytes";
  if (fault != kPass) s += flow == Flow::kFromServer ? " of the server's" : " of the client's";
  if (!onLine.empty()) s += " from \"" + onLine + "\"";
  if (!onLine.empty() && nth > 1) s += " (line " + std::to_string(nth) + " of its kind)";
  return s;
}

// ---- One relayed connection ---------------------------------------------------

class FaultProxy::Link {
 public:
  Link(FaultProxy& proxy, Channel channel, int number, int clientFd, int serverFd)
      : proxy_(proxy), channel_(channel), number_(number) {
    fd_[0] = clientFd;
    fd_[1] = serverFd;
    SetNonBlocking(clientFd);
    SetNonBlocking(serverFd);
    int one = 1;
    setsockopt(clientFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    setsockopt(serverFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  ~Link() {
    CloseAll(false);
    if (wake_ >= 0) close(wake_);
  }

  void Wake() {
    uint64_t one = 1;
    if (write(wake_, &one, sizeof one) < 0) {
    }
  }

  void Run();

 private:
  struct Chunk {
    std::string bytes;
    bool lineStart = false;  // the first bytes of a control line
    bool oob = false;        // one byte of urgent data
  };
  // One direction: index 0 is the server's bytes to the client, 1 the
  // client's bytes to the server.
  struct Dir {
    std::string framing;       // control bytes of a line not yet complete
    std::deque<Chunk> ready;   // waiting at the cue's gate
    std::deque<Chunk> out;     // through the gate, to send
    size_t held = 0;           // bytes in ready and out
    bool eof = false;          // the source closed
    bool shut = false;         // the destination's sending side is shut
  };

  int Source(int d) const { return fd_[d == 0 ? 1 : 0]; }
  int Dest(int d) const { return fd_[d == 0 ? 0 : 1]; }
  Flow FlowOf(int d) const { return d == 0 ? Flow::kFromServer : Flow::kFromClient; }

  void RefreshCue();
  void Read(int d);
  void Frame(int d, bool flushPartial);
  void PushLine(int d, std::string line);
  std::string Rewrite(int d, const std::string& line);
  void Gate(int d, Clock::time_point now);
  void Pass(int d, Chunk chunk);
  // Sends what can go without waiting; false when the destination is gone.
  bool Flush(int d);
  void Fire();
  void CloseAll(bool reset);

  FaultProxy& proxy_;
  const Channel channel_;
  const int number_;
  int fd_[2] = {-1, -1};  // client, server
  int wake_ = -1;
  Dir dir_[2];
  bool raw_ = false;  // control after AUTH: no framing, no rewrite

  CueSlot cue_;
  int64_t counted_ = 0;       // bytes of the cue's flow through the gate since it armed
  bool armed_ = false;
  int linesSeen_ = 0;         // lines that matched the cue's onLine so far
  bool faultDue_ = false;     // the fault waits for the passed bytes to go out
  bool stalled_ = false;
  bool delayNoted_ = false;
  Clock::time_point releaseAt_{};  // kDelay: when the head segment may go
  bool done_ = false;
};

void FaultProxy::Link::RefreshCue() {
  CueSlot now = proxy_.CueFor(channel_, number_);
  if (now.id == cue_.id) return;
  cue_ = now;
  counted_ = 0;
  armed_ = cue_.cue.onLine.empty();
  linesSeen_ = 0;
  faultDue_ = false;
  stalled_ = false;
  delayNoted_ = false;
  releaseAt_ = {};
}

void FaultProxy::Link::Run() {
  while (!done_ && !proxy_.stop_) {
    RefreshCue();
    if (stalled_) {
      pollfd p{wake_, POLLIN, 0};
      poll(&p, 1, -1);
      uint64_t v;
      if (read(wake_, &v, sizeof v) < 0) {
      }
      continue;
    }
    const Clock::time_point now = Clock::now();
    Gate(0, now);
    Gate(1, now);
    for (int d = 0; d < 2 && !done_; ++d) {
      if (!Flush(d)) {
        // The destination is gone: so is the connection, for the sender too.
        CloseAll(true);
        return;
      }
    }
    // The fault comes once the bytes let through before it are out.
    if (faultDue_ && dir_[FlowIndex(cue_.cue.flow)].out.empty()) {
      Fire();
      continue;
    }
    for (int d = 0; d < 2; ++d) {
      Dir& dr = dir_[d];
      if (dr.eof && !dr.shut && dr.held == 0 && dr.framing.empty()) {
        shutdown(Dest(d), SHUT_WR);
        dr.shut = true;
      }
    }
    if (dir_[0].shut && dir_[1].shut) break;

    pollfd p[3] = {{wake_, POLLIN, 0}, {fd_[0], 0, 0}, {fd_[1], 0, 0}};
    for (int d = 0; d < 2; ++d) {
      Dir& dr = dir_[d];
      pollfd& src = p[d == 0 ? 2 : 1];
      pollfd& dst = p[d == 0 ? 1 : 2];
      if (!dr.eof && dr.held < kBacklog) src.events |= POLLIN | (d == 1 ? POLLPRI : 0);
      if (!dr.out.empty()) dst.events |= POLLOUT;
    }
    // A socket with nothing to do is left out: its hang-up would wake the
    // loop again and again.
    for (int i = 1; i < 3; ++i)
      if (p[i].events == 0) p[i].fd = -1;
    int timeout = -1;
    if (releaseAt_ != Clock::time_point{}) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(releaseAt_ - Clock::now()).count();
      timeout = static_cast<int>(std::max<int64_t>(0, left) + 1);
    }
    if (poll(p, 3, timeout) < 0 && errno != EINTR) break;
    if (p[0].revents) {
      uint64_t v;
      if (read(wake_, &v, sizeof v) < 0) {
      }
    }
    if (p[2].revents & (POLLIN | POLLHUP | POLLERR)) Read(0);
    if (!done_ && (p[1].revents & (POLLIN | POLLPRI | POLLHUP | POLLERR))) Read(1);
  }
  CloseAll(false);
}

void FaultProxy::Link::Read(int d) {
  Dir& dr = dir_[d];
  if (dr.eof || done_) return;
  const int src = Source(d);
  // Urgent data (the IAC IP IAC of an abort) is passed on as urgent data,
  // in its place in the stream: the bytes before it go first.
  if (d == 1) {
    int atMark = 0;
    if (ioctl(src, SIOCATMARK, &atMark) == 0 && atMark) {
      char b;
      if (recv(src, &b, 1, MSG_OOB) == 1) {
        Frame(d, true);
        Chunk c;
        c.bytes.assign(1, b);
        c.oob = true;
        dr.ready.push_back(std::move(c));
        dr.held += 1;
        return;
      }
    }
  }
  char buf[kReadBlock];
  ssize_t n = recv(src, buf, sizeof buf, 0);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    // Reset by the sender: the other end learns it the same way.
    CloseAll(true);
    return;
  }
  if (n == 0) {
    dr.eof = true;
    Frame(d, true);
    return;
  }
  if (channel_ == Channel::kData || raw_) {
    Chunk c;
    c.bytes.assign(buf, static_cast<size_t>(n));
    dr.held += c.bytes.size();
    dr.ready.push_back(std::move(c));
    return;
  }
  dr.framing.append(buf, static_cast<size_t>(n));
  Frame(d, false);
}

void FaultProxy::Link::Frame(int d, bool flushPartial) {
  Dir& dr = dir_[d];
  size_t lf;
  while (!raw_ && (lf = dr.framing.find('\n')) != std::string::npos) {
    std::string line = dr.framing.substr(0, lf + 1);
    dr.framing.erase(0, lf + 1);
    PushLine(d, std::move(line));
  }
  if (raw_ && !dr.framing.empty()) {
    Chunk c;
    c.bytes = std::move(dr.framing);
    dr.framing.clear();
    dr.held += c.bytes.size();
    dr.ready.push_back(std::move(c));
  }
  if (flushPartial && !dr.framing.empty()) {
    Chunk c;
    c.bytes = std::move(dr.framing);
    dr.framing.clear();
    c.lineStart = true;
    dr.held += c.bytes.size();
    dr.ready.push_back(std::move(c));
  }
}

void FaultProxy::Link::PushLine(int d, std::string line) {
  std::string body, ending;
  SplitEnd(line, &body, &ending);
  // Telnet bytes before a command (the DM of an abort) are not part of it.
  size_t skip = 0;
  while (skip < body.size() && static_cast<unsigned char>(body[skip]) >= 0xF0) ++skip;
  proxy_.NoteLine(FlowOf(d), body.substr(skip));
  Chunk c;
  c.bytes = Rewrite(d, body) + ending;
  c.lineStart = true;
  dir_[d].held += c.bytes.size();
  dir_[d].ready.push_back(std::move(c));
  // "234": the TLS handshake follows; nothing after it can be read.
  if (d == 0 && body.compare(0, 4, "234 ") == 0) raw_ = true;
}

std::string FaultProxy::Link::Rewrite(int d, const std::string& body) {
  std::vector<long> n;
  size_t end = 0;
  if (d == 0 && body.compare(0, 4, "227 ") == 0) {
    // 227 Entering Passive Mode (h1,h2,h3,h4,p1,p2).
    for (size_t pos = 4; pos < body.size(); ++pos) {
      if (!isdigit(static_cast<unsigned char>(body[pos]))) continue;
      if (!ReadNumbers(body, pos, 6, &n, &end)) return body;
      uint32_t addr = static_cast<uint32_t>((n[0] << 24) | (n[1] << 16) | (n[2] << 8) | n[3]);
      if (addr == 0) addr = kLoopback;
      uint16_t port = proxy_.OpenDataListener(addr, static_cast<uint16_t>(n[4] * 256 + n[5]), true);
      if (!port) return body;
      return body.substr(0, pos) + HostPort(port) + body.substr(end);
    }
    return body;
  }
  if (d == 0 && body.compare(0, 4, "229 ") == 0) {
    // 229 Entering Extended Passive Mode (|||port|)
    size_t bars = body.find("|||");
    if (bars == std::string::npos || !ReadNumbers(body, bars + 3, 1, &n, &end)) return body;
    uint16_t port = proxy_.OpenDataListener(kLoopback, static_cast<uint16_t>(n[0]), true);
    if (!port) return body;
    return body.substr(0, bars + 3) + std::to_string(port) + body.substr(end);
  }
  if (d == 1 && StartsWithNoCase(body, "PORT ")) {
    // PORT h1,h2,h3,h4,p1,p2
    if (!ReadNumbers(body, 5, 6, &n, &end)) return body;
    uint32_t addr = static_cast<uint32_t>((n[0] << 24) | (n[1] << 16) | (n[2] << 8) | n[3]);
    uint16_t port = proxy_.OpenDataListener(addr, static_cast<uint16_t>(n[4] * 256 + n[5]), false);
    if (!port) return body;
    return body.substr(0, 5) + HostPort(port) + body.substr(end);
  }
  if (d == 1 && StartsWithNoCase(body, "EPRT ")) {
    // EPRT |1|127.0.0.1|port|
    size_t last = body.rfind('|');
    size_t before = last == std::string::npos || last == 0 ? std::string::npos : body.rfind('|', last - 1);
    if (before == std::string::npos || body.compare(5, 3, "|1|") != 0) return body;
    uint32_t addr = 0;
    in_addr a{};
    if (inet_pton(AF_INET, body.substr(8, before - 8).c_str(), &a) == 1) addr = ntohl(a.s_addr);
    if (!ReadNumbers(body, before + 1, 1, &n, &end)) return body;
    uint16_t port = proxy_.OpenDataListener(addr, static_cast<uint16_t>(n[0]), false);
    if (!port) return body;
    return "EPRT |1|127.0.0.1|" + std::to_string(port) + body.substr(last);
  }
  return body;
}

void FaultProxy::Link::Pass(int d, Chunk chunk) { dir_[d].out.push_back(std::move(chunk)); }

void FaultProxy::Link::Gate(int d, Clock::time_point now) {
  Dir& dr = dir_[d];
  const Cue& cue = cue_.cue;
  const bool cued = cue.fault != Cue::kPass && FlowIndex(cue.flow) == d;
  while (!dr.ready.empty() && !faultDue_) {
    Chunk& head = dr.ready.front();
    if (cued && !armed_ && head.lineStart && head.bytes.compare(0, cue.onLine.size(), cue.onLine) == 0)
      armed_ = ++linesSeen_ >= cue.nth;
    if (!cued || !armed_) {
      Pass(d, std::move(head));
      dr.ready.pop_front();
      continue;
    }
    // The part of the head that may go now: up to `after` freely, then
    // (kDelay) a segment at a time.
    size_t take = head.bytes.size();
    const int64_t left = cue.after - counted_;
    if (cue.fault == Cue::kDelay) {
      if (left > 0) {
        take = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(take)));
      } else {
        if (!delayNoted_) {
          delayNoted_ = true;
          proxy_.NoteFired();
        }
        if (releaseAt_ == Clock::time_point{}) releaseAt_ = now + std::chrono::milliseconds(cue.delayMs);
        if (now < releaseAt_) return;
        releaseAt_ = {};
        if (cue.segment) take = std::min(take, cue.segment);
      }
    } else {
      if (left <= 0) {
        faultDue_ = true;
        return;
      }
      take = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(take)));
    }
    Chunk part;
    part.bytes = head.bytes.substr(0, take);
    part.lineStart = head.lineStart;
    part.oob = head.oob;
    head.bytes.erase(0, take);
    head.lineStart = false;
    counted_ += static_cast<int64_t>(take);
    if (head.bytes.empty()) dr.ready.pop_front();
    Pass(d, std::move(part));
    if (cue.fault != Cue::kDelay && counted_ >= cue.after) faultDue_ = true;
    if (cue.fault == Cue::kDelay && counted_ >= cue.after) {
      // One segment per turn; the next one's time starts now.
      if (!dr.ready.empty()) releaseAt_ = now + std::chrono::milliseconds(cue.delayMs);
      return;
    }
  }
}

bool FaultProxy::Link::Flush(int d) {
  Dir& dr = dir_[d];
  while (!dr.out.empty()) {
    Chunk& head = dr.out.front();
    ssize_t n = send(Dest(d), head.bytes.data(), head.bytes.size(),
                     MSG_NOSIGNAL | MSG_DONTWAIT | (head.oob ? MSG_OOB : 0));
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
      return false;
    }
    proxy_.NoteBytes(channel_, number_, FlowOf(d), n);
    dr.held -= static_cast<size_t>(n);
    head.bytes.erase(0, static_cast<size_t>(n));
    if (head.bytes.empty()) dr.out.pop_front();
  }
  return true;
}

void FaultProxy::Link::Fire() {
  faultDue_ = false;
  proxy_.NoteFired();
  switch (cue_.cue.fault) {
    case Cue::kStall:
      stalled_ = true;
      return;
    case Cue::kReset:
      CloseAll(true);
      return;
    default:
      for (int fd : fd_)
        if (fd >= 0) shutdown(fd, SHUT_RDWR);
      CloseAll(false);
      return;
  }
}

void FaultProxy::Link::CloseAll(bool reset) {
  for (int& fd : fd_) {
    if (fd < 0) continue;
    if (reset) SetLingerZero(fd);
    close(fd);
    fd = -1;
  }
  done_ = true;
}

// ---- The proxy --------------------------------------------------------------------

FaultProxy::FaultProxy(uint16_t serverPort) : serverPort_(serverPort) {
  if (pipe2(stopPipe_, O_CLOEXEC) != 0) stopPipe_[0] = stopPipe_[1] = -1;
  listenFd_ = ListenLoopback(&port_, 16);
  if (listenFd_ >= 0) Spawn(std::thread([this] { AcceptControl(); }));
}

FaultProxy::~FaultProxy() {
  stop_ = true;
  if (stopPipe_[1] >= 0 && write(stopPipe_[1], "x", 1) < 0) {
  }
  WakeLinks();
  for (;;) {
    std::vector<std::thread> threads;
    {
      std::lock_guard<std::mutex> lock(mu_);
      threads.swap(threads_);
    }
    if (threads.empty()) break;
    WakeLinks();
    for (auto& t : threads) t.join();
  }
  if (listenFd_ >= 0) close(listenFd_);
  for (int fd : stopPipe_)
    if (fd >= 0) close(fd);
}

void FaultProxy::Spawn(std::thread t) {
  std::lock_guard<std::mutex> lock(mu_);
  threads_.push_back(std::move(t));
}

void FaultProxy::AcceptControl() {
  while (!stop_) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    if (poll(p, 2, -1) < 0 && errno != EINTR) return;
    if (stop_ || p[1].revents) return;
    if (!(p[0].revents & POLLIN)) continue;
    int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    int number;
    {
      std::lock_guard<std::mutex> lock(mu_);
      number = ++connections_[0];
    }
    cv_.notify_all();
    int server = ConnectTo(kLoopback, serverPort_);
    if (server < 0) {
      close(client);
      continue;
    }
    auto link = std::make_shared<Link>(*this, Channel::kControl, number, client, server);
    std::lock_guard<std::mutex> lock(mu_);
    if (stop_) return;
    links_.push_back(link);
    threads_.emplace_back([this, link] { RunLink(link); });
  }
}

uint16_t FaultProxy::OpenDataListener(uint32_t toAddr, uint16_t toPort, bool clientSide) {
  uint16_t port = 0;
  int fd = ListenLoopback(&port, 1);
  if (fd < 0) return 0;
  std::lock_guard<std::mutex> lock(mu_);
  if (stop_) {
    close(fd);
    return 0;
  }
  threads_.emplace_back([this, fd, toAddr, toPort, clientSide] { ServeData(fd, toAddr, toPort, clientSide); });
  return port;
}

void FaultProxy::ServeData(int listenFd, uint32_t toAddr, uint16_t toPort, bool clientSide) {
  pollfd p[2] = {{listenFd, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
  int accepted = -1;
  if (poll(p, 2, kDataAcceptMs) > 0 && !stop_ && (p[0].revents & POLLIN))
    accepted = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  close(listenFd);
  if (accepted < 0) return;
  int number;
  {
    std::lock_guard<std::mutex> lock(mu_);
    number = ++connections_[1];
  }
  cv_.notify_all();
  int other = ConnectTo(toAddr, toPort);
  if (other < 0) {
    close(accepted);
    return;
  }
  // PASV and EPSV: the client connected to us; PORT and EPRT: the server did.
  auto link = clientSide ? std::make_shared<Link>(*this, Channel::kData, number, accepted, other)
                         : std::make_shared<Link>(*this, Channel::kData, number, other, accepted);
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (stop_) return;
    links_.push_back(link);
  }
  RunLink(link);
}

void FaultProxy::RunLink(const std::shared_ptr<Link>& link) { link->Run(); }

FaultProxy::CueSlot FaultProxy::CueFor(Channel channel, int number) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = cues_.find({ChannelIndex(channel), number});
  if (it != cues_.end()) return it->second;
  return all_[ChannelIndex(channel)];
}

void FaultProxy::SetCue(Channel channel, int number, const Cue& cue) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    cues_[{ChannelIndex(channel), number}] = CueSlot{cue, nextCueId_++};
  }
  WakeLinks();
}

void FaultProxy::SetCueAll(Channel channel, const Cue& cue) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    all_[ChannelIndex(channel)] = CueSlot{cue, nextCueId_++};
  }
  WakeLinks();
}

void FaultProxy::ClearCues() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    cues_.clear();
    all_[0] = CueSlot{Cue{}, nextCueId_++};
    all_[1] = CueSlot{Cue{}, nextCueId_++};
  }
  WakeLinks();
}

void FaultProxy::WakeLinks() {
  std::vector<std::shared_ptr<Link>> live;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto it = links_.begin(); it != links_.end();) {
      if (auto l = it->lock()) {
        live.push_back(std::move(l));
        ++it;
      } else {
        it = links_.erase(it);
      }
    }
  }
  for (auto& l : live) l->Wake();
}

void FaultProxy::NoteLine(Flow flow, const std::string& line) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    lines_[FlowIndex(flow)].push_back(line);
  }
  cv_.notify_all();
}

void FaultProxy::NoteFired() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    ++fired_;
  }
  cv_.notify_all();
}

void FaultProxy::NoteBytes(Channel channel, int number, Flow flow, int64_t n) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    bytes_[FlowIndex(flow)][{ChannelIndex(channel), number}] += n;
  }
  cv_.notify_all();
}

int FaultProxy::Connections(Channel channel) const {
  std::lock_guard<std::mutex> lock(mu_);
  return connections_[ChannelIndex(channel)];
}

bool FaultProxy::WaitConnections(Channel channel, int count, int ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms),
                      [&] { return connections_[ChannelIndex(channel)] >= count; });
}

int FaultProxy::Fired() const {
  std::lock_guard<std::mutex> lock(mu_);
  return fired_;
}

bool FaultProxy::WaitFired(int count, int ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return fired_ >= count; });
}

std::vector<std::string> FaultProxy::Lines(Flow flow) const {
  std::lock_guard<std::mutex> lock(mu_);
  return lines_[FlowIndex(flow)];
}

bool FaultProxy::WaitLine(Flow flow, const std::string& prefix, int ms, size_t from) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
    const auto& lines = lines_[FlowIndex(flow)];
    for (size_t i = from; i < lines.size(); ++i)
      if (lines[i].compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  });
}

int64_t FaultProxy::Bytes(Channel channel, int number, Flow flow) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto& m = bytes_[FlowIndex(flow)];
  auto it = m.find({ChannelIndex(channel), number});
  return it == m.end() ? 0 : it->second;
}

bool FaultProxy::WaitBytes(Channel channel, int number, Flow flow, int64_t bytes, int ms) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
    auto& m = bytes_[FlowIndex(flow)];
    auto it = m.find({ChannelIndex(channel), number});
    return it != m.end() && it->second >= bytes;
  });
}

}  // namespace tarn::testing
