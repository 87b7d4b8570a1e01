// The SMTP conversation against a scripted server: exact bytes on the wire,
// replies in odd shapes, and what a person is told when a step fails.
#include "mailer/smtp_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailer/courel_run.h"
#include "mailer/messages.h"
#include "mailer/report_file.h"
#include "tests/mailer/fake_smtp_server.h"
#include "tests/support/temp_dir.h"

namespace mailer {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using mailer_test::FakeSmtpServer;
using mailer_test::kCloseNow;
using mailer_test::kNoAnswer;
using mailer_test::kPause;
using mailer_test::RefusingPort;

constexpr char kHeader[] =
    "From: me@example.org\r\n"
    "To: you@example.org\r\n"
    "Subject: Testing e-mail connection\r\n"
    "X-Priority: 3\r\n"
    "X-MailPriority: Normal\r\n"
    "X-Mailer: Mervo ver. 1.02\r\n"
    "\r\n";

// What the client sends for an empty report, one element per awaited reply.
const std::vector<std::string> kEmptyReportSends = {
    "HELO me@example.org\r\n",  "MAIL From:<me@example.org>\r\n",
    "RCPT TO:<you@example.org>\r\n", "DATA\r\n",
    std::string(kHeader) + ".\r\n", "QUIT \r\n",
};

// The first `n` elements of kEmptyReportSends, joined.
std::string SendsUpTo(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += kEmptyReportSends[i];
  return s;
}

const std::vector<std::string> kAccepting = {
    "220 mail.example.org ESMTP\r\n", "250 mail.example.org\r\n", "250 2.1.0 Ok\r\n",
    "250 2.1.5 Ok\r\n",               "354 End data with <CR><LF>.<CR><LF>\r\n",
    "250 2.0.0 Ok: queued\r\n",       "221 2.0.0 Bye\r\n",
};

class RecordingNotice : public Notice {
 public:
  void Show(const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

class CourelRunTest : public ::testing::Test {
 protected:
  // Runs courel against `host` with a report of `content`.
  int Run(const std::string& host, const std::string& content, int timeoutMs = 10000) {
    const std::string path = dir_.File("report.log");
    tarn::testing::WriteFile(path, content);
    return RunCourel("-" + host + " -me@example.org -you@example.org -" + path, net_, notice_,
                     timeoutMs);
  }

  tarn::testing::TempDir dir_{"coureltest", tarn::testing::TempDir::Base::kNoDashTmp};
  platform::Net net_;
  RecordingNotice notice_;
};

// ---- the transcript ----------------------------------------------------------------

TEST_F(CourelRunTest, SendsEveryCommandExactlyAsWritten) {
  FakeSmtpServer server(kAccepting);
  EXPECT_EQ(Run(server.host(), "Run started\r\n.\r\n..two dots\r\n\r\n.last"), kExitDelivered);
  EXPECT_THAT(notice_.shown, IsEmpty());
  // Lines starting with "." go out with the dot doubled; the empty line
  // stays empty; the last line gets its CR LF.
  EXPECT_EQ(server.Received(),
            "HELO me@example.org\r\n"
            "MAIL From:<me@example.org>\r\n"
            "RCPT TO:<you@example.org>\r\n"
            "DATA\r\n" +
                std::string(kHeader) +
                "Run started\r\n"
                "..\r\n"
                "...two dots\r\n"
                "\r\n"
                "..last\r\n"
                ".\r\n"
                "QUIT \r\n");
}

TEST_F(CourelRunTest, ReadsEachReplyToItsLastLine) {
  struct Case {
    const char* name;
    size_t step;  // which reply of kAccepting is replaced
    std::string reply;
  };
  const Case cases[] = {
      {"multi-line greeting", 0, "220-mail.example.org ESMTP\r\n220-no UCE\r\n220 ready\r\n"},
      {"greeting in segments", 0, "220-first\r" + kPause + "\n22" + kPause + "0 ready\r\n"},
      {"multi-line HELO reply", 1, "250-mail.example.org\r\n250-SIZE 1000\r\n" + kPause + "250 HELP\r\n"},
      {"code split from text", 2, "25" + kPause + "0 Ok\r\n"},
      {"bare LF", 3, "250-Ok\n250 Ok\n"},
      {"multi-line DATA reply", 4, "354-go on\r\n354 end with .\r\n"},
      {"QUIT reply cut by the close", 6, "221 Bye" + kCloseNow},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> script = kAccepting;
    script[c.step] = c.reply;
    FakeSmtpServer server(script);
    EXPECT_EQ(Run(server.host(), ""), kExitDelivered);
    EXPECT_THAT(notice_.shown, IsEmpty());
    EXPECT_EQ(server.Received(), SendsUpTo(6));
    notice_.shown.clear();
  }
}

// ---- failures ----------------------------------------------------------------------

TEST_F(CourelRunTest, FailedStepShowsTheReplyTextAndNeverQuits) {
  struct Case {
    size_t step;  // the reply of kAccepting that is replaced
    std::string reply;
    std::string shown;
  };
  const Case cases[] = {
      {0, "421 busy\r\n", "Service not available; closing transmission channel"},
      // Only the exact code counts.
      {0, "250 hello\r\n", "Requested mail action okay, completed"},
      {1, "501 bad HELO\r\n", "Syntax error in parameters or arguments"},
      {2, "251 forwarded\r\n", "User not local: will forward to forward path"},
      {2, "553 bad sender\r\n",
       "Requested mail action not taken; mailbox name not allowed (incorrect mailbox syntax)"},
      // The last line's code decides, not the first.
      {2, "250-fine\r\n550 after all\r\n",
       "Requested action not taken: mailbox unavailable (not found or no access)"},
      {4, "554 no\r\n", "Transaction failed"},
      {5, "552 full\r\n", "Requested mail action aborted; exceeded storage allocation limit"},
      {6, "250 what\r\n", "Requested mail action okay, completed"},
      {6, "299 odd\r\n", "299: Not a valid error number for SMTP protocol"},
      // Codes the table lacks carry the server's own words.
      {2, "451 4.3.0 Try again later\r\n", "451: 4.3.0 Try again later"},
      {5, "452-4.3.1 Insufficient\r\n452 system storage\r\n",
       "452: 4.3.1 Insufficient\nsystem storage"},
      {1, "hello\r\n", "0: Not a valid error number for SMTP protocol"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    std::vector<std::string> script(kAccepting.begin(), kAccepting.begin() + c.step);
    script.push_back(c.reply);
    FakeSmtpServer server(script);
    EXPECT_EQ(Run(server.host(), ""), kExitNotDelivered);
    EXPECT_THAT(notice_.shown, ElementsAre(c.shown));
    // Nothing after the failed step: no QUIT.
    EXPECT_EQ(server.Received(), SendsUpTo(c.step));
    notice_.shown.clear();
  }
}

// The RCPT reply is not examined; the DATA reply decides.
TEST_F(CourelRunTest, RefusedReceiverStillGoesOnToData) {
  struct Case {
    std::string dataReply;
    int exit;
    std::vector<std::string> shown;
    size_t sends;
  };
  const std::vector<Case> cases = {
      {"503 5.5.1 Error: need RCPT command\r\n", kExitNotDelivered, {"Bad sequence of commands"}, 4},
      {"554 5.5.1 Error: no valid recipients\r\n", kExitNotDelivered, {"Transaction failed"}, 4},
      {"354 go ahead anyway\r\n", kExitDelivered, {}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dataReply);
    std::vector<std::string> script = kAccepting;
    script[3] = "550 5.1.1 <you@example.org>: Recipient address rejected\r\n";
    script[4] = c.dataReply;
    FakeSmtpServer server(script);
    EXPECT_EQ(Run(server.host(), ""), c.exit);
    EXPECT_EQ(notice_.shown, c.shown);
    EXPECT_EQ(server.Received(), SendsUpTo(c.sends));
    notice_.shown.clear();
  }
}

TEST_F(CourelRunTest, ConnectionEndingBeforeAReplyIsReported) {
  struct Case {
    std::vector<std::string> script;
    std::string received;
  };
  const Case cases[] = {
      {{kCloseNow}, ""},
      {{"220 hi\r\n", kCloseNow}, SendsUpTo(1)},
      {{"220 hi\r\n", "250-half a reply\r\n" + kCloseNow}, SendsUpTo(1)},
      {{"220 hi\r\n", "250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n", kCloseNow},
       SendsUpTo(5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.script));
    FakeSmtpServer server(c.script);
    EXPECT_EQ(Run(server.host(), ""), kExitNotDelivered);
    EXPECT_THAT(notice_.shown, ElementsAre(kConnectionClosed));
    EXPECT_EQ(server.Received(), c.received);
    notice_.shown.clear();
  }
}

// A report far larger than the socket buffers meets the close while its
// lines are sent, not at the end of data.
TEST_F(CourelRunTest, ServerClosingWhileTheReportIsSentIsNamed) {
  std::string report;
  for (int i = 0; i < 40000; ++i) report += "line " + std::to_string(i) + std::string(90, '.') + "\r\n";
  std::vector<std::string> script(kAccepting.begin(), kAccepting.begin() + 4);
  script.push_back("354 go\r\n" + kCloseNow);
  FakeSmtpServer server(script);
  EXPECT_EQ(Run(server.host(), report), kExitNotDelivered);
  EXPECT_THAT(notice_.shown, ElementsAre(kConnectionClosed));
  EXPECT_EQ(server.Received().rfind(SendsUpTo(4), 0), 0u);
}

// A multi-line reply that never ends is given up at its limit, however long
// the server keeps sending.
TEST_F(CourelRunTest, EndlessReplyIsGivenUpAtItsLimit) {
  const std::string line = "220-" + std::string(96, 'x') + "\r\n";
  std::string endless;
  while (endless.size() <= kMaxReplyBytes) endless += line;
  FakeSmtpServer server({endless + endless});
  EXPECT_EQ(Run(server.host(), ""), kExitNotDelivered);
  EXPECT_THAT(notice_.shown, ElementsAre(kReplyTooLong));
  EXPECT_EQ(server.Received(), "");
}

TEST_F(CourelRunTest, SilentServerEndsAtTheTimeLimit) {
  FakeSmtpServer server({"220 hi\r\n", kNoAnswer});
  EXPECT_EQ(Run(server.host(), "", 300), kExitNotDelivered);
  EXPECT_THAT(notice_.shown, ElementsAre("No reply from server within 1 second"));
  EXPECT_EQ(server.Received(), SendsUpTo(1));
}

TEST_F(CourelRunTest, RefusedConnectionIsReported) {
  RefusingPort port;
  EXPECT_EQ(Run(port.host(), "report\r\n"), kExitNotDelivered);
  EXPECT_THAT(notice_.shown, ElementsAre("Could not establish connection to server"));
}

// A report that cannot be mailed whole is refused before any connection: the
// refusing port would add its own message if one were tried.
TEST_F(CourelRunTest, ReportProblemsStopBeforeConnecting) {
  RefusingPort port;
  const std::string path = dir_.File("report.log");
  tarn::testing::WriteFile(path, "ok\r\n" + std::string(kMaxLineLength + 1, 'x') + "\r\n");
  const std::string missing = dir_.File("missing.log");
  struct Case {
    std::string report;
    std::string shown;
  };
  const Case cases[] = {
      {missing, missing + " was not found."},
      {path, LineTooLongText(path, 2, kMaxLineLength)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    EXPECT_EQ(RunCourel("-" + port.host() + " -me@example.org -you@example.org -" + c.report,
                        net_, notice_),
              kExitNotDelivered);
    EXPECT_THAT(notice_.shown, ElementsAre(c.shown));
    notice_.shown.clear();
  }
}

TEST_F(CourelRunTest, IncompleteCommandLineIsAUsageError) {
  EXPECT_EQ(RunCourel("-127.0.0.1 -me@example.org", net_, notice_), kExitUsage);
  EXPECT_THAT(notice_.shown, ElementsAre(kNoReceiver));
}

// ---- reply texts ---------------------------------------------------------------------

// Every code of the reply table, and codes outside it, met at the greeting
// (220 itself as the HELO reply).
TEST(SmtpSession, ShowsTheTextOfEachReplyCode) {
  struct Case {
    std::string reply;
    std::string text;
  };
  const Case cases[] = {
      {"211 x", "System status or system help reply"},
      {"214 x", "Help Message"},
      {"220 x", "Service is ready"},
      {"221 x", "Service closing transmission channel"},
      {"250 x", "Requested mail action okay, completed"},
      {"251 x", "User not local: will forward to forward path"},
      {"354 x", "Start mail input; end with <CRLF>.<CRLF>"},
      {"421 x", "Service not available; closing transmission channel"},
      {"450 x", "Requested mail action not taken: mailbox unavailable (busy)"},
      {"500 x", "Syntax error; command unrecognized"},
      {"501 x", "Syntax error in parameters or arguments"},
      {"502 x", "Command not implemented"},
      {"503 x", "Bad sequence of commands"},
      {"504 x", "Command parameter not implemented"},
      {"550 x", "Requested action not taken: mailbox unavailable (not found or no access)"},
      {"551 x", "User not local; please try forward path"},
      {"552 x", "Requested mail action aborted; exceeded storage allocation limit"},
      {"553 x",
       "Requested mail action not taken; mailbox name not allowed (incorrect mailbox syntax)"},
      {"554 x", "Transaction failed"},
      // A well-formed code the table lacks shows the server's words, with
      // bytes that would steer a terminal made harmless; without words, or
      // with a code SMTP cannot send, the table's fallback stays.
      {"252 x", "252: x"},
      {"451", "451: Not a valid error number for SMTP protocol"},
      {"452  \x1b[2J wiped\x07 ", "452: ?[2J wiped?"},
      {"455 no", "455: no"},
      {"261 odd", "261: Not a valid error number for SMTP protocol"},
      {"299 odd", "299: Not a valid error number for SMTP protocol"},
      {"600 x", "600: Not a valid error number for SMTP protocol"},
      {"999", "999: Not a valid error number for SMTP protocol"},
      {"2x0 x", "2: Not a valid error number for SMTP protocol"},
      {"", "0: Not a valid error number for SMTP protocol"},
  };
  platform::Net net;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    const bool atHelo = c.reply.rfind("220", 0) == 0;
    std::vector<std::string> script = {c.reply + "\r\n"};
    if (atHelo) script = {"220 hi\r\n", c.reply + "\r\n"};
    FakeSmtpServer server(script);
    {
      SmtpSession session(net, server.host(), "me@example.org", 10000);
      EXPECT_FALSE(session.Connect());
      EXPECT_EQ(session.Error(), SmtpError::kUnexpectedReply);
      EXPECT_EQ(session.ErrorText(), c.text);
    }
    server.Received();
  }
}

TEST(SmtpSession, KeepsEveryLineOfAReply) {
  FakeSmtpServer server({"220-one\r\n220-two\r\n220 three\r\n", "250-a\r\n" + kPause + "251 b\r\n"});
  platform::Net net;
  SmtpSession session(net, server.host(), "me@example.org", 10000);
  EXPECT_FALSE(session.Connect());
  EXPECT_EQ(session.LastReply().code, 251);
  EXPECT_THAT(session.LastReply().lines, ElementsAre("250-a", "251 b"));
}

}  // namespace
}  // namespace mailer
