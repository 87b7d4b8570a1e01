// The client's window against the host personalities and a silent server:
// the host tree's branches, the tool bar and menu in each connection
// state, connect and disconnect with the zoom paths, Quick Connect, Cancel
// of a connect that waits for a server that never answers, and the split
// rules of the panes.
#include <QAbstractItemModelTester>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <thread>

#include "client/session/password.h"
#include "client/shell/client_root.h"
#include "client/shell/command_states.h"
#include "client/shell/host_list_model.h"
#include "client/shell/host_list_pane.h"
#include "client/shell/pane_area.h"
#include "client/shell/pc_panes.h"
#include "client/shell/settings_sheet.h"
#include "client/shell/splash.h"
#include "tests/shell/recording_dialogs.h"
#include "client/shell/window_transfers.h"
#include "client/session/session_store.h"
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include "client/shell/zoom_paths.h"
#include "tests/client/session/scripted_mount_table.h"
#include "tests/support/host_personality.h"

using namespace tarn;
using namespace tarn::shell;

namespace {

// Answers the window's questions from a queue; records every box.
class Answers : public tarn::testing::RecordingDialogs {
 public:
  bool CustomCommand(std::string* command) override {
    *command = "STAT";
    return true;
  }
  std::string results;
  void CommandResults(const std::string& text) override { results = text; }
  // The Settings sheet is not opened; what it was asked for is kept.
  struct SettingsCall {
    SettingsMode mode;
    std::string name;
    bool prefilled = false;
    HostRecord prefill;
  };
  std::vector<SettingsCall> settings;
  bool Settings(ShellContext&, SettingsMode mode, const std::string& name,
                const std::vector<std::string>&, const HostRecord* prefill) override {
    settings.push_back({mode, name, prefill != nullptr, prefill ? *prefill : HostRecord()});
    return false;
  }
};

// A port that takes connections but never says a word: the kernel accepts
// them into the backlog, nobody reads or writes.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 8);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~SilentServer() { close(fd_); }
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

bool Shown(QAction* a) { return a->isVisible(); }

// The menu item with this text (mnemonics included), or null.
QAction* MenuItem(MainWindow& w, const QString& text) {
  for (QAction* top : w.menuBar()->actions())
    if (top->menu())
      for (QAction* a : top->menu()->actions())
        if (a->text() == text) return a;
  return nullptr;
}

// Menu items stay in the menu whatever the tool bar hides; only their
// enabled state follows the connection.
void CheckMenuItems(MainWindow& w, bool connected) {
  struct Item {
    const char* text;
    bool enabledConnected;
    bool enabledDisconnected;
  };
  const Item items[] = {
      {"&Connect", false, true},        {"Disco&nnect", true, false},
      {"Send &Custom Command...", true, false}, {"Refresh &Host View", true, false},
      {"&Refresh PC View", true, true}, {"&Settings...", true, true},
      {"&Download", false, false},      {"&Upload", false, false},
      {"&MVS Options...", true, false},  {"Change File &Permissions...", false, false},
  };
  for (const Item& i : items) {
    QAction* a = MenuItem(w, i.text);
    QVERIFY2(a && a->isVisible(), i.text);
    QVERIFY2(a->isEnabled() == (connected ? i.enabledConnected : i.enabledDisconnected), i.text);
  }
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void hostTreeBranchesAndPlaceholder();
  void disconnectedCommands();
  void connectBrowseAndDisconnect();
  void failedConnectKeepsSavedZoomPaths();
  void quickConnectOffersToSave();
  void engineDecidesChangePermissions();
  void initialPcDirectoryFromUncPath();
  void cancelEndsConnectToSilentServer();
  void panesKeepTheSplitRules();
  void placementIsSavedAndRestored();
  void keysReachTheZoomPathBox();
  void anyKeyClosesTheSplash();

 private:
  void MakeSession(const std::string& name, uint16_t port);
  QTemporaryDir* dir_ = nullptr;
  ClientRoot* root_ = nullptr;
  Answers* answers_ = nullptr;
};

void MainWindowTest::init() {
  dir_ = new QTemporaryDir;
  root_ = new ClientRoot;
  answers_ = new Answers;
  ClientOptions o;
  o.configDir = dir_->filePath("config").toStdString();
  o.logDir = "";
  o.pinnedLocale = true;
  std::string error;
  QVERIFY2(root_->Init(o, &error), error.c_str());
  root_->SetDialogs(answers_);
}

void MainWindowTest::cleanup() {
  // The window's end: the connection is ended on the worker first.
  if (root_ && !root_->window().shutDown()) {
    root_->window().Shutdown(2000);
    QTRY_VERIFY_WITH_TIMEOUT(root_->window().shutDown(), 10000);
  }
  delete root_;
  root_ = nullptr;
  delete answers_;
  delete dir_;
}

void MainWindowTest::MakeSession(const std::string& name, uint16_t port) {
  HostRecord rec;
  root_->store().CreateSession(name, "127.0.0.1", {}, &rec);
  SetField(rec.cFTPPort, std::to_string(port));
  SetField(rec.cUserFlag, "S");
  SetField(rec.cUserName, "USER1");
  SetField(rec.cPasswordFlag, "S");
  PasswordScrambler scrambler(1);
  SetField(rec.cPassword, scrambler.Scramble("secret"));
  root_->store().SaveSession(rec);
}

void MainWindowTest::hostTreeBranchesAndPlaceholder() {
  HostSession& s = root_->window().session();
  HostTreeModel& m = s.treeModel();
  QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
  QCOMPARE(m.rowCount(), 2);
  QCOMPARE(m.index(0, 0).data().toString(), QString(kQuickConnectText));
  QCOMPARE(m.index(1, 0).data().toString(), QString(kFtpHostsText));
  QModelIndex hosts = m.FtpHostsIndex();
  QCOMPARE(m.rowCount(hosts), 1);
  QCOMPARE(m.index(0, 0, hosts).data().toString(), QString(kNoSessionsText));
  QVERIFY(!(m.flags(m.index(0, 0, hosts)) & Qt::ItemIsSelectable));

  MakeSession("zeta", 21);
  MakeSession("Alpha", 21);
  MakeSession("beta", 21);
  s.ShowSessions();
  QCOMPARE(m.rowCount(hosts), 3);
  QStringList shown;
  for (int r = 0; r < 3; ++r) shown << m.index(r, 0, hosts).data().toString();
  QCOMPARE(shown, (QStringList{"Alpha", "beta", "zeta"}));
  QCOMPARE(HostTreeModel::KindOf(m.index(1, 0, hosts)), HostTreeModel::ItemKind::kSession);

  // Deleting the sessions (the store asks; Yes) brings the placeholder back.
  for (const char* name : {"Alpha", "beta", "zeta"}) {
    answers_->answers.push_back(BoxResult::kYes);
    s.DeleteSession(name);
  }
  QCOMPARE(m.rowCount(hosts), 1);
  QCOMPARE(HostTreeModel::KindOf(m.index(0, 0, hosts)), HostTreeModel::ItemKind::kPlaceholder);
}

void MainWindowTest::disconnectedCommands() {
  MainWindow& w = root_->window();
  QVERIFY(Shown(w.action(kCmdConnect)) && w.action(kCmdConnect)->isEnabled());
  QVERIFY(!Shown(w.action(kCmdDisconnect)));
  for (int id : {kCmdCancel, kCmdZoomPath, kCmdUpOneLevel, kCmdRefreshHost, kCmdCustomCommand})
    QVERIFY2(!w.action(id)->isEnabled(), ToolTipOf(id));
  QVERIFY(w.action(kCmdRefreshPc)->isEnabled());
  QVERIFY(w.action(kCmdModeAuto)->isChecked());
  CheckMenuItems(w, false);
  QVERIFY(!Shown(w.transfers()->action(kCmdDownload)));
  QTRY_COMPARE(w.statusText(0), QString(kNotConnectedText));
  QCOMPARE(w.zoomBox()->currentText(), QString(kDefaultHostPath));
}

void MainWindowTest::connectBrowseAndDisconnect() {
  testing::PersonalityOptions options;
  options.personality = testing::Personality::kMvs;
  testing::HostPersonality host(options);
  QVERIFY(host.Start());
  MakeSession("Test MVS", host.Port());
  root_->store().SaveZoomPaths("Test MVS", {"USER1.CNTL"});
  MainWindow& w = root_->window();
  HostSession& s = w.session();
  s.ShowSessions();

  QVERIFY(s.Connect("Test MVS"));
  QCOMPARE(s.conn(), WindowConn::kConnecting);
  QVERIFY(w.action(kCmdCancel)->isEnabled());
  // Connecting: the button stays pressed; the menu item is only greyed.
  QVERIFY(w.action(kCmdConnect)->isChecked());
  QVERIFY(!MenuItem(w, "&Connect")->isEnabled() && !MenuItem(w, "&Connect")->isChecked());
  QTRY_VERIFY_WITH_TIMEOUT(s.conn() == WindowConn::kConnected && !s.listingRunning(), 15000);
  QVERIFY2(answers_->captions.empty(), answers_->captions.empty() ? "" : answers_->captions[0].c_str());

  // Connected: tool bar and menu.
  QVERIFY(!Shown(w.action(kCmdConnect)));
  QVERIFY(Shown(w.action(kCmdDisconnect)) && w.action(kCmdDisconnect)->isEnabled());
  QVERIFY(!w.action(kCmdCancel)->isEnabled());
  for (int id : {kCmdZoomPath, kCmdRefreshHost, kCmdCustomCommand})
    QVERIFY2(w.action(id)->isEnabled(), ToolTipOf(id));
  QTRY_COMPARE_WITH_TIMEOUT(w.statusText(0), QString("Connected to FTP host Test MVS"), 5000);
  // Nothing selected: no transfer yet; an MVS host takes no SITE CHMOD.
  CheckMenuItems(w, true);

  // The tree: the session's node over the listed level; rows on show.
  HostTreeModel& m = s.treeModel();
  QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
  QVERIFY(m.connectedMode());
  QCOMPARE(m.rowCount(), 1);
  QCOMPARE(m.index(0, 0).data().toString(), QString("Test MVS"));
  QVERIFY(m.rowCount(m.index(0, 0)) >= 1);
  QVERIFY(w.hostListModel()->rowCount() > 0);
  const std::string firstDir = s.viewFacts().currentDir;
  QVERIFY(!firstDir.empty());

  // The zoom-path box: the directory on show, the default item, the saved path.
  std::vector<ZoomItem> items = s.zoomPaths().items();
  QCOMPARE(items.size(), size_t{3});
  QCOMPARE(items[0].path, firstDir);
  QVERIFY(!items[2].history);
  QCOMPARE(items[2].path, std::string("USER1.CNTL"));

  // Going to the saved path lists it and leaves only saved items behind.
  s.GoToPath("USER1.CNTL");
  QTRY_VERIFY_WITH_TIMEOUT(!s.listingRunning(), 15000);
  QCOMPARE(s.viewFacts().currentDir, std::string("USER1.CNTL"));
  QCOMPARE(s.zoomPaths().SavedPaths(), std::vector<std::string>{"USER1.CNTL"});
  for (const ZoomItem& i : s.zoomPaths().items()) QVERIFY(!i.history || i.path == "USER1.CNTL");

  // An empty path is refused with its box.
  s.GoToPath("  ");
  QVERIFY(answers_->Asked(kZoomPathNotSpecifiedCaption));

  // Up One Level goes back to the level above.
  s.UpOneLevel();
  QTRY_VERIFY_WITH_TIMEOUT(!s.listingRunning(), 15000);
  QCOMPARE(s.viewFacts().currentDir, std::string("USER1"));

  // Opening a directory row of the host list lists it through its tree node.
  int row = -1;
  for (int r = 0; r < w.hostListModel()->rowCount(); ++r)
    if (w.hostListModel()->Row(r).path == "USER1.CLIST") row = r;
  QVERIFY(row >= 0);
  w.hostPane()->OpenRow(row);
  QTRY_VERIFY_WITH_TIMEOUT(!s.listingRunning(), 15000);
  QCOMPARE(s.viewFacts().currentDir, std::string("USER1.CLIST"));
  QCOMPARE(m.tree().Record(s.selectedNode()).path, std::string("USER1.CLIST"));
  QCOMPARE(HostTreeModel::NodeOf(w.hostTree()->currentIndex()), s.selectedNode());
  s.UpOneLevel();
  QTRY_VERIFY_WITH_TIMEOUT(!s.listingRunning(), 15000);

  // A custom command's reply reaches its box.
  s.SendCustomCommand();
  QTRY_VERIFY_WITH_TIMEOUT(!answers_->results.empty(), 15000);

  s.Disconnect();
  QTRY_COMPARE_WITH_TIMEOUT(s.conn(), WindowConn::kDisconnected, 10000);
  QVERIFY(Shown(w.action(kCmdConnect)) && !Shown(w.action(kCmdDisconnect)));
  QVERIFY(!w.action(kCmdRefreshHost)->isEnabled());
  CheckMenuItems(w, false);
  QTRY_COMPARE(w.statusText(0), QString(kNotConnectedText));
  QVERIFY(!m.connectedMode());
  QCOMPARE(w.hostListModel()->rowCount(), 0);
  QCOMPARE(root_->store().LoadZoomPaths("Test MVS"), std::vector<std::string>{"USER1.CNTL"});
  QVERIFY(root_->worker().WaitIdle(10000));
  QCOMPARE(QString::fromStdString(host.Commands().back()).toUpper(), QString("QUIT"));
}

void MainWindowTest::failedConnectKeepsSavedZoomPaths() {
  // Port 1 of loopback: nothing listens, the connect is refused.
  MakeSession("Gone", 1);
  root_->store().SaveZoomPaths("Gone", {"/kept"});
  HostSession& s = root_->window().session();
  QVERIFY(s.Connect("Gone"));
  QTRY_COMPARE_WITH_TIMEOUT(s.conn(), WindowConn::kDisconnected, 15000);
  QVERIFY(answers_->Asked("Error connecting to host"));
  // The box never held this session's paths: the stored ones stay.
  QCOMPARE(root_->store().LoadZoomPaths("Gone"), std::vector<std::string>{"/kept"});
}

void MainWindowTest::quickConnectOffersToSave() {
  testing::PersonalityOptions options;
  options.personality = testing::Personality::kVm;
  testing::HostPersonality host(options);
  QVERIFY(host.Start());
  HostSession& s = root_->window().session();
  QuickConnectInput in;
  in.address = "127.0.0.1";
  in.port = std::to_string(host.Port());
  in.userName = "USER1";
  in.password = "pw";
  QVERIFY(s.QuickConnect(in));
  QTRY_VERIFY_WITH_TIMEOUT(s.conn() == WindowConn::kConnected && !s.listingRunning(), 15000);
  QVERIFY(s.quickConnection());
  answers_->answers.push_back(BoxResult::kYes);
  s.Disconnect();
  QTRY_COMPARE_WITH_TIMEOUT(s.conn(), WindowConn::kDisconnected, 10000);
  QVERIFY(answers_->Asked(kQuickConnectCaption));

  // Yes opens the new-session settings proposing the host name, with the
  // values the connection used; nothing is stored before the sheet's OK.
  QTRY_COMPARE(answers_->settings.size(), size_t{1});
  const Answers::SettingsCall& call = answers_->settings.front();
  QCOMPARE(call.mode, SettingsMode::kNewSession);
  QCOMPARE(call.name, std::string("127.0.0.1"));
  QVERIFY(call.prefilled);
  QCOMPARE(std::string(call.prefill.cFTPPort), in.port);
  QCOMPARE(std::string(call.prefill.cUserFlag), std::string("S"));
  QCOMPARE(std::string(call.prefill.cUserName), std::string("USER1"));
  QVERIFY(!root_->store().SessionExists("127.0.0.1"));

  // At the program's end the same values are stored without a sheet,
  // less the password.
  QCOMPARE(s.SaveQuickConnection(), std::string("127.0.0.1"));
  HostRecord rec;
  QVERIFY(root_->store().LoadSession("127.0.0.1", &rec, &root_->app()));
  QCOMPARE(std::string(rec.cFTPPort), in.port);
  QCOMPARE(std::string(rec.cUserName), std::string("USER1"));
  QCOMPARE(std::string(rec.cPasswordFlag), std::string("P"));
  QVERIFY(s.treeModel().IndexOfSession("127.0.0.1").isValid());
}

void MainWindowTest::engineDecidesChangePermissions() {
  testing::PersonalityOptions options;
  options.personality = testing::Personality::kMvs;
  testing::HostPersonality host(options);
  QVERIFY(host.Start());
  MakeSession("Test MVS", host.Port());
  MainWindow& w = root_->window();
  HostSession& s = w.session();
  QAction* perms = w.transfers()->action(kCmdPermissions);
  QVERIFY(perms);
  // One action serves the Transfer menu.
  bool inMenu = false;
  for (QAction* top : w.menuBar()->actions())
    if (top->menu() && top->menu()->actions().contains(perms)) inMenu = true;
  QVERIFY(inMenu);
  QVERIFY(!perms->isEnabled());

  QVERIFY(s.Connect("Test MVS"));
  QTRY_VERIFY_WITH_TIMEOUT(s.conn() == WindowConn::kConnected && !s.listingRunning(), 15000);
  // An MVS host: the log-on said no.
  QVERIFY(!w.EngineAllows(kCmdPermissions));
  QVERIFY(!perms->isEnabled());

  // A worker's word (UNIX paths typed on the MVS host) reaches the action,
  // queued onto the GUI thread, and is taken back the same way.
  std::thread([&] { root_->ui().EnableCommand(UiCommand::kChangePermissions, true); }).join();
  QTRY_VERIFY(perms->isEnabled());
  std::thread([&] { root_->ui().EnableCommand(UiCommand::kChangePermissions, false); }).join();
  QTRY_VERIFY(!perms->isEnabled());

  // Allowed, it still waits for a running listing; and it ends with the
  // connection.
  w.OnEnableCommand(UiCommand::kChangePermissions, true);
  QVERIFY(perms->isEnabled());
  s.RefreshHost();
  QVERIFY(s.listingRunning());
  QVERIFY(!perms->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(!s.listingRunning(), 15000);
  QVERIFY(perms->isEnabled());
  s.Disconnect();
  QTRY_COMPARE_WITH_TIMEOUT(s.conn(), WindowConn::kDisconnected, 10000);
  QVERIFY(!perms->isEnabled());
  QVERIFY(!w.EngineAllows(kCmdPermissions));
}

void MainWindowTest::initialPcDirectoryFromUncPath() {
  MainWindow& w = root_->window();
  const QString share = dir_->filePath("share");
  QVERIFY(QDir().mkpath(share + "/docs/2024"));
  auto mounts = std::make_unique<testing::ScriptedMountTable>();
  mounts->Add("fs1", {"public"}, share.toStdString());
  w.SetMountTable(std::move(mounts));
  struct Case {
    std::string localDir;
    QString folder;  // opened in the PC panes; empty: a box instead
  };
  const Case cases[] = {
      {(share + "/docs").toStdString(), share + "/docs"},
      {R"(\\fs1\public\docs)", share + "/docs"},
      {R"(\\FS1\Public\DOCS\2024)", share + "/docs/2024"},
      {R"(\\fs1\public)", share},
      {R"(\\nas\public)", {}},        // no such server mounted
      {R"(\\fs1\public\gone)", {}},   // the server is, the folder is not
      {R"(\\fs1)", {}},               // no share: not a UNC path it knows
      {"/no/such/folder", {}},          // a plain folder gone since it was saved
  };
  for (const Case& c : cases) {
    w.pcPanes()->OpenFolder(QDir::homePath());
    answers_->captions.clear();
    w.OnShowLocalDirectory(c.localDir);
    if (c.folder.isEmpty()) {
      QVERIFY2(answers_->Asked(kPcDirectoryErrorTitle), c.localDir.c_str());
      QCOMPARE(w.pcPanes()->CurrentFolder(), QDir::homePath());
    } else {
      QVERIFY2(answers_->captions.empty(), c.localDir.c_str());
      QCOMPARE(w.pcPanes()->CurrentFolder(), c.folder);
    }
  }
}

void MainWindowTest::cancelEndsConnectToSilentServer() {
  SilentServer silent;
  MainWindow& w = root_->window();
  HostSession& s = w.session();
  QuickConnectInput in;
  in.address = "127.0.0.1";
  in.port = std::to_string(silent.port());
  QVERIFY(s.QuickConnect(in));
  // The connect op is on the worker, waiting for a banner that never comes.
  QTRY_VERIFY_WITH_TIMEOUT(!root_->worker().Idle(), 5000);
  QTest::qWait(50);
  QVERIFY(w.action(kCmdCancel)->isEnabled());
  QVERIFY(!root_->worker().Idle());

  w.action(kCmdCancel)->trigger();
  // At once: disconnected, the Connect button back.
  QCOMPARE(s.conn(), WindowConn::kDisconnected);
  QVERIFY(Shown(w.action(kCmdConnect)) && w.action(kCmdConnect)->isEnabled());
  QTRY_COMPARE(w.statusText(0), QString(kNotConnectedText));
  // The worker is through long before the server's 65 seconds.
  QVERIFY(root_->worker().WaitIdle(10000));
  QCoreApplication::processEvents();
  // A cancelled connect neither reports its failure nor asks to save it.
  QVERIFY(!answers_->Asked("Error connecting to host"));
  QVERIFY(!answers_->Asked(kQuickConnectCaption));
  QCOMPARE(s.conn(), WindowConn::kDisconnected);
}

void MainWindowTest::panesKeepTheSplitRules() {
  auto* area = new PaneArea(new QWidget, new QWidget, new QWidget, new QWidget);
  area->resize(1000, 600);
  area->show();
  QVERIFY(QTest::qWaitForWindowExposed(area));
  area->SetVerticalSplit(300);
  area->SetHorizontalSplit(120);
  area->resize(900, 500);
  QTRY_COMPARE(area->width(), 900);
  QCoreApplication::processEvents();
  QVERIFY(std::abs(area->horizontalSplit() - area->height() / 2) <= area->halves()->handleWidth());
  QCOMPARE(area->verticalSplit(), 300);
  QCOMPARE(area->hostRow()->sizes()[0], 300);
  QCOMPARE(area->pcRow()->sizes()[0], 300);
  // Shrunk past the split: the split moves inward, 50 pixels from the edge.
  area->resize(320, 500);
  QTRY_COMPARE(area->width(), 320);
  QCoreApplication::processEvents();
  QCOMPARE(area->verticalSplit(), 270);
  area->SetVerticalSplit(5);
  QCOMPARE(area->verticalSplit(), 50);
  delete area;
}

void MainWindowTest::placementIsSavedAndRestored() {
  MainWindow& w = root_->window();
  w.ShowWithSavedPlacement();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  w.setGeometry(50, 60, 600, 400);
  QTRY_COMPARE(w.geometry(), QRect(50, 60, 600, 400));
  w.Shutdown(2000);
  QTRY_VERIFY_WITH_TIMEOUT(w.shutDown(), 10000);
  WindowPlacement p;
  QVERIFY(root_->store().LoadWindowPlacement(&p));
  QCOMPARE(p.state, WindowPlacement::State::kNormal);
  QVERIFY(p.hasRect);
  QCOMPARE(QRect(p.left, p.top, p.width, p.height), QRect(50, 60, 600, 400));

  // The next start opens where the last one ended.
  ClientRoot second;
  ClientOptions o;
  o.configDir = dir_->filePath("config").toStdString();
  o.logDir = "";
  o.pinnedLocale = true;
  std::string error;
  QVERIFY(second.Init(o, &error));
  second.SetDialogs(answers_);
  second.window().ShowWithSavedPlacement();
  QVERIFY(QTest::qWaitForWindowExposed(&second.window()));
  QTRY_COMPARE(second.window().geometry(), QRect(50, 60, 600, 400));
  second.window().Shutdown(2000);
  QTRY_VERIFY_WITH_TIMEOUT(second.window().shutDown(), 10000);
}

void MainWindowTest::keysReachTheZoomPathBox() {
  MainWindow& w = root_->window();
  w.ShowWithSavedPlacement();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  w.activateWindow();
  w.hostTree()->setFocus();
  QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
  QTRY_VERIFY(w.zoomBox()->hasFocus() || w.zoomBox()->lineEdit()->hasFocus());
  QTest::keyClicks(w.zoomBox()->lineEdit(), "/typed");
  // Ctrl+L selected the text: typing replaces it.
  QCOMPARE(w.zoomBox()->currentText(), QString("/typed"));
  // Escape gives back the box's choice.
  QTest::keyClick(w.zoomBox()->lineEdit(), Qt::Key_Escape);
  QCOMPARE(w.zoomBox()->currentText(), QString(kDefaultHostPath));

  // Tab goes round the four panes: host tree, host list, PC tree, PC list.
  w.hostTree()->setFocus();
  QTRY_VERIFY(w.hostTree()->hasFocus());
  QWidget* order[] = {w.hostList(), w.pcPanes()->treeView(), w.pcPanes()->listView()};
  for (QWidget* next : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTRY_COMPARE(QApplication::focusWidget(), next);
  }
}

void MainWindowTest::anyKeyClosesTheSplash() {
  MainWindow& w = root_->window();
  w.ShowWithSavedPlacement();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  w.zoomBox()->lineEdit()->setFocus();
  w.zoomBox()->setEditText("");
  Splash splash;
  splash.Start();
  QVERIFY(splash.isVisible());
  // The key meant for the picture does not reach the window's box.
  QTest::keyClick(w.zoomBox()->lineEdit(), Qt::Key_A);
  QVERIFY(!splash.isVisible());
  QCOMPARE(w.zoomBox()->currentText(), QString());
  QTest::keyClick(w.zoomBox()->lineEdit(), Qt::Key_B);
  QCOMPARE(w.zoomBox()->currentText(), QString("b"));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
