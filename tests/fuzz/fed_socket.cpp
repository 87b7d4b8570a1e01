#include "tests/fuzz/fed_socket.h"

#include <sys/socket.h>
#include <unistd.h>

namespace tarn::fuzz {

FedSocket::FedSocket(std::string_view bytes) {
  int fds[2];
  if (bytes.size() > kMaxFedBytes || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    return;
  reader_ = fds[0];
  feeder_ = fds[1];
  int room = static_cast<int>(2 * kMaxFedBytes);
  setsockopt(feeder_, SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
  setsockopt(reader_, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(feeder_, bytes.data() + sent, bytes.size() - sent,
                           MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
  ok_ = shutdown(feeder_, SHUT_WR) == 0;
}

FedSocket::~FedSocket() {
  if (reader_ >= 0) close(reader_);
  if (feeder_ >= 0) close(feeder_);
}

}  // namespace tarn::fuzz
