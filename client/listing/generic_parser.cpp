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
    if (line.empty()) {
      ++outcome.misfits;
      continue;
    }
    if (dialect.skipsTotals &&
        (StartsWithNoCase(line, "total") || ContainsNoCase(line, "permission denied"))) {
      ++outcome.nonEntries;
      continue;
    }
    LineEntry e;
    const LineVerdict verdict = dialect.parse(line, ctx, &e);
    if (verdict == LineVerdict::kNoEntry) {
      ++outcome.nonEntries;
      continue;
    }
    if (verdict == LineVerdict::kMisfit || e.name.empty()) {
      ++outcome.misfits;
      continue;
    }
    if (e.name == "." || e.name == "..") {
      ++outcome.nonEntries;
      continue;
    }

    RowInput row;
    row.modified = e.modified;
    const bool isDirectory =
        ContainsNoCase(e.typeOrSize, "DIR") || e.typeOrSize.find('.') != std::string_view::npos;
    try {
      JoinPathInto(req.directory, req.rootString, e.name, &path);
      name.assign(e.name);
      ApplyNameCase(req.nameCase, &name);
      if (isDirectory) {
        row.isDirectory = 1;
        row.image = kIconFolder;
        row.sizeForm = SizeForm::kNone;
        row.typeText = dialect.typeIsPermissions ? e.permissions : std::string_view("File Folder");
      } else {
        row.image = kIconByName;
        if (ContainsNoCase(e.typeOrSize, "LINK")) {
          row.sizeForm = SizeForm::kSymLink;
        } else {
          const int64_t size = LeadingNumber(e.typeOrSize);
          row.size = size > 0 ? static_cast<uint64_t>(size) : 0;
          row.sizeForm = SizeForm::kExactOrZero;
        }
        if (dialect.typeIsPermissions) {
          row.typeText = e.permissions;
        } else {
          typeText = TypeTextForName(e.name, req.serverType, req.typeNames);
          row.typeText = typeText;
        }
      }
      row.path = path;
      row.name = name;
      const size_t index = out->AppendRow(row);
      ++outcome.rows;
      const RemoteEntry& stored = (*out)[index];
      NoteWidestRow(&outcome, index, stored.name.length, &widest);
      if (isDirectory && req.addToTree && req.tree) {
        TreeNode node;
        node.path.assign(out->Path(stored));
        req.tree->Insert(req.node, req.insertMode, node, out->Name(stored), kIconFolder);
        ++outcome.nodes;
      }
    } catch (const std::bad_alloc&) {
      outcome.outOfMemory = true;
      ReportRowAllocationFailure(req.ui);
      break;
    }
  }
  return outcome;
}

}  // namespace tarn::listing
