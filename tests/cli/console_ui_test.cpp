// The console's progress figures: amounts in the unit that fits, and the
// closing line of a transfer.
#include "client/cli/console_ui.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tarn {
namespace {

TEST(ConsoleProgress, AmountsUseTheUnitThatFits) {
  struct Case {
    double bytes;
    const char* shown;
  };
  const Case cases[] = {
      {0, "0 B"},          {999, "999 B"},       {1000, "1.0 KB"},     {1234, "1.2 KB"},
      {999949, "999.9 KB"}, {999950, "1.0 MB"},  {45600000, "45.6 MB"}, {1073741824, "1.07 GB"},
      {-1, "0 B"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(cli::FormatAmount(c.bytes), c.shown);
  }
}

TEST(ConsoleProgress, SmallFileTotalsInKilobytes) {
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  cli::ConsoleUi ui(err, nullptr, false);
  ui.BeginTransfer();
  TransferFields f;
  f.bytes = f.shownBytes = f.expected = 2048;
  f.seconds = 0.5;
  f.done = true;
  f.timeLeft = "00:00:01";
  ui.SetTransferFields(f);
  ui.EndTransfer();
  std::rewind(err);
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, err), nullptr);
  std::fclose(err);
  EXPECT_STREQ(line, "transferred 2.0 KB, 4.1 KB/s, done in 00:00:01\n");
}

}  // namespace
}  // namespace tarn
