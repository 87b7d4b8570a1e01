#include "scheduler/model/engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "scheduler/model/messages.h"
#include "tests/scheduler/scheduler_fixture.h"

namespace sched {
namespace {

using sched_test::At;
using sched_test::RecordingNotice;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct FakeClock : Clock {
  int64_t now = 0;
  int64_t Now() override { return now; }
};

// Records every action as one line: "run ARGS", "stop TITLE", "remove NAME".
struct RecordingActions : EngineActions {
  std::vector<std::string> lines;
  void StartClient(const CScheduleEntry&, const std::vector<std::string>& argv) override {
    std::string line = "run";
    for (const auto& a : argv) line += " " + a;
    lines.push_back(line);
  }
  void PostStop(const CScheduleEntry&, const std::string& title) override {
    lines.push_back("stop " + title);
  }
  void Removed(const CScheduleEntry& e) override { lines.push_back("remove " + e.DisplayName()); }
  void Refused(const CScheduleEntry& e, const std::string&) override {
    lines.push_back("refused " + e.DisplayName());
  }
};

struct ScriptedAsker : OverdueAsker {
  int answer = kSkipSchedule;
  std::vector<std::string> texts;
  std::function<void()> whileAsking;
  int AskOverdue(const CScheduleEntry&, const std::string& text) override {
    texts.push_back(text);
    if (whileAsking) whileAsking();
    return answer;
  }
};

class EngineTest : public sched_test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    list_ = std::make_unique<CSchedule>(File("almanor.tsl"));
  }

  CScheduleEntry& Add(const std::string& start, int32_t frequency = 0, const std::string& stop = "") {
    CScheduleEntry e;
    e.m_strQueueFile = "/q/night.tsc";
    e.m_timeStart = At(start);
    e.m_nFrequency = frequency;
    e.m_bRecurring = frequency != 0;
    if (!stop.empty()) {
      e.m_bRestrict = 1;
      e.m_timeStop = At(stop);
    }
    EXPECT_TRUE(list_->Add(e, notice_));
    return list_->At(list_->Count() - 1);
  }

  ScheduleEngine::TickResult TickAt(const std::string& now) {
    clock_.now = At(now);
    return engine_.Tick(*list_, notice_);
  }

  std::string Start(size_t i = 0) { return FormatIsoTime(list_->At(i).m_timeStart); }
  std::string Stop(size_t i = 0) { return FormatIsoTime(list_->At(i).m_timeStop); }

  FakeClock clock_;
  RecordingActions actions_;
  ScriptedAsker asker_;
  RecordingNotice notice_;
  ScheduleEngine engine_{clock_, actions_, asker_, "/opt/tarn/tarn"};
  std::unique_ptr<CSchedule> list_;
};

// ---- due or not, late or overdue ---------------------------------------------

TEST_F(EngineTest, StartsUpToTenMinutesFiftyNineSecondsLateWithoutAsking) {
  struct Case {
    const char* now;
    bool asks;
  } cases[] = {
      {"2025-01-31 09:00:00", false},
      {"2025-01-31 09:10:59", false},
      {"2025-01-31 09:11:00", true},
      {"2025-02-03 08:00:00", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.now);
    list_->Clear();
    actions_.lines.clear();
    asker_.texts.clear();
    asker_.answer = kRunNow;
    Add("2025-01-31 09:00:00", kDaily);
    TickAt(c.now);
    EXPECT_EQ(asker_.texts.size(), c.asks ? 1u : 0u);
    EXPECT_THAT(actions_.lines, ElementsAre("run /opt/tarn/tarn -/q/night.tsc"));
  }
}

TEST_F(EngineTest, NothingBeforeTheStart) {
  Add("2025-01-31 09:00:00");
  auto r = TickAt("2025-01-31 08:59:59");
  EXPECT_TRUE(r.ran);
  EXPECT_FALSE(r.changed);
  EXPECT_THAT(actions_.lines, IsEmpty());
  EXPECT_FALSE(std::filesystem::exists(File("almanor.tsl"))) << "nothing changed, nothing saved";
}

TEST_F(EngineTest, DailyScheduleMissedForThreeDaysAsksOnceAndRunsOnce) {
  Add("2025-01-28 09:00:00", kDaily);
  asker_.answer = kRunNow;
  TickAt("2025-01-31 12:00:00");
  EXPECT_EQ(asker_.texts.size(), 1u);
  EXPECT_THAT(actions_.lines, ElementsAre("run /opt/tarn/tarn -/q/night.tsc"));
  EXPECT_EQ(Start(), "2025-02-01 09:00:00");
  TickAt("2025-01-31 12:00:30");
  EXPECT_EQ(asker_.texts.size(), 1u);
  EXPECT_EQ(actions_.lines.size(), 1u);
}

TEST_F(EngineTest, SkipMovesOnWithoutRunningAndDeleteRemoves) {
  Add("2025-01-28 09:00:00", kWeekly);
  asker_.answer = kSkipSchedule;
  TickAt("2025-01-31 12:00:00");
  EXPECT_THAT(actions_.lines, IsEmpty());
  EXPECT_EQ(Start(), "2025-02-04 09:00:00");

  asker_.answer = kDeleteSchedule;
  TickAt("2025-02-04 09:30:00");
  EXPECT_THAT(actions_.lines, ElementsAre("remove night"));
  EXPECT_TRUE(list_->Empty());
  CSchedule onDisk(list_->FileName());
  ASSERT_EQ(onDisk.Load(notice_), LoadResult::kOk);
  EXPECT_TRUE(onDisk.Empty()) << "the removal is saved";
}

// ---- steps -------------------------------------------------------------------------

TEST_F(EngineTest, MonthlyIsTwentyEightDaysAndStepsKeepWholeSeconds) {
  Add("2025-01-31 09:00:00", kMonthly);
  TickAt("2025-01-31 09:00:00");
  EXPECT_EQ(Start(), "2025-02-28 09:00:00");
  TickAt("2025-02-28 09:00:10");
  EXPECT_EQ(Start(), "2025-03-28 09:00:00");
  // Summer time begins on 30 March: the same seconds are an hour later on
  // the local clock.
  TickAt("2025-03-28 09:00:10");
  EXPECT_EQ(Start(), "2025-04-25 10:00:00");
  EXPECT_EQ(actions_.lines.size(), 3u);
}

TEST_F(EngineTest, DailyStepAcrossTheSpringChange) {
  Add("2025-03-29 09:00:00", kDaily);
  TickAt("2025-03-29 09:00:00");
  EXPECT_EQ(Start(), "2025-03-30 10:00:00");
}

// ---- one-time and restricted runs -----------------------------------------------

TEST_F(EngineTest, OneTimeUnrestrictedDisappearsWhenItStarts) {
  Add("2025-01-31 09:00:00");
  auto r = TickAt("2025-01-31 09:00:30");
  EXPECT_THAT(actions_.lines, ElementsAre("run /opt/tarn/tarn -/q/night.tsc", "remove night"));
  EXPECT_TRUE(r.changed);
  EXPECT_TRUE(r.saved);
  EXPECT_TRUE(list_->Empty());
}

TEST_F(EngineTest, OneTimeRestrictedWaitsForItsStopThenGoes) {
  Add("2025-01-31 09:00:00", 0, "2025-01-31 10:30:00");
  TickAt("2025-01-31 09:00:30");
  ASSERT_EQ(list_->Count(), 1u);
  EXPECT_EQ(list_->At(0).m_bRunning, 1);
  TickAt("2025-01-31 10:29:59");
  EXPECT_EQ(actions_.lines.size(), 1u);
  TickAt("2025-01-31 10:30:00");
  EXPECT_THAT(actions_.lines, ElementsAre("run /opt/tarn/tarn -/q/night.tsc",
                                          "stop Tarn Scheduled Session - night", "remove night"));
  EXPECT_TRUE(list_->Empty());
}

TEST_F(EngineTest, RecurringRestrictedStopsAndWaitsForTheNextStart) {
  Add("2025-01-31 09:00:00", kDaily, "2025-01-31 10:30:00");
  TickAt("2025-01-31 09:00:00");
  EXPECT_EQ(list_->At(0).m_bRunning, 1);
  EXPECT_EQ(Start(), "2025-02-01 09:00:00");
  TickAt("2025-01-31 10:30:05");
  EXPECT_EQ(list_->At(0).m_bRunning, 0);
  EXPECT_EQ(Stop(), "2025-02-01 10:30:00");
  EXPECT_THAT(actions_.lines, ElementsAre("run /opt/tarn/tarn -/q/night.tsc",
                                          "stop Tarn Scheduled Session - night"));
}

TEST_F(EngineTest, RunNowOnAnOverdueRestrictedScheduleKeepsItsLengthFromNow) {
  Add("2025-01-31 09:00:00", 0, "2025-01-31 10:30:00");
  asker_.answer = kRunNow;
  TickAt("2025-01-31 14:00:00");
  EXPECT_EQ(Stop(), "2025-01-31 15:30:00");
  EXPECT_EQ(list_->At(0).m_bRunning, 1);
  TickAt("2025-01-31 15:30:00");
  EXPECT_EQ(actions_.lines.back(), "remove night");
}

TEST_F(EngineTest, SkipOnARestrictedScheduleStillPostsTheStop) {
  Add("2025-01-31 09:00:00", 0, "2025-01-31 18:00:00");
  asker_.answer = kSkipSchedule;
  TickAt("2025-01-31 14:00:00");
  EXPECT_THAT(actions_.lines, IsEmpty());
  EXPECT_EQ(list_->At(0).m_bRunning, 1);
  TickAt("2025-01-31 18:00:00");
  EXPECT_THAT(actions_.lines, ElementsAre("stop Tarn Scheduled Session - night", "remove night"));
}

TEST_F(EngineTest, RecurringWithoutAKnownFrequencyRunsOnceOnly) {
  CScheduleEntry& e = Add("2025-01-31 09:00:00");
  e.m_bRecurring = 1;
  e.m_nFrequency = 7;
  TickAt("2025-01-31 09:00:00");
  TickAt("2025-01-31 09:00:30");
  EXPECT_THAT(actions_.lines, ElementsAre("run /opt/tarn/tarn -/q/night.tsc", "remove night"));
}

TEST_F(EngineTest, RemovalExaminesTheEntryThatMovedUp) {
  Add("2025-01-31 09:00:00");
  Add("2025-01-31 09:00:00").m_strQueueFile = "/q/second.tsc";
  Add("2025-02-01 09:00:00").m_strQueueFile = "/q/later.tsc";
  TickAt("2025-01-31 09:01:00");
  EXPECT_THAT(actions_.lines,
              ElementsAre("run /opt/tarn/tarn -/q/night.tsc", "remove night",
                          "run /opt/tarn/tarn -/q/second.tsc", "remove second"));
  ASSERT_EQ(list_->Count(), 1u);
  EXPECT_EQ(list_->At(0).DisplayName(), "later");
}

// ---- the client's command line ------------------------------------------------

TEST_F(EngineTest, ClientArgumentsCarryTheMailValuesInOrder) {
  CScheduleEntry& e = Add("2025-01-31 09:00:00");
  e.m_strQueueFile = "/home/o ps/night-1.tsc";
  e.m_bNotify = 1;
  e.m_strSmtpHost = "mail.example.org:25";
  e.m_strSender = "ops@example.org";
  e.m_strReceiver = "admin@example.org";
  EXPECT_THAT(engine_.ClientArguments(e),
              ElementsAre("/opt/tarn/tarn", "-/home/o ps/night-1.tsc", "-mail.example.org:25",
                          "-ops@example.org", "-admin@example.org"));
  e.m_bNotify = 0;
  EXPECT_THAT(engine_.ClientArguments(e), ElementsAre("/opt/tarn/tarn", "-/home/o ps/night-1.tsc"));
}

TEST_F(EngineTest, EntryBeyondTheCommandLineCapacityIsNotStarted) {
  CScheduleEntry& e = Add("2025-01-31 09:00:00");
  e.m_strQueueFile = "/q/" + std::string(1300, 'x') + "/n.tsc";
  TickAt("2025-01-31 09:00:00");
  EXPECT_THAT(actions_.lines, ElementsAre("refused n", "remove n"));
}

// ---- the overdue question -------------------------------------------------------

TEST_F(EngineTest, OverdueTextsWithTheirDates) {
  CScheduleEntry& e = Add("2025-01-28 21:05:09", kDaily);
  e.m_strQueueFile = "/q/night.run.tsc";
  EXPECT_EQ(ScheduleEngine::OverdueText(e, At("2025-01-31 12:00:00")),
            "A scheduled transfer (night, Tue. Jan. 28, 09:05:09 PM) did not run at it's "
            "scheduled time, probably because the Tarn Scheduling Application was not running "
            "at the time of the schedule.  You can run this schedule now, skip it this time "
            "(run again on Fri. Jan. 31, 09:05:09 PM), or delete it completely.");
  e.m_bRecurring = 0;
  e.m_timeStart = At("2025-07-04 00:30:00");
  EXPECT_EQ(ScheduleEngine::OverdueText(e, At("2025-07-05 12:00:00")),
            "A one-time transfer (night, Fri. Jul. 04, 12:30:00 AM) did not run at it's "
            "scheduled time, probably because the Tarn Scheduling Application was not running "
            "at the time of the schedule.  You can run this schedule now, or delete it "
            "completely.");
}

TEST_F(EngineTest, TheQuestionsNextDateUsesTheTimeWhenAsked) {
  Add("2025-01-28 09:00:00", kDaily);
  // The question is read later than the check began: its "next" date
  // follows the clock, the check's own now does not.
  struct LaterClock : Clock {
    int calls = 0;
    int64_t first, later;
    int64_t Now() override { return calls++ == 0 ? first : later; }
  } later;
  later.first = At("2025-01-31 08:00:00");
  later.later = At("2025-01-31 10:00:00");
  ScheduleEngine e2(later, actions_, asker_, "/opt/tarn/tarn");
  e2.Tick(*list_, notice_, false);
  ASSERT_EQ(asker_.texts.size(), 1u);
  EXPECT_THAT(asker_.texts[0], ::testing::HasSubstr("run again on Sat. Feb. 01, 09:00:00 AM"));
  EXPECT_EQ(Start(), "2025-01-31 09:00:00") << "the step follows the check's own now";
}

TEST_F(EngineTest, TicksNeverOverlapWhileAQuestionIsOpen) {
  Add("2025-01-28 09:00:00", kDaily);
  Add("2025-01-31 09:00:00").m_strQueueFile = "/q/other.tsc";
  int nested = 0;
  asker_.answer = kRunNow;
  asker_.whileAsking = [&] {
    // The question's event loop delivers further timer ticks.
    for (int i = 0; i < 3; ++i) {
      auto r = engine_.Tick(*list_, notice_);
      EXPECT_FALSE(r.ran);
      ++nested;
    }
    EXPECT_TRUE(engine_.InTick());
  };
  auto r = TickAt("2025-01-31 12:00:00");
  EXPECT_TRUE(r.ran);
  EXPECT_FALSE(engine_.InTick());
  EXPECT_EQ(nested, 6);  // three during each of the two questions
  EXPECT_EQ(asker_.texts.size(), 2u);
  EXPECT_EQ(actions_.lines.size(), 3u);  // two runs, one removal
  asker_.whileAsking = nullptr;
  EXPECT_TRUE(engine_.Tick(*list_, notice_).ran) << "the guard is cleared after the tick";
}

TEST_F(EngineTest, DryTickChangesTheListButNotTheFile) {
  Add("2025-01-31 09:00:00");
  clock_.now = At("2025-01-31 09:00:00");
  auto r = engine_.Tick(*list_, notice_, false);
  EXPECT_TRUE(r.changed);
  EXPECT_FALSE(r.saved);
  EXPECT_FALSE(std::filesystem::exists(File("almanor.tsl")));
}

// ---- the end of the 32-bit times -----------------------------------------------
// The file holds times up to 2038-01-19 03:14:07 UTC (04:14:07 in Berlin). A
// time past it, wrapped into 1901, would be due at once and at every tick.

TEST_F(EngineTest, RecurringScheduleEndsWhenItsNextTimeCannotBeStored) {
  struct Case {
    const char* name;
    int32_t frequency;
    const char* start;
    const char* stop;  // "" for an unrestricted schedule
    std::vector<const char*> ticks;
    std::vector<std::string> lines;
    const char* notice;
  } cases[] = {
      {"next start past the end, unrestricted", kDaily, "2038-01-18 09:00:00", "",
       {"2038-01-18 09:00:00"},
       {"run /opt/tarn/tarn -/q/night.tsc", "remove night"},
       "its next start would lie after 03:14:07 UTC on 19 January 2038"},
      {"next start past the end, restricted: the run still gets its stop", kDaily,
       "2038-01-18 09:00:00", "2038-01-18 10:30:00",
       {"2038-01-18 09:00:00", "2038-01-18 10:29:59", "2038-01-18 10:30:00"},
       {"run /opt/tarn/tarn -/q/night.tsc", "stop Tarn Scheduled Session - night",
        "remove night"},
       "its next start would lie after"},
      {"next start fits, next stop does not", kWeekly, "2038-01-12 03:00:00",
       "2038-01-12 05:00:00",
       {"2038-01-12 03:00:00", "2038-01-12 05:00:00"},
       {"run /opt/tarn/tarn -/q/night.tsc", "stop Tarn Scheduled Session - night",
        "remove night"},
       "its next stop would lie after"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    list_->Clear();
    actions_.lines.clear();
    notice_.shown.clear();
    Add(c.start, c.frequency, c.stop);
    for (const char* t : c.ticks) {
      TickAt(t);
      CSchedule onDisk(list_->FileName());
      ASSERT_EQ(onDisk.Load(notice_), LoadResult::kOk);
      for (const auto& e : onDisk.Entries()) {
        EXPECT_GE(e.m_timeStart, At(c.start)) << "a start wrapped into 1901 at " << t;
        if (e.m_bRestrict) {
          EXPECT_GE(e.m_timeStop, At(c.start)) << "a stop wrapped at " << t;
        }
      }
    }
    EXPECT_EQ(actions_.lines, c.lines);
    EXPECT_TRUE(list_->Empty());
    EXPECT_THAT(notice_.Texts(), ::testing::HasSubstr(c.notice));
    TickAt("2038-01-19 04:14:07");
    EXPECT_EQ(actions_.lines.size(), c.lines.size()) << "nothing fires again";
  }
}

TEST_F(EngineTest, ClockPastTheEndOfStorableTimesEndsRecurringSchedulesOnce) {
  Add("2038-01-01 09:00:00", kDaily);
  Add("2037-12-01 09:00:00", kWeekly, "2037-12-01 10:00:00").m_strQueueFile = "/q/weekly.tsc";
  asker_.answer = kRunNow;
  clock_.now = kCTimeMax + 10 * kDailyStep;  // a 64-bit clock in February 2038
  engine_.Tick(*list_, notice_);
  // The restricted one runs as asked and is stopped at once: its stop
  // cannot lie after the last storable moment, which has passed.
  EXPECT_EQ(asker_.texts.size(), 2u);
  ASSERT_EQ(list_->Count(), 1u);
  EXPECT_EQ(list_->At(0).m_timeStop, kCTimeMax);
  EXPECT_EQ(list_->At(0).m_bRecurring, 0);
  engine_.Tick(*list_, notice_);
  EXPECT_THAT(actions_.lines,
              ElementsAre("run /opt/tarn/tarn -/q/night.tsc", "remove night",
                          "run /opt/tarn/tarn -/q/weekly.tsc",
                          "stop Tarn Scheduled Session - weekly", "remove weekly"));
  engine_.Tick(*list_, notice_);
  EXPECT_EQ(actions_.lines.size(), 5u);
  EXPECT_EQ(asker_.texts.size(), 2u) << "nothing is asked again";
}

TEST_F(EngineTest, RunNowStopPastTheEndIsCutToTheLastStorableMoment) {
  Add("2038-01-17 09:00:00", 0, "2038-01-18 09:00:00");  // a 24-hour run
  asker_.answer = kRunNow;
  TickAt("2038-01-18 12:00:00");
  ASSERT_EQ(list_->Count(), 1u);
  EXPECT_EQ(list_->At(0).m_timeStop, kCTimeMax);
  EXPECT_THAT(notice_.Texts(), ::testing::HasSubstr("is stopped at 03:14:07 UTC on 19 January 2038"));
  CSchedule onDisk(list_->FileName());
  ASSERT_EQ(onDisk.Load(notice_), LoadResult::kOk);
  ASSERT_EQ(onDisk.Count(), 1u);
  EXPECT_EQ(onDisk.At(0).m_timeStop, kCTimeMax);
  TickAt("2038-01-19 04:14:06");
  EXPECT_EQ(actions_.lines.size(), 1u);
  TickAt("2038-01-19 04:14:07");
  EXPECT_EQ(actions_.lines.back(), "remove night");
}

TEST_F(EngineTest, OverdueQuestionWithoutAStorableNextStartIsTheOneTimeOne) {
  CScheduleEntry& e = Add("2038-01-15 09:00:00", kWeekly);
  EXPECT_THAT(ScheduleEngine::OverdueText(e, At("2038-01-18 12:00:00")),
              ::testing::StartsWith("A one-time transfer (night, Fri. Jan. 15, 09:00:00 AM)"));
  e.m_nFrequency = kDaily;
  EXPECT_THAT(ScheduleEngine::OverdueText(e, At("2038-01-17 12:00:00")),
              ::testing::HasSubstr("(run again on Mon. Jan. 18, 09:00:00 AM)"));
}

}  // namespace
}  // namespace sched
