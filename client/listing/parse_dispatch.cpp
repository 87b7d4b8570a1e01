#include "client/listing/parse_dispatch.h"

#include "client/listing/listing_thread.h"
#include "client/listing/mainframe_parsers.h"

namespace tarn::listing {

namespace {

MainframeParseRequest MainframeRequest(const ParserChoice& choice, const ParseContext& pc,
                                       ListingContext* ctx, Ui* ui) {
  MainframeParseRequest req;
  req.directory = pc.directory;
  req.rootString = ctx->path.rootString;
  req.nameCase = ctx->nameCase;
  req.typeNames = ctx->typeNames;
  req.tree = &ctx->tree;
  req.node = pc.node;
  req.insertMode = pc.insertMode;
  req.addToTree = pc.addToTree && pc.node != kNoNode;
  req.kind = choice.kind;
  req.recordLength = pc.recordLength;
  req.ui = ui;
  req.log = pc.log;
  return req;
}

}  // namespace

ParseOutcome ParseListingText(const ParserChoice& choice, std::string_view text,
                              const ParseContext& pc, ListingContext* ctx, Ui* ui) {
  ctx->listing.Clear();
  if (choice.parser == ListingParser::kGeneric) {
    GenericParseRequest req;
    req.serverType = ctx->path.serverType;
    req.directory = pc.directory;
    req.rootString = ctx->path.rootString;
    req.nameCase = ctx->nameCase;
    req.now = pc.now;
    req.typeNames = ctx->typeNames;
    req.tree = &ctx->tree;
    req.node = pc.node;
    req.insertMode = pc.insertMode;
    req.addToTree = pc.addToTree && pc.node != kNoNode;
    req.ui = ui;
    req.log = pc.log;
    return ParseGenericListing(text, req, &ctx->listing);
  }

  const MainframeParseRequest req = MainframeRequest(choice, pc, ctx, ui);
  HostListing* out = &ctx->listing;
  ParseOutcome (*vse)(std::string_view, const MainframeParseRequest&, HostListing*) = nullptr;
  switch (choice.parser) {
    case ListingParser::kMvsDatasets:
      // A member or load-module list met here changes the node's kind
      // itself; the caller reads it from there.
      return ParseMvsDatasets(text, req, out);
    case ListingParser::kMvsMembers: return ParseMvsMembers(text, req, out);
    case ListingParser::kMvsLoadModules: return ParseMvsLoadModules(text, req, out);
    case ListingParser::kVm: return ParseVmListing(text, req, out);
    case ListingParser::kVseLibrary: vse = ParseVseLibrary; break;
    case ListingParser::kVseSubLibrary: vse = ParseVseSubLibrary; break;
    case ListingParser::kVsePowerQueue: vse = ParseVsePowerQueue; break;
    case ListingParser::kVsamCatalog: vse = ParseVsamCatalog; break;
    case ListingParser::kVtoc: vse = ParseVtoc; break;
    default: vse = ParseVseDirectory; break;
  }
  ParseOutcome outcome = vse(text, req, out);
  // VSE rows are sorted here, as column 0 sorts host rows: the host-row
  // sort that follows every listing leaves them alone.
  SortVseRows(out, ctx->sort.direction[0]);
  const std::vector<VseEntry>& rows = out->vseRows();
  for (size_t i = 0; i < rows.size(); ++i)
    if (i == 0 || rows[i].name.length > rows[outcome.widestRow].name.length) outcome.widestRow = i;
  return outcome;
}

}  // namespace tarn::listing
