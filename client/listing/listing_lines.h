// Reading a LIST reply line by line, and the fields of one line, without
// ever reading past its end. The mainframe layouts are fixed columns that
// servers print short (trailing fields left out), long (extra text after
// the last column) and padded with blanks; every helper here cuts its range
// to the line, so a short line gives empty fields instead of a read into
// the next line or past the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "client/listing/generic_parser.h"

namespace tarn::listing {

inline bool IsListingBlank(char c) { return c == ' ' || c == '\t'; }

// NextListingLine: the next line of `text` from `*pos`, without its LF and
// a CR before it; a last line without a line end counts too. False at the
// end of the text.
inline bool NextListingLine(std::string_view text, size_t* pos, std::string_view* line) {
  if (*pos >= text.size()) return false;
  const char* begin = text.data() + *pos;
  const void* lf = std::memchr(begin, '\n', text.size() - *pos);
  size_t len = lf ? static_cast<size_t>(static_cast<const char*>(lf) - begin) : text.size() - *pos;
  *pos += len + (lf ? 1 : 0);
  if (len > 0 && begin[len - 1] == '\r') --len;
  *line = std::string_view(begin, len);
  return true;
}

// Characters [from, to) of `line`; the part past the line's end is left
// out, so "" when the line ends before `from`.
inline std::string_view Columns(std::string_view line, size_t from, size_t to = std::string_view::npos) {
  if (from >= line.size()) return std::string_view();
  return line.substr(from, to == std::string_view::npos ? to : to - from);
}

inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsListingBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsListingBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Columns(line, from, to) without the blanks around it.
inline std::string_view Field(std::string_view line, size_t from, size_t to = std::string_view::npos) {
  return TrimBlanks(Columns(line, from, to));
}

// `s` up to its first blank.
inline std::string_view UpToBlank(std::string_view s) {
  size_t n = 0;
  while (n < s.size() && !IsListingBlank(s[n])) ++n;
  return s.substr(0, n);
}

// The blank-separated tokens of `line`, into `*tokens` (emptied first).
inline void SplitTokens(std::string_view line, std::vector<std::string_view>* tokens) {
  tokens->clear();
  size_t p = 0;
  while (p < line.size()) {
    while (p < line.size() && IsListingBlank(line[p])) ++p;
    const size_t start = p;
    while (p < line.size() && !IsListingBlank(line[p])) ++p;
    if (p > start) tokens->push_back(line.substr(start, p - start));
  }
}

// Listed numbers saturate here instead of overflowing: sizes elsewhere are
// signed 64-bit numbers.
constexpr uint64_t kListedNumberMax = static_cast<uint64_t>(INT64_MAX);

// The decimal number at the start of `s` (after blanks); 0 when there is
// none.
inline uint64_t DecimalValue(std::string_view s) {
  s = TrimBlanks(s);
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (v > (kListedNumberMax - digit) / 10) return kListedNumberMax;
    v = v * 10 + digit;
  }
  return v;
}

// The hexadecimal number at the start of `s` (after blanks); 0 when there
// is none.
inline uint64_t HexValue(std::string_view s) {
  s = TrimBlanks(s);
  uint64_t v = 0;
  for (char c : s) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else break;
    if (v > (kListedNumberMax >> 4)) return kListedNumberMax;
    v = (v << 4) | static_cast<uint64_t>(digit);
  }
  return v;
}

// A product of two listed numbers, saturated: a hostile listing cannot
// make a size wrap around to a small one.
inline uint64_t SaturatingProduct(uint64_t a, uint64_t b) {
  if (a != 0 && b > kListedNumberMax / a) return kListedNumberMax;
  return a * b;
}

// NoteWidestRow: remembers row `index` as the widest so far when its
// `width` is greater (or it is the first row), for the name column's width.
inline void NoteWidestRow(ParseOutcome* o, size_t index, size_t width, size_t* widest) {
  if (o->widestRow == SIZE_MAX || width > *widest) {
    *widest = width;
    o->widestRow = index;
  }
}

// FillsTree: true when the listing's containers become tree nodes
// (req.addToTree with a tree). Any parser's request serves.
template <typename Request>
bool FillsTree(const Request& req) {
  return req.addToTree && req.tree;
}

// ListTreeNode: a container row of a listing that FillsTree becomes a node
// under the listed one (req.node, req.insertMode), showing `text`; counted
// in o->nodes. Throws std::bad_alloc.
template <typename Request>
void ListTreeNode(const Request& req, const TreeNode& node, std::string_view text, ParseOutcome* o) {
  req.tree->Insert(req.node, req.insertMode, node, text, kIconFolder);
  ++o->nodes;
}

// StopOnAllocationFailure: the end of a parse whose row could not be
// allocated: the box through `ui`, and the outcome says so.
inline void StopOnAllocationFailure(Ui* ui, ParseOutcome* o) {
  o->outOfMemory = true;
  ReportRowAllocationFailure(ui);
}

}  // namespace tarn::listing
