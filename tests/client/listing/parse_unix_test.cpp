// UNIX long-listing lines, as vsftpd, pyftpdlib and other servers print
// them, through the generic parser.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/listing/line_parser.h"
#include "tests/client/listing/listing_test_util.h"

namespace tarn::listing {
namespace {

using testing::Parse;
using testing::ParseOne;
using testing::Row;
using ::testing::IsEmpty;

struct LineCase {
  const char* line;
  Row row;
};

// ---------------------------------------------------------------------------
// Lines of real servers and the other shapes long listings take
// ---------------------------------------------------------------------------

TEST(ParseUnix, LinesGiveRows) {
  const LineCase cases[] = {
      // vsftpd
      {"drwxr-xr-x    2 0        0            4096 Dec 07 21:35 pub",
       {"pub", "/pub/pub", 1, "", 0, "rwxr-xr-x", "2026-12-07 21:35", 0}},
      {"-rw-r--r--    1 1001     1001           16 Dec 07 21:40 hello.txt",
       {"hello.txt", "/pub/hello.txt", 0, "1KB", 16, "rw-r--r--", "2026-12-07 21:40", 0}},
      // pyftpdlib
      {"-rw-r--r--   1 root     root         5 Dec 07 21:40 readme.txt",
       {"readme.txt", "/pub/readme.txt", 0, "1KB", 5, "rw-r--r--", "2026-12-07 21:40", 0}},
      // A year instead of a time; a name with a blank.
      {"-rw-r--r-- 1 user group 1025 Jan 5 2001 a b.txt",
       {"a b.txt", "/pub/a b.txt", 0, "2KB", 1025, "rw-r--r--", "2001-01-05 00:00", 0}},
      // A link opens like a directory; the target is not part of the name.
      {"lrwxrwxrwx 1 user group 7 Dec 1 09:00 bin -> usr/bin",
       {"bin", "/pub/bin", 1, "", 0, "rwxrwxrwx", "2026-12-01 09:00", 0}},
      {"lrwxrwxrwx 1 user group 7 Dec 1 09:00 my docs -> /srv/my docs",
       {"my docs", "/pub/my docs", 1, "", 0, "rwxrwxrwx", "2026-12-01 09:00", 0}},
      // No group column.
      {"-rw-r--r-- 1 owner 1025 Jan 5 2001 nogroup.txt",
       {"nogroup.txt", "/pub/nogroup.txt", 0, "2KB", 1025, "rw-r--r--", "2001-01-05 00:00", 0}},
      // Tabs between the fields.
      {"-rw-r--r--\t1\tu\tg\t10\tJan\t5\t2001\ttabbed",
       {"tabbed", "/pub/tabbed", 0, "1KB", 10, "rw-r--r--", "2001-01-05 00:00", 0}},
      // An access-control mark after the permissions stays in the text.
      {"-rw-r--r--+ 1 u g 10 Jan 5 2001 acl",
       {"acl", "/pub/acl", 0, "1KB", 10, "rw-r--r--+", "2001-01-05 00:00", 0}},
      // Sizes beyond 32 bits.
      {"-rw-r--r-- 1 u g 5368709120 Jan 5 2001 big.iso",
       {"big.iso", "/pub/big.iso", 0, "5,242,880KB", 5368709120ull, "rw-r--r--",
        "2001-01-05 00:00", 0}},
      // An empty file shows "0KB", not an empty cell.
      {"-rw-r--r-- 1 u g 0 Jan 5 2001 empty",
       {"empty", "/pub/empty", 0, "0KB", 0, "rw-r--r--", "2001-01-05 00:00", 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ParseOne(c.line), c.row);
  }
}

// ---------------------------------------------------------------------------
// Names: blanks and words that look like numbers or dates
// ---------------------------------------------------------------------------

// The name is everything after the date, so blanks inside survive as
// listed, and a word in the name that reads as a number, a time or a date
// does not cut the name short.
TEST(ParseUnix, NamesKeepBlanksAndNumbers) {
  const struct {
    const char* line;
    const char* name;
    uint64_t size;
  } cases[] = {
      {"-rw-r--r-- 1 u g 10 Jan 5 2001 two  blanks", "two  blanks", 10},
      {"-rw-r--r-- 1 u g 10 Jan 5 2001 report 2003 final", "report 2003 final", 10},
      {"-rw-r--r-- 1 u g 10 Jan 5 2001 2003", "2003", 10},
      {"-rw-r--r-- 1 u g 10 Jan 5 2001 12:00 lunch", "12:00 lunch", 10},
      {"-rw-r--r-- 1 u g 10 Jan 5 2001 Dec 25 2020 notes", "Dec 25 2020 notes", 10},
      {"-rw-r--r-- 1 u g 10 Dec 07 21:40 1 2 3", "1 2 3", 10},
      {"-rw-r--r-- 1 u g 10 Dec 07 21:40 -", "-", 10},
      // An owner that looks like a month, a small numeric group and a size
      // that looks like a year do not pass for the date.
      {"-rw-r--r-- 1 may 10 2048 Dec 07 21:40 x", "x", 2048},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const Row row = ParseOne(c.line);
    EXPECT_EQ(row.name, c.name);
    EXPECT_EQ(row.size, c.size);
    EXPECT_NE(row.modified, "");
  }
}

// ---------------------------------------------------------------------------
// Lines that list nothing, and odd lines
// ---------------------------------------------------------------------------

TEST(ParseUnix, NonEntriesGiveNoRow) {
  ParseOutcome outcome;
  const std::vector<Row> rows = Parse(
      "total 12\r\n"
      "TOTAL 0\r\n"
      "ls: /pub/secret: Permission denied\r\n"
      "drwxr-xr-x    2 0        0            4096 Dec 07 21:35 .\r\n"
      "drwxr-xr-x    3 0        0            4096 Dec 07 21:35 ..\r\n"
      "-rw-r--r--\r\n"
      "\r\n",
      SERVER_UNIX, "/pub", &outcome);
  EXPECT_THAT(rows, IsEmpty());
  EXPECT_EQ(outcome.nonEntries, 5u);
  EXPECT_EQ(outcome.misfits, 2u);  // the single token and the blank line
}

// A line with too few fields for a date still gives a row, without date
// and with size 0.
TEST(ParseUnix, TooFewFieldsKeepTheRowWithoutDate) {
  EXPECT_EQ(ParseOne("-rw-r--r-- 1 user 12 file"),
            (Row{"file", "/pub/file", 0, "0KB", 0, "rw-r--r--", "", 0}));
  EXPECT_EQ(ParseOne("-rw-r--r-- x"), (Row{"x", "/pub/x", 0, "0KB", 0, "rw-r--r--", "", 0}));
  EXPECT_EQ(ParseOne("drwxr-xr-x 2 sub"), (Row{"sub", "/pub/sub", 1, "", 0, "rwxr-xr-x", "", 0}));
}

// A line that starts with "." is a bare name; it takes nothing from the line
// before it.
TEST(ParseUnix, DotLineIsABareName) {
  const std::vector<Row> rows = Parse(
      "drwxr-xr-x 2 u g 4096 Dec 07 21:35 dir\r\n"
      ".hidden\r\n");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], (Row{".hidden", "/pub/.hidden", 0, "0KB", 0, "", "", 0}));
}

// A month that is not recognised, or a day that does not exist, leaves the
// date empty; the rest of the row stands.
TEST(ParseUnix, InvalidDatesGiveAnEmptyDate) {
  const char* lines[] = {
      "-rw-r--r-- 1 u g 10 Feb 30 2001 feb30",
      "-rw-r--r-- 1 u g 10 Dez 24 2001 german",
      "-rw-r--r-- 1 u g 10 Jan 5 25:99 clock",
      "-rw-r--r-- 1 u g 10 Jan 5 1492 columbus",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    const Row row = ParseOne(line);
    EXPECT_EQ(row.modified, "");
    EXPECT_EQ(row.size, 10u);
    EXPECT_FALSE(row.name.empty());
  }
}

// ---------------------------------------------------------------------------
// The year of "Mon DD HH:MM"
// ---------------------------------------------------------------------------

// A listing shows a time instead of a year only for recent entries, so a
// date that would lie more than a day after now belongs to last year.
TEST(ParseUnix, RecentDatesTakeTheYearThatKeepsThemInThePast) {
  std::vector<std::string_view> tokens;
  LineContext ctx;
  ctx.tokens = &tokens;
  ctx.now = DateParts{2027, 1, 3, 12, 0, 0};
  const struct {
    const char* date;
    const char* expected;
  } cases[] = {
      {"Dec 07 21:35", "2026-12-07 21:35"},
      {"Jan 03 10:00", "2027-01-03 10:00"},
      {"Jan 04 11:00", "2027-01-04 11:00"},  // within a day: a server zone ahead
      {"Jan 05 11:00", "2026-01-05 11:00"},
      {"Dec 19 2030", "2030-12-19 00:00"},   // an explicit year stands
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.date);
    const std::string line = std::string("-rw-r--r-- 1 u g 1 ") + c.date + " f";
    LineEntry e;
    ASSERT_EQ(ParseUnixLine(line, ctx, &e), LineVerdict::kEntry);
    EXPECT_EQ(testing::Iso(e.modified), c.expected);
  }
}

}  // namespace
}  // namespace tarn::listing
