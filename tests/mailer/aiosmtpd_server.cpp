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

// aiosmtpd's own server, serving the listening socket it gets as
// descriptor 3, delivering into the Maildir named by its argument.
constexpr char kServeScript[] = R"(
import asyncio, socket, sys
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import SMTP
sock = socket.socket(fileno=3)
loop = asyncio.new_event_loop()
asyncio.set_event_loop(loop)
handler = Mailbox(sys.argv[1])
loop.run_until_complete(loop.create_server(lambda: SMTP(handler), sock=sock))
loop.run_forever()
)";

}  // namespace

AiosmtpdServer::~AiosmtpdServer() { Stop(); }

bool AiosmtpdServer::Start(std::string* why) {
  if (access(kDebianPython, X_OK) != 0) {
    *why = std::string(kDebianPython) + " is missing: install python3 and python3-aiosmtpd";
    return false;
  }
  // The port is the system's choice, and stays this test's: the socket is
  // bound and listening before the server starts, and kept until it ends.
  int error = 0;
  listener_ = net_.OpenTcp(&error);
  platform::Ipv4 at;
  if (listener_ == platform::kInvalidSocket || !net_.Bind(listener_, platform::Ipv4{kLoopback, 0}).ok() ||
      !net_.Listen(listener_, 16).ok() || !net_.LocalAddress(listener_, &at).ok()) {
    *why = "no loopback port to listen on";
    return false;
  }
  port_ = at.port;
  const std::string log = dir_.File("aiosmtpd.log");
  ChildProcess::Options options;
  options.ownSession = false;
  options.outputFile = log;
  options.passedSocket = static_cast<int>(listener_);
  server_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{kDebianPython, "-c", kServeScript, dir_.File("maildir")}, options);
  if (!server_->Started()) {
    server_.reset();
    *why = "could not start " + std::string(kDebianPython);
    return false;
  }
  // Ready once it greets: a connection waits in the socket's queue until
  // the server serves it, so the first greeting ends the wait.
  platform::Socket probe = net_.OpenTcp(&error);
  const bool connected = net_.Connect(probe, platform::Ipv4{kLoopback, port_}, 1000).ok();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  std::string greeting;
  while (connected && greeting.find("\r\n") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    char buf[256];
    platform::NetResult r = net_.Recv(probe, buf, sizeof buf, 0, 50);
    if (r.ok() && r.n > 0) {
      greeting.append(buf, static_cast<size_t>(r.n));
      continue;
    }
    if (r.ok() || !r.timedOut) break;  // closed or failed
    // Between looks, the server's end ends the wait at once.
    if (server_->Wait(0) != -1) break;
  }
  net_.Close(probe);
  if (greeting.compare(0, 3, "220") == 0) return true;
  const bool ended = server_->Wait(0) != -1;
  Stop();
  *why = ended ? "aiosmtpd ended at start (is python3-aiosmtpd installed?): " + ReadFile(log)
               : "aiosmtpd did not greet on " + host() + " within 15 s: " + ReadFile(log);
  return false;
}

void AiosmtpdServer::Stop() {
  if (server_) server_->Stop();
  server_.reset();
  if (listener_ != platform::kInvalidSocket) net_.Close(listener_);
  listener_ = platform::kInvalidSocket;
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
