// tarn-cli end to end: the built program against the scripted server, with
// its own settings directory per test (the real servers: cli_interop_test).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/cli/cli_fixture.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/refusing_port.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::AnonymousLogon;
using testing::CliTest;
using testing::FakeFtpServer;
using testing::ProgramResult;
using testing::RefusingPort;
using testing::SessionRegFile;

// ---- Against the scripted server ----------------------------------------------

TEST_F(CliTest, CommandsFromArgumentsRunInOrderAndQuoteShowsTheReply) {
  FakeFtpServer srv;
  AnonymousLogon(srv).On("PWD", "257 \"/srv\" is current\r\n");
  srv.On("SITE HELP", "214-The following SITE commands are recognized\r\n CHMOD\r\n214 Help OK.\r\n");
  srv.On("quit", "221 bye\r\n");
  srv.Start();
  auto r = Cli({"open", "ftp://127.0.0.1:" + std::to_string(srv.Port()), ";", "pwd", ";", "quote",
                "SITE", "HELP", ";", "close"});
  EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "/srv\n214-The following SITE commands are recognized\n CHMOD\n214 Help OK.\n");
}

TEST_F(CliTest, OverlongCommandIsRefusedAndTheExitStatusSaysSo) {
  FakeFtpServer srv;
  AnonymousLogon(srv).On("quit", "221 bye\r\n");
  srv.Start();
  std::string script = "open ftp://127.0.0.1:" + std::to_string(srv.Port()) + "\nquote DELE " +
                       std::string(300, 'x') + "\n";
  auto r = Cli({}, script);
  EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
  EXPECT_EQ(r.status, 1);
  for (const auto& line : srv.Received()) EXPECT_THAT(line, Not(HasSubstr("DELE")));
}

TEST_F(CliTest, ServerRefusalFailsTheRun) {
  FakeFtpServer srv;
  AnonymousLogon(srv).On("SITE NOPE", "500 Unknown SITE command.\r\n").On("quit", "221 bye\r\n");
  srv.Start();
  std::string script = WriteFile("s.txt", "open ftp://127.0.0.1:" + std::to_string(srv.Port()) +
                                              "\n# a comment\n\nquote SITE NOPE\npwd\n");
  auto r = Cli({"-f", script});
  EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "500 Unknown SITE command.\n");  // pwd never ran
}

TEST_F(CliTest, UsageErrorsAndHelp) {
  EXPECT_EQ(Cli({"--help"}).status, 0);
  EXPECT_THAT(Cli({"--help"}).out, HasSubstr("reg import FILE.reg"));
  auto bad = Cli({"--nonsense"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_THAT(bad.err, HasSubstr("unknown option"));
  auto unknown = Cli({"frobnicate"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_THAT(unknown.err, HasSubstr("Unknown command"));
  auto missing = Cli({"open", "No Such Session"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("Session not found"));
  auto notConnected = Cli({"pwd"});
  EXPECT_EQ(notConnected.status, 1);
  EXPECT_THAT(notConnected.err, HasSubstr("Not connected"));
}

TEST_F(CliTest, RefusedConnectionShowsTheSystemText) {
  RefusingPort refusing;
  auto r = Cli({"open", "ftp://" + refusing.host()});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("Error connecting to host: Connection to 127.0.0.1 failed"));
}

// ---- The registry -------------------------------------------------------------------

TEST_F(CliTest, RegImportExportAndList) {
  std::string reg = WriteFile("s.reg", SessionRegFile("Home Box", "2121", "joe", "pw"));
  auto imp = Cli({"reg", "import", reg});
  ASSERT_EQ(imp.status, 0) << imp.err;
  auto sessions = Cli({"sessions"});
  EXPECT_EQ(sessions.out, "Home Box\n");
  auto exp = Cli({"reg", "export"});
  EXPECT_EQ(exp.status, 0);
  EXPECT_THAT(exp.out, HasSubstr("Windows Registry Editor Version 5.00\r\n"));
  EXPECT_THAT(exp.out, HasSubstr("[HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\Home Box]\r\n"));
  EXPECT_THAT(exp.out, HasSubstr("\"UserName\"=\"joe\"\r\n"));
  auto list = Cli({"reg", "list", "Software\\Ostravel\\Tarn\\Sessions\\Home Box"});
  EXPECT_THAT(list.out, HasSubstr("UserName\tREG_SZ\tjoe"));
  EXPECT_THAT(list.out, HasSubstr("RandomInitData\tREG_BINARY"));
  auto broken = Cli({"reg", "import", WriteFile("bad.reg", "this is not a registry file\n")});
  EXPECT_EQ(broken.status, 1);
}

TEST_F(CliTest, CorruptSettingsDatabaseIsNamedAndKept) {
  std::filesystem::create_directories(dir_ + "/config");
  std::string db = WriteFile("config/registry.sqlite", std::string(4096, 'Z'));
  auto r = Cli({"sessions"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("registry.sqlite"));
  std::ifstream in(db, std::ios::binary);
  std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(kept, std::string(4096, 'Z'));
}

// ---- Transfers ---------------------------------------------------------------------

TEST_F(CliTest, NamesThatWouldLeaveTheTargetFolderAreRefused) {
  FakeFtpServer srv;
  AnonymousLogon(srv).On("quit", "221 bye\r\n");
  srv.Start();
  std::string open = "open ftp://127.0.0.1:" + std::to_string(srv.Port());
  // Each remote name here would make the local name "..", "." or "".
  auto r = Cli({"--keep-going", "-f", "-"},
               open + "\nget pub/.. " + dir_ + "\nget pub/. " + dir_ + "\nget / " + dir_ + "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 3) << r.err;
  EXPECT_THAT(r.err, HasSubstr("cannot be used as a local file name"));
  EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
  for (const auto& line : srv.Received()) EXPECT_THAT(line, Not(HasSubstr("RETR")));
}

}  // namespace
}  // namespace tarn
