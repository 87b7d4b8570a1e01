// tarn-cli parse: a saved listing in, one tab-separated line per row out,
// for the generic dialects and the mainframe views.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "client/cli/parse_command.h"
#include "tests/support/temp_dir.h"

namespace tarn::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class ParseCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
  }
  std::string Save(const std::string& text) {
    const std::string path = dir_ + "/listing.txt";
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Runs the command; returns {ok, out, err}.
  std::tuple<bool, std::string, std::string> Run(std::vector<std::string> args) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const bool ok = RunParseCommand(args, out, err);
    return {ok, Slurp(out), Slurp(err)};
  }

  static std::string Slurp(std::FILE* f) {
    std::string s;
    std::rewind(f);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
    std::fclose(f);
    return s;
  }

  testing::TempDir tmp_{"tarn-parse"};
  std::string dir_ = tmp_.Path();
};

TEST_F(ParseCommandTest, PrintsOneLinePerRow) {
  const std::string file = Save(
      "total 8\r\n"
      "drwxr-xr-x    2 0        0            4096 Jan 05  2001 pub\r\n"
      "-rw-r--r--    1 1001     1001      1234567 Feb 28  2002 big file.bin\r\n"
      "lrwxrwxrwx    1 0        0               7 Mar 01  2003 bin -> usr/bin\r\n"
      "-rw-r--r--    1 0        0               0 Apr 02  2004 empty\r\n");
  auto [ok, out, err] = Run({file, "--locale", "C"});
  EXPECT_TRUE(ok) << err;
  EXPECT_EQ(out,
            "pub\t/pub\t1\t\t0\trwxr-xr-x\t2001-01-05 00:00\t1\n"
            "big file.bin\t/big file.bin\t0\t1,206KB\t1234567\trw-r--r--\t2002-02-28 00:00\t1\n"
            "bin\t/bin\t1\t\t0\trwxrwxrwx\t2003-03-01 00:00\t1\n"
            "empty\t/empty\t0\t0KB\t0\trw-r--r--\t2004-04-02 00:00\t1\n");
}

TEST_F(ParseCommandTest, HostDirectoryAndCaseOptions) {
  const std::string file = Save(
      "12-19-02  10:15AM       <DIR>          Program Files\r\n"
      "01-05-01  09:00PM                 1025 Notes.XYZ\r\n");
  auto [ok, out, err] = Run({file, "--host", "microsoft", "--dir", "/data", "--case", "U",
                             "--locale", "C", "--mime", dir_ + "/no-mime"});
  EXPECT_TRUE(ok) << err;
  EXPECT_EQ(out,
            "PROGRAM FILES\t/data/Program Files\t1\t\t0\tFile Folder\t2002-12-19 10:15\t1\n"
            "NOTES.XYZ\t/data/Notes.XYZ\t0\t2KB\t1025\tXYZ File\t2001-01-05 21:00\t1\n");
}

// A name holding control characters cannot split the line or reach the
// terminal as it stands.
TEST_F(ParseCommandTest, ControlCharactersAreEscaped) {
  const std::string file = Save("-rw-r--r-- 1 u g 1 Jan 05 2001 a\x1b[2Jb\x7f\r\n");
  auto [ok, out, err] = Run({file, "--locale", "C"});
  EXPECT_TRUE(ok) << err;
  EXPECT_EQ(out, "a\\x1B[2Jb\\x7F\t/a\\x1B[2Jb\\x7F\t0\t1KB\t1\trw-r--r--\t2001-01-05 00:00\t1\n");
}

TEST_F(ParseCommandTest, BadUsage) {
  const std::string file = Save("");
  const std::vector<std::vector<std::string>> bad = {
      {},
      {file, "--host", "vms"},
      {file, "--case", "X"},
      {file, "--locale", "de_DE"},
      {file, "--dir"},
      {file, "extra"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(::testing::PrintToString(args));
    auto [ok, out, err] = Run(args);
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, "");
    EXPECT_THAT(err, ::testing::HasSubstr("usage: parse FILE"));
  }
  auto [ok, out, err] = Run({dir_ + "/missing"});
  EXPECT_FALSE(ok);
  EXPECT_THAT(err, ::testing::HasSubstr("cannot be opened"));
}

// ---------------------------------------------------------------------------
// parse
// ---------------------------------------------------------------------------

// The parse command on mainframe listings: the text saved, the pinned
// locale, the rows with their own cells.
class MainframeParseTest : public ParseCommandTest {
 protected:
  std::tuple<bool, std::string, std::string> Parse(const std::string& text, std::vector<std::string> args) {
    args.insert(args.begin(), Save(text));
    args.push_back("--locale");
    args.push_back("C");
    return Run(args);
  }
};

TEST_F(MainframeParseTest, MvsDatasetsMembersAndLoadModules) {
  auto [ok, out, err] = Parse(
      "Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname\r\n"
      "WORK01 3390   2002/12/19  1   15  FB      80  6160  PO  CNTL\r\n"
      "Migrated                                                OLD\r\n",
      {"--host", "mvs", "--dir", "USER"});
  EXPECT_TRUE(ok) << err;
  EXPECT_EQ(out,
            "USER.CNTL\tUSER.CNTL\t1\t\t0\tPDS\t2002-12-19 00:00\t4\tWORK01\t3390\t2002/12/19\t1\t15\tFB\t80\t6160\tPO\n"
            "USER.OLD\tUSER.OLD\t0\t?KB\t0\tMigrated\t\t7\tMigrated\t\t\t\t\t\t\t\t\n");

  std::tie(ok, out, err) =
      Parse("ALLOCJCL  01.03 2002/12/01 2002/12/19 10:15   120   100     5 USER1\r\n",
            {"--host", "mvs", "--dir", "USER.CLIST", "--kind", "5", "--lrecl", "255"});
  EXPECT_TRUE(ok) << err;
  EXPECT_EQ(out, "ALLOCJCL.CLIST\tUSER.CLIST(ALLOCJCL)\t0\t< 30KB\t30600\tPDS Member\t2002-12-19 10:15\t5\tUSER1\t01.03\n");

  std::tie(ok, out, err) =
      Parse("IEFBR14   000A10 00000F          00 FO             RN RU            31    ANY\r\n",
            {"--host", "mvs", "--dir", "USER.LOAD", "--kind", "6"});
  EXPECT_TRUE(ok) << err;
  EXPECT_EQ(out, "IEFBR14.LOAD\tUSER.LOAD(IEFBR14)\t0\t~3KB\t2576\tObject/Load Module\t\t6\t00000F\t\t00\tFO             RN RU\t31\tANY\n");
}

TEST_F(MainframeParseTest, VmAndVseViews) {
  auto [ok, out, err] =
      Parse("PROFILE  EXEC     V         68          9          1 2002-12-19 10:15:30\r\n",
            {"--host", "vm", "--dir", "MAINT.191", "--mime", dir_ + "/none"});
  EXPECT_TRUE(ok) << err;
  EXPECT_EQ(out, "PROFILE.EXEC\tMAINT.191(PROFILE.EXEC)\t0\t~4KB\t4096\tEXEC File\t2002-12-19 10:15\t1\n");

  std::tie(ok, out, err) = Parse("CONFIG <SUB LIBRARY> 12 34 2002-12-19 10:15\r\n",
                                 {"--host", "vse", "--dir", "\\PRD2", "--vse-kind", "12"});
  EXPECT_TRUE(ok) << err;
  EXPECT_EQ(out, "CONFIG\t\\PRD2.CONFIG\t1\t\t0\t<SUB LIBRARY>\t\t13\t<SUB LIBRARY>\t12\t34\t2002-12-19\t10:15\n");

  std::tie(ok, out, err) = Parse("PRD2 <LIBRARY>\r\nREADME\r\n", {"--host", "vse"});
  EXPECT_TRUE(ok) << err;
  EXPECT_EQ(out, "PRD2\t\\PRD2\t1\t\t0\t<LIBRARY>\t\t12\t<LIBRARY>\nREADME\t\\README\t0\t\t0\t\t\t0\t\n");
}

TEST_F(MainframeParseTest, NumbersMustBeNumbers) {
  for (const char* option : {"--kind", "--vse-kind", "--lrecl"}) {
    SCOPED_TRACE(option);
    auto [ok, out, err] = Parse("X\r\n", {"--host", "mvs", option, "4x"});
    EXPECT_FALSE(ok);
    EXPECT_THAT(err, HasSubstr("takes a number"));
  }
}

}  // namespace
}  // namespace tarn::cli
