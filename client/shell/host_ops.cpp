#include "client/shell/host_ops.h"

#include <algorithm>
#include <cctype>
#include <ctime>

#include "client/engine/control.h"
#include "client/engine/keepalive.h"
#include "client/shell/zoom_paths.h"
#include "platform/net.h"

namespace tarn::shell {

using listing::HostTree;
using listing::kNoNode;
using listing::NodeId;

listing::DateParts NowParts() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return listing::PartsFromTm(tm);
}

void TakeSnapshot(const FtpConn& c, listing::ListingContext& ctx, int result, bool withRows,
                  ListingSnapshot* out) {
  out->result = result;
  out->hasRows = withRows;
  if (withRows) {
    out->rows = std::move(ctx.listing);
    // A moved-from listing is only fit for destruction; the next listing
    // fills a fresh one.
    ctx.listing = listing::HostListing();
  }
  out->tree = ctx.tree;
  out->selected = ctx.selected;
  out->facts.hostFamily = ctx.path.hostFamily;
  out->facts.serverType = ctx.path.serverType;
  out->facts.viewCode = c.app ? c.app->iHostViewCode.load() : out->rows.viewCode;
  if (withRows) out->facts.viewCode = out->rows.viewCode;
  out->facts.vseKind =
      ctx.selected != kNoNode && ctx.tree.IsLive(ctx.selected) ? ctx.tree.Record(ctx.selected).vseKind : 1;
  out->facts.sort = ctx.sort;
  out->facts.rootString = ctx.path.rootString;
  out->facts.currentDir = ctx.path.currentDir;
  out->facts.parentDir = ctx.path.parentDir;
  out->facts.l8Emulated = c.bL8Emulated != 0;
}

void StartConnectionTree(FtpConn& c, listing::ListingContext& ctx, const std::string& sessionName) {
  listing::ResetListing(c, &ctx);
  listing::TreeNode record;
  record.path = "";
  try {
    ctx.tree.Insert(kNoNode, listing::kInsertRoot, record, sessionName, listing::kIconFolder);
  } catch (const std::bad_alloc&) {
  }
}

NodeId ChildWithPath(const HostTree& tree, NodeId parent, const std::string& path) {
  if (parent != kNoNode && !tree.IsLive(parent)) return kNoNode;
  const auto& kids = parent == kNoNode ? tree.TopLevel() : tree.Children(parent);
  for (NodeId id : kids)
    if (tree.IsLive(id) && tree.Record(id).path == path) return id;
  return kNoNode;
}

std::optional<listing::ListingRequest> RequestForTypedPath(FtpConn& c, listing::ListingContext& ctx,
                                                           const std::string& typed) {
  listing::PathState& s = ctx.path;
  listing::PathStyleChange change = listing::PathStyleForTypedPath(s, typed);
  if (change != listing::PathStyleChange::kNone) {
    listing::ApplyPathStyle(change, &s, c.ui);
    listing::PathStateToConn(s, &c);
  }
  listing::PathSplit split = listing::SplitDirectoryAndMask(s.hostFamily, s.rootString, ctx.nameCase,
                                                            s.currentDir, typed, c.ui);
  listing::ListingRequest req;
  req.directory = split.directory;
  req.mask = split.mask;
  req.addToTree = 1;
  req.vseKind = s.hostFamily == HOST_VSE ? 11 : 1;
  NodeId root = ctx.tree.RootNode();
  // A first-level node of that very path lists again in place.
  NodeId same = ChildWithPath(ctx.tree, root, split.directory);
  if (same != kNoNode) {
    req.node = same;
    req.mode = listing::kModeFromTree;
    req.kind = ctx.tree.Record(same).kind;
    req.recordLength = ctx.tree.Record(same).recordLength;
    req.vseKind = ctx.tree.Record(same).vseKind;
    ctx.tree.DeleteChildren(same);
    return req;
  }
  // An absolute generic path goes below the "/ (Root)" node.
  NodeId rootNode = kNoNode;
  if (!s.rootString.empty() && root != kNoNode) {
    const std::string rootText = s.rootString + " (Root)";
    for (NodeId id : ctx.tree.Children(root)) {
      std::string text = ctx.tree.Text(id);
      if (text.size() == rootText.size() &&
          std::equal(text.begin(), text.end(), rootText.begin(),
                     [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                 std::tolower(static_cast<unsigned char>(b)); })) {
        rootNode = id;
        break;
      }
    }
  }
  if (rootNode != kNoNode && split.directory.size() > 1 &&
      split.directory.compare(0, s.rootString.size(), s.rootString) == 0) {
    listing::TreeNode record;
    record.path = split.directory;
    record.vseKind = req.vseKind;
    try {
      req.node = ctx.tree.Insert(rootNode, listing::kModeFromTree, record, split.directory,
                                 split.image);
    } catch (const std::bad_alloc&) {
      return std::nullopt;
    }
    req.mode = listing::kModeFromTree;
    return req;
  }
  listing::ListingRequest first = listing::FirstListingRequest(s, split.directory);
  first.nodeText = split.fullPath.empty() ? split.directory : split.fullPath;
  first.image = split.image;
  first.mask = split.mask;
  return first;
}

std::string NewFolderPath(const listing::PathState& s, const std::string& directory,
                          const std::string& name) {
  if (s.hostFamily == HOST_MVS || s.hostFamily == HOST_VM) {
    // Qualifiers join with "."; an MVS name typed in quotes is already
    // fully qualified. The MVS argument goes in quotes, so that the
    // server does not put its own prefix before it.
    if (s.hostFamily == HOST_MVS && !name.empty() && name[0] == '\'') return name;
    std::string dir = directory;
    if (s.hostFamily == HOST_MVS) {
      dir.erase(std::remove(dir.begin(), dir.end(), '\''), dir.end());
    }
    std::string path = dir;
    if (!path.empty() && path.back() != '.') path += '.';
    path += name;
    return s.hostFamily == HOST_MVS ? "'" + path + "'" : path;
  }
  if (directory.empty()) return name;
  const std::string sep = s.rootString.empty() ? std::string("/") : s.rootString;
  if (directory.size() >= sep.size() &&
      directory.compare(directory.size() - sep.size(), sep.size(), sep) == 0)
    return directory + name;
  return directory + sep + name;
}

std::string RemoveFolderPath(int32_t hostFamily, const std::string& path) {
  if (hostFamily != HOST_MVS) return path;
  std::string name = path;
  if (name.size() >= 2 && name.front() == '\'' && name.back() == '\'') name = name.substr(1, name.size() - 2);
  return "'" + name + "'";
}

void ApplyInitialDirectory(HostRecord* rec, const std::string& zoomText) {
  std::string host = rec->cHostName;
  size_t at = host.find('\\');
  if (at == std::string::npos) at = host.find('/');
  if (at != std::string::npos) {
    SetField(rec->cHostDir, host.substr(at));
    SetField(rec->cHostName, host.substr(0, at));
    return;
  }
  if (!zoomText.empty() && zoomText != kDefaultHostPath) SetField(rec->cHostDir, zoomText);
}

std::string UniqueSessionName(const std::string& name,
                              const std::function<bool(const std::string&)>& exists) {
  if (!exists(name)) return name;
  for (int n = 2; n < 1000; ++n) {
    std::string candidate = name + " (" + std::to_string(n) + ")";
    if (!exists(candidate)) return candidate;
  }
  return name;
}

int QuitAndClose(FtpConn& c, listing::ListingContext& ctx, bool sendQuit) {
  int rc = 0;
  if (c.keepAlive) c.keepAlive->Stop();
  platform::Socket data = c.sockData.exchange(platform::kInvalidSocket);
  if (data != platform::kInvalidSocket) FtpCloseSocket(c, data);
  platform::Socket listen = c.sockListen.exchange(platform::kInvalidSocket);
  if (listen != platform::kInvalidSocket) FtpCloseSocket(c, listen);
  platform::Socket control = c.sockControl;
  if (control != platform::kInvalidSocket) {
    // FtpQuit releases TLS itself; without QUIT it is released before the
    // socket goes.
    if (sendQuit)
      rc = FtpQuit(c, control);
    else if (c.tls)
      c.tls->ShutdownAll();
    FtpCloseSocket(c, control);
    c.sockControl = platform::kInvalidSocket;
  } else if (c.tls) {
    c.tls->ShutdownAll();
  }
  c.app->bConnected = 0;
  c.app->iOpState = kOpIdle;
  listing::ResetListing(c, &ctx);
  return rc;
}

}  // namespace tarn::shell
