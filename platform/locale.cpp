#include "platform/locale.h"

#include <clocale>
#include <langinfo.h>

namespace platform {

namespace {

std::string Strftime(const std::string& fmt, const std::tm& t) {
  char buf[256];
  size_t n = strftime(buf, sizeof buf, fmt.c_str(), &t);
  return std::string(buf, n);
}

// "%H:%M:%S" -> "%H:%M"; "%r" and "%T" spelled out first.
std::string DropSeconds(std::string fmt) {
  if (fmt == "%T") fmt = "%H:%M:%S";
  if (fmt == "%r") fmt = "%I:%M:%S %p";
  for (const char* sec : {":%S", ".%S"}) {
    auto p = fmt.find(sec);
    if (p != std::string::npos) fmt.erase(p, 3);
  }
  return fmt;
}

}  // namespace

std::string Locale::FormatNumber(int64_t value) const {
  bool negative = value < 0;
  uint64_t v = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(v);
  std::string out;
  int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    out += digits[i];
    int left = n - 1 - i;
    if (grouping > 0 && left > 0 && left % grouping == 0) out += thousandsSep;
  }
  return negative ? "-" + out : out;
}

std::string Locale::FormatShortDate(const std::tm& t) const { return Strftime(shortDate, t); }
std::string Locale::FormatLongDate(const std::tm& t) const { return Strftime(longDate, t); }
std::string Locale::FormatTime(const std::tm& t) const { return Strftime(timeNoSeconds, t); }

Locale UserLocale() {
  Locale l;
  if (!setlocale(LC_ALL, "")) setlocale(LC_ALL, "C");
  const lconv* lc = localeconv();
  if (lc) {
    if (lc->thousands_sep && *lc->thousands_sep) l.thousandsSep = lc->thousands_sep;
    if (lc->decimal_point && *lc->decimal_point) l.decimalSep = lc->decimal_point;
    if (lc->grouping && *lc->grouping > 0 && *lc->grouping < 127) l.grouping = *lc->grouping;
  }
  if (const char* d = nl_langinfo(D_FMT); d && *d) {
    l.shortDate = d;
    if (l.shortDate == "%m/%d/%y") l.shortDate = "%m/%d/%Y";
  }
  if (const char* t = nl_langinfo(T_FMT); t && *t) l.timeNoSeconds = DropSeconds(t);
  return l;
}

Locale PinnedLocale() {
  Locale l;
  l.timeNoSeconds = "%H:%M";
  return l;
}

std::tm LocalTime(int64_t seconds) {
  std::tm t{};
  time_t s = static_cast<time_t>(seconds);
  localtime_r(&s, &t);
  return t;
}

}  // namespace platform
