// The built programs in front of a schedule file (.tsc) and a schedule
// list (almanor.tsl) cut short, as a copy that stopped part-way leaves
// them: each says which file is cut and how much it could read, uses the
// whole records, and leaves the file as it was when it only reads it; a
// change keeps every record that was whole.
#include <QDateTime>
#include <QDir>
#include <QtTest>

#include <filesystem>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

using namespace tarn;

namespace {

std::string ProgramPath(const char* name) {
  QDir dir(QCoreApplication::applicationDirPath());
  for (int up = 0; up < 4; ++up, dir.cdUp())
    if (QFileInfo::exists(dir.filePath(QString("bin/") + name))) return dir.filePath(QString("bin/") + name).toStdString();
  return "";
}

QByteArray Show(const testing::ProgramResult& r) {
  return QByteArray("status ") + QByteArray::number(r.status) + "\nout: " + r.out.c_str() + "\nerr: " + r.err.c_str();
}

}  // namespace

class CutFilesTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void cleanup();
  void scheduleFileCutShort();
  void scheduleListCutShort();

 private:
  testing::ProgramResult Run(std::vector<std::string> argv, bool headless = false) const {
    std::vector<std::string> env = {"TARN_CONFIG_DIR=" + dir_ + "/config", "XDG_RUNTIME_DIR=" + dir_};
    if (headless)
      for (const char* v : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="}) env.push_back(v);
    else
      env.push_back("QT_QPA_PLATFORM=offscreen");
    return testing::RunProgram(argv, env, "", 60000);
  }

  testing::TempDir* tmp_ = nullptr;
  std::string dir_, cli_, tarn_, almanor_;
};

void CutFilesTest::init() {
  cli_ = ProgramPath("tarn-cli");
  tarn_ = ProgramPath("tarn");
  almanor_ = ProgramPath("almanor");
  QVERIFY2(!cli_.empty() && !tarn_.empty() && !almanor_.empty(), "bin/tarn, bin/tarn-cli or bin/almanor is not built");
  tmp_ = new testing::TempDir("tarn-cutfiles");
  dir_ = tmp_->Path();
  QVERIFY(!dir_.empty());
  std::filesystem::create_directories(dir_ + "/config");
}

void CutFilesTest::cleanup() {
  delete tmp_;
  tmp_ = nullptr;
}

void CutFilesTest::scheduleFileCutShort() {
  const std::string whole = dir_ + "/whole.tsc", cut = dir_ + "/cut.tsc";
  for (const char* name : {"a", "b"}) {
    const auto r = Run({cli_, "queue", "add", whole, "Night", "get", std::string("/r/") + name + ".txt",
                        dir_ + "/" + name + ".txt", "--binary"});
    QVERIFY2(r.status == 0, Show(r));
  }
  const std::string bytes = testing::ReadFile(whole);
  // The second record loses its last 100 bytes.
  testing::WriteFile(cut, bytes.substr(0, bytes.size() - 100));
  const std::string before = testing::ReadFile(cut);
  const std::string notice = "cut.tsc: the last record is incomplete";

  // Read: the whole record listed, the cut one named, the file untouched.
  auto r = Run({cli_, "queue", "show", cut});
  QVERIFY2(r.status == 0, Show(r));
  QVERIFY2(QString::fromStdString(r.out).contains("/r/a.txt") && !QString::fromStdString(r.out).contains("/r/b.txt"),
           Show(r));
  QVERIFY2(QString::fromStdString(r.err).contains(QString::fromStdString(notice)), Show(r));
  QVERIFY(testing::ReadFile(cut) == before);

  // The headless run: warned on its error stream and first in its log; the
  // session is not stored, so the run fails at the connect.
  r = Run({tarn_, "-" + cut, "-127.0.0.1:9", "-ops@example.org", "-admin@example.org"}, true);
  QVERIFY2(r.status == 1, Show(r));
  QVERIFY2(QString::fromStdString(r.err).contains(QString::fromStdString(notice)), Show(r));
  QVERIFY(testing::ReadFile(cut) == before);
  const std::string log = testing::ReadFile(dir_ + "/cut.log");
  QVERIFY2(log.find("the last record is incomplete") != std::string::npos &&
               log.find("the last record is incomplete") < log.find("Session: Night"),
           log.c_str());

  // A change keeps the whole record.
  r = Run({cli_, "queue", "add", cut, "Night", "get", "/r/c.txt", dir_ + "/c.txt", "--binary"});
  QVERIFY2(r.status == 0, Show(r));
  r = Run({cli_, "queue", "show", cut});
  QVERIFY2(QString::fromStdString(r.out).contains("/r/a.txt") && QString::fromStdString(r.out).contains("/r/c.txt"),
           Show(r));
}

void CutFilesTest::scheduleListCutShort() {
  const std::string tsc = dir_ + "/night.tsc";
  auto r = Run({cli_, "queue", "add", tsc, "Night", "get", "/r/a.txt", dir_ + "/a.txt"});
  QVERIFY2(r.status == 0, Show(r));
  const std::string start = QDateTime::currentDateTime().addDays(1).toString("yyyy-MM-dd 10:00").toStdString();
  for (const char* freq : {"--daily", "--weekly"}) {
    r = Run({almanor_, "--add", tsc, "--start", start, freq});
    QVERIFY2(r.status == 0, Show(r));
  }
  const std::string list = dir_ + "/config/almanor.tsl";
  const std::string bytes = testing::ReadFile(list);
  QVERIFY(!bytes.empty());
  // The second schedule loses its last 10 bytes.
  testing::WriteFile(list, bytes.substr(0, bytes.size() - 10));
  const std::string before = testing::ReadFile(list);

  r = Run({almanor_, "--list"});
  QVERIFY2(r.status == 0, Show(r));
  QVERIFY2(QString::fromStdString(r.out).contains("Daily") && !QString::fromStdString(r.out).contains("Weekly"), Show(r));
  QVERIFY2(QString::fromStdString(r.err).contains("almanor.tsl is cut short: only the first 1 of its 2 schedules"),
           Show(r));
  // A pass of the scheduler that saves nothing reads it the same way.
  r = Run({almanor_, "--tick-at", QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss").toStdString(),
           "--dry-run"});
  QVERIFY2(r.status == 0, Show(r));
  QVERIFY2(QString::fromStdString(r.err).contains("cut short"), Show(r));
  QVERIFY(testing::ReadFile(list) == before);

  // A change keeps the whole schedule.
  r = Run({almanor_, "--add", tsc, "--start", start, "--monthly"});
  QVERIFY2(r.status == 0, Show(r));
  r = Run({almanor_, "--list"});
  QVERIFY2(r.status == 0 && r.err.empty(), Show(r));
  QVERIFY2(QString::fromStdString(r.out).contains("Daily") && QString::fromStdString(r.out).contains("Monthly"), Show(r));
}

QTEST_MAIN(CutFilesTest)
#include "cut_files_test.moc"
