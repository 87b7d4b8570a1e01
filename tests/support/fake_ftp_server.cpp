#include "tests/support/fake_ftp_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarn::testing {

namespace {

// Longest any single wait of the fake server may last: a client that never
// sends what the script expects fails the test instead of hanging it.
constexpr int kStepTimeoutMs = 10000;

}  // namespace

FakeFtpServer::FakeFtpServer() {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = 0;
  bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  listen(listenFd_, 4);
  socklen_t len = sizeof sa;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
  port_ = ntohs(sa.sin_port);
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

FakeFtpServer::~FakeFtpServer() {
  stop_ = true;
  Release();
  if (thread_.joinable()) thread_.join();
  if (wakeFd_ >= 0) close(wakeFd_);
  if (connFd_ >= 0) close(connFd_);
  if (listenFd_ >= 0) close(listenFd_);
}

FakeFtpServer& FakeFtpServer::Send(const std::string& bytes) {
  steps_.push_back({Step::kSend, bytes, {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::SendSplit(const std::string& bytes,
                                        const std::vector<size_t>& sizes, int delayMs) {
  steps_.push_back({Step::kSplit, bytes, sizes, delayMs});
  return *this;
}

FakeFtpServer& FakeFtpServer::Expect(const std::string& line) {
  steps_.push_back({Step::kExpect, line, {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::ExpectPrefix(const std::string& prefix) {
  steps_.push_back({Step::kExpectPrefix, prefix, {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::On(const std::string& line, const std::string& reply) {
  return Expect(line).Send(reply);
}

FakeFtpServer& FakeFtpServer::Hold() {
  steps_.push_back({Step::kHold, "", {}, 0});
  return *this;
}

void FakeFtpServer::Release() {
  const uint64_t one = 1;
  ssize_t w = write(wakeFd_, &one, sizeof one);
  (void)w;
}

void FakeFtpServer::HoldSilent() {
  // The client's close (POLLRDHUP, not its bytes: they stay unread for the
  // next step) or the wake-up ends the wait.
  pollfd fds[2] = {{connFd_, POLLRDHUP, 0}, {wakeFd_, POLLIN, 0}};
  if (!stop_) poll(fds, 2, kStepTimeoutMs);
  uint64_t count = 0;
  ssize_t r = read(wakeFd_, &count, sizeof count);
  (void)r;
}

FakeFtpServer& FakeFtpServer::Close() {
  steps_.push_back({Step::kClose, "", {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::DrainUntilClosed() {
  steps_.push_back({Step::kDrain, "", {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::Pasv(const std::string& reply) {
  steps_.push_back({Step::kPasv, reply, {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::ExpectPort(const std::string& reply) {
  steps_.push_back({Step::kPort, reply, {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::DataOpen() {
  steps_.push_back({Step::kDataOpen, "", {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::DataSend(const std::string& bytes, size_t chunk, int delayMs) {
  steps_.push_back({Step::kDataSend, bytes, {chunk}, delayMs});
  return *this;
}

FakeFtpServer& FakeFtpServer::DataRecv() {
  steps_.push_back({Step::kDataRecv, "", {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::DataClose() {
  steps_.push_back({Step::kDataClose, "", {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::DataAwaitClose() {
  steps_.push_back({Step::kDataAwaitClose, "", {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::ForeignDataConnection(const std::string& source) {
  steps_.push_back({Step::kForeignData, source, {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::ExpectNoListenerAt(const std::string& address) {
  steps_.push_back({Step::kNoListener, address, {}, 0});
  return *this;
}

void FakeFtpServer::CheckControlQuiet(const char* during) {
  if (!quietDuringData_ || connFd_ < 0) return;
  pollfd p{connFd_, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0) return;
  char buf[256];
  ssize_t n = recv(connFd_, buf, sizeof buf, MSG_PEEK);
  if (n <= 0) return;
  std::string seen(buf, static_cast<size_t>(n));
  std::lock_guard<std::mutex> lock(mu_);
  // Once is enough: the bytes stay unread for the script's next step.
  std::string why = std::string("control bytes during ") + during + ": \"" + seen + "\"";
  for (const auto& f : failures_)
    if (f == why) return;
  failures_.push_back(why);
}

int FakeFtpServer::ConnectToPort(uint32_t address, uint32_t source) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (source) {
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(source);
    if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
      close(fd);
      return -1;
    }
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(portPort_);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string FakeFtpServer::ReceivedData() const {
  std::lock_guard<std::mutex> lock(mu_);
  return dataIn_;
}

void FakeFtpServer::RunDataStep(const Step& step) {
  std::string line;
  switch (step.kind) {
    case Step::kPasv: {
      if (!ReadLine(&line) || line != "PASV") {
        Fail("expected \"PASV\", got \"" + line + "\"");
        return;
      }
      dataListenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in sa{};
      sa.sin_family = AF_INET;
      sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      bind(dataListenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
      listen(dataListenFd_, 1);
      socklen_t len = sizeof sa;
      getsockname(dataListenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
      int port = ntohs(sa.sin_port);
      std::string hp = "127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256);
      std::string reply = step.text;
      for (auto p = reply.find("{hp}"); p != std::string::npos; p = reply.find("{hp}"))
        reply.replace(p, 4, hp);
      for (auto p = reply.find("{p1}"); p != std::string::npos; p = reply.find("{p1}"))
        reply.replace(p, 4, std::to_string(port / 256));
      for (auto p = reply.find("{p2}"); p != std::string::npos; p = reply.find("{p2}"))
        reply.replace(p, 4, std::to_string(port % 256));
      SendAll(reply);
      break;
    }
    case Step::kPort: {
      unsigned a[6] = {};
      if (!ReadLine(&line) ||
          sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &a[0], &a[1], &a[2], &a[3], &a[4], &a[5]) != 6) {
        Fail("expected a PORT line, got \"" + line + "\"");
        return;
      }
      portAddr_ = (a[0] << 24) | (a[1] << 16) | (a[2] << 8) | a[3];
      portPort_ = static_cast<uint16_t>(a[4] * 256 + a[5]);
      SendAll(step.text);
      break;
    }
    case Step::kDataOpen:
      if (dataListenFd_ >= 0) {
        pollfd p{dataListenFd_, POLLIN, 0};
        if (poll(&p, 1, kStepTimeoutMs) > 0) dataFd_ = accept4(dataListenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        close(dataListenFd_);
        dataListenFd_ = -1;
      } else if (portPort_) {
        dataFd_ = ConnectToPort(portAddr_, 0);
      }
      if (dataFd_ < 0) Fail("no data connection");
      CheckControlQuiet("the data connection's opening");
      break;
    case Step::kDataAwaitClose: {
      bool closed = false;
      char buf[65536];
      auto start = std::chrono::steady_clock::now();
      while (dataFd_ >= 0 && !stop_ &&
             std::chrono::steady_clock::now() - start < std::chrono::milliseconds(kStepTimeoutMs)) {
        pollfd p{dataFd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        ssize_t n = recv(dataFd_, buf, sizeof buf, 0);
        if (n <= 0) {
          closed = true;
          break;
        }
      }
      if (!closed) Fail("the client kept the data connection open");
      if (dataFd_ >= 0) close(dataFd_);
      dataFd_ = -1;
      break;
    }
    case Step::kForeignData: {
      uint32_t source = 0;
      inet_pton(AF_INET, step.text.c_str(), &source);
      int fd = ConnectToPort(portAddr_, ntohl(source));
      if (fd < 0) {
        Fail("no connection from " + step.text);
        break;
      }
      pollfd p{fd, POLLIN, 0};
      char byte;
      // The client closes what it refuses: the read ends with 0 (or reset).
      if (poll(&p, 1, kStepTimeoutMs) <= 0 || recv(fd, &byte, 1, 0) > 0)
        Fail("the data connection from " + step.text + " was not refused");
      close(fd);
      break;
    }
    case Step::kNoListener: {
      uint32_t address = 0;
      inet_pton(AF_INET, step.text.c_str(), &address);
      int fd = ConnectToPort(ntohl(address), 0);
      if (fd >= 0) {
        Fail("the client listens at " + step.text + " too");
        close(fd);
      }
      break;
    }
    case Step::kDataSend: {
      size_t chunk = step.sizes.empty() || step.sizes[0] == 0 ? step.text.size() : step.sizes[0];
      for (size_t off = 0; off < step.text.size() && dataFd_ >= 0 && !stop_; off += chunk) {
        std::string piece = step.text.substr(off, chunk);
        size_t sent = 0;
        while (sent < piece.size()) {
          // A client that stopped reading must not hold the script forever.
          pollfd p{dataFd_, POLLOUT, 0};
          if (poll(&p, 1, 50) <= 0) {
            if (stop_) return;
            continue;
          }
          ssize_t n = send(dataFd_, piece.data() + sent, piece.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
          if (n <= 0) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            return;  // the client closed the data connection: an abort test
          }
          sent += static_cast<size_t>(n);
        }
        if (step.ms) std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
        CheckControlQuiet("a download");
      }
      break;
    }
    case Step::kDataRecv: {
      char buf[65536];
      for (;;) {
        pollfd p{dataFd_, POLLIN, 0};
        if (dataFd_ < 0 || poll(&p, 1, kStepTimeoutMs) <= 0) break;
        ssize_t n = recv(dataFd_, buf, sizeof buf, 0);
        if (n <= 0) break;
        {
          std::lock_guard<std::mutex> lock(mu_);
          dataIn_.append(buf, static_cast<size_t>(n));
        }
        CheckControlQuiet("an upload");
      }
      break;
    }
    case Step::kDataClose:
      if (dataFd_ >= 0) close(dataFd_);
      dataFd_ = -1;
      break;
    default:
      break;
  }
}

void FakeFtpServer::Start() { thread_ = std::thread([this] { Run(); }); }

bool FakeFtpServer::Finish(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mu_);
  bool ended = done_cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done_; });
  if (!ended) failures_.push_back("script did not finish in time");
  lock.unlock();
  stop_ = true;
  Release();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> relock(mu_);
  return failures_.empty();
}

std::vector<std::string> FakeFtpServer::Received() const {
  std::lock_guard<std::mutex> lock(mu_);
  return received_;
}

bool FakeFtpServer::WaitReceived(size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mu_);
  return received_cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return received_.size() >= count; });
}

std::vector<std::string> FakeFtpServer::Failures() const {
  std::lock_guard<std::mutex> lock(mu_);
  return failures_;
}

void FakeFtpServer::Fail(const std::string& why) {
  std::lock_guard<std::mutex> lock(mu_);
  failures_.push_back(why);
}

void FakeFtpServer::SendAll(const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size() && connFd_ >= 0) {
    ssize_t n = send(connFd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      Fail("send failed");
      return;
    }
    off += static_cast<size_t>(n);
  }
}

bool FakeFtpServer::ReadLine(std::string* line) {
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    auto lf = pending_.find('\n');
    if (lf != std::string::npos) {
      *line = pending_.substr(0, lf);
      pending_.erase(0, lf + 1);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      std::lock_guard<std::mutex> lock(mu_);
      received_.push_back(*line);
      received_cv_.notify_all();
      return true;
    }
    if (stop_ || connFd_ < 0) return false;
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
    if (waited > kStepTimeoutMs) return false;
    pollfd p{connFd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buf[4096];
    ssize_t n = recv(connFd_, buf, sizeof buf, 0);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      if (!pending_.empty()) {
        *line = pending_;
        pending_.clear();
        std::lock_guard<std::mutex> lock(mu_);
        received_.push_back(*line);
        received_cv_.notify_all();
        return true;
      }
      return false;
    }
    pending_.append(buf, static_cast<size_t>(n));
  }
}

void FakeFtpServer::Run() {
  // Accept the one control connection, bounded so that a client that never
  // connects fails the test.
  for (int waited = 0; connFd_ < 0 && !stop_ && waited < kStepTimeoutMs; waited += 50) {
    pollfd p{listenFd_, POLLIN, 0};
    if (poll(&p, 1, 50) > 0) connFd_ = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  }
  if (connFd_ < 0) {
    Fail("no connection");
  } else {
    int one = 1;
    // Urgent bytes (the abort's IAC IP IAC) arrive in line with the rest.
    setsockopt(connFd_, SOL_SOCKET, SO_OOBINLINE, &one, sizeof one);
    setsockopt(connFd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    for (const Step& step : steps_) {
      if (stop_) break;
      std::string line;
      switch (step.kind) {
        case Step::kSend:
          SendAll(step.text);
          break;
        case Step::kSplit: {
          size_t off = 0;
          for (size_t size : step.sizes) {
            if (off >= step.text.size()) break;
            SendAll(step.text.substr(off, size));
            off += size;
            std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
          }
          if (off < step.text.size()) SendAll(step.text.substr(off));
          break;
        }
        case Step::kExpect:
          if (!ReadLine(&line))
            Fail("expected \"" + step.text + "\", got nothing");
          else if (line != step.text)
            Fail("expected \"" + step.text + "\", got \"" + line + "\"");
          break;
        case Step::kExpectPrefix:
          if (!ReadLine(&line) || line.compare(0, step.text.size(), step.text) != 0)
            Fail("expected a line starting \"" + step.text + "\", got \"" + line + "\"");
          break;
        case Step::kHold:
          HoldSilent();
          break;
        case Step::kClose:
          close(connFd_);
          connFd_ = -1;
          break;
        case Step::kDrain:
          while (ReadLine(&line)) {
          }
          break;
        default:
          RunDataStep(step);
          break;
      }
    }
  }
  // The end of the script ends the connection: a client still waiting for
  // a reply sees the close at once.
  if (connFd_ >= 0) {
    close(connFd_);
    connFd_ = -1;
  }
  if (dataFd_ >= 0) close(dataFd_);
  if (dataListenFd_ >= 0) close(dataListenFd_);
  dataFd_ = dataListenFd_ = -1;
  std::lock_guard<std::mutex> lock(mu_);
  done_ = true;
  done_cv_.notify_all();
}

}  // namespace tarn::testing
