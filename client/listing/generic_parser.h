// The generic parser: turns the LIST reply of a HOST_GENERIC connection
// into rows of a HostListing and, for directories, nodes of the HostTree.
// This is where the fetched listing text goes in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "client/listing/file_time.h"
#include "client/listing/host_tree.h"
#include "client/listing/listing_model.h"
#include "client/listing/text_rules.h"
#include "client/listing/type_names.h"
#include "client/session/ui.h"

namespace tarn::listing {

// The box every parser shows when a row cannot be allocated; the parse
// then stops and the rows so far stay.
constexpr const char* kOutOfMemoryText =
    "Not enough memory is available to process this directory.\r\n\r\nYou may want to try "
    "exiting other applications that are running on your PC and try again.";
constexpr const char* kOutOfMemoryCaption = "Error Allocating Memory";
void ReportRowAllocationFailure(Ui* ui);

// Receives the transcript lines of a parse (the caller passes them to the
// connection log while it logs listings, e.g. LogDebug).
using ListingLog = std::function<void(std::string_view text)>;

struct GenericParseRequest {
  int32_t serverType = 0;          // SERVER_*: picks the dialect
  std::string_view directory;      // the directory listed
  std::string_view rootString = "/";
  NameCase nameCase = NameCase::kAsIs;
  DateParts now;                   // local time, for "Dec 19 10:15"
  TypeNames* typeNames = nullptr;  // null: "EXT File" / "File" only
  // Directories found become nodes under `node` with `insertMode` when
  // `addToTree` is set and `tree` is not null.
  HostTree* tree = nullptr;
  NodeId node = kNoNode;
  int32_t insertMode = kInsertLastChild;
  bool addToTree = false;
  Ui* ui = nullptr;                // the out-of-memory box; null: none
  ListingLog log;                  // null: nothing logged
};

struct ParseOutcome {
  size_t rows = 0;          // rows appended
  size_t nodes = 0;         // tree nodes inserted
  size_t misfits = 0;       // lines no dialect expects, skipped
  size_t nonEntries = 0;    // "total", "permission denied", "." and ".."
  bool outOfMemory = false; // stopped at a failed allocation (box shown)
  size_t widestRow = SIZE_MAX;  // row with the longest name, for the column width
};

// ParseGenericListing: walks `listing` line by line (lines end in CR LF; a
// bare LF and a last line without an end are taken too), parses each with
// the dialect of req.serverType and appends one row per entry to `out`
// (which the caller empties first). Logs "Printing directory list for host
// type: UNIX\r\n" (or MICROSOFT, NETWARE, UNKNOWN SERVER TYPE) and the raw
// listing through req.log. Sets out->viewCode to the generic column set of
// the server type. Never throws: a failed allocation shows the box through
// req.ui and ends the parse with the rows so far.
//
// Run by the listing op; `out` and req.tree must not be touched by
// another thread meanwhile.
ParseOutcome ParseGenericListing(std::string_view listing, const GenericParseRequest& req,
                                 HostListing* out);

}  // namespace tarn::listing
