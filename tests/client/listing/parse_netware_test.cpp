// NetWare lines.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/client/listing/listing_test_util.h"

namespace tarn::listing {
namespace {

using testing::Parse;
using testing::Row;

Row ParseNw(const char* line) { return testing::ParseOne(line, SERVER_NETWARE); }

TEST(ParseNetWare, LinesGiveRows) {
  const struct {
    const char* line;
    Row row;
  } cases[] = {
      {"d [RWCEAFMS] supervisor                      512       Jan 16 18:53 login",
       {"login", "/pub/login", 1, "", 0, "File Folder", "2026-01-16 18:53", 0}},
      {"- [RWCEAFMS] rhesus                        214059       Oct 20 15:27 cx.exe",
       {"cx.exe", "/pub/cx.exe", 0, "210KB", 214059, "exe File", "2026-10-20 15:27", 0}},
      {"- [RWCEAFMS] joe 100 Jan 5 2001 name with blanks.txt",
       {"name with blanks.txt", "/pub/name with blanks.txt", 0, "1KB", 100, "txt File",
        "2001-01-05 00:00", 0}},
      // A link goes the file way: "SymLink" for its size, a file type, and
      // the target cut off.
      {"l [R----F--] admin                            32       Mar  2  1999 docs -> sys:docs",
       {"docs", "/pub/docs", 0, "SymLink", 0, "File", "1999-03-02 00:00", 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ParseNw(c.line), c.row);
  }
}

TEST(ParseNetWare, TotalsAndShortLinesGiveNoRow) {
  ParseOutcome outcome;
  const std::vector<Row> rows = Parse(
      "total 3\r\n"
      "d [R\r\n"
      "- [RWCEAFMS] joe 100\r\n"
      "- [RWCEAFMS] joe 100 Jan 5 2001 kept\r\n",
      SERVER_NETWARE, "/pub", &outcome);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "kept");
  EXPECT_EQ(outcome.nonEntries, 1u);
  EXPECT_EQ(outcome.misfits, 2u);
}

}  // namespace
}  // namespace tarn::listing
