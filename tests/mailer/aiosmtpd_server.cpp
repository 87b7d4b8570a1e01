#include "tests/mailer/aiosmtpd_server.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <unistd.h>

#include "platform/net.h"

namespace mailer_test {

using tarn::testing::ChildProcess;
using tarn::testing::ReadFile;

namespace {

const uint32_t kLoopback = 0x7f000001;

uint16_t FreePort() {
  platform::Net net;
  int error = 0;
  platform::Socket s = net.OpenTcp(&error);
  net.Bind(s, platform::Ipv4{kLoopback, 0});
  platform::Ipv4 at;
  net.LocalAddress(s, &at);
  net.Close(s);
  return at.port;
}

bool Accepts(uint16_t port) {
  platform::Net net;
  int error = 0;
  platform::Socket s = net.OpenTcp(&error);
  const bool ok = net.Connect(s, platform::Ipv4{kLoopback, port}, 1000).ok();
  net.Close(s);
  return ok;
}

}  // namespace

AiosmtpdServer::~AiosmtpdServer() { Stop(); }

bool AiosmtpdServer::Start(std::string* why) {
  if (access(kDebianPython, X_OK) != 0) {
    *why = std::string(kDebianPython) + " is missing: install python3 and python3-aiosmtpd";
    return false;
  }
  port_ = FreePort();
  const std::string log = dir_.File("aiosmtpd.log");
  ChildProcess::Options options;
  options.ownSession = false;
  options.outputFile = log;
  server_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{kDebianPython, "-m", "aiosmtpd", "-n", "-l", host(), "-c",
                               "aiosmtpd.handlers.Mailbox", dir_.File("maildir")},
      options);
  if (!server_->Started()) {
    server_.reset();
    *why = "could not start " + std::string(kDebianPython);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Accepts(port_)) return true;
    // Waits for the port's next look, or ends at once when the server does.
    if (server_->Wait(50) != -1) {
      server_.reset();
      *why = "aiosmtpd ended at start (is python3-aiosmtpd installed?): " + ReadFile(log);
      return false;
    }
  }
  *why = "aiosmtpd did not accept connections on " + host() + " within 15 s: " + ReadFile(log);
  return false;
}

void AiosmtpdServer::Stop() {
  if (server_) server_->Stop();
  server_.reset();
}

std::vector<std::string> AiosmtpdServer::TakeMessages() {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir_.File("maildir/new"), ec))
    files.push_back(entry.path());
  // Maildir names start with the delivery time in seconds, then a
  // microsecond part; the write time orders deliveries within one second.
  std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
    return fs::last_write_time(a) < fs::last_write_time(b);
  });
  std::vector<std::string> messages;
  for (const fs::path& f : files) {
    messages.push_back(ReadFile(f.string()));
    fs::remove(f, ec);
  }
  return messages;
}

std::string MaskPeer(const std::string& message) {
  const size_t at = message.find("\nX-Peer: ");
  if (at == std::string::npos) return message;
  const size_t value = at + 9;
  const size_t end = message.find('\n', value);
  return message.substr(0, value) + "*" + message.substr(end);
}

}  // namespace mailer_test
