#include "scheduler/model/dialog_rules.h"

#include "scheduler/model/messages.h"

namespace sched {

bool IsValidAddress(const std::string& a) {
  if (a.size() < 6) return false;
  auto at = a.find('@');
  if (at == std::string::npos || at == 0 || a.find('@', at + 1) != std::string::npos) return false;
  auto dot = a.find('.');
  if (dot == std::string::npos || dot == 0) return false;
  if (a.find_first_of(",;\\/+=:\"'`~?") != std::string::npos) return false;
  if (a.back() == '@' || a.back() == '.') return false;
  for (const char* pair : {"@.", ".@", "*@", "@*", ".."})
    if (a.find(pair) != std::string::npos) return false;
  return true;
}

bool IsValidSmtpHost(const std::string& host) { return host.size() >= 4; }

EmailCheck CheckEmailValues(const std::string& host, const std::string& sender,
                            const std::string& receiver) {
  if (!IsValidSmtpHost(host)) return {EmailField::kSmtpHost, kBadSmtpHost};
  if (!IsValidAddress(sender)) return {EmailField::kSender, kBadAddress};
  if (!IsValidAddress(receiver)) return {EmailField::kReceiver, kBadAddress};
  return {};
}

std::string CompactPath(const std::string& path, size_t max) {
  if (path.size() <= max) return path;
  auto sep = path.find_last_of("\\/");
  std::string name = sep == std::string::npos ? path : path.substr(sep);  // with its separator
  if (name.size() + 3 > max) {
    // Not even "..." and the name fit: the name's start and "...".
    if (max <= 3) return std::string(max, '.');
    std::string bare = sep == std::string::npos ? path : path.substr(sep + 1);
    return bare.substr(0, max - 3) + "...";
  }
  if (name.size() + 4 > max) return "..." + name;
  // The head ends before a separator, so no folder name is cut in half.
  std::string head = path.substr(0, max - 4 - name.size());
  auto lastSep = head.find_last_of("\\/");
  if (lastSep != std::string::npos) head.erase(lastSep);
  if (head.empty()) return "..." + name;
  return head + name[0] + "..." + name;
}

namespace {

bool Combine(const LocalParts& date, const LocalParts& time, int64_t* out) {
  LocalParts p = date;
  p.hour = time.hour;
  p.minute = time.minute;
  p.second = time.second;
  return LocalToCTime(p, out);
}

}  // namespace

bool EntryFromEditor(const EditorData& d, CScheduleEntry* e) {
  int64_t start = 0, stop = 0;
  if (!Combine(d.startDate, d.startTime, &start) || !Combine(d.endDate, d.endTime, &stop))
    return false;
  e->m_strQueueFile = d.queueFile;
  e->m_bRestrict = d.restrict ? 1 : 0;
  e->m_timeStart = start;
  e->m_timeStop = stop;
  // The list's "Freq" and the editor's next opening go by the
  // frequency: a one-time schedule keeps none, whatever the list still
  // showed when "Recurring Transfer" was cleared.
  e->m_nFrequency = d.recurring ? d.frequency : 0;
  e->m_bRecurring = d.recurring ? 1 : 0;
  e->m_bNotify = d.notify ? 1 : 0;
  e->m_strSender = d.sender;
  e->m_strReceiver = d.receiver;
  e->m_strSmtpHost = d.smtpHost;
  return true;
}

EditorData EditorFromEntry(const CScheduleEntry& e, int64_t now) {
  EditorData d;
  d.queueFile = e.m_strQueueFile;
  d.startDate = d.startTime = CTimeToLocal(e.m_timeStart);
  d.endDate = d.endTime = CTimeToLocal(e.m_bRestrict == 1 ? e.m_timeStop : now);
  d.recurring = e.m_nFrequency != 0;
  d.frequency = e.m_nFrequency;
  d.restrict = e.m_bRestrict == 1;
  d.notify = e.m_bNotify == 1;
  d.sender = e.m_strSender;
  d.receiver = e.m_strReceiver;
  d.smtpHost = e.m_strSmtpHost;
  return d;
}

std::string FrequencyText(int32_t frequency) {
  switch (frequency) {
    case kDaily: return "Daily";
    case kWeekly: return "Weekly";
    case kMonthly: return "Monthly";
    default: return " ";
  }
}

}  // namespace sched
