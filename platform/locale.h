// The user's number, date and time formats, read once by each program's
// composition root and passed to whatever formats for a person. Tests build
// a pinned one with PinnedLocale().
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

struct Locale {
  std::string thousandsSep = ",";
  std::string decimalSep = ".";
  int grouping = 3;                         // digits per group; 0 = none
  std::string shortDate = "%m/%d/%Y";       // strftime forms
  std::string longDate = "%A, %B %d, %Y";
  std::string timeNoSeconds = "%I:%M %p";

  // 1234567 -> "1,234,567" with the separator and grouping above.
  std::string FormatNumber(int64_t value) const;
  std::string FormatShortDate(const std::tm& t) const;
  std::string FormatLongDate(const std::tm& t) const;
  std::string FormatTime(const std::tm& t) const;
};

// Reads the environment's locale (LANG, LC_*) once. Month and day names
// follow the process's LC_TIME, which this call sets from the environment.
Locale UserLocale();

// The fixed locale of tests and of "--locale C": grouping "," by threes,
// US date forms, 24-hour time.
Locale PinnedLocale();

// Local broken-down time of a calendar time.
std::tm LocalTime(int64_t seconds);

}  // namespace platform
