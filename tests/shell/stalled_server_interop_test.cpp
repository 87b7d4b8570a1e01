// The window in front of a server that stops answering: vsftpd and
// pyftpdlib behind the fault proxy, stalled during the log-on, in a
// listing's data, at a listing's final reply and in the transfer window's
// download. The reply time limit is
// ten minutes, so that only Cancel can end the operation: while it waits
// the GUI thread goes on repainting the window, and the tool bar's Cancel
// ends it at once; the window is then disconnected or still connected and
// able to list again.
#include <QtTest>

#include <QMessageBox>
#include <QPushButton>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "client/session/password.h"
#include "client/shell/client_root.h"
#include "client/shell/command_states.h"
#include "client/shell/transfer_commands.h"
#include "client/shell/transfer_dialog.h"
#include "client/shell/window_transfers.h"
#include "tests/shell/recording_dialogs.h"
#include "tests/support/fault_proxy.h"

using namespace tarn;
using namespace tarn::shell;
using tarn::testing::Channel;
using tarn::testing::Cue;
using tarn::testing::FaultProxy;

namespace {

constexpr int kReplyLimitMs = 600000;
// Limits of the waits below: far less than the reply time limit, so that
// an operation that only its time-out ends fails them.
constexpr int kWaitMs = 20000;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Every box answered as an absent person would; captions recorded.
using Answers = tarn::testing::RecordingDialogs;

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++count;
    return false;
  }
};

struct Server {
  const char* name;
  std::string port;
  std::string user;
  std::string password;
  std::string writable;  // a directory of the session, and where it is here
  std::string writableHere;
};

std::vector<Server> Servers() {
  return {{"vsftpd", Env("TARN_TEST_VSFTPD_PORT"), Env("TARN_TEST_FTP_USER"), Env("TARN_TEST_FTP_PASS"),
           "/upload", Env("TARN_TEST_FTP_HOME") + "/upload"},
          {"pyftpdlib", Env("TARN_TEST_PYFTPD_PORT"), "user", "secret", "", Env("TARN_TEST_PYFTPD_ROOT") + "/user"}};
}

}  // namespace

class StalledServerInteropTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void cancelEndsAStalledLogon();
  void cancelEndsAStalledListing_data();
  void cancelEndsAStalledListing();
  void cancelEndsAStalledDownload();

 private:
  // The window shown, a session "<server> stalled" through `proxy` saved.
  void Prepare(const Server& server, const FaultProxy& proxy);
  // Three repaints asked for, each carried out: the GUI thread is free.
  bool KeepsRepainting();
  // The op is still waiting for the stalled server.
  bool Waiting() const { return !root_->worker().Idle(); }

  QTemporaryDir* dir_ = nullptr;
  ClientRoot* root_ = nullptr;
  Answers* answers_ = nullptr;
  PaintCounter* paints_ = nullptr;
};

void StalledServerInteropTest::init() {
  QVERIFY2(!Env("TARN_TEST_VSFTPD_PORT").empty(),
           "The test servers are not running: tools/test-servers start and source servers.env");
  dir_ = new QTemporaryDir;
  root_ = new ClientRoot;
  answers_ = new Answers;
  ClientOptions o;
  o.configDir = dir_->filePath("config").toStdString();
  o.logDir = "";
  o.pinnedLocale = true;
  std::string error;
  QVERIFY2(root_->Init(o, &error), error.c_str());
  root_->SetDialogs(answers_);
  root_->SetReplyTimeout(kReplyLimitMs);
}

void StalledServerInteropTest::cleanup() {
  if (root_ && !root_->window().shutDown()) {
    root_->window().Shutdown(2000);
    QTRY_VERIFY_WITH_TIMEOUT(root_->window().shutDown(), kWaitMs);
  }
  delete paints_;
  paints_ = nullptr;
  delete root_;
  root_ = nullptr;
  delete answers_;
  delete dir_;
}

void StalledServerInteropTest::Prepare(const Server& server, const FaultProxy& proxy) {
  HostRecord rec;
  const std::string name = std::string(server.name) + " stalled";
  root_->store().CreateSession(name, "127.0.0.1", {}, &rec);
  SetField(rec.cFTPPort, std::to_string(proxy.Port()));
  SetField(rec.cUserFlag, "S");
  SetField(rec.cUserName, server.user);
  SetField(rec.cPasswordFlag, "S");
  PasswordScrambler scrambler(7);
  SetField(rec.cPassword, scrambler.Scramble(server.password));
  root_->store().SaveSession(rec);
  root_->app().settings.bPassive = 1;

  MainWindow& w = root_->window();
  w.resize(900, 600);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  paints_ = new PaintCounter(&w);
  w.session().ShowSessions();
}

bool StalledServerInteropTest::KeepsRepainting() {
  MainWindow& w = root_->window();
  for (int i = 0; i < 3; ++i) {
    const int before = paints_->count;
    w.update();
    if (!QTest::qWaitFor([&] { return paints_->count > before; }, kWaitMs)) return false;
  }
  return true;
}

void StalledServerInteropTest::cancelEndsAStalledLogon() {
  for (const Server& server : Servers()) {
    const QByteArray trace = QByteArray(server.name) + ": the reply to PASS stalls";
    FaultProxy proxy(static_cast<uint16_t>(std::stoi(server.port)));
    proxy.SetCue(Channel::kControl, 1, Cue::Stall().OnLine("230"));
    Prepare(server, proxy);
    MainWindow& w = root_->window();
    HostSession& s = w.session();
    QVERIFY2(s.Connect(std::string(server.name) + " stalled"), trace);
    QVERIFY2(proxy.WaitFired(1, kWaitMs), trace);
    QCOMPARE(s.conn(), WindowConn::kConnecting);
    QVERIFY2(KeepsRepainting(), trace);
    QVERIFY2(Waiting(), trace);
    QVERIFY2(w.action(kCmdCancel)->isEnabled(), trace);

    w.action(kCmdCancel)->trigger();
    QCOMPARE(s.conn(), WindowConn::kDisconnected);
    QVERIFY2(root_->worker().WaitIdle(kWaitMs), trace);
    QCoreApplication::processEvents();
    QCOMPARE(s.conn(), WindowConn::kDisconnected);
    QVERIFY2(w.action(kCmdConnect)->isEnabled(), trace);
    // A cancelled connect is no failure to report.
    QVERIFY2(std::find(answers_->captions.begin(), answers_->captions.end(), "Error connecting to host") ==
                 answers_->captions.end(),
             trace);
    cleanup();
    init();
  }
}

void StalledServerInteropTest::cancelEndsAStalledListing_data() {
  QTest::addColumn<bool>("dataStalls");  // else the final reply does
  QTest::newRow("the listing's data stalls") << true;
  QTest::newRow("the listing's final reply stalls") << false;
}

void StalledServerInteropTest::cancelEndsAStalledListing() {
  QFETCH(bool, dataStalls);
  for (const Server& server : Servers()) {
    const QByteArray trace = QByteArray(server.name) + ": " + QTest::currentDataTag();
    // A file in the server's writable folder (pyftpdlib's home, listed at
    // the log-on, is empty on a new server), so that the listing has bytes
    // to stall in.
    const std::string listed =
        server.writableHere + "/listed-" + std::to_string(QCoreApplication::applicationPid()) + ".txt";
    std::ofstream(listed) << "listed\n";
    struct Remove {
      std::string path;
      ~Remove() { std::filesystem::remove(path); }
    } remove{listed};
    FaultProxy proxy(static_cast<uint16_t>(std::stoi(server.port)));
    Prepare(server, proxy);
    MainWindow& w = root_->window();
    HostSession& s = w.session();
    QVERIFY2(s.Connect(std::string(server.name) + " stalled"), trace);
    QTRY_VERIFY_WITH_TIMEOUT(s.conn() == WindowConn::kConnected && !s.listingRunning(), kWaitMs);

    // The next listing stalls.
    if (dataStalls) {
      // Every data connection from now on: the listing's is the next one,
      // whatever number the proxy has counted so far.
      proxy.SetCueAll(Channel::kData, Cue::Stall().After(10));
    } else {
      proxy.SetCue(Channel::kControl, 1, Cue::Stall().OnLine("226"));
    }
    s.RefreshHost();
    QVERIFY2(s.listingRunning(), trace);
    QVERIFY2(proxy.WaitFired(1, kWaitMs), trace);
    QVERIFY2(KeepsRepainting(), trace);
    QVERIFY2(Waiting() && s.listingRunning(), trace);
    QVERIFY2(w.action(kCmdCancel)->isEnabled(), trace);

    w.action(kCmdCancel)->trigger();
    QTRY_VERIFY2_WITH_TIMEOUT(!s.listingRunning(), trace, kWaitMs);
    QVERIFY2(root_->worker().WaitIdle(kWaitMs), trace);
    QCoreApplication::processEvents();
    QVERIFY2(s.conn() == WindowConn::kConnected || s.conn() == WindowConn::kDisconnected, trace);

    // Still connected: the server answers again and so does the window.
    if (s.conn() == WindowConn::kConnected) {
      proxy.ClearCues();
      s.RefreshHost();
      QTRY_VERIFY2_WITH_TIMEOUT(!s.listingRunning(), trace, kWaitMs);
      QCOMPARE(s.conn(), WindowConn::kConnected);
    }
    qInfo("%s: after Cancel the window is %s", trace.constData(),
          s.conn() == WindowConn::kConnected ? "connected" : "disconnected");
    cleanup();
    init();
  }
}

// The transfer window's download stalls after its first bytes: the window
// and the main window go on repainting, and Cancel (answered Yes) ends the
// batch at once, its file not counted as transferred.
void StalledServerInteropTest::cancelEndsAStalledDownload() {
  for (const Server& server : Servers()) {
    const QByteArray trace = QByteArray(server.name) + ": the download's data stalls";
    const std::string name = "stalled-" + std::to_string(QCoreApplication::applicationPid()) + ".bin";
    const std::string onServer = server.writableHere + "/" + name;
    std::ofstream(onServer, std::ios::binary) << std::string(4 << 20, 's');
    struct Remove {
      std::string path;
      ~Remove() { std::filesystem::remove(path); }
    } remove{onServer};
    FaultProxy proxy(static_cast<uint16_t>(std::stoi(server.port)));
    Prepare(server, proxy);
    MainWindow& w = root_->window();
    HostSession& s = w.session();
    QVERIFY2(s.Connect(std::string(server.name) + " stalled"), trace);
    QTRY_VERIFY_WITH_TIMEOUT(s.conn() == WindowConn::kConnected && !s.listingRunning(), kWaitMs);
    QVERIFY2(w.transfers() != nullptr, trace);
    TransferCommands& commands = w.transfers()->transfers();
    // Every data connection from now on: the download's is the next one.
    proxy.SetCueAll(Channel::kData, Cue::Stall().After(64 << 10));

    // The person's steps, taken while the window runs its own loop.
    enum Step { kStart, kStalled, kRepainted, kCancelled, kClosed } step = kStart;
    int mainAtStall = 0, windowAtStall = 0;
    bool windowPainted = false;
    PaintCounter* windowPaints = nullptr;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
      auto* d = qobject_cast<TransferDialog*>(commands.activeWindow());
      if (d == nullptr) return;
      switch (step) {
        case kStart:
          if (d->startButton()->isEnabled()) {
            windowPaints = new PaintCounter(d);
            d->startButton()->click();
            step = kStalled;
          }
          break;
        case kStalled:
          if (proxy.Fired() >= 1 && Waiting()) {
            mainAtStall = paints_->count;
            windowAtStall = windowPaints->count;
            w.update();
            d->update();
            step = kRepainted;
          }
          break;
        case kRepainted:
          // Both windows painted again while the download waits.
          if (paints_->count > mainAtStall && windowPaints->count > windowAtStall && Waiting()) {
            windowPainted = true;
            d->cancelButton()->click();
            step = kCancelled;
          }
          break;
        case kCancelled:
          if (d->cancelButton()->text() == "&Close" && d->cancelButton()->isEnabled()) {
            step = kClosed;
            d->cancelButton()->click();
          }
          break;
        case kClosed: break;
      }
    });
    driver.start(10);
    // The window asks whether to cancel in a box of its own: Yes.
    int asked = 0;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->text().startsWith("The file transfer has not completed")) return;
      ++asked;
      box->button(QMessageBox::Yes)->click();
    });
    answerer.start(5);
    QTemporaryDir local;
    HostItem item;
    item.path = server.writable + "/" + name;
    item.name = name;
    item.bytes = 4 << 20;
    commands.DownloadItems({item}, PcPlace{local.path(), false});
    driver.stop();
    answerer.stop();
    delete windowPaints;
    QVERIFY2(asked == 1, trace);
    QVERIFY2(windowPainted, trace);
    QVERIFY2(step == kClosed, trace);
    QVERIFY2(root_->worker().WaitIdle(kWaitMs), trace);
    // What came is no finished file.
    QVERIFY2(QFileInfo(local.filePath(QString::fromStdString(name))).size() < (4 << 20), trace);
    cleanup();
    init();
  }
}

QTEST_MAIN(StalledServerInteropTest)
#include "stalled_server_interop_test.moc"
