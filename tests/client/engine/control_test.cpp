#include "client/engine/control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "tests/support/engine_fixture.h"
#include "tests/support/refusing_port.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::EngineTest;

class ControlTest : public EngineTest {};

// ---- Reading replies -------------------------------------------------------

TEST_F(ControlTest, MultiLineReplyEndsAtItsClosingLine) {
  srv_.Send("230-Welcome\r\n230-to the host\r\n230 Logged in.\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetReply(c_, s), kReplyComplete);
  EXPECT_EQ(c_.iReplyCode, 230);
  EXPECT_STREQ(c_.cReply, "230 Logged in.");
  EXPECT_TRUE(srv_.Finish());
}

TEST_F(ControlTest, LineSplitOverSegmentsIsJoined) {
  srv_.SendSplit("220 Service ready for new user.\r\n", {2, 5, 9, 1}, 30);
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetReply(c_, s), kReplyComplete);
  EXPECT_STREQ(c_.cReply, "220 Service ready for new user.");
  EXPECT_TRUE(srv_.Finish());
}

TEST_F(ControlTest, LineWithoutNumberContinuesTheReply) {
  srv_.Send("220-first\r\nno number here\r\n220 last\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetReply(c_, s), kReplyComplete);
  EXPECT_EQ(c_.iReplyCode, 220);
  EXPECT_STREQ(c_.cReply, "220 last");
}

TEST_F(ControlTest, NumberedLineInsideReplyEndsItEarly) {
  // The system's reader takes any "NNN " line as the end of a top-level
  // reply; the rest is read as the next reply.
  srv_.Send("230-start\r\n150 inner\r\n230 end\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetReply(c_, s), kReplyPreliminary);
  EXPECT_STREQ(c_.cReply, "150 inner");
  EXPECT_EQ(FtpGetReply(c_, s), kReplyComplete);
  EXPECT_STREQ(c_.cReply, "230 end");
}

TEST_F(ControlTest, LongLineIsCutAndTheRestReadAsNextLine) {
  std::string line = "200 " + std::string(5000, 'x') + "\r\n";
  srv_.Send(line);
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetReplyLine(c_, s), 200);
  size_t first = strlen(c_.cReply);
  EXPECT_GE(first, kReplyLineCut);
  EXPECT_LT(first, kReplyLineCut + kReplyPeek);
  EXPECT_EQ(FtpGetReplyLine(c_, s), 0);  // "xxx..." has no code
  EXPECT_EQ(first + strlen(c_.cReply), line.size() - 2);
}

TEST_F(ControlTest, TrailingBlanksAreStrippedButNotBelowTwo) {
  srv_.Send("200 ok   \r\n1 \r\n");
  platform::Socket s = Connect();
  FtpGetReplyLine(c_, s);
  EXPECT_STREQ(c_.cReply, "200 ok");
  FtpGetReplyLine(c_, s);
  EXPECT_STREQ(c_.cReply, "1 ");
}

// The server stays silent until the test releases it, so only the reply
// limit can end the wait: the watchdog's line shows that it did.
TEST_F(ControlTest, SilentServerEndsWithWatchdogLineAndClassSix) {
  c_.iReplyTimeout = 300;
  srv_.Hold();
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetReply(c_, s), kReplyAborted);
  srv_.Release();
  EXPECT_EQ(c_.iReplyCode, 421);
  EXPECT_EQ(c_.bAbort, 1);
  EXPECT_THAT(Log(), HasSubstr("Timer cancelled blocking call"));
}

// The reply is there to be read: an aborted read answers 421 without taking
// it, and the same reply is read whole once the flag is clear.
TEST_F(ControlTest, AbortFlagAnswersAtOnceWithoutReading) {
  c_.iReplyTimeout = 600000;
  srv_.Send("200 ready\r\n").Hold();
  platform::Socket s = Connect();
  c_.bAbort = 1;
  EXPECT_EQ(FtpGetReply(c_, s), kReplyAborted);
  EXPECT_EQ(c_.iReplyCode, 421);
  c_.bAbort = 0;
  EXPECT_EQ(FtpGetReply(c_, s), kReplyComplete);
  EXPECT_STREQ(c_.cReply, "200 ready");
  srv_.Release();
}

TEST_F(ControlTest, ServerClosingMidReplyIsConnectionLost) {
  srv_.Send("220-partial\r\n220-more").Close();
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetReply(c_, s), kReplyAborted);
  EXPECT_EQ(c_.bAbort, 1);
}

TEST_F(ControlTest, EndlessGarbageGivesUpInsteadOfReadingForever) {
  app_.settings.bDebugLog = false;
  c_.iReplyTimeout = 5000;
  // 20 MB without a line end: no reply can be made of it.
  std::string chunk(1 << 20, 'g');
  for (int i = 0; i < 20; ++i) srv_.Send(chunk);
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetReply(c_, s), kReplyAborted);
  EXPECT_THAT(Log(), HasSubstr("Reply too long"));
}

// ---- Sending commands -----------------------------------------------------

// A password typed as "quote pass X" is as secret as the log-on's.
TEST_F(ControlTest, PasswordsAreMaskedInAnyLetterCase) {
  srv_.On("PASS s3cret", "230 ok\r\n")
      .On("ACCT acct9", "202 ok\r\n")
      .On("pass s3cret", "230 ok\r\n")
      .On("Acct acct8", "202 ok\r\n")
      .On("PASSIVE", "500 unknown\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpCommand(c_, s, "PASS %s", "s3cret"), kReplyComplete);
  EXPECT_EQ(FtpCommand(c_, s, "ACCT %s", "acct9"), kReplyComplete);
  EXPECT_EQ(FtpCommand(c_, s, "pass %s", "s3cret"), kReplyComplete);
  EXPECT_EQ(FtpCommand(c_, s, "Acct %s", "acct8"), kReplyComplete);
  EXPECT_EQ(FtpCommand(c_, s, "PASSIVE"), kReplyPermanent);
  EXPECT_TRUE(srv_.Finish());
  std::string log = Log();
  EXPECT_THAT(log, HasSubstr("PASS xxxxxx\r\n"));
  EXPECT_THAT(log, HasSubstr("ACCT xxxxxx\r\n"));
  EXPECT_THAT(log, Not(HasSubstr("s3cret")));
  EXPECT_THAT(log, Not(HasSubstr("acct9")));
  EXPECT_THAT(log, Not(HasSubstr("acct8")));
  // Only the commands themselves: a word that merely begins alike is shown.
  EXPECT_THAT(log, HasSubstr("PASSIVE\r\n"));
}

TEST_F(ControlTest, BusyConnectionRefusesAllButQuit) {
  srv_.On("QUIT", "221 bye\r\n");
  platform::Socket s = Connect();
  c_.iBusy = 1;
  EXPECT_EQ(FtpCommand(c_, s, "NOOP"), kReplyNone);
  EXPECT_THAT(Log(), HasSubstr("Command already in progress, ignored New Cmd\r\n"));
  EXPECT_EQ(FtpCommand(c_, s, "QUIT"), kReplyComplete);
  c_.iBusy = 0;
  EXPECT_TRUE(srv_.Finish());
  EXPECT_THAT(srv_.Received(), ::testing::ElementsAre("QUIT"));
}

TEST_F(ControlTest, LinesThatWouldBeCutOrSplitAreNeverSent) {
  srv_.On("NOOP", "200 ok\r\n");
  platform::Socket s = Connect();
  std::string name(300, 'n');
  EXPECT_EQ(FtpCommand(c_, s, "DELE %s", name.c_str()), kReplyNone);
  EXPECT_EQ(FtpCommand(c_, s, "DELE %s", "a\r\nDELE b"), kReplyNone);
  EXPECT_EQ(FtpCommand(c_, s, "NOOP"), kReplyComplete);
  EXPECT_TRUE(srv_.Finish());
  // Only NOOP reached the server.
  EXPECT_THAT(srv_.Received(), ::testing::ElementsAre("NOOP"));
  // A line of exactly 257 characters still goes out.
  EXPECT_EQ(std::string("DELE ").size() + 252, kMaxCommandLength);
}

TEST_F(ControlTest, CommandWithoutSocketIsNotConnected) {
  EXPECT_EQ(FtpCommand(c_, platform::kInvalidSocket, "NOOP"), kReplyNone);
  EXPECT_THAT(Log(), HasSubstr("NOOP\r\nNot connected\r\n"));
}

TEST_F(ControlTest, KeepAliveIsStoppedAndReArmedAroundEveryCommand) {
  app_.settings.bKeepAlive = 1;
  app_.settings.iKeepAliveTime = 5;
  srv_.On("NOOP", "200 ok\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpCommand(c_, s, "NOOP"), kReplyComplete);
  EXPECT_TRUE(keepAlive_.Armed());
  EXPECT_EQ(keepAlive_.Interval(), 5 * 60000);

  app_.settings.bKeepAlive = 0;
  keepAlive_.Stop();
  FtpGetReply(c_, platform::kInvalidSocket);
  EXPECT_FALSE(keepAlive_.Armed());
}

// ---- Abort and close -------------------------------------------------------

TEST_F(ControlTest, AbortSendsUrgentSequenceAndRetriesPlainAbor) {
  srv_.Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("500 \xF2" "ABOR: command not understood.\r\n")
      .On("ABOR", "226 Abort successful\r\n");
  platform::Socket s = Connect();
  FtpAbort(c_, s);
  EXPECT_TRUE(srv_.Finish()) << ::testing::PrintToString(srv_.Failures());
  EXPECT_STREQ(c_.cReply, "226 Abort successful");
  EXPECT_THAT(Log(), HasSubstr("ABOR\r\n"));
  EXPECT_THAT(Log(), HasSubstr("Send an ABOR command\r\n"));
}

TEST_F(ControlTest, AbortOnVmHostSendsPlainAbor) {
  c_.HostFamily = HOST_VM;
  srv_.Expect("\xFF\xF4\xFF" "ABOR").Send("226 ok\r\n");
  platform::Socket s = Connect();
  FtpAbort(c_, s);
  EXPECT_TRUE(srv_.Finish()) << ::testing::PrintToString(srv_.Failures());
}

TEST_F(ControlTest, QuitSendsLowerCaseQuitAndReturnsClass) {
  srv_.On("quit", "221 Goodbye.\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpQuit(c_, s), kReplyComplete);
  c_.sockControl = FtpCloseSocket(c_, s);
  EXPECT_EQ(c_.sockControl, platform::kInvalidSocket);
  EXPECT_THAT(Log(), HasSubstr("] Socket closed.\r\n"));
  EXPECT_TRUE(srv_.Finish());
}

// ---- Opening ----------------------------------------------------------------

TEST_F(ControlTest, OpenLogsPeerAndFailures) {
  srv_.Send("220 hi\r\n");
  platform::Socket s = Connect();
  ASSERT_NE(s, platform::kInvalidSocket);
  EXPECT_THAT(Log(), HasSubstr("Connected to 127.0.0.1 port " + std::to_string(srv_.Port()) + "\r\n"));
  EXPECT_EQ(c_.saData.port, 20);

  testing::RefusingPort refusing;
  EXPECT_EQ(FtpOpenSocket(c_, "127.0.0.1", refusing.port()), platform::kInvalidSocket);
  EXPECT_THAT(Log(), HasSubstr("Can't connect to 127.0.0.1 FTP  service.: connection refused\r\n"));

  EXPECT_EQ(FtpOpenSocket(c_, "no-such-host.invalid", 21), platform::kInvalidSocket);
  EXPECT_THAT(Log(), HasSubstr("Can't get \"no-such-host.invalid\" host entry\r\n"));
}

// ---- Host type ----------------------------------------------------------------

TEST_F(ControlTest, HostTypeChangesAreLoggedByNameOnlyWhenTheyChange) {
  HostType mvs{HOST_MVS, SERVER_MVS, SYSTEM_MVS, VIEW_UNIX};
  SetHostType(c_, mvs);
  EXPECT_EQ(HostTypeOf(c_), mvs);
  EXPECT_EQ(c_.HostFamily, HOST_MVS);
  EXPECT_EQ(app_.iHostViewCode, VIEW_UNIX);
  SetHostType(c_, mvs);  // no change, no line
  SetHostType(c_, HostType{HOST_VSE, SERVER_VSE, SYSTEM_VSE_NATIVE, VIEW_VSE});
  const std::string log = Log();
  EXPECT_THAT(log, HasSubstr("Host type: GENERIC UNIX DEFAULT view 3 -> MVS MVS MVS view 3\r\n"));
  EXPECT_THAT(log, HasSubstr("Host type: MVS MVS MVS view 3 -> VSE VSE VSE_NATIVE view 4\r\n"));
  size_t lines = 0;
  for (size_t at = log.find("Host type"); at != std::string::npos; at = log.find("Host type", at + 1))
    ++lines;
  EXPECT_EQ(lines, 2u);
}

TEST(WsErrorText, KnownCodesHaveTextsOthersTheirNumber) {
  struct Case {
    int code;
    const char* text;
  } cases[] = {
      {10004, "Blocking call cancelled"},
      {10054, "connection reset"},
      {10061, "connection refused"},
      {11001, "Authoritive: Host not found"},
      {10040, "WS error 10040"},
      {0, "WS error 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(WsErrorText(c.code), c.text);
  }
}

}  // namespace
}  // namespace tarn
