// Data connections and byte loops against the scripted server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "client/engine/data.h"
#include "client/engine/transfer.h"
#include "client/session/host_record.h"
#include "tests/support/engine_fixture.h"

namespace tarn {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// A Ui whose person presses Cancel once `afterBytes` have gone by.
class AbortingUi : public testing::ScriptedUi {
 public:
  FtpConn* conn = nullptr;
  int64_t afterBytes = -1;
  bool TransferWindowOpen() const override { return true; }
  void SetTransferFields(const TransferFields& f) override {
    if (afterBytes >= 0 && f.bytes >= afterBytes && conn) conn->bAbort = 1;
  }
  void SetStatusText(int part, const std::string& text) override {
    ScriptedUi::SetStatusText(part, text);
  }
};

class TransferTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    app_.bConnected = 1;
    app_.settings.bPassive = 1;
    app_.settings.cFeedbackFlag = "X";
    c_.iReplyTimeout = 2000;
  }

  std::string Failures() { return ::testing::PrintToString(srv_.Failures()); }
};

// ---- Downloads ----------------------------------------------------------------

TEST_F(TransferTest, PassiveDownloadWritesTheBytesAndReadsTheFinalReply) {
  std::string data = "line one\r\nline two\r\n";
  srv_.On("TYPE I", "200 Switching to Binary mode.\r\n")
      .Pasv()
      .On("RETR f.bin", "150 Opening BINARY mode data connection for f.bin (20 bytes).\r\n")
      .DataOpen()
      .DataSend(data)
      .DataClose()
      .Send("226 Transfer complete.\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR f.bin", Local("f.bin"), 'I'), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_EQ(Read(Local("f.bin")), data);
  EXPECT_EQ(c_.llExpected, 20);
  EXPECT_THAT(Log(), HasSubstr("Received 20 bytes in 1 seconds (20 bytes/sec)\r\n"));
}

TEST_F(TransferTest, ActiveDownloadListensAndAccepts) {
  app_.settings.bPassive = 0;
  srv_.On("TYPE A", "200 ok\r\n")
      .ExpectPort()
      .On("RETR a.txt", "150 Opening\r\n")
      .DataOpen()
      .DataSend("hello")
      .DataClose()
      .Send("226 done\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR a.txt", Local("a.txt"), 'A'), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_EQ(Read(Local("a.txt")), "hello");
  EXPECT_THAT(Log(), HasSubstr("] accept from 127.0.0.1 port "));
}

TEST_F(TransferTest, RefusedPortStillSendsTheTransferCommand) {
  app_.settings.bPassive = 0;
  c_.cTypeNow = 'A';
  srv_.ExpectPort("500 Illegal PORT command.\r\n")
      .On("RETR a.txt", "150 Opening\r\n")
      .DataOpen()
      .DataSend("x")
      .DataClose()
      .Send("226 done\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR a.txt", Local("a.txt"), 'A'), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_THAT(Log(), HasSubstr("remote end didn't understand our port command.\r\n\r\n"));
}

TEST_F(TransferTest, ServerThatNeverConnectsBackEndsAtTheWaitBound) {
  app_.settings.bPassive = 0;
  c_.cTypeNow = 'I';
  c_.iReplyTimeout = 300;
  srv_.ExpectPort().On("RETR a", "150 Opening\r\n").Hold();
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR a", Local("a"), 'I'), kReplyNone);
  EXPECT_THAT(Log(), HasSubstr("Timer cancelled blocking call"));
  EXPECT_EQ(c_.sockListen, platform::kInvalidSocket);
}

TEST_F(TransferTest, PasvRepliesThatNameNoPortFail) {
  for (const char* reply : {"227 Entering Passive Mode (127,0,0,1)\r\n", "227 (127,0,0,1,x,y)\r\n",
                            "227 Entering Passive Mode\r\n"}) {
    SCOPED_TRACE(reply);
    testing::FakeFtpServer srv;
    srv.On("PASV", reply);
    srv.Start();
    c_.cTypeNow = 'I';
    platform::Socket s = FtpOpenSocket(c_, "127.0.0.1", srv.Port());
    EXPECT_EQ(FtpGetFile(c_, s, "RETR a", Local("a"), 'I'), -1);
    EXPECT_THAT(Log(), HasSubstr("connect PASV: "));
    srv.Finish();
    net_.Close(s);
  }
}

TEST_F(TransferTest, PasvAddressOfAnotherHostIsIgnored) {
  // The reply names 10.9.8.7; the data connection still goes to the control
  // peer, and a closing parenthesis is not needed.
  c_.cTypeNow = 'I';
  srv_.Pasv("227 Entering Passive Mode 10,9,8,7,{p1},{p2}\r\n")
      .On("RETR a", "150 Opening\r\n")
      .DataOpen()
      .DataSend("abc")
      .DataClose()
      .Send("226 done\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR a", Local("a"), 'I'), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_EQ(Read(Local("a")), "abc");
}

TEST_F(TransferTest, TypeIsSentOnlyWhenItChanges) {
  srv_.On("TYPE A", "200 ok\r\n").Pasv().On("RETR 1", "550 no\r\n");
  srv_.Pasv().On("RETR 2", "550 no\r\n");
  srv_.On("TYPE L 8", "504 not supported\r\n").Pasv().On("RETR 3", "550 no\r\n");
  srv_.Pasv().On("RETR 4", "550 no\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR 1", Local("1"), 'A'), kReplyPermanent);
  EXPECT_EQ(FtpGetFile(c_, s, "RETR 2", Local("2"), 'A'), kReplyPermanent);
  EXPECT_EQ(FtpGetFile(c_, s, "RETR 3", Local("3"), 'L'), kReplyPermanent);
  EXPECT_EQ(c_.cTypeNow, 'L');  // a refused TYPE still counts
  EXPECT_EQ(FtpGetFile(c_, s, "RETR 4", Local("4"), 'L'), kReplyPermanent);
  EXPECT_TRUE(srv_.Finish()) << Failures();
}

TEST_F(TransferTest, SizeOfThe150ReplyReplacesTheListedSize) {
  struct Case {
    const char* reply;
    int64_t listed;
    int64_t expected;
  } cases[] = {
      {"150 Opening BINARY mode data connection for x (1234 bytes).", 0, 1234},
      {"150 Opening data connection for x (1234 BYTES)", 0, 1234},
      {"150 Opening data connection for x.", 2048, 2048},
      {"150 Here comes the file (0 bytes).", 2048, 2048},
      {"150 about 99999999999 bytes", 0, 99999999999},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.reply);
    c_.llExpected = tc.listed;
    SetField(c_.cReply, tc.reply);
    FtpParseSize(c_);
    EXPECT_EQ(c_.llExpected, tc.expected);
  }
}

TEST_F(TransferTest, ZeroLengthFileIsDone) {
  c_.cTypeNow = 'I';
  srv_.Pasv().On("RETR empty", "150 ok\r\n").DataOpen().DataClose().Send("226 done\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR empty", Local("empty"), 'I'), kReplyComplete);
  struct stat st{};
  ASSERT_EQ(stat(Local("empty").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_THAT(Log(), HasSubstr("Received 0 bytes in 1 seconds (0 bytes/sec)"));
}

TEST_F(TransferTest, ServerClosingTheDataConnectionEarlyIsReportedByItsReply) {
  c_.cTypeNow = 'I';
  srv_.Pasv()
      .On("RETR f", "150 ok (100 bytes)\r\n")
      .DataOpen()
      .DataSend("only part")
      .DataClose()
      .Send("426 Connection closed; transfer aborted.\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR f", Local("f"), 'I'), kReplyTransient);
  EXPECT_EQ(Read(Local("f")), "only part");
}

TEST_F(TransferTest, FailedReplacementLeavesTheOldFile) {
  c_.cTypeNow = 'I';
  Write(Local("keep"), "the old content");
  srv_.Pasv()
      .On("RETR keep", "150 ok\r\n")
      .DataOpen()
      .DataSend("new but cut")
      .DataClose()
      .Send("426 Connection closed; transfer aborted.\r\n");
  srv_.Pasv()
      .On("RETR keep", "150 ok\r\n")
      .DataOpen()
      .DataSend("the new content")
      .DataClose()
      .Send("226 done\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR keep", Local("keep"), 'I'), kReplyTransient);
  EXPECT_EQ(Read(Local("keep")), "the old content");
  EXPECT_EQ(FtpGetFile(c_, s, "RETR keep", Local("keep"), 'I'), kReplyComplete);
  EXPECT_EQ(Read(Local("keep")), "the new content");
  EXPECT_TRUE(srv_.Finish()) << Failures();
  // No temporary file is left behind.
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir_)) files += e.path().filename() != "Tarn.log";
  EXPECT_EQ(files, 1);
}

TEST_F(TransferTest, ResumeSendsTheFull64BitOffset) {
  // A sparse partial file past 4 GiB: a 32-bit offset would restart the
  // download at the wrong place and corrupt the file.
  const int64_t have = (5LL << 30) + 7;
  int fd = open(Local("big").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, have), 0);
  close(fd);
  c_.cTypeNow = 'I';
  c_.resume.bResume = true;
  c_.resume.path = Local("big");
  srv_.Pasv()
      .On("REST 5368709127", "350 Restart position accepted (5368709127).\r\n")
      .On("RETR big", "150 ok\r\n")
      .DataOpen()
      .DataSend("tail")
      .DataClose()
      .Send("226 done\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR big", Local("big"), 'I'), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  struct stat st{};
  ASSERT_EQ(stat(Local("big").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, have + 4);
  EXPECT_EQ(c_.resume.offset, have);
}

// ---- Aborts and local faults ------------------------------------------------------

class AbortTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    ui2_.conn = &c_;
    c_.ui = &ui2_;
    c_.cTypeNow = 'I';
  }
  AbortingUi ui2_;
};

TEST_F(AbortTest, AbortedDownloadKeepsPartialFileWhenServerTakesRestarts) {
  app_.bResumeOK = 1;
  ui2_.afterBytes = 1;
  std::string data(200000, 'd');
  srv_.Pasv()
      .On("RETR big", "150 ok\r\n")
      .DataOpen()
      .DataSend(data, 1000, 5)
      .Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("426 aborted\r\n226 ABOR ok\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR big", Local("big"), 'I'), kReplyAborted);
  // Both replies of the abort are read, so the next command's reply is its own.
  EXPECT_STREQ(c_.cReply, "226 ABOR ok");
  EXPECT_TRUE(srv_.Finish()) << Failures();
  struct stat st{};
  ASSERT_EQ(stat(Local("big").c_str(), &st), 0);
  EXPECT_GT(st.st_size, 0);
  EXPECT_LT(st.st_size, 200000);
  EXPECT_THAT(Log(), HasSubstr("This site supports resume\r\n"));
  EXPECT_EQ(c_.resume.path, Local("big"));
}

TEST_F(AbortTest, AbortedDownloadIsDeletedWhenServerRefusedRestarts) {
  app_.bResumeOK = 0;
  ui2_.afterBytes = 1;
  srv_.Pasv()
      .On("RETR big", "150 ok\r\n")
      .DataOpen()
      .DataSend(std::string(200000, 'd'), 1000, 5)
      .Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("226 ABOR ok\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR big", Local("big"), 'I'), kReplyAborted);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_FALSE(std::filesystem::exists(Local("big")));
  EXPECT_THAT(Log(), HasSubstr("Partially downloaded file deleted\r\n"));
}

TEST_F(AbortTest, AbortedUploadSendsNoAbor) {
  ui2_.afterBytes = 1;
  Write(Local("up"), std::string(8 << 20, 'u'));
  srv_.Pasv().On("STOR up", "150 ok\r\n").DataOpen().DataRecv().Send("426 cut\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpPutFile(c_, s, "STOR up", Local("up"), 'I'), kReplyAborted);
  srv_.Finish();
  EXPECT_THAT(Log(), HasSubstr("Transfer aborted by User\r\n"));
  for (const auto& line : srv_.Received()) EXPECT_THAT(line, Not(HasSubstr("ABOR")));
}

TEST_F(TransferTest, FullDiskShowsWriteFileBoxAndKeepsTheDevice) {
  srv_.Pasv()
      .On("RETR f", "150 ok\r\n")
      .DataOpen()
      .DataSend(std::string(100000, 'x'))
      .Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("226 ok\r\n");
  c_.cTypeNow = 'I';
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR f", "/dev/full", 'I'), kReplyAborted);
  ASSERT_FALSE(ui_.Boxes().empty());
  EXPECT_THAT(ui_.Boxes()[0].text, HasSubstr("Error in WriteFile.\r\nProbable cause: No space left on device"));
  EXPECT_EQ(c_.bAbort, 1);
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

TEST_F(TransferTest, LocalFileThatCannotBeCreated) {
  c_.cTypeNow = 'I';
  srv_.Pasv().On("RETR f", "150 ok\r\n").DataOpen().DataSend("x").DataClose().Send("226 ok\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpGetFile(c_, s, "RETR f", dir_ + "/no/such/dir/f", 'I'), kReplyPermanent);
  ASSERT_FALSE(ui_.Boxes().empty());
  EXPECT_EQ(ui_.Boxes()[0].text, "Error in CreateFile.\r\nProbable cause: No such file or directory");
  EXPECT_THAT(Log(), HasSubstr("Failed to create file " + dir_ + "/no/such/dir/f (2)\r\n\r\n"));
}

TEST_F(TransferTest, UnreadableUploadSource) {
  c_.cTypeNow = 'I';
  srv_.Pasv().On("STOR f", "150 ok\r\n").DataOpen().DataRecv().Send("226 ok\r\n");
  platform::Socket s = Connect();
  // The server confirms the empty upload, but the file was never sent.
  EXPECT_EQ(FtpPutFile(c_, s, "STOR f", dir_ + "/missing", 'I'), kReplyPermanent);
  EXPECT_THAT(Log(), HasSubstr("Could not open file " + dir_ + "/missing (2)\r\n"));
}

// ---- Uploads ----------------------------------------------------------------------

TEST_F(TransferTest, UploadSendsTheFileBytes) {
  std::string data(300000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  Write(Local("up.bin"), data);
  srv_.On("TYPE I", "200 ok\r\n").Pasv().On("STOR up.bin", "150 ok\r\n").DataOpen().DataRecv().Send(
      "226 done\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpPutFile(c_, s, "STOR up.bin", Local("up.bin"), 'I'), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_EQ(srv_.ReceivedData(), data);
  EXPECT_THAT(Log(), HasSubstr("Transmited 300000 bytes in 1 seconds"));
}

TEST_F(TransferTest, AccountIsAskedForOnceAndTheCommandRetried) {
  Write(Local("f"), "data");
  c_.cTypeNow = 'I';
  ui_.AnswerText(std::string("wpass"));
  srv_.Pasv()
      .On("STOR f", "532 Need account for storing files.\r\n")
      .Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("225 ABOR ok\r\n")
      .On("ACCT wpass", "202 ok\r\n")
      .On("STOR f", "150 ok\r\n")
      .DataOpen()
      .DataRecv()
      .Send("226 done\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpPutFile(c_, s, "STOR f", Local("f"), 'I'), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_EQ(srv_.ReceivedData(), "data");
  ASSERT_EQ(ui_.Prompts().size(), 1u);
  EXPECT_EQ(ui_.Prompts()[0].caption, "Account Password");
  EXPECT_EQ(ui_.Prompts()[0].label, "Enter Write Access Password:");
  EXPECT_THAT(Log(), HasSubstr("ACCT\r\n"));
  EXPECT_THAT(Log(), Not(HasSubstr("wpass")));
}

TEST_F(TransferTest, StoredAccountIsUsedWithoutAsking) {
  Write(Local("f"), "data");
  c_.cTypeNow = 'I';
  SetField(c_.cConnAccount, "stored");
  srv_.Pasv()
      .On("STOR f", "532 Need account\r\n")
      .Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("225 ok\r\n")
      .On("ACCT stored", "202 ok\r\n")
      .On("STOR f", "553 still no\r\n")
      .Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("225 ok\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpPutFile(c_, s, "STOR f", Local("f"), 'I'), kReplyPermanent);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_TRUE(ui_.Prompts().empty());
  EXPECT_STREQ(c_.cReply, "553 still no");
}

TEST_F(TransferTest, CancelledAccountPromptEndsTheUpload) {
  Write(Local("f"), "data");
  c_.cTypeNow = 'I';
  ui_.AnswerText(std::nullopt);
  srv_.Pasv()
      .On("STOR f", "532 Need account\r\n")
      .Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("225 ok\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpPutFile(c_, s, "STOR f", Local("f"), 'I'), kReplyPermanent);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_STREQ(c_.cReply, "532 Need account");
}

TEST_F(TransferTest, RefusedUploadKeepsTheRefusalForThePerson) {
  Write(Local("f"), "data");
  c_.cTypeNow = 'I';
  srv_.Pasv()
      .On("STOR f", "553 Could not create file.\r\n")
      .Expect("\xFF\xF4\xFF\xF2" "ABOR")
      .Send("225 ok\r\n");
  platform::Socket s = Connect();
  EXPECT_EQ(FtpPutFile(c_, s, "STOR f", Local("f"), 'I'), kReplyPermanent);
  EXPECT_STREQ(c_.cReply, "553 Could not create file.");
}

TEST(AsciiExtension, AutoDetectTable) {
  const std::string ext = "TXT/C/CPP/BAT/CGI/HTM/HTML/SHTML";
  struct Case {
    const char* name;
    bool ascii;
  } cases[] = {
      {"index.html", true}, {"README.TXT", true}, {"a.c", true},   {"photo.jpg", false},
      {"name.", false},     {"noext", false},     {"a.tar.c", true}, {"a.txt.gz", false},
      {"a.ht", false},      {".txt", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsAsciiExtension(c.name, ext), c.ascii);
  }
}

}  // namespace
}  // namespace tarn
