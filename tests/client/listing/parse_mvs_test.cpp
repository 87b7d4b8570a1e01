// The MVS parsers: dataset levels with every special line, PDS members,
// load modules, and the hand-over between them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/listing/columns.h"
#include "client/listing/mainframe_parsers.h"
#include "tests/client/listing/listing_test_util.h"
#include "tests/support/scripted_ui.h"

namespace tarn::listing {
namespace {

using ::testing::ElementsAre;
using testing::Iso;

// A row as the tests compare it: what the view shows and what transfers use.
struct MvsRow {
  std::string name;
  std::string path;
  int isDirectory = 0;
  std::string sizeText;
  uint64_t size = 0;
  std::string typeText;
  std::string date;  // the date cell
  uint32_t kind = 0;
  uint32_t recordLength = 0;
  std::vector<std::string> cells;

  bool operator==(const MvsRow&) const = default;
};

std::ostream& operator<<(std::ostream& os, const MvsRow& r) {
  os << "{" << r.name << " | " << r.path << " | dir " << r.isDirectory << " | " << r.sizeText << " | "
     << r.size << " | " << r.typeText << " | " << r.date << " | kind " << r.kind << " | lrecl "
     << r.recordLength << " |";
  for (const auto& c : r.cells) os << " [" << c << "]";
  return os << "}";
}

std::vector<MvsRow> Rows(const HostListing& l) {
  const platform::Locale locale = platform::PinnedLocale();
  std::vector<MvsRow> rows;
  for (const RemoteEntry& e : l.rows()) {
    MvsRow r{std::string(l.Name(e)), std::string(l.Path(e)), e.isDirectory,
             RowSizeText(e, locale), e.Size(), std::string(l.TypeText(e)),
             RowDateText(l, e, locale), e.image, e.recordLength, {}};
    for (size_t i = 0; i < e.cellCount; ++i) r.cells.emplace_back(l.Cell(e, i));
    rows.push_back(r);
  }
  return rows;
}

class MvsParserTest : public ::testing::Test {
 protected:
  MainframeParseRequest Request(std::string_view dir, int32_t kind = kKindDatasetLevel) {
    MainframeParseRequest req;
    req.directory = dir;
    req.kind = kind;
    req.tree = &tree_;
    req.node = root_;
    req.addToTree = true;
    req.ui = &ui_;
    return req;
  }
  std::vector<MvsRow> Datasets(std::string_view text, std::string_view dir = "USER") {
    listing_.Clear();
    outcome_ = ParseMvsDatasets(text, Request(dir), &listing_, &handedOver_);
    return Rows(listing_);
  }
  MvsRow OneDataset(std::string_view line, std::string_view dir = "USER") {
    std::vector<MvsRow> rows = Datasets(std::string(line) + "\r\n", dir);
    EXPECT_EQ(rows.size(), 1u) << line;
    return rows.empty() ? MvsRow{} : rows[0];
  }

  void SetUp() override {
    root_ = tree_.Insert(kNoNode, kInsertRoot, TreeNode{"USER", kKindDatasetLevel, 0, 1}, "USER",
                         kIconFolder);
  }

  HostTree tree_;
  NodeId root_ = kNoNode;
  HostListing listing_;
  ParseOutcome outcome_;
  int32_t handedOver_ = 0;
  tarn::testing::ScriptedUi ui_;
};

// ---------------------------------------------------------------------------
// Dataset levels
// ---------------------------------------------------------------------------

TEST_F(MvsParserTest, PartitionedDatasetBecomesAFolderRowAndATreeNode) {
  const MvsRow r = OneDataset("WORK01 3390   2002/12/19  1   15  FB      80  6160  PO  CNTL");
  EXPECT_EQ(r, (MvsRow{"USER.CNTL", "USER.CNTL", 1, "", 0, "PDS", "12/19/2002", kKindPdsFixed, 80,
                       {"WORK01", "3390", "2002/12/19", "1", "15", "FB", "80", "6160", "PO"}}));
  ASSERT_EQ(tree_.Children(root_).size(), 1u);
  const NodeId node = tree_.Children(root_)[0];
  EXPECT_EQ(tree_.Record(node).path, "USER.CNTL");
  EXPECT_EQ(tree_.Record(node).kind, kKindPdsFixed);
  EXPECT_EQ(tree_.Record(node).recordLength, 80);
  EXPECT_EQ(tree_.Text(node), "USER.CNTL");
  EXPECT_EQ(IconOfRow(listing_[0], HOST_MVS), kIconFolder);
}

TEST_F(MvsParserTest, FullLinesByDsorgAndRecfm) {
  const struct {
    const char* line;
    const char* type;
    uint32_t kind;
    int isDirectory;
    const char* size;
    const char* date;
  } cases[] = {
      {"WORK01 3390   2002/12/19  1   15  FB      80  6160  PS  DATA", "Sequential File", kKindSequential, 0, "?KB", "12/19/2002"},
      {"WORK01 3390   2002/12/19  1   15  VB     255 27998  PO  CLIST", "PDS", kKindPdsVariable, 1, "", "12/19/2002"},
      {"WORK01 3390   2002/12/19  1   15  U        0 32760  PO  LOAD", "PDS", kKindPdsLoad, 1, "", "12/19/2002"},
      {"WORK01 3390   2002/12/19  1   15  FB      80  6160  DA  DIRECT", "File", kKindOther, 0, "?KB", "12/19/2002"},
      // Month/day/year when the first part has one or two characters.
      {"WORK01 3390   12/19/2002  1   15  FB      80  6160  PS  DATA", "Sequential File", kKindSequential, 0, "?KB", "12/19/2002"},
      // Never referred to, or a date that is none: the token itself.
      {"WORK01 3390   **NONE**    1   15  FB      80  6160  PS  DATA", "Sequential File", kKindSequential, 0, "?KB", "**NONE**"},
      {"WORK01 3390   2002/13/45  1   15  FB      80  6160  PS  DATA", "Sequential File", kKindSequential, 0, "?KB", "2002/13/45"},
      // The year is taken as written: "02" is no year a date can have.
      {"WORK01 3390   12/19/02    1   15  FB      80  6160  PS  DATA", "Sequential File", kKindSequential, 0, "?KB", "12/19/02"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const MvsRow r = OneDataset(c.line);
    EXPECT_EQ(r.typeText, c.type);
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.isDirectory, c.isDirectory);
    EXPECT_EQ(r.sizeText, c.size);
    EXPECT_EQ(r.date, c.date);
  }
}

// Each special line names its dataset from another token and clears the
// tokens it used; what is left shows in the Volume .. Dsorg cells.
TEST_F(MvsParserTest, ShortSpecialLines) {
  const struct {
    const char* line;
    const char* path;
    const char* type;
    uint32_t kind;
    std::vector<std::string> cells;
  } cases[] = {
      {"Migrated                                                OLD", "USER.OLD", "Migrated", kKindMigrated,
       {"Migrated", "", "", "", "", "", "", "", ""}},
      {"Error determining attributes                            BAD.DS", "USER.BAD.DS", "Migrated", kKindMigrated,
       {"", "", "", "", "", "", "", "", ""}},
      {"                                                   VSAM  KSDS", "USER.KSDS", "VSAM File", kKindVsam,
       {"", "", "", "", "", "", "", "", "VSAM"}},
      {"WORK01 3390 VSAM                                        KSDS.DATA", "USER.KSDS.DATA", "VSAM File", kKindVsam,
       {"WORK01", "3390", "", "", "", "", "", "", ""}},
      {"ARCH01 Not Mounted                                      ARCH.DATA", "USER.ARCH.DATA", "File", kKindOther,
       {"ARCH01", "", "", "", "", "", "", "", ""}},
      {"SCR001 Not Direct Access Device                         TAPE.COPY", "USER.TAPE.COPY", "File", kKindOther,
       {"SCR001", "", "", "", "", "", "", "", ""}},
      {"T00001 Tape                                             BACKUP", "USER.BACKUP", "File", kKindOther,
       {"T00001", "Tape", "", "", "", "", "", "", ""}},
      {"WORK01 3390 < 1 2 3 4 OLDER", "USER.OLDER", "File", kKindOther,
       {"WORK01", "3390", "", "", "", "", "", "", ""}},
      {"Pseudo Directory                                        PROJ", "USER.PROJ", "File", kKindOther,
       {"Pseudo", "Directory", "", "", "", "", "", "", ""}},
      // A line no rule knows names the dataset by its last token.
      {"WORK01 3390 SOMETHING ODD", "USER.ODD", "File", kKindOther,
       {"WORK01", "3390", "SOMETHING", "ODD", "", "", "", "", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const MvsRow r = OneDataset(c.line);
    EXPECT_EQ(r.path, c.path);
    EXPECT_EQ(r.typeText, c.type);
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.isDirectory, 0);
    EXPECT_EQ(r.sizeText, "?KB");
    EXPECT_EQ(r.date, "");
    EXPECT_EQ(r.cells, c.cells);
  }
  EXPECT_EQ(IconOfRow(listing_[0], HOST_MVS), kIconDataset);
}

// The rules take tokens a short line may not have: such a line lists
// nothing rather than a row without a name.
TEST_F(MvsParserTest, SpecialLineWithoutItsNameListsNothing) {
  const char* lines[] = {"Migrated", "Error determining attributes", "VSAM", "ARCH01 Not Mounted",
                         "SCR001 Not Direct Access", "T00001 Tape", "WORK01 3390 <", "Pseudo Directory"};
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(Datasets(std::string(line) + "\r\n").empty());
    EXPECT_EQ(outcome_.misfits, 1u);
  }
}

TEST_F(MvsParserTest, HeadersAndBlankLinesListNothing) {
  const std::vector<MvsRow> rows = Datasets(
      "Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname\r\n"
      "\r\n"
      "   \r\n"
      "X B\r\n"
      "WORK01 3390   2002/12/19  1   15  FB      80  6160  PS  DATA\r\n");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].path, "USER.DATA");
  EXPECT_EQ(outcome_.nonEntries, 4u);
}

TEST_F(MvsParserTest, NamesPathsAndTheirQuotes) {
  const struct {
    const char* dir;
    const char* token;
    const char* path;
    const char* name;
  } cases[] = {
      {"USER", "CNTL", "USER.CNTL", "USER.CNTL"},
      {"USER.", "CNTL", "USER.CNTL", "USER.CNTL"},
      {"USER", "PROJ.SRC.COBOL", "USER.PROJ.SRC.COBOL", "SRC.COBOL"},
      {"USER", "'SYS1.PROCLIB'", "'SYS1.PROCLIB'", "SYS1.PROCLIB"},
      {"USER", "'SYS1.A.B'", "'SYS1.A.B'", "A.B"},
      // A quoted single qualifier has no second-to-last one: the whole name.
      {"USER", "'SOLO'", "'SOLO'", "SOLO"},
      {"", "CNTL", "CNTL", "CNTL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.dir) + " + " + c.token);
    const MvsRow r = OneDataset(std::string("WORK01 3390   2002/12/19  1   15  FB      80  6160  PS  ") + c.token, c.dir);
    EXPECT_EQ(r.path, c.path);
    EXPECT_EQ(r.name, c.name);
  }
}

TEST_F(MvsParserTest, NameCaseRuleAppliesToPathAndName) {
  MainframeParseRequest req = Request("user");
  req.nameCase = NameCase::kUpper;
  ParseMvsDatasets("WORK01 3390   2002/12/19  1   15  FB      80  6160  PS  data.txt\r\n", req, &listing_);
  ASSERT_EQ(listing_.size(), 1u);
  EXPECT_EQ(listing_.Path(listing_[0]), "USER.DATA.TXT");
  EXPECT_EQ(listing_.Name(listing_[0]), "DATA.TXT");
}

// Lines longer than the header's columns and lines with trailing blanks
// still read by tokens; a line without a line end still counts.
TEST_F(MvsParserTest, TrailingBlanksAndAMissingLastLineEnd) {
  const std::vector<MvsRow> rows =
      Datasets("WORK01 3390   2002/12/19  1   15  FB      80  6160  PO  CNTL      \r\n"
               "Migrated                                                OLD   \n"
               "WORK01 3390   2002/12/19  1   15  FB      80  6160  PS  LAST");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].path, "USER.CNTL");
  EXPECT_EQ(rows[1].path, "USER.OLD");
  EXPECT_EQ(rows[2].path, "USER.LAST");
}

// ---------------------------------------------------------------------------
// Hand-over to the member parsers
// ---------------------------------------------------------------------------

TEST_F(MvsParserTest, MemberHeaderHandsOverToTheMemberParser) {
  const std::vector<MvsRow> rows = Datasets(
      " Name     VV.MM   Created       Changed      Size  Init   Mod   Id\r\n"
      "ALLOCJCL  01.03 2002/12/01 2002/12/19 10:15   120   100     5 USER1\r\n"
      "NOSTATS\r\n",
      "USER.CNTL");
  EXPECT_EQ(handedOver_, kKindPdsFixed);
  EXPECT_EQ(tree_.Record(root_).kind, kKindPdsFixed);
  EXPECT_EQ(listing_.viewCode, kViewMvsMembers);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].path, "USER.CNTL(ALLOCJCL)");
  EXPECT_EQ(rows[0].size, 9600u);  // the request's LRECL 0 is taken as 80
  EXPECT_EQ(rows[1].path, "USER.CNTL(NOSTATS)");
  EXPECT_EQ(outcome_.rows, 2u);
}

TEST_F(MvsParserTest, AmodeHeaderHandsOverToTheLoadModuleParser) {
  const std::vector<MvsRow> rows = Datasets(
      " Name      Size   TTR   Alias-of AC --------- Attributes --------- Amode Rmode\r\n"
      "IEFBR14   000A10 00000F          00 FO             RN RU            31    ANY\r\n",
      "USER.LOAD");
  EXPECT_EQ(handedOver_, kKindPdsLoad);
  EXPECT_EQ(tree_.Record(root_).kind, kKindPdsLoad);
  EXPECT_EQ(listing_.viewCode, kViewMvsLoadModules);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].sizeText, "~3KB");
}

// ---------------------------------------------------------------------------
// Members
// ---------------------------------------------------------------------------

class MvsMemberTest : public MvsParserTest {
 protected:
  std::vector<MvsRow> Members(std::string_view text, int32_t kind = kKindPdsFixed,
                              int32_t lrecl = 80, std::string_view dir = "USER.CNTL") {
    listing_.Clear();
    MainframeParseRequest req = Request(dir, kind);
    req.recordLength = lrecl;
    outcome_ = ParseMvsMembers(text, req, &listing_);
    return Rows(listing_);
  }
};

TEST_F(MvsMemberTest, SizeIsLinesTimesLreclAnUpperBoundForVariableRecords) {
  const std::string line = "ALLOCJCL  01.03 2002/12/01 2002/12/19 10:15   120   100     5 USER1\r\n";
  std::vector<MvsRow> rows = Members(line, kKindPdsFixed);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (MvsRow{"ALLOCJCL.CNTL", "USER.CNTL(ALLOCJCL)", 0, "10KB", 9600, "PDS Member",
                             "12/19/2002 10:15", kKindPdsFixed, 80, {"USER1", "01.03"}}));
  EXPECT_EQ(IconOfRow(listing_[0], HOST_MVS), kIconMemberFixed);
  EXPECT_EQ(MvsRowText(listing_, listing_[0]), "ALLOCJCL");

  rows = Members(line, kKindPdsVariable);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].sizeText, "< 10KB");
  EXPECT_EQ(rows[0].size, 9600u);
  EXPECT_EQ(IconOfRow(listing_[0], HOST_MVS), kIconMemberVariable);
}

TEST_F(MvsMemberTest, ShortAndLongLinesAgainstTheFixedColumns) {
  const struct {
    const char* line;
    const char* size;
    const char* date;
    std::vector<std::string> cells;  // Id, VV.MM
  } cases[] = {
      // No statistics: the member name alone, or a line that ends before
      // the changed year at character 27.
      {"NOSTATS", "", "", {"", ""}},
      {"NOSTATS   01.03", "", "", {"", ""}},
      {"NOSTATS   01.03 2002/12/01", "", "", {"", ""}},
      {"NOSTATS   01.03 2002/12/01 ", "", "", {"", ""}},
      // Statistics cut after the changed date: padded, so no size lines.
      {"SHORT     01.03 2002/12/01 2002/12/19", "1KB", "12/19/2002 00:00", {"", "01.03"}},
      {"SHORT     01.03 2002/12/01 2002/12/19 10:15    12", "1KB", "12/19/2002 10:15", {"", "01.03"}},
      // An Id longer than seven characters and text beyond it.
      {"LONG      01.03 2002/12/01 2002/12/19 10:15   120   100     5 LONGUSERID MORE", "10KB",
       "12/19/2002 10:15", {"LONGUSE", "01.03"}},
      // Padded with blanks to 72 columns.
      {"PADDED    01.00 2002/12/01 2002/12/19 10:15     1     1     0 USER1     ", "1KB",
       "12/19/2002 10:15", {"USER1", "01.00"}},
      // A changed date that is none leaves the date empty; the size stays.
      {"BADDATE   01.00 2002/12/01 2002/13/45 10:15     2     2     0 USER1", "1KB", "", {"USER1", "01.00"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::vector<MvsRow> rows = Members(std::string(c.line) + "\r\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].sizeText, c.size);
    EXPECT_EQ(rows[0].date, c.date);
    EXPECT_EQ(rows[0].cells, c.cells);
  }
}

TEST_F(MvsMemberTest, NoLinesIsOneByteAndNoLreclIsEighty) {
  std::vector<MvsRow> rows =
      Members("EMPTY     01.00 2002/12/01 2002/12/19 10:15     0     0     0 USER1\r\n"
              "TWO       01.00 2002/12/01 2002/12/19 10:15     2     2     0 USER1\r\n",
              kKindPdsFixed, 0);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].size, 1u);
  EXPECT_EQ(rows[0].sizeText, "1KB");
  EXPECT_EQ(rows[1].size, 160u);
  EXPECT_EQ(rows[1].recordLength, 80u);
}

TEST_F(MvsMemberTest, HeaderBlankAndIndentedLinesListNothing) {
  const std::vector<MvsRow> rows = Members(
      " Name     VV.MM   Created       Changed      Size  Init   Mod   Id\r\n"
      "\r\n"
      "  INDENTED\r\n"
      "MEMBER1\r\n");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "MEMBER1.CNTL");
  EXPECT_EQ(outcome_.nonEntries, 1u);
  EXPECT_EQ(outcome_.misfits, 2u);
}

TEST_F(MvsMemberTest, MembersOfAQuotedOrSingleQualifierDataset) {
  EXPECT_EQ(Members("MEM\r\n", kKindPdsFixed, 80, "'SYS1.PROCLIB'")[0].path, "SYS1.PROCLIB(MEM)");
  EXPECT_EQ(Members("MEM\r\n", kKindPdsFixed, 80, "'SYS1.PROCLIB'")[0].name, "MEM.PROCLIB");
  EXPECT_EQ(Members("MEM\r\n", kKindPdsFixed, 80, "SOLO")[0].name, "MEM.SOLO");
}

// ---------------------------------------------------------------------------
// Load modules
// ---------------------------------------------------------------------------

TEST_F(MvsMemberTest, LoadModulesByTheirFixedColumns) {
  listing_.Clear();
  ParseMvsLoadModules(
      " Name      Size   TTR   Alias-of AC --------- Attributes --------- Amode Rmode\r\n"
      "IEFBR14   000A10 00000F          00 FO             RN RU            31    ANY\r\n"
      "PAYRL     01F3C8 000012 PAYROLL  01 FO             RN RU            31    ANY   \r\n"
      "NOSIZE     \r\n"
      "TINY\r\n"
      "CUT       0000FF 0000\r\n",
      Request("USER.LOAD", kKindPdsLoad), &listing_);
  const std::vector<MvsRow> rows = Rows(listing_);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (MvsRow{"IEFBR14.LOAD", "USER.LOAD(IEFBR14)", 0, "~3KB", 2576, "Object/Load Module",
                             "", kKindPdsLoad, 0, {"00000F", "", "00", "FO             RN RU", "31", "ANY"}}));
  EXPECT_EQ(rows[1].cells, (std::vector<std::string>{"000012", "PAYROLL", "01", "FO             RN RU", "31", "ANY"}));
  EXPECT_EQ(rows[2].sizeText, "?KB");
  EXPECT_EQ(rows[3].sizeText, "?KB");
  EXPECT_EQ(rows[4].sizeText, "~1KB");
  EXPECT_EQ(rows[4].cells, (std::vector<std::string>{"0000", "", "", "", "", ""}));
  EXPECT_EQ(IconOfRow(listing_[0], HOST_MVS), kIconLoadModule);
}

// A header of another alignment shows "mode" where the Rmode values begin.
TEST_F(MvsMemberTest, HeaderWithModeAtColumn73IsDropped) {
  const std::string header = std::string("Name") + std::string(6, ' ') + "Size   TTR    Alias-of AC " +
                             "--------- Attributes -------- Amode Rmode";
  ASSERT_EQ(header.substr(72), "Rmode");
  listing_.Clear();
  ParseMvsLoadModules(header + "\r\n"
                      "IEFBR14   000A10 00000F          00 FO             RN RU            31    ANY\r\n",
                      Request("USER.LOAD", kKindPdsLoad), &listing_);
  ASSERT_EQ(listing_.size(), 1u);
  EXPECT_EQ(listing_.Name(listing_[0]), "IEFBR14.LOAD");
}

// ---------------------------------------------------------------------------
// Names and memory
// ---------------------------------------------------------------------------

TEST(MvsNames, DatasetAndLocalNames) {
  const struct {
    const char* path;
    const char* dataset;
    const char* local;
  } cases[] = {
      {"USER1.PROJ.CNTL", "PROJ.CNTL", "PROJ.CNTL"},
      {"USER1.CNTL", "USER1.CNTL", "USER1.CNTL"},
      {"SOLO", "SOLO", "SOLO"},
      {"'SYS1.A.B'", "A.B", "A.B"},
      {"'USER1.CNTL(ALLOCJCL)'", "USER1.CNTL(ALLOCJCL)", "ALLOCJCL.CNTL"},
      {"USER1.CNTL(ALLOCJCL)", "USER1.CNTL(ALLOCJCL)", "ALLOCJCL.CNTL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(MvsDatasetName(c.path), c.dataset);
    EXPECT_EQ(MvsLocalName(c.path), c.local);
  }
}

TEST_F(MvsParserTest, OutOfMemoryShowsTheBoxAndKeepsTheRowsSoFar) {
  std::string text;
  for (int i = 0; i < 2000; ++i)
    text += "WORK01 3390   2002/12/19  1   15  FB      80  6160  PS  DATA" + std::to_string(i) + "\r\n";
  listing_.SetMemoryLimit(256 * 1024);
  outcome_ = ParseMvsDatasets(text, Request("USER"), &listing_);
  EXPECT_TRUE(outcome_.outOfMemory);
  EXPECT_GT(listing_.size(), 0u);
  EXPECT_LT(listing_.size(), 2000u);
  EXPECT_EQ(outcome_.rows, listing_.size());
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Error Allocating Memory"));
}

}  // namespace
}  // namespace tarn::listing
