// The order of the PC list without Qt: the sort state that header clicks
// change and the comparison of two items for each column. The list's proxy
// model asks these for every pair it sorts.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarn::shell {

// What the order of one PC list item depends on besides its name and type
// text, which the caller compares (with the person's collation) only when
// a rule reaches them.
struct PcSortKey {
  uint64_t size = 0;     // bytes; 0 for folders
  int64_t modified = 0;  // last write, seconds since 1970 (UTC)
  bool isFolder = false;
};

// The sort state of the PC list: the sort column and one direction per
// column (+1 or -1, all +1 at start). The list starts sorted by column 0.
struct PcSortState {
  int column = 0;
  int direction[4] = {1, 1, 1, 1};

  // A click on header `column` (0 to 3): it becomes the sort column and its
  // direction flips. False, and nothing changes, for any other column.
  bool Click(int column);
  int Direction() const { return direction[column]; }
};

// Compares two items for `column` at direction +1; the caller multiplies by
// the direction (the whole order reverses):
//   0 name      folders before files, then by name
//   1 size      the larger first; equal sizes: the later name first
//   2 type      folders before files, then type name, then name
//   3 modified  folders after files, then the older first; equal times:
//               the later name first
// `nameOrder()` and `typeOrder()` compare the two names and type texts
// (negative, zero or positive); each is called only where it decides. Any
// other column gives 0.
template <class NameOrder, class TypeOrder>
int ComparePcItems(const PcSortKey& a, const PcSortKey& b, int column, NameOrder&& nameOrder,
                   TypeOrder&& typeOrder) {
  const int foldersFirst = a.isFolder == b.isFolder ? 0 : a.isFolder ? -1 : 1;
  switch (column) {
    case 0:
      return foldersFirst ? foldersFirst : nameOrder();
    case 1:
      if (a.size != b.size) return a.size > b.size ? -1 : 1;
      return -nameOrder();
    case 2: {
      if (foldersFirst) return foldersFirst;
      const int byType = typeOrder();
      return byType ? byType : nameOrder();
    }
    case 3:
      if (foldersFirst) return -foldersFirst;
      if (a.modified != b.modified) return a.modified < b.modified ? -1 : 1;
      return -nameOrder();
    default:
      return 0;
  }
}

// The order names are shown in: runs of digits compare by their value
// ("file2" before "file10", "a02" equal in rank to "a2" and then after it),
// a digit before any other character, and the text between the runs by
// `textOrder(x, y)` (the person's collation, negative, zero or positive).
// Names equal in that order compare by their characters, so that two
// different names never compare equal.
template <class Char, class TextOrder>
int CompareNatural(std::basic_string_view<Char> a, std::basic_string_view<Char> b,
                   TextOrder&& textOrder) {
  using View = std::basic_string_view<Char>;
  auto digit = [](Char c) { return c >= Char('0') && c <= Char('9'); };
  auto run = [&](View s, size_t* i, bool digits) {
    const size_t start = *i;
    while (*i < s.size() && digit(s[*i]) == digits) ++*i;
    return s.substr(start, *i - start);
  };
  size_t i = 0, j = 0;
  int zeros = 0;  // the first difference in leading zeros, for a tie
  while (i < a.size() && j < b.size()) {
    const bool da = digit(a[i]), db = digit(b[j]);
    if (da != db) return da ? -1 : 1;
    View ra = run(a, &i, da), rb = run(b, &j, db);
    if (da) {
      const size_t za = ra.find_first_not_of(Char('0')), zb = rb.find_first_not_of(Char('0'));
      const View va = za == View::npos ? View() : ra.substr(za);
      const View vb = zb == View::npos ? View() : rb.substr(zb);
      if (va.size() != vb.size()) return va.size() < vb.size() ? -1 : 1;
      if (const int c = va.compare(vb)) return c < 0 ? -1 : 1;
      if (zeros == 0 && ra.size() != rb.size()) zeros = ra.size() < rb.size() ? -1 : 1;
    } else if (const int c = textOrder(ra, rb)) {
      return c < 0 ? -1 : 1;
    }
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  if (zeros) return zeros;
  const int c = a.compare(b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace tarn::shell
