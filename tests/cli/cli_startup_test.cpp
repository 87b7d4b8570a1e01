// tarn-cli's start-up, its .reg import and its progress figures: the built
// program in a directory of its own, no server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "client/cli/console_ui.h"
#include "tests/support/run_program.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using testing::ProgramResult;

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kSessions = "[HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\";

class CliStartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarn-cli-start-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Runs tarn-cli with `dir_` as its current directory.
  ProgramResult Cli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", dir_,
                                     TARN_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return testing::RunProgram(argv, {"TARN_CONFIG_DIR=" + dir_ + "/config", "TARN_PASSWORD="},
                               "", 60000);
  }
  std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string ReadFile(const std::string& name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  std::string dir_;
};

// ---- start-up -------------------------------------------------------------------

TEST_F(CliStartupTest, EveryRunStartsTarnLogAndConvertsOldPasswords) {
  WriteFile("Tarn.log", "the last run's transcript\r\n");
  // A session of the older release, imported while no session exists yet:
  // the conversion waits for sessions, so the next start does it.
  const std::string old = WriteFile(
      "old.reg", kHeader + kSessions + "Old]\r\n\"HostName\"=\"127.0.0.1\"\r\n"
                             "\"Password(encrypted)\"=hex:41,42,43\r\n");
  ASSERT_EQ(Cli({"reg", "import", old}).status, 0);
  EXPECT_THAT(ReadFile("Tarn.log"), StartsWith("\r\n*****"));
  EXPECT_THAT(ReadFile("Tarn.log"), HasSubstr("Tarn File Transfer Connection Log (created "));
  EXPECT_THAT(ReadFile("Tarn.log"), Not(HasSubstr("last run")));

  ASSERT_EQ(Cli({"sessions"}).status, 0);
  auto values = Cli({"reg", "list", "Software\\Ostravel\\Tarn\\Sessions\\Old"});
  EXPECT_THAT(values.out, HasSubstr("HostName"));
  EXPECT_THAT(values.out, Not(HasSubstr("Password(encrypted)")));
  auto marker = Cli({"reg", "list", "Software\\Ostravel\\Tarn\\Application"});
  EXPECT_THAT(marker.out, HasSubstr("\\PwdConverted\n"));
}

// ---- reg import ------------------------------------------------------------------

TEST_F(CliStartupTest, ImportedSessionsAreListedBesideTheOldOnes) {
  ASSERT_EQ(Cli({"reg", "import", WriteFile("a.reg", kHeader + kSessions + "Zed]\r\n")}).status, 0);
  // The first listing writes HostIndex; the next import must join it.
  ASSERT_EQ(Cli({"sessions"}).out, "Zed\n");
  auto imp = Cli({"reg", "import",
                  WriteFile("b.reg", kHeader + kSessions + "Beta]\r\n" + kSessions + "Alpha]\r\n" +
                                         kSessions + "zed]\r\n")});
  ASSERT_EQ(imp.status, 0) << imp.err;
  EXPECT_EQ(Cli({"sessions"}).out, "Zed\nBeta\nAlpha\n");
}

TEST_F(CliStartupTest, RefusedLinesFailTheImport) {
  struct Case {
    const char* label;
    std::string file;
    std::string said;       // on standard error
    std::string sessions;   // listed afterwards
  };
  const Case cases[] = {
      // The good lines are taken, but the run says the file was not.
      {"garbage after good lines",
       kHeader + kSessions + "Kept]\r\n\"HostName\"=\"h\"\r\ngarbage\r\n",
       "line 5: not a key or value line", "Kept\n"},
      {"garbage only", kHeader + "garbage\r\n", "nothing imported: every line was refused", ""},
      {"key line without ]", kHeader + kSessions + "Lost\r\n\"HostName\"=\"h\"\r\n",
       "line 3: key line without ']'", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::filesystem::remove_all(dir_ + "/config");
    auto r = Cli({"reg", "import", WriteFile("bad.reg", c.file)});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr(c.said));
    EXPECT_EQ(Cli({"sessions"}).out, c.sessions);
  }
  // Nothing at all was written from the last file.
  EXPECT_EQ(Cli({"reg", "export", "Software\\Ostravel\\Tarn\\Sessions"}).status, 1);
}

// ---- progress ---------------------------------------------------------------------

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
