#include "client/engine/logon.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/session/password.h"
#include "tests/support/engine_fixture.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::EngineTest;
using testing::FakeFtpServer;

class LogonTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    InitNewSession(&host_, "test", "127.0.0.1");
    SetField(host_.cFTPPort, std::to_string(srv_.Port()));
  }

  // A user whose password is saved in the session.
  void SavedUser(const std::string& user, const std::string& pass) {
    SetField(host_.cUserFlag, "S");
    SetField(host_.cUserName, user);
    SetField(host_.cPasswordFlag, "S");
    PasswordScrambler scrambler(1234567);
    SetField(host_.cPassword, scrambler.Scramble(pass));
  }

  // The replies of a plain log-on after the banner, up to the restart probe.
  FakeFtpServer& Restart(FakeFtpServer& s) {
    return s.On("REST 100", "350 Restarting at 100.\r\n").On("REST 0", "350 Restarting at 0.\r\n");
  }

  bool ConnectSession() {
    srv_.Start();
    ConnectContext ctx;
    ctx.conn = &c_;
    ctx.replyTimeoutMs = 3000;
    ctx.hooks.processDirectory = [&](const std::string& dir) {
      dirs_.push_back(dir);
      return FtpCommand(c_, c_.sockControl, "CWD %s", dir.c_str()) == kReplyComplete;
    };
    bool ok = RunConnect(ctx, &host_);
    start_ = ctx.startDirectory;
    return ok;
  }

  std::string Script() { return ::testing::PrintToString(srv_.Failures()); }

  HostRecord host_;
  std::vector<std::string> dirs_;
  std::string start_;
};

// ---- Log-on -------------------------------------------------------------------

TEST_F(LogonTest, AnonymousWithoutEmailSendsPlaceholderAndFindsStartDirectory) {
  srv_.Send("220 ready\r\n").On("USER anonymous", "331 Please specify the password.\r\n");
  srv_.On(std::string("PASS ") + kAnonymousPlaceholder, "230 Login successful.\r\n");
  Restart(srv_).On("SYST", "215 UNIX Type: L8\r\n");
  srv_.On("PWD", "257 \"/home/ftp\" is the current directory\r\n");
  srv_.On("CWD /home/ftp", "250 ok\r\n");
  EXPECT_TRUE(ConnectSession());
  EXPECT_TRUE(srv_.Finish()) << Script();
  EXPECT_EQ(start_, "/home/ftp");
  EXPECT_EQ(app_.bConnected, 1);
  EXPECT_EQ(app_.bResumeOK, 1);
  EXPECT_STREQ(c_.cRootDir, "/");
  EXPECT_THAT(Log(), HasSubstr("--- Initial Startup Directory pHost->cHostDir: /home/ftp\r\n"));
  auto states = ui_.ConnStates();
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.back().first, ConnState::kConnected);
  EXPECT_THAT(ui_.StatusTexts(), ::testing::Contains(std::make_pair(0, std::string("Connected to FTP host test"))));
  EXPECT_THAT(ui_.TransferModes(), ElementsAre(TransferMode::kAutoDetect));
}

TEST_F(LogonTest, PreliminaryBannerLinesThenReady) {
  SavedUser("joe", "pw");
  srv_.Send("120 Service ready in 1 minute\r\n120 still coming\r\n220 ready\r\n");
  srv_.On("USER joe", "331 need pass\r\n").On("PASS pw", "230 in\r\n");
  Restart(srv_).On("SYST", "500 no\r\n").On("PWD", "257 \"/\"\r\n").On("CWD /", "250 ok\r\n");
  EXPECT_TRUE(ConnectSession());
  EXPECT_TRUE(srv_.Finish()) << Script();
}

TEST_F(LogonTest, RefusedBannerShowsItsText) {
  srv_.Send("421 Too many users\r\n");
  EXPECT_FALSE(ConnectSession());
  EXPECT_THAT(Log(), HasSubstr("Unknown open msg \"421 Too many users\" 421"));
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].caption, "Error connecting to host");
  EXPECT_EQ(ui_.Boxes()[0].text, "421 Too many users");
  EXPECT_EQ(app_.bConnected, 0);
  EXPECT_EQ(c_.sockControl, platform::kInvalidSocket);
}

TEST_F(LogonTest, WrongPasswordReportsLastReply) {
  SavedUser("joe", "bad");
  srv_.Send("220 ready\r\n").On("USER joe", "331 need pass\r\n").On("PASS bad", "530 Login incorrect.\r\n");
  EXPECT_FALSE(ConnectSession());
  EXPECT_THAT(Log(), HasSubstr("Could not log on to remote host 127.0.0.1\r\n"));
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].text, "530 Login incorrect.");
}

TEST_F(LogonTest, RestartRefusedMeansNoResume) {
  SavedUser("joe", "pw");
  srv_.Send("220 ready\r\n").On("USER joe", "331 p\r\n").On("PASS pw", "230 in\r\n");
  srv_.On("REST 100", "502 REST not implemented\r\n").On("REST 0", "502 no\r\n");
  srv_.On("SYST", "215 UNIX\r\n").On("PWD", "257 \"/\"\r\n").On("CWD /", "250 ok\r\n");
  EXPECT_TRUE(ConnectSession());
  EXPECT_EQ(app_.bResumeOK, 0);
}

TEST_F(LogonTest, AccountIsSentWhenTheServerAsksForIt) {
  SavedUser("joe", "pw");
  PasswordScrambler scrambler(99);
  SetField(host_.cAccount, scrambler.Scramble("dept7"));
  srv_.Send("220 ready\r\n").On("USER joe", "331 p\r\n").On("PASS pw", "230 'Account' needed for writes\r\n");
  srv_.On("ACCT dept7", "230 ok\r\n");
  Restart(srv_).On("SYST", "215 UNIX\r\n").On("PWD", "257 \"/\"\r\n").On("CWD /", "250 ok\r\n");
  EXPECT_TRUE(ConnectSession());
  EXPECT_TRUE(srv_.Finish()) << Script();
  EXPECT_THAT(Log(), HasSubstr("ACCT xxxxxx"));
}

TEST_F(LogonTest, CancelledPromptNeverConnects) {
  SetField(host_.cUserFlag, "P");
  ui_.AnswerLogon(std::nullopt);
  EXPECT_FALSE(ConnectSession());
  ASSERT_EQ(ui_.Prompts().size(), 1u);
  EXPECT_EQ(app_.iOpState, kOpIdle);
  EXPECT_EQ(ui_.ConnStates().back().first, ConnState::kDisconnected);
  srv_.Finish(100);
  EXPECT_TRUE(srv_.Received().empty());
}

TEST_F(LogonTest, PromptedCredentialsAreUsed) {
  SetField(host_.cUserFlag, "S");
  SetField(host_.cUserName, "joe");
  SetField(host_.cPasswordFlag, "P");
  LogonPrompt answer;
  answer.userName = "joe";
  answer.password = "typed";
  ui_.AnswerLogon(answer);
  srv_.Send("220 ready\r\n").On("USER joe", "331 p\r\n").On("PASS typed", "230 in\r\n");
  Restart(srv_).On("SYST", "215 UNIX\r\n").On("PWD", "257 \"/\"\r\n").On("CWD /", "250 ok\r\n");
  EXPECT_TRUE(ConnectSession());
  EXPECT_TRUE(srv_.Finish()) << Script();
}

// ---- Firewalls ----------------------------------------------------------------

struct FirewallCase {
  int type;
  std::vector<std::pair<std::string, std::string>> exchange;  // line, reply
};

TEST_F(LogonTest, EachFirewallSchemeSendsItsSequence) {
  // Each scheme against its own scripted firewall.
  const std::string port = "2100";
  std::vector<FirewallCase> cases = {
      {0, {{"USER joe@ftp.example.org", "331 p\r\n"}, {"PASS pw", "230 in\r\n"}}},
      {1,
       {{"USER fwuser", "331 p\r\n"},
        {"PASS fwpass", "230 fw ok\r\n"},
        {"USER joe@ftp.example.org", "331 p\r\n"},
        {"PASS pw", "230 in\r\n"}}},
      {2, {{"USER fwuser@ftp.example.org:2100", "331 p\r\n"}, {"PASS pw", "230 in\r\n"}}},
      {3,
       {{"USER fwuser", "331 p\r\n"},
        {"PASS fwpass", "230 fw ok\r\n"},
        {"USER site ftp.example.org", "331 p\r\n"},
        {"PASS pw", "230 in\r\n"}}},
  };
  for (const auto& fc : cases) {
    SCOPED_TRACE(fc.type);
    FakeFtpServer fw;
    fw.Send("220 firewall\r\n");
    for (const auto& [line, reply] : fc.exchange) fw.On(line, reply);
    fw.On("REST 100", "350 ok\r\n").On("REST 0", "350 ok\r\n");
    fw.Start();
    HostRecord h;
    InitNewSession(&h, "fw", "ftp.example.org");
    SetField(h.cFTPPort, port);
    SetField(h.cUserName, "joe");
    SetField(h.cPassword, "pw");
    h.iFirewallUse = 1;
    h.iFirewallType = fc.type;
    SetField(h.cFirewallHost, "127.0.0.1");
    h.iFirewallPort = fw.Port();
    SetField(h.cFirewallUser, "fwuser");
    SetField(h.cFirewallPass, "fwpass");
    app_.bConnected = 0;
    platform::Socket s = FtpLogon(c_, &h, 2100);
    EXPECT_NE(s, platform::kInvalidSocket);
    EXPECT_TRUE(fw.Finish()) << ::testing::PrintToString(fw.Failures());
    if (s != platform::kInvalidSocket) net_.Close(s);
  }
}

TEST_F(LogonTest, FirewallFailuresNameTheirStep) {
  HostRecord h;
  InitNewSession(&h, "fw", "ftp.example.org");
  SetField(h.cUserName, "joe");
  SetField(h.cPassword, "pw");
  h.iFirewallUse = 1;
  h.iFirewallType = 1;
  SetField(h.cFirewallHost, "127.0.0.1");
  SetField(h.cFirewallUser, "fwuser");
  SetField(h.cFirewallPass, "fwpass");
  {
    FakeFtpServer fw;
    fw.Send("220 fw\r\n").On("USER fwuser", "331 p\r\n").On("PASS fwpass", "530 no\r\n");
    fw.Start();
    h.iFirewallPort = fw.Port();
    EXPECT_EQ(FtpLogon(c_, &h, 21), platform::kInvalidSocket);
    EXPECT_THAT(Log(), HasSubstr("Failed to log in to Firewall Host 127.0.0.1\r\n"));
    fw.Finish();
  }
  {
    FakeFtpServer fw;
    fw.Send("220 fw\r\n").On("USER fwuser", "331 p\r\n").On("PASS fwpass", "230 ok\r\n");
    fw.On("USER joe@ftp.example.org", "331 p\r\n").On("PASS pw", "530 host refused\r\n");
    fw.Start();
    h.iFirewallPort = fw.Port();
    EXPECT_EQ(FtpLogon(c_, &h, 21), platform::kInvalidSocket);
    EXPECT_THAT(Log(), HasSubstr("Could not connect to ftp.example.org through FireWall Host\r\n"));
    fw.Finish();
  }
  h.cFirewallHost[0] = '\0';
  EXPECT_EQ(FtpLogon(c_, &h, 21), platform::kInvalidSocket);
  EXPECT_THAT(Log(), HasSubstr("FireWall Host name not specified. Can not Connect."));
}

// ---- Host detection -------------------------------------------------------------

struct SystCase {
  std::string reply;
  std::vector<std::pair<std::string, std::string>> follow;  // commands after SYST
  int systemCode, serverType, hostFamily, viewCode;
  bool l8;
};

TEST_F(LogonTest, SystRepliesAdaptTheEngine) {
  std::vector<SystCase> cases = {
      {"215 NETWARE Type: L8", {{"SITE DOS", "200 ok\r\n"}}, SYSTEM_NETWARE, SERVER_NETWARE,
       HOST_GENERIC, VIEW_UNIX, false},
      {"215 MVS is the operating system of this server. FTP Server is running on z/OS.",
       {{"SITE LISTFMT=IBM", "200 ok\r\n"}}, SYSTEM_MVS, SERVER_MVS, HOST_MVS, VIEW_UNIX, false},
      {"215 VSE/ESA and VM", {{"SITE UNIX OFF", "200 ok\r\n"}}, SYSTEM_VSE_NATIVE, SERVER_VSE,
       HOST_VSE, VIEW_VSE, false},
      {"215 VM is the operating system of this server.", {}, SYSTEM_VM, SERVER_VM, HOST_VM, VIEW_UNIX, false},
      {"215 Windows_NT", {{"SITE DIRSTYLE", "200 MSDOS-like directory output is on\r\n"}},
       SYSTEM_MS_DOS_STYLE, SERVER_MICROSOFT, HOST_GENERIC, VIEW_UNIX, false},
      {"215 Windows_NT",
       {{"SITE DIRSTYLE", "200 MSDOS-like directory output is off\r\n"},
        {"SITE DIRSTYLE", "200 MSDOS-like directory output is on\r\n"}},
       SYSTEM_MS_DOS_STYLE, SERVER_MICROSOFT, HOST_GENERIC, VIEW_UNIX, false},
      {"215 Windows_NT", {{"SITE DIRSTYLE", "500 unknown\r\n"}}, SYSTEM_DEFAULT, SERVER_UNIX,
       HOST_GENERIC, VIEW_UNIX, false},
      {"215 UNIX Type: L8", {}, SYSTEM_DEFAULT, SERVER_UNIX, HOST_GENERIC, VIEW_UNIX, false},
      {"215 UNIX Type: L8 Version: L8 emulated", {}, SYSTEM_DEFAULT, SERVER_UNIX, HOST_GENERIC,
       VIEW_UNIX, true},
  };
  for (const auto& sc : cases) {
    SCOPED_TRACE(sc.reply);
    FakeFtpServer s;
    s.On("SYST", sc.reply + "\r\n");
    for (const auto& [line, reply] : sc.follow) s.On(line, reply);
    s.Start();
    c_.HostFamily = HOST_GENERIC;
    c_.SystemCode = SYSTEM_DEFAULT;
    platform::Socket sock = FtpOpenSocket(c_, "127.0.0.1", s.Port());
    FtpDetectHost(c_, sock);
    EXPECT_TRUE(s.Finish()) << ::testing::PrintToString(s.Failures());
    EXPECT_EQ(c_.SystemCode, sc.systemCode);
    EXPECT_EQ(c_.ServerType, sc.serverType);
    EXPECT_EQ(c_.HostFamily, sc.hostFamily);
    EXPECT_EQ(app_.iHostViewCode, sc.viewCode);
    EXPECT_EQ(c_.bL8Emulated, sc.l8 ? 1 : 0);
    net_.Close(sock);
  }
}

TEST_F(LogonTest, VseWithoutItsListingsFallsBackToUnix) {
  srv_.On("SYST", "215 VSE\r\n").On("SITE UNIX OFF", "500 unknown SITE command\r\n");
  platform::Socket s = Connect();
  FtpDetectHost(c_, s);
  EXPECT_TRUE(srv_.Finish());
  EXPECT_EQ(c_.ServerType, SERVER_UNIX);
  EXPECT_EQ(c_.SystemCode, SYSTEM_DEFAULT);
  ASSERT_EQ(ui_.Boxes().size(), 1u);
  EXPECT_EQ(ui_.Boxes()[0].caption, "VSE type listings not supported");
  EXPECT_THAT(Log(), HasSubstr("\"Site Unix\" command failed"));
}

TEST_F(LogonTest, RefusedSystGreysPermissions) {
  srv_.On("SYST", "502 not implemented\r\n");
  platform::Socket s = Connect();
  FtpDetectHost(c_, s);
  EXPECT_THAT(ui_.Commands(), ElementsAre(std::make_pair(UiCommand::kChangePermissions, false)));
}

TEST_F(LogonTest, CesarBannerSkipsSyst) {
  SavedUser("joe", "pw");
  srv_.Send("220 CesarFTP 0.99g Server Welcome !\r\n").On("USER joe", "331 p\r\n").On("PASS pw", "230 in\r\n");
  Restart(srv_).On("PWD", "257 \"/\"\r\n").On("CWD /", "250 ok\r\n");
  EXPECT_TRUE(ConnectSession());
  EXPECT_TRUE(srv_.Finish()) << Script();
  EXPECT_EQ(c_.ServerType, SERVER_UNIX);
}

TEST_F(LogonTest, ExosBannerEndsLinesAtCarriageReturn) {
  SavedUser("joe", "pw");
  srv_.Send("120 (EXOS version 4)\r\n220 ready\r");
  srv_.On("USER joe", "331 p\r").On("PASS pw", "230 in\r");
  Restart(srv_);
  srv_.On("SYST", "215 UNIX\r").On("PWD", "257 \"/\"\r").On("CWD /", "250 ok\r");
  EXPECT_TRUE(ConnectSession());
  EXPECT_EQ(c_.bExosCR, 1);
}

// ---- Start directory --------------------------------------------------------------

TEST_F(LogonTest, RelativeStartDirectoryIsRootedOnUnix) {
  SavedUser("joe", "pw");
  SetField(host_.cHostDir, "pub");
  srv_.Send("220 ready\r\n").On("USER joe", "331 p\r\n").On("PASS pw", "230 in\r\n");
  Restart(srv_).On("SYST", "215 UNIX\r\n").On("PWD", "257 \"/home/joe\"\r\n");
  srv_.On("CWD /pub", "250 ok\r\n");
  EXPECT_TRUE(ConnectSession());
  EXPECT_TRUE(srv_.Finish()) << Script();
  EXPECT_EQ(start_, "/pub");
}

TEST_F(LogonTest, UnreachableStartDirectoryFallsBackToDefault) {
  SavedUser("joe", "pw");
  SetField(host_.cHostDir, "/gone");
  srv_.Send("220 ready\r\n").On("USER joe", "331 p\r\n").On("PASS pw", "230 in\r\n");
  Restart(srv_).On("SYST", "215 UNIX\r\n").On("PWD", "257 \"/home/joe\"\r\n");
  srv_.On("CWD /gone", "550 No such directory\r\n").On("CWD /home/joe", "250 ok\r\n");
  EXPECT_TRUE(ConnectSession());
  EXPECT_TRUE(srv_.Finish()) << Script();
  EXPECT_EQ(start_, "/home/joe");
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Change In Startup Directory"));
}

// The rule alone: the host family, the L8 flag, what PWD named and the
// session's directory decide the root, the start and the fallback.
TEST(StartDirectoryRule, RootStartAndFallbackByHost) {
  struct Case {
    const char* name;
    int32_t family;
    bool l8;
    const char* pwd;
    const char* session;
    const char* root;
    const char* start;
    const char* fallback;
  } cases[] = {
      {"unix, no session directory", HOST_GENERIC, false, "/home/joe", "", "/", "/home/joe", "/home/joe"},
      {"unix, relative session directory", HOST_GENERIC, false, "/home/joe", "pub", "/", "/pub", "/home/joe"},
      {"unix, absolute session directory", HOST_GENERIC, false, "/home/joe", "/srv", "/", "/srv", "/home/joe"},
      {"quotes come off once", HOST_GENERIC, false, "/", "'pub'", "/", "/pub", "/"},
      {"double quotes too", HOST_GENERIC, false, "/", "\"pub\"", "/", "/pub", "/"},
      {"windows paths keep their drive", HOST_GENERIC, false, "C:\\ftp", "D:\\data", "\\", "D:\\data",
       "C:\\ftp"},
      {"backslash root from PWD", HOST_GENERIC, false, "\\ftp", "pub", "\\", "\\pub", "\\ftp"},
      {"no slash in PWD: no root", HOST_GENERIC, false, "USER1", "pub", "", "pub", "USER1"},
      {"L8 emulation roots at /", HOST_GENERIC, true, "USER1", "pub", "/", "/pub", "USER1"},
      {"MVS has no root", HOST_MVS, false, "USER1.", "", "", "USER1.", "USER1."},
      {"MVS dataset stays as typed", HOST_MVS, false, "USER1.", "SYS1", "", "SYS1", "USER1."},
      {"VM has no root", HOST_VM, false, "USER1 191", "", "", "USER1 191", "USER1 191"},
      {"VSE without PWD directory", HOST_VSE, false, "", "", ".", "\\", "\\"},
      {"VSE relative session directory", HOST_VSE, false, "", "LIB", ".", ".LIB", "\\"},
      {"VSE with L8 emulation", HOST_VSE, true, "", "LIB", "/", "/LIB", "\\"},
      {"nothing at all", HOST_GENERIC, false, "", "", "", "", ""},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    const StartDirectory d = StartDirectoryRule(tc.family, tc.l8, tc.pwd, tc.session);
    EXPECT_EQ(d.root, tc.root);
    EXPECT_EQ(d.start, tc.start);
    EXPECT_EQ(d.fallback, tc.fallback);
  }
}

TEST(PwdReply, DirectoryIsTakenFromQuotesOrDevicePaths) {
  struct Case {
    int systemCode;
    const char* reply;
    const char* dir;
  } cases[] = {
      {1, "257 \"/home/joe\" is the current directory", "/home/joe"},
      {1, "257 \"/with space/dir\" is current", "/with space/dir"},
      {13, "257 \"'USER1.'\" is working directory name prefix", "USER1."},
      {1, "257 \"\" is current", ""},
      {1, "257 no quotes here", ""},
      {3, "257 DISK$USER:[JOE.WORK] is current directory.", "DISK$USER:[JOE.WORK]"},
      {4, "257 SYS$DISK:[X] current", "SYS$DISK:[X]"},
      {3, "257 no device path", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    EXPECT_EQ(DirectoryFromPwd(c.systemCode, c.reply), c.dir);
  }
  // The quote-less parser cuts at a blank and at its limit.
  EXPECT_EQ(ParsePwdReply(1, "x \"a b\" y", 100), "a");
  EXPECT_EQ(ParsePwdReply(3, "257 D:[" + std::string(200, 'x') + "]", 100).size(), 100u);
}

}  // namespace
}  // namespace tarn
