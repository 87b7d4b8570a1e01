// RefusingPort: a loopback port that refuses every connection for as long
// as the object lives: a socket bound to a port the system chose, never
// listening. No other program can take the port meanwhile.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace tarn::testing {

class RefusingPort {
 public:
  RefusingPort() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) == 0)
      port_ = ntohs(sa.sin_port);
  }
  ~RefusingPort() {
    if (fd_ >= 0) close(fd_);
  }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  uint16_t port() const { return port_; }
  // "127.0.0.1:<port>".
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace tarn::testing
