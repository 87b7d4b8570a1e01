// FedSocket: a connected pair of local stream sockets. The bytes of an
// input wait on one end, and the code under test reads them from the other
// as if a server had sent them and then closed its sending side. The test
// side stays open, so that commands the code sends are taken (and dropped).
#pragma once

#include <string_view>

#include "platform/net.h"

namespace tarn::fuzz {

// Inputs longer than this are not fed: they would not fit the socket's
// buffer in one go.
inline constexpr size_t kMaxFedBytes = 128 * 1024;

class FedSocket {
 public:
  explicit FedSocket(std::string_view bytes);
  ~FedSocket();
  FedSocket(const FedSocket&) = delete;
  FedSocket& operator=(const FedSocket&) = delete;

  // False when the pair could not be made or the bytes not written whole.
  bool ok() const { return ok_; }
  // The end the code under test reads from.
  platform::Socket Reader() const { return reader_; }

 private:
  int reader_ = -1;
  int feeder_ = -1;
  bool ok_ = false;
};

}  // namespace tarn::fuzz
