// Transfers and remote commands against vsftpd on loopback, as the local
// user of tools/test-servers, in both data-connection modes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>

#include "client/engine/commands.h"
#include "client/engine/data.h"
#include "client/engine/logon.h"
#include "client/engine/transfer.h"
#include "client/session/password.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

using testing::ServerEnv;

class VsftpdTransferTest : public testing::EngineTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (!testing::NeedServers()) GTEST_FAIL();
    app_.settings.bPassive = GetParam() ? 1 : 0;
    HostRecord h = testing::VsftpdUserSession();
    SetField(h.cHostDir, "/upload");
    ConnectContext ctx;
    ctx.conn = &c_;
    ctx.replyTimeoutMs = 10000;
    ctx.hooks.processDirectory = [&](const std::string& dir) { return FtpCwd(c_, c_.sockControl, dir) == 2; };
    ASSERT_TRUE(RunConnect(ctx, &h)) << Log();
    // Names of this process only: two builds may run these tests at once.
    tag_ = std::to_string(getpid()) + (GetParam() ? "p" : "a");
  }

  void TearDown() override {
    if (c_.sockControl != platform::kInvalidSocket) {
      FtpQuit(c_, c_.sockControl);
      c_.sockControl = FtpCloseSocket(c_, c_.sockControl);
    }
    EngineTest::TearDown();
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static std::string RandomBytes(size_t n) {
    std::mt19937 gen(12345);
    std::string s(n, '\0');
    for (auto& ch : s) ch = static_cast<char>(gen());
    return s;
  }
  std::string Local(const std::string& name) { return dir_ + "/" + name; }
  platform::Socket S() { return c_.sockControl; }

  std::string tag_;
};

TEST_P(VsftpdTransferTest, UploadDownloadAppendAndResume) {
  const std::string data = RandomBytes(3 << 20);
  std::ofstream(Local("src.bin"), std::ios::binary) << data;
  const std::string remote = "t" + tag_ + ".bin";

  ASSERT_EQ(FtpPutFile(c_, S(), "STOR " + remote, Local("src.bin"), 'I'), kReplyComplete) << c_.cReply;
  ASSERT_EQ(FtpGetFile(c_, S(), "RETR " + remote, Local("back.bin"), 'I'), kReplyComplete) << c_.cReply;
  EXPECT_EQ(Read(Local("back.bin")), data);
  EXPECT_EQ(c_.llExpected, static_cast<int64_t>(data.size()));

  // Resume a cut download: the first megabyte is there, the rest comes with REST.
  std::ofstream(Local("cut.bin"), std::ios::binary) << data.substr(0, 1 << 20);
  c_.resume = ResumeInfo{};
  c_.resume.bResume = true;
  c_.resume.path = Local("cut.bin");
  ASSERT_EQ(FtpGetFile(c_, S(), "RETR " + remote, Local("cut.bin"), 'I'), kReplyComplete) << c_.cReply;
  c_.resume = ResumeInfo{};
  EXPECT_EQ(Read(Local("cut.bin")), data);
  EXPECT_THAT(Log(), ::testing::HasSubstr("REST 1048576\r\n"));

  std::ofstream(Local("tail.txt"), std::ios::binary) << "tail\n";
  ASSERT_EQ(FtpPutFile(c_, S(), "APPE " + remote, Local("tail.txt"), 'I'), kReplyComplete) << c_.cReply;
  ASSERT_EQ(FtpGetFile(c_, S(), "RETR " + remote, Local("appended.bin"), 'A'), kReplyComplete) << c_.cReply;
  EXPECT_EQ(Read(Local("appended.bin")), data + "tail\n");
  EXPECT_EQ(FtpDele(c_, S(), remote), kReplyComplete);
}

TEST_P(VsftpdTransferTest, ListingGoesToATemporaryFile) {
  ASSERT_EQ(FtpListToTemp(c_, S(), "LIST /"), kReplyComplete) << c_.cReply;
  std::string text = Read(c_.cTempFile);
  unlink(c_.cTempFile);
  EXPECT_THAT(text, ::testing::HasSubstr(" hello.txt\r\n"));
}

TEST_P(VsftpdTransferTest, RemoteCommands) {
  const std::string d = "d" + tag_;
  ASSERT_EQ(FtpMkd(c_, S(), d), kReplyComplete) << c_.cReply;
  ASSERT_EQ(FtpCwd(c_, S(), d), kReplyComplete);
  ASSERT_EQ(FtpPwd(c_, S()), kReplyComplete);
  EXPECT_THAT(c_.cReply, ::testing::HasSubstr("/upload/" + d));
  std::ofstream(Local("f.txt")) << "x";
  ASSERT_EQ(FtpPutFile(c_, S(), "STOR f.txt", Local("f.txt"), 'A'), kReplyComplete);
  EXPECT_TRUE(FtpRename(c_, S(), "f.txt", "g.txt"));
  EXPECT_EQ(FtpDele(c_, S(), "g.txt"), kReplyComplete);
  EXPECT_EQ(FtpDele(c_, S(), "g.txt"), kReplyPermanent);
  EXPECT_EQ(FtpNoop(c_, S()), kReplyComplete);
  EXPECT_EQ(FtpCdup(c_, S()), kReplyComplete);
  EXPECT_EQ(FtpRmd(c_, S(), d), kReplyComplete);
  EXPECT_EQ(FtpRmd(c_, S(), d), kReplyPermanent);
  EXPECT_THAT(ui_.BoxCaptions(), ::testing::ElementsAre("Error deleting folder"));
}

INSTANTIATE_TEST_SUITE_P(Modes, VsftpdTransferTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Passive" : "Active"; });

}  // namespace
}  // namespace tarn
