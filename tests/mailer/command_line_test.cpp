#include "mailer/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailer/messages.h"

namespace mailer {
namespace {

// ---- values ------------------------------------------------------------------

TEST(ParseCommandLine, SplitsAtHyphens) {
  struct Case {
    std::string text;
    MailSettings expected;
  };
  const Case cases[] = {
      // The client writes " -" between values: the blank before each "-" goes.
      {"-127.0.0.1:2525 -me@example.org -you@example.org -report.log",
       {"127.0.0.1:2525", "me@example.org", "you@example.org", "report.log"}},
      {"-mail-me@x-you@x-r.log", {"mail", "me@x", "you@x", "r.log"}},
      // Only one blank is dropped; the other stays part of the value.
      {"-host  -me@x -you@x -r.log", {"host ", "me@x", "you@x", "r.log"}},
      // Blanks inside a value and leading blanks are kept.
      {"-host - me@x -you@x -/tmp/my report.log", {"host", " me@x", "you@x", "/tmp/my report.log"}},
      // A run of "-" is one split; leading "-" are skipped.
      {"---host --me@x -you@x ----r.log", {"host", "me@x", "you@x", "r.log"}},
      // Text before the first "-" is the first value.
      {"host -me@x -you@x -r.log", {"host", "me@x", "you@x", "r.log"}},
      // A hyphen inside a value shifts everything after it.
      {"-mail-relay.example.org -me@x -you@x -r.log",
       {"mail", "relay.example.org", "me@x", "you@x"}},
      // Pieces after the fourth are ignored.
      {"-h -s -r -f -extra -more", {"h", "s", "r", "f"}},
      // A piece of one blank is present (and empty), not missing.
      {"-h -s -r - ", {"h", "s", "r", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    MailSettings got;
    std::string error;
    ASSERT_TRUE(ParseCommandLine(c.text, &got, &error)) << error;
    EXPECT_EQ(got, c.expected);
  }
}

TEST(ParseCommandLine, RefusesWithTheFirstProblem) {
  const std::string oneTooMany = "-h -s -r -" + std::string(kMaxCommandLine - 9, 'x');
  struct Case {
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"", kNoHost},
      {"-", kNoHost},
      {"--- ", kNoSender},  // " " is a (blank) host
      {"-h", kNoSender},
      {"-h -s", kNoReceiver},
      {"-h -s -r", kNoReport},
      {"-h -s -r -", kNoReport},
      {oneTooMany, CommandLineTooLongText(kMaxCommandLine)},
      {"-h -s\n -r -f", LineBreakInValueText()},
      {"-h -s -r\r -f", LineBreakInValueText()},
      {"-h:0 -s -r -f", BadPortText("h:0")},
      {"-h:65536 -s -r -f", BadPortText("h:65536")},
      {"-h:25x -s -r -f", BadPortText("h:25x")},
      {"-h: -s -r -f", BadPortText("h:")},
      {"-:25 -s -r -f", BadPortText(":25")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    MailSettings got;
    std::string error;
    EXPECT_FALSE(ParseCommandLine(c.text, &got, &error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(ParseCommandLine, TakesExactlyTheLongestCommandLine) {
  const std::string text = "-h -s -r -" + std::string(kMaxCommandLine - 10, 'x');
  ASSERT_EQ(text.size(), kMaxCommandLine);
  MailSettings got;
  std::string error;
  EXPECT_TRUE(ParseCommandLine(text, &got, &error)) << error;
  EXPECT_EQ(got.reportPath.size(), kMaxCommandLine - 10);
}

TEST(SplitHostPort, DefaultsToPort25) {
  struct Case {
    std::string host;
    std::string name;
    uint16_t port;
  };
  const Case cases[] = {
      {"mail.example.org", "mail.example.org", 25},
      {"127.0.0.1:2525", "127.0.0.1", 2525},
      {"relay:65535", "relay", 65535},
      {"relay:1", "relay", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    std::string name;
    uint16_t port = 0;
    ASSERT_TRUE(SplitHostPort(c.host, &name, &port));
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(port, c.port);
  }
}

// ---- the two argument forms ----------------------------------------------------

// Separate arguments and the same values as one string give the same result.
TEST(JoinArguments, SeparateAndSingleStringFormsAgree) {
  struct Case {
    std::vector<std::string> separate;
    std::string single;
  };
  const Case cases[] = {
      {{"-127.0.0.1:2525", "-me@example.org", "-you@example.org", "-report.log"},
       "-127.0.0.1:2525 -me@example.org -you@example.org -report.log"},
      {{"-h", "-s", "-r", "-/tmp/my report.log"}, "-h -s -r -/tmp/my report.log"},
      {{"-h", "-s ", "-r", "-f"}, "-h -s  -r -f"},
      {{"-my-host", "-s", "-r", "-f"}, "-my-host -s -r -f"},
      {{"-h", "-s"}, "-h -s"},
      {{}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.single);
    const std::string joined = JoinArguments(c.separate);
    EXPECT_EQ(joined, c.single);
    MailSettings fromSeparate, fromSingle;
    std::string errorSeparate, errorSingle;
    const bool okSeparate = ParseCommandLine(joined, &fromSeparate, &errorSeparate);
    const bool okSingle = ParseCommandLine(JoinArguments({c.single}), &fromSingle, &errorSingle);
    EXPECT_EQ(okSeparate, okSingle);
    EXPECT_EQ(fromSeparate, fromSingle);
    EXPECT_EQ(errorSeparate, errorSingle);
  }
}

// Separate arguments arrive whole: a value may hold "-" and blanks, and
// only the one "-" run that introduces it is taken off.
TEST(ParseArguments, SeparateArgumentsKeepTheirHyphens) {
  struct Case {
    std::vector<std::string> args;
    MailSettings want;
  } cases[] = {
      {{"-mail-relay.example.org:2525", "-me@example.org", "-you@example.org", "-/var/tmp/my-queue.log"},
       {"mail-relay.example.org:2525", "me@example.org", "you@example.org", "/var/tmp/my-queue.log"}},
      {{"--host ", "-me ", "-you ", "-/tmp/a b.log"}, {"host", "me", "you", "/tmp/a b.log"}},
      {{"-h", "-s", "-r", "-f", "-extra"}, {"h", "s", "r", "f"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(JoinArguments(c.args));
    MailSettings got;
    std::string error;
    ASSERT_TRUE(ParseArguments(c.args, &got, &error)) << error;
    EXPECT_EQ(got, c.want);
  }
  // One argument is the single-string form, split at every "-".
  MailSettings got;
  std::string error;
  ASSERT_TRUE(ParseArguments({"-my-host -me -you -r.log"}, &got, &error));
  EXPECT_EQ(got.host, "my");
  EXPECT_EQ(got.sender, "host");
  // A missing value is named as in the single-string form.
  EXPECT_FALSE(ParseArguments({"-h", "-s", "-"}, &got, &error));
  EXPECT_EQ(error, "No receiving email account specified");
}

}  // namespace
}  // namespace mailer
