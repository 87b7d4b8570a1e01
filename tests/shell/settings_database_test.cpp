// The built programs in front of a settings database they cannot use: one
// cut short (a copy that stopped part-way) and one another program holds
// locked. The window form and the headless run of tarn and tarn-cli each
// stop with status 1 and a message that names the file and the cause, and
// leave the file as it was; once the lock is gone, every stored session is
// still there.
#include <QDir>
#include <QtTest>

#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>

#include "client/session/password.h"
#include "client/session/queue_file.h"
#include "client/session/session_store.h"
#include "platform/registry.h"
#include "tests/support/child_process.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

using namespace tarn;

namespace {

// bin/<name> of the build tree this test belongs to.
std::string ProgramPath(const char* name) {
  QDir dir(QCoreApplication::applicationDirPath());
  for (int up = 0; up < 4; ++up, dir.cdUp())
    if (QFileInfo::exists(dir.filePath(QString("bin/") + name))) return dir.filePath(QString("bin/") + name).toStdString();
  return "";
}

constexpr int kSessions = 40;

// Holds the database locked from outside, as another program's write
// would.
class OutsideLock {
 public:
  explicit OutsideLock(const std::string& file) {
    if (sqlite3_open(file.c_str(), &db_) == SQLITE_OK)
      locked_ = sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~OutsideLock() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
  }
  bool Locked() const { return locked_; }

 private:
  sqlite3* db_ = nullptr;
  bool locked_ = false;
};

}  // namespace

class SettingsDatabaseTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void everyProgramStopsNamingTheFileAndKeepsIt_data();
  void everyProgramStopsNamingTheFileAndKeepsIt();

 private:
  std::vector<std::string> Env() const {
    return {"TARN_CONFIG_DIR=" + dir_ + "/config", "XDG_RUNTIME_DIR=" + dir_, "QT_QPA_PLATFORM=offscreen"};
  }
  // The programs' command lines: the window, the headless run, tarn-cli.
  std::vector<std::pair<const char*, std::vector<std::string>>> Programs() const;

  testing::TempDir* tmp_ = nullptr;
  std::string dir_, db_, whole_;
};

void SettingsDatabaseTest::init() {
  tmp_ = new testing::TempDir("tarn-settingsdb");
  dir_ = tmp_->Path();
  QVERIFY(!dir_.empty());
  std::filesystem::create_directories(dir_ + "/config");
  db_ = dir_ + "/config/registry.sqlite";
  {
    std::string error;
    auto reg = platform::OpenSqliteRegistry(db_, &error);
    QVERIFY2(reg, error.c_str());
    tarn::testing::ScriptedUi ui;
    PasswordScrambler scrambler(1700000000);
    SessionStore store(*reg, ui, scrambler);
    for (int i = 1; i <= kSessions; ++i) {
      HostRecord h;
      InitNewSession(&h, "Host " + std::to_string(i), "127.0.0.1");
      SetField(h.cUserFlag, "S");
      SetField(h.cUserName, "user" + std::to_string(i));
      store.SaveSession(h);
    }
  }
  whole_ = testing::ReadFile(db_);
  QVERIFY(whole_.size() > 16384);
  std::error_code ec;
  for (const char* side : {"-wal", "-shm"}) std::filesystem::remove(db_ + side, ec);

  TransferQueue q;
  QEntry e;
  QVERIFY(MakeQEntry("/r/a.txt", dir_ + "/a.txt", kQueueDownload | kQueueBinary, &e));
  QVERIFY(q.AddToQueue("Host 1", e));
  std::string error;
  QVERIFY2(SaveQueueFile(dir_ + "/night.tsc", q, &error), error.c_str());
}

void SettingsDatabaseTest::cleanup() {
  delete tmp_;
  tmp_ = nullptr;
}

std::vector<std::pair<const char*, std::vector<std::string>>> SettingsDatabaseTest::Programs() const {
  const std::string tarn = ProgramPath("tarn"), cli = ProgramPath("tarn-cli");
  return {
      {"the window", {tarn}},
      {"the headless run", {tarn, "-" + dir_ + "/night.tsc", "-127.0.0.1:9", "-ops@example.org", "-admin@example.org"}},
      {"tarn-cli", {cli, "sessions"}},
  };
}

void SettingsDatabaseTest::everyProgramStopsNamingTheFileAndKeepsIt_data() {
  QTest::addColumn<bool>("locked");  // else cut short
  QTest::addColumn<QString>("cause");
  QTest::newRow("cut short") << false << "malformed";
  QTest::newRow("locked by another program") << true << "locked";
}

void SettingsDatabaseTest::everyProgramStopsNamingTheFileAndKeepsIt() {
  QFETCH(bool, locked);
  QFETCH(QString, cause);
  QVERIFY2(!ProgramPath("tarn").empty() && !ProgramPath("tarn-cli").empty(), "bin/tarn or bin/tarn-cli is not built");
  if (!locked) testing::WriteFile(db_, whole_.substr(0, 8192));
  const std::string before = testing::ReadFile(db_);
  {
    std::unique_ptr<OutsideLock> lock;
    if (locked) {
      lock = std::make_unique<OutsideLock>(db_);
      QVERIFY(lock->Locked());
    }
    for (const auto& [name, argv] : Programs()) {
      const QByteArray trace = QByteArray(name) + ": " + QTest::currentDataTag();
      // Headless: no display for the run's form.
      std::vector<std::string> env = Env();
      if (argv.size() > 1 && argv[0] == ProgramPath("tarn"))
        for (const char* v : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}) env.push_back(v);
      const testing::ProgramResult r = testing::RunProgram(argv, env, "", 60000);
      QVERIFY2(r.status == 1, (trace + ": status " + QByteArray::number(r.status) + ", " + r.err.c_str()).constData());
      QVERIFY2(QString::fromStdString(r.err).contains(QString::fromStdString("Cannot open the registry database \"" + db_ + "\"")),
               (trace + ": " + r.err.c_str()).constData());
      QVERIFY2(QString::fromStdString(r.err).contains(cause), (trace + ": " + r.err.c_str()).constData());
      qInfo("%s: %s", trace.constData(), r.err.c_str());
    }
  }
  // Read only now: closing a descriptor of the file would drop the lock
  // this process holds on it.
  QVERIFY2(testing::ReadFile(db_) == before, "the file changed");
  if (locked) {
    // Nothing was lost while the programs stood back.
    const testing::ProgramResult r = testing::RunProgram({ProgramPath("tarn-cli"), "sessions"}, Env(), "", 60000);
    QCOMPARE(r.status, 0);
    QCOMPARE(static_cast<int>(std::count(r.out.begin(), r.out.end(), '\n')), kSessions);
  }
}

QTEST_MAIN(SettingsDatabaseTest)
#include "settings_database_test.moc"
