#include "scheduler/model/local_time.h"

#include <cstdio>
#include <ctime>

namespace sched {

namespace {

constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : kDaysIn[m - 1];
}

}  // namespace

bool LocalToCTime(const LocalParts& p, int64_t* out) {
  std::tm tm{};
  tm.tm_year = p.year - 1900;
  tm.tm_mon = p.month - 1;
  tm.tm_mday = p.day;
  tm.tm_hour = p.hour;
  tm.tm_min = p.minute;
  tm.tm_sec = p.second;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) {
    // -1 is also 1969-12-31 23:59:59 UTC; mktime then leaves a normalised tm.
    if (tm.tm_year != 69 || tm.tm_mon != 11) return false;
  }
  if (t < kCTimeMin || t > kCTimeMax) return false;
  *out = t;
  return true;
}

LocalParts CTimeToLocal(int64_t t) {
  std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  LocalParts p;
  p.year = tm.tm_year + 1900;
  p.month = tm.tm_mon + 1;
  p.day = tm.tm_mday;
  p.hour = tm.tm_hour;
  p.minute = tm.tm_min;
  p.second = tm.tm_sec;
  p.weekday = tm.tm_wday;
  return p;
}

std::string FormatOverdueTime(int64_t t) {
  LocalParts p = CTimeToLocal(t);
  int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s. %s. %02d, %02d:%02d:%02d %s", kDays[p.weekday],
                kMonths[p.month - 1], p.day, h12, p.minute, p.second, p.hour < 12 ? "AM" : "PM");
  return buf;
}

std::string FormatListDate(int64_t t) {
  LocalParts p = CTimeToLocal(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d/%d/%02d", p.month, p.day, p.year % 100);
  return buf;
}

std::string FormatListTime(int64_t t) {
  LocalParts p = CTimeToLocal(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d", p.hour, p.minute, p.second);
  return buf;
}

std::string FormatIsoTime(int64_t t) {
  LocalParts p = CTimeToLocal(t);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return buf;
}

bool ParseLocalTime(const std::string& text, int64_t* out) {
  return ParseLocalTimeChecked(text, out) == ParseTime::kOk;
}

ParseTime ParseLocalTimeChecked(const std::string& text, int64_t* out) {
  LocalParts p;
  auto digits = [&](size_t at, size_t n, int* v) {
    if (at + n > text.size()) return false;
    int x = 0;
    for (size_t i = at; i < at + n; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      x = x * 10 + (text[i] - '0');
    }
    *v = x;
    return true;
  };
  if (text.size() != 16 && text.size() != 19) return ParseTime::kBadForm;
  if (!digits(0, 4, &p.year) || text[4] != '-' || !digits(5, 2, &p.month) || text[7] != '-' ||
      !digits(8, 2, &p.day) || text[10] != ' ' || !digits(11, 2, &p.hour) || text[13] != ':' ||
      !digits(14, 2, &p.minute))
    return ParseTime::kBadForm;
  if (text.size() == 19 && (text[16] != ':' || !digits(17, 2, &p.second)))
    return ParseTime::kBadForm;
  if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > DaysInMonth(p.year, p.month) ||
      p.hour > 23 || p.minute > 59 || p.second > 59)
    return ParseTime::kBadForm;
  return LocalToCTime(p, out) ? ParseTime::kOk : ParseTime::kOutOfRange;
}

}  // namespace sched
