// Sessions made by tarn-cli session add connect to the real servers:
// vsftpd plain (a named user and anonymously) and vsftpd over explicit TLS.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "tests/cli/cli_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::ProgramResult;
using testing::ServerEnv;

class SessionInteropTest : public testing::CliFixture {
 protected:
  ProgramResult Cli(std::vector<std::string> args, std::vector<std::string> env = {}) {
    return RunCli(std::move(args), std::move(env));
  }
  std::vector<std::string> UserPassword() { return {"TARN_PASSWORD=" + ServerEnv("TARN_TEST_FTP_PASS")}; }

};

TEST_F(SessionInteropTest, NamedAndAnonymousSessionsLogOnToVsftpd) {
  if (!testing::NeedServers()) return;
  const std::string port = ServerEnv("TARN_TEST_VSFTPD_PORT");
  auto made = Cli({"session", "add", "vsftpd", "--host", "127.0.0.1", "--port", port, "--user",
                   ServerEnv("TARN_TEST_FTP_USER"), "--save-password", "--host-dir", "/upload", "--local-dir", dir_},
                  UserPassword());
  ASSERT_EQ(made.status, 0) << made.err;
  // The password is stored; the run needs none from the environment.
  auto r = Cli({"-v", "open", "vsftpd", ";", "pwd"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "/upload\n");
  EXPECT_THAT(r.err, HasSubstr("230 Login successful."));
  EXPECT_THAT(r.err, Not(HasSubstr(ServerEnv("TARN_TEST_FTP_PASS"))));

  ASSERT_EQ(Cli({"session", "add", "anon", "--host", "127.0.0.1", "--port", port, "--host-dir", "/pub"}).status, 0);
  r = Cli({"open", "anon", ";", "ls"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("readme.txt"));

  // A wrong password saved by edit is the server's refusal, not a crash.
  ASSERT_EQ(Cli({"session", "edit", "vsftpd", "--save-password"}, {"TARN_PASSWORD=wrong"}).status, 0);
  r = Cli({"open", "vsftpd"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("530"));
}

TEST_F(SessionInteropTest, TlsSessionsConnectToVsftpsAtBothSecurityTypes) {
  if (!testing::NeedServers()) return;
  if (ServerEnv("TARN_TEST_VSFTPS_PORT").empty()) GTEST_FAIL() << "the FTPS server is not running";
  // This vsftpd wants local users' data encrypted; anonymous data may go in
  // clear.
  struct Case {
    const char* type;
    bool anonymous;
    const char* data;
    const char* listed;
  } cases[] = {{"max", false, "data protected", "hello.txt"}, {"partial", true, "data in clear", "pub"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    const std::string name = std::string("vsftps ") + c.type;
    std::vector<std::string> add = {"session", "add", name, "--host", "127.0.0.1", "--port",
                                    ServerEnv("TARN_TEST_VSFTPS_PORT"), "--tls", c.type, "--accept-self-signed"};
    if (!c.anonymous) add.insert(add.end(), {"--user", ServerEnv("TARN_TEST_FTP_USER"), "--save-password"});
    auto made = Cli(add, UserPassword());
    ASSERT_EQ(made.status, 0) << made.err;
    auto r = Cli({"-v", "open", name, ";", "ls", ";", "pwd"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr(c.listed));
    EXPECT_THAT(r.out, HasSubstr("/\n"));
    EXPECT_THAT(r.err, HasSubstr("TLS: TLSv1.3"));
    EXPECT_THAT(r.err, HasSubstr(c.data));
    EXPECT_THAT(r.err, HasSubstr("Accepted --> Server Certificate is Self Signed"));
  }

  // Without accepting the self-signed certificate the handshake is refused.
  ASSERT_EQ(Cli({"session", "edit", "vsftps max", "--no-accept-self-signed"}).status, 0);
  auto r = Cli({"open", "vsftps max"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Handshake failure: Server Certificate is Self Signed."));
}

}  // namespace
}  // namespace tarn
