// Transfers against a server that cuts, shortens, stalls and misbehaves,
// and a local side that fails: each case ends as a failure the person is
// told about, never as a success and never after a wait for the time-out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "client/engine/conn_worker.h"
#include "client/engine/data.h"
#include "client/engine/logon.h"
#include "client/engine/transfer.h"
#include "client/session/host_record.h"
#include "tests/support/engine_fixture.h"

namespace tarn {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::FakeFtpServer;

constexpr auto kLimit = std::chrono::seconds(30);

// A Ui that shows a transfer window, records its fields, and runs an
// action once `afterBytes` have gone by (a person pressing Cancel, a file
// shrinking under the upload).
class WatchingUi : public testing::ScriptedUi {
 public:
  std::function<void()> action;
  int64_t afterBytes = -1;
  bool TransferWindowOpen() const override { return true; }
  void SetTransferFields(const TransferFields& f) override {
    fields.push_back(f);
    if (afterBytes >= 0 && f.bytes >= afterBytes && action) {
      afterBytes = -1;
      action();
    }
  }
  std::vector<TransferFields> fields;
};

class TransferFaultTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    c_.ui = &wui_;
    app_.bConnected = 1;
    app_.settings.bPassive = 1;
    app_.settings.cFeedbackFlag = "X";
    c_.cTypeNow = 'I';
  }

  // A control connection to a server of the test's own.
  platform::Socket ConnectTo(FakeFtpServer& srv) {
    srv.Start();
    c_.sockControl = FtpOpenSocket(c_, "127.0.0.1", srv.Port());
    return c_.sockControl;
  }
  void Disconnect() {
    if (c_.sockControl != platform::kInvalidSocket) net_.Close(c_.sockControl);
    c_.sockControl = platform::kInvalidSocket;
    c_.bAbort = 0;
  }

  static std::string Failures(const FakeFtpServer& srv) {
    return ::testing::PrintToString(srv.Failures());
  }

  WatchingUi wui_;
};

// ---- Cancel and local write failure -------------------------------------------

// The server, like vsftpd, reads ABOR only after its send failed: a client
// that sends ABOR with the data connection still open waits for ever (here:
// for a reply time-out far beyond the test's limit).
TEST_F(TransferFaultTest, AbortClosesTheDataConnectionBeforeAwaitingAbor) {
  struct Case {
    const char* name;
    bool diskFull;
  } cases[] = {{"cancelled by the person", false}, {"local write failed", true}};
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    FakeFtpServer srv;
    srv.Pasv()
        .On("RETR big", "150 Opening BINARY mode data connection for big (64000000 bytes).\r\n")
        .DataOpen()
        .DataSend(std::string(64000000, 'b'), 65536, 1)
        .DataAwaitClose()
        .Expect("\xFF\xF4\xFF\xF2" "ABOR")
        .Send("426 Failure writing network stream.\r\n225 No transfer to ABOR.\r\n");
    app_.bResumeOK = 1;
    c_.iReplyTimeout = 600000;
    wui_.afterBytes = tc.diskFull ? -1 : 1;
    wui_.action = [this] { c_.bAbort = 1; };
    platform::Socket s = ConnectTo(srv);
    const std::string target = tc.diskFull ? "/dev/full" : Local("big");
    ConnWorker w(c_);
    auto done = w.Submit([&](FtpConn& c) { return FtpGetFile(c, s, "RETR big", target, 'I'); });
    ASSERT_EQ(done.wait_for(kLimit), std::future_status::ready);
    EXPECT_EQ(done.get(), kReplyAborted);
    EXPECT_TRUE(srv.Finish()) << Failures(srv);
    // Both replies were read: the next command gets its own.
    EXPECT_STREQ(c_.cReply, "225 No transfer to ABOR.");
    if (tc.diskFull) {
      EXPECT_THAT(wui_.BoxTexts(), Contains(HasSubstr("Error in WriteFile.\r\nProbable cause: No space left on device")));
      EXPECT_THAT(FailureText(c_), HasSubstr("No space left on device"));
    } else {
      EXPECT_EQ(c_.resume.path, Local("big"));  // kept for a resume
    }
    Disconnect();
  }
}

// A cancel that comes while the transfer command awaits its "150": the
// server may start the transfer all the same, so it gets ABOR and every
// reply it sends is read; the next command gets its own reply.
TEST_F(TransferFaultTest, CancelBeforeTheTransferReplyKeepsTheConnectionInStep) {
  srv_.Pasv()
      .Expect("RETR slow")
      .Hold()
      .Send("150 Opening BINARY mode data connection for slow (1000 bytes).\r\n")
      .DataOpen()
      .DataAwaitClose()
      .Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("426 Failure writing network stream.\r\n226 ABOR successful.\r\n")
      .On("NOOP", "200 NOOP ok.\r\n");
  c_.iReplyTimeout = 600000;
  platform::Socket s = Connect();
  ConnWorker w(c_);
  auto done = w.Submit([&](FtpConn& c) { return FtpGetFile(c, s, "RETR slow", Local("slow"), 'I'); });
  ASSERT_TRUE(srv_.WaitReceived(2));
  w.Cancel();
  // The 150 comes only after the cancel.
  srv_.Release();
  ASSERT_EQ(done.wait_for(kLimit), std::future_status::ready);
  EXPECT_EQ(done.get(), kReplyAborted);
  auto next = w.Submit([&](FtpConn& c) { return FtpCommand(c, s, "NOOP"); });
  ASSERT_EQ(next.wait_for(kLimit), std::future_status::ready);
  EXPECT_EQ(next.get(), kReplyComplete);
  EXPECT_STREQ(c_.cReply, "200 NOOP ok.");
  EXPECT_TRUE(srv_.Finish()) << Failures(srv_);
}

// ---- Fewer bytes than announced -----------------------------------------------

TEST_F(TransferFaultTest, DownloadShortOfTheAnnouncedSizeFailsAndKeepsTheOldFile) {
  struct Case {
    const char* name;
    const char* reply150;
    int64_t sized;  // SIZE's answer, 0 = none
    char type;
    int expected;
  } cases[] = {
      {"150 announces more", "150 Opening (1000 bytes).\r\n", 0, 'I', 5},
      {"SIZE announced more", "150 Opening.\r\n", 1000, 'I', 5},
      {"150 count wins over SIZE", "150 Opening (600 bytes).\r\n", 1000, 'I', 2},
      {"exact", "150 Opening (600 bytes).\r\n", 0, 'I', 2},
      // ASCII sizes change with the line ends: no verdict on them.
      {"ascii", "150 Opening (1000 bytes).\r\n", 0, 'A', 2},
  };
  const std::string data(600, 'n');
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    Write(Local("f"), "the old content");
    std::filesystem::remove(PartialFileFor(Local("f")));
    FakeFtpServer srv;
    if (tc.type != c_.cTypeNow) srv.On(std::string("TYPE ") + tc.type, "200 ok\r\n");
    srv.Pasv().On("RETR f", tc.reply150).DataOpen().DataSend(data).DataClose().Send("226 Transfer complete.\r\n");
    app_.bResumeOK = 1;
    c_.llAnnounced = tc.sized;
    c_.resume = ResumeInfo{};
    platform::Socket s = ConnectTo(srv);
    EXPECT_EQ(FtpGetFile(c_, s, "RETR f", Local("f"), tc.type), tc.expected);
    EXPECT_TRUE(srv.Finish()) << Failures(srv);
    if (tc.expected == 5) {
      EXPECT_EQ(Read(Local("f")), "the old content");
      EXPECT_EQ(c_.resume.path, PartialFileFor(Local("f")));
      EXPECT_EQ(Read(c_.resume.path), data);
      EXPECT_EQ(FailureText(c_), "Transfer incomplete: 600 of 1000 bytes received");
      EXPECT_STREQ(c_.cReply, "Transfer incomplete: 600 of 1000 bytes received");
    } else {
      EXPECT_EQ(Read(Local("f")), data);
      EXPECT_FALSE(std::filesystem::exists(PartialFileFor(Local("f"))));
    }
    Disconnect();
  }
}

TEST_F(TransferFaultTest, ShortNewFileIsDeletedWhenTheServerTakesNoRestarts) {
  app_.bResumeOK = 0;
  srv_.Pasv().On("RETR f", "150 Opening (1000 bytes).\r\n").DataOpen().DataSend("short").DataClose().Send("226 ok\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR f", Local("f"), 'I'), kReplyPermanent);
  EXPECT_FALSE(std::filesystem::exists(Local("f")));
  EXPECT_THAT(Log(), HasSubstr("Partially downloaded file deleted"));
}

// ---- Resume ---------------------------------------------------------------------

// A cut download that replaced a file left its bytes beside it: the resume
// continues those, never the old file, and the whole replaces the old one.
TEST_F(TransferFaultTest, ResumeContinuesTheKeptPartialFileNotTheOldOne) {
  Write(Local("f"), "the old content, much longer than the partial");
  Write(PartialFileFor(Local("f")), "new-");
  c_.resume.bResume = true;
  c_.resume.path = PartialFileFor(Local("f"));
  srv_.Pasv().On("REST 4", "350 Restart position accepted (4).\r\n").On("RETR f", "150 ok\r\n")
      .DataOpen().DataSend("tail").DataClose().Send("226 done\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR f", Local("f"), 'I'), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures(srv_);
  EXPECT_EQ(Read(Local("f")), "new-tail");
  EXPECT_FALSE(std::filesystem::exists(PartialFileFor(Local("f"))));
}

TEST_F(TransferFaultTest, ResumeThatCannotContinueSendsNothingOrFails) {
  struct Case {
    const char* name;
    std::string partial;   // content of the partial file
    int64_t sourceSize;
    bool restRefused;
    int expected;
    std::vector<std::string> sent;
  } cases[] = {
      {"partial larger than the host file", "0123456789", 5, false, 5, {}},
      {"server refuses the restart", "0123", 0, true, 5, {"PASV", "REST 4"}},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    Write(Local("p"), tc.partial);
    FakeFtpServer srv;
    if (tc.restRefused) srv.Pasv().On("REST 4", "502 REST not implemented.\r\n");
    c_.resume = ResumeInfo{};
    c_.resume.bResume = true;
    c_.resume.path = Local("p");
    c_.resume.sourceSize = tc.sourceSize;
    platform::Socket s = ConnectTo(srv);
    EXPECT_EQ(FtpGetFile(c_, s, "RETR p", Local("p"), 'I'), tc.expected);
    srv.Finish();
    EXPECT_EQ(srv.Received(), tc.sent);
    EXPECT_EQ(Read(Local("p")), tc.partial);  // untouched
    if (tc.sourceSize) {
      EXPECT_THAT(FailureText(c_), HasSubstr("larger (10 bytes) than the host file (5 bytes)"));
    }
    Disconnect();
  }
}

TEST_F(TransferFaultTest, UnknownResumePathIsReloadedAndNeverRestartsAtZero) {
  struct Case {
    const char* name;
    bool stored;
    std::vector<std::string> sent;
    std::string result;
  } cases[] = {
      {"stored state names the partial file", true, {"PASV", "REST 3", "RETR r"}, "abcdef"},
      {"nothing stored: the whole file", false, {"PASV", "RETR r"}, "def"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    std::filesystem::remove(Local("r"));
    Write(Local("kept"), "abc");
    FakeFtpServer srv;
    srv.Pasv();
    if (tc.stored) srv.On("REST 3", "350 ok\r\n");
    srv.On("RETR r", "150 ok\r\n").DataOpen().DataSend("def").DataClose().Send("226 done\r\n");
    c_.resume = ResumeInfo{};
    c_.resume.bResume = true;  // the flag set, the path not known in memory
    c_.reloadResume = [&](ResumeInfo* info) {
      if (!tc.stored) return false;
      info->path = Local("kept");
      return true;
    };
    platform::Socket s = ConnectTo(srv);
    EXPECT_EQ(FtpGetFile(c_, s, "RETR r", Local("r"), 'I'), kReplyComplete);
    EXPECT_TRUE(srv.Finish()) << Failures(srv);
    EXPECT_EQ(srv.Received(), tc.sent);
    EXPECT_EQ(Read(Local("r")), tc.result);
    Disconnect();
  }
}

// ---- Uploads ----------------------------------------------------------------------

TEST_F(TransferFaultTest, UploadWhoseFileShrinksWhileSentFails) {
  const std::string path = Local("shrinking");
  Write(path, std::string(4 << 20, 'u'));
  wui_.afterBytes = 1;
  wui_.action = [&] { ASSERT_EQ(truncate(path.c_str(), 600 << 10), 0); };
  srv_.Pasv().On("STOR shrinking", "150 ok\r\n").DataOpen().DataRecv().Send("226 Transfer complete.\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpPutFile(c_, s, "STOR shrinking", path, 'I'), kReplyPermanent);
  EXPECT_TRUE(srv_.Finish()) << Failures(srv_);
  EXPECT_LT(srv_.ReceivedData().size(), 4u << 20);
  EXPECT_THAT(FailureText(c_), HasSubstr("Upload incomplete: "));
  EXPECT_THAT(FailureText(c_), HasSubstr(" of 4194304 bytes"));
}

// A cancelled upload sends no ABOR, but the server's answer to the cut
// transfer is read: left unread, it would pass for the next command's reply.
TEST_F(TransferFaultTest, CancelledUploadReadsTheTransferReply) {
  Write(Local("up"), std::string(8 << 20, 'u'));
  wui_.afterBytes = 1;
  wui_.action = [this] { c_.bAbort = 1; };
  srv_.Pasv().On("STOR up", "150 ok\r\n").DataOpen().DataRecv().Send("426 Connection closed; transfer aborted.\r\n")
      .On("NOOP", "200 NOOP ok.\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpPutFile(c_, s, "STOR up", Local("up"), 'I'), kReplyAborted);
  c_.bAbort = 0;
  EXPECT_EQ(FtpCommand(c_, s, "NOOP"), kReplyComplete);
  EXPECT_STREQ(c_.cReply, "200 NOOP ok.");
  EXPECT_TRUE(srv_.Finish()) << Failures(srv_);
  for (const auto& line : srv_.Received()) EXPECT_THAT(line, Not(HasSubstr("ABOR")));
}

// ---- Active and passive mode --------------------------------------------------------

TEST_F(TransferFaultTest, ActiveModeListensOnTheControlAddressAndTakesOnlyTheServer) {
  app_.settings.bPassive = 0;
  srv_.ExpectPort()
      .ExpectNoListenerAt("127.0.0.2")
      .On("RETR f", "150 ok\r\n")
      .ForeignDataConnection("127.0.0.2")
      .DataOpen()
      .DataSend("the file")
      .DataClose()
      .Send("226 done\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR f", Local("f"), 'I'), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures(srv_);
  EXPECT_EQ(Read(Local("f")), "the file");
  EXPECT_THAT(Log(), HasSubstr("data connection from 127.0.0.2 port "));
  EXPECT_THAT(Log(), HasSubstr("refused: not the server's address 127.0.0.1"));
}

TEST(PasvReply, EachPieceIsReadFromItsFirstDigit) {
  struct Case {
    const char* reply;
    bool ok;
    uint16_t port;
  } cases[] = {
      {"227 Entering Passive Mode (127,0,0,1,195,80).", true, 50000},
      {"227 Entering Passive Mode (127,0,0,1,195, 80)", true, 50000},
      {"227 Entering Passive Mode (127,0,0,1, 195 , 80 )", true, 50000},
      {"227 =127,0,0,1,4,1", true, 1025},
      {"227 Entering Passive Mode (127,0,0,1,195,80", true, 50000},
      {"227 Entering Passive Mode (127,0,0,1,195,)", false, 0},
      {"227 Entering Passive Mode (127,0,0,1,x,80)", false, 0},
      {"227 Entering Passive Mode (127,0,0,1,256,80)", false, 0},
      {"227 Entering Passive Mode (127,0,0,1,195,999)", false, 0},
      {"227 Entering Passive Mode (127,0,0,1,195)", false, 0},
      {"227 Entering Passive Mode", false, 0},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.reply);
    uint16_t port = 0;
    EXPECT_EQ(ParsePasvPort(tc.reply, &port), tc.ok);
    if (tc.ok) {
      EXPECT_EQ(port, tc.port);
    }
  }
}

// ---- Progress -------------------------------------------------------------------------

TEST_F(TransferFaultTest, ProgressBarMovesWithoutFeedbackAndWithoutASize) {
  struct Case {
    const char* name;
    const char* feedback;
    int64_t expected;
    int barAt3Mb;  // position after 3,000,000 bytes
  } cases[] = {
      {"feedback off, size known", "", 4000000, 2929},
      {"feedback on, size not known", "X", 0, 2929},
      {"size beyond the bar's KB range", "X", 100LL << 30, 1},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    app_.settings.cFeedbackFlag = tc.feedback;
    c_.llExpected = tc.expected;
    c_.progressShownMs = 0;
    c_.iProgressTick = kProgressTickStart;
    wui_.fields.clear();
    FtpProgress(c_, 3000000, NowMs());
    ASSERT_EQ(wui_.fields.size(), 1u);
    EXPECT_EQ(wui_.fields[0].barPos, tc.barAt3Mb);
    EXPECT_EQ(wui_.fields[0].barOnly, tc.feedback[0] == '\0');
    if (tc.feedback[0] == '\0') {
      EXPECT_THAT(wui_.fields[0].received, IsEmpty());
    }
  }
}

// ---- The local side -------------------------------------------------------------------

TEST_F(TransferFaultTest, FolderThatCannotBeWrittenIsRefusedBeforeRetr) {
  Write(Local("plain"), "a file, not a folder");
  const std::string targets[] = {Local("plain") + "/f", "/proc/tarn-cannot-be-made"};
  for (const auto& target : targets) {
    SCOPED_TRACE(target);
    FakeFtpServer srv;
    srv.On("NOOP", "200 ok\r\n");
    platform::Socket s = ConnectTo(srv);
    EXPECT_EQ(FtpGetFile(c_, s, "RETR f", target, 'I'), kReplyPermanent);
    // The connection is still in step: nothing went out for the download.
    EXPECT_EQ(FtpCommand(c_, s, "NOOP"), kReplyComplete);
    EXPECT_TRUE(srv.Finish()) << Failures(srv);
    EXPECT_THAT(srv.Received(), ElementsAre("NOOP"));
    EXPECT_THAT(wui_.BoxTexts(), Contains(HasSubstr("Error in CreateFile.")));
    Disconnect();
  }
}

// A refused download leaves no empty file behind.
TEST_F(TransferFaultTest, RefusedRetrRemovesTheFileItMade) {
  srv_.Pasv().On("RETR gone", "550 Failed to open file.\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR gone", Local("gone"), 'I'), kReplyPermanent);
  EXPECT_FALSE(std::filesystem::exists(Local("gone")));
  EXPECT_EQ(FailureText(c_), "550 Failed to open file.");
}

// ---- What failed is said --------------------------------------------------------------

TEST_F(TransferFaultTest, FailuresNameTheirCauseNotAStaleReply) {
  // The PASV reply names a port nobody listens on.
  platform::Socket probe = -1;
  {
    int err = 0;
    probe = net_.OpenTcp(&err);
    ASSERT_TRUE(net_.Bind(probe, platform::Ipv4{0x7f000001, 0}).ok());
  }
  platform::Ipv4 unused;
  ASSERT_TRUE(net_.LocalAddress(probe, &unused).ok());
  const std::string hp = "127,0,0,1," + std::to_string(unused.port / 256) + "," + std::to_string(unused.port % 256);
  srv_.Expect("PASV").Send("227 Entering Passive Mode (" + hp + ").\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR f", Local("f"), 'I'), -1);
  net_.Close(probe);
  EXPECT_EQ(FailureText(c_), "connect PASV: connection refused");
}

class ConnectFailureTest : public TransferFaultTest {
 protected:
  bool Connect(uint16_t port, const char* hostDir = "", bool required = false) {
    HostRecord h;
    InitNewSession(&h, "s", "127.0.0.1");
    SetField(h.cFTPPort, std::to_string(port));
    SetField(h.cUserFlag, "A");
    SetField(h.cHostDir, hostDir);
    ConnectContext ctx;
    ctx.conn = &c_;
    ctx.replyTimeoutMs = 5000;
    ctx.startDirectoryRequired = required;
    ctx.hooks.processDirectory = [&](const std::string& dir) {
      return FtpCommand(c_, c_.sockControl, "CWD %s", dir.c_str()) == 2;
    };
    return RunConnect(ctx, &h);
  }
};

TEST_F(ConnectFailureTest, TheBoxSaysWhatFailed) {
  app_.bConnected = 0;
  {
    SCOPED_TRACE("nobody listens");
    int err = 0;
    platform::Socket probe = net_.OpenTcp(&err);
    ASSERT_TRUE(net_.Bind(probe, platform::Ipv4{0x7f000001, 0}).ok());
    platform::Ipv4 at;
    ASSERT_TRUE(net_.LocalAddress(probe, &at).ok());
    EXPECT_FALSE(Connect(at.port));
    net_.Close(probe);
    ASSERT_FALSE(wui_.Boxes().empty());
    EXPECT_EQ(wui_.Boxes().back().caption, "Error connecting to host");
    EXPECT_EQ(wui_.Boxes().back().text, "Connection to 127.0.0.1 failed: connection refused");
  }
  {
    SCOPED_TRACE("closed before the banner");
    FakeFtpServer srv;
    srv.Close();
    srv.Start();
    EXPECT_FALSE(Connect(srv.Port()));
    srv.Finish();
    EXPECT_EQ(wui_.Boxes().back().text, "Connection closed by server");
  }
  {
    SCOPED_TRACE("closed after USER");
    FakeFtpServer srv;
    srv.Send("220 hi\r\n").Expect("USER anonymous").Close();
    srv.Start();
    EXPECT_FALSE(Connect(srv.Port()));
    srv.Finish();
    EXPECT_EQ(wui_.Boxes().back().text, "Connection closed by server");
  }
}

TEST_F(ConnectFailureTest, StartDirectoryThatCannotBeEnteredFailsWhenRequired) {
  app_.bConnected = 0;
  auto script = [](FakeFtpServer& srv) {
    srv.Send("220 hi\r\n").On("USER anonymous", "331 pass\r\n").ExpectPrefix("PASS ").Send("230 in\r\n")
        .On("REST 100", "350 ok\r\n").On("REST 0", "350 ok\r\n").On("SYST", "215 UNIX Type: L8\r\n")
        .On("PWD", "257 \"/\"\r\n").On("CWD /missing/dir", "550 Failed to change directory.\r\n");
  };
  {
    SCOPED_TRACE("required: the connect fails, logged off");
    FakeFtpServer srv;
    script(srv);
    srv.On("quit", "221 Goodbye.\r\n");
    srv.Start();
    EXPECT_FALSE(Connect(srv.Port(), "/missing/dir", true));
    EXPECT_TRUE(srv.Finish()) << Failures(srv);
    EXPECT_EQ(c_.sockControl, platform::kInvalidSocket);
    EXPECT_EQ(app_.bConnected, 0);
    EXPECT_EQ(FailureText(c_),
              "Can't change to the start directory /missing/dir: 550 Failed to change directory.");
  }
  {
    SCOPED_TRACE("not required: the log-on directory, with the box");
    FakeFtpServer srv;
    script(srv);
    srv.On("CWD /", "250 ok\r\n");
    srv.Start();
    EXPECT_TRUE(Connect(srv.Port(), "/missing/dir", false));
    EXPECT_TRUE(srv.Finish()) << Failures(srv);
    EXPECT_THAT(wui_.BoxCaptions(), Contains("Change In Startup Directory"));
  }
}

}  // namespace
}  // namespace tarn
