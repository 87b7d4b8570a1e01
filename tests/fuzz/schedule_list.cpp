// The scheduler's list file (almanor.tsl) reader under fuzz: the input is
// the file. What it reads is written and read again unchanged, and the
// engine then ticks over the list at a few moments, the extremes of a CTime
// among them, answering the overdue question each of the three ways.
#include <cstdint>
#include <string>
#include <vector>

#include "scheduler/model/engine.h"
#include "scheduler/model/local_time.h"
#include "scheduler/model/messages.h"
#include "scheduler/model/schedule.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

class CountingNotice : public sched::Notice {
 public:
  void Show(const std::string& text, sched::NoticeIcon) override {
    FUZZ_CHECK(!text.empty());
    ++shown;
  }
  int shown = 0;
};

class FixedClock : public sched::Clock {
 public:
  int64_t Now() override { return now; }
  int64_t now = 0;
};

class NoActions : public sched::EngineActions {
 public:
  void StartClient(const sched::CScheduleEntry&, const std::vector<std::string>& argv) override {
    FUZZ_CHECK(argv.size() == 2 || argv.size() == 5);
  }
  void PostStop(const sched::CScheduleEntry&, const std::string& title) override {
    FUZZ_CHECK(title.size() <= sched::kMaxSessionTitle);
  }
  void Refused(const sched::CScheduleEntry&, const std::string& why) override {
    FUZZ_CHECK(!why.empty());
  }
};

class CyclingAsker : public sched::OverdueAsker {
 public:
  int AskOverdue(const sched::CScheduleEntry&, const std::string& text) override {
    FUZZ_CHECK(!text.empty());
    static constexpr int kAnswers[] = {sched::kRunNow, sched::kSkipSchedule,
                                       sched::kDeleteSchedule};
    return kAnswers[asked++ % 3];
  }
  unsigned asked = 0;
};

}  // namespace

TARN_FUZZ_TARGET(schedule_list) {
  using namespace sched;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  CountingNotice notice;
  CSchedule list("/nonexistent/almanor.tsl");
  const LoadResult result = list.Deserialize(bytes, "almanor.tsl", notice);
  FUZZ_CHECK(list.Count() <= CSchedule::kCapacity);
  if (result == LoadResult::kBadVersion) FUZZ_CHECK(list.Empty());

  const std::string saved = list.Serialize();
  CSchedule reread("/nonexistent/almanor.tsl");
  FUZZ_CHECK(reread.Deserialize(saved, "almanor.tsl", notice) == LoadResult::kOk);
  FUZZ_CHECK(reread.Entries() == list.Entries());
  FUZZ_CHECK(reread.Serialize() == saved);

  for (const CScheduleEntry& e : list.Entries()) {
    (void)e.DisplayName();
    (void)CheckEntryLimits(e, "/usr/bin/tarn");
    (void)FormatListDate(e.m_timeStart);
    (void)FormatListTime(e.m_timeStop);
    (void)FormatIsoTime(e.m_timeStart);
    (void)ScheduleEngine::OverdueText(e, e.m_timeStart + 3600);
  }

  FixedClock clock;
  NoActions actions;
  CyclingAsker asker;
  ScheduleEngine engine(clock, actions, asker, "/usr/bin/tarn");
  std::vector<int64_t> moments = {kCTimeMin, 0, 1700000000, kCTimeMax};
  if (!list.Empty()) {
    moments.push_back(list.At(0).m_timeStart + 60);
    moments.push_back(list.At(0).m_timeStart + 11 * 60);
    moments.push_back(list.At(0).m_timeStop);
  }
  for (int64_t now : moments) {
    clock.now = now;
    const size_t before = list.Count();
    engine.Tick(list, notice, /*save=*/false);
    FUZZ_CHECK(list.Count() <= before);
  }
  return 0;
}
