// tarn with a schedule file, from outside, in both forms: headless (no
// display at all) and windowed (the offscreen platform). Each run ends
// with the status that says how it went: 0 all transferred, 1 a transfer
// failed, 2 no schedule file, 3 stopped by the scheduler's message.
#include <QDir>
#include <QtTest>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "client/session/password.h"
#include "client/session/queue_file.h"
#include "client/session/session_store.h"
#include "client/shell/unattended_main.h"
#include "platform/ipc.h"
#include "platform/registry.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/host_personality.h"
#include "tests/support/scripted_ui.h"

using namespace tarn;

namespace {

// bin/tarn of the build tree this test belongs to.
std::string TarnPath() {
  QDir dir(QCoreApplication::applicationDirPath());
  for (int up = 0; up < 4; ++up, dir.cdUp())
    if (QFileInfo::exists(dir.filePath("bin/tarn"))) return dir.filePath("bin/tarn").toStdString();
  return "";
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

class UnattendedRunTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void exitStatusTellsHowTheRunWent_data();
  void exitStatusTellsHowTheRunWent();
  void stopMessageEndsARunWaitingOnASilentServer_data();
  void stopMessageEndsARunWaitingOnASilentServer();
  void missingScheduleFileIsStatusTwo();
  void commandLinesThatStartARun();

 private:
  void StoreSession(const std::string& name, uint16_t port);
  void SaveQueue(const std::string& session, const std::string& remote);
  std::vector<std::string> Env(bool windowed) const;

  std::string dir_, schedule_, tarn_;
};

void UnattendedRunTest::init() {
  tarn_ = TarnPath();
  QVERIFY2(!tarn_.empty(), "bin/tarn is not built");
  std::string tmpl = "/tmp/tarn-unattended-XXXXXX";
  QVERIFY(mkdtemp(tmpl.data()));
  dir_ = tmpl;
  schedule_ = dir_ + "/night.tsc";
}

void UnattendedRunTest::cleanup() { std::filesystem::remove_all(dir_); }

void UnattendedRunTest::StoreSession(const std::string& name, uint16_t port) {
  std::string error;
  std::filesystem::create_directories(dir_ + "/config");
  auto reg = platform::OpenSqliteRegistry(dir_ + "/config/registry.sqlite", &error);
  QVERIFY2(reg, error.c_str());
  testing::ScriptedUi ui;
  PasswordScrambler scrambler(1700000000);
  SessionStore store(*reg, ui, scrambler);
  HostRecord h;
  InitNewSession(&h, name, "127.0.0.1");
  SetField(h.cFTPPort, std::to_string(port));
  SetField(h.cUserFlag, "S");
  SetField(h.cUserName, "USER1");
  SetField(h.cPasswordFlag, "S");
  SetField(h.cPassword, scrambler.Scramble("secret"));
  store.SaveSession(h);
}

void UnattendedRunTest::SaveQueue(const std::string& session, const std::string& remote) {
  TransferQueue q;
  QEntry e;
  QVERIFY(MakeQEntry(remote, dir_ + "/got.txt", kQueueDownload | kQueueBinary | kQueuePassive, &e));
  QVERIFY(q.AddToQueue(session, e));
  std::string error;
  QVERIFY2(SaveQueueFile(schedule_, q, &error), error.c_str());
}

std::vector<std::string> UnattendedRunTest::Env(bool windowed) const {
  std::vector<std::string> env = {"TARN_CONFIG_DIR=" + dir_ + "/config", "XDG_RUNTIME_DIR=" + dir_};
  if (windowed) {
    env.push_back("QT_QPA_PLATFORM=offscreen");
  } else {
    for (const char* v : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}) env.push_back(v);
  }
  return env;
}

void UnattendedRunTest::exitStatusTellsHowTheRunWent_data() {
  QTest::addColumn<bool>("windowed");
  QTest::addColumn<QString>("remote");
  QTest::addColumn<int>("status");
  QTest::newRow("headless, transferred") << false << "/docs/readme.txt" << 0;
  QTest::newRow("windowed, transferred") << true << "/docs/readme.txt" << 0;
  QTest::newRow("headless, no such file") << false << "/docs/none.txt" << 1;
  QTest::newRow("windowed, no such file") << true << "/docs/none.txt" << 1;
}

void UnattendedRunTest::exitStatusTellsHowTheRunWent() {
  QFETCH(bool, windowed);
  QFETCH(QString, remote);
  QFETCH(int, status);
  testing::PersonalityOptions options;
  options.personality = testing::Personality::kWindows;
  testing::HostPersonality host(options);
  QVERIFY(host.Start());
  StoreSession("nightly", host.Port());
  SaveQueue("nightly", remote.toStdString());
  // The scheduler's four values as separate arguments; the mail goes to a
  // loopback port where nothing listens.
  auto r = testing::RunProgram({tarn_, "-" + schedule_, "-127.0.0.1:9", "-ops@example.org",
                                "-admin@example.org"},
                               Env(windowed));
  QCOMPARE(r.status, status);
  const std::string log = Read(dir_ + "/night.log");
  QVERIFY2(log.find("Session: nightly") != std::string::npos, log.c_str());
  if (status == 0) {
    QCOMPARE(Read(dir_ + "/got.txt"), std::string("Read me first.\n"));
    QVERIFY(log.rfind(" -- Success") == log.size() - 11);
    // Only the headless form writes the status dialog's lines out.
    QCOMPARE(r.out.find("Retrieving file...") != std::string::npos, !windowed);
  } else {
    QVERIFY(log.rfind(" -- Transfer failed") == log.size() - 19);
  }
}

void UnattendedRunTest::stopMessageEndsARunWaitingOnASilentServer_data() {
  QTest::addColumn<bool>("windowed");
  QTest::newRow("headless") << false;
  QTest::newRow("windowed") << true;
}

void UnattendedRunTest::stopMessageEndsARunWaitingOnASilentServer() {
  QFETCH(bool, windowed);
  testing::FakeFtpServer srv;
  srv.Send("220 fake\r\n").ExpectPrefix("USER ").DrainUntilClosed();  // never answers USER
  srv.Start();
  StoreSession("silent", srv.Port());
  SaveQueue("silent", "/a.bin");
  testing::ProgramResult r;
  std::thread run([&] { r = testing::RunProgram({tarn_, "-" + schedule_}, Env(windowed)); });
  // Once the server has USER the run waits on it, its endpoint open.
  const bool waiting = srv.WaitReceived(1, 30000);
  const std::string old = getenv("XDG_RUNTIME_DIR") ? getenv("XDG_RUNTIME_DIR") : "";
  setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  const bool posted =
      waiting && platform::Post("Tarn Scheduled Session - night", platform::kTarnStopMessage, 0, 0);
  setenv("XDG_RUNTIME_DIR", old.c_str(), 1);
  run.join();
  QVERIFY(waiting && posted);
  QCOMPARE(r.status, 3);
}

void UnattendedRunTest::missingScheduleFileIsStatusTwo() {
  auto r = testing::RunProgram({tarn_, "-" + dir_ + "/absent.tsc"}, Env(false));
  QCOMPARE(r.status, 2);
  QVERIFY2(r.err.find("absent.tsc") != std::string::npos, r.err.c_str());
}

void UnattendedRunTest::commandLinesThatStartARun() {
  struct Case {
    std::vector<std::string> args;
    bool run;
  } cases[] = {
      {{"-/q/night.tsc"}, true},
      {{"-platform", "offscreen", "-/q/night.tsc", "--no-splash"}, true},
      {{"/q/night.tsc -mail -me -you"}, true},  // the single-string form
      {{"/q/night.tsc"}, false},                // a file the window opens
      {{"-style", "fusion"}, false},            // Qt's options alone
      {{"--help", "-/q/night.tsc"}, false},
      {{"--frobnicate"}, false},                // the window reports it
  };
  for (const Case& c : cases) {
    std::vector<std::string> store = {"tarn"};
    store.insert(store.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& a : store) argv.push_back(a.data());
    QVERIFY2(shell::IsRunCommandLine(static_cast<int>(argv.size()), argv.data()) == c.run,
             store[1].c_str());
  }
  char a0[] = "tarn", a1[] = "-platform", a2[] = "offscreen", a3[] = "-/q/night.tsc";
  char* argv[] = {a0, a1, a2, a3};
  QCOMPARE(shell::RunArgumentsOf(4, argv), std::vector<std::string>{"-/q/night.tsc"});
}

QTEST_MAIN(UnattendedRunTest)
#include "unattended_run_test.moc"
