// What tarn-cli lets through to a terminal from server text and names.
#include <gtest/gtest.h>

#include <string>

#include "client/cli/console.h"

namespace tarn::cli {
namespace {

TEST(TerminalSafe, ControlsAreShownAndTextPasses) {
  using namespace std::string_literals;
  struct Case {
    std::string in;
    bool keepLines;
    std::string out;
  } cases[] = {
      {"plain name.txt", false, "plain name.txt"},
      {"nul\0byte"s, false, "nul\\0byte"},
      {"red\x1b[31mname", false, "red\\x1b[31mname"},
      {"bell\a and del\x7f", false, "bell\\x07 and del\\x7f"},
      {"two\nlines\tand tab\r\n", true, "two\nlines\tand tab\\x0d\n"},
      {"two\nlines", false, "two\\x0alines"},
      // UTF-8 passes whole, continuation bytes of 0x80..0x9F included.
      {"caf\xc3\xa9 \xc4\x81 \xe2\x82\xac \xf0\x9f\x98\x80", false, "caf\xc3\xa9 \xc4\x81 \xe2\x82\xac \xf0\x9f\x98\x80"},
      // The C1 controls, in UTF-8 and as 8-bit bytes.
      {"csi\xc2\x9b" "2J", false, "csi\\xc2\\x9b2J"},
      {"lone\x9b" "2J", false, "lone\\x9b2J"},
      {"cut\xe2\x82", false, "cut\xe2\\x82"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.in);
    EXPECT_EQ(TerminalSafe(tc.in, tc.keepLines), tc.out);
  }
}

}  // namespace
}  // namespace tarn::cli
