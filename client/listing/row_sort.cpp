#include "client/listing/row_sort.h"

#include <algorithm>
#include <array>

namespace tarn::listing {

namespace {

// Primary weights: ASCII letters fold to lower case, every other byte is
// its own weight.
constexpr std::array<unsigned char, 256> MakeFold() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i)
    t[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i - 'A' + 'a' : i);
  return t;
}
constexpr std::array<unsigned char, 256> kFold = MakeFold();

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
  const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
  int caseOrder = 0;  // first difference in case only
  for (size_t i = 0; i < n; ++i) {
    if (pa[i] == pb[i]) continue;
    const unsigned char fa = kFold[pa[i]], fb = kFold[pb[i]];
    if (fa != fb) return fa < fb ? -1 : 1;
    // Same letter, different case: the lower-case one first, unless an
    // earlier position already decided.
    if (caseOrder == 0) caseOrder = pa[i] > pb[i] ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return caseOrder;
}

bool SortState::Click(int c) {
  if (c < 0 || c > 3) return false;
  column = c;
  direction[c] = -direction[c];
  return true;
}

int CompareRows(const HostListing& listing, const RemoteEntry& a, const RemoteEntry& b,
                int column, int direction, bool fullPaths) {
  auto names = [&] {
    return fullPaths ? CompareNames(listing.Path(a), listing.Path(b))
                     : CompareNames(listing.Name(a), listing.Name(b));
  };
  const int dirOrder = (a.isDirectory != 0) == (b.isDirectory != 0) ? 0 : a.isDirectory ? -1 : 1;
  switch (column) {
    case 0:
      if (dirOrder) return dirOrder * direction;
      return names() * direction;
    case 1: {
      const uint64_t sa = a.Size(), sb = b.Size();
      if (sa != sb) return (sa > sb ? -1 : 1) * direction;
      return names();
    }
    case 2: {
      if (dirOrder) return dirOrder * direction;
      if (a.typeText != b.typeText) {
        const int t = CompareNames(listing.TypeText(a), listing.TypeText(b));
        if (t) return t * direction;
      }
      return names();
    }
    case 3: {
      if (dirOrder) return -dirOrder * direction;
      if (a.modified != b.modified) return (a.modified < b.modified ? -1 : 1) * direction;
      return names();
    }
    default:
      return 0;
  }
}

namespace {

// The first 24 bytes of a name, case folded, as three big-endian numbers:
// two names whose keys differ compare as their keys do (CompareNames
// decides at the first folded difference, and a shorter name's zero
// padding sorts before any byte). Equal keys fall back to the names.
constexpr size_t kKeyWords = 3;

struct SortKey {
  uint64_t prefix[kKeyWords];
  uint32_t index;
  uint32_t isDirectory;
};

void SetPrefix(std::string_view s, SortKey* k) {
  for (size_t w = 0; w < kKeyWords; ++w) {
    uint64_t word = 0;
    for (size_t i = w * 8; i < w * 8 + 8; ++i)
      word = (word << 8) | (i < s.size() ? kFold[static_cast<unsigned char>(s[i])] : 0);
    k->prefix[w] = word;
  }
}

int ComparePrefix(const SortKey& a, const SortKey& b) {
  for (size_t w = 0; w < kKeyWords; ++w)
    if (a.prefix[w] != b.prefix[w]) return a.prefix[w] < b.prefix[w] ? -1 : 1;
  return 0;
}

// Column 0, the sort after every listing: a sort of small keys that
// touches the names only when their first eight bytes agree, then one
// pass that puts the rows in that order. Rows of a million-entry listing
// are spread over tens of megabytes, and comparing them in place costs a
// cache miss per comparison.
void SortByName(HostListing* listing, int direction, bool fullPaths) {
  std::vector<RemoteEntry>& rows = listing->mutable_rows();
  const HostListing& l = *listing;
  std::vector<SortKey> keys(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string_view text = fullPaths ? l.Path(rows[i]) : l.Name(rows[i]);
    keys[i].index = static_cast<uint32_t>(i);
    keys[i].isDirectory = rows[i].isDirectory != 0;
    SetPrefix(text, &keys[i]);
  }
  auto less = [&](const SortKey& a, const SortKey& b) {
    int r = 0;
    if (a.isDirectory != b.isDirectory) {
      r = a.isDirectory ? -1 : 1;
    } else if ((r = ComparePrefix(a, b)) == 0) {
      const RemoteEntry& ea = rows[a.index];
      const RemoteEntry& eb = rows[b.index];
      r = fullPaths ? CompareNames(l.Path(ea), l.Path(eb)) : CompareNames(l.Name(ea), l.Name(eb));
    }
    r *= direction;
    return r != 0 ? r < 0 : a.index < b.index;  // equal rows keep listing order
  };
  std::sort(keys.begin(), keys.end(), less);
  // Row keys[i].index goes to place i. Follow each cycle of that
  // permutation in place (no second copy of the rows); a placed row's key
  // is marked with kPlaced.
  constexpr uint32_t kPlaced = UINT32_MAX;
  for (size_t start = 0; start < keys.size(); ++start) {
    if (keys[start].index == kPlaced) continue;
    const RemoteEntry first = rows[start];
    size_t to = start;
    while (keys[to].index != start) {
      const size_t from = keys[to].index;
      rows[to] = rows[from];
      keys[to].index = kPlaced;
      to = from;
    }
    rows[to] = first;
    keys[to].index = kPlaced;
  }
}

}  // namespace

void SortRows(HostListing* listing, int column, int direction, bool fullPaths) {
  if (column < 0 || column > 3) return;
  if (column == 0) return SortByName(listing, direction, fullPaths);
  std::vector<RemoteEntry>& rows = listing->mutable_rows();
  const HostListing& l = *listing;
  std::stable_sort(rows.begin(), rows.end(), [&](const RemoteEntry& a, const RemoteEntry& b) {
    return CompareRows(l, a, b, column, direction, fullPaths) < 0;
  });
}

}  // namespace tarn::listing
