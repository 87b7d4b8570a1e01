// The queue panel and the "&Queue" menu: rows kept in the order seen
// through saves and loads, the menu's enabling, the changed-queue
// question, adds that fail without losing the queue, "&Add to Queue" from
// a transfer window's rows, and the hand-overs to a second client and to
// the scheduler (an ipc endpoint stands in for it).
#include <QAbstractItemModelTester>
#include <QDockWidget>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenuBar>
#include <QTreeView>
#include <QtTest>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "client/engine/transfer_batch.h"
#include "client/listing/listing_model.h"
#include "client/session/password.h"
#include "client/session/session_store.h"
#include "client/shell/queue_window.h"
#include "platform/ipc.h"
#include "platform/registry.h"
#include "tests/support/scripted_ui.h"

using namespace tarn;
using namespace tarn::shell;

namespace {

QEntry Entry(const std::string& remote, int32_t flags) {
  QEntry e;
  MakeQEntry(remote, "/srv/" + remote, flags, &e);
  return e;
}

std::vector<std::string> Column0And5(const QueueModel& m) {
  std::vector<std::string> out;
  for (const QueueRow& r : m.rows()) out.push_back(r.hostname + ":" + r.remoteFile);
  return out;
}

}  // namespace

class QueueWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void rowsKeepTheirOrderThroughSaveAndLoad();
  void menuFollowsTheOpenFile();
  void changedQueueIsOfferedForSavingBeforeALoad();
  void failedAddLeavesTheQueueAsItWas();
  void transferRowsBecomeEntries();
  void handOversStartTheProgramsAndTellTheScheduler();

 private:
  // The window, with the file dialogs answered by `answers_`.
  void Make();

  std::string dir_;
  std::unique_ptr<platform::Registry> reg_;
  std::unique_ptr<testing::ScriptedUi> ui_;
  std::unique_ptr<PasswordScrambler> scrambler_;
  std::unique_ptr<SessionStore> store_;
  std::unique_ptr<QMainWindow> window_;
  QueueWindow* queue_ = nullptr;
  std::unique_ptr<QAbstractItemModelTester> tester_;
  std::vector<std::string> answers_;  // file dialog answers; "" = Cancel
  std::vector<std::pair<std::vector<std::string>, platform::StartHint>> started_;
};

void QueueWindowTest::init() {
  std::string tmpl = "/tmp/tarn-queue-window-XXXXXX";
  QVERIFY(mkdtemp(tmpl.data()));
  dir_ = tmpl;
  setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  std::string error;
  reg_ = platform::OpenSqliteRegistry(dir_ + "/registry.sqlite", &error);
  QVERIFY2(reg_, error.c_str());
  ui_ = std::make_unique<testing::ScriptedUi>();
  scrambler_ = std::make_unique<PasswordScrambler>(1700000000);
  store_ = std::make_unique<SessionStore>(*reg_, *ui_, *scrambler_);
  answers_.clear();
  started_.clear();
  Make();
}

void QueueWindowTest::Make() {
  tester_.reset();
  window_ = std::make_unique<QMainWindow>();
  window_->menuBar()->addMenu("&Session");
  window_->menuBar()->addMenu("&Help");
  QueueWindowHooks hooks;
  hooks.choose = [this](bool, const std::string&, std::string* path) {
    if (answers_.empty() || answers_.front().empty()) {
      if (!answers_.empty()) answers_.erase(answers_.begin());
      return false;
    }
    *path = answers_.front();
    answers_.erase(answers_.begin());
    return true;
  };
  hooks.start = [this](const std::vector<std::string>& argv, platform::StartHint hint, std::string*) {
    started_.emplace_back(argv, hint);
    return 4242;
  };
  hooks.programDir = "/opt/tarn/bin";
  queue_ = new QueueWindow(*store_, *ui_, window_.get(), hooks);
  tester_ = std::make_unique<QAbstractItemModelTester>(
      &queue_->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void QueueWindowTest::cleanup() {
  tester_.reset();
  window_.reset();
  store_.reset();
  reg_.reset();
  std::filesystem::remove_all(dir_);
}

void QueueWindowTest::rowsKeepTheirOrderThroughSaveAndLoad() {
  const std::string file = dir_ + "/night.tsc";
  answers_ = {file};
  QVERIFY(queue_->AddEntries("alpha", {Entry("a", kQueueDownload | kQueueAscii),
                                       Entry("b", kQueueUpload | kQueueBinary | kQueuePassive)}));
  QVERIFY(queue_->AddEntries("beta", {Entry("c", kQueueBinary)}));
  QVERIFY(queue_->AddEntries("alpha", {Entry("d", kQueueDownload)}));
  // Entries join their session's group; the groups keep their first order.
  const std::vector<std::string> order = {"alpha:a", "alpha:b", "alpha:d", "beta:c"};
  QCOMPARE(Column0And5(queue_->model()), order);
  QCOMPARE(queue_->model().rows()[1],
           (QueueRow{"alpha", "Upload", "/srv/b", "Binary", "Yes", "b"}));
  QCOMPARE(queue_->model().rows()[3].direction, std::string("Append"));

  // A delete changes the panel only; Save writes what the panel shows.
  queue_->view()->selectionModel()->select(queue_->model().index(1, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
  queue_->DeleteSelected();
  QVERIFY(queue_->changed());
  QVERIFY(queue_->SaveQueueFileCommand());
  TransferQueue onDisk;
  QVERIFY(ReadQueueFile(file, &onDisk).ok());
  QCOMPARE(QueueRows(onDisk), queue_->model().rows());

  Make();  // a new start: the file is loaded into an empty panel
  answers_ = {file};
  QVERIFY(queue_->LoadQueueFileCommand());
  QCOMPARE(Column0And5(queue_->model()), (std::vector<std::string>{"alpha:a", "alpha:d", "beta:c"}));
  QCOMPARE(queue_->path(), file);
  QCOMPARE(QueueFileBytes(onDisk), QueueFileBytes([&] {
             TransferQueue q;
             queue_->model().Rebuild(&q);
             return q;
           }()));
  QCOMPARE(ui_->Boxes().size(), size_t{0});
}

void QueueWindowTest::menuFollowsTheOpenFile() {
  auto enabled = [this] {
    QString out;
    for (auto c : {QueueCommand::kLoad, QueueCommand::kSave, QueueCommand::kSaveAs, QueueCommand::kClose,
                   QueueCommand::kShow, QueueCommand::kTransfer, QueueCommand::kSchedule})
      out += queue_->action(c)->isEnabled() ? '1' : '0';
    return out;
  };
  QList<QAction*> bar = window_->menuBar()->actions();
  QCOMPARE(bar.size(), 3);
  QCOMPARE(bar[1]->text(), QString("&Queue"));  // before "&Help"
  QCOMPARE(enabled(), QString("1000100"));
  QVERIFY(queue_->dock()->isHidden());  // no "Show Queue Window" stored

  const std::string file = dir_ + "/q.tsc";
  answers_ = {file};
  QVERIFY(queue_->AddEntries("alpha", {Entry("a", kQueueDownload)}));
  QCOMPARE(enabled(), QString("1111111"));
  // A load that is cancelled goes back to the file that was open.
  answers_ = {""};
  QVERIFY(!queue_->LoadQueueFileCommand());
  QCOMPARE(enabled(), QString("1111111"));
  QCOMPARE(queue_->model().rowCount(), 1);
  // A refused file is said so and another chosen; Cancel ends it.
  std::ofstream(dir_ + "/foreign.tsc") << std::string(40, 'x');
  answers_ = {dir_ + "/foreign.tsc", ""};
  QVERIFY(!queue_->LoadQueueFileCommand());
  QCOMPARE(ui_->BoxTexts(), std::vector<std::string>{kNotScheduleFileText});
  QCOMPARE(queue_->path(), file);

  queue_->CloseQueueFileCommand();
  QCOMPARE(enabled(), QString("1000100"));
  QCOMPARE(queue_->model().rowCount(), 0);
  QVERIFY(!queue_->SaveQueueFileCommand() && !queue_->TransferCurrentQueueCommand());

  queue_->action(QueueCommand::kShow)->trigger();
  QVERIFY(!queue_->dock()->isHidden());
  QCOMPARE(queue_->action(QueueCommand::kShow)->text(), QString(kHideQueueText));
  window_->close();  // the panel's state is kept for the next start
  Make();
  QVERIFY(queue_->shown());
  QCOMPARE(queue_->model().columnCount(), 6);
  QCOMPARE(queue_->view()->header()->sectionSize(0),
           queue_->view()->header()->fontMetrics().horizontalAdvance("Hostname") + 50);
}

void QueueWindowTest::changedQueueIsOfferedForSavingBeforeALoad() {
  const std::string file = dir_ + "/q.tsc";
  answers_ = {file};
  QVERIFY(queue_->AddEntries("alpha", {Entry("a", kQueueDownload), Entry("b", kQueueDownload)}));
  queue_->view()->selectionModel()->select(queue_->model().index(0, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
  queue_->DeleteSelected();
  ui_->AnswerBoxes({BoxResult::kYes});
  answers_ = {""};  // the open dialog is cancelled after the save
  queue_->LoadQueueFileCommand();
  QCOMPARE(ui_->BoxTexts(), std::vector<std::string>{kChangedQueueQuestion});
  TransferQueue onDisk;
  QVERIFY(ReadQueueFile(file, &onDisk).ok());
  QCOMPARE(onDisk.EntryCount(), size_t{1});
  QCOMPARE(Column0And5(queue_->model()), std::vector<std::string>{"alpha:b"});
  QVERIFY(!queue_->changed());
}

void QueueWindowTest::failedAddLeavesTheQueueAsItWas() {
  // No name chosen: nothing is added.
  answers_ = {""};
  QVERIFY(!queue_->AddEntries("alpha", {Entry("a", kQueueDownload)}));
  QCOMPARE(queue_->model().rowCount(), 0);
  QVERIFY(!queue_->fileOpen());

  const std::string file = dir_ + "/q.tsc";
  answers_ = {file};
  QVERIFY(queue_->AddEntries("alpha", {Entry("a", kQueueDownload)}));
  // The file's place is taken by a folder: the save fails and says so, the
  // queue keeps its one entry and the file stays open for another try.
  std::filesystem::remove(file);
  std::filesystem::create_directory(file);
  QVERIFY(!queue_->AddEntries("alpha", {Entry("b", kQueueDownload)}));
  QCOMPARE(Column0And5(queue_->model()), std::vector<std::string>{"alpha:a"});
  QVERIFY(queue_->fileOpen());
  QCOMPARE(ui_->BoxCaptions(), std::vector<std::string>{"Tarn"});
  // A quick connection has no stored session for the run to connect to.
  QVERIFY(!queue_->AddEntries("", {Entry("c", kQueueDownload)}));
}

void QueueWindowTest::transferRowsBecomeEntries() {
  const platform::Locale locale = platform::PinnedLocale();
  BatchHost host;
  host.destination = "/home/u";
  TransferBatch down(TransferDirection::kDownload, host, TransferMode::kAutoDetect, AppSettings{}, locale);
  down.AddDownload("/pub/readme.txt", "readme.txt", 10, 0, false);
  down.AddDownload("/pub/data.bin", "data.bin", 10, 0, false);
  down.AddDownload("/pub/sub", "sub", -1, 0, true);
  std::vector<QEntry> entries;
  size_t leftOut = 0;
  QVERIFY(QueueEntriesOf(down, true, &entries, &leftOut));
  QCOMPARE(entries.size(), size_t{2});
  QCOMPARE(leftOut, size_t{1});
  QCOMPARE(RowOf("s", entries[0]), (QueueRow{"s", "Download", "/home/u/readme.txt", "Ascii", "Yes",
                                            "/pub/readme.txt"}));
  QCOMPARE(entries[1].iFlags, kQueueDownload | kQueueBinary | kQueuePassive);

  const std::string local = dir_ + "/log.bin";
  std::ofstream(local) << "x";
  host.destination = "/in";
  TransferBatch append(TransferDirection::kAppend, host, TransferMode::kBinary, AppSettings{}, locale);
  append.AddAppend(local, "/in/all.log");
  entries.clear();
  QVERIFY(QueueEntriesOf(append, false, &entries, nullptr));
  QCOMPARE(RowOf("s", entries[0]), (QueueRow{"s", "Append", local, "Binary", "No", "/in/all.log"}));

  // The run sends the names as they stand: MVS data sets fully qualified
  // in quotes (the server's prefix would be put before a bare name); the
  // UNIX side of the host keeps its paths.
  BatchHost mvs;
  mvs.hostFamily = HOST_MVS;
  mvs.serverType = SERVER_MVS;
  mvs.rootString = "";
  mvs.destination = "/home/u";
  TransferBatch fromMvs(TransferDirection::kDownload, mvs, TransferMode::kBinary, AppSettings{}, locale);
  fromMvs.AddDownload("USER1.CNTL(ALLOCJCL)", "ALLOCJCL", 80, 0, false);
  fromMvs.AddDownload("/u/user1/notes.txt", "notes.txt", 10, 0, false);
  entries.clear();
  QVERIFY(QueueEntriesOf(fromMvs, false, &entries, nullptr));
  QCOMPARE(std::string(entries[0].cRemoteFile), std::string("'USER1.CNTL(ALLOCJCL)'"));
  QCOMPARE(std::string(entries[1].cRemoteFile), std::string("/u/user1/notes.txt"));
  mvs.destination = "USER1.CNTL";
  mvs.destinationKind = listing::kKindPdsFixed;
  TransferBatch toMvs(TransferDirection::kUpload, mvs, TransferMode::kBinary, AppSettings{}, locale);
  toMvs.AddUpload(local);
  entries.clear();
  QVERIFY(QueueEntriesOf(toMvs, false, &entries, nullptr));
  QCOMPARE(std::string(entries[0].cRemoteFile).front(), '\'');
  QCOMPARE(std::string(entries[0].cRemoteFile).back(), '\'');
}

void QueueWindowTest::handOversStartTheProgramsAndTellTheScheduler() {
  std::string error;
  auto scheduler = platform::IpcEndpoint::Open(kSchedulerTitle, &error);
  QVERIFY2(scheduler, error.c_str());
  const std::string file = dir_ + "/night-run.tsc";
  answers_ = {file};
  QVERIFY(queue_->AddEntries("alpha", {Entry("a", kQueueDownload)}));

  QVERIFY(queue_->TransferCurrentQueueCommand());
  QVERIFY(queue_->ScheduleCurrentQueueCommand());
  QCOMPARE(started_.size(), size_t{2});
  QCOMPARE(started_[0].first, (std::vector<std::string>{"/opt/tarn/bin/tarn", "-" + file}));
  QVERIFY(started_[0].second == platform::StartHint::kMinimisedNoActivate);
  QCOMPARE(started_[1].first, std::vector<std::string>{"/opt/tarn/bin/almanor"});
  platform::IpcMessage msg;
  QVERIFY(scheduler->Receive(&msg, 10000) == platform::IpcWait::kMessage);
  QCOMPARE(msg.name, std::string(platform::kScheduleTransferMessage));
  auto key = store_->OpenApplicationKey("", false);
  char value[261] = {};
  QVERIFY(key && store_->ReadValue(*key, "CurrentQueueFile", value, sizeof value));
  QCOMPARE(std::string(value), file);
  QCOMPARE(QueueWindowOf(queue_->view()), queue_);
}

QTEST_MAIN(QueueWindowTest)
#include "queue_window_test.moc"
