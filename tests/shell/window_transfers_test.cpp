// The window's transfer commands against a Windows host personality: the
// commands' states with the connection, "FTP &Copy" and "FTP &Paste" of a
// host file into a PC folder, files dropped from the desktop's file
// manager onto the host list uploading into the directory on display, and
// "&Add to Queue" from the panes' menus and the transfer window putting
// rows into the queue panel instead of transferring them.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <fstream>
#include <sstream>

#include "client/session/password.h"
#include "client/shell/client_root.h"
#include "client/shell/command_states.h"
#include "client/shell/host_list_pane.h"
#include "client/shell/pc_panes.h"
#include "client/shell/queue_window.h"
#include "client/shell/transfer_dialog.h"
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

QAction* Entry(QMenu* menu, const char* text) {
  if (menu == nullptr) return nullptr;
  for (QAction* a : menu->actions())
    if (a->text() == QString::fromUtf8(text)) return a;
  return nullptr;
}

// A point of the screen over the empty space at the bottom of `view`.
QPoint BelowTheRows(QAbstractItemView* view) {
  return view->viewport()->mapToGlobal(QPoint(10, view->viewport()->height() - 5));
}

// Selects the rows of `view` under its root whose `key` is one of `wanted`.
int SelectWhere(QAbstractItemView* view, const std::function<QString(const QModelIndex&)>& key,
                const QStringList& wanted) {
  QAbstractItemModel* m = view->model();
  view->selectionModel()->clearSelection();
  int n = 0;
  for (int r = 0; r < m->rowCount(view->rootIndex()); ++r) {
    const QModelIndex i = m->index(r, 0, view->rootIndex());
    if (!wanted.contains(key(i))) continue;
    view->selectionModel()->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ++n;
  }
  return n;
}

}  // namespace

class WindowTransfersTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void commandsCopyPasteAndDesktopDrop();
  void addToQueueFromTheMenusAndTheTransferWindow();
  void pendingResumeContinuesOnTheNextConnect();

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
  QVERIFY(w.transfers() != nullptr);
  WindowTransfers& wt = *w.transfers();
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

void WindowTransfersTest::addToQueueFromTheMenusAndTheTransferWindow() {
  tarn::testing::PersonalityOptions options;
  options.personality = tarn::testing::Personality::kWindows;
  tarn::testing::HostPersonality host(options);
  QVERIFY(host.Start());
  HostRecord rec;
  root_->store().CreateSession("Win", "127.0.0.1", {}, &rec);
  SetField(rec.cFTPPort, std::to_string(host.Port()));
  root_->store().SaveSession(rec);
  root_->app().settings.bPassive = 1;

  MainWindow& w = root_->window();
  w.resize(1100, 760);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  const std::string file = dir_->filePath("night.tsc").toStdString();
  int asked = 0;
  QueueWindowHooks hooks;
  hooks.choose = [&](bool, const std::string&, std::string* path) {
    ++asked;
    *path = file;
    return true;
  };
  QueueWindow* queue = new QueueWindow(root_->store(), root_->ui(), &w, hooks);
  WindowTransfers wt(w, root_->context(), *answers_);
  HostSession& s = w.session();
  s.ShowSessions();
  QVERIFY(s.Connect("Win"));
  QTRY_VERIFY_WITH_TIMEOUT(s.conn() == WindowConn::kConnected && !s.listingRunning(), 15000);

  QTemporaryDir local;
  std::ofstream(local.filePath("up.txt").toStdString()) << "up\n";
  std::ofstream(local.filePath("up.bin").toStdString()) << "bin\n";
  PcPanes& pcs = *w.pcPanes();
  QVERIFY(pcs.OpenFolder(local.path()));
  QAbstractItemView* pcList = pcs.listView();
  QTRY_COMPARE(pcList->model()->rowCount(pcList->rootIndex()), 2);
  auto pcPath = [&pcs](const QModelIndex& i) { return pcs.listModel().FilePath(i); };
  HostListPane* hostList = w.hostPane();
  auto hostName = [hostList](const QModelIndex& i) {
    return QString::fromStdString(hostList->listModel().Row(i.row()).listedName);
  };

  // Nothing copied yet: the entry is offered, disabled.
  std::unique_ptr<QMenu> menu(wt.CreatePcListMenu(BelowTheRows(pcList)));
  QVERIFY(Entry(menu.get(), kAddToQueueText) && !Entry(menu.get(), kAddToQueueText)->isEnabled());

  // Two host files copied and queued into the PC folder on display: one
  // row each, in the order of the host list, nothing transferred.
  QCOMPARE(SelectWhere(hostList, hostName, {"notes.txt", "a b.txt"}), 2);
  wt.transfers().CopyHost();
  menu.reset(wt.CreatePcListMenu(BelowTheRows(pcList)));
  QAction* add = Entry(menu.get(), kAddToQueueText);
  QVERIFY(add && add->isEnabled());
  add->trigger();
  const std::string dl = local.path().toStdString();
  std::vector<QueueRow> expected = {
      {"Win", "Download", dl + "/a b.txt", "Ascii", "Yes", "/a b.txt"},
      {"Win", "Download", dl + "/notes.txt", "Ascii", "Yes", "/notes.txt"}};
  QCOMPARE(queue->model().rows(), expected);
  QCOMPARE(asked, 1);  // a name was asked for once, then the queue is kept there
  QVERIFY(!QFileInfo::exists(local.filePath("notes.txt")));

  // PC files queued onto the host: from the host list's menu (refused while
  // two host entries are selected) and from the host tree's.
  QCOMPARE(SelectWhere(pcList, pcPath, {local.filePath("up.txt"), local.filePath("up.bin")}), 2);
  wt.transfers().CopyPc();
  menu.reset(wt.CreateHostListMenu(BelowTheRows(hostList)));
  QVERIFY(!Entry(menu.get(), kAddToQueueText)->isEnabled());
  hostList->clearSelection();
  menu.reset(wt.CreateHostListMenu(BelowTheRows(hostList)));
  add = Entry(menu.get(), kAddToQueueText);
  QVERIFY(add->isEnabled());
  add->trigger();
  QMenu treeMenu;
  wt.AddHostTreeEntries(&treeMenu, w.hostTree()->currentIndex());
  QVERIFY(Entry(&treeMenu, kFtpPasteText) && Entry(&treeMenu, kFtpPasteText)->isEnabled());
  QVERIFY(Entry(&treeMenu, kAddToQueueText) && Entry(&treeMenu, kAddToQueueText)->isEnabled());
  Entry(&treeMenu, kAddToQueueText)->trigger();
  for (int i = 0; i < 2; ++i) {
    expected.push_back({"Win", "Upload", local.filePath("up.bin").toStdString(), "Binary", "Yes", "/up.bin"});
    expected.push_back({"Win", "Upload", local.filePath("up.txt").toStdString(), "Ascii", "Yes", "/up.txt"});
  }
  QCOMPARE(queue->model().rows(), expected);

  // The transfer window's button: the window closes, its rows (with the
  // person's edits) are queued, the host receives nothing.
  QSignalSpy done(&wt.transfers(), &TransferCommands::transferDone);
  QTimer::singleShot(0, &wt, [&wt] {
    auto* d = qobject_cast<TransferDialog*>(wt.transfers().activeWindow());
    if (d == nullptr) return;
    QVERIFY(d->queueButton()->isVisible() && d->queueButton()->isEnabled());
    d->ToggleRow(0);
    d->queueButton()->click();
  });
  root_->app().settings.cAutoStart.clear();
  QCOMPARE(wt.transfers().UploadPaths({local.filePath("up.txt")}, *wt.HostTreeFolder()), kDialogQueued);
  expected.push_back({"Win", "Upload", local.filePath("up.txt").toStdString(), "Binary", "Yes", "/up.txt"});
  QCOMPARE(queue->model().rows(), expected);
  QCOMPARE(done.count(), 1);
  QCOMPARE(done.takeFirst().at(0).toBool(), false);
  QVERIFY(!host.File("/up.txt").has_value());

  // Every add was saved at once, in the panel's order.
  TransferQueue onDisk;
  QVERIFY(ReadQueueFile(file, &onDisk).ok());
  QCOMPARE(QueueRows(onDisk), expected);
  QVERIFY(answers_->texts.empty());
}

// A download interrupted in an earlier run: the first listing of the next
// connection asks, Yes opens the resume window, which starts by itself and
// continues the partial file from its end (REST) to the byte.
void WindowTransfersTest::pendingResumeContinuesOnTheNextConnect() {
  tarn::testing::PersonalityOptions options;
  options.personality = tarn::testing::Personality::kWindows;
  tarn::testing::HostPersonality host(options);
  QVERIFY(host.Start());
  HostRecord rec;
  root_->store().CreateSession("Win", "127.0.0.1", {}, &rec);
  SetField(rec.cFTPPort, std::to_string(host.Port()));
  root_->store().SaveSession(rec);
  QTemporaryDir local;
  const std::string partial = local.filePath("notes.txt").toStdString();
  std::ofstream(partial, std::ios::binary) << std::string(500, 'n');
  ResumeState pending;
  SetField(pending.cResumeFileName, partial);
  SetField(pending.cResumeSourceFileSize, "1025");
  SetField(pending.cResumeSourcePath, "/notes.txt");
  SetField(pending.cResIsDownLoadDone, "FALSE");
  SetField(pending.cResTransferType, "Binary");
  root_->store().SaveResumeState("Win", pending);
  answers_->answers = {BoxResult::kYes};

  MainWindow& w = root_->window();
  w.resize(1100, 760);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QSignalSpy done(&w.transfers()->transfers(), &TransferCommands::transferDone);
  HostSession& s = w.session();
  s.ShowSessions();
  QVERIFY(s.Connect("Win"));
  QVERIFY(done.wait(20000));
  QCOMPARE(answers_->texts.size(), size_t{1});
  QCOMPARE(answers_->texts[0], "Would you like to resume downloading " + partial);
  QCOMPARE(Read(partial), std::string(1025, 'n'));
  const std::vector<std::string> sent = host.Commands();
  QVERIFY(std::find(sent.begin(), sent.end(), "REST 500") != sent.end());
  ResumeState after;
  root_->store().LoadResumeState("Win", &after, &root_->app());
  QCOMPARE(std::string(after.cResIsDownLoadDone), std::string("TRUE"));
}

QTEST_MAIN(WindowTransfersTest)
#include "window_transfers_test.moc"
