// The VM/CMS parser (samples in mainframe_parsers.h). Fixed columns:
//
//   0-7 file name, 9-16 file type, 18-20 record format (F, V or DIR),
//   22-29 LRECL, 31-40 records, 42-51 blocks of 4096 bytes, 53- date and
//   time ("2002-12-19 10:15:30" or "12/19/02 10:15:30").

#include <algorithm>
#include <new>
#include <string>

#include "client/listing/columns.h"
#include "client/listing/listing_lines.h"
#include "client/listing/mainframe_parsers.h"

namespace tarn::listing {

namespace {

constexpr uint64_t kVmBlockBytes = 4096;

// Splits `s` at any of `separators` into at most `max` parts.
size_t SplitAt(std::string_view s, std::string_view separators, std::string_view* parts, size_t max) {
  size_t n = 0, start = 0;
  for (size_t i = 0; i <= s.size() && n < max; ++i) {
    if (i == s.size() || separators.find(s[i]) != std::string_view::npos) {
      parts[n++] = s.substr(start, i - start);
      start = i + 1;
    }
  }
  return n;
}

int Small(std::string_view s) { return static_cast<int>(std::min<uint64_t>(DecimalValue(s), 99999)); }

// The date and time from character 53 on. A first date part of one or two
// characters means month/day/year, with a one- or two-digit year read as
// 20xx up to 60 and 19xx above; otherwise year-month-day.
FileTime VmDate(std::string_view text) {
  std::string_view tokens[2];
  size_t n = 0, p = 0;
  while (n < 2 && p < text.size()) {
    while (p < text.size() && IsListingBlank(text[p])) ++p;
    const size_t start = p;
    while (p < text.size() && !IsListingBlank(text[p])) ++p;
    if (p > start) tokens[n++] = text.substr(start, p - start);
  }
  std::string_view date[3], time[3];
  if (SplitAt(tokens[0], "/-", date, 3) < 3) return 0;
  SplitAt(tokens[1], ":", time, 3);
  DateParts d;
  if (date[0].size() == 1 || date[0].size() == 2) {
    d.month = Small(date[0]);
    d.day = Small(date[1]);
    d.year = Small(date[2]);
    if (date[2].size() <= 2) d.year += d.year <= 60 ? 2000 : 1900;
  } else {
    d.year = Small(date[0]);
    d.month = Small(date[1]);
    d.day = Small(date[2]);
  }
  d.hour = Small(time[0]);
  d.minute = Small(time[1]);
  d.second = Small(time[2]);
  return FileTimeFromParts(d);
}

// The record format's part of a row: size, size form and date from the
// columns. A line that ends before the format has neither (kUnknown, shown
// as a fixed member).
enum class VmFormat { kUnknown, kFixed, kVariable, kDirectory };
VmFormat DescribeVmLine(std::string_view line, RowInput* row) {
  if (line.size() < 19) {
    row->sizeForm = SizeForm::kUnknown;
    row->dateText = "Not Available";
    return VmFormat::kUnknown;
  }
  const std::string_view format = Field(line, 18, 21);
  row->modified = VmDate(Columns(line, 53));
  if (EqualsNoCase(format, "DIR")) {
    row->sizeForm = SizeForm::kTwoBlanks;
    return VmFormat::kDirectory;
  }
  if (!format.empty() && (format[0] == 'F' || format[0] == 'f')) {
    row->size = SaturatingProduct(DecimalValue(Columns(line, 31, 41)), DecimalValue(Columns(line, 22, 30)));
    row->sizeForm = SizeForm::kExact;
    return VmFormat::kFixed;
  }
  row->size = SaturatingProduct(DecimalValue(Columns(line, 42, 52)), kVmBlockBytes);
  row->sizeForm = SizeForm::kApprox;
  return VmFormat::kVariable;
}

// The file name and type of a line, which share its first 21 characters
// with the format; false when the line names no file. A name of eight
// characters or less leaves the type its own column; a longer one pushes
// it along to the next word.
bool VmNameAndType(std::string_view line, std::string_view* name, std::string_view* type) {
  const std::string_view head = Columns(line, 0, 21);
  *name = UpToBlank(head);
  if (name->empty()) return false;
  *type = name->size() <= 8 ? UpToBlank(Columns(head, 9)) : UpToBlank(TrimBlanks(head.substr(name->size())));
  return true;
}

// A row's name and path under `directory`: a directory "NAME." (its path
// the directory and the name), a file "NAME.TYPE" as "directory(NAME.TYPE)".
void VmRowNames(std::string_view directory, const std::string& fname, const std::string& ftype,
                bool isDirectory, std::string* name, std::string* path) {
  *name = fname + ".";
  path->assign(directory);
  if (isDirectory) {
    *path += *name;
    return;
  }
  *name += ftype;
  *path += '(';
  *path += *name;
  *path += ')';
}

}  // namespace

ParseOutcome ParseVmListing(std::string_view listing, const MainframeParseRequest& req,
                            HostListing* out) {
  ParseOutcome outcome;
  out->viewCode = kViewGeneric;
  if (req.log) req.log(listing);

  std::string fname, ftype, name, path, typeText;
  size_t widest = 0;
  size_t pos = 0;
  std::string_view line;
  while (NextListingLine(listing, &pos, &line)) {
    std::string_view nameToken, typeToken;
    if (!VmNameAndType(line, &nameToken, &typeToken)) {
      ++outcome.misfits;
      continue;
    }

    RowInput row;
    const VmFormat format = DescribeVmLine(line, &row);
    const bool directory = format == VmFormat::kDirectory;
    const bool variable = format == VmFormat::kVariable;

    try {
      fname.assign(nameToken);
      ftype.assign(typeToken);
      ApplyNameCase(req.nameCase, &fname);
      ApplyNameCase(req.nameCase, &ftype);
      VmRowNames(req.directory, fname, ftype, directory, &name, &path);
      row.isDirectory = directory ? 1 : 0;
      row.image = directory ? kIconFolder : variable ? kIconMemberVariable : kIconMemberFixed;
      typeText = TypeTextForName(name, SERVER_VM, req.typeNames);
      row.typeText = typeText;
      row.name = name;
      row.path = path;
      const size_t index = out->AppendRow(row);
      ++outcome.rows;
      const RemoteEntry& stored = (*out)[index];
      NoteWidestRow(&outcome, index, stored.name.length, &widest);
      if (directory && FillsTree(req)) {
        TreeNode node;
        node.path.assign(out->Path(stored));
        node.kind = kKindVmDirectory;
        ListTreeNode(req, node, out->Path(stored), &outcome);
      }
    } catch (const std::bad_alloc&) {
      StopOnAllocationFailure(req.ui, &outcome);
      break;
    }
  }
  return outcome;
}

}  // namespace tarn::listing
