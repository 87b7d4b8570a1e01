// The host list's commands against the scripted FTP server through the
// connection's worker: in-place rename (RNFR/RNTO, the CWD back to the
// listed directory, MVS names), Delete with its questions, its status texts
// and a refusal in the middle, new and removed folders, the keys, the
// context menu's states, and header sorting only while connected.
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>

#include "client/listing/host_types.h"
#include "client/shell/host_list_commands.h"
#include "client/shell/host_list_pane.h"
#include "client/shell/icons.h"
#include "tests/shell/pane_test_context.h"

using namespace tarn;
using namespace tarn::shell;
using tarn::testing::FakeFtpServer;

namespace {

struct Row {
  const char* name;
  bool directory;
  uint64_t size;
};

// A listing of `dir` with the given rows (paths joined as generic hosts
// join them), as a finished listing hands it over.
void ShowRows(HostListPane& pane, const std::string& dir, std::initializer_list<Row> rows,
              int32_t family = HOST_GENERIC, const char* pathPrefix = nullptr) {
  listing::HostListing l;
  for (const Row& r : rows) {
    listing::RowInput in;
    const std::string path = pathPrefix ? std::string(pathPrefix) + r.name
                                        : (dir == "/" ? "/" : dir + "/") + r.name;
    in.path = path;
    in.name = r.name;
    in.isDirectory = r.directory;
    in.size = r.size;
    in.image = r.directory ? listing::kIconFolder : listing::kIconByName;
    in.sizeForm = r.directory ? listing::SizeForm::kNone : listing::SizeForm::kExactOrZero;
    l.AppendRow(in);
  }
  l.viewCode = family == HOST_MVS ? listing::kViewMvsMembers : listing::kViewGenericUnix;
  HostViewFacts facts;
  facts.hostFamily = family;
  facts.serverType = family == HOST_MVS ? SERVER_MVS : SERVER_UNIX;
  facts.currentDir = dir;
  facts.rootString = family == HOST_MVS ? "" : "/";
  pane.ShowListing(std::move(l), facts);
}

int RowNamed(HostListPane& pane, const char* name) {
  for (int r = 0; r < pane.listModel().rowCount(); ++r)
    if (pane.listModel().index(r, 0).data().toString() == QLatin1String(name)) return r;
  return -1;
}

void Select(HostListPane& pane, std::initializer_list<const char*> names) {
  pane.selectionModel()->clearSelection();
  for (const char* n : names)
    pane.selectionModel()->select(pane.listModel().index(RowNamed(pane, n), 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

bool Enabled(QMenu* menu, const char* text) {
  for (QAction* a : menu->actions())
    if (a->text() == QString::fromUtf8(text)) return a->isEnabled();
  qWarning("no menu entry %s", text);
  return false;
}

}  // namespace

class HostListPaneTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void renameSendsTheRowsNames_data();
  void renameSendsTheRowsNames();
  void deleteAsksThenDeletesEachFileAndGoesOnAfterARefusal();
  void deleteAnsweredNoOrWithAFolderSelectedSendsNothing();
  void newFolderAndRemovedFolderInADirectoryRow();
  void contextMenuStates();
  void keysAndDoubleClick();
  void headerSortsOnlyWhileConnected();

 private:
  std::unique_ptr<testing::PaneTestContext> t_;
  std::unique_ptr<IconStore> icons_;
  std::unique_ptr<HostListPane> pane_;
  std::unique_ptr<QAbstractItemModelTester> tester_;
  int refreshes_ = 0;
};

void HostListPaneTest::init() {
  t_ = std::make_unique<testing::PaneTestContext>();
  refreshes_ = 0;
  t_->ctx->refreshHostView = [this] { ++refreshes_; };
  icons_ = std::make_unique<IconStore>();
  pane_ = std::make_unique<HostListPane>(*t_->ctx, t_->dialogs, *icons_);
  tester_ = std::make_unique<QAbstractItemModelTester>(
      &pane_->listModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
  pane_->resize(600, 400);
}

void HostListPaneTest::cleanup() {
  tester_.reset();
  pane_.reset();
  icons_.reset();
  t_.reset();
}

void HostListPaneTest::renameSendsTheRowsNames_data() {
  QTest::addColumn<int>("family");
  QTest::addColumn<QString>("listed");     // the directory the rows come from
  QTest::addColumn<QString>("serverDir");  // where the worker's connection is
  QTest::addColumn<QString>("pathPrefix");
  QTest::addColumn<QString>("row");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QStringList>("lines");
  QTest::newRow("generic: the listed names")
      << int(HOST_GENERIC) << "/pub" << "/pub" << QString() << "old.txt" << "new name.txt"
      << QStringList{"RNFR old.txt", "RNTO new name.txt"};
  QTest::newRow("generic: back to the listed directory first")
      << int(HOST_GENERIC) << "/pub" << "/other" << QString() << "old.txt" << "new.txt"
      << QStringList{"CWD /pub", "RNFR old.txt", "RNTO new.txt"};
  QTest::newRow("MVS member: the data set stays, quoted")
      << int(HOST_MVS) << "USER1.CNTL" << "USER1.CNTL" << "USER1.CNTL(" << "OLD)" << "NEWJOB"
      << QStringList{"RNFR 'USER1.CNTL(OLD)'", "RNTO 'USER1.CNTL(NEWJOB)'"};
}

void HostListPaneTest::renameSendsTheRowsNames() {
  QFETCH(int, family);
  QFETCH(QString, listed);
  QFETCH(QString, serverDir);
  QFETCH(QString, pathPrefix);
  QFETCH(QString, row);
  QFETCH(QString, typed);
  QFETCH(QStringList, lines);
  FakeFtpServer srv;
  if (lines.front().startsWith("CWD")) srv.On(lines.front().toStdString(), "250 ok\r\n");
  const QString rnfr = lines[lines.size() - 2], rnto = lines.back();
  srv.On(rnfr.toStdString(), "350 Ready for RNTO\r\n").On(rnto.toStdString(), "250 Renamed\r\n");
  t_->conn.HostFamily = family;
  QVERIFY(t_->ConnectTo(srv, serverDir.toStdString()));
  pane_->SetConnected(true);
  const std::string name = row.toStdString();
  const std::string prefix = pathPrefix.toStdString();
  ShowRows(*pane_, listed.toStdString(), {{name.c_str(), false, 10}, {"zzz", false, 1}}, family,
           prefix.empty() ? nullptr : prefix.c_str());
  // The member row's name column shows the member name without the ")".
  const int r = family == HOST_MVS ? 0 : RowNamed(*pane_, name.c_str());
  QVERIFY(r >= 0);
  Select(*pane_, {});
  pane_->selectionModel()->select(pane_->listModel().index(r, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  // What the editor does when the person ends the edit.
  pane_->listModel().setData(pane_->listModel().index(r, 0), typed, Qt::EditRole);
  QTRY_COMPARE(refreshes_, 1);
  QVERIFY(srv.Finish());
  QStringList sent;
  for (const std::string& l : srv.Received()) sent << QString::fromStdString(l);
  QCOMPARE(sent, lines);
}

void HostListPaneTest::deleteAsksThenDeletesEachFileAndGoesOnAfterARefusal() {
  FakeFtpServer srv;
  srv.On("DELE a.txt", "250 Deleted\r\n")
      .On("DELE b.txt", "550 b.txt: Permission denied\r\n")
      .On("DELE c.txt", "250 Deleted\r\n");
  QVERIFY(t_->ConnectTo(srv, "/pub"));
  pane_->SetConnected(true);
  ShowRows(*pane_, "/pub", {{"a.txt", false, 1}, {"b.txt", false, 2}, {"c.txt", false, 3}, {"d", true, 0}});
  Select(*pane_, {"a.txt", "b.txt", "c.txt"});
  t_->dialogs.boxAnswers = {BoxResult::kYes};
  QTest::keyClick(pane_.get(), Qt::Key_Delete);
  QCOMPARE(t_->dialogs.boxes.size(), size_t{1});
  QCOMPARE(t_->dialogs.boxes[0].caption, std::string("Confirm Multiple Host File Delete"));
  QCOMPARE(t_->dialogs.boxes[0].text,
           std::string("Are you sure you want to permanently delete these\r3 host files?"));
  QVERIFY(t_->dialogs.boxes[0].buttons == BoxButtons::kYesNo);
  QTRY_COMPARE(refreshes_, 1);
  QVERIFY(srv.Finish());
  // The refusal is shown with the server's words and the rest still goes.
  QCOMPARE(t_->ui.BoxCaptions(), std::vector<std::string>{"Error deleting file"});
  QVERIFY(QString::fromStdString(t_->ui.BoxTexts()[0]).contains("Permission denied"));
  std::vector<std::string> status;
  for (const auto& [part, text] : t_->ui.StatusTexts())
    if (part == 1 && (text.rfind("Deleting", 0) == 0 || text == " ")) status.push_back(text);
  QCOMPARE(status, (std::vector<std::string>{"Deleting file a.txt...", "Deleting file b.txt...",
                                             "Deleting file c.txt...", " "}));
  // One file: the single question.
  QCOMPARE(DeleteQuestion(1, "a.txt"),
           std::string("Are you sure you want to permanently delete host file\r'a.txt'?"));
  QCOMPARE(std::string(DeleteCaption(1)), std::string("Confirm Host File Delete"));
}

void HostListPaneTest::deleteAnsweredNoOrWithAFolderSelectedSendsNothing() {
  FakeFtpServer srv;
  srv.DrainUntilClosed();
  QVERIFY(t_->ConnectTo(srv, "/pub"));
  pane_->SetConnected(true);
  ShowRows(*pane_, "/pub", {{"a.txt", false, 1}, {"d", true, 0}});
  Select(*pane_, {"a.txt"});
  t_->dialogs.boxAnswers = {BoxResult::kNo};
  pane_->DeleteSelected();
  QCOMPARE(t_->dialogs.boxes.size(), size_t{1});
  // A folder in the selection: not even a question.
  Select(*pane_, {"a.txt", "d"});
  pane_->DeleteSelected();
  QCOMPARE(t_->dialogs.boxes.size(), size_t{1});
  // Disconnected: nothing either.
  Select(*pane_, {"a.txt"});
  pane_->SetConnected(false);
  pane_->DeleteSelected();
  QCOMPARE(t_->dialogs.boxes.size(), size_t{1});
  QVERIFY(t_->worker->WaitIdle(5000));
  ::platform::Net().Close(t_->conn.sockControl);
  t_->conn.sockControl = ::platform::kInvalidSocket;
  QVERIFY(srv.Finish());
  QVERIFY(srv.Received().empty());
  QCOMPARE(refreshes_, 0);
}

void HostListPaneTest::newFolderAndRemovedFolderInADirectoryRow() {
  FakeFtpServer srv;
  srv.On("MKD /pub/docs/New Stuff", "257 \"/pub/docs/New Stuff\" created\r\n")
      .On("RMD /pub/docs", "550 Directory not empty\r\n")
      .On("RMD /pub/docs", "550 Directory not empty\r\n");  // the engine's second try
  QVERIFY(t_->ConnectTo(srv, "/pub"));
  pane_->SetConnected(true);
  ShowRows(*pane_, "/pub", {{"docs", true, 0}, {"a.txt", false, 1}});
  const int docs = RowNamed(*pane_, "docs");
  // Cancel asks nothing of the server.
  pane_->CreateFolderIn(docs);
  QCOMPARE(t_->dialogs.proposedFolderNames, std::vector<std::string>{"New Folder"});
  t_->dialogs.folderNames = {"New Stuff"};
  pane_->CreateFolderIn(docs);
  QTRY_COMPARE(refreshes_, 1);
  // A file row takes neither command.
  pane_->CreateFolderIn(RowNamed(*pane_, "a.txt"));
  pane_->DeleteFolder(RowNamed(*pane_, "a.txt"));
  // The refusal shows the engine's box and nothing is refreshed.
  pane_->DeleteFolder(docs);
  QVERIFY(srv.Finish());
  QTRY_COMPARE(t_->ui.BoxCaptions().size(), size_t{1});
  QCOMPARE(t_->ui.BoxCaptions()[0], std::string("Error deleting folder"));
  QVERIFY(t_->worker->WaitIdle(5000));
  QCoreApplication::processEvents();
  QCOMPARE(refreshes_, 1);
  QCOMPARE(t_->dialogs.proposedFolderNames.size(), size_t{2});
}

void HostListPaneTest::contextMenuStates() {
  // Not connected: no entries at all.
  std::unique_ptr<QMenu> none(pane_->CreateContextMenu(-1));
  QVERIFY(none->actions().isEmpty());
  pane_->SetConnected(true);
  ShowRows(*pane_, "/pub", {{"..", true, 0}, {"docs", true, 0}, {"a.txt", false, 1}, {"b.txt", false, 1}});
  struct Case {
    std::initializer_list<const char*> selected;
    const char* clicked;
    bool deleteFolder, createFolder, rename, remove;
  };
  const Case cases[] = {
      {{"docs"}, "docs", true, true, true, false},
      {{"a.txt"}, "a.txt", false, false, true, true},
      {{"a.txt", "b.txt"}, "b.txt", false, false, false, true},
      {{"a.txt", "docs"}, "a.txt", false, false, false, false},
      {{".."}, "..", false, false, false, false},
      {{}, nullptr, false, false, false, false},
  };
  for (const Case& c : cases) {
    Select(*pane_, c.selected);
    const int clicked = c.clicked ? RowNamed(*pane_, c.clicked) : -1;
    std::unique_ptr<QMenu> menu(pane_->CreateContextMenu(clicked));
    const QByteArray what = c.clicked ? QByteArray(c.clicked) : QByteArray("empty space");
    QVERIFY2(Enabled(menu.get(), kDeleteFolderText) == c.deleteFolder, what);
    QVERIFY2(Enabled(menu.get(), kCreateFolderText) == c.createFolder, what);
    QVERIFY2(Enabled(menu.get(), kRenameText) == c.rename, what);
    QVERIFY2(Enabled(menu.get(), kDeleteText) == c.remove, what);
  }
}

void HostListPaneTest::keysAndDoubleClick() {
  pane_->SetConnected(true);
  ShowRows(*pane_, "/pub", {{"docs", true, 0}, {"a.txt", false, 1}});
  QSignalSpy opened(pane_.get(), &HostListPane::directoryActivated);
  QSignalSpy up(pane_.get(), &HostListPane::upRequested);
  pane_->setCurrentIndex(pane_->listModel().index(RowNamed(*pane_, "a.txt"), 0));
  QTest::keyClick(pane_.get(), Qt::Key_Return);
  QCOMPARE(opened.count(), 0);  // a file does not open as a directory
  pane_->setCurrentIndex(pane_->listModel().index(RowNamed(*pane_, "docs"), 0));
  QTest::keyClick(pane_.get(), Qt::Key_Return);
  QCOMPARE(opened.count(), 1);
  QCOMPARE(opened.front().at(0).value<HostRow>().path, std::string("/pub/docs"));
  QTest::keyClick(pane_.get(), Qt::Key_Backspace);
  QCOMPARE(up.count(), 1);
  // F2 edits the one selected name in place.
  Select(*pane_, {"a.txt"});
  QTest::keyClick(pane_.get(), Qt::Key_F2);
  QVERIFY(pane_->Editing());
  QTest::keyClick(pane_->focusWidget() ? pane_->focusWidget() : pane_.get(), Qt::Key_Escape);
  // Two selected: no editing.
  Select(*pane_, {"a.txt", "docs"});
  QTest::keyClick(pane_.get(), Qt::Key_F2);
  QVERIFY(!pane_->Editing());
}

void HostListPaneTest::headerSortsOnlyWhileConnected() {
  pane_->SetConnected(true);
  ShowRows(*pane_, "/pub", {{"a.txt", false, 1}, {"b.txt", false, 500000}});
  auto first = [&] { return pane_->listModel().index(0, 0).data().toString(); };
  QCOMPARE(first(), QStringLiteral("a.txt"));
  emit pane_->header()->sectionClicked(0);  // Z to A
  QCOMPARE(first(), QStringLiteral("b.txt"));
  pane_->SetConnected(false);
  emit pane_->header()->sectionClicked(0);
  QCOMPARE(first(), QStringLiteral("b.txt"));
  // The worker learns the direction for the next listing of this connection.
  QVERIFY(t_->worker->WaitIdle(5000));
  QCOMPARE(t_->listing.sort.direction[0], -1);
}

QTEST_MAIN(HostListPaneTest)
#include "host_list_pane_test.moc"
