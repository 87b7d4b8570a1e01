// The host list's model over real parser output: the column set and cells
// of every host type and view, sorting by header clicks with selections
// that follow their rows, in-place rename requests, and the icons of every
// image role. Each model runs under QAbstractItemModelTester.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include "client/listing/listing_thread.h"
#include "client/listing/parse_dispatch.h"
#include "client/shell/host_list_model.h"
#include "client/shell/icons.h"

using namespace tarn;
using namespace tarn::shell;

namespace {

struct Listed {
  listing::HostListing rows;
  HostViewFacts facts;
};

// Parses `text` as the listing thread would for a directory of that host,
// and sorts it by name.
Listed Parse(int32_t family, int32_t serverType, int32_t kind, int32_t vseKind,
             const std::string& directory, const std::string& text) {
  listing::ListingContext ctx;
  ctx.path.hostFamily = family;
  ctx.path.serverType = serverType;
  // Swapped in rather than assigned: GCC 12 warns falsely (-Wrestrict) on
  // assigning a short literal here.
  std::string root(family == HOST_GENERIC ? "/" : family == HOST_VSE ? "." : "");
  ctx.path.rootString.swap(root);
  ctx.path.currentDir = directory;
  const listing::ParserChoice choice = listing::ChooseParser(family, kind, vseKind, directory);
  listing::ParseContext pc;
  pc.directory = directory;
  pc.now = listing::DateParts{2003, 6, 1, 12, 0, 0};
  listing::ParseListingText(choice, text, pc, &ctx, nullptr);
  if (choice.fullPathSort) ctx.sort.fullPaths = true;
  listing::SortRows(&ctx.listing, 0, 1, ctx.sort.fullPaths);
  Listed l;
  l.facts.hostFamily = family;
  l.facts.serverType = serverType;
  l.facts.vseKind = vseKind;
  l.facts.currentDir = directory;
  l.facts.rootString = ctx.path.rootString;
  l.facts.sort = ctx.sort;
  l.rows = std::move(ctx.listing);
  return l;
}

QString Headers(const QAbstractItemModel& m) {
  QStringList h;
  for (int c = 0; c < m.columnCount(); ++c) h << m.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  return h.join(u'|');
}

QString RowText(const QAbstractItemModel& m, int row) {
  QStringList cells;
  for (int c = 0; c < m.columnCount(); ++c) cells << m.index(row, c).data().toString();
  return cells.join(u'|');
}

int RowNamed(const QAbstractItemModel& m, const QString& name) {
  for (int r = 0; r < m.rowCount(); ++r)
    if (m.index(r, 0).data().toString() == name) return r;
  return -1;
}

const std::string kUnixListing =
    "drwxr-xr-x   2 user  group     4096 Dec 19 10:15 docs\r\n"
    "-rw-r--r--   1 user  group  1234567 Dec 19  2002 big.iso\r\n"
    "-rw-r--r--   1 user  group       10 Jan  2 09:30 b.txt\r\n"
    "-rw-r--r--   1 user  group     2048 Mar  3  2001 a.txt\r\n"
    "-rw-r--r--   1 user  group        0 Apr  4  2000 empty\r\n";

}  // namespace

class HostListModelTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void columnSetsAndCellsPerHost_data();
  void columnSetsAndCellsPerHost();
  void headerClicksSortFirstFourColumnsAndKeepTheSelection();
  void listingInTheOtherNameOrderIsSortedAgain();
  void renameIsAskedOnlyForAChangedNameWhileEditable();
  void everyImageRoleHasAnIcon();

 private:
  ::platform::Locale locale_ = ::platform::PinnedLocale();
  std::unique_ptr<IconStore> icons_;
  std::unique_ptr<HostListModel> model_;
  std::unique_ptr<QAbstractItemModelTester> tester_;
};

void HostListModelTest::init() {
  icons_ = std::make_unique<IconStore>();
  model_ = std::make_unique<HostListModel>(locale_, *icons_);
  tester_ = std::make_unique<QAbstractItemModelTester>(
      model_.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void HostListModelTest::cleanup() {
  tester_.reset();
  model_.reset();
  icons_.reset();
}

void HostListModelTest::columnSetsAndCellsPerHost_data() {
  QTest::addColumn<int>("family");
  QTest::addColumn<int>("serverType");
  QTest::addColumn<int>("kind");
  QTest::addColumn<int>("vseKind");
  QTest::addColumn<QString>("directory");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("headers");
  QTest::addColumn<QString>("name");      // the row to look at
  QTest::addColumn<QString>("cells");

  QTest::newRow("UNIX: permissions, sizes rounded up to KB")
      << int(HOST_GENERIC) << int(SERVER_UNIX) << 1 << 1 << "/pub" << QString::fromStdString(kUnixListing)
      << "Name|Size|Permissions|Modified" << "big.iso" << "big.iso|1,206KB|rw-r--r--|12/19/2002 00:00";
  QTest::newRow("UNIX: an empty file shows 0KB, a folder no size")
      << int(HOST_GENERIC) << int(SERVER_UNIX) << 1 << 1 << "/pub" << QString::fromStdString(kUnixListing)
      << "Name|Size|Permissions|Modified" << "docs" << "docs||rwxr-xr-x|12/19/2002 10:15";
  QTest::newRow("Windows: the type column")
      << int(HOST_GENERIC) << int(SERVER_MICROSOFT) << 1 << 1 << "/"
      << "12-19-02  10:15AM       <DIR>          docs\r\n12-19-02  10:15AM              1234 notes.zz9\r\n"
      << "Name|Size|Type|Modified" << "notes.zz9" << "notes.zz9|2KB|zz9 File|12/19/2002 10:15";
  QTest::newRow("MVS data sets: the seven data-set columns")
      << int(HOST_MVS) << int(SERVER_MVS) << 2 << 1 << "USER1"
      << "Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname\r\n"
         "WORK01 3390   2002/12/19  1   15  FB      80  6160  PS  DATA\r\n"
      << "Name|Size|Type|Modified|Volume|Unit|Ext|Used|Recfm|Lrecl|BlkSz" << "USER1.DATA"
      << "USER1.DATA|?KB|Sequential File|12/19/2002|WORK01|3390|1|15|FB|80|6160";
  QTest::newRow("MVS members: ID and VV.MM (the view code UNIX shares)")
      << int(HOST_MVS) << int(SERVER_MVS) << 4 << 1 << "USER1.CNTL"
      << " Name     VV.MM   Created       Changed      Size  Init   Mod   Id\r\n"
         "ALLOCJCL  01.03 2002/12/01 2002/12/19 10:15   120   100     5 USER1\r\n"
      << "Name|Size|Type|Modified|ID|VV.MM" << "ALLOCJCL" << "ALLOCJCL|10KB|PDS Member|12/19/2002 10:15|USER1|01.03";
  QTest::newRow("MVS load modules: the cells follow Type")
      << int(HOST_MVS) << int(SERVER_MVS) << 6 << 1 << "USER1.LOAD"
      << " Name      Size   TTR   Alias-of AC --------- Attributes --------- Amode Rmode\r\n"
         "IEFBR14   000A10 00000F          00 FO             RN RU            31    ANY\r\n"
      << "Name|Size|Type|TTR|Alias-of|AC|Attributes|Amode|Rmode" << "IEFBR14"
      << "IEFBR14|~3KB|Object/Load Module|00000F||00|FO             RN RU|31|ANY";
  QTest::newRow("VSE top directory")
      << int(HOST_VSE) << int(SERVER_VSE) << 1 << 12 << "\\" << "PRD2       <LIBRARY>\r\n"
      << "Name|Type" << "PRD2" << "PRD2|<LIBRARY>";
  QTest::newRow("VSE library (shares its view code with the sub-library)")
      << int(HOST_VSE) << int(SERVER_VSE) << 1 << 12 << "\\PRD2"
      << "CONFIG <SUB LIBRARY> 12 34 2002-12-19 10:15\r\n"
      << "Name|Type|Members|Blocks|Date|Time" << "CONFIG" << "CONFIG|<SUB LIBRARY>|12|34|2002-12-19|10:15";
  QTest::newRow("VSE sub-library")
      << int(HOST_VSE) << int(SERVER_VSE) << 1 << 13 << "\\PRD2.CONFIG"
      << "IPLPROC.PROC      120      3  2002-12-19  10:15  2002-12-20  11:00  F\r\n"
      << "Name|Records|Blocks|Date|Time|LUDate|LUTime|Type" << "IPLPROC.PROC"
      << "IPLPROC.PROC|120|3|2002-12-19|10:15|2002-12-20|11:00|F";
}

void HostListModelTest::columnSetsAndCellsPerHost() {
  QFETCH(int, family);
  QFETCH(int, serverType);
  QFETCH(int, kind);
  QFETCH(int, vseKind);
  QFETCH(QString, directory);
  QFETCH(QString, text);
  QFETCH(QString, headers);
  QFETCH(QString, name);
  QFETCH(QString, cells);
  Listed l = Parse(family, serverType, kind, vseKind, directory.toStdString(), text.toStdString());
  model_->SetListing(std::move(l.rows), l.facts);
  QCOMPARE(Headers(*model_), headers);
  const int row = RowNamed(*model_, name);
  QVERIFY2(row >= 0, qPrintable(name));
  QCOMPARE(RowText(*model_, row), cells);
  // Back to the disconnected list: no rows, the generic columns.
  model_->Clear();
  QCOMPARE(model_->rowCount(), 0);
  QCOMPARE(Headers(*model_), QStringLiteral("Name|Size|Permissions|Modified"));
}

void HostListModelTest::headerClicksSortFirstFourColumnsAndKeepTheSelection() {
  Listed l = Parse(HOST_GENERIC, SERVER_UNIX, 1, 1, "/pub", kUnixListing);
  model_->SetListing(std::move(l.rows), l.facts);
  QCOMPARE(model_->index(0, 0).data().toString(), QStringLiteral("docs"));  // folders first
  QItemSelectionModel selection(model_.get());
  const int b = RowNamed(*model_, "b.txt");
  selection.select(model_->index(b, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  selection.setCurrentIndex(model_->index(b, 2), QItemSelectionModel::NoUpdate);

  auto names = [&] {
    QStringList n;
    for (int r = 0; r < model_->rowCount(); ++r) n << model_->index(r, 0).data().toString();
    return n.join(u' ');
  };
  // Each first click reverses the column's direction (+1 at start). Size:
  // at -1 the smaller first (folders count 0), ties by name; then at +1
  // the larger first.
  QVERIFY(model_->SortByHeader(1));
  QCOMPARE(names(), QStringLiteral("docs empty b.txt a.txt big.iso"));
  QVERIFY(model_->SortByHeader(1));
  QCOMPARE(names(), QStringLiteral("big.iso a.txt b.txt docs empty"));
  // Modified at -1: folders first, then the newest first.
  QVERIFY(model_->SortByHeader(3));
  QCOMPARE(names(), QStringLiteral("docs b.txt big.iso a.txt empty"));
  // Type (permissions) at -1: files before folders.
  QVERIFY(model_->SortByHeader(2));
  QCOMPARE(model_->index(model_->rowCount() - 1, 0).data().toString(), QStringLiteral("docs"));
  // Name at -1: files Z to A before the folder.
  QVERIFY(model_->SortByHeader(0));
  QCOMPARE(names(), QStringLiteral("empty big.iso b.txt a.txt docs"));
  // The selection and the current cell went with b.txt through every sort.
  const QModelIndexList rows = selection.selectedRows(0);
  QCOMPARE(rows.size(), 1);
  QCOMPARE(rows.front().data().toString(), QStringLiteral("b.txt"));
  QCOMPARE(selection.currentIndex().row(), rows.front().row());
  QCOMPARE(selection.currentIndex().column(), 2);
  // Later columns and VSE columns other than the name do not sort.
  QVERIFY(!model_->SortByHeader(4));
  Listed vse = Parse(HOST_VSE, SERVER_VSE, 1, 12, "\\PRD2",
                     "GEN <SUB LIBRARY> 0 1 2002-12-19 10:15\r\nCONFIG <SUB LIBRARY> 12 34 2002-12-19 10:15\r\n");
  model_->SetListing(std::move(vse.rows), vse.facts);
  QVERIFY(!model_->SortByHeader(2));
  const QString first = model_->index(0, 0).data().toString();
  QVERIFY(model_->SortByHeader(0));
  QVERIFY(model_->index(0, 0).data().toString() != first);
}

void HostListModelTest::listingInTheOtherNameOrderIsSortedAgain() {
  // The person reversed the name order; a listing the worker sorted A to Z
  // arrives and must show Z to A.
  Listed first = Parse(HOST_GENERIC, SERVER_UNIX, 1, 1, "/pub", kUnixListing);
  model_->SetListing(std::move(first.rows), first.facts);
  QVERIFY(model_->SortByHeader(0));
  Listed next = Parse(HOST_GENERIC, SERVER_UNIX, 1, 1, "/pub", kUnixListing);
  QCOMPARE(next.facts.sort.direction[0], 1);
  model_->SetListing(std::move(next.rows), next.facts);
  QCOMPARE(model_->index(0, 0).data().toString(), QStringLiteral("empty"));
  QCOMPARE(model_->index(model_->rowCount() - 1, 0).data().toString(), QStringLiteral("docs"));
  // The longest name is found whatever the order.
  QCOMPARE(model_->index(model_->WidestRow(), 0).data().toString(), QStringLiteral("big.iso"));
  QVERIFY(model_->SortByHeader(1));
  QCOMPARE(model_->index(model_->WidestRow(), 0).data().toString(), QStringLiteral("big.iso"));
}

void HostListModelTest::renameIsAskedOnlyForAChangedNameWhileEditable() {
  Listed l = Parse(HOST_GENERIC, SERVER_UNIX, 1, 1, "/pub", kUnixListing);
  model_->SetListing(std::move(l.rows), l.facts);
  QSignalSpy asked(model_.get(), &HostListModel::RenameRequested);
  const QModelIndex a = model_->index(RowNamed(*model_, "a.txt"), 0);
  QVERIFY(!(model_->flags(a) & Qt::ItemIsEditable));
  QVERIFY(!model_->setData(a, "c.txt", Qt::EditRole));
  model_->SetEditable(true);
  QVERIFY(model_->flags(a) & Qt::ItemIsEditable);
  QVERIFY(!(model_->flags(a.siblingAtColumn(1)) & Qt::ItemIsEditable));
  model_->setData(a, "a.txt", Qt::EditRole);
  model_->setData(a, "", Qt::EditRole);
  model_->setData(a.siblingAtColumn(2), "x", Qt::EditRole);
  QCOMPARE(asked.count(), 0);
  // The row keeps its old name until the listing after the rename.
  QVERIFY(!model_->setData(a, "c.txt", Qt::EditRole));
  QCOMPARE(asked.count(), 1);
  QCOMPARE(asked.front().at(0).toInt(), a.row());
  QCOMPARE(asked.front().at(1).toString(), QStringLiteral("c.txt"));
  QCOMPARE(a.data().toString(), QStringLiteral("a.txt"));
}

void HostListModelTest::everyImageRoleHasAnIcon() {
  // The bundled pictures must be in the program and readable: a missing
  // resource or picture format leaves the mainframe rows without icons.
  for (uint32_t role = listing::kIconByName; role <= listing::kIconVsePlain; ++role) {
    for (bool generic : {false, true}) {
      const QIcon icon = icons_->ForRole(static_cast<listing::IconRole>(role), generic);
      QVERIFY2(!icon.pixmap(16, 16).isNull(), qPrintable(QString::number(role)));
    }
  }
  for (const char* name : {"home", "computer", "drive", "file", "folder"})
    QVERIFY2(!IconStore::Bundled(QString::fromLatin1(name)).pixmap(16, 16).isNull(), name);
  // Files by name: an icon whatever the theme, one per type.
  QVERIFY(!icons_->ForFileName("notes.txt").pixmap(16, 16).isNull());
  QVERIFY(!icons_->ForFileName("no-extension").pixmap(16, 16).isNull());
  QCOMPARE(icons_->ForFileName("a.txt").cacheKey(), icons_->ForFileName("b.TXT").cacheKey());
  // Rows of an MVS listing: data sets, members and folders all drawn.
  Listed l = Parse(HOST_MVS, SERVER_MVS, 2, 1, "USER1",
                   "Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname\r\n"
                   "WORK01 3390   2002/12/19  1   15  FB      80  6160  PO  CNTL\r\n"
                   "WORK01 3390   2002/12/19  1   15  FB      80  6160  PS  DATA\r\n"
                   "Migrated                                                OLD.DATA\r\n");
  model_->SetListing(std::move(l.rows), l.facts);
  QCOMPARE(model_->rowCount(), 3);
  for (int r = 0; r < model_->rowCount(); ++r)
    QVERIFY(!model_->index(r, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
  QVERIFY(model_->index(0, 1).data(Qt::DecorationRole).isNull());
}

QTEST_MAIN(HostListModelTest)
#include "host_list_model_test.moc"
