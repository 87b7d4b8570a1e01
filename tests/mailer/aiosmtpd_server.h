// Debian's aiosmtpd, started on a free loopback port for one test suite and
// stopped after it. Messages land in a Maildir; each test takes them out.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "tests/mailer/child_process.h"

namespace mailer_test {

// Debian's modules belong to this interpreter, whatever python3 PATH finds.
inline constexpr char kDebianPython[] = "/usr/bin/python3";

class AiosmtpdServer {
 public:
  AiosmtpdServer() = default;
  ~AiosmtpdServer();

  // Starts the server and waits (up to 15 s) until its port accepts. On
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
  TempDir dir_;
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

// Replaces the value of the "X-Peer:" header, which holds the client's port,
// with "*", so that a stored message can be compared whole.
std::string MaskPeer(const std::string& message);

}  // namespace mailer_test
