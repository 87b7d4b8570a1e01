// The column sets of the host view, as data: headers, alignment and the
// sample text each column is sized from. The window builds its columns
// from these; nothing here knows a widget.
//
// Sizing: a column is as wide as its sample text measured in the view's
// font, plus 31 pixels for the first column and 15 for the others. After a
// listing, the first column widens to the widest name plus 31 pixels when
// that is wider.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tarn::listing {

// View codes: the number the window keeps for the set on show, so that a
// listing rebuilds the columns only when the code changes. Two pairs of
// sets share a code (UNIX generic and MVS members; VSE library and
// sub-library), so the window should compare ColumnSetId values instead.
enum ViewCode : int {
  kViewGeneric = 0,
  kViewMvsDatasets = 2,
  kViewGenericUnix = 3,
  kViewMvsMembers = 3,
  kViewMvsLoadModules = 6,
  kViewVseDirectory = 11,
  kViewVseLibrary = 12,
  kViewVseSubLibrary = 12,
  kViewVsePowerClass = 14,
  kViewVsamCatalog = 15,
  kViewVtoc = 16,
};

enum class ColumnSetId {
  kGeneric,          // generic, non-UNIX server
  kGenericUnix,      // generic, UNIX server: "Permissions" for "Type"
  kMvsDatasets,
  kMvsMembers,
  kMvsLoadModules,
  kVseDirectory,
  kVseLibrary,
  kVseSubLibrary,
  kVsePowerClass,
  kVsamCatalog,
  kVtoc,
};

enum class Align { kLeft, kRight };

struct ColumnDef {
  std::string_view header;
  Align align;
  std::string_view sample;  // sized from this text
};

struct ColumnSet {
  ColumnSetId id;
  int viewCode;
  std::span<const ColumnDef> columns;
};

// Extra pixels added to the measured sample width.
constexpr int kFirstColumnPadding = 31;
constexpr int kColumnPadding = 15;

const ColumnSet& ColumnSetFor(ColumnSetId id);

// The generic set of a server type: kGenericUnix for SERVER_UNIX, else
// kGeneric.
ColumnSetId GenericColumnSet(int32_t serverType);

// The column set of a VSE view code (11 to 16; 13 is the sub-library set);
// kVseDirectory for any other value.
ColumnSetId VseColumnSet(int vseKind);

}  // namespace tarn::listing
