#include "client/listing/dialects.h"

#include "client/listing/host_types.h"

namespace tarn::listing {

namespace {

constexpr Dialect kDialects[] = {
    {SERVER_UNIX, "UNIX", ParseUnixLine, true, true},
    {SERVER_MICROSOFT, "MICROSOFT", ParseMicrosoftLine, false, false},
    {SERVER_NETWARE, "NETWARE", ParseNetWareLine, true, false},
};

constexpr Dialect kUnknown = {-1, "UNKNOWN SERVER TYPE", ParseUnixLine, true, false};

}  // namespace

const Dialect& DialectFor(int32_t serverType) {
  for (const Dialect& d : kDialects)
    if (d.serverType == serverType) return d;
  return kUnknown;
}

}  // namespace tarn::listing
