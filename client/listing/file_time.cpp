#include "client/listing/file_time.h"

namespace tarn::listing {

namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kSecondsPerDay = 86'400;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days from 1601-01-01 to y-m-d (the proleptic Gregorian calendar); the
// civil-from-days algorithm shifted so that March starts the year.
int64_t DaysSince1601(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = y / 400;  // y >= 1600 here, never negative
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t daysSince0000 = era * 146097 + doe;  // from 0000-03-01
  // 1601-01-01 is day 584694 of that count.
  return daysSince0000 - 584694;
}

void PartsFromDays(int64_t days, int* y, int* m, int* d) {
  const int64_t z = days + 584694;
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

}  // namespace

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(const DateParts& d) {
  return d.year >= 1601 && d.year <= 30827 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
         d.day <= DaysInMonth(d.year, d.month) && d.hour >= 0 && d.hour <= 23 &&
         d.minute >= 0 && d.minute <= 59 && d.second >= 0 && d.second <= 59;
}

FileTime FileTimeFromParts(const DateParts& d) {
  if (!IsValidDate(d)) return 0;
  const uint64_t days = static_cast<uint64_t>(DaysSince1601(d.year, d.month, d.day));
  const uint64_t seconds = days * kSecondsPerDay + static_cast<uint64_t>(d.hour) * 3600 +
                           static_cast<uint64_t>(d.minute) * 60 + static_cast<uint64_t>(d.second);
  return seconds * kTicksPerSecond;
}

bool PartsFromFileTime(FileTime ft, DateParts* d) {
  if (ft == 0) return false;
  const uint64_t seconds = ft / kTicksPerSecond;
  const uint64_t days = seconds / kSecondsPerDay;
  const uint64_t rest = seconds % kSecondsPerDay;
  PartsFromDays(static_cast<int64_t>(days), &d->year, &d->month, &d->day);
  d->hour = static_cast<int>(rest / 3600);
  d->minute = static_cast<int>(rest / 60 % 60);
  d->second = static_cast<int>(rest % 60);
  return true;
}

std::tm TmFromFileTime(FileTime ft) {
  std::tm t{};
  DateParts d;
  if (!PartsFromFileTime(ft, &d)) return t;
  t.tm_year = d.year - 1900;
  t.tm_mon = d.month - 1;
  t.tm_mday = d.day;
  t.tm_hour = d.hour;
  t.tm_min = d.minute;
  t.tm_sec = d.second;
  const int64_t days = static_cast<int64_t>(ft / kTicksPerSecond / kSecondsPerDay);
  t.tm_wday = static_cast<int>((days + 1) % 7);  // 1601-01-01 was a Monday
  t.tm_yday = static_cast<int>(days - DaysSince1601(d.year, 1, 1));
  t.tm_isdst = -1;
  return t;
}

DateParts PartsFromTm(const std::tm& t) {
  DateParts d;
  d.year = t.tm_year + 1900;
  d.month = t.tm_mon + 1;
  d.day = t.tm_mday;
  d.hour = t.tm_hour;
  d.minute = t.tm_min;
  d.second = t.tm_sec;
  return d;
}

}  // namespace tarn::listing
