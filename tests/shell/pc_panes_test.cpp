// The PC side on a folder tree made for the test: the tree model (home
// first, "Computer" with its file systems, folders only, hidden ones by
// the setting) and the list (the sort rules of its four columns, sizes and
// dates in the person's locale, Del with its question, a folder in the
// selection, a failed delete, the saved resume state of a deleted partial
// download, renames that never replace a file, the drive level). Every
// model runs under QAbstractItemModelTester.
#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QtTest>

#include <filesystem>
#include <fstream>

#include "client/session/session_store.h"
#include "client/shell/icons.h"
#include "client/shell/pc_file_ops.h"
#include "client/shell/pc_panes.h"
#include "tests/shell/pane_test_context.h"

using namespace tarn;
using namespace tarn::shell;

namespace {

void Write(const QString& path, qint64 bytes, const QDateTime& when) {
  {
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << std::string(static_cast<size_t>(bytes), 'x');
  }
  QFile f(path);
  QVERIFY(f.open(QIODevice::ReadWrite));
  QVERIFY(f.setFileTime(when, QFileDevice::FileModificationTime));
}

QDateTime At(int year) { return QDateTime(QDate(year, 3, 4), QTime(5, 6)); }

}  // namespace

class PcPanesTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void treeHasHomeFirstThenComputerWithFoldersOnly();
  void listSortsByTheRulesOfEachColumn();
  void listCellsInThePersonsLocale();
  void deleteAsksAndIgnoresASelectionWithAFolder();
  void deleteFailureIsShownAndTheRowDeselected();
  void deletedPartialDownloadClearsItsResumeState();
  void renameNeverReplacesAFile();
  void openAndUp();
  void driveLevelShowsTheFileSystems();
  void contextMenuStates();

 private:
  QString Home() const { return tmp_->filePath("home"); }
  QString Names();   // the list's rows in order
  void WaitForList(int rows);
  void Select(std::initializer_list<const char*> names);

  std::unique_ptr<QTemporaryDir> tmp_;
  std::unique_ptr<testing::PaneTestContext> t_;
  std::unique_ptr<IconStore> icons_;
  std::unique_ptr<PcPanes> panes_;
  std::unique_ptr<QAbstractItemModelTester> treeTester_, listTester_, driveTester_;
};

void PcPanesTest::init() {
  tmp_ = std::make_unique<QTemporaryDir>();
  QDir d(tmp_->path());
  QVERIFY(d.mkpath("home/sub/deep"));
  QVERIFY(d.mkpath("home/.hiddendir"));
  QVERIFY(d.mkpath("vol/data"));
  Write(Home() + "/a.txt", 10, At(2000));
  Write(Home() + "/b.bin", 5000, At(2001));
  Write(Home() + "/c2.txt", 10, At(2002));
  Write(Home() + "/c10.txt", 300, At(2002));
  Write(Home() + "/.hidden", 1, At(2003));
  t_ = std::make_unique<testing::PaneTestContext>();
  icons_ = std::make_unique<IconStore>();
  panes_ = std::make_unique<PcPanes>(*t_->ctx, t_->dialogs, *icons_, nullptr, Home(),
                                     QStringList{tmp_->filePath("vol")});
  using Mode = QAbstractItemModelTester::FailureReportingMode;
  treeTester_ = std::make_unique<QAbstractItemModelTester>(&panes_->treeModel(), Mode::QtTest);
  listTester_ = std::make_unique<QAbstractItemModelTester>(&panes_->listModel(), Mode::QtTest);
  driveTester_ = std::make_unique<QAbstractItemModelTester>(&panes_->driveModel(), Mode::QtTest);
  WaitForList(5);
}

void PcPanesTest::cleanup() {
  driveTester_.reset();
  listTester_.reset();
  treeTester_.reset();
  QWidget* tree = panes_->treeView();
  QWidget* list = panes_->listView();
  panes_.reset();
  delete tree;
  delete list;
  icons_.reset();
  t_.reset();
  tmp_.reset();
}

QString PcPanesTest::Names() {
  QStringList names;
  QAbstractItemModel* m = panes_->listView()->model();
  const QModelIndex root = panes_->listView()->rootIndex();
  for (int r = 0; r < m->rowCount(root); ++r) names << m->index(r, 0, root).data().toString();
  return names.join(u' ');
}

void PcPanesTest::WaitForList(int rows) {
  QAbstractItemModel* m = panes_->listView()->model();
  QTRY_COMPARE(m->rowCount(panes_->listView()->rootIndex()), rows);
}

void PcPanesTest::Select(std::initializer_list<const char*> names) {
  QTreeView* list = panes_->listView();
  list->selectionModel()->clearSelection();
  const QModelIndex root = list->rootIndex();
  for (const char* n : names) {
    bool found = false;
    for (int r = 0; r < list->model()->rowCount(root); ++r) {
      const QModelIndex i = list->model()->index(r, 0, root);
      if (i.data().toString() != QLatin1String(n)) continue;
      list->selectionModel()->select(i, QItemSelectionModel::Select | QItemSelectionModel::Rows);
      found = true;
    }
    QVERIFY2(found, n);
  }
}

void PcPanesTest::treeHasHomeFirstThenComputerWithFoldersOnly() {
  PcTreeModel& m = panes_->treeModel();
  QCOMPARE(m.rowCount(), 2);
  QCOMPARE(m.HomeIndex().data().toString(), QStringLiteral("Home"));
  QCOMPARE(m.ComputerIndex().data().toString(), QStringLiteral("Computer"));
  QCOMPARE(m.KindOf(m.ComputerIndex()), PcTreeModel::NodeKind::kComputer);
  QCOMPARE(m.FilePath(m.HomeIndex()), Home());
  QCOMPARE(m.rowCount(m.ComputerIndex()), 1);
  const QModelIndex vol = m.index(0, 0, m.ComputerIndex());
  QCOMPARE(m.KindOf(vol), PcTreeModel::NodeKind::kVolume);
  QCOMPARE(m.parent(vol), m.ComputerIndex());
  // Folders only, and no hidden ones.
  if (m.canFetchMore(m.HomeIndex())) m.fetchMore(m.HomeIndex());
  QTRY_COMPARE(m.rowCount(m.HomeIndex()), 1);
  QCOMPARE(m.index(0, 0, m.HomeIndex()).data().toString(), QStringLiteral("sub"));
  // A deep path opens under the home folder, a volume's under the volume.
  const QModelIndex deep = m.IndexForPath(Home() + "/sub/deep");
  QCOMPARE(m.FilePath(deep), Home() + "/sub/deep");
  QCOMPARE(m.KindOf(deep), PcTreeModel::NodeKind::kFolder);
  QCOMPARE(m.parent(m.parent(deep)), m.HomeIndex());
  const QModelIndex data = m.IndexForPath(tmp_->filePath("vol/data"));
  QCOMPARE(m.parent(data), vol);
  QVERIFY(!m.IndexForPath("/nowhere/at/all").isValid() || tmp_->path().startsWith("/nowhere"));
  // A folder made outside the program appears; hidden ones by the setting.
  QVERIFY(QDir(Home()).mkdir("zeta"));
  QTRY_COMPARE(m.rowCount(m.HomeIndex()), 2);
  m.SetShowHidden(true);
  QTRY_COMPARE(m.rowCount(m.HomeIndex()), 3);
  m.Refresh();
  QCOMPARE(m.rowCount(), 2);
}

void PcPanesTest::listSortsByTheRulesOfEachColumn() {
  PcListModel& m = panes_->listModel();
  // Name: folders first, numbers in the order a person reads them.
  QCOMPARE(Names(), QStringLiteral("sub a.txt b.bin c2.txt c10.txt"));
  QHeaderView* header = panes_->listView()->header();
  emit header->sectionClicked(0);
  QCOMPARE(Names(), QStringLiteral("c10.txt c2.txt b.bin a.txt sub"));
  // Size, first click (direction -1): the smaller first, equal sizes by
  // name; then the larger first, equal sizes the later name first.
  emit header->sectionClicked(1);
  QCOMPARE(Names(), QStringLiteral("sub a.txt c2.txt c10.txt b.bin"));
  emit header->sectionClicked(1);
  QCOMPARE(Names(), QStringLiteral("b.bin c10.txt c2.txt a.txt sub"));
  // Modified at -1: folders first, then the newest first, equal times by
  // name.
  emit header->sectionClicked(3);
  QCOMPARE(Names(), QStringLiteral("sub c2.txt c10.txt b.bin a.txt"));
  emit header->sectionClicked(3);
  QCOMPARE(Names(), QStringLiteral("a.txt b.bin c10.txt c2.txt sub"));
  // Type at -1: files before folders.
  emit header->sectionClicked(2);
  QVERIFY(Names().endsWith(QStringLiteral(" sub")));
  QCOMPARE(m.SortState().column, 2);
  // A file made outside the program takes its place in the order (names
  // A to Z again: the column is at -1 since the first click).
  emit header->sectionClicked(0);
  Write(Home() + "/aa.txt", 1, At(2004));
  WaitForList(6);
  QCOMPARE(Names(), QStringLiteral("sub a.txt aa.txt b.bin c2.txt c10.txt"));
}

void PcPanesTest::listCellsInThePersonsLocale() {
  QAbstractItemModel* m = panes_->listView()->model();
  const QModelIndex root = panes_->listView()->rootIndex();
  QStringList headers;
  for (int c = 0; c < m->columnCount(root); ++c) headers << m->headerData(c, Qt::Horizontal).toString();
  QCOMPARE(headers.join(u'|'), QStringLiteral("Name|Size|Type|Modified"));
  auto cells = [&](int row) {
    QStringList c;
    for (int col = 0; col < 4; ++col) {
      if (col == 2) continue;  // type names are the desktop's
      c << m->index(row, col, root).data().toString();
    }
    return c.join(u'|');
  };
  QCOMPARE(cells(0), QStringLiteral("sub||") + m->index(0, 3, root).data().toString());
  QCOMPARE(cells(1), QStringLiteral("a.txt|1KB|03/04/2000 05:06"));
  QCOMPARE(cells(2), QStringLiteral("b.bin|5KB|03/04/2001 05:06"));
  // Types by the name alone; an unknown extension as host files show it.
  QVERIFY(!m->index(1, 2, root).data().toString().isEmpty());
  QCOMPARE(m->index(2, 2, root).data().toString(), QStringLiteral("Bin File"));
  QCOMPARE(m->index(1, 1, root).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
           Qt::AlignRight);
  // Hidden files by the setting.
  panes_->SetShowHidden(true);
  WaitForList(7);
}

void PcPanesTest::deleteAsksAndIgnoresASelectionWithAFolder() {
  Select({"sub", "a.txt"});
  QTest::keyClick(panes_->listView(), Qt::Key_Delete);
  QVERIFY(t_->dialogs.boxes.empty());
  QVERIFY(QFile::exists(Home() + "/a.txt"));
  Select({"a.txt", "b.bin"});
  t_->dialogs.boxAnswers = {BoxResult::kCancel};
  panes_->DeleteSelected();
  QCOMPARE(t_->dialogs.boxes.size(), size_t{1});
  QCOMPARE(t_->dialogs.boxes[0].text, std::string("Confirm delete of selected files?"));
  QVERIFY(t_->dialogs.boxes[0].buttons == BoxButtons::kOkCancel);
  QVERIFY(t_->dialogs.boxes[0].icon == BoxIcon::kQuestion);
  QVERIFY(QFile::exists(Home() + "/a.txt"));
  t_->dialogs.boxAnswers = {BoxResult::kOk};
  panes_->DeleteSelected();
  QVERIFY(!QFile::exists(Home() + "/a.txt"));
  QVERIFY(!QFile::exists(Home() + "/b.bin"));
  WaitForList(3);
  Select({"c2.txt"});
  t_->dialogs.boxAnswers = {BoxResult::kOk};
  panes_->DeleteSelected();
  QCOMPARE(t_->dialogs.boxes.back().text, std::string("Confirm delete of selected file?"));
}

void PcPanesTest::deleteFailureIsShownAndTheRowDeselected() {
  Select({"a.txt", "c2.txt"});
  // Gone before the person confirmed (another program took it).
  QVERIFY(QFile::remove(Home() + "/c2.txt"));
  t_->dialogs.boxAnswers = {BoxResult::kOk};
  panes_->DeleteSelected();
  QCOMPARE(t_->dialogs.boxes.size(), size_t{2});
  QCOMPARE(t_->dialogs.boxes[1].text,
           PcDeleteFailedText((Home() + "/c2.txt").toStdString(), "No such file or directory"));
  QVERIFY(t_->dialogs.boxes[1].icon == BoxIcon::kInformation);
  QVERIFY(!QFile::exists(Home() + "/a.txt"));
  QVERIFY(!panes_->SelectedPaths().contains(Home() + "/c2.txt"));
}

void PcPanesTest::deletedPartialDownloadClearsItsResumeState() {
  auto save = [&](const std::string& session, const QString& file) {
    ResumeState s;
    std::snprintf(s.cResumeFileName, sizeof s.cResumeFileName, "%s", file.toStdString().c_str());
    std::snprintf(s.cResIsDownLoadDone, sizeof s.cResIsDownLoadDone, "FALSE");
    std::snprintf(s.cResumeSourcePath, sizeof s.cResumeSourcePath, "/pub/big.iso");
    HostRecord rec;
    t_->store->CreateSession(session, "127.0.0.1", {}, &rec);
    t_->store->SaveResumeState(session, s);
  };
  auto load = [&](const std::string& session) {
    ResumeState s;
    t_->store->LoadResumeState(session, &s, &t_->app);
    return s;
  };
  save("Work", Home() + "/c10.txt");
  save("Other", Home() + "/c10.txt");
  panes_->SetSessionNameProvider([] { return std::string("Work"); });
  // Another file: the state stays.
  Select({"b.bin"});
  t_->dialogs.boxAnswers = {BoxResult::kOk};
  panes_->DeleteSelected();
  QCOMPARE(std::string(load("Work").cResIsDownLoadDone), std::string("FALSE"));
  // The partial file itself: the download counts as done, the path goes.
  t_->app.bLastDownloadDone = 0;
  Select({"c10.txt"});
  t_->dialogs.boxAnswers = {BoxResult::kOk};
  panes_->DeleteSelected();
  const ResumeState after = load("Work");
  QCOMPARE(std::string(after.cResIsDownLoadDone), std::string("TRUE"));
  QCOMPARE(std::string(after.cResumeFileName), std::string());
  QCOMPARE(t_->app.bLastDownloadDone.load(), 1);
  // Only the session in use.
  QCOMPARE(std::string(load("Other").cResIsDownLoadDone), std::string("FALSE"));
}

void PcPanesTest::renameNeverReplacesAFile() {
  PcListModel& m = panes_->listModel();
  auto row = [&](const char* name) {
    // The root's index is asked anew: a rename reorders the proxy's rows.
    const QModelIndex root = panes_->listView()->rootIndex();
    for (int r = 0; r < m.rowCount(root); ++r)
      if (m.index(r, 0, root).data().toString() == QLatin1String(name)) return m.index(r, 0, root);
    return QModelIndex();
  };
  // Onto an existing name: refused, both files whole.
  m.setData(row("a.txt"), "b.bin", Qt::EditRole);
  QCOMPARE(t_->dialogs.boxes.size(), size_t{1});
  QVERIFY(QString::fromStdString(t_->dialogs.boxes[0].text).contains("File exists"));
  QCOMPARE(QFileInfo(Home() + "/b.bin").size(), qint64{5000});
  QCOMPARE(QFileInfo(Home() + "/a.txt").size(), qint64{10});
  // A name with a slash would move the file elsewhere: refused.
  m.setData(row("a.txt"), "../a.txt", Qt::EditRole);
  QCOMPARE(t_->dialogs.boxes.size(), size_t{2});
  QVERIFY(QFile::exists(Home() + "/a.txt"));
  // A free name: renamed, and the list follows.
  m.setData(row("a.txt"), "renamed.txt", Qt::EditRole);
  QCOMPARE(t_->dialogs.boxes.size(), size_t{2});
  QVERIFY(QFile::exists(Home() + "/renamed.txt"));
  QTRY_VERIFY(row("renamed.txt").isValid());
  // F2 opens the editor for one selected item only.
  Select({"b.bin", "c2.txt"});
  panes_->RenameCurrent();
  QVERIFY(panes_->listView()->indexWidget(row("b.bin")) == nullptr);
}

void PcPanesTest::openAndUp() {
  QSignalSpy changed(panes_.get(), &PcPanes::folderChanged);
  Select({"sub"});
  panes_->listView()->setCurrentIndex(panes_->listView()->selectionModel()->selectedRows().front());
  QTest::keyClick(panes_->listView(), Qt::Key_Return);
  QCOMPARE(panes_->CurrentFolder(), Home() + "/sub");
  QCOMPARE(panes_->treeModel().FilePath(panes_->treeView()->currentIndex()), Home() + "/sub");
  WaitForList(1);
  QCOMPARE(Names(), QStringLiteral("deep"));
  QTest::keyClick(panes_->listView(), Qt::Key_Backspace);
  QCOMPARE(panes_->CurrentFolder(), Home());
  QVERIFY(changed.count() >= 2);
  // A volume goes up to "Computer", the drive level.
  QVERIFY(panes_->OpenFolder(tmp_->filePath("vol")));
  panes_->GoUp();
  QVERIFY(panes_->AtDriveLevel());
  QCOMPARE(panes_->CurrentFolder(), QString());
}

void PcPanesTest::driveLevelShowsTheFileSystems() {
  panes_->ShowDriveLevel();
  QVERIFY(panes_->AtDriveLevel());
  QAbstractItemModel* m = panes_->listView()->model();
  QStringList headers;
  for (int c = 0; c < m->columnCount(); ++c) headers << m->headerData(c, Qt::Horizontal).toString();
  QCOMPARE(headers.join(u'|'), QStringLiteral("Name|Type|Total Size|Free Space"));
  QVERIFY(m->rowCount() >= 1);
  for (int r = 0; r < m->rowCount(); ++r) {
    const QString total = m->index(r, 2).data().toString();
    QVERIFY2(total.endsWith("GB") || total.endsWith("MB") || total.endsWith("KB"), qPrintable(total));
    QVERIFY(!m->index(r, 1).data().toString().isEmpty());
  }
  // Nothing to delete or rename at the drive level.
  panes_->listView()->selectionModel()->select(m->index(0, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
  panes_->DeleteSelected();
  panes_->RenameCurrent();
  QVERIFY(t_->dialogs.boxes.empty());
  // A drive opens as its folder.
  panes_->OpenIndex(m->index(0, 0));
  QVERIFY(!panes_->AtDriveLevel());
  QCOMPARE(panes_->CurrentFolder(), QDir::cleanPath(panes_->driveModel().PathAt(0)));
}

void PcPanesTest::contextMenuStates() {
  auto enabled = [&](const char* text) {
    std::unique_ptr<QMenu> menu(panes_->CreateListMenu());
    for (QAction* a : menu->actions())
      if (a->text() == QString::fromUtf8(text)) return a->isEnabled();
    return false;
  };
  Select({"a.txt"});
  QVERIFY(enabled(kPcOpenText) && enabled(kPcRenameText) && enabled(kPcDeleteText));
  Select({"a.txt", "sub"});
  QVERIFY(!enabled(kPcOpenText) && !enabled(kPcRenameText) && !enabled(kPcDeleteText));
  QVERIFY(enabled(kPcNewFolderText) && enabled(kPcRefreshText));
  t_->dialogs.folderNames = {"made here"};
  panes_->CreateFolder();
  QVERIFY(QFileInfo(Home() + "/made here").isDir());
  panes_->ShowDriveLevel();
  QVERIFY(!enabled(kPcNewFolderText) && enabled(kPcRefreshText));
}

QTEST_MAIN(PcPanesTest)
#include "pc_panes_test.moc"
