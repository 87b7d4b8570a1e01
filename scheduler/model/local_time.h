// Times of the schedule list: CTime values (seconds since 1970-01-01 UTC,
// stored as signed 32 bits) and the local calendar they are entered and shown
// in. Local time is the C library's (TZ), daylight saving decided by it.
#pragma once

#include <cstdint>
#include <string>

namespace sched {

// A CTime holds 1901-12-13 20:45:52 to 2038-01-19 03:14:07 UTC.
inline constexpr int64_t kCTimeMin = INT32_MIN;
inline constexpr int64_t kCTimeMax = INT32_MAX;
inline constexpr bool CTimeFits(int64_t t) { return t >= kCTimeMin && t <= kCTimeMax; }

struct LocalParts {
  int year = 1970, month = 1, day = 1;  // month 1..12
  int hour = 0, minute = 0, second = 0;
  int weekday = 4;  // 0 Sunday
};

// Local calendar date and clock time to a CTime, daylight saving decided by
// the system (a time inside a spring-forward gap moves on by the gap). False
// when the result does not fit a CTime.
bool LocalToCTime(const LocalParts& parts, int64_t* out);

// The local calendar parts of a CTime.
LocalParts CTimeToLocal(int64_t t);

// "Mon. Jan. 31, 09:00:00 AM": the overdue message's "%a. %b. %d, %I:%M:%S %p"
// with the C locale's names, whatever locale the process runs in.
std::string FormatOverdueTime(int64_t t);

// The list's "%x" and "%X" of the C locale: "1/31/24" and "9:00:00".
std::string FormatListDate(int64_t t);
std::string FormatListTime(int64_t t);

// "2024-01-31 09:00:00", for logs and the command line.
std::string FormatIsoTime(int64_t t);

// Reads "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" as local time. False for
// any other form, an impossible date or time, or one beyond a CTime.
bool ParseLocalTime(const std::string& text, int64_t* out);

enum class ParseTime { kOk, kBadForm, kOutOfRange };
// As ParseLocalTime, telling a time of the wrong form from one a CTime
// cannot hold.
ParseTime ParseLocalTimeChecked(const std::string& text, int64_t* out);

// "03:14:07 UTC on 19 January 2038": the last moment a CTime holds, for
// messages.
inline constexpr char kCTimeLimitText[] = "03:14:07 UTC on 19 January 2038";

}  // namespace sched
