// The parser of a listing, picked by ChooseParser from the host family, the
// directory's kind and the VSE view code, over one common call.
#pragma once

#include <string>
#include <string_view>

#include "client/listing/generic_parser.h"
#include "client/listing/path_rules.h"
#include "client/session/ui.h"

namespace tarn::listing {

struct ListingContext;

// What every parser is given besides the text.
struct ParseContext {
  std::string directory;       // the directory listed
  DateParts now;               // local time, for dates without a year
  bool addToTree = false;      // directories become nodes under `node`
  NodeId node = kNoNode;
  int32_t insertMode = kInsertLastChild;
  int32_t recordLength = 0;    // MVS members: the dataset's LRECL
  ListingLog log;              // transcript lines; null: none
};

// Parses `text` with the parser of `choice` into ctx->listing (emptied
// first) and ctx->tree. An MVS dataset listing that turns out to list the
// members of a PDS or load library changes the kind of pc.node to 4 or 6.
// VSE rows come back sorted by column 0 in its current direction. Never
// throws; a failed allocation shows its box.
ParseOutcome ParseListingText(const ParserChoice& choice, std::string_view text,
                              const ParseContext& pc, ListingContext* ctx, Ui* ui);

}  // namespace tarn::listing
