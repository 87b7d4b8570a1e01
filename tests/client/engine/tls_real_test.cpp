// FTP over TLS against the real servers of tools/test-servers: vsftpd with
// explicit FTPS and require_ssl_reuse=YES (a data connection that does not
// resume the session ends the whole session there), and pyftpdlib with TLS.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>

#include "client/engine/commands.h"
#include "client/engine/data.h"
#include "client/engine/logon.h"
#include "client/engine/tls.h"
#include "client/engine/transfer.h"
#include "client/session/password.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using testing::ServerEnv;

struct Variant {
  const char* name;
  bool vsftpd;      // else pyftpdlib
  int maxVersion;   // 0 = TLS 1.3
  bool partial;     // "Partial Security": PROT C
  bool passive;
};

void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& ch : s) ch = static_cast<char>(gen());
  return s;
}

class RealTlsTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (!testing::NeedServers()) GTEST_FAIL();
    if (ServerEnv("TARN_TEST_VSFTPS_PORT").empty() || ServerEnv("TARN_TEST_PYFTPS_PORT").empty())
      GTEST_FAIL() << "the FTPS servers are not running: restart tools/test-servers";
    options_.systemStore = false;
  }

  void TearDown() override {
    if (c_.sockControl != platform::kInvalidSocket) {
      FtpQuit(c_, c_.sockControl);
      c_.sockControl = FtpCloseSocket(c_, c_.sockControl);
    }
    c_.tls = nullptr;
    EngineTest::TearDown();
  }

  bool Logon(HostRecord* h) {
    tls_ = std::make_unique<TlsLayer>(c_, options_);
    c_.tls = tls_.get();
    ConnectContext ctx;
    ctx.conn = &c_;
    ctx.replyTimeoutMs = 10000;
    ctx.hooks.processDirectory = [&](const std::string& dir) {
      return dir.empty() || FtpCwd(c_, c_.sockControl, dir) == kReplyComplete;
    };
    return RunConnect(ctx, h);
  }

  void User(HostRecord* h, const std::string& port, const std::string& user, const std::string& pass) {
    InitNewSession(h, "ftps", "127.0.0.1");
    SetField(h->cFTPPort, port);
    SetField(h->cUserFlag, "S");
    SetField(h->cUserName, user);
    SetField(h->cPasswordFlag, "S");
    PasswordScrambler scrambler(11);
    SetField(h->cPassword, scrambler.Scramble(pass));
  }

  TlsOptions options_;
  std::unique_ptr<TlsLayer> tls_;
};

class RealTlsTransferTest : public RealTlsTest, public ::testing::WithParamInterface<Variant> {};

TEST_P(RealTlsTransferTest, LogOnListUploadAndDownloadSeveralTimes) {
  const Variant& v = GetParam();
  app_.settings.bPassive = v.passive ? 1 : 0;
  options_.maxVersion = v.maxVersion;
  HostRecord h;
  if (v.vsftpd) {
    User(&h, ServerEnv("TARN_TEST_VSFTPS_PORT"), ServerEnv("TARN_TEST_FTP_USER"), ServerEnv("TARN_TEST_FTP_PASS"));
    SetField(h.cHostDir, "/upload");
    // The server's own certificate as the trust anchor: verified, no rule bent.
    options_.caFile = ServerEnv("TARN_TEST_CERT");
    h.uSecurity = kSslUse | (3u << kSslStrengthShift);
  } else {
    User(&h, ServerEnv("TARN_TEST_PYFTPS_PORT"), "user", "secret");
    options_.caFile.clear();
    h.uSecurity = kSslUse | kSslSelf | (3u << kSslStrengthShift);
  }
  if (v.partial) h.uSecurity |= 1u << kSslTypeShift;
  ASSERT_TRUE(Logon(&h)) << Log();
  EXPECT_EQ(tls_->DataProtected(), !v.partial);
  if (v.maxVersion == TLS1_2_VERSION) {
    EXPECT_EQ(tls_->Protocol(), "TLSv1.2");
  } else {
    EXPECT_EQ(tls_->Protocol(), "TLSv1.3");
  }

  const std::string data = RandomBytes(3 << 20, 5);
  std::ofstream(Local("src.bin"), std::ios::binary) << data;
  const std::string remote = "tls" + std::to_string(getpid()) + v.name + ".bin";
  const platform::Socket s = c_.sockControl;

  ASSERT_EQ(FtpPutFile(c_, s, "STOR " + remote, Local("src.bin"), 'I'), kReplyComplete) << c_.cReply;
  ASSERT_EQ(FtpListToTemp(c_, s, "LIST"), kReplyComplete) << c_.cReply;
  std::string listing = Read(c_.cTempFile);
  unlink(c_.cTempFile);
  EXPECT_THAT(listing, HasSubstr(remote));
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    std::string local = Local("back" + std::to_string(i));
    ASSERT_EQ(FtpGetFile(c_, s, "RETR " + remote, local, 'I'), kReplyComplete) << c_.cReply;
    EXPECT_EQ(Read(local), data);
    if (!v.partial) {
      EXPECT_TRUE(tls_->DataResumed());
    }
  }
  EXPECT_EQ(FtpDele(c_, s, remote), kReplyComplete);
  EXPECT_EQ(FtpNoop(c_, s), kReplyComplete);
  EXPECT_THAT(Log(), HasSubstr("SSL connection established using "));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, RealTlsTransferTest,
    ::testing::Values(Variant{"VsftpdTls13Passive", true, 0, false, true},
                      Variant{"VsftpdTls13Active", true, 0, false, false},
                      Variant{"VsftpdTls12Passive", true, TLS1_2_VERSION, false, true},
                      Variant{"VsftpdTls12Active", true, TLS1_2_VERSION, false, false},
                      Variant{"PyftpdlibMaxPassive", false, 0, false, true},
                      Variant{"PyftpdlibMaxActive", false, 0, false, false},
                      Variant{"PyftpdlibPartialPassive", false, 0, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RealTlsTest, VsftpdAnonymousAtPartialSecurity) {
  HostRecord h;
  InitNewSession(&h, "anonymous ftps", "127.0.0.1");
  SetField(h.cFTPPort, ServerEnv("TARN_TEST_VSFTPS_PORT"));
  h.uSecurity = kSslUse | kSslSelf | (3u << kSslStrengthShift) | (1u << kSslTypeShift);
  app_.settings.bPassive = 1;
  ASSERT_TRUE(Logon(&h)) << Log();
  EXPECT_THAT(Log(), HasSubstr("PROT C\r\n"));
  ASSERT_EQ(FtpGetFile(c_, c_.sockControl, "RETR pub/readme.txt", Local("readme"), 'A'), kReplyComplete);
  EXPECT_EQ(Read(Local("readme")), "hello from anon\n");
}

TEST_F(RealTlsTest, VsftpdSelfSignedCertificateIsRejectedWithoutItsSetting) {
  HostRecord h;
  User(&h, ServerEnv("TARN_TEST_VSFTPS_PORT"), ServerEnv("TARN_TEST_FTP_USER"), ServerEnv("TARN_TEST_FTP_PASS"));
  h.uSecurity = kSslUse | kSslExpired | kSslFuture | kSslInvalid | (3u << kSslStrengthShift);
  options_.caFile.clear();
  EXPECT_FALSE(Logon(&h));
  EXPECT_THAT(Log(), HasSubstr("\r\nRejected --> Server Certificate is Self Signed\r\n"));
  ASSERT_FALSE(ui_.Boxes().empty());
  EXPECT_EQ(ui_.Boxes().back().text, "Handshake failure: Server Certificate is Self Signed.");
  EXPECT_EQ(c_.sockControl, platform::kInvalidSocket);
}

}  // namespace
}  // namespace tarn
