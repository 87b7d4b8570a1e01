// The split rules of the main window's panes.
#include <QtTest>

#include "client/shell/layout_rules.h"

using namespace tarn::shell;

class LayoutRulesTest : public QObject {
  Q_OBJECT
 private slots:
  void verticalSplitKeepsFiftyFromEachSide_data();
  void verticalSplitKeepsFiftyFromEachSide();
  void horizontalSplitRules_data();
  void horizontalSplitRules();
};

void LayoutRulesTest::verticalSplitKeepsFiftyFromEachSide_data() {
  QTest::addColumn<int>("pos");
  QTest::addColumn<int>("width");
  QTest::addColumn<int>("expected");
  QTest::newRow("inside stays") << 300 << 1000 << 300;
  QTest::newRow("left edge") << 10 << 1000 << 50;
  QTest::newRow("exactly fifty") << 50 << 1000 << 50;
  QTest::newRow("right edge") << 990 << 1000 << 950;
  QTest::newRow("window shrunk past the split") << 700 << 400 << 350;
  QTest::newRow("negative") << -5 << 1000 << 50;
  QTest::newRow("too narrow for both margins") << 30 << 80 << 40;
  QTest::newRow("no width") << 100 << 0 << 0;
}

void LayoutRulesTest::verticalSplitKeepsFiftyFromEachSide() {
  QFETCH(int, pos);
  QFETCH(int, width);
  QFETCH(int, expected);
  QCOMPARE(ClampVerticalSplit(pos, width), expected);
}

void LayoutRulesTest::horizontalSplitRules_data() {
  QTest::addColumn<int>("pos");
  QTest::addColumn<int>("height");
  QTest::addColumn<int>("drag");
  QTest::addColumn<int>("release");
  QTest::newRow("middle") << 300 << 600 << 300 << 300;
  QTest::newRow("above eighty stops at eighty") << 20 << 600 << 80 << 80;
  QTest::newRow("near the bottom: forty while dragging, fifty once released")
      << 590 << 600 << 560 << 550;
  QTest::newRow("between the two bottom limits") << 555 << 600 << 555 << 550;
  QTest::newRow("area too small") << 50 << 100 << 50 << 50;
}

void LayoutRulesTest::horizontalSplitRules() {
  QFETCH(int, pos);
  QFETCH(int, height);
  QFETCH(int, drag);
  QFETCH(int, release);
  QCOMPARE(ClampHorizontalSplitDrag(pos, height), drag);
  QCOMPARE(HorizontalSplitOnRelease(pos, height), release);
  // Whatever the split was, a resize puts it back in the middle.
  QCOMPARE(HorizontalSplitAfterResize(height), height / 2);
}

QTEST_MAIN(LayoutRulesTest)
#include "layout_rules_test.moc"
