// The transfer window's batch without a window, against the scripted
// server and the host personalities: the replace and resume questions, the
// cancel question that holds the byte loops, folders whose listing names
// try to leave the chosen folder, and folders of UNIX-like and MVS hosts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "client/cli/console.h"
#include "client/engine/transfer.h"
#include "client/engine/transfer_batch.h"
#include "client/session/session_store.h"
#include "platform/registry.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/host_personality/host_personality.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::FakeFtpServer;
namespace fs = std::filesystem;

constexpr int kLimitMs = 20000;

using testing::ReadFile;

// The person at the window: scripted answers to the replace and resume
// questions, and hooks on the first block boundary and the cancel question.
class BatchUi : public testing::ScriptedUi {
 public:
  std::deque<ReplaceAnswer> replace;
  std::vector<std::string> questions;
  ResumeAnswer resume = ResumeAnswer::kCancel;
  int resumeQuestions = 0;
  std::function<void()> atFirstBlock;  // on the worker, once
  std::function<void()> onCancelQuestion;
  std::vector<TransferFields> fields;  // what reached the window's fields

  bool TransferWindowOpen() const override { return true; }
  void SetTransferFields(const TransferFields& f) override { fields.push_back(f); }
  ReplaceAnswer ConfirmReplace(const ReplaceQuestion& q) override {
    questions.push_back(q.text);
    if (replace.empty()) return ReplaceAnswer::kCancel;
    ReplaceAnswer a = replace.front();
    replace.pop_front();
    return a;
  }
  ResumeAnswer AskResumeOptions(const std::string&, const std::string&) override {
    ++resumeQuestions;
    return resume;
  }
  BoxResult MessageBox(const std::string& text, const std::string& caption, BoxButtons buttons,
                       BoxIcon icon) override {
    if (caption == kCancelCaption && onCancelQuestion) onCancelQuestion();
    return ScriptedUi::MessageBox(text, caption, buttons, icon);
  }
  void TransferPausePoint() override {
    if (!atFirstBlock) return;
    auto f = std::move(atFirstBlock);
    atFirstBlock = nullptr;
    f();
  }
};

class Recorder : public BatchListener {
 public:
  void ConfirmEnded(int result) override { confirm.push_back(result); }
  std::vector<int> confirm;
};

class TransferBatchTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    c_.ui = &bui_;
    app_.bConnected = 1;
    app_.settings.bPassive = 1;
    app_.locale = platform::PinnedLocale();
    c_.cTypeNow = 'I';
    SetField(c_.cRootDir, "/");
    std::string error;
    reg_ = platform::OpenSqliteRegistry(dir_ + "/registry.sqlite", &error);
    ASSERT_TRUE(reg_) << error;
    store_ = std::make_unique<SessionStore>(*reg_, bui_, scrambler_);
    platform::RegKey key;
    ASSERT_EQ(reg_->CreateKey(std::string(kSessionsKey) + "\\S", &key), platform::RegStatus::kOk);
    env_.store = store_.get();
    env_.sessionName = "S";
    env_.listener = &rec_;
  }

  void Open(FakeFtpServer& srv) {
    if (c_.sockControl != platform::kInvalidSocket) net_.Close(c_.sockControl);
    srv.Start();
    c_.sockControl = FtpOpenSocket(c_, "127.0.0.1", srv.Port());
  }
  TransferBatch Batch(TransferDirection dir = TransferDirection::kDownload) {
    BatchHost h;
    h.destination = dir_;
    return TransferBatch(dir, h, TransferMode::kAutoDetect, app_.settings, app_.locale);
  }
  int Run(TransferBatch& b) {
    ConnWorker w(c_);
    auto f = w.Submit(b.StartOp(env_));
    EXPECT_EQ(f.wait_for(std::chrono::milliseconds(kLimitMs)), std::future_status::ready);
    return f.get();
  }
  static void Serve(FakeFtpServer& srv, const std::string& path, const std::string& data) {
    srv.Pasv()
        .On("RETR " + path, "150 Opening BINARY mode (" + std::to_string(data.size()) + " bytes).\r\n")
        .DataOpen()
        .DataSend(data, 65536)
        .DataClose()
        .Send("226 Transfer complete.\r\n");
  }
  ResumeState Stored() {
    ResumeState s;
    store_->LoadResumeState("S", &s, &app_);
    return s;
  }
  static std::string Bytes(size_t n) {
    std::mt19937 gen(7);
    std::string s(n, '\0');
    for (auto& ch : s) ch = static_cast<char>(gen());
    return s;
  }

  BatchUi bui_;
  Recorder rec_;
  std::unique_ptr<platform::Registry> reg_;
  PasswordScrambler scrambler_{1};
  std::unique_ptr<SessionStore> store_;
  BatchEnv env_;
};

// ---- The replace question --------------------------------------------------------

TEST_F(TransferBatchTest, ReplaceAnswersDecideWhichFilesGo) {
  using A = ReplaceAnswer;
  struct Case {
    const char* name;
    std::vector<A> answers;
    std::vector<std::string> sent;
    size_t questions;
    int result;
  } cases[] = {
      {"first declined with No", {A::kNo, A::kYes}, {"b"}, 2, kConfirmGo},
      {"Yes to All asks once", {A::kYesToAll}, {"a", "b"}, 1, kConfirmGo},
      {"every row declined", {A::kNo, A::kNo}, {}, 2, kConfirmAllSkipped},
      {"Cancel goes back to editing", {A::kCancel}, {}, 1, kConfirmCancel},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    Write(Local("a"), "old-a");
    Write(Local("b"), "old-b");
    FakeFtpServer srv;
    for (const auto& n : tc.sent) Serve(srv, "/d/" + n, "new-" + n);
    Open(srv);
    TransferBatch b = Batch();
    b.AddDownload("/d/a", "a", 5, 0, false);
    b.AddDownload("/d/b", "b", 5, 0, false);
    bui_.replace.assign(tc.answers.begin(), tc.answers.end());
    bui_.questions.clear();
    rec_.confirm.clear();
    EXPECT_EQ(Run(b), tc.result);
    EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
    EXPECT_THAT(rec_.confirm, ElementsAre(tc.result));
    EXPECT_EQ(bui_.questions.size(), tc.questions);
    for (const std::string n : {"a", "b"}) {
      const bool sent = std::find(tc.sent.begin(), tc.sent.end(), n) != tc.sent.end();
      EXPECT_EQ(Read(Local(n)), (sent ? "new-" : "old-") + n) << n;
    }
    EXPECT_EQ(b.editable(), tc.result == kConfirmCancel);
    if (tc.result == kConfirmAllSkipped) {
      EXPECT_EQ(b.rows()[1].state, RowState::kSkipped);
    }
  }
  EXPECT_THAT(bui_.questions[0], HasSubstr("Would you like to replace 'a'\r\n\r\n    5 bytes\r\n"));
  EXPECT_THAT(bui_.questions[0], HasSubstr("with this one?\r\n\r\n    5 bytes\r\n    modified on <date/time not available>"));
}

// Files that each arrive within one progress interval: every file's final
// figures still reach the window (the received field shows its size), none
// held back until the next row drops it.
TEST_F(TransferBatchTest, EveryFileShowsItsFinalFigures) {
  FakeFtpServer srv;
  for (const std::string n : {"a", "b", "c"}) Serve(srv, "/d/" + n, "bytes-of-" + n);
  Open(srv);
  TransferBatch b = Batch();
  for (const std::string n : {"a", "b", "c"}) b.AddDownload("/d/" + n, n, 10, 0, false);
  bui_.fields.clear();
  EXPECT_EQ(Run(b), kConfirmGo);
  EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
  std::vector<int64_t> finals;
  for (const TransferFields& f : bui_.fields)
    if (f.done) finals.push_back(f.shownBytes);
  EXPECT_THAT(finals, ElementsAre(10, 10, 10));
}

// ---- Cancel and resume ---------------------------------------------------------------

// The cancel question holds the worker at a block boundary until answered;
// No lets the file finish, Yes ends it with ABOR and keeps the partial file,
// which the next connection offers to resume and continues byte for byte.
TEST_F(TransferBatchTest, CancelQuestionHoldsTheTransferAndYesKeepsItForTheNextConnect) {
  const std::string data = Bytes(16 << 20);
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes ? "Yes" : "No");
    fs::remove(Local("big"));
    app_.bResumeOK = 1;
    c_.iReplyTimeout = 600000;
    FakeFtpServer srv;
    srv.Pasv().On("RETR /d/big", "150 Opening BINARY mode (16777216 bytes).\r\n").DataOpen().DataSend(data, 65536);
    if (yes)
      srv.DataAwaitClose().Expect("\xFF\xF4\xFF\xF2" "ABOR").Send("426 Aborted.\r\n225 ABOR ok.\r\n");
    else
      srv.DataClose().Send("226 Transfer complete.\r\n");
    Open(srv);
    TransferBatch b = Batch();
    b.AddDownload("/d/big", "big", static_cast<int64_t>(data.size()), 0, false);

    std::mutex m;
    std::condition_variable cv;
    bool atBlock = false, go = false, held = false;
    bui_.atFirstBlock = [&] {
      std::unique_lock<std::mutex> lock(m);
      atBlock = true;
      cv.notify_all();
      cv.wait(lock, [&] { return go; });
    };
    bui_.onCancelQuestion = [&] {
      {
        std::lock_guard<std::mutex> lock(m);
        go = true;
      }
      cv.notify_all();
      held = b.WaitHeld(kLimitMs);
    };
    ConnWorker w(c_);
    auto f = w.Submit(b.StartOp(env_));
    {
      std::unique_lock<std::mutex> lock(m);
      ASSERT_TRUE(cv.wait_for(lock, std::chrono::milliseconds(kLimitMs), [&] { return atBlock; }));
    }
    bui_.AnswerBoxes({yes ? BoxResult::kYes : BoxResult::kNo});
    EXPECT_EQ(b.AskCancel(bui_, w), yes);
    ASSERT_EQ(f.wait_for(std::chrono::milliseconds(kLimitMs)), std::future_status::ready);
    EXPECT_TRUE(held);
    EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
    EXPECT_EQ(b.rows()[0].state, yes ? RowState::kFailed : RowState::kDone);
    EXPECT_TRUE(b.outcome().cancelled == yes);
    EXPECT_EQ(bui_.UnscriptedBoxes(), 0);  // no "Error transferring file" after a cancel
    if (!yes) {
      EXPECT_EQ(Read(Local("big")), data);
      EXPECT_STREQ(Stored().cResIsDownLoadDone, "TRUE");
      continue;
    }
    const std::string partial = Read(Local("big"));
    ASSERT_LT(partial.size(), data.size());
    EXPECT_EQ(partial, data.substr(0, partial.size()));
    ResumeState st = Stored();
    EXPECT_STREQ(st.cResIsDownLoadDone, "FALSE");
    EXPECT_EQ(st.cResumeFileName, Local("big"));

    // The next connection: the question after its first listing, then the
    // resume form.
    FakeFtpServer next;
    next.Pasv()
        .On("REST " + std::to_string(partial.size()), "350 Restarting.\r\n")
        .On("RETR /d/big", "150 Opening BINARY mode.\r\n")
        .DataOpen()
        .DataSend(data.substr(partial.size()), 65536)
        .DataClose()
        .Send("226 Transfer complete.\r\n");
    Open(next);
    bui_.AnswerBoxes({BoxResult::kYes});
    bool asked = false;
    ASSERT_EQ(AskResumeOnConnect(c_, *store_, "S", &asked, &st), ResumeOnConnect::kResume);
    EXPECT_EQ(AskResumeOnConnect(c_, *store_, "S", &asked, &st), ResumeOnConnect::kNothing);
    TransferBatch r = Batch();
    ASSERT_TRUE(r.SetResumeRow(st));
    EXPECT_TRUE(r.autoStart());
    EXPECT_EQ(Run(r), kConfirmGo);
    EXPECT_TRUE(next.Finish()) << ::testing::PrintToString(next.Failures());
    EXPECT_EQ(Read(Local("big")), data);
    EXPECT_STREQ(Stored().cResIsDownLoadDone, "TRUE");
  }
}

// Start with a resume pending: the first row that is the partial download
// asks "Resume Options"; a batch that does not begin with it transfers as
// usual, leaving the pending resume for later.
TEST_F(TransferBatchTest, StartWithAPendingResume) {
  const std::string data = Bytes(300000);
  struct Case {
    const char* name;
    ResumeAnswer answer;
    bool firstRowIsPartial;
    bool rest;    // REST with the partial size
    int result;
    bool pendingAfter;
  } cases[] = {
      {"Resume", ResumeAnswer::kResume, true, true, kConfirmResume, false},
      {"Overwrite", ResumeAnswer::kOverwrite, true, false, kConfirmGo, false},
      {"Cancel", ResumeAnswer::kCancel, true, false, kConfirmCancel, true},
      {"another first row", ResumeAnswer::kCancel, false, false, kConfirmGo, true},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(tc.name);
    const std::string name = tc.firstRowIsPartial ? "part" : "other";
    fs::remove(Local("other"));
    Write(Local("part"), data.substr(0, 100000));
    ResumeState st;
    SetField(st.cResumeFileName, Local("part"));
    SetField(st.cResumeSourceFileSize, std::to_string(KbRoundedUp(data.size()) * 1024));
    SetField(st.cResumeSourcePath, "/d/part");
    SetField(st.cResIsDownLoadDone, "FALSE");
    SetField(st.cResTransferType, "Binary");
    store_->SaveResumeState("S", st);
    FakeFtpServer srv;
    if (tc.result != kConfirmCancel) {
      srv.Pasv();
      if (tc.rest) srv.On("REST 100000", "350 Restarting.\r\n");
      srv.On("RETR /d/" + name, "150 Opening.\r\n")
          .DataOpen()
          .DataSend(tc.rest ? data.substr(100000) : data)
          .DataClose()
          .Send("226 Transfer complete.\r\n");
    }
    Open(srv);
    TransferBatch b = Batch();
    b.AddDownload("/d/" + name, name, static_cast<int64_t>(data.size()), 0, false);
    bui_.resume = tc.answer;
    bui_.resumeQuestions = 0;
    EXPECT_EQ(Run(b), tc.result);
    EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
    EXPECT_EQ(bui_.resumeQuestions, tc.firstRowIsPartial ? 1 : 0);
    if (tc.result != kConfirmCancel) {
      EXPECT_EQ(Read(Local(name)), data);
    }
    EXPECT_EQ(std::string(Stored().cResIsDownLoadDone) == "FALSE", tc.pendingAfter);
  }
}

// The stop command: an op that does not end within the bound has the data
// and listening sockets shut under it, so that what it waits on ends.
TEST_F(TransferBatchTest, CancelWorkerShutsTheSocketsOfAnOpThatDoesNotEnd) {
  int control[2], data[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, control), 0);
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, data), 0);
  c_.sockControl = control[0];
  c_.sockData = data[0];
  app_.iOpState = 2;
  ConnWorker w(c_);
  std::promise<void> started;
  auto f = w.Submit([&](FtpConn&) {
    started.set_value();
    char b;
    return static_cast<int>(recv(data[0], &b, 1, 0));  // deaf to bAbort
  });
  started.get_future().wait();
  const CancelWorkerResult r = CancelWorker(c_, w, 100);
  EXPECT_TRUE(r.wasRunning);
  EXPECT_FALSE(r.ended);
  EXPECT_TRUE(r.socketsClosed);
  ASSERT_EQ(f.wait_for(std::chrono::milliseconds(kLimitMs)), std::future_status::ready);
  EXPECT_EQ(f.get(), 0);  // the shut-down socket ended the wait
  EXPECT_EQ(app_.iOpState, 0);
  c_.sockData = platform::kInvalidSocket;
  for (int fd : {control[1], data[0], data[1]}) close(fd);
}

// ---- Folders -------------------------------------------------------------------------------

// A listing is the server's word: names that would lead out of the chosen
// folder are refused one by one, and the rest of the folder still arrives.
TEST_F(TransferBatchTest, HostileNamesInAFolderNeverLeaveIt) {
  const std::string listing =
      "-rw-r--r--   1 u  g   4 Dec 19  2002 ../escape\r\n"
      "-rw-r--r--   1 u  g   4 Dec 19  2002 ok.bin\r\n"
      "-rw-r--r--   1 u  g   4 Dec 19  2002 bell\x07name\r\n"
      "drwxr-xr-x   2 u  g   0 Dec 19  2002 a/b\r\n"
      "-rw-r--r--   1 u  g   4 Dec 19  2002 ..\r\n";
  FakeFtpServer srv;
  srv.On("CWD /d", "250 ok\r\n")
      .On("PWD", "257 \"/d\" is current.\r\n")
      .On("TYPE A", "200 ok\r\n")
      .Pasv()
      .On("LIST", "150 Here comes the listing.\r\n")
      .DataOpen()
      .DataSend(listing)
      .DataClose()
      .Send("226 ok\r\n")
      .On("TYPE I", "200 ok\r\n");
  Serve(srv, "/d/ok.bin", "good");
  Open(srv);
  fs::create_directory(Local("into"));
  BatchHost h;
  h.destination = Local("into");
  TransferBatch b(TransferDirection::kDownload, h, TransferMode::kAutoDetect, app_.settings, app_.locale);
  b.AddDownload("/d", "d", -1, 0, true);
  EXPECT_EQ(Run(b), kConfirmGo);
  EXPECT_TRUE(srv.Finish()) << ::testing::PrintToString(srv.Failures());
  EXPECT_EQ(Read(Local("into/d/ok.bin")), "good");
  std::vector<std::string> made;
  for (const auto& e : fs::recursive_directory_iterator(Local("into")))
    made.push_back(fs::relative(e.path(), Local("into")));
  std::sort(made.begin(), made.end());
  EXPECT_THAT(made, ElementsAre("d", "d/ok.bin"));
  EXPECT_FALSE(fs::exists(Local("escape")));
  EXPECT_EQ(b.outcome().refused, 3);  // "." and ".." are no entries at all
  EXPECT_EQ(b.outcome().done, 1);
  const auto boxes = bui_.BoxTexts();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_THAT(boxes[0], HasSubstr("'../escape' was not transferred"));
  EXPECT_THAT(boxes[0], HasSubstr("'bell\\x07name' was not transferred"));
  EXPECT_THAT(boxes[0], HasSubstr("'a/b' was not transferred"));
}

// get -r on the hosts that list folders their own way: an MVS partitioned
// data set arrives as a folder named after it with a file per member.
TEST(FolderOnHosts, GetFolderFromMainframeAndPcHosts) {
  using testing::Personality;
  struct Case {
    Personality host;
    const char* typed;
    const char* folder;
    std::vector<std::pair<std::string, std::string>> files;  // local name, host name
    const char* command;
  } cases[] = {
      {Personality::kMvs, "CNTL", "USER1.CNTL",
       {{"ALLOCJCL.CNTL", "USER1.CNTL(ALLOCJCL)"}, {"BACKUP.CNTL", "USER1.CNTL(BACKUP)"},
        {"NOSTATS.CNTL", "USER1.CNTL(NOSTATS)"}},
       "RETR 'USER1.CNTL(BACKUP)'"},
      {Personality::kWindows, "docs", "docs", {{"readme.txt", "/docs/readme.txt"}}, "RETR /docs/readme.txt"},
      {Personality::kNetWare, "/docs", "docs", {{"readme.txt", "/docs/readme.txt"}}, "RETR /docs/readme.txt"},
  };
  for (const auto& tc : cases) {
    SCOPED_TRACE(testing::PersonalityName(tc.host));
    testing::TempDir tmp("tarn-batch");
    const std::string dir = tmp.Path();
    std::string error;
    auto reg = platform::OpenSqliteRegistry(dir + "/registry.sqlite", &error);
    ASSERT_TRUE(reg) << error;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    {
      cli::ConsoleUi ui(err, nullptr, false);
      ui.SetShowProgress(false);
      AppState app;
      app.locale = platform::PinnedLocale();
      app.settings.bPassive = 1;
      testing::PersonalityOptions o;
      o.personality = tc.host;
      testing::HostPersonality host(o);
      ASSERT_TRUE(host.Start());
      cli::ConsoleOptions options;
      options.replyTimeoutMs = 5000;
      options.type = 'I';
      cli::Console console(*reg, app, ui, out, err, options);
      setenv("TARN_PASSWORD", "pw", 1);
      ASSERT_TRUE(console.Run({"open", "ftp://USER1@127.0.0.1:" + std::to_string(host.Port())}));
      EXPECT_TRUE(console.Run({"get", "-r", tc.typed, dir + "/into"}));
      for (const auto& [local, remote] : tc.files)
        EXPECT_EQ(ReadFile(dir + "/into/" + tc.folder + "/" + local), host.File(remote)) << local;
      EXPECT_THAT(host.Commands(), ::testing::Contains(tc.command));
      console.Shutdown();
      host.Stop();
    }
    std::rewind(err);
    char buf[4096] = {};
    EXPECT_EQ(std::fread(buf, 1, sizeof buf - 1, err), 0u) << buf;
    std::fclose(out);
    std::fclose(err);
  }
}

}  // namespace
}  // namespace tarn
