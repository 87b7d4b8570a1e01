#include "client/cli/folder_commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "client/cli/console.h"
#include "client/engine/transfer_batch.h"
#include "client/listing/mainframe_parsers.h"
#include "client/listing/text_rules.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace tarn::cli {

namespace {

bool Fail(const FolderTransfer& ctx, const std::string& text) {
  std::fprintf(ctx.err, "%s\n", TerminalSafe(text).c_str());
  return false;
}

using platform::BaseName;

bool IsDirectory(const std::string& path) { return platform::PathInfo(path).directory; }

// mkdir -p.
bool MakeFolder(const std::string& path) {
  if (path.empty() || IsDirectory(path)) return true;
  for (size_t p = path.find('/', 1);; p = path.find('/', p + 1)) {
    const std::string part = path.substr(0, p);
    if (!IsDirectory(part) && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (p == std::string::npos) break;
  }
  return IsDirectory(path);
}

// A host directory typed on a generic host, made absolute from the
// current directory; a trailing separator goes.
std::string HostPath(const listing::PathState& path, std::string typed) {
  while (typed.size() > 1 && typed.back() == '/') typed.pop_back();
  if (!typed.empty() && (typed[0] == '/' || typed[0] == '\\')) return typed;
  if (path.currentDir.empty()) return typed;
  return listing::JoinPath(path.currentDir, path.rootString, typed);
}

// Runs the batch and reports: every refused name and the counts of a run
// that was not whole go to stderr.
bool RunBatch(FolderTransfer& ctx, TransferBatch& batch, const char* verb) {
  BatchEnv env;
  env.listing = &ctx.listing;
  env.store = ctx.store;
  env.sessionName = ctx.store ? ctx.sessionName : std::string();
  env.askReplace = false;
  env.refusedBox = false;
  ctx.ui.BeginTransfer();
  batch.RunOnWorker(ctx.conn, env);
  ctx.ui.EndTransfer();
  const BatchListener::Outcome& out = batch.outcome();
  for (const auto& row : batch.rows())
    if (row.state == RowState::kRefused) std::fprintf(ctx.err, "%s\n", TerminalSafe(row.message).c_str());
  const bool whole = out.failed == 0 && out.refused == 0 && !out.cancelled;
  if (!whole)
    std::fprintf(ctx.err, "%s -r: %d files transferred, %d failed (%d refused)%s\n", verb, out.done,
                 out.failed, out.refused, out.cancelled ? ", stopped" : "");
  return whole;
}

}  // namespace

bool TakeRecursive(std::vector<std::string>* args) {
  bool found = false;
  std::vector<std::string> rest;
  for (const auto& a : *args) {
    if (a == "-r" || a == "--recursive")
      found = true;
    else
      rest.push_back(a);
  }
  *args = rest;
  return found;
}

TransferMode ConsoleTransferMode(char forced, char optionType, TransferMode sessionMode) {
  switch (forced ? forced : optionType) {
    case 'A': return TransferMode::kAscii;
    case 'I': return TransferMode::kBinary;
    case 'X': return TransferMode::kAutoDetect;
    default: return sessionMode;
  }
}

bool GetFolder(FolderTransfer& ctx, const std::string& remoteDir, const std::string& localDir) {
  const listing::PathState& path = ctx.listing.path;
  BatchHost host;
  host.hostFamily = path.hostFamily;
  host.serverType = path.serverType;
  host.rootString = path.rootString;
  host.destination = localDir;
  std::string remote, localName;
  int32_t kind = 0;
  uint32_t recordLength = 0;
  if (path.hostFamily == HOST_GENERIC) {
    remote = HostPath(path, remoteDir);
    localName = BaseName(remote);
  } else if (path.hostFamily == HOST_MVS) {
    // A data set or level: quoted as it is, else below the current level.
    std::string current = path.currentDir;
    if (!current.empty() && current.back() == '.') current.pop_back();
    if (remoteDir.size() >= 2 && remoteDir.front() == '\'' && remoteDir.back() == '\'')
      remote = remoteDir.substr(1, remoteDir.size() - 2);
    else
      remote = current.empty() ? remoteDir : current + "." + remoteDir;
    // The kind of a container the last listing showed; else the listing
    // tells by its header.
    kind = listing::kKindDirectory;
    const listing::HostListing& rows = ctx.listing.listing;
    for (const auto& e : rows.rows())
      if (e.isDirectory && listing::EqualsNoCase(rows.Path(e), remote)) {
        kind = static_cast<int32_t>(e.image);
        recordLength = e.recordLength;
      }
    localName = listing::MvsLocalName(remote);
  } else {
    return Fail(ctx, "get -r: folders are downloaded from UNIX, Windows, NetWare and MVS hosts");
  }
  if (!listing::IsSafeLocalName(localName))
    return Fail(ctx, "get -r: \"" + localName + "\" cannot be used as a local folder name");
  if (!MakeFolder(localDir)) return Fail(ctx, localDir + ": " + strerror(errno));
  TransferBatch batch(TransferDirection::kDownload, host, ctx.mode, ctx.app.settings, ctx.app.locale);
  batch.AddDownload(remote, localName, -1, 0, true, kind, recordLength);
  return RunBatch(ctx, batch, "get");
}

bool PutFolder(FolderTransfer& ctx, const std::string& localDir, const std::string& remoteDir) {
  const listing::PathState& path = ctx.listing.path;
  if (path.hostFamily != HOST_GENERIC)
    return Fail(ctx, "put -r: folders are uploaded to UNIX, Windows and NetWare hosts");
  char real[PATH_MAX];
  if (!IsDirectory(localDir) || !realpath(localDir.c_str(), real))
    return Fail(ctx, localDir + ": " + (IsDirectory(localDir) ? strerror(errno) : "not a folder"));
  BatchHost host;
  host.hostFamily = path.hostFamily;
  host.serverType = path.serverType;
  host.rootString = path.rootString;
  host.destination = remoteDir.empty() ? path.currentDir : HostPath(path, remoteDir);
  if (host.destination.empty()) return Fail(ctx, "put -r: no host directory to upload into");
  if (BaseName(real) == "/") return Fail(ctx, "put -r: the root folder cannot be uploaded as a folder");
  TransferBatch batch(TransferDirection::kUpload, host, ctx.mode, ctx.app.settings, ctx.app.locale);
  batch.AddUpload(real);
  return RunBatch(ctx, batch, "put");
}

}  // namespace tarn::cli
