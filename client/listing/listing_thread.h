// Listing retrieval: the listing op's work for one request. It changes
// the server's directory when needed (ProcessCurrentDirectory), fetches the
// listing (PWD with the MVS/UNIX path-style correction, then LIST into a
// temporary file and from there into the listing buffer), hands it to the
// parser of the host, and fills and sorts the host view and tree.
//
// All of it runs on the caller's thread and blocks; the window submits it
// to the connection's worker and learns of the end through the completion
// (or WaitFinished()).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "client/engine/ftp_conn.h"
#include "client/listing/generic_parser.h"
#include "client/listing/host_tree.h"
#include "client/listing/listing_model.h"
#include "client/listing/listing_request.h"
#include "client/listing/path_rules.h"
#include "client/listing/row_sort.h"
#include "client/listing/type_names.h"

namespace tarn::listing {

// What the listings of one connection share: the path state, the host view
// and tree, the sort state and the listing buffer.
struct ListingContext {
  PathState path;
  HostListing listing;
  HostTree tree;
  SortState sort;
  std::string buffer;           // the whole LIST reply of the last fetch
  TypeNames* typeNames = nullptr;
  NameCase nameCase = NameCase::kAsIs;
  NodeId selected = kNoNode;    // the node the last listing selected
  ParseOutcome lastParse;

  // The listing-finished event: reset when a listing starts, set when it
  // ends.
  void Reset();
  void SetFinished();
  // Waits up to `ms` for the running listing to end; true when it has.
  bool WaitFinished(int ms);

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool finished_ = true;
};

// The connection's host type and root string, copied into the path state
// (after log-on), and back (after a path-style switch), so that the engine's
// own rules (ABOR on VM, CWD "\\" on VSE, quoted renames on MVS) see it.
void PathStateFromConn(const FtpConn& c, PathState* s);
void PathStateToConn(const PathState& s, FtpConn* c);

// Empties the view, the tree and the path state's directories (a new
// connection).
void ResetListing(FtpConn& c, ListingContext* ctx);

// ProcessCurrentDirectory: CWD when `directory` differs (ignoring case)
// from the current one, then the current and parent directories. False
// after the "Error changing directory" box.
bool ProcessCurrentDirectory(FtpConn& c, ListingContext* ctx, const std::string& directory);

// Fetch listing: PWD (and the path-style correction), LIST into a temporary
// file, the file into ctx->buffer. False after the failure's box.
bool FetchListing(FtpConn& c, ListingContext* ctx);

// The listing op: returns 0 after a complete run, 1 when the directory
// could not be entered. `now` is the local time the parsers take the year
// from. The listing-finished event is set on every way out. Runs as an op
// of the connection's worker (ConnWorker), like every engine call.
int RunListing(FtpConn& c, ListingContext* ctx, ListingRequest req, const DateParts& now);

// The request of the first listing of a connection: the start directory
// under a new root node.
ListingRequest FirstListingRequest(const PathState& s, const std::string& directory);

}  // namespace tarn::listing
