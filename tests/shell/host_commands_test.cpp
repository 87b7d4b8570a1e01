// The host view's option commands through their windows against the
// scripted server: the permissions dialog's digits and the "*" target, the
// MVS options with the processing window, and a browsed file with no
// program shown in the viewer.
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

#include "client/shell/browse_viewer.h"
#include "client/shell/host_commands.h"
#include "client/shell/host_option_dialogs.h"
#include "tests/shell/transfer_test_context.h"

using namespace tarn;
using namespace tarn::shell;
using tarn::testing::FakeFtpServer;

namespace {

class FixedPrompts : public HostOptionPrompts {
 public:
  listing::MvsOptions mvs;
  std::string mode = "644";
  bool Mvs(QWidget*, listing::MvsOptions* o) override { *o = mvs; return true; }
  bool Vm(QWidget*, std::string* command) override { *command = "SITE VAR"; return true; }
  bool Permissions(QWidget*, std::string* m) override { *m = mode; return true; }
};

// The desktop has no program for anything.
class NoPrograms : public FileOpener {
 public:
  void Open(const QString&, std::function<void()> noProgram) override { noProgram(); }
};

}  // namespace

class HostCommandsTest : public QObject {
  Q_OBJECT
 private slots:
  void permissionsDialogDigits();
  void mvsDialogRecord();
  void chmodOfEveryRowIsOneStarCommand();
  void chmodFailureAndNoSelection();
  void mvsOptionsGoOutBehindTheProcessingWindow();
  void browsedFileWithoutProgramOpensTheViewer();
};

void HostCommandsTest::permissionsDialogDigits() {
  PermissionsDialog d(nullptr);
  d.Box(0, 0)->setChecked(true);
  d.Box(0, 1)->setChecked(true);
  d.Box(1, 0)->setChecked(true);
  d.Box(2, 0)->setChecked(true);
  QCOMPARE(d.Mode(), std::string("644"));
  d.Box(0, 3)->setChecked(true);  // "&All" checks its group
  QVERIFY(d.Box(0, 2)->isChecked());
  QCOMPARE(d.Mode(), std::string("744"));
  d.Box(0, 3)->setChecked(false);
  QVERIFY(!d.Box(0, 0)->isChecked());
  QCOMPARE(d.Mode(), std::string("044"));
}

void HostCommandsTest::mvsDialogRecord() {
  MvsOptionsDialog d(nullptr);
  auto* other = d.findChild<QLineEdit*>("OtherText");
  QVERIFY(!other->isEnabled());
  d.findChild<QRadioButton*>("Other")->setChecked(true);
  QVERIFY(other->isEnabled());
  other->setText("0");
  d.findChild<QRadioButton*>("Blocks")->setChecked(true);
  d.findChild<QLineEdit*>("Prime")->setText("10");
  QCOMPARE(listing::MvsOptionCommands(d.Record()),
           (std::vector<std::string>{"SITE BL", "SITE PRI=10", "SITE REC=0"}));
}

void HostCommandsTest::chmodOfEveryRowIsOneStarCommand() {
  tarn::testing::TransferTestContext t;
  FakeFtpServer srv;
  srv.On("SITE CHMOD 644 *", "200 SITE CHMOD command ok.\r\n");
  QVERIFY(t.ConnectTo(srv));
  HostCommands cmds(*t.ctx, t.dialogs, nullptr);
  FixedPrompts prompts;
  cmds.SetPrompts(&prompts);
  QSignalSpy done(&cmds, &HostCommands::commandDone);
  cmds.ChangePermissions({{"a.txt", true}, {"b.txt", true}});
  QVERIFY(done.wait(5000));
  QCOMPARE(done.first().first().toInt(), int(kReplyComplete));
  QVERIFY(srv.Finish());
  QVERIFY(t.dialogs.texts.empty());
}

void HostCommandsTest::chmodFailureAndNoSelection() {
  tarn::testing::TransferTestContext t;
  FakeFtpServer srv;
  srv.On("SITE CHMOD 600 b.txt", "550 Permission denied.\r\n");
  QVERIFY(t.ConnectTo(srv));
  HostCommands cmds(*t.ctx, t.dialogs, nullptr);
  FixedPrompts prompts;
  prompts.mode = "600";
  cmds.SetPrompts(&prompts);
  cmds.ChangePermissions({{"a.txt", false}});
  QCOMPARE(t.dialogs.texts.back(), std::string(listing::kNoItemSelectedText));
  QCOMPARE(t.dialogs.captions.back(), std::string("Tarn"));
  QSignalSpy done(&cmds, &HostCommands::commandDone);
  cmds.ChangePermissions({{"a.txt", false}, {"b.txt", true}});
  QVERIFY(done.wait(5000));
  QVERIFY(srv.Finish());
  QCOMPARE(t.dialogs.texts.back(), std::string(listing::kPermissionsFailedText));
}

void HostCommandsTest::mvsOptionsGoOutBehindTheProcessingWindow() {
  tarn::testing::TransferTestContext t;
  FakeFtpServer srv;
  srv.On("SITE BL", "200 ok\r\n").On("SITE PRI=10", "200 ok\r\n");
  QVERIFY(t.ConnectTo(srv));
  QWidget owner;
  HostCommands cmds(*t.ctx, t.dialogs, &owner);
  FixedPrompts prompts;
  prompts.mvs.spaceSet = prompts.mvs.blocks = 1;
  prompts.mvs.prime = "10";
  cmds.SetPrompts(&prompts);
  QSignalSpy done(&cmds, &HostCommands::commandDone);
  cmds.MvsOptions();
  QVERIFY(cmds.activeWindow() != nullptr);
  QCOMPARE(cmds.activeWindow()->windowTitle(), QString(kProcessingMvsTitle));
  QVERIFY(done.wait(5000));
  QVERIFY(cmds.activeWindow() == nullptr);
  QVERIFY(srv.Finish());
}

void HostCommandsTest::browsedFileWithoutProgramOpensTheViewer() {
  tarn::testing::TransferTestContext t;
  FakeFtpServer srv;
  srv.On("TYPE A", "200 ok\r\n").Pasv().On("RETR /pub/notes.txt", "150 go\r\n")
      .DataOpen().DataSend("line one\nline two\n").DataClose().Send("226 done\r\n");
  QVERIFY(t.ConnectTo(srv));
  QWidget owner;
  owner.resize(700, 500);
  HostCommands cmds(*t.ctx, t.dialogs, &owner);
  NoPrograms opener;
  cmds.SetOpener(&opener);
  QSignalSpy viewers(&cmds, &HostCommands::viewerOpened);
  QSignalSpy done(&cmds, &HostCommands::commandDone);
  cmds.Browse({{"/pub/notes.txt", "notes.txt"}}, TransferMode::kAutoDetect);
  QCOMPARE(cmds.activeWindow()->windowTitle(), QString(kBrowseTitle));
  QVERIFY(done.wait(5000));
  QVERIFY(viewers.count() == 1 || viewers.wait(5000));
  auto* viewer = qobject_cast<BrowseViewer*>(viewers.first().first().value<QWidget*>());
  QVERIFY(viewer != nullptr);
  QCOMPARE(viewer->windowTitle(), QString("/pub/notes.txt - Tarn Browse"));
  QCOMPARE(viewer->Text(), QString("line one\nline two\n"));
  QCOMPARE(viewer->size(), QSize(640, 440));
  QVERIFY(srv.Finish());
  const QString folder = QString::fromStdString(cmds.browseFolder().Path());
  QVERIFY(QFileInfo(folder).isDir());
  cmds.browseFolder().Remove();
  QVERIFY(!QFileInfo::exists(folder));
}

QTEST_MAIN(HostCommandsTest)
#include "host_commands_test.moc"
