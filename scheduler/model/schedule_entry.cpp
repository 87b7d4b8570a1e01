#include "scheduler/model/schedule_entry.h"

#include "platform/ipc.h"

namespace sched {

int64_t FrequencyStep(int32_t frequency) {
  switch (frequency) {
    case kDaily: return kDailyStep;
    case kWeekly: return kWeeklyStep;
    case kMonthly: return kMonthlyStep;
    default: return 0;
  }
}

std::string CScheduleEntry::DisplayName() const {
  auto sep = m_strQueueFile.find_last_of("\\/");
  std::string name = sep == std::string::npos ? m_strQueueFile : m_strQueueFile.substr(sep + 1);
  auto dot = name.find('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string CScheduleEntry::SessionTitleName() const {
  return platform::ScheduledSessionName(m_strQueueFile);
}

size_t CommandLineLength(const CScheduleEntry& e, const std::string& clientPath) {
  size_t n = 1 + clientPath.size() + 2 + 1 + e.m_strQueueFile.size();
  if (e.m_bNotify == 1)
    n += 2 + e.m_strSmtpHost.size() + 2 + e.m_strSender.size() + 2 + e.m_strReceiver.size();
  return n;
}

std::string CheckEntryLimits(const CScheduleEntry& e, const std::string& clientPath) {
  if (CommandLineLength(e, clientPath) > kMaxCommandLine)
    return "The schedule file's path and the e-mail values are too long: the command line "
           "that starts the client may hold at most 1,283 characters.";
  if (std::string(platform::kScheduledSessionPrefix).size() + e.SessionTitleName().size() >
      kMaxSessionTitle)
    return "The schedule file's name is too long: the title of the scheduled session may "
           "hold at most 259 characters.";
  return "";
}

}  // namespace sched
