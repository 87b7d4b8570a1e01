// tarn-cli's start-up and its .reg import: the built program in a directory
// of its own, no server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/cli/cli_fixture.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using testing::ProgramResult;

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kSessions = "[HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\";

class CliStartupTest : public testing::CliFixture {
 protected:
  // Runs tarn-cli with `dir_` as its current directory.
  ProgramResult Cli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", dir_,
                                     TARN_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return testing::RunProgram(argv, Env(), "", 60000);
  }
  std::string ReadFile(const std::string& name) { return Read(Path(name)); }
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

}  // namespace
}  // namespace tarn
