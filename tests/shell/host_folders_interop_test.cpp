// The host tree's folder commands against pyftpdlib (the test servers'
// instance, user "user"): Create New Folder, Clear Branch and Delete
// Folder, each checked on the server's disk and in the tree.
#include <QtTest>

#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>

#include "client/session/password.h"
#include "client/shell/client_root.h"

using namespace tarn;
using namespace tarn::shell;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

class FolderAnswers : public Dialogs {
 public:
  std::deque<BoxResult> boxAnswers;
  std::vector<std::string> captions;
  std::string folderName;
  BoxResult Box(const std::string&, const std::string& caption, BoxButtons, BoxIcon) override {
    captions.push_back(caption);
    if (boxAnswers.empty()) return BoxResult::kOk;
    BoxResult r = boxAnswers.front();
    boxAnswers.pop_front();
    return r;
  }
  bool Logon(LogonPrompt*) override { return false; }
  bool Text(const std::string&, const std::string&, bool, std::string*) override { return false; }
  bool QuickConnect(QuickConnectInput*) override { return false; }
  bool CustomCommand(std::string*) override { return false; }
  void CommandResults(const std::string&) override {}
  bool NewFolderName(std::string* name) override {
    *name = folderName;
    return true;
  }
};

// The node below `parent` whose path is `path`, kNoNode when none.
listing::NodeId Child(const listing::HostTree& t, listing::NodeId parent, const std::string& path) {
  for (listing::NodeId id : t.Children(parent))
    if (t.Record(id).path == path) return id;
  return listing::kNoNode;
}

}  // namespace

class HostFoldersInteropTest : public QObject {
  Q_OBJECT
 private slots:
  void createClearAndDeleteFolder();
};

void HostFoldersInteropTest::createClearAndDeleteFolder() {
  const std::string port = Env("TARN_TEST_PYFTPD_PORT");
  const std::string root = Env("TARN_TEST_PYFTPD_ROOT");
  QVERIFY2(!port.empty() && !root.empty(),
           "The test servers are not running: tools/test-servers start and source servers.env");
  QTemporaryDir dir;
  ClientRoot client;
  FolderAnswers answers;
  ClientOptions o;
  o.configDir = dir.filePath("config").toStdString();
  o.logDir = "";
  o.pinnedLocale = true;
  std::string error;
  QVERIFY2(client.Init(o, &error), error.c_str());
  client.SetDialogs(&answers);

  HostRecord rec;
  client.store().CreateSession("py", "127.0.0.1", {}, &rec);
  SetField(rec.cFTPPort, port);
  SetField(rec.cUserFlag, "S");
  SetField(rec.cUserName, "user");
  SetField(rec.cPasswordFlag, "S");
  PasswordScrambler scrambler(7);
  SetField(rec.cPassword, scrambler.Scramble("secret"));
  client.store().SaveSession(rec);

  HostSession& s = client.window().session();
  s.ShowSessions();
  QVERIFY(s.Connect("py"));
  QTRY_VERIFY_WITH_TIMEOUT(s.conn() == WindowConn::kConnected && !s.listingRunning(), 20000);
  const listing::HostTree& tree = s.treeModel().tree();
  const listing::NodeId top = tree.FirstTopLevel();
  QVERIFY(top != listing::kNoNode);
  QCOMPARE(tree.Children(top).size(), size_t{1});
  const listing::NodeId rootNode = tree.Children(top)[0];
  QCOMPARE(tree.Text(rootNode), std::string("/ (Root)"));
  QCOMPARE(s.selectedNode(), rootNode);

  const std::string name = "h7a-folder-" + std::to_string(getpid());
  const std::filesystem::path onDisk = std::filesystem::path(root) / "user" / name;
  std::filesystem::remove_all(onDisk);
  answers.folderName = name;
  s.CreateFolder(rootNode);
  QTRY_VERIFY_WITH_TIMEOUT(!s.listingRunning(), 20000);
  QVERIFY(std::filesystem::is_directory(onDisk));
  listing::NodeId made = Child(s.treeModel().tree(), s.selectedNode(), "/" + name);
  QVERIFY(made != listing::kNoNode);

  // Clear Branch takes the node out of the tree only.
  s.ClearBranch(made);
  QTRY_VERIFY_WITH_TIMEOUT(!s.listingRunning(), 20000);
  QCOMPARE(Child(s.treeModel().tree(), s.selectedNode(), "/" + name), listing::kNoNode);
  QVERIFY(std::filesystem::is_directory(onDisk));

  s.RefreshHost();
  QTRY_VERIFY_WITH_TIMEOUT(!s.listingRunning(), 20000);
  made = Child(s.treeModel().tree(), s.selectedNode(), "/" + name);
  QVERIFY(made != listing::kNoNode);

  // Delete Folder asks first; No keeps it.
  answers.boxAnswers = {BoxResult::kNo};
  s.DeleteFolder(made);
  QVERIFY(!s.listingRunning());
  QVERIFY(std::filesystem::is_directory(onDisk));
  answers.boxAnswers = {BoxResult::kYes};
  s.DeleteFolder(made);
  QTRY_VERIFY_WITH_TIMEOUT(!s.listingRunning(), 20000);
  QVERIFY(!std::filesystem::exists(onDisk));
  QCOMPARE(Child(s.treeModel().tree(), s.selectedNode(), "/" + name), listing::kNoNode);

  client.window().Shutdown(2000);
  QTRY_VERIFY_WITH_TIMEOUT(client.window().shutDown(), 10000);
}

QTEST_MAIN(HostFoldersInteropTest)
#include "host_folders_interop_test.moc"
