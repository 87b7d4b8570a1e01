// Log-on against the real servers of tools/test-servers (vsftpd and
// pyftpdlib on loopback).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/engine/logon.h"
#include "client/session/password.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::ServerEnv;

class RealServerTest : public testing::EngineTest {
 protected:
  bool Logon(HostRecord* h) {
    ConnectContext ctx;
    ctx.conn = &c_;
    ctx.replyTimeoutMs = 10000;
    ctx.hooks.processDirectory = [&](const std::string& dir) {
      return FtpCommand(c_, c_.sockControl, "CWD %s", dir.c_str()) == kReplyComplete;
    };
    bool ok = RunConnect(ctx, h);
    start_ = ctx.startDirectory;
    return ok;
  }

  void Quit() {
    EXPECT_EQ(FtpQuit(c_, c_.sockControl), kReplyComplete);
    c_.sockControl = FtpCloseSocket(c_, c_.sockControl);
    app_.bConnected = 0;
  }

  std::string start_;
};

TEST_F(RealServerTest, VsftpdAnonymous) {
  if (!testing::NeedServers()) return;
  HostRecord h;
  InitNewSession(&h, "vsftpd anonymous", "127.0.0.1");
  SetField(h.cFTPPort, ServerEnv("TARN_TEST_VSFTPD_PORT"));
  ASSERT_TRUE(Logon(&h)) << Log();
  EXPECT_EQ(c_.ServerType, SERVER_UNIX);
  EXPECT_EQ(c_.SystemCode, SYSTEM_DEFAULT);
  EXPECT_EQ(start_, "/");
  EXPECT_EQ(app_.bResumeOK, 1);
  ASSERT_EQ(FtpCommand(c_, c_.sockControl, "PWD"), kReplyComplete);
  EXPECT_EQ(DirectoryFromPwd(c_.SystemCode, c_.cReply), "/");
  Quit();
  EXPECT_THAT(Log(), HasSubstr("215 UNIX Type: L8"));
}

TEST_F(RealServerTest, VsftpdLocalUserWithSavedPasswordAndStartDirectory) {
  if (!testing::NeedServers()) return;
  HostRecord h = testing::VsftpdUserSession();
  SetField(h.cHostName, "localhost");
  SetField(h.cHostDir, "upload");
  ASSERT_TRUE(Logon(&h)) << Log();
  EXPECT_EQ(start_, "/upload");
  ASSERT_EQ(FtpCommand(c_, c_.sockControl, "PWD"), kReplyComplete);
  EXPECT_EQ(DirectoryFromPwd(c_.SystemCode, c_.cReply), "/upload");
  Quit();
  std::string log = Log();
  EXPECT_THAT(log, HasSubstr("PASS xxxxxx\r\n"));
  EXPECT_THAT(log, Not(HasSubstr(ServerEnv("TARN_TEST_FTP_PASS"))));
}

TEST_F(RealServerTest, VsftpdWrongPassword) {
  if (!testing::NeedServers()) return;
  HostRecord h = testing::VsftpdUserSession("not-the-password");
  EXPECT_FALSE(Logon(&h));
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].caption, "Error connecting to host");
  EXPECT_THAT(ui_.Boxes()[0].text, HasSubstr("530"));
  EXPECT_EQ(c_.sockControl, platform::kInvalidSocket);
}

TEST_F(RealServerTest, PyftpdlibUser) {
  if (!testing::NeedServers()) return;
  HostRecord h;
  InitNewSession(&h, "pyftpdlib", "127.0.0.1");
  SetField(h.cFTPPort, ServerEnv("TARN_TEST_PYFTPD_PORT"));
  SetField(h.cUserFlag, "S");
  SetField(h.cUserName, "user");
  SetField(h.cPasswordFlag, "S");
  PasswordScrambler scrambler(44);
  SetField(h.cPassword, scrambler.Scramble("secret"));
  ASSERT_TRUE(Logon(&h)) << Log();
  EXPECT_EQ(start_, "/");
  Quit();
}

}  // namespace
}  // namespace tarn
