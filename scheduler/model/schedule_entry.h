// One planned run of a transfer queue.
#pragma once

#include <cstdint>
#include <string>

namespace sched {

// Frequencies of a recurring schedule, and their steps in whole seconds
// (added to the CTime, so across a daylight-saving change the local start
// time moves by the size of the change). Monthly is 28 days.
enum Frequency : int32_t { kNoFrequency = 0, kDaily = 1, kWeekly = 2, kMonthly = 3 };
inline constexpr int64_t kDailyStep = 86400;
inline constexpr int64_t kWeeklyStep = 604800;
inline constexpr int64_t kMonthlyStep = 2419200;
// The step of a frequency; 0 for any value other than 1, 2 or 3.
int64_t FrequencyStep(int32_t frequency);

struct CScheduleEntry {
  int32_t m_bRunning = 0;        // a restricted run was started; its stop is awaited
  std::string m_strQueueFile;    // full path of the schedule file to run
  int32_t m_bRestrict = 0;       // the run is stopped at m_timeStop
  int32_t m_bRecurring = 0;
  int64_t m_timeStop = 0;        // CTime; meaningful when m_bRestrict is 1
  int64_t m_timeStart = 0;       // CTime of the next start
  int32_t m_nFrequency = 0;      // Frequency
  std::string m_strSender;
  std::string m_strReceiver;
  std::string m_strSmtpHost;
  int32_t m_bNotify = 0;         // mail the run log after the run

  // List column "Name" and overdue message: the text after the last "\" or
  // "/", cut before its first ".". "C:\q\night.run.tsc" -> "night".
  std::string DisplayName() const;
  // The client's window title during a run is "Tarn Scheduled Session - "
  // plus this: the path cut at its last ".", then the text after the last
  // "\" or "/". "C:\q\night.run.tsc" -> "night.run".
  std::string SessionTitleName() const;

  bool operator==(const CScheduleEntry&) const = default;
};

// Capacities the client's start and stop rely on: the command line that
// starts the client holds at most 1,283 characters (a 1,284-byte buffer with
// its NUL, counted in its one-string form "\"<client>\" -<queue> -<host>
// -<sender> -<receiver>"), the session title at most 259.
inline constexpr size_t kMaxCommandLine = 1283;
inline constexpr size_t kMaxSessionTitle = 259;

// Length of the one-string form of the command line that starts
// `clientPath` for `e`.
size_t CommandLineLength(const CScheduleEntry& e, const std::string& clientPath);

// "" when `e` can be started and stopped; otherwise the message that
// refuses it.
std::string CheckEntryLimits(const CScheduleEntry& e, const std::string& clientPath);

}  // namespace sched
