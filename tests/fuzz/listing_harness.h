// The listing parsers under fuzz: one harness per dialect and view, all
// driven by RunListingHarness. An input is one option byte, then the LIST
// reply as a server would send it:
//   bit 0     directories become tree nodes
//   bits 1-2  name case: as is, capitalised, upper, lower
//   bit 3     MVS members: variable records (kind 5) instead of fixed
//   bits 4-7  MVS members: LRECL 0, 1, 80, 255, 32760, ... (see the table);
//             other dialects: the listing's memory limit in steps of about a
//             quarter of its 64 KiB text block
//             (0: none), so that running out of memory part-way is tried
// After the parse every row is read as the views read it (texts, cells,
// size and date texts), sorted by every column, and the tree is checked.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarn::fuzz {

enum class ListingDialect {
  kUnix,
  kMicrosoft,
  kNetWare,
  kMvsDatasets,
  kMvsMembers,
  kMvsLoadModules,
  kVm,
  kVseDirectory,
  kVseLibrary,
  kVseSubLibrary,
  kVsePowerQueue,
  kVsamCatalog,
  kVtoc,
};

int RunListingHarness(ListingDialect dialect, const uint8_t* data, size_t size);

}  // namespace tarn::fuzz
