// The six VSE parsers: sentinels, the views' records, two-word tokens and
// the empty LUDate/LUTime rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/listing/columns.h"
#include "client/listing/mainframe_parsers.h"
#include "client/listing/parse_dispatch.h"
#include "client/listing/listing_thread.h"

namespace tarn::listing {
namespace {

using ::testing::ElementsAre;

struct VseRow {
  std::string name;
  std::string path;
  std::string typeText;
  int isDirectory = 0;
  uint32_t vseKind = 0;
  std::vector<std::string> cells;

  bool operator==(const VseRow&) const = default;
};

std::ostream& operator<<(std::ostream& os, const VseRow& r) {
  os << "{" << r.name << " | " << r.path << " | " << r.typeText << " | dir " << r.isDirectory
     << " | view " << r.vseKind << " |";
  for (const auto& c : r.cells) os << " [" << c << "]";
  return os << "}";
}

using Parser = ParseOutcome (*)(std::string_view, const MainframeParseRequest&, HostListing*);

class VseParserTest : public ::testing::Test {
 protected:
  std::vector<VseRow> Parse(Parser parser, std::string_view text, std::string_view dir = "\\") {
    listing_.Clear();
    MainframeParseRequest req;
    req.directory = dir;
    req.rootString = ".";
    req.tree = &tree_;
    req.node = root_;
    req.addToTree = true;
    req.log = [this](std::string_view t) { log_ += t; };
    outcome_ = parser(text, req, &listing_);
    std::vector<VseRow> rows;
    for (const VseEntry& e : listing_.vseRows()) {
      VseRow r{std::string(listing_.Name(e)), std::string(listing_.Path(e)),
               std::string(listing_.TypeText(e)), e.isDirectory, e.vseKind, {}};
      for (size_t i = 0; i < e.cellCount; ++i) r.cells.emplace_back(listing_.Cell(e, i));
      rows.push_back(r);
    }
    return rows;
  }
  void SetUp() override { root_ = tree_.Insert(kNoNode, kInsertRoot, TreeNode{}, "\\", kIconFolder); }

  HostTree tree_;
  NodeId root_ = kNoNode;
  HostListing listing_;
  ParseOutcome outcome_;
  std::string log_;
};

TEST(VseSentinels, TypeTextsOpenTheirViews) {
  const struct {
    const char* text;
    int32_t kind;
  } cases[] = {
      {"<DIRECTORY>", 11},   {"<LIBRARY>", 12},     {"<POWER QUEUES>", 11}, {"<POWER QUEUE>", 11},
      {"<POWER CLASS>", 14}, {"<VSAM CATALOG>", 15}, {"<VTOC>", 16},         {"<SUB LIBRARY>", 13},
      {"<library>", 12},     {"<Sub Library>", 13},  {"<LIBRARY", 0},         {"LIBRARY", 0},
      {"<SUB  LIBRARY>", 0}, {"<VOLUME>", 0},        {"", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(VseSentinelKind(c.text), c.kind);
  }
}

TEST_F(VseParserTest, DirectoryRowsByTheirSentinels) {
  const std::vector<VseRow> rows = Parse(ParseVseDirectory,
                                         "PRD2       <LIBRARY>                     \r\n"
                                         "POWER      <POWER QUEUE>\r\n"
                                         "IJSYSCT    <VSAM CATALOG>\r\n"
                                         "SYSRES     <VOLUME>\r\n"
                                         "LONELY\r\n"
                                         "\r\n");
  EXPECT_THAT(rows, ElementsAre(VseRow{"PRD2", "\\PRD2", "<LIBRARY>", 1, 12, {"<LIBRARY>"}},
                                VseRow{"POWER", "\\POWER", "<POWER QUEUE>", 1, 11, {"<POWER QUEUE>"}},
                                VseRow{"IJSYSCT", "\\IJSYSCT", "<VSAM CATALOG>", 1, 15, {"<VSAM CATALOG>"}},
                                VseRow{"SYSRES", "\\SYSRES", "<VOLUME>", 0, 0, {"<VOLUME>"}},
                                VseRow{"LONELY", "\\LONELY", "", 0, 0, {""}}));
  EXPECT_EQ(listing_.vseRows()[0].image, kIconFolder);
  EXPECT_EQ(listing_.vseRows()[3].image, kIconVsePlain);
  ASSERT_EQ(tree_.Children(root_).size(), 3u);
  const TreeNode& node = tree_.Record(tree_.Children(root_)[0]);
  EXPECT_EQ(node.path, "\\PRD2");
  EXPECT_EQ(node.vseKind, 12);
  EXPECT_EQ(node.kind, kKindDirectory);
  EXPECT_EQ(tree_.Text(tree_.Children(root_)[0]), "PRD2");
  EXPECT_EQ(listing_.viewCode, kViewVseDirectory);
  EXPECT_EQ(log_.substr(0, 34), "Processing VSE directory listing\r\n");
}

TEST_F(VseParserTest, LibraryLineKeepsTheTwoWordType) {
  const std::vector<VseRow> rows = Parse(ParseVseLibrary,
                                         "CONFIG <SUB LIBRARY> 12 34 2002-12-19 10:15\r\n"
                                         "GEN        <SUB   LIBRARY>      0        1  2002-12-19  10:15   \r\n"
                                         "ODD        <OTHER THING>      1        2\r\n",
                                         "\\PRD2");
  EXPECT_THAT(rows,
              ElementsAre(VseRow{"CONFIG", "\\PRD2.CONFIG", "<SUB LIBRARY>", 1, 13,
                                 {"<SUB LIBRARY>", "12", "34", "2002-12-19", "10:15"}},
                          VseRow{"GEN", "\\PRD2.GEN", "<SUB LIBRARY>", 1, 13,
                                 {"<SUB LIBRARY>", "0", "1", "2002-12-19", "10:15"}},
                          VseRow{"ODD", "\\PRD2.ODD", "<OTHER THING>", 0, 0, {"<OTHER THING>", "1", "2", "", ""}}));
  EXPECT_EQ(tree_.Record(tree_.Children(root_)[0]).vseKind, 13);
  EXPECT_EQ(log_.substr(0, 32), "Processing VSE library listing\r\n");
}

TEST_F(VseParserTest, SubLibraryLastUpdateAndTypeFlag) {
  const struct {
    const char* line;
    std::vector<std::string> cells;  // Records, Blocks, Date, Time, LUDate, LUTime, Type
  } cases[] = {
      {"IPLPROC.PROC      120      3  2002-12-19  10:15  2002-12-20  11:00  F",
       {"120", "3", "2002-12-19", "10:15", "2002-12-20", "11:00", "F"}},
      // More than ten blanks after Time: never updated.
      {"$$A$SUP1.PHASE     40      2  2002-12-19  10:15                     S",
       {"40", "2", "2002-12-19", "10:15", "", "", "S"}},
      {"NOLU.PROC         1       1  2002-12-19  10:15           FIXED",
       {"1", "1", "2002-12-19", "10:15", "", "", "F"}},
      // Exactly ten blanks: the next two tokens are the last update.
      {"TEN.PROC          1       1  2002-12-19  10:15          2002-12-20  11:00  S",
       {"1", "1", "2002-12-19", "10:15", "2002-12-20", "11:00", "S"}},
      {"BARE.PROC          1       1  2002-12-19  10:15", {"1", "1", "2002-12-19", "10:15", "", "", "S"}},
      {"SHORT.PROC", {"", "", "", "", "", "", "S"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::vector<VseRow> rows = Parse(ParseVseSubLibrary, std::string(c.line) + "\r\n", "\\PRD2.CONFIG");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells, c.cells);
    EXPECT_EQ(rows[0].isDirectory, 0);
    EXPECT_EQ(rows[0].path, "\\PRD2.CONFIG." + rows[0].name);
  }
}

TEST_F(VseParserTest, PowerClassJobs) {
  const std::vector<VseRow> rows = Parse(ParseVsePowerQueue,
                                         "PAYROLL1     1200     24    2400  3  D  USER1 OF PAYROLL\r\n"
                                         "NIGHTLY        80      2     160  5  K   \r\n"
                                         "CUT 1\r\n",
                                         "\\POWER.LST.A");
  EXPECT_THAT(rows, ElementsAre(VseRow{"PAYROLL1", "\\POWER.LST.A.PAYROLL1", "", 0, 0,
                                       {"1200", "24", "2400", "3", "D", "USER1 OF PAYROLL"}},
                                VseRow{"NIGHTLY", "\\POWER.LST.A.NIGHTLY", "", 0, 0, {"80", "2", "160", "5", "K", ""}},
                                VseRow{"CUT", "\\POWER.LST.A.CUT", "", 0, 0, {"1", "", "", "", "", ""}}));
}

TEST_F(VseParserTest, VsamCatalogTypes) {
  const std::vector<VseRow> rows = Parse(ParseVsamCatalog,
                                         "A.ESDS  2002-12-18  23:59    88000  ESDS\r\n"
                                         "B.KSDS  2002-12-19  10:15     1500  KSDS\r\n"
                                         "C.RRDS  2002-11-02  08:00      100  RRDS\r\n"
                                         "D.VRDS  2002-11-02  08:00      100  VRDS\r\n"
                                         "E.NONE  2002-11-02  08:00\r\n",
                                         "\\IJSYSCT");
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"2002-12-18", "23:59", "88000", "ESDS"}));
  EXPECT_EQ(rows[1].cells.back(), "KSDS");
  EXPECT_EQ(rows[2].cells.back(), "RRDS");
  EXPECT_EQ(rows[3].cells.back(), "RRDS");
  EXPECT_EQ(rows[4].cells, (std::vector<std::string>{"2002-11-02", "08:00", "", "RRDS"}));
  EXPECT_EQ(listing_.vseRows()[0].typeCode, 1u);
  EXPECT_EQ(listing_.vseRows()[1].typeCode, 2u);
  EXPECT_EQ(listing_.vseRows()[2].typeCode, 3u);
  EXPECT_EQ(log_.substr(0, 33), "Processing VSAM CATALOG listing\r\n");
}

TEST(VseTypeCodes, VtocOrganisationAndSubLibraryFlag) {
  const struct {
    const char* text;
    uint32_t code;
  } vtoc[] = {{"SEQUENTIAL", 1}, {"sequential", 1}, {"SEQ", 1}, {"SAM", 1},   {"SD", 1},
              {"PS", 1},         {"BDAM", 2},       {"DA", 2},  {"DIRECT", 2}, {"VSAM", 3},
              {"ISAM", 4},       {"IS", 4},         {"", 0},    {"UNKNOWN", 0}, {"  VSAM SPACE", 3}};
  for (const auto& c : vtoc) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(VtocOrganisation(c.text), c.code);
  }
  EXPECT_EQ(SubLibraryTypeFlag("F"), 1u);
  EXPECT_EQ(SubLibraryTypeFlag("fixed 80"), 1u);
  EXPECT_EQ(SubLibraryTypeFlag("S"), 0u);
  EXPECT_EQ(SubLibraryTypeFlag(""), 0u);
  EXPECT_EQ(VsamDatasetType("esds"), 1u);
  EXPECT_EQ(VsamDatasetType(""), 3u);
}

TEST_F(VseParserTest, VtocRows) {
  const std::vector<VseRow> rows = Parse(ParseVtoc,
                                         "PROD.SEQ.FILE  2002-12-19  10:15     80  SEQUENTIAL\r\n"
                                         "OLD.DIRECT     1999-03-01  12:00    256  DA\r\n"
                                         "SCRATCH        2002-12-19  10:15      0\r\n",
                                         "\\VTOC");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].cells.back(), "SEQUENTIAL");
  EXPECT_EQ(rows[1].name, "OLD.DIRECT");
  EXPECT_EQ(rows[1].cells, (std::vector<std::string>{"1999-03-01", "12:00", "256", "BDAM"}));
  EXPECT_EQ(rows[2].cells.back(), "U");
  EXPECT_EQ(listing_.viewCode, kViewVtoc);
}

// The dispatch sorts VSE rows as the host view sorts by name: containers
// first, then names, in the column's direction.
TEST(VseDispatch, RowsComeSortedAndTheRootListsAsADirectory) {
  ListingContext ctx;
  ctx.path.hostFamily = HOST_VSE;
  ctx.path.rootString = ".";
  ParseContext pc;
  pc.directory = "\\";
  const std::string text =
      "zeta       <VOLUME>\r\n"
      "PRD2       <LIBRARY>\r\n"
      "alpha      <VOLUME>\r\n"
      "POWER      <POWER QUEUES>\r\n";
  // The listing of "\\" is read as a directory whatever the view asked.
  ParseListingText(ChooseParser(HOST_VSE, 1, 13, "\\"), text, pc, &ctx, nullptr);
  std::vector<std::string> names;
  for (const auto& e : ctx.listing.vseRows()) names.emplace_back(ctx.listing.Name(e));
  EXPECT_THAT(names, ElementsAre("POWER", "PRD2", "alpha", "zeta"));

  ctx.sort.direction[0] = -1;
  ParseListingText(ChooseParser(HOST_VSE, 1, 11, "\\"), text, pc, &ctx, nullptr);
  names.clear();
  for (const auto& e : ctx.listing.vseRows()) names.emplace_back(ctx.listing.Name(e));
  EXPECT_THAT(names, ElementsAre("zeta", "alpha", "PRD2", "POWER"));
}

}  // namespace
}  // namespace tarn::listing
