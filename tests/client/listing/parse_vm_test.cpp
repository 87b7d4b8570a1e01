// The VM/CMS parser: fixed columns, both date orders, F, V and DIR sizes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/listing/mainframe_parsers.h"
#include "tests/client/listing/listing_test_util.h"

namespace tarn::listing {
namespace {

using testing::Row;
using testing::RowsOf;

class VmParserTest : public ::testing::Test {
 protected:
  std::vector<Row> Parse(std::string_view text, std::string_view dir = "MAINT.191",
                         NameCase nameCase = NameCase::kAsIs) {
    listing_.Clear();
    MainframeParseRequest req;
    req.directory = dir;
    req.nameCase = nameCase;
    req.tree = &tree_;
    req.node = root_;
    req.addToTree = true;
    outcome_ = ParseVmListing(text, req, &listing_);
    return RowsOf(listing_);
  }
  Row One(std::string_view line) {
    std::vector<Row> rows = Parse(std::string(line) + "\r\n");
    EXPECT_EQ(rows.size(), 1u) << line;
    return rows.empty() ? Row{} : rows[0];
  }
  void SetUp() override {
    root_ = tree_.Insert(kNoNode, kInsertRoot, TreeNode{}, "MAINT.191", kIconFolder);
  }

  HostTree tree_;
  NodeId root_ = kNoNode;
  HostListing listing_;
  ParseOutcome outcome_;
};

TEST_F(VmParserTest, VariableFileIsBlocksTimes4096Approximately) {
  const Row r = One("PROFILE  EXEC     V         68          9          1 2002-12-19 10:15:30");
  EXPECT_EQ(r, (Row{"PROFILE.EXEC", "MAINT.191(PROFILE.EXEC)", 0, "~4KB", 4096, "EXEC File",
                    "2002-12-19 10:15", 0}));
  EXPECT_EQ(listing_[0].image, kIconMemberVariable);
  EXPECT_EQ(IconOfRow(listing_[0], HOST_VM), kIconMemberVariable);
  EXPECT_EQ(listing_.viewCode, 0);
}

TEST_F(VmParserTest, FixedFileIsRecordsTimesLrecl) {
  const Row r = One("DATA     FILE     F         80        100          2 2002-12-19 10:15:30");
  EXPECT_EQ(r.size, 8000u);
  EXPECT_EQ(r.sizeText, "8KB");
  EXPECT_EQ(listing_[0].image, kIconMemberFixed);
}

TEST_F(VmParserTest, DirectoryRowHasATrailingDotAndATreeNode) {
  const Row r = One("PROJ              DIR        -          -          - 2002-12-19 10:15:30");
  EXPECT_EQ(r.name, "PROJ.");
  EXPECT_EQ(r.path, "MAINT.191PROJ.");
  EXPECT_EQ(r.isDirectory, 1);
  EXPECT_EQ(r.sizeText, "  ");
  ASSERT_EQ(tree_.Children(root_).size(), 1u);
  const NodeId node = tree_.Children(root_)[0];
  EXPECT_EQ(tree_.Record(node).path, "MAINT.191PROJ.");
  EXPECT_EQ(tree_.Record(node).kind, kKindVmDirectory);
  EXPECT_EQ(tree_.Text(node), "MAINT.191PROJ.");
  EXPECT_EQ(IconOfRow(listing_[0], HOST_VM), kIconFolder);
}

TEST_F(VmParserTest, DatesInBothOrders) {
  const struct {
    const char* date;
    const char* expected;
  } cases[] = {
      {"2002-12-19 10:15:30", "2002-12-19 10:15"},
      {"12/19/02 10:15:30", "2002-12-19 10:15"},
      {"12/19/60 10:15:30", "2060-12-19 10:15"},
      {"12/19/61 10:15:30", "1961-12-19 10:15"},
      {"1/2/3 4:5:6", "2003-01-02 04:05"},
      {"12-19-2002 23:59", "2002-12-19 23:59"},
      {"2002/12/19", "2002-12-19 00:00"},
      {"2002-13-19 10:15:30", ""},
      {"yesterday", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.date);
    EXPECT_EQ(One(std::string("DATA     FILE     F         80        100          2 ") + c.date).modified,
              c.expected);
  }
}

// The line is read by its own length: short lines give empty fields, long
// ones keep their extra text out of the columns.
TEST_F(VmParserTest, LinesShorterAndLongerThanTheColumns) {
  const struct {
    const char* line;
    const char* name;
    const char* size;
    const char* date;
  } cases[] = {
      {"PROFILE", "PROFILE.", "?KB", "Not Available"},
      {"PROFILE  EXEC", "PROFILE.EXEC", "?KB", "Not Available"},
      // A variable file whose blocks are cut off: an approximation of 0.
      {"PROFILE  EXEC     V", "PROFILE.EXEC", "~", ""},
      {"DATA     FILE     F         80", "DATA.FILE", "", ""},
      {"DATA     FILE     F         80        100", "DATA.FILE", "8KB", ""},
      {"PROFILE  EXEC     V         68          9          1", "PROFILE.EXEC", "~4KB", ""},
      {"PROFILE  EXEC     V         68          9          1 2002-12-19 10:15:30 - VMSYSU", "PROFILE.EXEC",
       "~4KB", "12/19/2002 10:15"},
      {"PROFILE  EXEC     V         68          9          1 2002-12-19 10:15:30          ", "PROFILE.EXEC",
       "~4KB", "12/19/2002 10:15"},
      // A name longer than eight characters pushes the type along.
      {"LONGFILENAME EXEC V     68          9          1", "LONGFILENAME.EXEC", "~4KB", ""},
  };
  const platform::Locale locale = platform::PinnedLocale();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const Row r = One(c.line);
    EXPECT_EQ(r.name, c.name);
    EXPECT_EQ(r.sizeText, c.size);
    EXPECT_EQ(RowDateText(listing_, listing_[0], locale), c.date);
  }
}

TEST_F(VmParserTest, EmptyListingsAndLineEnds) {
  EXPECT_TRUE(Parse("").empty());
  EXPECT_TRUE(Parse("\r\n\r\n").empty());
  EXPECT_EQ(outcome_.misfits, 2u);
  // LF alone and a last line without an end still list their files.
  const std::vector<Row> rows = Parse(
      "A        EXEC     V         68          9          1 2002-12-19 10:15:30\n"
      "B        EXEC     V         68          9          1 2002-12-19 10:15:30");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].name, "B.EXEC");
}

TEST_F(VmParserTest, NameCaseRule) {
  const std::vector<Row> rows =
      Parse("PROFILE  EXEC     V         68          9          1 2002-12-19 10:15:30\r\n", "MAINT.191",
            NameCase::kCapitalized);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "Profile.Exec");
  EXPECT_EQ(rows[0].path, "MAINT.191(Profile.Exec)");
}

}  // namespace
}  // namespace tarn::listing
