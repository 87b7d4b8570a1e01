#include "client/listing/generic_parser.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "client/listing/columns.h"
#include "client/listing/dialects.h"
#include "client/listing/host_types.h"
#include "client/listing/listing_lines.h"

namespace tarn::listing {

void ReportRowAllocationFailure(Ui* ui) {
  if (ui) ui->MessageBox(kOutOfMemoryText, kOutOfMemoryCaption, BoxButtons::kOk, BoxIcon::kWarning);
}

namespace {

size_t CountLines(std::string_view text) {
  size_t n = 1;
  for (const char* p = text.data(), *end = p + text.size();
       (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))); ++p)
    ++n;
  return n;
}

// What one listing line is to the generic listing.
enum class LineKind { kEntry, kNonEntry, kMisfit };

// Reads `line` with the dialect; an entry fills `e`. "total" lines and
// "permission denied" notes (for dialects that print them), "." and ".."
// are no entries; an empty line or one the dialect cannot read is a misfit.
LineKind ReadLine(std::string_view line, const Dialect& dialect, const LineContext& ctx, LineEntry* e) {
  if (line.empty()) return LineKind::kMisfit;
  if (dialect.skipsTotals &&
      (StartsWithNoCase(line, "total") || ContainsNoCase(line, "permission denied")))
    return LineKind::kNonEntry;
  const LineVerdict verdict = dialect.parse(line, ctx, e);
  if (verdict == LineVerdict::kNoEntry) return LineKind::kNonEntry;
  if (verdict == LineVerdict::kMisfit || e->name.empty()) return LineKind::kMisfit;
  if (e->name == "." || e->name == "..") return LineKind::kNonEntry;
  return LineKind::kEntry;
}

// The row's kind, icon, size and type text from the entry. A type field
// with "DIR" or a '.' is a folder; "LINK" a link without a size. The type
// text is the permissions for dialects that list them, else "File Folder"
// or the name's type, kept in `*typeText`. Throws std::bad_alloc.
void DescribeEntry(const LineEntry& e, const Dialect& dialect, const GenericParseRequest& req,
                   std::string* typeText, RowInput* row) {
  row->modified = e.modified;
  if (ContainsNoCase(e.typeOrSize, "DIR") || e.typeOrSize.find('.') != std::string_view::npos) {
    row->isDirectory = 1;
    row->image = kIconFolder;
    row->sizeForm = SizeForm::kNone;
    row->typeText = dialect.typeIsPermissions ? e.permissions : std::string_view("File Folder");
    return;
  }
  row->image = kIconByName;
  if (ContainsNoCase(e.typeOrSize, "LINK")) {
    row->sizeForm = SizeForm::kSymLink;
  } else {
    const int64_t size = LeadingNumber(e.typeOrSize);
    row->size = size > 0 ? static_cast<uint64_t>(size) : 0;
    row->sizeForm = SizeForm::kExactOrZero;
  }
  if (dialect.typeIsPermissions) {
    row->typeText = e.permissions;
  } else {
    *typeText = TypeTextForName(e.name, req.serverType, req.typeNames);
    row->typeText = *typeText;
  }
}

}  // namespace

ParseOutcome ParseGenericListing(std::string_view listing, const GenericParseRequest& req,
                                 HostListing* out) {
  ParseOutcome outcome;
  const Dialect& dialect = DialectFor(req.serverType);
  out->viewCode = req.serverType == SERVER_UNIX ? kViewGenericUnix : kViewGeneric;
  if (req.log) {
    req.log("Printing directory list for host type: " + std::string(dialect.name) + "\r\n");
    req.log(listing);
  }
  if (listing.empty()) return outcome;

  std::vector<std::string_view> tokens;
  std::string name, path, typeText;
  LineContext ctx;
  ctx.now = req.now;
  ctx.tokens = &tokens;
  size_t widest = 0;

  try {
    out->Reserve(out->size() + CountLines(listing));
  } catch (const std::bad_alloc&) {
    // Only a hint; the rows below find out for themselves.
  }

  size_t pos = 0;
  std::string_view line;
  while (NextListingLine(listing, &pos, &line)) {
    LineEntry e;
    switch (ReadLine(line, dialect, ctx, &e)) {
      case LineKind::kMisfit: ++outcome.misfits; continue;
      case LineKind::kNonEntry: ++outcome.nonEntries; continue;
      case LineKind::kEntry: break;
    }
    RowInput row;
    try {
      DescribeEntry(e, dialect, req, &typeText, &row);
      JoinPathInto(req.directory, req.rootString, e.name, &path);
      name.assign(e.name);
      ApplyNameCase(req.nameCase, &name);
      row.path = path;
      row.name = name;
      const size_t index = out->AppendRow(row);
      ++outcome.rows;
      const RemoteEntry& stored = (*out)[index];
      NoteWidestRow(&outcome, index, stored.name.length, &widest);
      if (row.isDirectory && FillsTree(req)) {
        TreeNode node;
        node.path.assign(out->Path(stored));
        ListTreeNode(req, node, out->Name(stored), &outcome);
      }
    } catch (const std::bad_alloc&) {
      StopOnAllocationFailure(req.ui, &outcome);
      break;
    }
  }
  return outcome;
}

}  // namespace tarn::listing
