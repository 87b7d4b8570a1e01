// The PC list's order without Qt models: names with numbers in them, the
// rules of each column at either direction, and the header's direction
// per column.
#include <QtTest>

#include <string_view>

#include "client/shell/pc_sort_rules.h"

using namespace tarn::shell;

namespace {

// Text runs by bytes, ASCII letters folded: enough to show the number rule.
int Folded(std::string_view a, std::string_view b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const int x = std::tolower(static_cast<unsigned char>(a[i]));
    const int y = std::tolower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

int Natural(std::string_view a, std::string_view b) { return CompareNatural(a, b, Folded); }

}  // namespace

class PcSortRulesTest : public QObject {
  Q_OBJECT

 private slots:
  void namesWithNumbers_data();
  void namesWithNumbers();
  void columnRules_data();
  void columnRules();
  void headerClicksFlipEachColumnsOwnDirection();
};

void PcSortRulesTest::namesWithNumbers_data() {
  QTest::addColumn<QString>("a");
  QTest::addColumn<QString>("b");
  QTest::addColumn<int>("order");
  QTest::newRow("by value, not by digit") << "file2" << "file10" << -1;
  QTest::newRow("longer numbers") << "v9.txt" << "v123.txt" << -1;
  QTest::newRow("leading zeros rank as the value") << "a007" << "a8" << -1;
  QTest::newRow("then fewer zeros first") << "a2" << "a02" << -1;
  QTest::newRow("case does not decide first") << "Apple" << "banana" << -1;
  QTest::newRow("but two names are never equal") << "readme" << "README" << 1;
  QTest::newRow("a number before a letter") << "1st" << "first" << -1;
  QTest::newRow("a prefix first") << "file" << "file1" << -1;
  QTest::newRow("the same") << "x1y2" << "x1y2" << 0;
  QTest::newRow("huge numbers do not overflow") << "n99999999999999999999999" << "n100000000000000000000000" << -1;
}

void PcSortRulesTest::namesWithNumbers() {
  QFETCH(QString, a);
  QFETCH(QString, b);
  QFETCH(int, order);
  const std::string x = a.toStdString(), y = b.toStdString();
  QCOMPARE(Natural(x, y), order);
  QCOMPARE(Natural(y, x), -order);
}

void PcSortRulesTest::columnRules_data() {
  QTest::addColumn<int>("column");
  QTest::addColumn<bool>("aFolder");
  QTest::addColumn<qulonglong>("aSize");
  QTest::addColumn<qlonglong>("aTime");
  QTest::addColumn<bool>("bFolder");
  QTest::addColumn<qulonglong>("bSize");
  QTest::addColumn<qlonglong>("bTime");
  QTest::addColumn<int>("names");  // a's name against b's
  QTest::addColumn<int>("types");
  QTest::addColumn<int>("order");
  QTest::newRow("name: folders first") << 0 << true << 0ull << 0ll << false << 1ull << 0ll << 1 << 0 << -1;
  QTest::newRow("name: then the name") << 0 << false << 9ull << 0ll << false << 1ull << 0ll << -1 << 0 << -1;
  QTest::newRow("size: the larger first") << 1 << false << 9ull << 0ll << false << 1ull << 0ll << -1 << 0 << -1;
  QTest::newRow("size: equal, the later name first") << 1 << false << 5ull << 0ll << false << 5ull << 0ll << -1 << 0 << 1;
  QTest::newRow("type: folders first") << 2 << false << 0ull << 0ll << true << 0ull << 0ll << -1 << -1 << 1;
  QTest::newRow("type: then the type") << 2 << false << 0ull << 0ll << false << 0ull << 0ll << 1 << -1 << -1;
  QTest::newRow("type: then the name") << 2 << false << 0ull << 0ll << false << 0ull << 0ll << 1 << 0 << 1;
  QTest::newRow("modified: folders after files") << 3 << true << 0ull << 1ll << false << 0ull << 9ll << -1 << 0 << 1;
  QTest::newRow("modified: the older first") << 3 << false << 0ull << 1ll << false << 0ull << 9ll << 1 << 0 << -1;
  QTest::newRow("modified: equal, the later name first") << 3 << false << 0ull << 5ll << false << 0ull << 5ll << 1 << 0 << -1;
  QTest::newRow("any other column keeps the order") << 4 << true << 0ull << 0ll << false << 9ull << 9ll << 1 << 1 << 0;
}

void PcSortRulesTest::columnRules() {
  QFETCH(int, column);
  QFETCH(bool, aFolder);
  QFETCH(qulonglong, aSize);
  QFETCH(qlonglong, aTime);
  QFETCH(bool, bFolder);
  QFETCH(qulonglong, bSize);
  QFETCH(qlonglong, bTime);
  QFETCH(int, names);
  QFETCH(int, types);
  QFETCH(int, order);
  const PcSortKey a{aSize, aTime, aFolder}, b{bSize, bTime, bFolder};
  QCOMPARE(ComparePcItems(a, b, column, [&] { return names; }, [&] { return types; }), order);
  // The other way round, the other answer.
  QCOMPARE(ComparePcItems(b, a, column, [&] { return -names; }, [&] { return -types; }), -order);
}

void PcSortRulesTest::headerClicksFlipEachColumnsOwnDirection() {
  PcSortState s;
  QCOMPARE(s.Direction(), 1);
  QVERIFY(s.Click(1));
  QCOMPARE(s.column, 1);
  QCOMPARE(s.Direction(), -1);
  QVERIFY(s.Click(3));
  QCOMPARE(s.Direction(), -1);
  QVERIFY(s.Click(1));
  QCOMPARE(s.Direction(), 1);  // column 1 kept its own direction
  QVERIFY(!s.Click(4));
  QVERIFY(!s.Click(-1));
  QCOMPARE(s.column, 1);
}

QTEST_GUILESS_MAIN(PcSortRulesTest)
#include "pc_sort_rules_test.moc"
