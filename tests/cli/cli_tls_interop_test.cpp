// tarn-cli over TLS, end to end: ftpes:// quick connects, the TLS options and
// stored sessions with SSLUse, against the FTPS servers of tools/test-servers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "client/session/password.h"
#include "tests/cli/cli_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::ProgramResult;
using testing::ServerEnv;

class CliTlsTest : public testing::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    if (!testing::NeedServers()) GTEST_FAIL();
    if (ServerEnv("TARN_TEST_VSFTPS_PORT").empty() || ServerEnv("TARN_TEST_PYFTPS_PORT").empty())
      GTEST_FAIL() << "the FTPS servers are not running: restart tools/test-servers";
  }

  ProgramResult Cli(std::vector<std::string> args, std::vector<std::string> env = {}) {
    return RunCli(std::move(args), std::move(env));
  }

  std::string VsftpsUrl(const std::string& path) {
    return "ftpes://" + ServerEnv("TARN_TEST_FTP_USER") + "@127.0.0.1:" + ServerEnv("TARN_TEST_VSFTPS_PORT") + path;
  }
  std::vector<std::string> VsftpdPassword() { return {"TARN_PASSWORD=" + ServerEnv("TARN_TEST_FTP_PASS")}; }

};

TEST_F(CliTlsTest, FtpesPutListGetAgainstVsftpdWithSessionReuse) {
  std::string data;
  for (int i = 0; i < 300000; ++i) data += static_cast<char>((i * 151) >> 2);
  std::ofstream(dir_ + "/src.bin", std::ios::binary) << data;
  const std::string remote = "clitls" + std::to_string(getpid()) + ".bin";
  for (const char* mode : {"--passive", "--active"}) {
    SCOPED_TRACE(mode);
    auto r = Cli({"-v", mode, "--type", "binary", "--accept-self-signed", "open", VsftpsUrl("/upload"), ";",
                  "put", dir_ + "/src.bin", remote, ";", "ls", ";", "get", remote, dir_ + "/back.bin", ";",
                  "get", remote, dir_ + "/back2.bin", ";", "rm", remote},
                 VsftpdPassword());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("TLS: TLSv1.3, cipher TLS_AES_256_GCM_SHA384, data protected\n"));
    EXPECT_THAT(r.err, HasSubstr("\nAccepted --> Server Certificate is Self Signed\n"));
    EXPECT_THAT(r.err, HasSubstr("\nPROT P\n200 PROT now Private.\n"));
    EXPECT_THAT(r.out, HasSubstr(remote));
    EXPECT_EQ(Read(dir_ + "/back.bin"), data);
    EXPECT_EQ(Read(dir_ + "/back2.bin"), data);
  }
}

TEST_F(CliTlsTest, SelfSignedServerIsRefusedWithoutTheOption) {
  auto r = Cli({"open", VsftpsUrl("/upload"), ";", "pwd"}, VsftpdPassword());
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Handshake failure: Server Certificate is Self Signed."));
  EXPECT_EQ(r.out, "");
}

TEST_F(CliTlsTest, PartialSecurityAndCipherStrengthOptions) {
  const std::string url = "ftpes://user@127.0.0.1:" + ServerEnv("TARN_TEST_PYFTPS_PORT") + "/";
  const std::vector<std::string> env = {"TARN_PASSWORD=secret"};
  auto r = Cli({"-v", "--passive", "--tls-partial", "--cipher-strength", "1", "--accept-self-signed", "open", url,
                ";", "ls"},
               env);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("\nPROT C\n200 "));
  EXPECT_THAT(r.err, HasSubstr("TLS: TLSv1.3, cipher TLS_AES_128_GCM_SHA256, data in clear\n"));

  r = Cli({"--cipher-strength", "4", "open", url});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("--cipher-strength takes 0, 1, 2 or 3"));
}

TEST_F(CliTlsTest, StoredSessionUsesItsSslValues) {
  PasswordScrambler scrambler(1700000000);
  std::string hex;
  for (unsigned char ch : scrambler.Scramble(ServerEnv("TARN_TEST_FTP_PASS"))) {
    char b[4];
    snprintf(b, sizeof b, "%02x", ch);
    hex += (hex.empty() ? "" : ",") + std::string(b);
  }
  const std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\secure]\r\n"
      "\"HostName\"=\"127.0.0.1\"\r\n\"FTPPort\"=\"" + ServerEnv("TARN_TEST_VSFTPS_PORT") + "\"\r\n"
      "\"UserFlag\"=\"S\"\r\n\"UserName\"=\"" + ServerEnv("TARN_TEST_FTP_USER") + "\"\r\n"
      "\"PasswordFlag\"=\"S\"\r\n\"RandomInitData\"=hex:" + hex + "\r\n"
      "\"Firewalluse\"=\"NO\"\r\n\"SSLUse\"=\"YES\"\r\n\"SSLType\"=\"0\"\r\n\"SSLStrength\"=\"3\"\r\n"
      "\"SSLSelf\"=\"YES\"\r\n\"SSLExpired\"=\"NO\"\r\n\"SSLFuture\"=\"NO\"\r\n\"SSLInvalid\"=\"NO\"\r\n"
      "\"SSLCertfile\"=\"\"\r\n\r\n";
  std::ofstream(dir_ + "/s.reg", std::ios::binary) << reg;
  ASSERT_EQ(Cli({"reg", "import", dir_ + "/s.reg"}).status, 0);
  auto r = Cli({"-v", "open", "secure", ";", "pwd"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "/\n");
  EXPECT_THAT(r.err, HasSubstr("\nAUTH TLS\n234 "));
  EXPECT_THAT(r.err, HasSubstr("data protected"));
  EXPECT_THAT(r.err, Not(HasSubstr(ServerEnv("TARN_TEST_FTP_PASS"))));
}

}  // namespace
}  // namespace tarn
