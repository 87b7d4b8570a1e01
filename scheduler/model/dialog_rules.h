// The rules behind the scheduler's dialogs, apart from any window: the
// e-mail checks, the compacted path, and the editor's data to and from an
// entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "scheduler/model/local_time.h"
#include "scheduler/model/schedule_entry.h"

namespace sched {

// At least 6 characters; one "@", not first; a ".", not first; none of
// , ; \ / + = : " ' ` ~ ?; not ending in "@" or "."; none of "@." ".@" "*@"
// "@*" "..".
bool IsValidAddress(const std::string& address);
// At least 4 characters.
bool IsValidSmtpHost(const std::string& host);

enum class EmailField { kNone, kSmtpHost, kSender, kReceiver };
struct EmailCheck {
  EmailField field = EmailField::kNone;  // the first offending field
  const char* message = nullptr;
};
// Checks host, sender and receiver in this order; the first failure wins.
EmailCheck CheckEmailValues(const std::string& host, const std::string& sender,
                            const std::string& receiver);

// A path shortened to at most `max` characters with "..." standing for
// folders in the middle, the file name kept whole as long as it fits:
// "/home/ops/queues/nightly/night.tsc" -> "/home/ops/.../night.tsc".
std::string CompactPath(const std::string& path, size_t max);

// The pickers' latest date: 23 November 2037.
inline constexpr int kLatestYear = 2037, kLatestMonth = 11, kLatestDay = 23;

// What "Add Scheduled Transfer" edits.
struct EditorData {
  std::string queueFile;  // "" until one is chosen
  bool restrict = false;
  LocalParts startDate, startTime;  // date part of the one, clock part of the other
  LocalParts endDate, endTime;
  bool recurring = false;
  int32_t frequency = 0;  // 1 daily, 2 weekly, 3 monthly; 0 none chosen
  bool notify = false;
  std::string sender, receiver, smtpHost;
};

// The entry an editor's data makes (on OK). False when a time does not fit
// a CTime.
bool EntryFromEditor(const EditorData& d, CScheduleEntry* e);
// The editor's data for an entry (edit); `now` fills the end pickers of an
// unrestricted entry.
EditorData EditorFromEntry(const CScheduleEntry& e, int64_t now);

// The "Freq" cell: " ", "Daily", "Weekly", "Monthly".
std::string FrequencyText(int32_t frequency);

}  // namespace sched
