// The table of generic listing dialects and the rule that picks one: the
// connection's ServerType names the dialect (log-on settles it from SYST),
// and a server type without a dialect of its own is read as UNIX.
#pragma once

#include <cstdint>
#include <string_view>

#include "client/listing/line_parser.h"

namespace tarn::listing {

struct Dialect {
  int32_t serverType;     // SERVER_*; -1 for the fall-back entry
  std::string_view name;  // as the transcript names it: "UNIX"
  LineParser parse;
  // "total 12" and "... permission denied" lines list nothing.
  bool skipsTotals;
  // The Type column shows the permissions text instead of a type name.
  bool typeIsPermissions;
};

// The dialect of `serverType`; the fall-back (named "UNKNOWN SERVER TYPE",
// UNIX lines, type names) for any value without one.
const Dialect& DialectFor(int32_t serverType);

}  // namespace tarn::listing
