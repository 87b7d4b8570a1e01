// Helpers of the listing tests: parse a listing text as the listing thread
// would and compare rows as plain values.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "client/engine/ftp_conn.h"
#include "client/listing/generic_parser.h"
#include "client/listing/listing_model.h"
#include "client/listing/text_rules.h"
#include "platform/locale.h"

namespace tarn::listing::testing {

// 2026-12-07 21:50, a Monday: "now" for every test that parses dates.
inline DateParts TestNow() { return DateParts{2026, 12, 7, 21, 50, 0}; }

struct Row {
  std::string name;
  std::string path;
  int isDirectory = 0;
  std::string sizeText;
  uint64_t size = 0;
  std::string typeText;
  std::string modified;  // "YYYY-MM-DD HH:MM" or ""
  uint8_t flags = 0;

  bool operator==(const Row&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Row& r) {
  return os << "{" << r.name << " | " << r.path << " | dir " << r.isDirectory << " | "
            << r.sizeText << " | " << r.size << " | " << r.typeText << " | " << r.modified
            << " | flags " << int(r.flags) << "}";
}

inline std::string Iso(FileTime ft) {
  DateParts d;
  if (!PartsFromFileTime(ft, &d)) return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", d.year, d.month, d.day, d.hour,
                d.minute);
  return buf;
}

inline std::vector<Row> RowsOf(const HostListing& l) {
  const platform::Locale locale = platform::PinnedLocale();
  std::vector<Row> rows;
  for (const RemoteEntry& e : l.rows())
    rows.push_back(Row{std::string(l.Name(e)), std::string(l.Path(e)), e.isDirectory,
                       SizeText(e.Size(), e.sizeForm, locale), e.Size(),
                       std::string(l.TypeText(e)), Iso(e.modified), e.flags});
  return rows;
}

// Parses `text` for `serverType` in directory `dir` (no tree, no types).
inline std::vector<Row> Parse(std::string_view text, int32_t serverType = SERVER_UNIX,
                              std::string_view dir = "/pub", ParseOutcome* outcome = nullptr) {
  HostListing l;
  GenericParseRequest req;
  req.serverType = serverType;
  req.directory = dir;
  req.now = TestNow();
  ParseOutcome o = ParseGenericListing(text, req, &l);
  if (outcome) *outcome = o;
  return RowsOf(l);
}

// The single row of a one-line listing (an empty Row when there is none).
inline Row ParseOne(std::string_view line, int32_t serverType = SERVER_UNIX) {
  std::vector<Row> rows = Parse(std::string(line) + "\r\n", serverType);
  EXPECT_LE(rows.size(), 1u) << line;
  return rows.empty() ? Row{} : rows[0];
}

}  // namespace tarn::listing::testing
