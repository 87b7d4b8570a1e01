#include "scheduler/model/engine.h"

#include <ctime>

#include "platform/ipc.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "scheduler/model/local_time.h"
#include "scheduler/model/messages.h"

namespace sched {

namespace {

// Moves `t` on by `step` until it lies strictly after `now`.
int64_t StepPast(int64_t t, int64_t step, int64_t now) {
  if (step <= 0 || now < t) return t;
  return t + ((now - t) / step + 1) * step;
}

std::string Fill(const char* format, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;
  for (const char* p = format; *p; ++p) {
    if (p[0] == '%' && p[1] == 's' && next < args.size()) {
      out += args[next++];
      ++p;
    } else {
      out.push_back(*p);
    }
  }
  return out;
}

}  // namespace

int64_t SystemClock::Now() { return static_cast<int64_t>(std::time(nullptr)); }

void SystemActions::StartClient(const CScheduleEntry&, const std::vector<std::string>& argv) {
  std::string error;
  platform::StartProgram(argv, platform::StartHint::kMinimisedNoActivate, &error,
                         detached_ ? platform::ChildStdio::kNull : platform::ChildStdio::kInherit);
}

void SystemActions::PostStop(const CScheduleEntry&, const std::string& title) {
  platform::Post(title, platform::kTarnStopMessage, 0, 0);
}

std::string DefaultClientPath() { return platform::PathJoin(platform::ProgramDirectory(), "tarn"); }

ScheduleEngine::ScheduleEngine(Clock& clock, EngineActions& actions, OverdueAsker& asker,
                               std::string clientPath)
    : clock_(clock), actions_(actions), asker_(asker), clientPath_(std::move(clientPath)) {}

ScheduleEngine::TickResult ScheduleEngine::Tick(CSchedule& list, Notice& notice, bool save) {
  TickResult result;
  if (inTick_) return result;
  inTick_ = true;
  result.ran = true;
  for (size_t i = 0; i < list.Count();) {
    CheckResult r = Check(list.At(i));
    if (r == CheckResult::kRemove) {
      actions_.Removed(list.At(i));
      list.Remove(i);
      result.changed = true;
      continue;  // the next entry moved into this place
    }
    if (r == CheckResult::kChanged) result.changed = true;
    ++i;
  }
  // Shown while the mark still stands: a message box runs an event loop.
  for (const auto& text : TakeNotices()) notice.Show(text, NoticeIcon::kExclamation);
  inTick_ = false;
  if (result.changed && save) result.saved = list.Save(notice);
  return result;
}

CheckResult ScheduleEngine::Check(CScheduleEntry& e) {
  const int64_t now = clock_.Now();
  if (e.m_bRunning == 0) {
    if (now < e.m_timeStart) return CheckResult::kNothing;
    int64_t late = (now - e.m_timeStart) / 60;
    if (late <= kLateLimitMinutes) {
      Run(e);
    } else {
      switch (AskOverdue(e)) {
        case kSkipSchedule: break;
        case kDeleteSchedule: return CheckResult::kRemove;
        case kRunNow:
          if (e.m_bRestrict == 1) {
            int64_t stop = now + (e.m_timeStop - e.m_timeStart);
            if (!CTimeFits(stop)) {
              // Wrapped into 1901, the stop would end the run at the next
              // tick; the last storable moment stops it early instead.
              Notify("The run of the schedule \"" + e.DisplayName() + "\" is stopped at " +
                     kCTimeLimitText + ", the latest time the schedule list can store, "
                     "instead of at " + FormatIsoTime(stop) + ".");
              stop = kCTimeMax;
            }
            e.m_timeStop = stop;
          }
          Run(e);
          break;
        default: Run(e); break;
      }
    }
    // A recurring schedule without a known frequency has no next start: it
    // would be started again at every tick. It ends as a one-time one does.
    int64_t step = FrequencyStep(e.m_nFrequency);
    if (e.m_bRecurring == 1 && step > 0) {
      int64_t next = StepPast(e.m_timeStart, step, now);
      if (CTimeFits(next)) {
        e.m_timeStart = next;
        if (e.m_bRestrict == 1) e.m_bRunning = 1;
        return CheckResult::kChanged;
      }
      // A start the file cannot hold would come back as a time in 1901,
      // due at once and at every tick after. The schedule ends here as a
      // one-time one: a restricted run still gets its stop.
      Notify(EndsText(e, "start"));
      e.m_bRecurring = 0;
      e.m_nFrequency = kNoFrequency;
    }
    if (e.m_bRestrict == 1) {
      e.m_bRunning = 1;
      return CheckResult::kChanged;
    }
    return CheckResult::kRemove;
  }
  if (now < e.m_timeStop) return CheckResult::kNothing;
  PostStop(e);
  if (e.m_bRecurring == 0) return CheckResult::kRemove;
  int64_t step = FrequencyStep(e.m_nFrequency);
  if (step == 0) return CheckResult::kRemove;
  int64_t next = StepPast(e.m_timeStop, step, now);
  if (!CTimeFits(next)) {
    Notify(EndsText(e, "stop"));
    return CheckResult::kRemove;
  }
  e.m_timeStop = next;
  e.m_bRunning = 0;
  return CheckResult::kChanged;
}

std::string ScheduleEngine::EndsText(const CScheduleEntry& e, const char* what) {
  return std::string("The schedule \"") + e.DisplayName() + "\" ends: its next " + what +
         " would lie after " + kCTimeLimitText +
         ", the latest time the schedule list can store.";
}

void ScheduleEngine::Notify(std::string text) { notices_.push_back(std::move(text)); }

std::vector<std::string> ScheduleEngine::TakeNotices() {
  std::vector<std::string> out;
  out.swap(notices_);
  return out;
}

std::vector<std::string> ScheduleEngine::ClientArguments(const CScheduleEntry& e) const {
  std::vector<std::string> argv = {clientPath_, "-" + e.m_strQueueFile};
  if (e.m_bNotify == 1) {
    argv.push_back("-" + e.m_strSmtpHost);
    argv.push_back("-" + e.m_strSender);
    argv.push_back("-" + e.m_strReceiver);
  }
  return argv;
}

void ScheduleEngine::Run(const CScheduleEntry& e) {
  if (CommandLineLength(e, clientPath_) > kMaxCommandLine) {
    actions_.Refused(e, CheckEntryLimits(e, clientPath_));
    return;
  }
  actions_.StartClient(e, ClientArguments(e));
}

void ScheduleEngine::PostStop(const CScheduleEntry& e) {
  std::string title = platform::kScheduledSessionPrefix + e.SessionTitleName();
  if (title.size() > kMaxSessionTitle) {
    actions_.Refused(e, CheckEntryLimits(e, clientPath_));
    return;
  }
  actions_.PostStop(e, title);
}

std::string ScheduleEngine::OverdueText(const CScheduleEntry& e, int64_t now) {
  std::string start = FormatOverdueTime(e.m_timeStart);
  if (e.m_bRecurring == 1) {
    int64_t next = StepPast(e.m_timeStart, FrequencyStep(e.m_nFrequency), now);
    // A next start the list cannot hold never comes (Check ends the
    // schedule); the question is then the one-time one.
    if (CTimeFits(next))
      return Fill(kStr1011OverdueRecurring, {e.DisplayName(), start, FormatOverdueTime(next)});
  }
  return Fill(kStr1012OverdueOnce, {e.DisplayName(), start});
}

int ScheduleEngine::AskOverdue(const CScheduleEntry& e) {
  return asker_.AskOverdue(e, OverdueText(e, clock_.Now()));
}

}  // namespace sched
