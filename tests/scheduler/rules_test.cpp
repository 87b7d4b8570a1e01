#include "scheduler/model/dialog_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scheduler/model/local_time.h"
#include "scheduler/model/messages.h"
#include "tests/scheduler/scheduler_fixture.h"

namespace sched {
namespace {

using sched_test::At;

// ---- e-mail checks -------------------------------------------------------------

TEST(EmailRules, Addresses) {
  struct Case {
    const char* address;
    bool valid;
  } cases[] = {
      {"ab@cd", false},        // no dot, and too short
      {"ab.c@de.fg", true},
      {"ops@example.org", true},
      {"ab@.example.org", false},
      {"ops@example.org.", false},
      {"ops@example", false},  // no dot at all
      {"a@b.cd", true},        // six characters
      {"a@b.c", false},        // five
      {"@bc.de.fg", false},
      {".ab@cd.ef", false},
      {"ab@cd@ef.gh", false},
      {"abc.de@", false},
      {"ab.@cd.ef", false},
      {"ab*@cd.ef", false},
      {"ab@*cd.ef", false},
      {"ab@cd..ef", false},
      {"a*b@cd.ef", true},     // a star elsewhere is allowed
      {"ab-c_d@cd.ef", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(IsValidAddress(c.address), c.valid);
  }
  for (char bad : std::string(",;\\/+=:\"'`~?")) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(IsValidAddress(std::string("ab") + bad + "c@de.fg"));
  }
}

TEST(EmailRules, HostAndOrderOfChecks) {
  EXPECT_FALSE(IsValidSmtpHost("abc"));
  EXPECT_TRUE(IsValidSmtpHost("abcd"));
  struct Case {
    const char *host, *sender, *receiver;
    EmailField field;
  } cases[] = {
      {"abc", "bad", "bad", EmailField::kSmtpHost},
      {"mail", "bad", "bad", EmailField::kSender},
      {"mail", "ops@example.org", "bad", EmailField::kReceiver},
      {"mail", "ops@example.org", "admin@example.org", EmailField::kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sender);
    EmailCheck r = CheckEmailValues(c.host, c.sender, c.receiver);
    EXPECT_EQ(r.field, c.field);
    if (c.field == EmailField::kSmtpHost) {
      EXPECT_STREQ(r.message, "Please specify a valid SMTP host name");
    } else if (c.field != EmailField::kNone) {
      EXPECT_STREQ(r.message, "Please specify a valid email address");
    }
  }
}

// ---- compacted path --------------------------------------------------------------

TEST(CompactPath, KeepsTheFileNameAndWholeFolders) {
  struct Case {
    const char* path;
    const char* shown;
  } cases[] = {
      {"/home/ops/night.tsc", "/home/ops/night.tsc"},
      {"/home/ops/queues/nightly/night.tsc", "/home/ops/queues/nightly/night.tsc"},  // 34
      {"/home/ops/queues/nightly/run/night.tsc", "/home/ops/queues/.../night.tsc"},
      {"/averyveryverylongfoldername/night.tsc", ".../night.tsc"},
      {"C:\\Program Files\\Tarn\\Queues\\night.tsc", "C:\\Program Files\\...\\night.tsc"},
      {"/q/a-file-name-that-is-much-too-long-to-show.tsc", "a-file-name-that-is-much-too-lo..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string shown = CompactPath(c.path, 34);
    EXPECT_EQ(shown, c.shown);
    EXPECT_LE(shown.size(), 34u);
  }
}

// ---- times ---------------------------------------------------------------------

class LocalTimeTest : public ::testing::Test {
  sched_test::BerlinTime tz_;
};

TEST_F(LocalTimeTest, ListAndLogFormats) {
  int64_t t = At("2025-01-05 09:03:07");
  EXPECT_EQ(FormatListDate(t), "1/5/25");
  EXPECT_EQ(FormatListTime(t), "9:03:07");
  EXPECT_EQ(FormatListTime(At("2025-12-31 23:59:59")), "23:59:59");
  EXPECT_EQ(FormatOverdueTime(At("2025-12-31 12:00:00")), "Wed. Dec. 31, 12:00:00 PM");
  EXPECT_EQ(FormatOverdueTime(At("2025-12-31 00:00:00")), "Wed. Dec. 31, 12:00:00 AM");
  EXPECT_EQ(FormatIsoTime(t), "2025-01-05 09:03:07");
  // The same instant an hour later in summer time.
  EXPECT_EQ(At("2025-07-01 10:00:00") - At("2025-07-01 09:00:00"), 3600);
  EXPECT_EQ(At("2025-03-30 03:00:00") - At("2025-03-30 01:59:59"), 1);
}

TEST_F(LocalTimeTest, ParsesOnlyWholeValidTimes) {
  struct Case {
    const char* text;
    bool ok;
  } cases[] = {
      {"2025-01-31 09:00", true},   {"2025-01-31 09:00:59", true},
      {"2024-02-29 00:00", true},   {"2025-02-29 00:00", false},
      {"2025-13-01 00:00", false},  {"2025-01-31 24:00", false},
      {"2025-01-31 09:60", false},  {"2025-01-31 09:00:60", false},
      {"2025-1-31 09:00", false},   {"2025-01-31T09:00", false},
      {"2025-01-31 09:00:0", false}, {"2039-01-01 00:00", false},  // beyond a CTime
      {"", false},                  {"2025-01-31 09:00 ", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int64_t t = 0;
    EXPECT_EQ(ParseLocalTime(c.text, &t), c.ok);
  }
}

// ---- the editor's data -----------------------------------------------------------

TEST_F(LocalTimeTest, EditorDataCombinesDateAndClockAsLocalTime) {
  EditorData d;
  d.queueFile = "/q/night.tsc";
  d.startDate = CTimeToLocal(At("2025-07-01 00:00:00"));
  d.startTime = CTimeToLocal(At("2025-01-15 09:30:15"));  // winter date, summer day
  d.endDate = CTimeToLocal(At("2025-07-02 00:00:00"));
  d.endTime = CTimeToLocal(At("2025-01-15 01:00:00"));
  d.restrict = true;
  d.recurring = true;
  d.frequency = kWeekly;
  d.notify = true;
  d.smtpHost = "mail";
  d.sender = "ops@example.org";
  d.receiver = "admin@example.org";
  CScheduleEntry e;
  e.m_bRunning = 1;
  ASSERT_TRUE(EntryFromEditor(d, &e));
  EXPECT_EQ(FormatIsoTime(e.m_timeStart), "2025-07-01 09:30:15");
  EXPECT_EQ(FormatIsoTime(e.m_timeStop), "2025-07-02 01:00:00");
  EXPECT_EQ(e.m_nFrequency, kWeekly);
  EXPECT_EQ(e.m_bRecurring, 1);
  EXPECT_EQ(e.m_bRestrict, 1);
  EXPECT_EQ(e.m_bNotify, 1);
  EXPECT_EQ(e.m_strSmtpHost, "mail");

  EditorData back = EditorFromEntry(e, At("2025-06-01 12:00:00"));
  EXPECT_EQ(back.startDate.day, 1);
  EXPECT_EQ(back.startTime.hour, 9);
  EXPECT_EQ(back.endDate.day, 2);
  EXPECT_TRUE(back.recurring);
  EXPECT_EQ(back.frequency, kWeekly);

  // An unrestricted entry opens with the end pickers at now.
  e.m_bRestrict = 0;
  back = EditorFromEntry(e, At("2025-06-01 12:00:00"));
  EXPECT_EQ(back.endDate.month, 6);
  EXPECT_EQ(back.endTime.hour, 12);
  EXPECT_FALSE(back.restrict);

  // "Recurring Transfer" cleared after a frequency was chosen: a one-time
  // schedule, shown and reopened as one.
  d.recurring = false;
  ASSERT_TRUE(EntryFromEditor(d, &e));
  EXPECT_EQ(e.m_bRecurring, 0);
  EXPECT_EQ(e.m_nFrequency, 0);
  EXPECT_EQ(FrequencyText(e.m_nFrequency), " ");
  EXPECT_FALSE(EditorFromEntry(e, At("2025-06-01 12:00:00")).recurring);
}

TEST(FrequencyText, Cells) {
  EXPECT_EQ(FrequencyText(0), " ");
  EXPECT_EQ(FrequencyText(1), "Daily");
  EXPECT_EQ(FrequencyText(2), "Weekly");
  EXPECT_EQ(FrequencyText(3), "Monthly");
  EXPECT_EQ(FrequencyText(9), " ");
}

}  // namespace
}  // namespace sched
