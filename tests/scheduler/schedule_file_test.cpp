#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "scheduler/model/archive.h"
#include "scheduler/model/messages.h"
#include "scheduler/model/schedule.h"
#include "tests/scheduler/scheduler_fixture.h"

namespace sched {
namespace {

using sched_test::ReadFile;
using sched_test::RecordingNotice;
using sched_test::WriteFile;
using ::testing::HasSubstr;

std::string U32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}
std::string Short(const std::string& s) { return std::string(1, static_cast<char>(s.size())) + s; }

CScheduleEntry Night() {
  CScheduleEntry e;
  e.m_strQueueFile = "/home/ops/night.tsc";
  e.m_bRestrict = 1;
  e.m_timeStart = 1700000000;
  e.m_timeStop = 1700005400;
  e.m_nFrequency = kDaily;
  e.m_bRecurring = 1;
  e.m_bRunning = 1;
  e.m_bNotify = 1;
  e.m_strSmtpHost = "mail.example.org";
  e.m_strSender = "ops@example.org";
  e.m_strReceiver = "admin@example.org";
  return e;
}

// The record of Night(), field by field in the file's order.
std::string NightRecord() {
  return Short("/home/ops/night.tsc") + U32(1) + U32(1700005400) + U32(1700000000) + U32(1) +
         U32(1) + U32(1) + U32(1) + Short("admin@example.org") + Short("ops@example.org") +
         Short("mail.example.org");
}

class ScheduleFileTest : public sched_test::TempDirTest {
 protected:
  std::string file_ = "";
  void SetUp() override {
    TempDirTest::SetUp();
    file_ = File("almanor.tsl");
  }
  RecordingNotice notice_;
};

// ---- layout ------------------------------------------------------------------

TEST_F(ScheduleFileTest, BytesOfAListWithOneEntry) {
  CSchedule list(file_);
  ASSERT_TRUE(list.Add(Night(), notice_));
  EXPECT_EQ(list.Serialize(), U32(1) + U32(1) + NightRecord());
  ASSERT_TRUE(list.Save(notice_));
  EXPECT_EQ(ReadFile(file_), U32(1) + U32(1) + NightRecord());
  EXPECT_EQ(CSchedule(file_).Serialize(), U32(1) + U32(0));
}

TEST_F(ScheduleFileTest, StringLengthFormsOnWritingAndReading) {
  struct Case {
    size_t length;
    std::string prefix;
  } cases[] = {
      {0, "\x00"},
      {254, "\xfe"},
      {255, std::string("\xff\xff\x00", 3)},
      {65533, "\xff\xfd\xff"},
      {65534, std::string("\xff\xff\xff") + U32(65534)},
      {70000, std::string("\xff\xff\xff") + U32(70000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    std::string prefix = c.length == 0 ? std::string(1, '\0') : c.prefix;
    std::string text(c.length, 'q');
    ArchiveWriter w;
    w.String(text);
    EXPECT_EQ(w.Bytes(), prefix + text);
    std::string back;
    ArchiveReader r(w.Bytes());
    EXPECT_EQ(r.String(&back), ArchiveReader::Status::kOk);
    EXPECT_EQ(back, text);
    EXPECT_EQ(r.Offset(), w.Bytes().size());
  }
}

TEST_F(ScheduleFileTest, LongStringsRoundTripThroughTheFile) {
  CScheduleEntry e = Night();
  e.m_strQueueFile = "/q/" + std::string(255, 'a') + ".tsc";
  e.m_strReceiver = std::string(300, 'r');
  e.m_strSmtpHost = std::string(255, 'h');
  CSchedule list(file_);
  ASSERT_TRUE(list.Add(e, notice_));
  ASSERT_TRUE(list.Save(notice_));
  CSchedule back(file_);
  EXPECT_EQ(back.Load(notice_), LoadResult::kOk);
  ASSERT_EQ(back.Count(), 1u);
  EXPECT_EQ(back.At(0), e);
  EXPECT_EQ(notice_.shown.size(), 0u);
}

TEST_F(ScheduleFileTest, WideStringsAreReadAsUtf8) {
  auto wide = [](const std::u16string& s) {
    std::string out = "\xff\xfe\xff";
    if (s.size() < 255) {
      out.push_back(static_cast<char>(s.size()));
    } else {
      out += "\xff";
      out.push_back(static_cast<char>(s.size() & 0xFF));
      out.push_back(static_cast<char>(s.size() >> 8));
    }
    for (char16_t c : s) {
      out.push_back(static_cast<char>(c & 0xFF));
      out.push_back(static_cast<char>(c >> 8));
    }
    return out;
  };
  struct Case {
    std::u16string wide;
    std::string utf8;
  } cases[] = {
      {u"/q/night.tsc", "/q/night.tsc"},
      {u"C:\\Z\u00fcrich\\n.tsc", "C:\\Z\xc3\xbcrich\\n.tsc"},
      {u"\U0001F600", "\xf0\x9f\x98\x80"},
      {std::u16string(1, char16_t(0xD800)), "\xef\xbf\xbd"},
      {std::u16string(300, u'w'), std::string(300, 'w')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8.substr(0, 20));
    std::string bytes = wide(c.wide);
    std::string back;
    ArchiveReader r(bytes);
    EXPECT_EQ(r.String(&back), ArchiveReader::Status::kOk);
    EXPECT_EQ(back, c.utf8);
  }
  // A whole record with a wide queue file, as another writer may store it.
  WriteFile(file_, U32(1) + U32(1) + wide(u"/q/night.tsc") + NightRecord().substr(20));
  CSchedule list(file_);
  EXPECT_EQ(list.Load(notice_), LoadResult::kOk);
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.At(0).m_strQueueFile, "/q/night.tsc");
  EXPECT_EQ(list.At(0).m_strSmtpHost, "mail.example.org");
}

TEST_F(ScheduleFileTest, TwoEntriesRoundTripWithEveryField) {
  CScheduleEntry a = Night();
  CScheduleEntry b;
  b.m_strQueueFile = "/q/once.tsc";
  b.m_timeStart = -100;  // before 1970: CTime is signed
  b.m_timeStop = 0;
  CSchedule list(file_);
  ASSERT_TRUE(list.Add(a, notice_));
  ASSERT_TRUE(list.Add(b, notice_));
  ASSERT_TRUE(list.Save(notice_));
  CSchedule back(file_);
  ASSERT_EQ(back.Load(notice_), LoadResult::kOk);
  EXPECT_EQ(back.Entries(), list.Entries());
  EXPECT_EQ(back.At(0).m_bRunning, 1);
  EXPECT_EQ(back.At(0).m_timeStop, 1700005400);
  EXPECT_EQ(back.At(1).m_timeStart, -100);
}

// ---- loading -----------------------------------------------------------------

TEST_F(ScheduleFileTest, MissingFileIsCreatedEmptyWithoutMessage) {
  std::string nested = File("data/tarn/almanor.tsl");
  CSchedule list(nested);
  EXPECT_EQ(list.Load(notice_), LoadResult::kOk);
  EXPECT_TRUE(list.Empty());
  EXPECT_TRUE(std::filesystem::exists(nested));
  EXPECT_EQ(std::filesystem::file_size(nested), 0u);
  EXPECT_EQ(notice_.shown.size(), 0u);
  EXPECT_EQ(list.Load(notice_), LoadResult::kOk) << "an empty file is an empty list";
  EXPECT_EQ(notice_.shown.size(), 0u);
}

TEST_F(ScheduleFileTest, VersionOtherThanOneEmptiesTheListAndKeepsTheFile) {
  for (uint32_t version : {0u, 2u, 0x01000000u}) {
    SCOPED_TRACE(version);
    std::string bytes = U32(version) + U32(1) + NightRecord();
    WriteFile(file_, bytes);
    CSchedule list(file_);
    ASSERT_TRUE(list.Add(Night(), notice_));
    notice_.shown.clear();
    EXPECT_EQ(list.Load(notice_), LoadResult::kBadVersion);
    EXPECT_TRUE(list.Empty());
    ASSERT_EQ(notice_.shown.size(), 1u);
    EXPECT_EQ(notice_.shown[0].text, "Invalid Schedule File Format");
    EXPECT_EQ(ReadFile(file_), bytes);
  }
}

TEST_F(ScheduleFileTest, ReadStoppingPartWayKeepsOnlyWholeEntriesAndSaysSo) {
  const std::string whole = U32(1) + U32(2) + NightRecord() + NightRecord();
  const size_t secondStart = 8 + NightRecord().size();
  for (size_t cut = secondStart; cut < whole.size(); ++cut) {
    SCOPED_TRACE(cut);
    WriteFile(file_, whole.substr(0, cut));
    CSchedule list(file_);
    RecordingNotice notice;
    EXPECT_EQ(list.Load(notice), LoadResult::kCutShort);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.At(0), Night());
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_THAT(notice.shown[0].text, HasSubstr("only the first 1 of its 2 schedules"));
  }
  WriteFile(file_, U32(1) + U32(5) + NightRecord());
  CSchedule list(file_);
  EXPECT_EQ(list.Load(notice_), LoadResult::kCutShort);
  EXPECT_EQ(list.Count(), 1u);
  WriteFile(file_, U32(1) + "\x02");
  EXPECT_EQ(list.Load(notice_), LoadResult::kCutShort);
  EXPECT_TRUE(list.Empty());
}

TEST_F(ScheduleFileTest, MoreThan256StoredEntriesAreRefusedPastTheLimit) {
  std::string bytes = U32(1) + U32(300);
  for (int i = 0; i < 300; ++i) bytes += NightRecord();
  WriteFile(file_, bytes);
  CSchedule list(file_);
  EXPECT_EQ(list.Load(notice_), LoadResult::kTooMany);
  EXPECT_EQ(list.Count(), 256u);
  ASSERT_EQ(notice_.shown.size(), 1u);
  EXPECT_THAT(notice_.shown[0].text, HasSubstr("holds 300 schedules; only the first 256"));

  // A huge count with few records is a cut file, not a reason to read on.
  WriteFile(file_, U32(1) + U32(0xFFFFFFFF) + NightRecord());
  EXPECT_EQ(list.Load(notice_), LoadResult::kCutShort);
  EXPECT_EQ(list.Count(), 1u);
}

TEST_F(ScheduleFileTest, SixtyFourBitStringLengthIsAMalformedObject) {
  WriteFile(file_, U32(1) + U32(2) + NightRecord() + "\xff\xff\xff" + U32(0xFFFFFFFF) +
                       std::string(8, '\0'));
  CSchedule list(file_);
  EXPECT_EQ(list.Load(notice_), LoadResult::kBadObject);
  EXPECT_EQ(list.Count(), 1u);
  ASSERT_EQ(notice_.shown.size(), 1u);
  EXPECT_EQ(notice_.shown[0].text,
            "Invalid Almanor file!\r\nThe program can not read from this file");
  EXPECT_EQ(notice_.shown[0].icon, NoticeIcon::kExclamation);
}

TEST_F(ScheduleFileTest, LoadReplacesTheOldEntries) {
  CSchedule list(file_);
  ASSERT_TRUE(list.Add(Night(), notice_));
  ASSERT_TRUE(list.Save(notice_));
  ASSERT_EQ(list.Load(notice_), LoadResult::kOk);
  EXPECT_EQ(list.Count(), 1u);
}

// ---- saving ----------------------------------------------------------------------

TEST_F(ScheduleFileTest, SaveReplacesTheFileWholeAndLeavesNoTemporaryFile) {
  CSchedule list(file_);
  WriteFile(file_, std::string(5000, 'x'));
  chmod(file_.c_str(), 0640);
  ASSERT_TRUE(list.Add(Night(), notice_));
  ASSERT_TRUE(list.Save(notice_));
  EXPECT_EQ(ReadFile(file_), U32(1) + U32(1) + NightRecord());
  struct stat st{};
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the file keeps its mode";
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir_)) (void)e, ++files;
  EXPECT_EQ(files, 1);
}

TEST_F(ScheduleFileTest, ReadOnlyFileIsNotReplaced) {
  WriteFile(file_, U32(1) + U32(0));
  chmod(file_.c_str(), 0444);
  CSchedule list(file_);
  ASSERT_TRUE(list.Add(Night(), notice_));
  EXPECT_FALSE(list.Save(notice_));
  ASSERT_EQ(notice_.shown.size(), 1u);
  EXPECT_EQ(notice_.shown[0].text,
            "The schedule file is read-only!\nCan't save to read-only file.");
  EXPECT_EQ(ReadFile(file_), U32(1) + U32(0));
}

TEST_F(ScheduleFileTest, SaveThatCannotWriteSaysSo) {
  WriteFile(File("plain"), "x");
  CSchedule list(File("plain/almanor.tsl"));
  EXPECT_FALSE(list.Save(notice_));
  ASSERT_EQ(notice_.shown.size(), 1u);
  EXPECT_THAT(notice_.shown[0].text, HasSubstr("plain/almanor.tsl"));
  EXPECT_EQ(list.Load(notice_), LoadResult::kOpenFailed);
}

TEST_F(ScheduleFileTest, AddRefusesThe257thEntry) {
  CSchedule list(file_);
  for (int i = 0; i < 256; ++i) ASSERT_TRUE(list.Add(Night(), notice_));
  EXPECT_EQ(notice_.shown.size(), 0u);
  EXPECT_FALSE(list.Add(Night(), notice_));
  EXPECT_EQ(list.Count(), 256u);
  ASSERT_EQ(notice_.shown.size(), 1u);
  EXPECT_THAT(notice_.shown[0].text, HasSubstr("at most 256"));
}

TEST_F(ScheduleFileTest, TimesAtTheEndsOfTheRangeAreExactAndNoneBeyondIsStored) {
  // Both ends of the 32-bit range are stored as they are.
  CSchedule list(file_);
  CScheduleEntry e = Night();
  e.m_timeStart = kCTimeMax;
  e.m_timeStop = kCTimeMin;
  ASSERT_TRUE(list.Add(e, notice_));
  std::string bytes = list.Serialize();
  EXPECT_EQ(bytes.substr(8 + 1 + 19 + 4, 8), U32(0x80000000u) + U32(0x7FFFFFFFu));
  CSchedule back(file_);
  ASSERT_EQ(back.Deserialize(bytes, file_, notice_), LoadResult::kOk);
  EXPECT_EQ(back.Entries(), list.Entries());

  // One second more is refused when added, and never wraps when stored.
  for (int64_t start : {kCTimeMax + 1, kCTimeMin - 1}) {
    SCOPED_TRACE(start);
    e.m_timeStart = start;
    e.m_timeStop = 1700000000;
    notice_.shown.clear();
    EXPECT_FALSE(list.Add(e, notice_));
    ASSERT_EQ(notice_.shown.size(), 1u);
    EXPECT_THAT(notice_.shown[0].text, HasSubstr("03:14:07 UTC on 19 January 2038"));
    list.At(0) = e;  // past the checks
    ASSERT_EQ(back.Deserialize(list.Serialize(), file_, notice_), LoadResult::kOk);
    EXPECT_EQ(back.At(0).m_timeStart, start > 0 ? kCTimeMax : kCTimeMin);
  }
  EXPECT_EQ(list.Count(), 1u);
}

TEST_F(ScheduleFileTest, NoticesWhenAnotherProgramChangedTheFile) {
  CSchedule list(file_);
  ASSERT_EQ(list.Load(notice_), LoadResult::kOk);
  EXPECT_FALSE(list.FileChanged());
  CSchedule other(file_);
  ASSERT_TRUE(other.Add(Night(), notice_));
  ASSERT_TRUE(other.Save(notice_));
  EXPECT_TRUE(list.FileChanged());
  ASSERT_EQ(list.Load(notice_), LoadResult::kOk);
  EXPECT_FALSE(list.FileChanged());
  ASSERT_TRUE(list.Save(notice_));
  EXPECT_FALSE(list.FileChanged()) << "its own save is no change";
}

// ---- names and capacities --------------------------------------------------

TEST(ScheduleEntryNames, DisplayAndSessionTitleNames) {
  struct Case {
    const char* path;
    const char* display;
    const char* title;
  } cases[] = {
      {"C:\\q\\night.run.tsc", "night", "night.run"},
      {"C:\\a.b\\night", "night", "a"},
      {"/home/ops/night.run.tsc", "night", "night.run"},
      {"/home/o.ps/night", "night", "o"},
      {"night.tsc", "night", "night"},
      {"/q/.hidden.tsc", "", ".hidden"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    CScheduleEntry e;
    e.m_strQueueFile = c.path;
    EXPECT_EQ(e.DisplayName(), c.display);
    EXPECT_EQ(e.SessionTitleName(), c.title);
  }
}

TEST(ScheduleEntryLimits, CommandLineAndTitleCapacities) {
  const std::string client = "/opt/tarn/bin/tarn";  // 18 characters
  CScheduleEntry e;
  // "\"" + client + "\" -" + queue: 1 + 18 + 3 + queue.
  e.m_strQueueFile = "/" + std::string(1283 - 22 - 1, 'a');
  EXPECT_EQ(CommandLineLength(e, client), 1283u);
  // The name part alone breaks the title's capacity first; use folders.
  e.m_strQueueFile = "/" + std::string(1283 - 22 - 1 - 10, 'a') + "/n.tsc" + "abcd";
  EXPECT_EQ(CheckEntryLimits(e, client), "");
  e.m_strQueueFile += "x";
  EXPECT_THAT(CheckEntryLimits(e, client), HasSubstr("1,283"));

  e.m_strQueueFile = "/q/night.tsc";
  e.m_bNotify = 1;
  e.m_strSmtpHost = std::string(400, 'h');
  e.m_strSender = std::string(400, 's');
  e.m_strReceiver = std::string(1283 - 22 - 12 - 6 - 800, 'r');
  EXPECT_EQ(CheckEntryLimits(e, client), "");
  e.m_strReceiver += "r";
  EXPECT_NE(CheckEntryLimits(e, client), "");
  e.m_bNotify = 0;
  EXPECT_EQ(CheckEntryLimits(e, client), "") << "the e-mail values count only when notifying";

  // "Tarn Scheduled Session - " is 25 characters; 259 in all fit.
  e.m_strQueueFile = "/q/" + std::string(234, 'n') + ".tsc";
  EXPECT_EQ(CheckEntryLimits(e, client), "");
  e.m_strQueueFile = "/q/" + std::string(235, 'n') + ".tsc";
  EXPECT_THAT(CheckEntryLimits(e, client), HasSubstr("259"));
}

}  // namespace
}  // namespace sched
