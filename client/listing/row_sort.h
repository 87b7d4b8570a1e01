// Sorting the host view: the name order, the comparison of two rows for
// each of the four sortable columns, and the sort state that header clicks
// change.
#pragma once

#include <cstdint>
#include <string_view>

#include "client/listing/listing_model.h"

namespace tarn::listing {

// The order names are shown in: letters compare without regard to case
// first ("apple" < "Banana" < "cherry"), then a lower-case letter comes
// before its capital ("readme" < "Readme"), and only then do the bytes
// decide, so that two different names never compare equal. Negative, zero
// or positive as strcmp.
int CompareNames(std::string_view a, std::string_view b);

// The sort state of the host view: the sort column (0 to 3), one direction
// per column (+1 or -1, all +1 at start) and whether names compare by
// their full paths (set after an MVS dataset listing, cleared at the start
// of every other listing).
struct SortState {
  int column = 0;
  int direction[4] = {1, 1, 1, 1};
  bool fullPaths = false;

  // A click on column header `column`: one of the first four becomes the
  // sort column and its direction flips; true when the view must sort
  // again. Later columns do nothing (false).
  bool Click(int column);
};

// Compares rows a and b of `listing` for `column` in `direction`:
//   0 name:     directories before files (times the direction), then name
//   1 size:     the larger first when the direction is +1; then name
//   2 type:     directories before files, then type text (both times the
//               direction); then name
//   3 modified: directories after files when the direction is +1, then
//               modified ascending (times the direction); then name
// "name" is the path when `fullPaths` is set. Any other column gives 0.
int CompareRows(const HostListing& listing, const RemoteEntry& a, const RemoteEntry& b,
                int column, int direction, bool fullPaths);

// Sorts the rows in place by `column` in `direction`; other columns leave
// the order as it is. Stable: rows that compare equal keep listing order.
void SortRows(HostListing* listing, int column, int direction, bool fullPaths);
inline void SortRows(HostListing* listing, const SortState& s) {
  if (s.column >= 0 && s.column < 4)
    SortRows(listing, s.column, s.direction[s.column], s.fullPaths);
}

}  // namespace tarn::listing
