// The built courel program end to end: its exit status and what it writes
// when there is no display (never a box: the display variables are removed).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/mailer/aiosmtpd_server.h"
#include "tests/mailer/fake_smtp_server.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace mailer_test;
using tarn::testing::ChildProcess;
using tarn::testing::ReadFile;
using tarn::testing::TempDir;
using tarn::testing::WriteFile;

struct Outcome {
  int exit = -1;
  std::string output;  // standard output and error
};

Outcome RunCourelProgram(const TempDir& dir, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {COUREL_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string out = dir.File("courel.out");
  ChildProcess::Options options;
  options.env = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
  options.ownSession = false;
  options.outputFile = out;
  Outcome o;
  {
    ChildProcess courel(argv, options);
    if (!courel.Started()) return o;
    o.exit = courel.Wait(30000);
    if (o.exit == -1) courel.Stop();
  }
  o.output = ReadFile(out);
  return o;
}

TEST(CourelProgram, ExitStatusTellsWhetherTheMailWasAccepted) {
  AiosmtpdServer server;
  std::string why;
  ASSERT_TRUE(server.Start(&why)) << "aiosmtpd is needed for this test: " << why;
  RefusingPort refusing;
  TempDir dir(kCourelDirPrefix, kCourelDirBase);
  const std::string report = dir.File("report.log");
  WriteFile(report, "Run finished\r\n");
  const std::string hyphenated = dir.File("my-queue.log");
  WriteFile(hyphenated, "Run finished\r\n");

  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exit;
    std::string output;  // contained in what courel wrote
    size_t delivered;
  };
  const Case cases[] = {
      {"separate arguments",
       {"-" + server.host(), "-me@example.org", "-you@example.org", "-" + report}, 0, "", 1},
      {"separate arguments keep their hyphens",
       {"-" + server.host(), "-me@example.org", "-you@example.org", "-" + hyphenated}, 0, "", 1},
      {"one argument",
       {"-" + server.host() + " -me@example.org -you@example.org -" + report}, 0, "", 1},
      {"connection refused",
       {"-" + refusing.host(), "-me@example.org", "-you@example.org", "-" + report}, 1,
       "courel: Could not establish connection to server\n", 0},
      {"missing report file",
       {"-" + server.host(), "-me@example.org", "-you@example.org", "-" + report + "x"}, 1,
       "courel: " + report + "x was not found.\n", 0},
      {"missing receiver", {"-" + server.host(), "-me@example.org"}, 2,
       "courel: No receiving email account specified\n", 0},
      {"no arguments", {}, 2, "courel: No SMTP host specified\n", 0},
      {"help", {"--help"}, 0, "Usage: courel -HOST[:PORT] -SENDER -RECEIVER -REPORTFILE\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = RunCourelProgram(dir, c.args);
    EXPECT_EQ(o.exit, c.exit) << o.output;
    if (c.output.empty()) {
      EXPECT_THAT(o.output, IsEmpty());
    } else {
      EXPECT_THAT(o.output, HasSubstr(c.output));
    }
    EXPECT_EQ(server.TakeMessages().size(), c.delivered);
  }
}

}  // namespace
