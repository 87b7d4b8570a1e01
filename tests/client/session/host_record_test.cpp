// The session record's derived values.
#include "client/session/host_record.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

// A session imported from a .reg file may have an empty FTPPort: it means
// the FTP port, never port 0.
TEST(ConnectPort, StoredPortOrTheFtpPort) {
  struct Case {
    const char* stored;
    uint16_t port;
  } cases[] = {
      {"21", 21},   {"2121", 2121}, {"65535", 65535}, {"", 21},
      {"0", 21},    {"00", 21},     {"65536", 21},    {"99999", 21},
      {"2x", 21},   {" 21", 21},    {"-1", 21},       {"007", 7},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.stored);
    HostRecord h;
    SetField(h.cFTPPort, tc.stored);
    EXPECT_EQ(ConnectPort(h), tc.port);
  }
}

}  // namespace
}  // namespace tarn
