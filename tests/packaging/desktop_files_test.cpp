// What the desktop learns from the package: the schedule files' MIME type
// found by content wherever the file is and whatever its name (through a
// MIME database built from the package's entry, read by Qt as the client
// reads it), and desktop entries and metainfo that claim what the
// programs do: the URL schemes tarn opens, the type it loads, the programs
// that exist.
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "client/session/queue_file.h"
#include "client/shell/open_argument.h"

using namespace tarn;

namespace {

constexpr const char* kScheduleType = "application/x-tarn-schedule";

// The [Desktop Entry] group of a desktop file.
std::map<std::string, std::string> DesktopEntry(const std::string& path) {
  std::map<std::string, std::string> out;
  std::ifstream in(path);
  std::string line;
  bool inEntry = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    const size_t eq = line.find('=');
    if (inEntry && eq != std::string::npos && line[0] != '#') out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

std::set<std::string> SemicolonList(const std::string& text) {
  std::set<std::string> out;
  std::stringstream ss(text);
  std::string item;
  while (std::getline(ss, item, ';'))
    if (!item.empty()) out.insert(item);
  return out;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Write(const QString& path, const std::string& bytes) {
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

std::string Packaging(const char* name) { return std::string(TARN_PACKAGING_DIR) + "/" + name; }

}  // namespace

class DesktopFilesTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void scheduleFilesAreKnownByTheirContent();
  void clientEntryOpensWhatTarnOpens();
  void schedulerEntriesStartTheScheduler();
  void metainfoNamesTheEntryAndTheType();

 private:
  QTemporaryDir data_;
  bool haveDatabase_ = false;
};

void DesktopFilesTest::initTestCase() {
  // A MIME database of the package's entry alone, ahead of the system's,
  // before Qt reads any.
  const QString mime = data_.filePath("mime");
  QVERIFY(QDir().mkpath(mime + "/packages"));
  QVERIFY(QFile::copy(QString::fromStdString(Packaging("tarn-schedule.xml")), mime + "/packages/tarn.xml"));
  QProcess update;
  update.start("update-mime-database", {mime});
  haveDatabase_ = update.waitForFinished(60000) && update.exitStatus() == QProcess::NormalExit &&
                  update.exitCode() == 0;
  qputenv("XDG_DATA_HOME", data_.path().toUtf8());
  qputenv("XDG_DATA_DIRS", (data_.path() + ":/usr/local/share:/usr/share").toUtf8());
}

void DesktopFilesTest::scheduleFilesAreKnownByTheirContent() {
  if (!haveDatabase_) QSKIP("update-mime-database (shared-mime-info) is not installed");
  TransferQueue queue;
  QEntry e;
  QVERIFY(MakeQEntry("/pub/a.txt", "/srv/a.txt", kQueueDownload, &e));
  QVERIFY(queue.AddToQueue("nightly", e));
  const std::string good = QueueFileBytes(queue);
  const std::string empty = QueueFileBytes(TransferQueue{});
  std::string otherFirst = good;
  otherFirst[0] = 2;
  std::string otherTag = good;
  otherTag[4] = 0;
  std::string otherMagic = good;
  otherMagic[8] = 'X';

  struct Case {
    const char* name;
    std::string bytes;
    bool schedule;
  };
  const Case cases[] = {
      {"night.tsc", good, true},
      {"renamed.bin", good, true},
      {"no-extension", empty, true},
      {"first-word.bin", otherFirst, false},
      {"tag.bin", otherTag, false},
      {"magic.bin", otherMagic, false},
      {"short.bin", good.substr(0, 12), false},
      {"notes.txt", "TARN_REMOTE is a word in this text.\n", false},
  };
  QMimeDatabase db;
  QVERIFY2(db.mimeTypeForName(kScheduleType).isValid(), "the package's MIME type is not in the database");
  QCOMPARE(db.mimeTypeForName(kScheduleType).preferredSuffix(), QString("tsc"));
  for (const Case& c : cases) {
    const QString path = data_.filePath(c.name);
    Write(path, c.bytes);
    const QString found = db.mimeTypeForFile(path, QMimeDatabase::MatchContent).name();
    QVERIFY2((found == kScheduleType) == c.schedule, (std::string(c.name) + ": " + found.toStdString()).c_str());
  }
}

void DesktopFilesTest::clientEntryOpensWhatTarnOpens() {
  auto entry = DesktopEntry(Packaging("com.ostravel.Tarn.desktop"));
  QCOMPARE(entry["Type"], std::string("Application"));
  // One URL or file per start: the form tarn reads as a person's request.
  QCOMPARE(entry["Exec"], std::string("tarn %u"));
  QCOMPARE(entry["Icon"], std::string("tarn"));
  std::set<std::string> wanted = {kScheduleType};
  for (const char* scheme : shell::kOpenSchemes) wanted.insert(std::string("x-scheme-handler/") + scheme);
  QVERIFY(SemicolonList(entry["MimeType"]) == wanted);
  // Every scheme the entry claims is opened, not refused.
  for (const char* scheme : shell::kOpenSchemes) {
    const auto r = shell::ParseOpenArgument(std::string(scheme) + "://host/", "/");
    QVERIFY2(r.kind == shell::OpenRequest::Kind::kHost, scheme);
  }
  QVERIFY(ReadAll(Packaging("tarn-schedule.xml")).find(std::string("type=\"") + kScheduleType + "\"") !=
          std::string::npos);
}

void DesktopFilesTest::schedulerEntriesStartTheScheduler() {
  for (const char* file : {"com.ostravel.Almanor.desktop", "almanor-autostart.desktop"}) {
    auto entry = DesktopEntry(Packaging(file));
    QCOMPARE(entry["Exec"], std::string("almanor"));
    QCOMPARE(entry["Icon"], std::string("almanor"));
    QCOMPARE(entry["Terminal"], std::string("false"));
  }
  // Hidden from a session's list of start-up programs, the entry could not
  // be turned off there.
  auto autostart = DesktopEntry(Packaging("almanor-autostart.desktop"));
  QVERIFY(autostart.count("NoDisplay") == 0 && autostart.count("Hidden") == 0);
}

void DesktopFilesTest::metainfoNamesTheEntryAndTheType() {
  const std::string xml = ReadAll(TARN_METAINFO_PATH);
  QVERIFY(xml.find("<id>com.ostravel.Tarn</id>") != std::string::npos);
  QVERIFY(xml.find("<launchable type=\"desktop-id\">com.ostravel.Tarn.desktop</launchable>") !=
          std::string::npos);
  QVERIFY(xml.find(std::string("<mediatype>") + kScheduleType + "</mediatype>") != std::string::npos);
  QVERIFY(xml.find("<release version=\"" TARN_PROJECT_VERSION "\"") != std::string::npos);
  for (const char* program : {"tarn", "tarn-cli", "almanor", "courel"})
    QVERIFY2(xml.find(std::string("<binary>") + program + "</binary>") != std::string::npos, program);
}

QTEST_GUILESS_MAIN(DesktopFilesTest)
#include "desktop_files_test.moc"
