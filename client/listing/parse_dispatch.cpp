#include "client/listing/parse_dispatch.h"

#include "client/listing/listing_thread.h"

namespace tarn::listing {

ParseOutcome ParseListingText(const ParserChoice& choice, std::string_view text,
                              const ParseContext& pc, ListingContext* ctx, Ui* ui) {
  ctx->listing.Clear();
  switch (choice.parser) {
    case ListingParser::kGeneric: {
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
    default:
      // The mainframe dialects read their listings with parsers of their own.
      if (pc.log) pc.log("No parser for this host's listings\r\n");
      return ParseOutcome{};
  }
}

}  // namespace tarn::listing
