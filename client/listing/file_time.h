// FileTime: the 64-bit modification time of a listed entry, counted as
// Windows counts it (100-nanosecond intervals since 1601-01-01 00:00), and
// taken as local time without any zone conversion. Zero means "not listed".
// Every conversion between calendar parts, FileTime and std::tm lives here.
#pragma once

#include <cstdint>
#include <ctime>

namespace tarn::listing {

using FileTime = uint64_t;

// A calendar date and time as a listing gives it (local, no zone).
struct DateParts {
  int year = 0;
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// True when the parts form a real date between 1601 and 30827 with a valid
// time of day (the range a FILETIME holds).
bool IsValidDate(const DateParts& d);

// The FileTime of `d`, or 0 when `d` is not a valid date.
FileTime FileTimeFromParts(const DateParts& d);

// The parts of a non-zero FileTime; false (parts untouched) for 0.
bool PartsFromFileTime(FileTime ft, DateParts* d);

// A std::tm for strftime-style formatting (weekday and day of year filled);
// all fields zero for 0.
std::tm TmFromFileTime(FileTime ft);

// The parts of a broken-down local time, e.g. platform::LocalTime(now).
DateParts PartsFromTm(const std::tm& t);

// Days in `month` of `year` (Gregorian); 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

}  // namespace tarn::listing
