// The listing request, the argument block of one listing op, and the
// three ways the host panes start a listing (a tree node selected, "Up One
// Level (Host)", "Refresh &Host View"), as operations on the tree model and
// the path state. The caller checks first that a session is connected and
// that the engine is idle, then submits the listing op with the request to
// the connection's worker.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "client/listing/host_tree.h"
#include "client/listing/path_rules.h"

namespace tarn::listing {

// Insertion mode of a request that creates the root node (first listing).
constexpr int32_t kModeFirstListing = 2;
// Insertion mode of listings started from the tree: the tree's own
// kInsertLastChild, which the parsers take as it is.
constexpr int32_t kModeFromTree = kInsertLastChild;

struct ListingRequest {
  NodeId node = kNoNode;      // whose children the listing fills; set for mode 2 by the thread
  int32_t mode = kModeFromTree;
  int32_t addToTree = 0;      // 1: directories found become tree nodes
  std::string nodeText;       // mode 2: the root path shown
  std::string directory;      // the remote directory to list
  std::string nodePath;       // mode 2: path of the root node
  std::string mask;           // file mask of the typed path, "" for none
  int32_t kind = kKindDirectory;
  int32_t recordLength = 0;
  uint32_t image = kIconFolder;  // mode 2: image of the root node
  int32_t vseKind = 1;
};

// A tree node was selected (not by program): list its directory. On an
// MVS server in UNIX style a path without "/" switches `state` back to MVS
// paths first. Directories become nodes when the node has none yet; on MVS
// only for the first top-level node and its direct children.
ListingRequest RequestForSelection(const HostTree& tree, NodeId selected, PathState* state,
                                   NameCase nameCase, Ui* ui);

// "Up One Level (Host)": either a node to select (its selection then lists
// it) or, when the parent directory has no node, a request that lists it
// under a new root node. Neither when `selected` is not a live node below
// the top level.
struct UpOneLevelStep {
  NodeId select = kNoNode;
  std::optional<ListingRequest> request;
};
UpOneLevelStep UpOneLevel(const HostTree& tree, NodeId selected, const PathState& state,
                          NameCase nameCase, Ui* ui);

// "Refresh &Host View": removes the children of the selected node (of the
// first top-level node's first child when that node is selected) and
// returns the request that lists it again. nullopt when there is no such
// node.
std::optional<ListingRequest> RequestForRefresh(HostTree* tree, NodeId selected,
                                                const PathState& state, NameCase nameCase,
                                                Ui* ui);

}  // namespace tarn::listing
