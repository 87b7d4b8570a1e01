// What each column of the host list shows, without Qt: the column set of a
// listing and the text of one cell, read on demand from the listing's rows
// (the host list keeps no copy of a row).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "client/listing/columns.h"
#include "client/listing/listing_model.h"
#include "platform/locale.h"

namespace tarn::shell {

// The column set a listing is shown with. The listing's view code alone is
// ambiguous (UNIX and MVS members share 3, VSE library and sub-library
// share 12), so the host family and, on VSE, the view code of the
// directory listed (the request's vseKind: 11 to 16) decide with it.
listing::ColumnSetId ColumnSetOfListing(int32_t hostFamily, int32_t serverType, int viewCode,
                                        int vseKind);

// True for the VSE sets: their rows are HostListing::vseRows().
bool IsVseColumnSet(listing::ColumnSetId set);

// The source of a column's text.
struct CellSource {
  enum Kind : uint8_t { kName, kSize, kType, kModified, kCell, kNone } kind = kNone;
  uint8_t cell = 0;  // kCell: index into the row's cells
};
// kNone for a column outside the set.
CellSource CellSourceOf(listing::ColumnSetId set, int column);

// Number of rows shown for `set`.
size_t RowCountFor(const listing::HostListing& rows, listing::ColumnSetId set);

// The name column of a row (the text an in-place rename starts from): a
// member's name and a data set's full name on MVS, the listed name
// elsewhere.
std::string_view RowNameText(const listing::HostListing& rows, listing::ColumnSetId set,
                             int32_t hostFamily, size_t row);

// The text of (row, column): sizes and dates in `locale`'s forms, an empty
// text for a column the set does not have. `row` must be below
// RowCountFor().
std::string RowCellText(const listing::HostListing& rows, listing::ColumnSetId set,
                        int32_t hostFamily, size_t row, int column,
                        const ::platform::Locale& locale);

}  // namespace tarn::shell
