#include "client/listing/host_tree.h"

#include <algorithm>

#include "client/listing/row_sort.h"
#include "client/listing/text_rules.h"

namespace tarn::listing {

NodeId HostTree::Insert(NodeId parent, int32_t mode, const TreeNode& record,
                        std::string_view text, uint32_t image) {
  NodeId under = kNoNode;
  bool first = false;
  switch (mode) {
    case kInsertRoot:
    case kInsertTopLast:
      break;
    case kInsertFirstChild:
      under = (parent == kNoNode || singleLevel_) ? root_ : parent;
      first = true;
      break;
    default:
      under = parent;
      break;
  }
  if (under != kNoNode && !IsLive(under)) under = kNoNode;

  NodeId id;
  if (!free_.empty()) {
    id = free_.back();
  } else {
    nodes_.emplace_back();
    id = static_cast<NodeId>(nodes_.size() - 1);
    free_.push_back(id);
  }
  Node& n = nodes_[id];
  n.record = record;
  n.record.path.resize(CutLength(n.record.path, kPathCapacity));
  n.text.assign(text);
  n.image = image;
  n.selectedImage = image == kIconFolder ? kIconOpenFolder : image;
  n.parent = under;
  n.children.clear();
  std::vector<NodeId>& siblings = SiblingsOf(under);
  if (first)
    siblings.insert(siblings.begin(), id);
  else
    siblings.push_back(id);
  // Nothing above may throw once the node is linked in.
  free_.pop_back();
  n.live = true;
  ++live_;
  if (mode == kInsertRoot) root_ = id;
  return id;
}

void HostTree::Release(NodeId id) {
  Node& n = nodes_[id];
  for (NodeId child : n.children) Release(child);
  n.children.clear();
  n.children.shrink_to_fit();
  n.record = TreeNode{};
  n.text.clear();
  n.text.shrink_to_fit();
  n.live = false;
  --live_;
  if (root_ == id) root_ = kNoNode;
  free_.push_back(id);
}

void HostTree::DeleteChildren(NodeId node) {
  if (!IsLive(node)) return;
  std::vector<NodeId> children;
  children.swap(nodes_[node].children);
  for (NodeId child : children) Release(child);
}

void HostTree::Delete(NodeId node) {
  if (!IsLive(node)) return;
  std::vector<NodeId>& siblings = SiblingsOf(nodes_[node].parent);
  siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
  Release(node);
}

void HostTree::Clear() {
  nodes_.clear();
  free_.clear();
  top_.clear();
  root_ = kNoNode;
  live_ = 0;
}

void HostTree::SortChildren(NodeId node) {
  std::vector<NodeId>& children = SiblingsOf(IsLive(node) ? node : kNoNode);
  std::stable_sort(children.begin(), children.end(), [this](NodeId a, NodeId b) {
    return CompareNames(nodes_[a].text, nodes_[b].text) < 0;
  });
}

bool HostTree::IsConsistent() const {
  size_t live = 0;
  for (NodeId id = 0; id < nodes_.size(); ++id) {
    const Node& n = nodes_[id];
    if (!n.live) continue;
    ++live;
    const std::vector<NodeId>& siblings = n.parent == kNoNode ? top_ : nodes_[n.parent].children;
    if (n.parent != kNoNode && !nodes_[n.parent].live) return false;
    if (std::count(siblings.begin(), siblings.end(), id) != 1) return false;
    for (NodeId child : n.children)
      if (!IsLive(child) || nodes_[child].parent != id) return false;
  }
  for (NodeId id : top_)
    if (!IsLive(id) || nodes_[id].parent != kNoNode) return false;
  return live == live_ && (root_ == kNoNode || IsLive(root_));
}

}  // namespace tarn::listing
