// The almanor program from outside: its command line, one engine pass with
// --tick-at, and the headless form, with a stand-in client that opens the
// scheduled session's endpoint.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "platform/ipc.h"
#ifdef TARN_PATH
#include "client/session/password.h"
#include "client/session/queue_file.h"
#include "client/session/session_store.h"
#include "scheduler/model/engine.h"
#include "scheduler/model/messages.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/scripted_ui.h"
#endif
#include "scheduler/model/local_time.h"
#include "tests/platform/ipc_fixture.h"
#include "tests/scheduler/scheduler_fixture.h"
#include "tests/support/child_process.h"

namespace sched {
namespace {

using sched_test::ReadFile;
using sched_test::WriteFile;
using tarn::testing::ChildProcess;
using tarn::testing::ProgramResult;
using tarn::testing::RunProgram;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr int kLimitMs = 30000;  // a limit on waits, never a timing claim

class AlmanorTest : public platform::IpcFixture {
 protected:
  void SetUp() override {
    IpcFixture::SetUp();
    config_ = root_ + "/config";
    bin_ = root_ + "/bin";
    std::filesystem::create_directories(bin_);
    // The scheduler starts the client from its own folder: a copy of it
    // beside the stand-in client.
    std::filesystem::copy_file(ALMANOR_PATH, bin_ + "/almanor");
    std::filesystem::copy_file(FAKE_TARN_PATH, bin_ + "/tarn");
    queue_ = root_ + "/night.tsc";
    WriteFile(queue_, "TARN_REMOTE");
    std::string error;
    reply_ = platform::IpcEndpoint::Open("almanor-test", &error);
    ASSERT_NE(reply_, nullptr) << error;
  }

  ProgramResult Almanor(std::vector<std::string> args) {
    args.insert(args.begin(), bin_ + "/almanor");
    return RunProgram(args, Env());
  }

  std::vector<std::string> Env() const {
    return {"TARN_CONFIG_DIR=" + config_, "XDG_RUNTIME_DIR=" + root_, "TZ=Europe/Berlin",
            "DISPLAY=", "WAYLAND_DISPLAY=", "FAKE_TARN_REPLY=almanor-test",
            "FAKE_TARN_LOG=" + root_ + "/tarn.log"};
  }

  std::string ListFile() const { return config_ + "/almanor.tsl"; }

  // Waits for the stand-in client's message `name`; its pid.
  int WaitFor(const std::string& name) {
    platform::IpcMessage msg;
    while (reply_->Receive(&msg, kLimitMs) == platform::IpcWait::kMessage)
      if (msg.name == name) return static_cast<int>(msg.wParam);
    ADD_FAILURE() << "no " << name;
    return -1;
  }

  std::string config_, bin_, queue_;
  std::unique_ptr<platform::IpcEndpoint> reply_;
  sched_test::BerlinTime tz_;
};

// ---- command line ---------------------------------------------------------------

TEST_F(AlmanorTest, AddListAndRemove) {
  auto r = Almanor({"--add", queue_, "--start", "2030-01-31 09:00", "--stop", "2030-01-31 10:30",
                    "--weekly", "--notify", "mail.example.org", "ops@example.org",
                    "admin@example.org"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Almanor({"--add", queue_, "--start", "2030-07-04 00:05:09"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Almanor({"--list"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "night\t1/31/30\t9:00:00\tY\t1/31/30\t10:30:00\tWeekly\n"
            "night\t7/4/30\t0:05:09\t\t\t\t \n");
  r = Almanor({"--list", "--raw"});
  EXPECT_EQ(r.out, queue_ + "\t1\t" + std::to_string(sched_test::At("2030-01-31 10:30:00")) +
                       "\t" + std::to_string(sched_test::At("2030-01-31 09:00:00")) +
                       "\t2\t1\t0\t1\tadmin@example.org\tops@example.org\tmail.example.org\n" +
                       queue_ + "\t0\t0\t" +
                       std::to_string(sched_test::At("2030-07-04 00:05:09")) +
                       "\t0\t0\t0\t0\t\t\t\n");
  EXPECT_EQ(Almanor({"--remove", "1"}).status, 0);
  EXPECT_EQ(Almanor({"--list"}).out, "night\t7/4/30\t0:05:09\t\t\t\t \n");
  r = Almanor({"--remove", "2"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("holds 1 schedule"));
}

TEST_F(AlmanorTest, AddRefusesWhatTheDialogsWouldRefuse) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--add", queue_, "--start", "2030-01-31 09:00", "--notify", "abc", "ops@example.org",
        "admin@example.org"},
       "Please specify a valid SMTP host name"},
      {{"--add", queue_, "--start", "2030-01-31 09:00", "--notify", "mail", "ab@cd",
        "admin@example.org"},
       "Please specify a valid email address"},
      {{"--add", queue_, "--start", "2030-01-31 09:00", "--notify", "mail", "ops@example.org",
        "ab@.cd.ef"},
       "Please specify a valid email address"},
      {{"--add", queue_, "--start", "2020-01-31 09:00"}, "before today"},
      {{"--add", queue_, "--start", "2037-11-24 00:00"}, "after 2037-11-23"},
      {{"--add", queue_, "--start", "2030-01-31 09:00", "--stop", "2030-01-31 08:59"},
       "before --start"},
      {{"--add", queue_, "--start", "31.01.2030 09:00"}, "YYYY-MM-DD"},
      {{"--add", queue_, "--start", "2038-02-01 09:00"}, "lies beyond 03:14:07 UTC on 19 January"},
      {{"--tick-at", "2038-01-19 04:14:08"}, "lies beyond 03:14:07 UTC on 19 January 2038"},
      {{"--add", root_ + "/missing.tsc", "--start", "2030-01-31 09:00"}, "no such schedule file"},
      {{"--add", root_ + "/" + std::string(240, 'n') + ".tsc", "--start", "2030-01-31 09:00"},
       "no such schedule file"},
      {{"--add", queue_}, "--add needs --start"},
      {{"--list", "--daily"}, "belong to --add"},
      {{"--list", "--remove", "1"}, "cannot be combined"},
      {{"--tick-at", "2030-01-31 09:00:00", "--overdue", "maybe"}, "run, skip or delete"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    auto r = Almanor(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr(c.message));
  }
  EXPECT_FALSE(std::filesystem::exists(ListFile()) && std::filesystem::file_size(ListFile()) > 8)
      << "nothing was added";
}

TEST_F(AlmanorTest, TooLongSessionTitleIsRefusedWhenAdded) {
  std::string longQueue = root_ + "/" + std::string(240, 'n') + ".tsc";
  WriteFile(longQueue, "TARN_REMOTE");
  auto r = Almanor({"--add", longQueue, "--start", "2030-01-31 09:00"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("259"));
}

TEST_F(AlmanorTest, BadVersionPrintsItsMessageAndFails) {
  std::filesystem::create_directories(config_);
  WriteFile(ListFile(), std::string("\x02\x00\x00\x00\x00\x00\x00\x00", 8));
  for (auto args : {std::vector<std::string>{"--list"},
                    std::vector<std::string>{"--tick-at", "2030-01-31 09:00:00"},
                    std::vector<std::string>{"--remove", "1"}}) {
    SCOPED_TRACE(args[0]);
    auto r = Almanor(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "almanor: Invalid Schedule File Format\n");
  }
  EXPECT_EQ(ReadFile(ListFile()).size(), 8u) << "the file is left as it is";
}

TEST_F(AlmanorTest, HelpAndVersion) {
  auto r = Almanor({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("--tick-at"));
  EXPECT_EQ(Almanor({"--version"}).status, 0);
  EXPECT_EQ(Almanor({"--frobnicate"}).status, 2);
}

// ---- one pass with --tick-at ---------------------------------------------------

TEST_F(AlmanorTest, DryTickPrintsWhatItWouldDoAndChangesNothing) {
  ASSERT_EQ(Almanor({"--add", queue_, "--start", "2030-01-31 09:00", "--daily", "--notify",
                     "mail.example.org", "ops@example.org", "admin@example.org"})
                .status,
            0);
  ASSERT_EQ(Almanor({"--add", queue_, "--start", "2030-01-31 09:00"}).status, 0);
  std::string before = ReadFile(ListFile());
  auto r = Almanor({"--tick-at", "2030-01-31 09:20:00", "--overdue", "run", "--dry-run"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string run = "run: " + bin_ + "/tarn -" + queue_;
  EXPECT_EQ(r.out, "overdue: night\n" + run +
                       " -mail.example.org -ops@example.org -admin@example.org\n"
                       "overdue: night\n" + run + "\nremove: night\n");
  EXPECT_EQ(ReadFile(ListFile()), before);
  EXPECT_FALSE(std::filesystem::exists(root_ + "/tarn.log")) << "nothing was started";

  r = Almanor({"--tick-at", "2030-01-31 09:20:00", "--dry-run"});
  // Skip is the default; a skipped one-time schedule leaves the list.
  EXPECT_EQ(r.out, "overdue: night\noverdue: night\nremove: night\n");
  r = Almanor({"--tick-at", "2030-01-31 09:20:00", "--overdue", "delete", "--dry-run"});
  EXPECT_EQ(r.out, "overdue: night\nremove: night\noverdue: night\nremove: night\n");
}

TEST_F(AlmanorTest, TickStartsTheClientAndStopsItAtTheStopTime) {
  ASSERT_EQ(Almanor({"--add", queue_, "--start", "2030-01-31 09:00", "--stop", "2030-01-31 10:30",
                     "--notify", "mail.example.org", "ops@example.org", "admin@example.org"})
                .status,
            0);
  auto r = Almanor({"--tick-at", "2030-01-31 09:00:10"});
  ASSERT_EQ(r.status, 0) << r.err;
  int pid = WaitFor("FAKE_TARN_READY");
  EXPECT_GT(pid, 0);
  EXPECT_EQ(ReadFile(root_ + "/tarn.log"),
            "started|-" + queue_ +
                "|-mail.example.org|-ops@example.org|-admin@example.org"
                "|hint=minimised,noactivate\n");
  EXPECT_THAT(Almanor({"--list", "--raw"}).out, HasSubstr("\t0\t1\t1\t")) << "running";

  r = Almanor({"--tick-at", "2030-01-31 10:29:59"});
  EXPECT_EQ(r.out, "");
  r = Almanor({"--tick-at", "2030-01-31 10:30:00"});
  EXPECT_EQ(r.out, "stop: Tarn Scheduled Session - night\nremove: night\n");
  EXPECT_EQ(WaitFor("FAKE_TARN_STOPPED"), pid);
  EXPECT_EQ(Almanor({"--list"}).out, "");
}

// ---- the headless form ---------------------------------------------------------

// A program of the test's whose output goes to the file `output`.
ChildProcess::Options Logged(const std::vector<std::string>& env, const std::string& output) {
  ChildProcess::Options o;
  o.env = env;
  o.ownSession = false;
  o.outputFile = output;
  return o;
}

// Waits until an endpoint titled `title` exists.
bool WaitForEndpoint(const std::string& title) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLimitMs);
  while (!platform::Exists(title)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST_F(AlmanorTest, HeadlessStartsAScheduleAddedWhileItRuns) {
  std::string log = root_ + "/almanor.err";
  ChildProcess headless({bin_ + "/almanor"}, Logged(Env(), log));  // no display: headless
  ASSERT_TRUE(WaitForEndpoint("Almanor (headless)")) << ReadFile(log);

  // One scheduler per user: a second one ends at once.
  auto second = Almanor({"--headless"});
  EXPECT_EQ(second.status, 0);
  EXPECT_THAT(second.err, HasSubstr("another scheduler of this user is running"));

  std::string now = FormatIsoTime(std::time(nullptr));
  ASSERT_EQ(Almanor({"--add", queue_, "--start", now}).status, 0);
  int client = WaitFor("FAKE_TARN_READY");
  EXPECT_GT(client, 0);
  EXPECT_EQ(headless.Stop(kLimitMs), 0);
  std::string err = ReadFile(log);
  EXPECT_THAT(err, HasSubstr("ready: 0 schedules in " + ListFile()));
  EXPECT_THAT(err, HasSubstr("run: " + bin_ + "/tarn -" + queue_ + "\n"));
  EXPECT_THAT(err, HasSubstr("remove: night\n"));
  EXPECT_THAT(err, HasSubstr("stopped\n"));
  EXPECT_EQ(Almanor({"--list"}).out, "") << "the one-time schedule left the list";

  ASSERT_TRUE(platform::Post("Tarn Scheduled Session - night", platform::kTarnStopMessage, 0, 0));
  EXPECT_EQ(WaitFor("FAKE_TARN_STOPPED"), client);
}

TEST_F(AlmanorTest, HeadlessStepsAsideForTheTrayForm) {
  std::string log = root_ + "/almanor.err";
  ChildProcess headless({bin_ + "/almanor", "--headless", "--overdue", "run"}, Logged(Env(), log));
  ASSERT_TRUE(WaitForEndpoint("Almanor (headless)")) << ReadFile(log);
  ASSERT_TRUE(platform::Post("Almanor (headless)", "ALMANOR_YIELD_TO_TRAY", 0, 0));
  // It ends on its own; Stop's SIGTERM then finds it gone.
  bool held = true;
  std::unique_ptr<platform::InstanceLock> lock;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLimitMs);
  while (!lock && std::chrono::steady_clock::now() < deadline) {
    lock = platform::InstanceLock::Acquire("TARN_SCHEDULING_APPLICATION_1234", &held, nullptr);
    if (!lock) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_NE(lock, nullptr) << "the headless scheduler kept the lock";
  EXPECT_EQ(headless.Stop(kLimitMs), 0);
  EXPECT_THAT(ReadFile(log), HasSubstr("the tray form takes over"));
}

#ifdef TARN_PATH
// ---- the real client ----------------------------------------------------------

// The engine's Run starts the real client, headless, on a schedule whose host
// never answers its USER; the engine's stop ends the run as stopped (3).
TEST_F(AlmanorTest, RealClientStartedByTheEngineEndsStoppedOnItsStop) {
  std::filesystem::copy_file(TARN_PATH, bin_ + "/tarn", std::filesystem::copy_options::overwrite_existing);
  tarn::testing::FakeFtpServer srv;
  srv.Send("220 fake\r\n").ExpectPrefix("USER ").DrainUntilClosed();
  srv.Start();
  {
    std::string error;
    std::filesystem::create_directories(config_);
    auto reg = platform::OpenSqliteRegistry(config_ + "/registry.sqlite", &error);
    ASSERT_NE(reg, nullptr) << error;
    tarn::testing::ScriptedUi ui;
    tarn::PasswordScrambler scrambler(1700000000);
    tarn::HostRecord h;
    tarn::InitNewSession(&h, "silent", "127.0.0.1");
    tarn::SetField(h.cFTPPort, std::to_string(srv.Port()));
    tarn::SetField(h.cUserFlag, "S");
    tarn::SetField(h.cUserName, "user");
    tarn::SetField(h.cPasswordFlag, "S");
    tarn::SetField(h.cPassword, scrambler.Scramble("secret"));
    tarn::SessionStore(*reg, ui, scrambler).SaveSession(h);
    tarn::TransferQueue q;
    tarn::QEntry e;
    ASSERT_TRUE(tarn::MakeQEntry("/a.bin", root_ + "/a.bin", tarn::kQueueDownload, &e));
    ASSERT_TRUE(q.AddToQueue("silent", e));
    ASSERT_TRUE(tarn::SaveQueueFile(queue_, q, &error)) << error;
  }
  struct Spawning : EngineActions {
    std::vector<std::string> env;
    std::string err;
    std::unique_ptr<ChildProcess> child;
    void StartClient(const CScheduleEntry&, const std::vector<std::string>& argv) override {
      child = std::make_unique<ChildProcess>(argv, Logged(env, err));
    }
    void PostStop(const CScheduleEntry& e, const std::string& title) override {
      SystemActions().PostStop(e, title);
    }
  } actions;
  actions.env = Env();
  actions.env.push_back("QT_QPA_PLATFORM=");
  actions.err = root_ + "/tarn.err";
  struct NoAsker : OverdueAsker {
    int AskOverdue(const CScheduleEntry&, const std::string&) override { return kRunNow; }
  } asker;
  SystemClock clock;
  ScheduleEngine engine(clock, actions, asker, bin_ + "/tarn");
  CScheduleEntry entry;
  entry.m_strQueueFile = queue_;
  engine.Run(entry);
  ASSERT_NE(actions.child, nullptr);
  ASSERT_TRUE(srv.WaitReceived(1, kLimitMs)) << ReadFile(actions.err);
  ASSERT_TRUE(platform::Exists("Tarn Scheduled Session - night"));
  engine.PostStop(entry);
  EXPECT_EQ(actions.child->Wait(kLimitMs), 3) << ReadFile(actions.err);
}
#endif

}  // namespace
}  // namespace sched
