// The window's rules without widgets: the zoom-path box's items, the
// commands' states, the Quick Connect check, the initial directory of a
// connection, the display check and the placement on screen.
#include <QtTest>

#include <map>
#include <set>

#include "client/session/host_record.h"
#include "client/shell/command_states.h"
#include "client/shell/dialogs.h"
#include "client/shell/display_check.h"
#include "client/engine/ftp_conn.h"
#include "client/shell/host_ops.h"
#include "client/shell/layout_rules.h"
#include "client/shell/zoom_paths.h"

using namespace tarn;
using namespace tarn::shell;

namespace {

std::vector<std::string> Paths(const ZoomPathList& z) {
  std::vector<std::string> out;
  for (const auto& i : z.items()) out.push_back((i.history ? "h:" : "s:") + i.path);
  return out;
}

// The environment NoDisplayReason reads, per case.
std::map<std::string, std::string>* gEnv = nullptr;
const char* FakeEnv(const char* name) {
  auto it = gEnv->find(name);
  return it == gEnv->end() ? nullptr : it->second.c_str();
}

}  // namespace

class ShellRulesTest : public QObject {
  Q_OBJECT
 private slots:
  void zoomFillOnLogon();
  void zoomGoToDropsHistoryKeepsSaved();
  void zoomDeleteOnlySavedTop();
  void zoomHistoryIsBounded();
  void commandStates();
  void quickConnectCheck_data();
  void quickConnectCheck();
  void initialDirectory_data();
  void initialDirectory();
  void uniqueSessionName();
  void noDisplayReason();
  void placementStaysOnScreen();
  void dialogTextLineBreaks();
  void snapshotLeavesTheWorkerAFreshListing();
  void newFolderPath();
};

void ShellRulesTest::zoomFillOnLogon() {
  ZoomPathList z;
  z.FillOnLogon({"/pub", "/home/jo"}, "");
  QCOMPARE(Paths(z), (std::vector<std::string>{"h:Default Host Path", "s:/pub", "s:/home/jo"}));
  // The initial directory goes to the top: new as history, known moved up.
  z.FillOnLogon({"/pub", "/home/jo"}, "/home/jo");
  QCOMPARE(Paths(z), (std::vector<std::string>{"s:/home/jo", "h:Default Host Path", "s:/pub"}));
  z.FillOnLogon({"/pub", "", "/pub"}, "/srv");
  QCOMPARE(Paths(z), (std::vector<std::string>{"h:/srv", "h:Default Host Path", "s:/pub"}));
}

void ShellRulesTest::zoomGoToDropsHistoryKeepsSaved() {
  ZoomPathList z;
  z.FillOnLogon({"/pub", "/etc"}, "");
  z.AddVisited("/home");
  z.AddVisited("/home/a");
  QVERIFY(!z.GoTo(""));
  QCOMPARE(z.items().size(), size_t{5});
  QVERIFY(z.GoTo("/tmp"));
  QCOMPARE(Paths(z), (std::vector<std::string>{"h:/tmp", "s:/pub", "s:/etc"}));
  // A saved path chosen again keeps being saved.
  QVERIFY(z.GoTo("/etc"));
  QCOMPARE(Paths(z), (std::vector<std::string>{"s:/etc", "s:/pub"}));
  QCOMPARE(z.SavedPaths(), (std::vector<std::string>{"/etc", "/pub"}));
}

void ShellRulesTest::zoomDeleteOnlySavedTop() {
  ZoomPathList z;
  z.FillOnLogon({"/pub"}, "");
  QVERIFY(!z.CanDeleteTop());  // "Default Host Path" is history
  QVERIFY(!z.DeleteTop());
  z.AddVisited("/pub");
  QVERIFY(z.CanDeleteTop());
  QVERIFY(z.DeleteTop());
  QCOMPARE(Paths(z), (std::vector<std::string>{"h:Default Host Path"}));
  QCOMPARE(ZoomPathList::ConfirmDeleteText("/pub"),
           std::string("This command will permanently delete Zoom Path '/pub'.\r\rDo you want to continue?"));
}

void ShellRulesTest::zoomHistoryIsBounded() {
  ZoomPathList z;
  z.FillOnLogon({"/saved"}, "");
  for (int i = 0; i < 200; ++i) z.AddVisited("/d" + std::to_string(i));
  size_t history = 0;
  for (const auto& i : z.items()) history += i.history ? 1 : 0;
  QCOMPARE(history, ZoomPathList::kHistoryLimit);
  QCOMPARE(z.items().front().path, std::string("/d199"));
  QCOMPARE(z.SavedPaths(), std::vector<std::string>{"/saved"});
}

void ShellRulesTest::commandStates() {
  struct Case {
    const char* name;
    WindowFacts facts;
    int command;
    bool enabled, visible;
  };
  const WindowFacts off{WindowConn::kDisconnected, false, false, false};
  const WindowFacts connecting{WindowConn::kConnecting, true, false, false};
  const WindowFacts idle{WindowConn::kConnected, false, true, false};
  const WindowFacts listing{WindowConn::kConnected, true, true, false};
  const WindowFacts top{WindowConn::kConnected, false, false, false};
  const Case cases[] = {
      {"off: connect shown", off, kCmdConnect, true, true},
      {"off: disconnect hidden", off, kCmdDisconnect, false, false},
      {"off: cancel greyed", off, kCmdCancel, false, true},
      {"off: zoom greyed", off, kCmdZoomPath, false, true},
      {"off: up greyed", off, kCmdUpOneLevel, false, true},
      {"off: refresh host greyed", off, kCmdRefreshHost, false, true},
      {"off: custom command greyed", off, kCmdCustomCommand, false, true},
      {"off: refresh pc", off, kCmdRefreshPc, true, true},
      {"off: modes", off, kCmdModeBinary, true, true},
      {"connecting: cancel", connecting, kCmdCancel, true, true},
      {"connecting: connect pressed, not enabled", connecting, kCmdConnect, false, true},
      {"connecting: no disconnect yet", connecting, kCmdDisconnect, false, false},
      {"connected: connect hidden", idle, kCmdConnect, false, false},
      {"connected: disconnect", idle, kCmdDisconnect, true, true},
      {"connected: cancel greyed while idle", idle, kCmdCancel, false, true},
      {"connected: zoom", idle, kCmdZoomPath, true, true},
      {"connected: up with a parent", idle, kCmdUpOneLevel, true, true},
      {"connected: no up at the top", top, kCmdUpOneLevel, false, true},
      {"connected: custom command", idle, kCmdCustomCommand, true, true},
      {"listing: cancel", listing, kCmdCancel, true, true},
      {"listing: no second listing", listing, kCmdRefreshHost, false, true},
      {"listing: disconnect still possible", listing, kCmdDisconnect, true, true},
      {"about always", listing, kCmdAbout, true, true},
  };
  for (const Case& c : cases) {
    CommandState s = StateOf(c.command, c.facts);
    QVERIFY2(s.enabled == c.enabled && s.visible == c.visible, c.name);
  }
  QCOMPARE(QString(ToolTipOf(kCmdDownload)), QString("Download"));
  QCOMPARE(QString(ToolTipOf(kCmdAppend)), QString("Append to Host File"));
}

void ShellRulesTest::quickConnectCheck_data() {
  QTest::addColumn<QString>("address");
  QTest::addColumn<QString>("port");
  QTest::addColumn<QString>("problem");
  QTest::newRow("empty") << "" << "21" << kQuickConnectAddressMissing;
  QTest::newRow("blanks only") << "   " << "21" << kQuickConnectAddressMissing;
  QTest::newRow("address") << "127.0.0.1" << "21" << "";
  QTest::newRow("name with directory") << "localhost/pub" << "" << "";
  QTest::newRow("port zero") << "localhost" << "0" << "The port must be a number from 1 to 65535";
  QTest::newRow("port too big") << "localhost" << "70000" << "The port must be a number from 1 to 65535";
  QTest::newRow("port not a number") << "localhost" << "2x" << "The port must be a number from 1 to 65535";
}

void ShellRulesTest::quickConnectCheck() {
  QFETCH(QString, address);
  QFETCH(QString, port);
  QFETCH(QString, problem);
  QuickConnectInput in;
  in.address = address.toStdString();
  in.port = port.toStdString();
  QCOMPARE(QString::fromStdString(CheckQuickConnect(in)), problem);
}

void ShellRulesTest::initialDirectory_data() {
  QTest::addColumn<QString>("host");
  QTest::addColumn<QString>("sessionDir");
  QTest::addColumn<QString>("zoomText");
  QTest::addColumn<QString>("wantHost");
  QTest::addColumn<QString>("wantDir");
  QTest::newRow("slash in host") << "ftp.example.org/pub/x" << "/old" << "/typed" << "ftp.example.org" << "/pub/x";
  QTest::newRow("backslash first") << "host\\dir/sub" << "" << "" << "host" << "\\dir/sub";
  QTest::newRow("typed path") << "host" << "/old" << "/typed" << "host" << "/typed";
  QTest::newRow("default text keeps the session's") << "host" << "/old" << kDefaultHostPath << "host" << "/old";
  QTest::newRow("empty box keeps the session's") << "host" << "/old" << "" << "host" << "/old";
}

void ShellRulesTest::initialDirectory() {
  QFETCH(QString, host);
  QFETCH(QString, sessionDir);
  QFETCH(QString, zoomText);
  QFETCH(QString, wantHost);
  QFETCH(QString, wantDir);
  HostRecord rec;
  SetField(rec.cHostName, host.toStdString());
  SetField(rec.cHostDir, sessionDir.toStdString());
  ApplyInitialDirectory(&rec, zoomText.toStdString());
  QCOMPARE(QString(rec.cHostName), wantHost);
  QCOMPARE(QString(rec.cHostDir), wantDir);
}

void ShellRulesTest::uniqueSessionName() {
  std::set<std::string> taken = {"host", "host (2)"};
  auto exists = [&](const std::string& n) { return taken.count(n) != 0; };
  QCOMPARE(UniqueSessionName("other", exists), std::string("other"));
  QCOMPARE(UniqueSessionName("host", exists), std::string("host (3)"));
}

void ShellRulesTest::noDisplayReason() {
  QTemporaryDir sockets;
  QFile x0(sockets.filePath("X0"));
  QVERIFY(x0.open(QIODevice::WriteOnly));
  x0.close();
  struct Case {
    std::map<std::string, std::string> env;
    bool ok;
    const char* name;
  };
  const Case cases[] = {
      {{}, false, "nothing set"},
      {{{"DISPLAY", ":0"}}, true, "local display with a socket"},
      {{{"DISPLAY", ":0.1"}}, true, "screen of a local display"},
      {{{"DISPLAY", ":7"}}, false, "local display without a server"},
      {{{"DISPLAY", ":x"}}, false, "not a display name"},
      {{{"DISPLAY", "remote:3"}}, true, "remote display left to Qt"},
      {{{"WAYLAND_DISPLAY", "wayland-0"}}, true, "wayland"},
      {{{"QT_QPA_PLATFORM", "offscreen"}}, true, "offscreen"},
      {{{"QT_QPA_PLATFORM", "xcb"}}, false, "xcb without DISPLAY"},
  };
  for (const Case& c : cases) {
    std::map<std::string, std::string> env = c.env;
    gEnv = &env;
    std::string why = NoDisplayReason(&FakeEnv, sockets.path().toStdString());
    QVERIFY2(why.empty() == c.ok, c.name);
  }
  gEnv = nullptr;
}

void ShellRulesTest::placementStaysOnScreen() {
  const ScreenRect screen{0, 0, 1280, 800};
  struct Case {
    ScreenRect in, out;
    const char* name;
  };
  const Case cases[] = {
      {{100, 100, 800, 600}, {100, 100, 800, 600}, "fits"},
      {{2000, 1500, 800, 600}, {480, 200, 800, 600}, "off a larger monitor"},
      {{-300, -50, 800, 600}, {0, 0, 800, 600}, "left and above"},
      {{10, 10, 3000, 2000}, {0, 0, 1280, 800}, "larger than the screen"},
  };
  for (const Case& c : cases) {
    ScreenRect r = PlaceOnScreen(c.in, screen);
    QVERIFY2(r.x == c.out.x && r.y == c.out.y && r.width == c.out.width && r.height == c.out.height,
             c.name);
  }
}

void ShellRulesTest::dialogTextLineBreaks() {
  QCOMPARE(DialogText("a\rb\r\nc\nd"), QString("a\nb\nc\nd"));
  QCOMPARE(DialogText("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
}

void ShellRulesTest::snapshotLeavesTheWorkerAFreshListing() {
  AppState app;
  FtpConn c;
  c.app = &app;
  listing::ListingContext ctx;
  StartConnectionTree(c, ctx, "Session");
  listing::TreeNode node;
  node.path = "/pub";
  listing::NodeId pub = ctx.tree.Insert(ctx.tree.RootNode(), listing::kInsertFirstChild, node, "pub",
                                        listing::kIconFolder);
  ctx.selected = pub;
  ctx.path.currentDir = "/pub";
  ctx.path.parentDir = "/";
  listing::RowInput row;
  row.path = "/pub/a.txt";
  row.name = "a.txt";
  row.typeText = "Text";
  ctx.listing.AppendRow(row);
  ctx.listing.viewCode = 3;

  c.bL8Emulated = 1;

  ListingSnapshot snap;
  TakeSnapshot(c, ctx, 0, true, &snap);
  QVERIFY(snap.facts.l8Emulated);  // the window reads it, never the worker's FtpConn
  QCOMPARE(snap.rows.size(), size_t{1});
  QCOMPARE(std::string(snap.rows.Name(snap.rows[0])), std::string("a.txt"));
  QCOMPARE(snap.selected, pub);
  QCOMPARE(snap.tree.Text(pub), std::string("pub"));
  QCOMPARE(snap.facts.currentDir, std::string("/pub"));
  QCOMPARE(snap.facts.parentDir, std::string("/"));
  QCOMPARE(snap.facts.viewCode, 3);
  // The worker fills its listing again: the moved-out one must not be
  // what it writes into.
  QCOMPARE(ctx.listing.size(), size_t{0});
  row.name = "b.txt";
  ctx.listing.AppendRow(row);
  QCOMPARE(std::string(ctx.listing.Name(ctx.listing[0])), std::string("b.txt"));
  // A tree-only snapshot leaves the rows where they are.
  ListingSnapshot treeOnly;
  TakeSnapshot(c, ctx, 1, false, &treeOnly);
  QVERIFY(!treeOnly.hasRows);
  QCOMPARE(ctx.listing.size(), size_t{1});
  QVERIFY(treeOnly.tree.IsConsistent());
}

void ShellRulesTest::newFolderPath() {
  struct Case {
    int32_t family;
    const char* root;
    const char* directory;
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {HOST_GENERIC, "/", "/pub", "new", "/pub/new"},
      {HOST_GENERIC, "/", "/", "new", "/new"},
      {HOST_GENERIC, "/", "/pub/", "new", "/pub/new"},
      // A UNIX host whose PWD named no slash still separates with one.
      {HOST_GENERIC, "", "pub", "new", "pub/new"},
      {HOST_GENERIC, "\\", "\\data", "x", "\\data\\x"},
      {HOST_VSE, ".", "PRD2", "LIB", "PRD2.LIB"},
      // MVS qualifiers join with "." and go out fully qualified in quotes.
      {HOST_MVS, "", "USER.DATA", "NEW", "'USER.DATA.NEW'"},
      {HOST_MVS, "", "USER", "NEW", "'USER.NEW'"},
      {HOST_MVS, "", "'USER.DATA'", "NEW", "'USER.DATA.NEW'"},
      {HOST_MVS, "", "USER.DATA", "'SYS2.OTHER'", "'SYS2.OTHER'"},
      {HOST_VM, "", "FS:USER.SUB", "NEW", "FS:USER.SUB.NEW"},
      {HOST_VM, "", "FS:USER.SUB.", "NEW", "FS:USER.SUB.NEW"},
  };
  for (const Case& c : cases) {
    listing::PathState s;
    s.hostFamily = c.family;
    s.rootString = c.root;
    QCOMPARE(QString::fromStdString(NewFolderPath(s, c.directory, c.name)), QString(c.expected));
  }
  // Removing one: the MVS name fully qualified in quotes, once.
  QCOMPARE(QString::fromStdString(RemoveFolderPath(HOST_MVS, "USER.DATA")), QString("'USER.DATA'"));
  QCOMPARE(QString::fromStdString(RemoveFolderPath(HOST_MVS, "'USER.DATA'")), QString("'USER.DATA'"));
  QCOMPARE(QString::fromStdString(RemoveFolderPath(HOST_VM, "FS:USER.SUB")), QString("FS:USER.SUB"));
  QCOMPARE(QString::fromStdString(RemoveFolderPath(HOST_GENERIC, "/pub/x")), QString("/pub/x"));
}

QTEST_MAIN(ShellRulesTest)
#include "shell_rules_test.moc"
