// HostTree: the Qt-free model behind the host tree. Nodes are small plain
// records (TreeNode plus the text and images shown) addressed by stable
// ids; the Qt tree model only maps its indexes to these ids.
//
// One thread at a time: the listing op inserts on the connection's worker
// while the window leaves the tree alone, and the window reads after the
// listing-finished signal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/listing/listing_model.h"

namespace tarn::listing {

using NodeId = uint32_t;
constexpr NodeId kNoNode = UINT32_MAX;

// The record behind one tree node.
struct TreeNode {
  std::string path;         // up to 259 bytes
  int32_t kind = kKindDirectory;  // MVS kind code; 1 for other hosts
  int32_t recordLength = 0;
  int32_t vseKind = 1;      // VSE view code; 1 for other hosts
};

// Insertion modes of HostTree::Insert.
enum InsertMode : int32_t {
  kInsertRoot = 0,       // top level; remembered as the root node
  kInsertFirstChild = 1, // first child of the parent, or of the root node
  kInsertLastChild = 3,  // last child of the parent (what listings insert)
  kInsertTopLast = 4,    // top level, after the last node
  // Any other value: last child of the given parent.
};

class HostTree {
 public:
  // Inserts a node. Mode kInsertRoot and kInsertTopLast ignore `parent`;
  // kInsertFirstChild uses the remembered root node when `parent` is
  // kNoNode or the tree shows a single level; any other mode needs a live
  // `parent` (kNoNode then inserts at the top level). The path is cut to
  // 259 bytes. The selected image is kIconOpenFolder when `image` is
  // kIconFolder, else `image`. Returns the new id; throws std::bad_alloc
  // when memory runs out.
  NodeId Insert(NodeId parent, int32_t mode, const TreeNode& record, std::string_view text,
                uint32_t image);

  // Removes every descendant of `node` (the node stays).
  void DeleteChildren(NodeId node);
  // Removes the node and its descendants.
  void Delete(NodeId node);
  // Removes everything, the remembered root node included.
  void Clear();

  // Orders the children of `node` by text (CompareNames of row_sort.h).
  void SortChildren(NodeId node);

  bool IsLive(NodeId id) const { return id < nodes_.size() && nodes_[id].live; }
  const TreeNode& Record(NodeId id) const { return nodes_[id].record; }
  TreeNode& MutableRecord(NodeId id) { return nodes_[id].record; }
  const std::string& Text(NodeId id) const { return nodes_[id].text; }
  uint32_t Image(NodeId id) const { return nodes_[id].image; }
  uint32_t SelectedImage(NodeId id) const { return nodes_[id].selectedImage; }
  NodeId Parent(NodeId id) const { return nodes_[id].parent; }
  const std::vector<NodeId>& Children(NodeId id) const { return nodes_[id].children; }
  const std::vector<NodeId>& TopLevel() const { return top_; }
  // The first top-level node, kNoNode when the tree is empty.
  NodeId FirstTopLevel() const { return top_.empty() ? kNoNode : top_.front(); }
  // The node remembered by the last kInsertRoot; kNoNode when none.
  NodeId RootNode() const { return root_; }
  size_t size() const { return live_; }

  // A tree that shows a single level inserts kInsertFirstChild nodes under
  // the root node whatever the parent.
  void SetSingleLevel(bool on) { singleLevel_ = on; }

  // For tests: every parent/child link agrees and the live count is right.
  bool IsConsistent() const;

 private:
  struct Node {
    TreeNode record;
    std::string text;
    uint32_t image = 0;
    uint32_t selectedImage = 0;
    NodeId parent = kNoNode;
    std::vector<NodeId> children;
    bool live = false;
  };

  std::vector<NodeId>& SiblingsOf(NodeId parent) {
    return parent == kNoNode ? top_ : nodes_[parent].children;
  }
  void Release(NodeId id);

  std::vector<Node> nodes_;
  std::vector<NodeId> free_;
  std::vector<NodeId> top_;
  NodeId root_ = kNoNode;
  size_t live_ = 0;
  bool singleLevel_ = false;
};

}  // namespace tarn::listing
