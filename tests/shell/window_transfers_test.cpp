// The window's transfer commands against a Windows host personality: the
// commands' states with the connection, "FTP &Copy" and "FTP &Paste" of a
// host file into a PC folder, and files dropped from the desktop's file
// manager onto the host list uploading into the directory on display.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

#include <fstream>
#include <sstream>

#include "client/session/password.h"
#include "client/shell/client_root.h"
#include "client/shell/command_states.h"
#include "client/shell/host_list_pane.h"
#include "client/shell/window_transfers.h"
#include "tests/shell/transfer_test_context.h"
#include "tests/support/host_personality.h"

using namespace tarn;
using namespace tarn::shell;

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

class WindowTransfersTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void commandsCopyPasteAndDesktopDrop();

 private:
  QTemporaryDir* dir_ = nullptr;
  ClientRoot* root_ = nullptr;
  tarn::testing::RecordingDialogs* answers_ = nullptr;
};

void WindowTransfersTest::init() {
  dir_ = new QTemporaryDir;
  root_ = new ClientRoot;
  answers_ = new tarn::testing::RecordingDialogs;
  ClientOptions o;
  o.configDir = dir_->filePath("config").toStdString();
  o.logDir = "";
  o.pinnedLocale = true;
  std::string error;
  QVERIFY2(root_->Init(o, &error), error.c_str());
  root_->SetDialogs(answers_);
  // The windows start and close by themselves.
  root_->app().settings.cAutoStart = "X";
  root_->app().settings.bCloseXferDialog = true;
}

void WindowTransfersTest::cleanup() {
  if (root_ && !root_->window().shutDown()) {
    root_->window().Shutdown(2000);
    QTRY_VERIFY_WITH_TIMEOUT(root_->window().shutDown(), 10000);
  }
  delete root_;
  delete answers_;
  delete dir_;
}

void WindowTransfersTest::commandsCopyPasteAndDesktopDrop() {
  tarn::testing::PersonalityOptions options;
  options.personality = tarn::testing::Personality::kWindows;
  tarn::testing::HostPersonality host(options);
  QVERIFY(host.Start());
  HostRecord rec;
  root_->store().CreateSession("Win", "127.0.0.1", {}, &rec);
  SetField(rec.cFTPPort, std::to_string(host.Port()));
  root_->store().SaveSession(rec);

  MainWindow& w = root_->window();
  w.resize(1100, 760);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  WindowTransfers wt(w, root_->context(), *answers_);
  QVERIFY(!wt.action(kCmdDownload)->isVisible());

  HostSession& s = w.session();
  s.ShowSessions();
  QVERIFY(s.Connect("Win"));
  QTRY_VERIFY_WITH_TIMEOUT(s.conn() == WindowConn::kConnected && !s.listingRunning(), 15000);
  QVERIFY(wt.action(kCmdDownload)->isVisible());
  QVERIFY(wt.action(kCmdMvsOptions)->isEnabled());
  QVERIFY(!wt.action(kCmdPermissions)->isEnabled());  // not a UNIX server
  QVERIFY(!wt.action(kCmdBrowseFile)->isEnabled());   // nothing selected

  // "FTP &Copy" of a host file, "FTP &Paste" into a PC folder.
  HostListModel& m = w.hostPane()->listModel();
  int notes = -1;
  for (int r = 0; r < m.rowCount(); ++r)
    if (m.Row(r).listedName == "notes.txt") notes = r;
  QVERIFY(notes >= 0);
  w.hostPane()->selectionModel()->select(m.index(notes, 0),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  QVERIFY(wt.action(kCmdBrowseFile)->isEnabled());
  wt.transfers().CopyHost();
  QCOMPARE(wt.transfers().clipboard().kind, FtpClipboard::Kind::kHost);
  QTemporaryDir local;
  QSignalSpy done(&wt.transfers(), &TransferCommands::transferDone);
  wt.transfers().PasteToPc(PcPlace{local.path(), false});
  QVERIFY(done.count() == 1 || done.wait(15000));
  QCOMPARE(Read(local.filePath("notes.txt").toStdString()), std::string(1025, 'n'));

  // A file from the desktop dropped on the list's empty space.
  const QString up = local.filePath("up.txt");
  std::ofstream(up.toStdString()) << "uploaded\n";
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(up)});
  QWidget* viewport = w.hostPane()->viewport();
  const QPoint empty(10, viewport->height() - 5);
  QVERIFY(!w.hostPane()->indexAt(empty).isValid());
  QDragEnterEvent enter(empty, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &enter);
  QVERIFY(enter.isAccepted());
  // Our own host entries are never dropped back onto the host.
  QMimeData own;
  own.setData(kHostDragMime, "1");
  own.setUrls({QUrl::fromLocalFile(up)});
  QDragMoveEvent refused(empty, Qt::CopyAction, &own, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &refused);
  QVERIFY(!refused.isAccepted());
  QDropEvent drop(QPointF(empty), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(viewport, &drop);
  QVERIFY(drop.isAccepted());
  QVERIFY(done.wait(15000));
  QCOMPARE(host.File("/up.txt").value_or(""), std::string("uploaded\n"));
}

QTEST_MAIN(WindowTransfersTest)
#include "window_transfers_test.moc"
