#include "client/session/queue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "client/session/queue_file.h"
#include "platform/paths.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ScriptedUi;

QEntry Entry(const std::string& remote, const std::string& local, int32_t flags) {
  QEntry e;
  EXPECT_TRUE(MakeQEntry(remote, local, flags, &e));
  return e;
}

// The remote names of the queue, group by group: "S1:a S1:c S2:b".
std::string Order(const TransferQueue& q) {
  std::string out;
  for (const auto& g : q.Groups())
    for (const auto& e : g.entries) out += (out.empty() ? "" : " ") + g.sessionName + ":" + e.cRemoteFile;
  return out;
}

std::string Header() {
  std::string h(32, '\0');
  const char start[] = "\x01\x00\x00\x00\xA1\x23\x50\x00TARN_REMOTE";
  std::memcpy(h.data(), start, sizeof start - 1);
  return h;
}

std::string Record(const std::string& session, const std::string& remote, const std::string& local,
                   uint32_t flags, const std::string& link = std::string(4, '\0')) {
  std::string r(788, '\0');
  std::memcpy(r.data(), session.data(), session.size());
  std::memcpy(r.data() + 260, remote.data(), remote.size());
  std::memcpy(r.data() + 520, local.data(), local.size());
  for (int i = 0; i < 4; ++i) r[780 + i] = static_cast<char>((flags >> (8 * i)) & 0xFF);
  std::memcpy(r.data() + 784, link.data(), 4);
  return r;
}

class QueueFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::vector<std::string> DirEntries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  testing::TempDir tmp_{"tarn-queue"};
  std::string dir_ = tmp_.Path();
};

// ---- The queue and its rows ----------------------------------------------------

TEST(TransferQueue, GroupsBySessionInOrderOfFirstAppearance) {
  TransferQueue q;
  ASSERT_TRUE(q.AddToQueue("S1", Entry("a", "/l/a", kQueueDownload)));
  ASSERT_TRUE(q.AddToQueue("S2", Entry("b", "/l/b", kQueueUpload)));
  ASSERT_TRUE(q.AddToQueue("S1", Entry("c", "/l/c", kQueueDownload)));
  // Names compare exactly: another letter case is another session.
  ASSERT_TRUE(q.AddToQueue("s1", Entry("d", "/l/d", 0)));
  EXPECT_EQ(Order(q), "S1:a S1:c S2:b s1:d");
  EXPECT_EQ(q.EntryCount(), 4u);
}

TEST(TransferQueue, RefusesTextsTheFileCannotHold) {
  TransferQueue q;
  QEntry e;
  EXPECT_FALSE(MakeQEntry(std::string(260, 'r'), "/l", 0, &e));
  EXPECT_FALSE(MakeQEntry("r", std::string(260, 'l'), 0, &e));
  EXPECT_TRUE(MakeQEntry(std::string(259, 'r'), std::string(259, 'l'), 0, &e));
  EXPECT_FALSE(q.AddToQueue(std::string(260, 's'), e));
  EXPECT_TRUE(q.Empty());
  EXPECT_TRUE(q.AddToQueue(std::string(259, 's'), e));
}

TEST(QueueRows, ColumnTextsFollowTheFlags) {
  struct Case {
    int32_t flags;
    const char* direction;
    const char* type;
    const char* passive;
  } cases[] = {
      {kQueueDownload | kQueueBinary, "Download", "Binary", "No"},
      {kQueueUpload | kQueueAscii | kQueuePassive, "Upload", "Ascii", "Yes"},
      {kQueueBinary, "Append", "Binary", "No"},
      // Download wins when both direction bits are set; ASCII wins over binary.
      {kQueueDownload | kQueueUpload | kQueueAscii | kQueueBinary, "Download", "Ascii", "No"},
      {0, "Append", "Binary", "No"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    QueueRow row = RowOf("host", Entry("/r/x", "/l/x", c.flags));
    EXPECT_EQ(row, (QueueRow{"host", c.direction, "/l/x", c.type, c.passive, "/r/x"}));
  }
}

TEST(QueueRows, RebuildKeepsTheWindowsOrder) {
  // The order the person sees is the order that runs after a save.
  std::vector<QueueRow> rows = {
      {"S1", "Download", "/l/a", "Binary", "No", "A"},
      {"S1", "Download", "/l/b", "Binary", "No", "B"},
      {"S1", "Download", "/l/c", "Binary", "No", "C"},
  };
  TransferQueue q;
  ASSERT_TRUE(RebuildQueueFromRows(rows, &q));
  EXPECT_EQ(Order(q), "S1:A S1:B S1:C");
  EXPECT_EQ(QueueRows(q), rows);
}

TEST(QueueRows, RebuildGroupsInterleavedSessions) {
  std::vector<QueueRow> rows = {
      {"S1", "Download", "/l/a", "Binary", "No", "a"},
      {"S2", "Upload", "/l/b", "Ascii", "Yes", "b"},
      {"S1", "Append", "/l/c", "Binary", "No", "c"},
  };
  TransferQueue q;
  ASSERT_TRUE(RebuildQueueFromRows(rows, &q));
  EXPECT_EQ(Order(q), "S1:a S1:c S2:b");
  // Showing the rebuilt queue gives the grouped rows.
  EXPECT_THAT(QueueRows(q), ElementsAre(rows[0], rows[2], rows[1]));
}

TEST(QueueRows, RebuildReadsColumnTextsLikeTheWindow) {
  struct Case {
    const char* direction;
    const char* type;
    const char* passive;
    int32_t flags;
  } cases[] = {
      {"upload", "ASCII", "Yes", kQueueUpload | kQueueAscii | kQueuePassive},
      {"DOWNLOAD", "binary", "No", kQueueDownload | kQueueBinary},
      {"Append", "Ascii", "yes", kQueueAscii},  // only "Yes" itself means passive
      {"sideways", "EBCDIC", "", kQueueBinary},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.direction);
    TransferQueue q;
    ASSERT_TRUE(RebuildQueueFromRows({{"S", c.direction, "/l", c.type, c.passive, "/r"}}, &q));
    ASSERT_EQ(q.EntryCount(), 1u);
    EXPECT_EQ(q.Groups()[0].entries[0].iFlags, c.flags);
  }
}

// ---- The schedule file ---------------------------------------------------------

TEST(QueueFileBytes, LayoutByteForByte) {
  TransferQueue q;
  ASSERT_TRUE(q.AddToQueue("nightly", Entry("/pub/a.txt", "/home/u/a.txt",
                                            kQueueDownload | kQueueAscii | kQueuePassive)));
  ASSERT_TRUE(q.AddToQueue("backup", Entry("b.bin", "/home/u/b.bin", kQueueUpload | kQueueBinary)));
  const std::string bytes = QueueFileBytes(q);
  EXPECT_EQ(bytes, Header() + Record("nightly", "/pub/a.txt", "/home/u/a.txt", 0x1A) +
                       Record("backup", "b.bin", "/home/u/b.bin", 0x05));
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x01\x00\x00\x00\xA1\x23\x50\x00", 8));
  EXPECT_EQ(QueueFileBytes(TransferQueue{}), Header());
}

TEST_F(QueueFileTest, SavedRowsAreWrittenInTheWindowsOrderAndGrouped) {
  TransferQueue q;
  ASSERT_TRUE(RebuildQueueFromRows({{"S1", "Download", "/l/a", "Binary", "No", "a"},
                                    {"S2", "Download", "/l/b", "Binary", "No", "b"},
                                    {"S1", "Download", "/l/c", "Binary", "No", "c"}},
                                   &q));
  std::string error;
  const std::string path = dir_ + "/q.tsc";
  ASSERT_TRUE(SaveQueueFile(path, q, &error)) << error;
  EXPECT_EQ(Read(path), Header() + Record("S1", "a", "/l/a", 6) + Record("S1", "c", "/l/c", 6) +
                            Record("S2", "b", "/l/b", 6));
}

TEST_F(QueueFileTest, LoadReadsRecordsAndIgnoresTheLinkBytes) {
  const std::string path =
      Write("q.tsc", Header() + Record("S1", "/r/a", "/l/a", 0x12, "\xDE\xAD\xBE\xEF") +
                         Record("S2", "/r/b", "/l/b", 0x05, "\x01\x02\x03\x04") +
                         Record("S1", "/r/c", "/l/c", 0x0A));
  TransferQueue q;
  QueueLoadResult r = ReadQueueFile(path, &q);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.records, 3u);
  EXPECT_EQ(Order(q), "S1:/r/a S1:/r/c S2:/r/b");
  EXPECT_EQ(q.Groups()[0].entries[0].iFlags, 0x12);
  EXPECT_EQ(std::string(q.Groups()[0].entries[0].cLocalFile), "/l/a");
  // Saved again: grouped, the link bytes zero.
  std::string error;
  ASSERT_TRUE(SaveQueueFile(path, q, &error)) << error;
  EXPECT_EQ(Read(path), Header() + Record("S1", "/r/a", "/l/a", 0x12) +
                            Record("S1", "/r/c", "/l/c", 0x0A) + Record("S2", "/r/b", "/l/b", 0x05));
}

TEST_F(QueueFileTest, RoundTripIsByteExact) {
  const std::string bytes = Header() + Record("S1", "/r/a", "/l/a", 0x12) +
                            Record("S1", std::string(259, 'r'), std::string(259, 'l'), 0x7FFFFFFF) +
                            Record("", "", "", 0) + Record("S2", "b", "/l/b", 0xFFFFFFFF);
  const std::string path = Write("q.tsc", bytes);
  TransferQueue q;
  ASSERT_TRUE(ReadQueueFile(path, &q).ok());
  std::string error;
  const std::string copy = dir_ + "/copy.tsc";
  ASSERT_TRUE(SaveQueueFile(copy, q, &error)) << error;
  EXPECT_EQ(Read(copy), bytes);
  TransferQueue again;
  ASSERT_TRUE(ReadQueueFile(copy, &again).ok());
  EXPECT_EQ(again, q);
}

TEST_F(QueueFileTest, HeaderOnlyIsAnEmptyQueue) {
  TransferQueue q;
  ASSERT_TRUE(q.AddToQueue("old", Entry("x", "/x", 0)));
  QueueLoadResult r = ReadQueueFile(Write("empty.tsc", Header()), &q);
  EXPECT_TRUE(r.ok());
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(QueueLoadNotice("empty.tsc", r), "");
}

TEST_F(QueueFileTest, HeadersThatAreNotAScheduleFilesAreRefused) {
  struct Case {
    const char* name;
    std::string bytes;
    QueueLoadStatus status;
  } cases[] = {
      {"letter case", std::string("\x01\0\0\0\xA1\x23\x50\0Tarn_Remote", 19) + std::string(13, '\0'),
       QueueLoadStatus::kNotScheduleFile},
      {"first integer", std::string("\x02\0\0\0\xA1\x23\x50\0TARN_REMOTE", 19) + std::string(13, '\0'),
       QueueLoadStatus::kNotScheduleFile},
      {"second integer", std::string("\x01\0\0\0\xA1\x23\x50\x01TARN_REMOTE", 19) + std::string(13, '\0'),
       QueueLoadStatus::kNotScheduleFile},
      {"longer text", std::string("\x01\0\0\0\xA1\x23\x50\0TARN_REMOTES", 20) + std::string(12, '\0'),
       QueueLoadStatus::kNotScheduleFile},
      {"text file", std::string(40, 'x'), QueueLoadStatus::kNotScheduleFile},
      {"31 bytes", Header().substr(0, 31), QueueLoadStatus::kShortHeader},
      {"no bytes", "", QueueLoadStatus::kShortHeader},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TransferQueue q;
    ASSERT_TRUE(q.AddToQueue("kept", Entry("x", "/x", 0)));
    QueueLoadResult r = ReadQueueFile(Write("bad.tsc", c.bytes), &q);
    EXPECT_EQ(r.status, c.status);
    // A failed load leaves the queue as it was.
    EXPECT_EQ(Order(q), "kept:x");
  }
}

TEST_F(QueueFileTest, TruncatedLastRecordIsLeftOutAndReported) {
  const std::string path = Write(
      "cut.tsc", Header() + Record("S1", "/r/a", "/l/a", 2) + Record("S1", "/r/b", "/l/b", 2).substr(0, 100));
  TransferQueue q;
  QueueLoadResult r = ReadQueueFile(path, &q);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.records, 1u);
  EXPECT_EQ(r.ignoredBytes, 100u);
  EXPECT_EQ(Order(q), "S1:/r/a");
  EXPECT_EQ(QueueLoadNotice("cut.tsc", r),
            "cut.tsc: the last record is incomplete (100 bytes) and was left out");
}

TEST_F(QueueFileTest, FieldsWithoutTerminatorAreCutToTheirCapacity) {
  std::string rec = Record("", "", "", 2);
  std::memset(rec.data(), 'S', 260);
  std::memset(rec.data() + 260, 'R', 260);
  std::memset(rec.data() + 520, 'L', 260);
  TransferQueue q;
  ASSERT_TRUE(ReadQueueFile(Write("q.tsc", Header() + rec), &q).ok());
  ASSERT_EQ(q.EntryCount(), 1u);
  EXPECT_EQ(q.Groups()[0].sessionName, std::string(259, 'S'));
  EXPECT_EQ(std::string(q.Groups()[0].entries[0].cRemoteFile), std::string(259, 'R'));
  EXPECT_EQ(std::string(q.Groups()[0].entries[0].cLocalFile), std::string(259, 'L'));
}

TEST_F(QueueFileTest, UnopenableFilesFailWithTheReason) {
  TransferQueue q;
  QueueLoadResult r = ReadQueueFile(dir_ + "/missing.tsc", &q);
  EXPECT_EQ(r.status, QueueLoadStatus::kCannotOpen);
  EXPECT_EQ(QueueLoadNotice("missing.tsc", r), "missing.tsc: No such file or directory");
  EXPECT_EQ(ReadQueueFile(dir_, &q).status, QueueLoadStatus::kCannotOpen);
  EXPECT_EQ(ReadQueueFile("", &q).status, QueueLoadStatus::kNoFile);
}

// ---- Loading with the person in the loop -----------------------------------------

TEST_F(QueueFileTest, ForeignFileShowsTheMessageAndAsksAgain) {
  const std::string bad = Write("bad.tsc", std::string("\x01\0\0\0\xA1\x23\x50\0tarn_remote", 19) +
                                               std::string(13, '\0'));
  const std::string good = Write("good.tsc", Header() + Record("S", "r", "/l", 2));
  ScriptedUi ui;
  std::vector<std::string> offered = {good};
  int asked = 0;
  auto choose = [&](std::string* path) {
    if (asked >= static_cast<int>(offered.size())) return false;
    *path = offered[asked++];
    return true;
  };
  std::string path = bad;
  TransferQueue q;
  QueueLoadResult r = LoadQueueFile(&path, &q, ui, choose);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(path, good);
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(ui.Boxes().size(), 1u);
  EXPECT_EQ(ui.Boxes()[0].text, kNotScheduleFileText);
  EXPECT_EQ(ui.Boxes()[0].caption, "Tarn");
  EXPECT_EQ(ui.Boxes()[0].icon, BoxIcon::kInformation);

  // The person cancels after the message: the load fails, the path is clear.
  path = bad;
  offered.clear();
  asked = 0;
  r = LoadQueueFile(&path, &q, ui, choose);
  EXPECT_EQ(r.status, QueueLoadStatus::kNoFile);
  EXPECT_EQ(path, "");
  EXPECT_EQ(ui.Boxes().size(), 2u);
}

TEST_F(QueueFileTest, ShortHeaderAndMissingFileFailSilently) {
  ScriptedUi ui;
  TransferQueue q;
  std::string path = Write("short.tsc", "TARN");
  EXPECT_EQ(LoadQueueFile(&path, &q, ui, nullptr).status, QueueLoadStatus::kShortHeader);
  path = dir_ + "/none.tsc";
  EXPECT_EQ(LoadQueueFile(&path, &q, ui, nullptr).status, QueueLoadStatus::kCannotOpen);
  EXPECT_TRUE(ui.Boxes().empty());
}

// ---- Saving ----------------------------------------------------------------------

TEST_F(QueueFileTest, SaveReplacesWholeAndLeavesNoTemporaryFile) {
  const std::string path = Write("q.tsc", Header() + Record("old", "o", "/o", 2));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  TransferQueue q;
  ASSERT_TRUE(q.AddToQueue("new", Entry("n", "/n", 1)));
  std::string error;
  ASSERT_TRUE(SaveQueueFile(path, q, &error)) << error;
  EXPECT_EQ(Read(path), Header() + Record("new", "n", "/n", 1));
  EXPECT_THAT(DirEntries(), ElementsAre("q.tsc"));
  struct stat st{};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(QueueFileTest, SaveThroughALinkReplacesTheLinkedFile) {
  const std::string real = Write("real.tsc", Header());
  const std::string link = dir_ + "/link.tsc";
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  TransferQueue q;
  ASSERT_TRUE(q.AddToQueue("S", Entry("r", "/l", 2)));
  std::string error;
  ASSERT_TRUE(SaveQueueFile(link, q, &error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Read(real), Header() + Record("S", "r", "/l", 2));
}

TEST_F(QueueFileTest, FailedSaveKeepsTheOldFile) {
  const std::string old = Header() + Record("old", "o", "/o", 2);
  const std::string path = Write("q.tsc", old);
  TransferQueue q;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(q.AddToQueue("new", Entry("n", "/n", 1)));
  // A file-size limit makes the writes fail part-way, as a full disk would
  // (root included).
  struct rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 1000;
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  const bool saved_ok = SaveQueueFile(path, q, &error);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(saved_ok);
  EXPECT_EQ(error, "File too large");
  EXPECT_EQ(Read(path), old);
  EXPECT_THAT(DirEntries(), ElementsAre("q.tsc"));

  EXPECT_FALSE(SaveQueueFile(dir_, q, &error));
  EXPECT_FALSE(SaveQueueFile(dir_ + "/no/such/folder/q.tsc", q, &error));
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_FALSE(SaveQueueFile("", q, &error));
}

}  // namespace
}  // namespace tarn
