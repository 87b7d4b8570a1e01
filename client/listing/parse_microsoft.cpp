// MS-DOS style lines of Windows servers:
//
//   12-19-02  10:15AM       <DIR>          Program Files
//   01-05-01  09:00PM                 1025 a b.txt
//   12-19-2002  22:15              2048 four-digit year.txt
//
// Date (month-day-year), time, "<DIR>" or the size, and the rest of the
// line, blanks included, is the name.

#include "client/listing/line_parser.h"
#include "client/listing/text_rules.h"

namespace tarn::listing {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool AllDigits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return !s.empty();
}

// 12-19-02 (or 12/19/02): month, day, year at characters 1-2, 4-5, 7-8;
// a two-digit year of 60 or less is 20xx, above 60 19xx. A four-digit year
// (12-19-2002) is taken whole.
DateParts MicrosoftDate(std::string_view date) {
  DateParts d;
  d.month = static_cast<int>(LeadingNumber(date.substr(0, 2)));
  d.day = date.size() > 3 ? static_cast<int>(LeadingNumber(date.substr(3, 2))) : 0;
  if (date.size() >= 10 && AllDigits(date.substr(6, 4))) {
    d.year = static_cast<int>(LeadingNumber(date.substr(6, 4)));
  } else if (date.size() > 6) {
    const int y = static_cast<int>(LeadingNumber(date.substr(6, 2)));
    d.year = y <= 60 ? 2000 + y : 1900 + y;
  }
  return d;
}

// 10:15AM, 09:00PM or 22:15: hour at characters 1-2, minute at 4-5, and a
// 12-hour clock's suffix applied (12:xxAM is just after midnight).
void MicrosoftTime(std::string_view time, DateParts* d) {
  d->hour = static_cast<int>(LeadingNumber(time.substr(0, 2)));
  d->minute = time.size() > 3 ? static_cast<int>(LeadingNumber(time.substr(3, 2))) : 0;
  if (time.size() >= 2) {
    const std::string_view suffix = time.substr(time.size() - 2);
    if (EqualsNoCase(suffix, "PM") && d->hour < 12) d->hour += 12;
    if (EqualsNoCase(suffix, "AM") && d->hour == 12) d->hour = 0;
  }
}

}  // namespace

LineVerdict ParseMicrosoftLine(std::string_view line, const LineContext&, LineEntry* out) {
  *out = LineEntry{};
  size_t p = 0;
  auto token = [&] {
    while (p < line.size() && IsBlank(line[p])) ++p;
    const size_t start = p;
    while (p < line.size() && !IsBlank(line[p])) ++p;
    return line.substr(start, p - start);
  };
  const std::string_view date = token();
  const std::string_view time = token();
  const std::string_view typeOrSize = token();
  while (p < line.size() && IsBlank(line[p])) ++p;
  const std::string_view name = line.substr(p);
  if (date.empty() || time.empty() || typeOrSize.empty() || name.empty())
    return LineVerdict::kMisfit;

  DateParts d = MicrosoftDate(date);
  MicrosoftTime(time, &d);
  out->modified = FileTimeFromParts(d);
  out->typeOrSize = typeOrSize;
  out->name = name;
  return LineVerdict::kEntry;
}

}  // namespace tarn::listing
