#include "tests/support/fake_ftp_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
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
}

FakeFtpServer::~FakeFtpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
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

FakeFtpServer& FakeFtpServer::Sleep(int ms) {
  steps_.push_back({Step::kSleep, "", {}, ms});
  return *this;
}

FakeFtpServer& FakeFtpServer::Close() {
  steps_.push_back({Step::kClose, "", {}, 0});
  return *this;
}

FakeFtpServer& FakeFtpServer::DrainUntilClosed() {
  steps_.push_back({Step::kDrain, "", {}, 0});
  return *this;
}

void FakeFtpServer::Start() { thread_ = std::thread([this] { Run(); }); }

bool FakeFtpServer::Finish(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mu_);
  bool ended = done_cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done_; });
  if (!ended) failures_.push_back("script did not finish in time");
  lock.unlock();
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> relock(mu_);
  return failures_.empty();
}

std::vector<std::string> FakeFtpServer::Received() const {
  std::lock_guard<std::mutex> lock(mu_);
  return received_;
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
        case Step::kSleep:
          for (int t = 0; t < step.ms && !stop_; t += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          break;
        case Step::kClose:
          close(connFd_);
          connFd_ = -1;
          break;
        case Step::kDrain:
          while (ReadLine(&line)) {
          }
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
  std::lock_guard<std::mutex> lock(mu_);
  done_ = true;
  done_cv_.notify_all();
}

}  // namespace tarn::testing
