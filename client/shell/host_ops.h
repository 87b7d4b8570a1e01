// The engine work behind the host panes' commands, as functions that run
// on the connection's worker (inside a ConnWorker op) over the worker's own
// listing context. Each one that changes what the panes show ends with
// TakeSnapshot, whose result the GUI thread then shows.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "client/engine/ftp_conn.h"
#include "client/listing/listing_thread.h"
#include "client/session/host_record.h"
#include "client/shell/shell_context.h"

namespace tarn::shell {

// The local time the parsers take the year of a listing from.
listing::DateParts NowParts();

// Moves the finished rows out of `ctx` (when `withRows`) and copies the
// tree, the selected node and the view facts into `out`.
void TakeSnapshot(const FtpConn& c, listing::ListingContext& ctx, int result, bool withRows,
                  ListingSnapshot* out);

// A new connection's tree: empty, with the session's own node as the
// remembered root (its children are the listed roots).
void StartConnectionTree(FtpConn& c, listing::ListingContext& ctx, const std::string& sessionName);

// The listing of a zoom path or a typed path: the directory is split from
// its mask against the current directory; a node of the first level with
// that path (or the root's "(Root)" node for an absolute path below it)
// receives it, otherwise it is listed under a new root node. nullopt when
// the path was refused (the box was shown).
std::optional<listing::ListingRequest> RequestForTypedPath(FtpConn& c, listing::ListingContext& ctx,
                                                           const std::string& typed);

// The node of the tree below `parent` whose path is `path`, kNoNode when
// none (compared exactly).
listing::NodeId ChildWithPath(const listing::HostTree& tree, listing::NodeId parent,
                              const std::string& path);

// The MKD argument of a new folder `name` inside `directory`: the
// directory, the host's separator and the name (no doubled separator after
// a root). MVS and VM qualifiers join with "." ("USER.DATA" + "NEW" ->
// "USER.DATA.NEW"); on MVS the result is the quoted, fully qualified name
// ("'USER.DATA.NEW'"), and a name typed in quotes is taken as it stands.
std::string NewFolderPath(const listing::PathState& s, const std::string& directory,
                          const std::string& name);

// The RMD argument of the folder at `path`: on MVS the quoted, fully
// qualified name, so that the server puts no prefix of its own before it;
// elsewhere the path as it stands.
std::string RemoveFolderPath(int32_t hostFamily, const std::string& path);

// The initial host directory of a connection: a host name holding a
// backslash (else a slash) is cut there, the rest being the directory
// ("ftp.example.org/pub" -> "ftp.example.org" in "/pub"); otherwise the
// zoom-path box's text, unless it is "Default Host Path" or empty, which
// leave the session's own.
void ApplyInitialDirectory(HostRecord* rec, const std::string& zoomText);

// A session name not yet taken: `name`, else "name (2)", "name (3)"...
// `exists` answers for a name.
std::string UniqueSessionName(const std::string& name,
                              const std::function<bool(const std::string&)>& exists);

// Ends the connection: QUIT when logged on, then every socket closed and
// the listing state emptied. Returns the QUIT's reply class (0: none).
int QuitAndClose(FtpConn& c, listing::ListingContext& ctx, bool sendQuit);

}  // namespace tarn::shell
