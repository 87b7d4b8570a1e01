// The unattended run against the scripted server and closed ports: stops,
// failed connections, the log, the mailer's arguments and the exit
// statuses. No real server is needed.
#include "client/session/run_queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "client/session/queue_file.h"
#include "client/session/run_headless.h"
#include "client/session/session_store.h"
#include "platform/ipc.h"
#include "platform/paths.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::FakeFtpServer;
using testing::ScriptedUi;

// 7 March 2024, 02:00:00, the stamp of every log line below.
std::tm PinnedTime() {
  std::tm t{};
  t.tm_year = 124, t.tm_mon = 2, t.tm_mday = 7, t.tm_hour = 2;
  return t;
}

// A port nothing listens on: bound, then closed.
uint16_t ClosedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// The status lines of a run, waitable.
class RecordingStatus : public RunStatus {
 public:
  void SetStatus(const std::string& text) override { Add(text); }
  void SetDetail(const std::string& text) override { Add("  " + text); }
  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(mu_);
    return lines_;
  }

 private:
  void Add(const std::string& line) {
    std::lock_guard<std::mutex> lock(mu_);
    lines_.push_back(line);
  }
  mutable std::mutex mu_;
  std::vector<std::string> lines_;
};

class RunQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    std::string error;
    reg_ = platform::OpenSqliteRegistry(dir_ + "/registry.sqlite", &error);
    ASSERT_NE(reg_, nullptr) << error;
    schedule_ = dir_ + "/night" + std::to_string(getpid()) + ".tsc";
    mailerOut_ = dir_ + "/mailer.args";
    // Stands in for courel: writes its arguments, one a line.
    mailer_ = dir_ + "/fake-courel";
    std::ofstream(mailer_) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > "
                           << mailerOut_ << ".tmp && mv " << mailerOut_ << ".tmp " << mailerOut_ << "\n";
    std::filesystem::permissions(mailer_, std::filesystem::perms::owner_all);
  }
  void TearDown() override {
    reg_.reset();
  }

  void StoreSession(const std::string& name, uint16_t port) {
    ScriptedUi ui;
    PasswordScrambler scrambler(1700000000);
    SessionStore store(*reg_, ui, scrambler);
    HostRecord h;
    InitNewSession(&h, name, "127.0.0.1");
    SetField(h.cFTPPort, std::to_string(port));
    SetField(h.cUserFlag, "S");
    SetField(h.cUserName, "user");
    SetField(h.cPasswordFlag, "S");
    SetField(h.cPassword, scrambler.Scramble("secret"));
    store.SaveSession(h);
  }

  void SaveQueue(const TransferQueue& q) {
    std::string error;
    ASSERT_TRUE(SaveQueueFile(schedule_, q, &error)) << error;
  }
  static TransferQueue Queue(std::initializer_list<std::pair<std::string, std::string>> entries) {
    TransferQueue q;
    for (const auto& [session, remote] : entries) {
      QEntry e;
      EXPECT_TRUE(MakeQEntry(remote, "/tmp/unused-" + remote, kQueueDownload | kQueueBinary, &e));
      EXPECT_TRUE(q.AddToQueue(session, e));
    }
    return q;
  }

  RunCommandLine Line(bool mail = true) const {
    RunCommandLine l;
    l.scheduleFile = schedule_;
    l.tokens = 1;
    if (mail) {
      l.smtpHost = "mail.example.org:25";
      l.sender = "ops@example.org";
      l.receiver = "admin@example.org";
      l.tokens = 4;
    }
    return l;
  }

  // Runs the queue as the window would (RunScheduledQueue on a thread of
  // its own), with a pinned clock.
  int Run(const TransferQueue& q, const RunCommandLine& line, RunControl& control) {
    RunEnvironment env;
    env.reg = reg_.get();
    env.app = &app_;
    env.ui = &ui_;
    env.status = &status_;
    env.mailer = mailer_;
    env.clock = PinnedTime;
    return RunScheduledQueue(line, q, env, control);
  }

  std::string Read(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::string RunLogText() const { return Read(RunLogPath(schedule_)); }

  // The mailer's arguments, once it has written them (it runs on its own).
  std::vector<std::string> MailerArgs() {
    for (int i = 0; i < 1000 && !std::filesystem::exists(mailerOut_); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> args;
    std::istringstream in(Read(mailerOut_));
    for (std::string line; std::getline(in, line);) args.push_back(line);
    return args;
  }
  std::vector<std::string> WantedMailerArgs() const {
    return {"-mail.example.org:25", "-ops@example.org", "-admin@example.org", "-" + RunLogPath(schedule_)};
  }

  testing::TempDir tmp_{"tarn-run"};
  std::string dir_ = tmp_.Path();
  std::unique_ptr<platform::Registry> reg_;
  std::string schedule_;
  std::string mailer_;
  std::string mailerOut_;
  AppState app_;
  ScriptedUi ui_;
  RecordingStatus status_;
};

constexpr char kStamp[] = "\r\n-->  03/07/2024, 02:00:00";

// ---- Stops -----------------------------------------------------------------------

// ---- One session over a scripted connection --------------------------------------

class RunQueueSessionTest : public testing::EngineTest {};

// Entries go to the server by their names as they stand, but a VM host
// names files within their directory, as the window lists and queues them:
// the run goes there first, then sends the file's own name, up and down.
TEST_F(RunQueueSessionTest, VmFilesAreSentFromTheirDirectory) {
  c_.HostFamily = HOST_VM;
  c_.cTypeNow = 'A';
  app_.bConnected = 1;
  const std::string up = dir_ + "/notes.txt";
  std::ofstream(up, std::ios::binary) << "note\n";
  srv_.On("CWD MAINT.191", "250 Working directory is MAINT 191\r\n")
      .Pasv()
      .On("RETR PROFILE.EXEC", "150 Sending\r\n")
      .DataOpen()
      .DataSend("say hello\r\n")
      .DataClose()
      .Send("226 Transfer complete\r\n")
      .On("CWD MAINT.191", "250 Working directory is MAINT 191\r\n")
      .Pasv()
      .On("STOR NOTES.TXT", "150 Receiving\r\n")
      .DataOpen()
      .DataRecv()
      .Send("226 Transfer complete\r\n")
      .On("quit", "221 Bye\r\n");
  Connect();
  QueueGroup g;
  g.sessionName = "vm";
  QEntry e;
  ASSERT_TRUE(MakeQEntry("MAINT.191(PROFILE.EXEC)", dir_ + "/profile.exec",
                         kQueueDownload | kQueueAscii | kQueuePassive, &e));
  g.entries.push_back(e);
  ASSERT_TRUE(MakeQEntry("MAINT.191(NOTES.TXT)", up, kQueueUpload | kQueueAscii | kQueuePassive, &e));
  g.entries.push_back(e);
  RecordingStatus status;
  std::atomic<bool> stop{false};
  EXPECT_TRUE(RunQueueSession(c_, g, nullptr, status, stop));
  EXPECT_TRUE(srv_.Finish()) << ::testing::PrintToString(srv_.Failures());
  std::ifstream in(dir_ + "/profile.exec", std::ios::binary);
  std::stringstream got;
  got << in.rdbuf();
  EXPECT_EQ(got.str(), "say hello\r\n");
  EXPECT_EQ(srv_.ReceivedData(), "note\n");
  EXPECT_THAT(status.Lines(), ::testing::Contains("  MAINT.191(PROFILE.EXEC) to " + dir_ + "/profile.exec"));
}

TEST_F(RunQueueTest, StopMessageEndsARunWaitingOnASilentServer) {
  FakeFtpServer srv;
  srv.Send("220 fake\r\n").ExpectPrefix("USER ").DrainUntilClosed();  // never answers USER
  srv.Start();
  StoreSession("silent", srv.Port());
  SaveQueue(Queue({{"silent", "a.bin"}, {"silent", "b.bin"}}));

  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  RunControl control;
  HeadlessOptions options;
  options.mailer = mailer_;
  options.clock = PinnedTime;
  auto run = std::async(std::launch::async, [&] {
    return RunHeadless(Line(), *reg_, app_, out, err, control, options);
  });
  ASSERT_TRUE(srv.WaitReceived(1)) << "the run never logged on";
  // The scheduler's stop, as it posts it.
  const std::string title = platform::ScheduledSessionTitle(schedule_);
  std::string error;
  ASSERT_TRUE(platform::Post(title, platform::kTarnStopMessage, 0, 0, &error)) << error;
  ASSERT_EQ(run.wait_for(std::chrono::seconds(6)), std::future_status::ready)
      << "the stop did not end the run within six seconds";
  EXPECT_EQ(run.get(), kRunStopped);
  EXPECT_TRUE(srv.Finish());
  EXPECT_FALSE(platform::Exists(title));  // the endpoint went with the run

  EXPECT_EQ(RunLogText(), std::string(kStamp) + "\r\n\r\nSession: silent" + kStamp +
                              "\r\nTransfer aborted\r\n");
  EXPECT_EQ(MailerArgs(), WantedMailerArgs());
  std::fclose(out);
  std::fclose(err);
}

TEST_F(RunQueueTest, StopFromAnotherThreadEndsTheRunAndSkipsTheRest) {
  FakeFtpServer srv;
  srv.Send("220 fake\r\n").ExpectPrefix("USER ").DrainUntilClosed();
  srv.Start();
  StoreSession("silent", srv.Port());
  StoreSession("later", ClosedPort());
  RunControl control;
  auto run = std::async(std::launch::async, [&] {
    return Run(Queue({{"silent", "a.bin"}, {"later", "b.bin"}}), Line(), control);
  });
  ASSERT_TRUE(srv.WaitReceived(1));
  control.Stop();  // the status dialog's Cancel
  ASSERT_EQ(run.wait_for(std::chrono::seconds(6)), std::future_status::ready);
  EXPECT_EQ(run.get(), kRunStopped);
  EXPECT_THAT(RunLogText(), Not(HasSubstr("later")));
  EXPECT_THAT(RunLogText(), EndsWith("\r\nTransfer aborted\r\n"));
}

TEST_F(RunQueueTest, StopBeforeTheFirstSessionConnectsNowhere) {
  StoreSession("refused", ClosedPort());
  RunControl control;
  control.Stop();
  EXPECT_EQ(Run(Queue({{"refused", "a.bin"}}), Line(), control), kRunStopped);
  EXPECT_EQ(RunLogText(), std::string(kStamp) + "\r\nTransfer aborted\r\n");
  EXPECT_EQ(MailerArgs(), WantedMailerArgs());
}

// ---- Failed connections ------------------------------------------------------------

TEST_F(RunQueueTest, FailedConnectionEndsTheRunWithItsReasonAndTheMail) {
  StoreSession("closed", ClosedPort());
  FakeFtpServer never;  // the second session must not be tried
  never.Start();
  StoreSession("second", never.Port());
  RunControl control;
  EXPECT_EQ(Run(Queue({{"closed", "a.bin"}, {"second", "b.bin"}}), Line(), control), kRunFailed);
  const std::string log = RunLogText();
  // The reason is the connect's own text; the engine may add the system's
  // words after it.
  EXPECT_THAT(log, ::testing::StartsWith(std::string(kStamp) + "\r\n\r\nSession: closed" + kStamp +
                                       " -- Connection failed: Connection to 127.0.0.1 failed"));
  EXPECT_EQ(log.find('\n', log.rfind("Connection failed")), std::string::npos);  // one line
  EXPECT_THAT(log, Not(HasSubstr("second")));
  EXPECT_TRUE(never.Received().empty());
  EXPECT_EQ(MailerArgs(), WantedMailerArgs());
  // The connect's own box was answered, never waited for.
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Error connecting to host"));
}

TEST_F(RunQueueTest, SessionThatIsNotStoredIsNamedInTheLog) {
  RunControl control;
  EXPECT_EQ(Run(Queue({{"ghost", "a.bin"}}), Line(), control), kRunFailed);
  EXPECT_EQ(RunLogText(), std::string(kStamp) + "\r\n\r\nSession: ghost" + kStamp +
                              " -- Connection failed: no stored session is named \"ghost\"");
}

// ---- Empty queues and the command line ------------------------------------------------

TEST_F(RunQueueTest, EmptyQueueEndsAtOnceAndMailsAnEmptyLog) {
  RunControl control;
  EXPECT_EQ(Run(TransferQueue{}, Line(), control), kRunSucceeded);
  EXPECT_TRUE(std::filesystem::exists(RunLogPath(schedule_)));
  EXPECT_EQ(RunLogText(), "");
  EXPECT_EQ(MailerArgs(), WantedMailerArgs());
}

TEST_F(RunQueueTest, ScheduleFileAloneMeansNoLogAndNoMail) {
  StoreSession("refused", ClosedPort());
  mailer_ = dir_ + "/no-such-mailer";  // a start would be reported in the status
  RunControl control;
  EXPECT_EQ(Run(Queue({{"refused", "a.bin"}}), Line(false), control), kRunFailed);
  EXPECT_FALSE(std::filesystem::exists(RunLogPath(schedule_)));
  for (const auto& line : status_.Lines()) EXPECT_THAT(line, Not(HasSubstr("mailer")));
}

TEST_F(RunQueueTest, HeadlessRunRefusesAFileThatIsNotAScheduleFile) {
  std::ofstream(schedule_) << "Tarn_Remote? no, a shopping list\n";
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  RunControl control;
  EXPECT_EQ(RunHeadless(Line(), *reg_, app_, out, err, control), kRunUnreadableFile);
  std::rewind(err);
  char buf[512] = {};
  EXPECT_GT(std::fread(buf, 1, sizeof buf - 1, err), 0u);
  EXPECT_EQ(std::string(buf), std::string(kNotScheduleFileText) + "\n");
  EXPECT_FALSE(std::filesystem::exists(RunLogPath(schedule_)));

  std::filesystem::remove(schedule_);
  EXPECT_EQ(RunHeadless(Line(), *reg_, app_, out, err, control), kRunUnreadableFile);
  std::fclose(out);
  std::fclose(err);
}

TEST_F(RunQueueTest, HeadlessRunNotesACutLastRecordInTheLog) {
  std::string error;
  ASSERT_TRUE(SaveQueueFile(schedule_, TransferQueue{}, &error));
  std::ofstream(schedule_, std::ios::app | std::ios::binary) << std::string(100, 'x');
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  RunControl control;
  HeadlessOptions options;
  options.mailer = mailer_;
  options.clock = PinnedTime;
  EXPECT_EQ(RunHeadless(Line(), *reg_, app_, out, err, control, options), kRunSucceeded);
  EXPECT_EQ(RunLogText(), std::string(kStamp) + " -- " + schedule_ +
                              ": the last record is incomplete (100 bytes) and was left out");
  std::fclose(out);
  std::fclose(err);
}

TEST_F(RunQueueTest, TerminationSignalStopsAHeadlessRun) {
  // Blocked here too, so that the signal waits for the run's own taker
  // instead of ending the test program.
  sigset_t term, old;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &old), 0);
  {
    FakeFtpServer srv;
    srv.Send("220 fake\r\n").ExpectPrefix("USER ").DrainUntilClosed();
    srv.Start();
    StoreSession("silent", srv.Port());
    SaveQueue(Queue({{"silent", "a.bin"}}));
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    RunControl control;
    HeadlessOptions options;
    options.mailer = "";
    auto run = std::async(std::launch::async, [&] {
      return RunHeadless(Line(false), *reg_, app_, out, err, control, options);
    });
    ASSERT_TRUE(srv.WaitReceived(1));
    ::kill(::getpid(), SIGTERM);
    ASSERT_EQ(run.wait_for(std::chrono::seconds(6)), std::future_status::ready);
    EXPECT_EQ(run.get(), kRunStopped);
    std::rewind(out);
    char buf[4096] = {};
    EXPECT_GT(std::fread(buf, 1, sizeof buf - 1, out), 0u);
    EXPECT_THAT(std::string(buf), HasSubstr("Connecting to session silent..."));
    EXPECT_THAT(std::string(buf), HasSubstr("Stopping: Terminated"));
    std::fclose(out);
    std::fclose(err);
  }
  ASSERT_EQ(pthread_sigmask(SIG_SETMASK, &old, nullptr), 0);
}

}  // namespace
}  // namespace tarn
