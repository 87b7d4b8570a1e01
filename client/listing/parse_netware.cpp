// NetWare lines:
//
//   d [RWCEAFMS] supervisor                      512       Jan 16 18:53 login
//   - [RWCEAFMS] rhesus                        214059       Oct 20 15:27 cx.exe
//   l [R----F--] admin                            32       Mar  2  1999 docs -> sys:docs
//
// The type character, a blank, the rights in brackets, the owner, the size,
// month, day, time or year, and the rest of the line is the name. A link
// goes the file way and shows "SymLink" as its size.

#include "client/listing/line_parser.h"

namespace tarn::listing {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

LineVerdict ParseNetWareLine(std::string_view line, const LineContext& ctx, LineEntry* out) {
  *out = LineEntry{};
  if (line.size() < 4) return LineVerdict::kMisfit;
  if (line[0] == 'd') {
    out->typeOrSize = "DIR";
  } else if (line[0] == 'l') {
    out->typeOrSize = "LINK";
    out->link = true;
  }
  size_t p = 3;  // after the type character, the blank and "["
  auto skipBlanks = [&] {
    while (p < line.size() && IsBlank(line[p])) ++p;
  };
  auto token = [&] {
    const size_t start = p;
    while (p < line.size() && !IsBlank(line[p])) ++p;
    return line.substr(start, p - start);
  };
  out->permissions = token();
  skipBlanks();
  const std::string_view owner = token();
  skipBlanks();
  const std::string_view size = token();
  if (out->typeOrSize.empty()) out->typeOrSize = size;
  skipBlanks();
  const std::string_view month = token();
  skipBlanks();
  const std::string_view day = token();
  skipBlanks();
  const std::string_view timeOrYear = token();
  skipBlanks();
  std::string_view name = line.substr(p);
  if (out->link) {
    const size_t arrow = name.find("->");
    if (arrow != std::string_view::npos) name = name.substr(0, arrow);
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
  }
  if (owner.empty() || size.empty() || name.empty()) return LineVerdict::kMisfit;
  out->name = name;
  out->modified = UnixStyleDate(month, day, timeOrYear, ctx.now);
  return LineVerdict::kEntry;
}

}  // namespace tarn::listing
