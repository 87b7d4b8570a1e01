#include "client/listing/listing_request.h"

namespace tarn::listing {

namespace {

void ApplySplit(const PathSplit& split, ListingRequest* r) {
  r->directory = split.directory;
  r->mask = split.mask;
}

}  // namespace

ListingRequest RequestForSelection(const HostTree& tree, NodeId selected, PathState* state,
                                   NameCase nameCase, Ui* ui) {
  ListingRequest r;
  if (!tree.IsLive(selected)) return r;
  const TreeNode& node = tree.Record(selected);
  r.addToTree = tree.Children(selected).empty() ? 1 : 0;
  ApplyPathStyle(PathStyleForNodePath(*state, node.path), state, ui);
  ApplySplit(SplitDirectoryAndMask(state->hostFamily, state->rootString, nameCase,
                                   state->currentDir, node.path, ui),
             &r);
  if (state->hostFamily == HOST_MVS) {
    const NodeId top = tree.FirstTopLevel();
    if (selected != top && tree.Parent(selected) != top) r.addToTree = 0;
  }
  r.node = selected;
  r.mode = kModeFromTree;
  r.nodeText = tree.Text(selected);
  r.kind = node.kind;
  r.recordLength = node.recordLength;
  r.vseKind = node.vseKind;
  return r;
}

UpOneLevelStep UpOneLevel(const HostTree& tree, NodeId selected, const PathState& state,
                          NameCase nameCase, Ui* ui) {
  UpOneLevelStep step;
  if (!tree.IsLive(selected)) return step;
  const NodeId parent = tree.Parent(selected);
  if (parent == kNoNode) return step;
  const NodeId top = tree.FirstTopLevel();
  if (parent != top) {
    step.select = parent;
    return step;
  }
  for (NodeId child : tree.Children(top)) {
    if (tree.Record(child).path == state.parentDir) {
      step.select = child;
      return step;
    }
  }
  ListingRequest r;
  r.nodeText = state.parentDir;
  r.nodePath = state.parentDir;
  ApplySplit(SplitDirectoryAndMask(state.hostFamily, state.rootString, nameCase, state.currentDir,
                                   state.parentDir, ui),
             &r);
  r.node = kNoNode;
  r.mode = kModeFirstListing;
  r.addToTree = 1;
  r.recordLength = 0;
  // The parent of an MVS directory is a dataset level. Left unclassified,
  // it would be classified by the listing held, which is the PDS's member
  // list when going up from one.
  if (state.hostFamily == HOST_MVS) r.kind = kKindDatasetLevel;
  step.request = std::move(r);
  return step;
}

std::optional<ListingRequest> RequestForRefresh(HostTree* tree, NodeId selected,
                                                const PathState& state, NameCase nameCase,
                                                Ui* ui) {
  if (!tree->IsLive(selected)) return std::nullopt;
  if (selected == tree->FirstTopLevel()) {
    if (tree->Children(selected).empty()) return std::nullopt;
    selected = tree->Children(selected).front();
  }
  const TreeNode node = tree->Record(selected);
  ListingRequest r;
  r.node = selected;
  r.nodeText = node.path;
  r.kind = node.kind;
  r.recordLength = node.recordLength;
  r.vseKind = node.vseKind;
  tree->DeleteChildren(selected);
  ApplySplit(SplitDirectoryAndMask(state.hostFamily, state.rootString, nameCase, state.currentDir,
                                   node.path, ui),
             &r);
  r.mode = kModeFromTree;
  r.addToTree = 1;
  return r;
}

}  // namespace tarn::listing
