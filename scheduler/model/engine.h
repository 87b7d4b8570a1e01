// The scheduling engine: twice a minute it looks at every schedule, starts
// the client for a due one, stops a time-restricted run at its stop time,
// moves recurring schedules on and removes finished one-time ones, and asks
// what to do with a schedule that was missed by more than ten minutes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scheduler/model/schedule.h"

namespace sched {

inline constexpr int kTimerPeriodMs = 30000;
inline constexpr int64_t kLateLimitMinutes = 10;

// The time the engine works with; tests and "--tick-at" give their own.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t Now() = 0;  // CTime
};

class SystemClock : public Clock {
 public:
  int64_t Now() override;
};

// Asks about a missed schedule ("Overdue Schedule" in the tray program,
// the --overdue choice in the headless form). Returns kRunNow,
// kSkipSchedule or kDeleteSchedule (messages.h); any other value runs.
class OverdueAsker {
 public:
  virtual ~OverdueAsker() = default;
  virtual int AskOverdue(const CScheduleEntry& entry, const std::string& text) = 0;
};

// What the engine does to the world.
class EngineActions {
 public:
  virtual ~EngineActions() = default;
  // Starts the client with `argv` (argv[0] the client's path); its result
  // changes nothing: the entry moves on as if the run had started.
  virtual void StartClient(const CScheduleEntry& entry, const std::vector<std::string>& argv) = 0;
  // Tells the run titled `title` to stop; nothing happens when none runs.
  virtual void PostStop(const CScheduleEntry& entry, const std::string& title) = 0;
  // The entry leaves the list (before it is destroyed).
  virtual void Removed(const CScheduleEntry& entry) { (void)entry; }
  // The entry cannot be started or stopped (it is beyond a capacity).
  virtual void Refused(const CScheduleEntry& entry, const std::string& why) {
    (void)entry, (void)why;
  }
};

// The real world: the client through platform/process, minimised without
// activation; the stop through platform/ipc.
class SystemActions : public EngineActions {
 public:
  // `detached`: the client's standard streams go to /dev/null instead of
  // sharing the scheduler's.
  explicit SystemActions(bool detached = false) : detached_(detached) {}
  void StartClient(const CScheduleEntry& entry, const std::vector<std::string>& argv) override;
  void PostStop(const CScheduleEntry& entry, const std::string& title) override;

 private:
  bool detached_;
};

// `<the scheduler's own folder>/tarn`.
std::string DefaultClientPath();

// Check's answers.
enum class CheckResult { kNothing = 0, kRemove = 1, kChanged = 2 };

class ScheduleEngine {
 public:
  ScheduleEngine(Clock& clock, EngineActions& actions, OverdueAsker& asker,
                 std::string clientPath = DefaultClientPath());

  struct TickResult {
    bool ran = false;      // false when a tick was already in progress
    bool changed = false;  // an entry was removed or changed
    bool saved = false;
  };

  // One pass over `list`: Check for every entry in order; removed entries
  // go at once, and the list is saved when anything changed (unless `save`
  // is false). Returns at once, doing nothing, while another tick is in
  // progress (an overdue question may run a nested event loop).
  TickResult Tick(CSchedule& list, Notice& notice, bool save = true);
  bool InTick() const { return inTick_; }

  // One entry's step. A recurring schedule whose next start or stop lies
  // beyond what a CTime holds ends (it is kept as a one-time one until its
  // stop, or removed), and a "Run now" stop beyond it is cut to the last
  // storable moment; each says why through TakeNotices, which Tick shows.
  CheckResult Check(CScheduleEntry& e);
  void Run(const CScheduleEntry& e);
  void PostStop(const CScheduleEntry& e);
  int AskOverdue(const CScheduleEntry& e);

  // The client's arguments for `e`: the client's path, "-" + the queue
  // file, and when notifying "-" + SMTP host, "-" + sender, "-" + receiver.
  std::vector<std::string> ClientArguments(const CScheduleEntry& e) const;
  // The overdue question's text for `e`, with `now` for the next start.
  static std::string OverdueText(const CScheduleEntry& e, int64_t now);

  const std::string& ClientPath() const { return clientPath_; }

  // What Check had to tell since the last call.
  std::vector<std::string> TakeNotices();

 private:
  static std::string EndsText(const CScheduleEntry& e, const char* what);
  void Notify(std::string text);

  Clock& clock_;
  EngineActions& actions_;
  OverdueAsker& asker_;
  std::string clientPath_;
  bool inTick_ = false;
  std::vector<std::string> notices_;
};

}  // namespace sched
