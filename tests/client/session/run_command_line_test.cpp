#include "client/session/run_command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "client/session/run_log.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

RunCommandLine Line(const std::string& file, const std::string& host = "",
                    const std::string& sender = "", const std::string& receiver = "", int tokens = -1) {
  RunCommandLine l;
  l.scheduleFile = file;
  l.smtpHost = host;
  l.sender = sender;
  l.receiver = receiver;
  l.tokens = tokens >= 0 ? tokens : (!file.empty()) + (!host.empty()) + (!sender.empty()) + (!receiver.empty());
  return l;
}

// ---- The single-string form ---------------------------------------------------

TEST(ParseRunCommandLine, SplitsAtHyphens) {
  struct Case {
    const char* text;
    RunCommandLine want;
  } cases[] = {
      // As the scheduler writes it: one blank before each further "-".
      {"-/q/night.tsc -mail.example.org:25 -ops@example.org -admin@example.org",
       Line("/q/night.tsc", "mail.example.org:25", "ops@example.org", "admin@example.org")},
      {"-/q/night.tsc", Line("/q/night.tsc")},
      {"/q/night.tsc", Line("/q/night.tsc")},
      // Runs of "-" are one separator; leading ones are skipped.
      {"---/q/a.tsc --host---me -you", Line("/q/a.tsc", "host", "me", "you")},
      // Only one trailing blank goes.
      {"-/q/a.tsc  -host", Line("/q/a.tsc ", "host")},
      // A hyphen inside a value splits it: the rest shifts along.
      {"-/q/my-night.tsc -host -me -you", Line("/q/my", "night.tsc", "host", "me")},
      // Pieces after the fourth are ignored.
      {"-a -b -c -d -e", Line("a", "b", "c", "d")},
      {"", Line("", "", "", "", 0)},
      {"---", Line("", "", "", "", 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseRunCommandLine(c.text), c.want);
  }
  EXPECT_TRUE(ParseRunCommandLine("-a -b -c -d").Logging());
  EXPECT_FALSE(ParseRunCommandLine("-a -b -c").Logging());
}

// ---- Separate arguments ----------------------------------------------------------

TEST(ParseRunArguments, EachArgumentIsOneWholeValue) {
  struct Case {
    const char* trace;
    std::vector<std::string> args;
    RunCommandLine want;
  } cases[] = {
      {"scheduler", {"-/q/night.tsc", "-mail.example.org:25", "-ops@example.org", "-admin@example.org"},
       Line("/q/night.tsc", "mail.example.org:25", "ops@example.org", "admin@example.org")},
      {"hyphens and blanks stay", {"-/q/my-night run.tsc", "-smtp-relay.example.org", "-a-b@x", "-c@x"},
       Line("/q/my-night run.tsc", "smtp-relay.example.org", "a-b@x", "c@x")},
      {"one trailing blank", {"-/q/a.tsc ", "-host  ", "-me", "-you"}, Line("/q/a.tsc", "host ", "me", "you")},
      {"file only, with a hyphen", {"-/q/my-night.tsc"}, Line("/q/my-night.tsc")},
      {"lone hyphen then the value", {"-", "/q/a.tsc"}, Line("/q/a.tsc")},
      {"single string in one argument", {"-/q/a.tsc -host -me -you"}, Line("/q/a.tsc", "host", "me", "you")},
      {"not all introduced by -", {"-/q/a.tsc", "host"}, Line("/q/a.tsc host")},
      {"nothing", {}, Line("", "", "", "", 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.trace);
    EXPECT_EQ(ParseRunArguments(c.args), c.want);
  }
}

// ---- Names derived from the path -----------------------------------------------------

TEST(RunLogPath, ReplacesTheFileNamesExtension) {
  struct Case {
    const char* file;
    const char* log;
  } cases[] = {
      {"/var/q/queue.tsc", "/var/q/queue.log"},
      {"/var/q/night.run.tsc", "/var/q/night.run.log"},
      {"/var/q/night", "/var/q/night.log"},
      {"night.tsc", "night.log"},
      {"night", "night.log"},
      {"/var/q/night.", "/var/q/night.log"},
      // A "." in a folder name never moves the log out of the folder.
      {"/var/q.d/night", "/var/q.d/night.log"},
      {"/home/u/.config/tarn/night", "/home/u/.config/tarn/night.log"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(RunLogPath(c.file), c.log);
  }
}

// ---- The run log -------------------------------------------------------------------------

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // 7 March 2024, 09:05:03, one second later on each call.
  RunClock Pinned() {
    return [this] {
      std::tm t{};
      t.tm_year = 124;
      t.tm_mon = 2;
      t.tm_mday = 7;
      t.tm_hour = 9;
      t.tm_min = 5;
      t.tm_sec = 3 + ticks_++;
      return t;
    };
  }
  testing::TempDir tmp_{"tarn-runlog"};
  std::string dir_ = tmp_.Path();
  int ticks_ = 0;
};

TEST_F(RunLogTest, EachWriteIsStampedAndReachesTheFileAtOnce) {
  const std::string path = dir_ + "/night.log";
  std::ofstream(path) << "an older run";
  RunLog log(path, Pinned());
  EXPECT_EQ(Read(path), "an older run");  // untouched before the first write
  log.Write("\r\n\r\nSession: nightly");
  log.Write(" -- Success");
  // Flushed: readable while the log is still open.
  EXPECT_EQ(Read(path),
            "\r\n-->  03/07/2024, 09:05:03\r\n\r\nSession: nightly"
            "\r\n-->  03/07/2024, 09:05:04 -- Success");
  const std::string before = Read(path);
  log.Close();
  log.Write(" -- dropped");
  EXPECT_EQ(Read(path), before);
  EXPECT_FALSE(log.Failed());
}

TEST_F(RunLogTest, UncreatableLogIsSkippedQuietly) {
  RunLog log(dir_ + "/no/such/folder/night.log", Pinned());
  log.Write(" -- Success");
  log.Write(" -- Success");
  EXPECT_TRUE(log.Failed());
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/no"));
}

TEST(RunLogStamp, PadsEveryField) {
  std::tm t{};
  t.tm_year = 99;
  t.tm_mon = 11;
  t.tm_mday = 31;
  t.tm_hour = 23;
  t.tm_min = 59;
  t.tm_sec = 9;
  EXPECT_EQ(RunLogStamp(t), "\r\n-->  12/31/1999, 23:59:09");
}

}  // namespace
}  // namespace tarn
