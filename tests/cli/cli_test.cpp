// tarn-cli end to end: the built program against the scripted server and
// the real servers, with its own settings directory per test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "client/session/password.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/run_program.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::FakeFtpServer;
using testing::ProgramResult;
using testing::ServerEnv;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarn-cli-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  ProgramResult Cli(std::vector<std::string> args, const std::string& input = "",
                    std::vector<std::string> env = {}) {
    args.insert(args.begin(), TARN_CLI_PATH);
    env.push_back("TARN_CONFIG_DIR=" + dir_ + "/config");
    env.push_back("TARN_PASSWORD=");
    return testing::RunProgram(args, env, input, 60000);
  }

  std::string WriteFile(const std::string& name, const std::string& text) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // A session as the Windows registry editor would export it, password
  // saved in its scrambled form.
  std::string SessionRegFile(const std::string& name, const std::string& port,
                             const std::string& user, const std::string& password) {
    PasswordScrambler scrambler(1700000000);
    std::string scrambled = scrambler.Scramble(password);
    std::string hex;
    for (unsigned char ch : scrambled) {
      char b[4];
      snprintf(b, sizeof b, "%02x", ch);
      if (!hex.empty()) hex += ",";
      hex += b;
    }
    std::string key = "[HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\" + name + "]\r\n";
    return "Windows Registry Editor Version 5.00\r\n\r\n" + key +
           "\"HostName\"=\"127.0.0.1\"\r\n\"FTPPort\"=\"" + port + "\"\r\n" +
           "\"UserFlag\"=\"S\"\r\n\"UserName\"=\"" + user + "\"\r\n" +
           "\"PasswordFlag\"=\"S\"\r\n\"RandomInitData\"=hex:" + hex + "\r\n" +
           "\"Firewalluse\"=\"NO\"\r\n\"SSLUse\"=\"NO\"\r\n\r\n";
  }

  std::string dir_;
};

// ---- Against the scripted server ----------------------------------------------

FakeFtpServer& AnonymousLogon(FakeFtpServer& s) {
  return s.Send("220 fake\r\n")
      .On("USER anonymous", "331 pass\r\n")
      .ExpectPrefix("PASS ")
      .Send("230 in\r\n")
      .On("REST 100", "350 ok\r\n")
      .On("REST 0", "350 ok\r\n")
      .On("SYST", "215 UNIX Type: L8\r\n")
      .On("PWD", "257 \"/srv\" is current\r\n")
      .On("CWD /srv", "250 ok\r\n");
}

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
  FakeFtpServer closed;  // never started: nobody accepts after the listen queue
  auto r = Cli({"open", "ftp://127.0.0.1:1"});
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

// ---- Against vsftpd ---------------------------------------------------------------------

TEST_F(CliTest, ImportedSessionLogsOnToVsftpdWithMaskedPassword) {
  if (!testing::NeedServers()) return;
  const std::string pass = ServerEnv("TARN_TEST_FTP_PASS");
  std::string reg = WriteFile("vs.reg", SessionRegFile("vsftpd", ServerEnv("TARN_TEST_VSFTPD_PORT"),
                                                       ServerEnv("TARN_TEST_FTP_USER"), pass));
  ASSERT_EQ(Cli({"reg", "import", reg}).status, 0);
  auto r = Cli({"-v", "open", "vsftpd", ";", "pwd"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "/\n");
  EXPECT_THAT(r.err, HasSubstr("PASS xxxxxx"));
  EXPECT_THAT(r.err, HasSubstr("230 Login successful."));
  EXPECT_THAT(r.err, Not(HasSubstr(pass)));
}

TEST_F(CliTest, QuickConnectToVsftpdWithPasswordFromEnvironment) {
  if (!testing::NeedServers()) return;
  std::string url = "ftp://" + ServerEnv("TARN_TEST_FTP_USER") + "@127.0.0.1:" +
                    ServerEnv("TARN_TEST_VSFTPD_PORT") + "/upload";
  std::string log = dir_ + "/conn.log";
  auto r = Cli({"--log", log, "open", url, ";", "pwd"}, "",
               {"TARN_PASSWORD=" + ServerEnv("TARN_TEST_FTP_PASS")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "/upload\n");
  std::ifstream in(log, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_THAT(text, HasSubstr("Tarn File Transfer Connection Log (created "));
  EXPECT_THAT(text, HasSubstr("PASS xxxxxx\r\n"));
}

TEST_F(CliTest, PasswordInUrlWorksButDrawsAWarning) {
  if (!testing::NeedServers()) return;
  std::string url = "ftp://" + ServerEnv("TARN_TEST_FTP_USER") + ":" + ServerEnv("TARN_TEST_FTP_PASS") +
                    "@127.0.0.1:" + ServerEnv("TARN_TEST_VSFTPD_PORT") + "/";
  auto r = Cli({"open", url, ";", "pwd"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("warning: a password in the URL"));
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

TEST_F(CliTest, LsShowsParsedRowsAndRawText) {
  if (!testing::NeedServers()) return;
  const std::string url = "ftp://127.0.0.1:" + ServerEnv("TARN_TEST_VSFTPD_PORT") + "/";
  auto r = Cli({"--locale", "C", "open", url, ";", "ls", "pub", ";", "pwd", ";", "ls", "--raw", "pub"});
  ASSERT_EQ(r.status, 0) << r.err;
  // name, size text, permissions, date; then the directory is unchanged
  EXPECT_THAT(r.out, ::testing::MatchesRegex("readme.txt +1KB  rw-r--r-- +[0-9/]+ [0-9:]+\n/\n"
                                             "-rw-r--r-- +1 0 +0 +16 .* readme.txt\n"));
}

class CliVsftpdTest : public CliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliVsftpdTest, PutGetAppendAndResume) {
  if (!testing::NeedServers()) return;
  const std::string mode = GetParam();
  std::string data;
  for (int i = 0; i < 200000; ++i) data += static_cast<char>((i * 131) >> 3);
  WriteFile("src.bin", data);
  const std::string remote = "cli" + std::to_string(getpid()) + mode.substr(2) + ".bin";
  const std::string url = "ftp://" + ServerEnv("TARN_TEST_FTP_USER") + "@127.0.0.1:" +
                          ServerEnv("TARN_TEST_VSFTPD_PORT") + "/upload";
  const std::vector<std::string> env = {"TARN_PASSWORD=" + ServerEnv("TARN_TEST_FTP_PASS")};
  auto r = Cli({mode, "--type", "binary", "open", url, ";", "put", dir_ + "/src.bin", remote, ";", "get",
                remote, dir_ + "/back.bin", ";", "mkdir", "sub" + remote, ";", "rmdir", "sub" + remote},
               "", env);
  ASSERT_EQ(r.status, 0) << r.err;
  std::ifstream back(dir_ + "/back.bin", std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(back)), {}), data);
  EXPECT_THAT(r.err, HasSubstr("transferred"));  // plain progress lines off a terminal

  // A cut download resumed with --resume is byte-identical.
  WriteFile("cut.bin", data.substr(0, 70000));
  r = Cli({mode, "open", url, ";", "get", "--resume", remote, dir_ + "/cut.bin", ";", "append",
           dir_ + "/src.bin", remote, ";", "rm", remote},
          "", env);
  ASSERT_EQ(r.status, 0) << r.err;
  std::ifstream cut(dir_ + "/cut.bin", std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(cut)), {}), data);

  // A file that is gone fails the run with the server's text.
  r = Cli({mode, "open", url, ";", "get", remote, dir_ + "/gone.bin"}, "", env);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("550"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/gone.bin"));
}

INSTANTIATE_TEST_SUITE_P(Modes, CliVsftpdTest, ::testing::Values("--passive", "--active"),
                         [](const auto& info) { return std::string(info.param).substr(2); });

}  // namespace
}  // namespace tarn
