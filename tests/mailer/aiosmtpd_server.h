// Debian's aiosmtpd, serving a loopback port the system chose (the test
// keeps its socket) for one test suite, and stopped after it. Messages land in a Maildir; each test takes them out.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/net.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace mailer_test {

// Debian's modules belong to this interpreter, whatever python3 PATH finds.
inline constexpr char kDebianPython[] = "/usr/bin/python3";

// The mailer tests' directories: courel splits its command line at "-", so
// the report paths the tests pass must not hold one.
inline constexpr auto kCourelDirBase = tarn::testing::TempDir::Base::kNoDashTmp;
inline constexpr char kCourelDirPrefix[] = "coureltest";

class AiosmtpdServer {
 public:
  AiosmtpdServer() = default;
  ~AiosmtpdServer();

  // Starts the server and waits (up to 15 s) until it greets. On
  // failure returns false with `*why` saying what to install or what the
  // server printed.
  bool Start(std::string* why);
  void Stop();

  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  uint16_t port() const { return port_; }

  // The messages delivered since the last call, oldest first, each as
  // stored; they are removed from the Maildir.
  std::vector<std::string> TakeMessages();

 private:
  tarn::testing::TempDir dir_{kCourelDirPrefix, kCourelDirBase};
  std::unique_ptr<tarn::testing::ChildProcess> server_;
  platform::Net net_;
  platform::Socket listener_ = platform::kInvalidSocket;
  uint16_t port_ = 0;
};

// Replaces the value of the "X-Peer:" header, which holds the client's port,
// with "*", so that a stored message can be compared whole.
std::string MaskPeer(const std::string& message);

}  // namespace mailer_test
