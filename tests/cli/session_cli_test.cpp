// tarn-cli session commands end to end against the scripted server: a
// session made on the command line logs on through each firewall scheme;
// failed checks reach standard error with a non-zero exit status.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "tests/cli/cli_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_ftp_server.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using testing::FakeFtpServer;
using testing::ProgramResult;

class SessionCliTest : public testing::CliFixture {
 protected:
  ProgramResult Cli(std::vector<std::string> args, std::vector<std::string> env = {}) {
    return RunCli(std::move(args), std::move(env));
  }
};

// The rest of a log-on after the scheme's USER and PASS lines.
FakeFtpServer& AfterLogon(FakeFtpServer& s) {
  return s.On("REST 100", "350 ok\r\n")
      .On("REST 0", "350 ok\r\n")
      .On("SYST", "215 UNIX Type: L8\r\n")
      .On("PWD", "257 \"/home/jo\" is current\r\n")
      .On("CWD /home/jo", "250 ok\r\n")
      .On("PWD", "257 \"/home/jo\" is current\r\n")
      .On("quit", "221 bye\r\n");
}

TEST_F(SessionCliTest, EachFirewallSchemeLogsOnAsItsTableSays) {
  struct Scheme {
    const char* type;
    std::vector<std::string> lines;  // what the firewall receives, with its replies below
  } schemes[] = {
      {"0", {"USER jo@127.0.0.1", "PASS pw"}},
      {"1", {"USER fwu", "PASS fwpw", "USER jo@127.0.0.1", "PASS pw"}},
      {"2", {"USER fwu@127.0.0.1:2121", "PASS pw"}},
      {"3", {"USER fwu", "PASS fwpw", "USER site 127.0.0.1", "PASS pw"}},
  };
  for (const auto& scheme : schemes) {
    SCOPED_TRACE(scheme.type);
    FakeFtpServer fw;
    fw.Send("220 firewall\r\n");
    for (const auto& line : scheme.lines)
      fw.On(line, line.compare(0, 4, "USER") == 0 ? "331 password\r\n" : "230 in\r\n");
    AfterLogon(fw);
    fw.Start();

    const std::string name = std::string("via fw ") + scheme.type;
    std::vector<std::string> add = {"session", "add", name, "--host", "127.0.0.1", "--port", "2121",
                                    "--user", "jo", "--save-password", "--firewall", scheme.type,
                                    "--fw-host", "127.0.0.1", "--fw-port", std::to_string(fw.Port())};
    if (std::string(scheme.type) != "0") add.insert(add.end(), {"--fw-user", "fwu"});
    auto made = Cli(add, {"TARN_PASSWORD=pw", "TARN_FW_PASSWORD=fwpw"});
    ASSERT_EQ(made.status, 0) << made.err;

    auto r = Cli({"open", name, ";", "pwd", ";", "close"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "/home/jo\n");
    EXPECT_TRUE(fw.Finish()) << ::testing::PrintToString(fw.Failures());
  }
}

TEST_F(SessionCliTest, AFailedCheckGoesToStandardErrorAndStoresNothing) {
  auto r = Cli({"session", "add", "SITE", "--host", "127.0.0.1", "--firewall", "3", "--fw-host", "127.0.0.1",
                "--fw-user", "fwu"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_THAT(r.err, HasSubstr("Tarn: You need to specify a password for this type of firewall\n"));
  r = Cli({"session", "add", "Home"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Host Name/IP Address Not Entered: You must enter a host name or IP address for "
                               "the FTP host that you want\nto connect to.\n"));
  EXPECT_EQ(Cli({"sessions"}).out, "");

  // A password is never an argument.
  r = Cli({"session", "add", "Home", "--host", "127.0.0.1", "--user", "jo", "--password", "pw"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("unknown option --password"));
  EXPECT_EQ(Cli({"sessions"}).out, "");
}

TEST_F(SessionCliTest, SessionCommandsManageTheStoredList) {
  ASSERT_EQ(Cli({"session", "add", "One", "--host", "127.0.0.1"}).status, 0);
  ASSERT_EQ(Cli({"session", "add", "Two", "--host", "127.0.0.1", "--port", "2100"}).status, 0);
  auto dup = Cli({"session", "add", "one", "--host", "127.0.0.1"});
  EXPECT_EQ(dup.status, 1);
  EXPECT_THAT(dup.err, HasSubstr("Tarn File Transfer: Session Name already exists"));
  ASSERT_EQ(Cli({"session", "rename", "Two", "Deux"}).status, 0);
  EXPECT_EQ(Cli({"sessions"}).out, "One\nDeux\n");
  EXPECT_THAT(Cli({"session", "show", "deux"}).out, ::testing::ContainsRegex("Session: +Deux\nHost name: +127.0.0.1\nFTP port: +2100\n"));
  auto kept = Cli({"session", "rm", "One"});  // no terminal to ask on
  EXPECT_EQ(kept.status, 1);
  EXPECT_THAT(kept.err, HasSubstr("Confirm Delete"));
  ASSERT_EQ(Cli({"session", "rm", "One", "--yes"}).status, 0);
  EXPECT_EQ(Cli({"sessions"}).out, "Deux\n");
  auto help = Cli({"session", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("session add NAME --host H [OPTIONS]"));
}

}  // namespace
}  // namespace tarn
