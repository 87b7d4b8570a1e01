// Remote file commands against the scripted server.
#include "client/engine/commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/session/host_record.h"
#include "tests/support/engine_fixture.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class CommandsTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    app_.bConnected = 1;
  }
  std::string Failures() { return ::testing::PrintToString(srv_.Failures()); }
};

TEST_F(CommandsTest, CwdFallsBackToXcwdOnUnknownCommand) {
  srv_.On("CWD /pub", "500 'CWD': command not understood.\r\n").On("XCWD /pub", "250 ok\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpCwd(c_, s, "/pub"), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_THAT(ui_.StatusTexts().back(), ::testing::Pair(1, "Changing host directory to /pub"));
}

TEST_F(CommandsTest, CwdOnUnixRetriesTheSameLine) {
  srv_.On("CWD sub", "550 Failed to change directory.\r\n").On("CWD sub", "550 Failed to change directory.\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpCwd(c_, s, "sub"), kReplyPermanent);
  EXPECT_TRUE(srv_.Finish()) << Failures();
}

TEST_F(CommandsTest, VmsHostsGetBracketedDirectories) {
  c_.SystemCode = 3;
  srv_.On("CWD sub", "550 no\r\n").On("CWD [.sub]", "250 ok\r\n");
  srv_.On("CWD ..", "550 no\r\n").On("CWD [-]", "250 ok\r\n");
  srv_.On("MKD new", "550 no\r\n").On("MKD [.new]", "257 made\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpCwd(c_, s, "sub"), kReplyComplete);
  EXPECT_EQ(FtpCwd(c_, s, ".."), kReplyComplete);
  EXPECT_EQ(FtpMkd(c_, s, "new"), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
}

TEST(VmsDirName, ConvertsOnlyOnDevicePathHostsAndWithinTheLimit) {
  EXPECT_EQ(ToVmsDirName(1, "sub"), "sub");
  EXPECT_EQ(ToVmsDirName(3, "sub"), "[.sub]");
  EXPECT_EQ(ToVmsDirName(4, ".."), "[-]");
  std::string longName(92, 'n');
  EXPECT_EQ(ToVmsDirName(3, longName), longName);  // "[.n...]" would be 95
  EXPECT_EQ(ToVmsDirName(3, std::string(91, 'n')), "[." + std::string(91, 'n') + "]");
}

TEST_F(CommandsTest, VseRootIsSentAsBackslash) {
  c_.HostFamily = HOST_VSE;
  srv_.On("CWD \\", "250 ok\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpCwd(c_, s, "/"), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
}

TEST_F(CommandsTest, RefusedMkdAndRmdShowTheServersText) {
  srv_.On("MKD x", "550 Create directory operation failed.\r\n")
      .On("MKD x", "550 Create directory operation failed.\r\n")
      .On("RMD y", "500 unknown\r\n")
      .On("XRMD y", "550 Remove directory operation failed.\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpMkd(c_, s, "x"), kReplyPermanent);
  EXPECT_EQ(FtpRmd(c_, s, "y"), kReplyPermanent);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Error creating folder", "Error deleting folder"));
  EXPECT_EQ(ui_.BoxTexts()[0], "550 Create directory operation failed.");
}

TEST_F(CommandsTest, PwdFallsBackToXpwdOnlyOn500) {
  srv_.On("PWD", "500 unknown\r\n").On("XPWD", "257 \"/x\"\r\n").On("PWD", "550 no\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpPwd(c_, s), kReplyComplete);
  EXPECT_EQ(FtpPwd(c_, s), kReplyPermanent);
  EXPECT_TRUE(srv_.Finish()) << Failures();
}

TEST_F(CommandsTest, RenameNeedsBothSteps) {
  srv_.On("RNFR a", "350 Ready for RNTO.\r\n").On("RNTO b", "250 Rename successful.\r\n");
  srv_.On("RNFR gone", "550 RNFR command failed.\r\n");
  platform::Socket s = Connect();
  EXPECT_TRUE(FtpRename(c_, s, "a", "b"));
  EXPECT_FALSE(FtpRename(c_, s, "gone", "b"));
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Error renaming file"));
}

TEST_F(CommandsTest, MvsRenameQuotesFullNames) {
  c_.HostFamily = HOST_MVS;
  srv_.On("RNFR 'USER1.OLD.DATA'", "350 ok\r\n").On("RNTO 'USER1.NEW.DATA'", "250 ok\r\n");
  platform::Socket s = Connect();
  EXPECT_TRUE(FtpRename(c_, s, "OLD.DATA", "NEW.DATA", "USER1."));
  EXPECT_TRUE(srv_.Finish()) << Failures();
}

TEST_F(CommandsTest, QuoteSendsTextUnchangedAndCapturesTheReply) {
  srv_.On("SITE CHMOD 644 100%.txt", "200 SITE CHMOD command ok.\r\n");
  srv_.On("SITE BOGUS", "500 Unknown SITE command.\r\n");
  platform::Socket s = Connect();
  std::string capture;
  EXPECT_EQ(FtpQuote(c_, s, "SITE CHMOD 644 100%.txt", &capture), kReplyComplete);
  EXPECT_EQ(capture, "200 SITE CHMOD command ok.\r\n");
  EXPECT_EQ(FtpQuote(c_, s, "SITE BOGUS", &capture), kReplyPermanent);
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Error Sending QUOTE command"));
  EXPECT_EQ(c_.pCapture, nullptr);
}

TEST_F(CommandsTest, CaptureIsCutAtItsLimit) {
  std::string big = "211-Status\r\n";
  for (int i = 0; i < 3000; ++i) big += " line " + std::to_string(i) + std::string(60, '.') + "\r\n";
  big += "211 End\r\n";
  ASSERT_GT(big.size(), kCaptureLimit);
  app_.settings.bDebugLog = false;
  srv_.On("STAT", big);
  platform::Socket s = Connect();
  std::string capture;
  EXPECT_EQ(FtpQuote(c_, s, "STAT", &capture), kReplyComplete);
  EXPECT_EQ(capture.size(), kCaptureLimit);
  EXPECT_EQ(capture, big.substr(0, kCaptureLimit));
}

TEST_F(CommandsTest, KeepAliveSendsNoopOnlyWhenIdle) {
  app_.settings.bKeepAlive = 1;
  app_.settings.iKeepAliveTime = 1;
  srv_.On("NOOP", "200 NOOP ok.\r\n");
  platform::Socket s = Connect();
  c_.iBusy = 1;  // a transfer is running
  KeepAliveDue(c_);
  c_.iBusy = 0;
  KeepAliveDue(c_);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_THAT(srv_.Received(), ElementsAre("NOOP"));
  EXPECT_THAT(Log(), HasSubstr("NOOP\r\n"));
  EXPECT_TRUE(keepAlive_.Armed());
  (void)s;
}

}  // namespace
}  // namespace tarn
