// The port of a PASV reply under fuzz: the input is the reply line.
#include <string>

#include "client/engine/data.h"
#include "tests/fuzz/fuzz_target.h"

TARN_FUZZ_TARGET(pasv_reply) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  uint16_t port = 1;
  const bool ok = tarn::ParsePasvPort(reply, &port);
  // A port found is never 0 (nothing listens there).
  if (ok) FUZZ_CHECK(port != 0);
  // Nothing after the sixth piece counts: the text cut at the sixth comma
  // gives the same answer.
  size_t sixth = 0;
  int commas = 0;
  for (size_t i = 0; i < reply.size() && commas < 6; ++i)
    if (reply[i] == ',') ++commas, sixth = i;
  if (commas == 6) {
    uint16_t cutPort = 1;
    FUZZ_CHECK(tarn::ParsePasvPort(reply.substr(0, sixth), &cutPort) == ok);
    if (ok) FUZZ_CHECK(cutPort == port);
  }
  return 0;
}
