// The generic parser over whole listings: line ends, sizes of lines and
// names, hostile names, the tree, the transcript and running out of memory.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "client/listing/columns.h"
#include "client/listing/generic_parser.h"
#include "tests/client/listing/listing_test_util.h"
#include "tests/support/scripted_ui.h"

namespace tarn::listing {
namespace {

using testing::Parse;
using testing::Row;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

constexpr const char* kVsftpdListing =
    "drwxr-xr-x    2 0        0            4096 Dec 07 21:35 pub\r\n"
    "-rw-r--r--    1 1001     1001           16 Dec 07 21:40 hello.txt\r\n"
    "drwxr-xr-x    2 1001     1001         4096 Dec 07 21:41 upload\r\n";

std::vector<std::string> Names(const std::vector<Row>& rows) {
  std::vector<std::string> names;
  for (const Row& r : rows) names.push_back(r.name);
  return names;
}

// ---------------------------------------------------------------------------
// Line ends
// ---------------------------------------------------------------------------

TEST(GenericParser, LineEndsOfEveryKindGiveTheSameRows) {
  const std::string crlf = kVsftpdListing;
  std::string lf = crlf;
  for (size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.erase(p, 1);
  const std::string unterminated = crlf.substr(0, crlf.size() - 2);
  const std::vector<Row> expected = Parse(crlf);
  ASSERT_EQ(expected.size(), 3u);
  EXPECT_EQ(Parse(lf), expected);
  EXPECT_EQ(Parse(unterminated), expected);
}

TEST(GenericParser, ListingWithoutAnyLineEndIsOneLine) {
  EXPECT_THAT(Names(Parse("-rw-r--r-- 1 u g 10 Jan 5 2001 only")), ElementsAre("only"));
  EXPECT_THAT(Parse(""), IsEmpty());
  EXPECT_THAT(Parse("\r\n\r\n"), IsEmpty());
}

// ---------------------------------------------------------------------------
// Capacities
// ---------------------------------------------------------------------------

TEST(GenericParser, LongNamesAreCutToTheRecordWithoutOverrun) {
  const std::string longName(100, 'n');
  const Row row = testing::ParseOne("-rw-r--r-- 1 u g 10 Jan 5 2001 " + longName);
  EXPECT_EQ(row.name, std::string(63, 'n'));
  EXPECT_EQ(row.path, "/pub/" + longName);
  EXPECT_EQ(row.flags, kRowNameCut);

  // A multi-byte character that does not fit goes whole.
  const std::string utf8 = std::string(62, 'a') + "\xC3\xA9" + "z";
  EXPECT_EQ(testing::ParseOne("-rw-r--r-- 1 u g 10 Jan 5 2001 " + utf8).name, std::string(62, 'a'));
}

TEST(GenericParser, HugeSingleLine) {
  // One name of a megabyte, then a line of a hundred thousand tokens.
  const std::string hugeName(1 << 20, 'x');
  Row row = testing::ParseOne("-rw-r--r-- 1 u g 10 Jan 5 2001 " + hugeName);
  EXPECT_EQ(row.name.size(), kNameCapacity - 1);
  EXPECT_EQ(row.path.size(), kPathCapacity - 1);
  EXPECT_EQ(row.flags, kRowNameCut | kRowPathCut);
  EXPECT_EQ(row.size, 10u);

  std::string words = "-rw-r--r-- 1 u g 10 Jan 5 2001";
  for (int i = 0; i < 100000; ++i) words += " w";
  row = testing::ParseOne(words);
  std::string cut = "w";
  while (cut.size() < kNameCapacity - 1) cut += " w";
  EXPECT_EQ(row.name, cut);
  EXPECT_EQ(row.size, 10u);
}

// ---------------------------------------------------------------------------
// Hostile names
// ---------------------------------------------------------------------------

// Names a server may send to make a client write outside the download
// folder or to the terminal are shown as listed and flagged.
TEST(GenericParser, HostileNamesAreShownButFlagged) {
  const struct {
    std::string name;
    bool unsafe;
  } cases[] = {
      {"../x", true},
      {"../../.profile", true},
      {"a/b", true},
      {"\x1b[31mred", true},
      {std::string("nul\0inside", 10), true},
      {"...", false},
      {".profile", false},
      {"plain name.txt", false},
      {"caf\xC3\xA9", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (int32_t server : {SERVER_UNIX, SERVER_MICROSOFT}) {
      const std::string line = server == SERVER_UNIX
                                   ? "-rw-r--r-- 1 u g 10 Jan 5 2001 " + c.name
                                   : "01-05-01  09:00AM  10 " + c.name;
      const Row row = testing::ParseOne(line, server);
      EXPECT_EQ(row.name, c.name);
      EXPECT_EQ((row.flags & kRowUnsafeLocalName) != 0, c.unsafe);
    }
  }
}

TEST(IsSafeLocalName, RefusesWhatCannotBeAFileName) {
  for (std::string_view bad : {"", ".", "..", "/", "a/b", "tab\there", "\x7f", "cr\r"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(IsSafeLocalName(bad));
  }
  EXPECT_FALSE(IsSafeLocalName(std::string_view("a\0b", 3)));
  for (std::string_view good : {"a", "...", "a..b", "-rf", "back\\slash", "caf\xC3\xA9"}) {
    SCOPED_TRACE(good);
    EXPECT_TRUE(IsSafeLocalName(good));
  }
}

// ---------------------------------------------------------------------------
// Name case, paths and the column set
// ---------------------------------------------------------------------------

TEST(GenericParser, CaseRuleChangesTheNameNotThePath) {
  const struct {
    NameCase rule;
    const char* name;
  } cases[] = {
      {NameCase::kAsIs, "README.Txt"},
      {NameCase::kCapitalized, "Readme.txt"},
      {NameCase::kUpper, "README.TXT"},
      {NameCase::kLower, "readme.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<char>(c.rule));
    HostListing l;
    GenericParseRequest req;
    req.directory = "/";
    req.nameCase = c.rule;
    ParseGenericListing("-rw-r--r-- 1 u g 10 Jan 5 2001 README.Txt\r\n", req, &l);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l.Name(l[0]), c.name);
    EXPECT_EQ(l.Path(l[0]), "/README.Txt");
  }
}

TEST(GenericParser, SetsTheColumnSetOfTheServerType) {
  HostListing l;
  GenericParseRequest req;
  req.serverType = SERVER_UNIX;
  ParseGenericListing("", req, &l);
  EXPECT_EQ(l.viewCode, kViewGenericUnix);
  req.serverType = SERVER_MICROSOFT;
  ParseGenericListing("", req, &l);
  EXPECT_EQ(l.viewCode, kViewGeneric);
}

// ---------------------------------------------------------------------------
// Tree nodes and the transcript
// ---------------------------------------------------------------------------

TEST(GenericParser, DirectoriesBecomeNodesWhenAsked) {
  HostTree tree;
  const NodeId root = tree.Insert(kNoNode, kInsertRoot, TreeNode{"/"}, "/ (Root)", kIconFolder);
  HostListing l;
  GenericParseRequest req;
  req.directory = "/";
  req.now = testing::TestNow();
  req.tree = &tree;
  req.node = root;
  req.addToTree = true;
  const ParseOutcome outcome = ParseGenericListing(kVsftpdListing, req, &l);
  EXPECT_EQ(outcome.rows, 3u);
  EXPECT_EQ(outcome.nodes, 2u);
  ASSERT_THAT(tree.Children(root), ::testing::SizeIs(2));
  const NodeId pub = tree.Children(root)[0];
  EXPECT_EQ(tree.Text(pub), "pub");
  EXPECT_EQ(tree.Record(pub).path, "/pub");
  EXPECT_EQ(tree.Record(pub).kind, kKindDirectory);
  EXPECT_EQ(tree.Image(pub), kIconFolder);
  EXPECT_EQ(tree.Record(tree.Children(root)[1]).path, "/upload");
  EXPECT_TRUE(tree.IsConsistent());

  req.addToTree = false;
  ParseGenericListing(kVsftpdListing, req, &l);
  EXPECT_EQ(tree.size(), 3u);
}

TEST(GenericParser, LogsTheHostTypeAndTheRawListing) {
  const struct {
    int32_t server;
    const char* line;
  } cases[] = {
      {SERVER_UNIX, "Printing directory list for host type: UNIX\r\n"},
      {SERVER_MICROSOFT, "Printing directory list for host type: MICROSOFT\r\n"},
      {SERVER_NETWARE, "Printing directory list for host type: NETWARE\r\n"},
      {SERVER_VM, "Printing directory list for host type: UNKNOWN SERVER TYPE\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<std::string> logged;
    HostListing l;
    GenericParseRequest req;
    req.serverType = c.server;
    req.log = [&](std::string_view text) { logged.emplace_back(text); };
    ParseGenericListing(kVsftpdListing, req, &l);
    EXPECT_THAT(logged, ElementsAre(c.line, kVsftpdListing));
  }
}

// ---------------------------------------------------------------------------
// Running out of memory
// ---------------------------------------------------------------------------

TEST(GenericParser, FailedAllocationShowsTheBoxAndKeepsTheRowsSoFar) {
  std::string listing;
  for (int i = 0; i < 5000; ++i)
    listing += "-rw-r--r-- 1 u g 10 Jan 5 2001 file" + std::to_string(i) + ".txt\r\n";
  tarn::testing::ScriptedUi ui;
  HostListing l;
  l.SetMemoryLimit(64 * 1024 + 8 * 1024);  // one arena block and a few rows
  GenericParseRequest req;
  req.directory = "/";
  req.ui = &ui;
  const ParseOutcome outcome = ParseGenericListing(listing, req, &l);
  EXPECT_TRUE(outcome.outOfMemory);
  EXPECT_GT(l.size(), 0u);
  EXPECT_LT(l.size(), 5000u);
  EXPECT_EQ(outcome.rows, l.size());
  EXPECT_EQ(l.Name(l[l.size() - 1]), "file" + std::to_string(l.size() - 1) + ".txt");
  ASSERT_EQ(ui.Boxes().size(), 1u);
  const auto box = ui.Boxes()[0];
  EXPECT_EQ(box.text,
            "Not enough memory is available to process this directory.\r\n\r\nYou may want to "
            "try exiting other applications that are running on your PC and try again.");
  EXPECT_EQ(box.caption, "Error Allocating Memory");
  EXPECT_EQ(box.icon, BoxIcon::kWarning);
}

}  // namespace
}  // namespace tarn::listing
