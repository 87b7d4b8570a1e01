// The transfer window during a large download: the window's own main
// window connects anonymously to an FTP server on loopback and downloads
// one file through the transfer window (the code path of Download and
// paste), while a 10 ms timer on the GUI thread measures the longest gap
// between its ticks (the GUI thread's longest stall) and counts the
// progress updates that reach the window per second. Targets: no stall
// over 100 ms, at most about 20 updates a second.
//
//   transfer_window_bench PORT [REMOTE_PATH [SIZE_BYTES]] [--shots DIR]
//
// Defaults: /pub/1g.bin of 1 GiB. With --shots the window stays open at the
// end, a local file of the same name is made first so that the replace
// question shows, and pictures of the question, of the window
// mid-transfer, of the screen and of the host-option dialogs are written
// into DIR (run it under Xvfb for the screen).
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "client/shell/browse_viewer.h"
#include "client/shell/client_root.h"
#include "client/shell/host_commands.h"
#include "client/shell/host_option_dialogs.h"
#include "client/shell/transfer_dialog.h"
#include "client/shell/transfer_questions.h"
#include "client/shell/window_transfers.h"

using namespace tarn;
using namespace tarn::shell;

namespace {

QString shotsDir;

void Save(QWidget* w, const char* name) {
  if (shotsDir.isEmpty() || w == nullptr) return;
  w->grab().save(shotsDir + "/" + name + ".png");
  if (QScreen* s = QGuiApplication::primaryScreen())
    s->grabWindow(0).save(shotsDir + "/" + name + "-screen.png");
}

// Shows `d` over the main window, lets it paint, saves it, closes it.
void Shoot(QDialog* d, const char* name) {
  d->show();
  (void)QTest::qWaitForWindowExposed(d, 3000);
  QTest::qWait(150);
  Save(d, name);
  d->reject();
}

// The host-option dialogs and the command windows, each as it shows.
void ShootHostDialogs(MainWindow& w, ShellContext& ctx, Dialogs& dialogs) {
  {
    MvsOptionsDialog d(&w);
    d.findChild<QRadioButton*>("FB")->setChecked(true);
    d.findChild<QRadioButton*>("Tracks")->setChecked(true);
    d.findChild<QLineEdit*>("Prime")->setText("10");
    d.findChild<QLineEdit*>("Secondary")->setText("5");
    d.findChild<QLineEdit*>("LRecL")->setText("80");
    d.findChild<QLineEdit*>("BlkSize")->setText("27920");
    Shoot(&d, "mvs-options");
  }
  {
    VmOptionsDialog d(&w);
    Shoot(&d, "vm-options");
  }
  {
    PermissionsDialog d(&w);
    d.Box(0, 0)->setChecked(true);
    d.Box(0, 1)->setChecked(true);
    d.Box(1, 0)->setChecked(true);
    d.Box(2, 0)->setChecked(true);
    Shoot(&d, "permissions");
  }
  // The command windows stay up while their op is held here.
  HostCommands cmds(ctx, dialogs, &w);
  std::function<void(int)> release;
  cmds.SetRunner([&release](ConnWorker::Op, bool, std::function<void(int)> done) {
    release = std::move(done);
    return true;
  });
  struct Prompts : HostOptionPrompts {
    bool Mvs(QWidget*, listing::MvsOptions* o) override {
      o->spaceSet = o->tracks = 1;
      return true;
    }
    bool Vm(QWidget*, std::string*) override { return false; }
    bool Permissions(QWidget*, std::string*) override { return false; }
  } prompts;
  cmds.SetPrompts(&prompts);
  auto hold = [&](const char* name) {
    (void)QTest::qWaitForWindowExposed(cmds.activeWindow(), 3000);
    QTest::qWait(150);
    Save(cmds.activeWindow(), name);
    if (release) release(kReplyComplete);
    release = nullptr;
  };
  cmds.MvsOptions();
  hold("processing-mvs");
  cmds.Recall("USER1.OLD.DATA");
  hold("recall");
  cmds.Browse({{"/pub/readme.txt", "readme.txt"}}, TransferMode::kAutoDetect);
  hold("browse");
  QTemporaryDir dir;
  const QString text = dir.filePath("JCL.txt");
  std::ofstream(text.toStdString()) << "//USER1J JOB (ACCT),'TARN',CLASS=A\n//STEP1 EXEC PGM=IEFBR14\n";
  auto* viewer = new BrowseViewer(text, "USER1.CNTL(JOB)", &w);
  viewer->show();
  (void)QTest::qWaitForWindowExposed(viewer, 3000);
  QTest::qWait(150);
  Save(viewer, "viewer");
  viewer->close();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::vector<const char*> args;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--shots" && i + 1 < argc) shotsDir = argv[++i];
    else args.push_back(argv[i]);
  }
  if (args.empty()) {
    std::fprintf(stderr, "usage: transfer_window_bench PORT [REMOTE_PATH [SIZE_BYTES]] [--shots DIR]\n");
    return 2;
  }
  const int port = atoi(args[0]);
  const std::string remote = args.size() > 1 ? args[1] : "/pub/1g.bin";
  const int64_t size = args.size() > 2 ? atoll(args[2]) : int64_t{1} << 30;
  const std::string name = remote.substr(remote.rfind('/') + 1);

  QTemporaryDir dir;
  ClientRoot root;
  ClientOptions o;
  o.configDir = dir.filePath("config").toStdString();
  o.logDir = "";
  std::string error;
  if (!root.Init(o, &error)) {
    std::fprintf(stderr, "transfer_window_bench: %s\n", error.c_str());
    return 1;
  }
  root.app().settings.cAutoStart = "X";
  root.app().settings.bCloseXferDialog = shotsDir.isEmpty();
  root.app().settings.bDebugLog = false;
  HostRecord rec;
  root.store().CreateSession("Bench", "127.0.0.1", {}, &rec);
  SetField(rec.cFTPPort, std::to_string(port));
  root.store().SaveSession(rec);

  MainWindow& w = root.window();
  w.move(20, 10);
  w.resize(1240, 760);
  w.show();
  (void)QTest::qWaitForWindowExposed(&w, 5000);
  WindowTransfers& wt = *w.transfers();
  HostSession& s = w.session();
  s.ShowSessions();
  s.Connect("Bench");
  QElapsedTimer wait;
  wait.start();
  while (!(s.conn() == WindowConn::kConnected && !s.listingRunning()) && wait.elapsed() < 15000) QTest::qWait(20);
  if (s.conn() != WindowConn::kConnected) {
    std::fprintf(stderr, "transfer_window_bench: not connected\n");
    return 1;
  }

  QTemporaryDir local;
  if (!shotsDir.isEmpty()) {
    std::ofstream(local.filePath(QString::fromStdString(name)).toStdString()) << "an older copy\n";
    ShootHostDialogs(w, root.context(), root.ui().dialogs());
  }

  // The probe: the longest gap between ticks of a 10 ms timer, and the
  // progress updates per second as the window counts them.
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0, worst = 0;
  int lastUpdates = 0, secondUpdates = 0, busiestSecond = 0, updates = 0;
  qint64 secondStart = 0;
  bool shotReplace = false, shotMid = false;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (last > 0) worst = std::max(worst, now - last);
    last = now;
    auto* d = qobject_cast<TransferDialog*>(wt.transfers().activeWindow());
    if (d != nullptr) {
      updates = d->fieldUpdates();
      secondUpdates += updates - lastUpdates;
      lastUpdates = updates;
    }
    if (now - secondStart >= 1000) {
      busiestSecond = std::max(busiestSecond, secondUpdates);
      secondUpdates = 0;
      secondStart = now;
    }
    if (shotsDir.isEmpty()) return;
    if (auto* q = qobject_cast<ReplaceDialog*>(QApplication::activeModalWidget()); q && !shotReplace) {
      shotReplace = true;
      QTimer::singleShot(300, q, [q] {
        Save(q, "replace-question");
        q->findChild<QPushButton*>(ReplaceDialog::kYes)->click();
      });
    }
    // Mid-transfer once the rate shows (after the first second).
    if (d != nullptr && !shotMid && d->progress()->maximum() > 1 && !d->rateText()->text().isEmpty() &&
        d->progress()->value() < d->progress()->maximum() * 9 / 10) {
      shotMid = true;
      Save(d, "transfer-mid");
    }
    if (d != nullptr && shotMid && d->cancelButton()->text() == "&Close" && d->isVisible()) {
      Save(d, "transfer-done");
      d->cancelButton()->click();
    }
  });
  probe.start(10);

  HostItem item;
  item.path = remote;
  item.name = name;
  item.bytes = size;
  QElapsedTimer t;
  t.start();
  wt.transfers().DownloadItems({item}, PcPlace{local.path(), false});
  const double seconds = t.nsecsElapsed() / 1e9;
  probe.stop();
  busiestSecond = std::max(busiestSecond, secondUpdates);
  const QFileInfo got(local.filePath(QString::fromStdString(name)));
  std::printf("downloaded %lld of %lld bytes in %.2f s (%.0f MB/s, window open to closed)\n",
              static_cast<long long>(got.size()), static_cast<long long>(size), seconds,
              got.size() / seconds / 1e6);
  std::printf("progress updates shown: %d (%.1f per second on average, %d in the busiest second; target <= ~20)\n",
              updates, updates / seconds, busiestSecond);
  std::printf("longest gap between 10 ms ticks on the GUI thread: %lld ms (target: no stall over 100 ms)\n",
              static_cast<long long>(worst));
  w.Shutdown(2000);
  wait.restart();
  while (!w.shutDown() && wait.elapsed() < 5000) QTest::qWait(10);
  return got.size() == size ? 0 : 1;
}
