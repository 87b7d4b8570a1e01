#include "tests/mailer/fake_smtp_server.h"

#include <chrono>

namespace mailer_test {

namespace {

constexpr int kWaitMs = 10000;
const uint32_t kLoopback = 0x7f000001;

}  // namespace

FakeSmtpServer::FakeSmtpServer(std::vector<std::string> script) : script_(std::move(script)) {
  int error = 0;
  listener_ = net_.OpenTcp(&error);
  net_.Bind(listener_, platform::Ipv4{kLoopback, 0});
  net_.Listen(listener_, 1);
  platform::Ipv4 at;
  net_.LocalAddress(listener_, &at);
  port_ = at.port;
  thread_ = std::thread([this] { Serve(); });
}

FakeSmtpServer::~FakeSmtpServer() {
  if (thread_.joinable()) thread_.join();
  net_.Close(listener_);
}

std::string FakeSmtpServer::Received() {
  if (thread_.joinable()) thread_.join();
  return received_;
}

bool FakeSmtpServer::Connected() {
  if (thread_.joinable()) thread_.join();
  return connected_;
}

// Sends one script entry; false when the entry closes the connection.
bool FakeSmtpServer::Answer(platform::Socket s, const std::string& entry) {
  if (entry == kNoAnswer) return true;
  const bool closes = entry.size() >= kCloseNow.size() &&
                      entry.compare(entry.size() - kCloseNow.size(), kCloseNow.size(), kCloseNow) == 0;
  const std::string bytes = closes ? entry.substr(0, entry.size() - kCloseNow.size()) : entry;
  size_t from = 0;
  for (;;) {
    const size_t pause = bytes.find(kPause, from);
    const std::string piece = bytes.substr(from, pause - from);
    for (size_t sent = 0; sent < piece.size();) {
      platform::NetResult r = net_.Send(s, piece.data() + sent, piece.size() - sent, 0, kWaitMs);
      if (!r.ok()) return false;
      sent += static_cast<size_t>(r.n);
    }
    if (pause == std::string::npos) return !closes;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    from = pause + kPause.size();
  }
}

void FakeSmtpServer::Serve() {
  platform::Socket s = platform::kInvalidSocket;
  if (!net_.Accept(listener_, &s, nullptr, kWaitMs).ok()) return;
  connected_ = true;
  size_t next = 0;
  auto answerNext = [&] { return next < script_.size() ? Answer(s, script_[next++]) : true; };

  bool open = answerNext();
  bool inData = false;
  std::string pending;
  while (open) {
    char buf[4096];
    platform::NetResult r = net_.Recv(s, buf, sizeof buf, 0, kWaitMs);
    if (!r.ok() || r.n == 0) break;
    received_.append(buf, static_cast<size_t>(r.n));
    pending.append(buf, static_cast<size_t>(r.n));
    for (size_t lf; open && (lf = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, lf + 1);
      pending.erase(0, lf + 1);
      if (inData) {
        if (line != ".\r\n") continue;
        inData = false;
        open = answerNext();
        continue;
      }
      const bool isData = line == "DATA\r\n";
      const bool goesIntoData = isData && next < script_.size() && script_[next].rfind("354", 0) == 0;
      open = answerNext();
      inData = goesIntoData;
    }
  }
  net_.Close(s);
}

}  // namespace mailer_test
