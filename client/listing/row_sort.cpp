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

void SortRows(HostListing* listing, int column, int direction, bool fullPaths) {
  if (column < 0 || column > 3) return;
  std::vector<RemoteEntry>& rows = listing->mutable_rows();
  const HostListing& l = *listing;
  std::stable_sort(rows.begin(), rows.end(), [&](const RemoteEntry& a, const RemoteEntry& b) {
    return CompareRows(l, a, b, column, direction, fullPaths) < 0;
  });
}

}  // namespace tarn::listing
