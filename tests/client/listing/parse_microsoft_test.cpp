// MS-DOS style lines of Windows servers.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/client/listing/listing_test_util.h"

namespace tarn::listing {
namespace {

using testing::Parse;
using testing::Row;

Row ParseMs(const char* line) { return testing::ParseOne(line, SERVER_MICROSOFT); }

TEST(ParseMicrosoft, LinesGiveRows) {
  const struct {
    const char* line;
    Row row;
  } cases[] = {
      {"12-19-02  10:15AM       <DIR>          Program Files",
       {"Program Files", "/pub/Program Files", 1, "", 0, "File Folder", "2002-12-19 10:15", 0}},
      {"01-05-01  09:00AM                 1025 a b.txt",
       {"a b.txt", "/pub/a b.txt", 0, "2KB", 1025, "txt File", "2001-01-05 09:00", 0}},
      {"01-05-01  09:00AM                    0 empty",
       {"empty", "/pub/empty", 0, "0KB", 0, "File", "2001-01-05 09:00", 0}},
      // The rest of the line is the name, blanks and all.
      {"01-05-01  09:00AM  5 name with  two blanks ",
       {"name with  two blanks ", "/pub/name with  two blanks ", 0, "1KB", 5, "File",
        "2001-01-05 09:00", 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ParseMs(c.line), c.row);
  }
}

// Two-digit years pivot at 60; four-digit years are read whole; the
// 12-hour clock's suffix counts.
TEST(ParseMicrosoft, DatesAndTimes) {
  const struct {
    const char* line;
    const char* modified;
  } cases[] = {
      {"12-19-60  10:15AM  <DIR> a", "2060-12-19 10:15"},
      {"12-19-61  10:15AM  <DIR> a", "1961-12-19 10:15"},
      {"12-19-02  10:15AM  <DIR> a", "2002-12-19 10:15"},
      {"12-19-2002  10:15AM  <DIR> a", "2002-12-19 10:15"},
      {"01-05-01  09:00PM  1 a", "2001-01-05 21:00"},
      {"01-05-01  12:30AM  1 a", "2001-01-05 00:30"},
      {"01-05-01  12:30PM  1 a", "2001-01-05 12:30"},
      {"01-05-01  22:15  1 a", "2001-01-05 22:15"},
      {"13-45-02  10:15AM  1 a", ""},
      {"xx-yy-zz  10:15AM  1 a", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ParseMs(c.line).modified, c.modified);
  }
}

// Lines with fewer than four fields are skipped; the rows after them still
// come.
TEST(ParseMicrosoft, ShortLinesAreSkippedNotFatal) {
  ParseOutcome outcome;
  const std::vector<Row> rows = Parse(
      "12-19-02  10:15AM\r\n"
      "12-19-02  10:15AM       <DIR>\r\n"
      "12-19-02  10:15AM       <DIR>          .\r\n"
      "12-19-02  10:15AM       <DIR>          ..\r\n"
      "12-19-02  10:15AM       <DIR>          after\r\n",
      SERVER_MICROSOFT, "/", &outcome);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].path, "/after");
  EXPECT_EQ(outcome.misfits, 2u);
  EXPECT_EQ(outcome.nonEntries, 2u);
}

}  // namespace
}  // namespace tarn::listing
