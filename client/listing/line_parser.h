// Line parsers of the generic listing dialects. Each dialect is one free
// function with the shared LineParser signature: one line of a LIST reply
// in (without its line end), the fields of one entry or "no entry" out. No
// I/O, clock or locale inside: the caller passes "now" for the year of
// recent UNIX dates. The table that picks a parser is dialects.h.
#pragma once

#include <string_view>
#include <vector>

#include "client/listing/file_time.h"

namespace tarn::listing {

// What a line parser found. The views point into the line.
struct LineEntry {
  std::string_view name;         // as listed
  std::string_view permissions;  // UNIX: "rwxr-xr-x"; NetWare: "RWCEAFMS]"
  // "DIR" for a directory (and a UNIX link, which is opened like one),
  // "LINK" for a NetWare link, else the listed size token. The generic
  // parser upper-cases it: "DIR" or "." inside means a directory.
  std::string_view typeOrSize;
  FileTime modified = 0;         // 0 when the date was missing or invalid
  bool link = false;
};

struct LineContext {
  DateParts now;  // the caller's local time
  // Scratch for the token list, reused from line to line so that parsing
  // allocates nothing per line. Must not be null for ParseUnixLine.
  std::vector<std::string_view>* tokens = nullptr;
};

enum class LineVerdict {
  kEntry,    // *out holds an entry
  kNoEntry,  // a line that lists nothing ("total 12")
  kMisfit,   // a line the dialect does not expect; counted, then skipped
};

using LineParser = LineVerdict (*)(std::string_view line, const LineContext& ctx, LineEntry* out);

LineVerdict ParseUnixLine(std::string_view line, const LineContext& ctx, LineEntry* out);
LineVerdict ParseMicrosoftLine(std::string_view line, const LineContext& ctx, LineEntry* out);
LineVerdict ParseNetWareLine(std::string_view line, const LineContext& ctx, LineEntry* out);

// --- Shared by the UNIX and NetWare parsers ---------------------------------

// 1..12 when the first three characters of `token` name a month in
// English ("JAN" .. "DEC", any case), else 0.
int MonthNumber(std::string_view token);

// The number at the start of `s` as atoi reads it: optional blanks and
// sign, then digits; 0 when there are none. Saturates instead of
// overflowing.
int64_t LeadingNumber(std::string_view s);

// The date of "Dec 19 10:15" or "Jan 5 2001": the month token, the day
// token, and a time-or-year token. With a time, the year is now's, or the
// year before when that would put the date more than a day after now (a
// listing shows the time only for entries of the last months). 0 when the
// parts do not form a valid date.
FileTime UnixStyleDate(std::string_view month, std::string_view day,
                       std::string_view timeOrYear, const DateParts& now);

}  // namespace tarn::listing
