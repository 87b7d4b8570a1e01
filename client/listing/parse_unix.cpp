// UNIX long-listing lines:
//
//   total 12
//   drwxr-xr-x    2 0        0            4096 Dec 07 21:35 pub
//   -rw-r--r--    1 1001     1001           16 Dec 07 21:40 hello.txt
//   -rw-r--r--   1 root     root         5 Dec 07 21:40 readme.txt
//   -rw-r--r--   1 user     group     1025 Jan  5  2001 a b.txt
//   lrwxrwxrwx   1 user     group        7 Dec  1 09:00 bin -> usr/bin
//   -rw-r--r--   1 owner    1025 Jan  5 2001 no-group.txt
//
// A type character, the permissions, link count, owner, group (some servers
// leave it out), size, month, day, time or year, the name, and for links
// "->" and the target.

#include <algorithm>
#include <cstdint>
#include <limits>

#include "client/listing/line_parser.h"
#include "client/listing/text_rules.h"

namespace tarn::listing {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "21:35" or "9:05".
bool IsClock(std::string_view s) {
  const size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2) return false;
  return AllDigits(s.substr(0, colon)) && s.size() - colon - 1 == 2 && AllDigits(s.substr(colon + 1));
}

bool IsDayNumber(std::string_view s) {
  if (s.empty() || s.size() > 2 || !AllDigits(s)) return false;
  const int64_t d = LeadingNumber(s);
  return d >= 1 && d <= 31;
}

// True when tokens i-2, i-1 and i read as month, day, and time or year.
bool IsDateAt(const std::vector<std::string_view>& t, size_t i) {
  return i >= 4 && i + 1 < t.size() && t[i - 2].size() == 3 && MonthNumber(t[i - 2]) != 0 &&
         IsDayNumber(t[i - 1]) && (IsClock(t[i]) || (t[i].size() == 4 && AllDigits(t[i])));
}

// The index of the time-or-year token: where the date sits in the usual
// layouts (with a group column, index 7; without, 6), else the leftmost date
// at or after index 4 (a name may hold another date further right); 0 when
// the line shows no date.
size_t FindDate(const std::vector<std::string_view>& t) {
  if (IsDateAt(t, 7)) return 7;
  if (IsDateAt(t, 6)) return 6;
  for (size_t i = 4; i + 1 < t.size(); ++i)
    if (IsDateAt(t, i)) return i;
  return 0;
}

// The walk for lines without a recognisable date: going left from the
// token before the last, tokens that read as the number 0 and hold no ":"
// belong to the name; the first other token is the time or year. Returns
// its index, or 0 when the walk reached the permissions.
size_t WalkToTime(const std::vector<std::string_view>& t) {
  for (size_t j = t.size() - 1; j-- > 1;)
    if (LeadingNumber(t[j]) != 0 || t[j].find(':') != std::string_view::npos) return j;
  return 0;
}

}  // namespace

int64_t LeadingNumber(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int64_t v = 0;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    const int digit = s[i] - '0';
    v = v > (kMax - digit) / 10 ? kMax : v * 10 + digit;
  }
  return negative ? -v : v;
}

int MonthNumber(std::string_view token) {
  static constexpr std::string_view kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  if (token.size() < 3) return 0;
  for (int m = 0; m < 12; ++m)
    if (EqualsNoCase(token.substr(0, 3), kMonths[m])) return m + 1;
  return 0;
}

FileTime UnixStyleDate(std::string_view month, std::string_view day,
                       std::string_view timeOrYear, const DateParts& now) {
  DateParts d;
  d.month = MonthNumber(month);
  d.day = static_cast<int>(LeadingNumber(day.substr(0, 2)));
  const size_t colon = timeOrYear.find(':');
  if (colon != std::string_view::npos) {
    d.year = now.year;
    d.hour = static_cast<int>(LeadingNumber(timeOrYear.substr(0, colon)));
    d.minute = static_cast<int>(LeadingNumber(timeOrYear.substr(colon + 1, 2)));
    if (LeadingNumber(timeOrYear.substr(colon + 1)) > 59) return 0;
    const FileTime nowFt = FileTimeFromParts(now);
    const FileTime ft = FileTimeFromParts(d);
    constexpr FileTime kDay = 86'400ull * 10'000'000ull;
    if (ft != 0 && nowFt != 0 && ft > nowFt + kDay) {
      --d.year;
      return FileTimeFromParts(d);
    }
    return ft;
  }
  const int64_t year = LeadingNumber(timeOrYear);
  if (year < 1601 || year > 30827) return 0;
  d.year = static_cast<int>(year);
  return FileTimeFromParts(d);
}

LineVerdict ParseUnixLine(std::string_view line, const LineContext& ctx, LineEntry* out) {
  *out = LineEntry{};
  if (line.empty()) return LineVerdict::kMisfit;
  // A line that starts with "." is a bare name (some servers list hidden
  // entries so); it carries no size or date.
  if (line[0] == '.') {
    out->name = line;
    return LineVerdict::kEntry;
  }
  if (line[0] == 'd') {
    out->typeOrSize = "DIR";
  } else if (line[0] == 'l') {
    out->typeOrSize = "DIR";  // a link is opened like a directory
    out->link = true;
  }

  std::vector<std::string_view>& t = *ctx.tokens;
  t.clear();
  for (size_t p = 1; p < line.size();) {
    while (p < line.size() && IsSpace(line[p])) ++p;
    const size_t start = p;
    while (p < line.size() && !IsSpace(line[p])) ++p;
    if (p > start) t.push_back(line.substr(start, p - start));
  }
  const size_t k = t.size();
  if (k < 2) return LineVerdict::kMisfit;
  out->permissions = t[0];

  size_t i = FindDate(t);
  if (i == 0) i = WalkToTime(t);
  // The name runs from the token after the time or year to the end of the
  // line, inner blanks kept as listed.
  const size_t first = i + 1;  // FindDate and WalkToTime leave a token after i
  const char* nameBegin = t[first].data();
  const char* nameEnd = t[k - 1].data() + t[k - 1].size();
  std::string_view name(nameBegin, static_cast<size_t>(nameEnd - nameBegin));
  if (out->link) {
    const size_t arrow = name.find("->");
    if (arrow != std::string_view::npos) name = name.substr(0, arrow);
    while (!name.empty() && IsSpace(name.back())) name.remove_suffix(1);
  }
  out->name = name;

  if (i < 4) {
    // Too few fields for a date: the row stays, without date, size 0.
    if (out->typeOrSize.empty()) out->typeOrSize = "0";
    return LineVerdict::kEntry;
  }
  out->modified = UnixStyleDate(t[i - 2], t[i - 1], t[i], ctx.now);
  if (out->typeOrSize.empty()) out->typeOrSize = t[i - 3];
  return LineVerdict::kEntry;
}

}  // namespace tarn::listing
