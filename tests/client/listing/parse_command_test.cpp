// tarn-cli parse: a saved listing in, one tab-separated line per row out.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "client/cli/parse_command.h"

namespace tarn::cli {
namespace {

namespace fs = std::filesystem;

class ParseCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarn-parse-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { fs::remove_all(dir_); }

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

  std::string dir_;
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

}  // namespace
}  // namespace tarn::cli
