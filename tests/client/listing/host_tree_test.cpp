// The host tree model: insertion modes, removal and order.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/listing/host_tree.h"

namespace tarn::listing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TreeNode At(const char* path) { return TreeNode{path}; }

TEST(HostTree, InsertionModes) {
  HostTree t;
  const NodeId host = t.Insert(kNoNode, kInsertRoot, At("host"), "host", kIconFolder);
  EXPECT_EQ(t.RootNode(), host);
  const NodeId other = t.Insert(kNoNode, kInsertTopLast, At("other"), "other", kIconFolder);
  EXPECT_THAT(t.TopLevel(), ElementsAre(host, other));

  // Mode 1 without a parent: first child of the remembered root node.
  const NodeId a = t.Insert(kNoNode, kInsertFirstChild, At("/a"), "a", kIconFolder);
  const NodeId b = t.Insert(kNoNode, kInsertFirstChild, At("/b"), "b", kIconFolder);
  EXPECT_THAT(t.Children(host), ElementsAre(b, a));
  // Mode 1 with a parent: its first child; other modes: its last child.
  const NodeId a1 = t.Insert(a, 3, At("/a/1"), "1", kIconFolder);
  const NodeId a2 = t.Insert(a, 2, At("/a/2"), "2", kIconFolder);
  const NodeId a0 = t.Insert(a, kInsertFirstChild, At("/a/0"), "0", kIconFolder);
  EXPECT_THAT(t.Children(a), ElementsAre(a0, a1, a2));
  EXPECT_EQ(t.Parent(a2), a);
  // A tree of a single level puts mode 1 under the root node whatever the
  // parent.
  t.SetSingleLevel(true);
  const NodeId c = t.Insert(a, kInsertFirstChild, At("/c"), "c", kIconFolder);
  EXPECT_EQ(t.Parent(c), host);
  EXPECT_TRUE(t.IsConsistent());
  EXPECT_EQ(t.size(), 8u);
}

TEST(HostTree, SelectedImageOpensFolders) {
  HostTree t;
  const NodeId folder = t.Insert(kNoNode, kInsertRoot, At("/"), "/", kIconFolder);
  const NodeId dataset = t.Insert(folder, 3, At("X"), "X", kIconDataset);
  EXPECT_EQ(t.SelectedImage(folder), kIconOpenFolder);
  EXPECT_EQ(t.SelectedImage(dataset), kIconDataset);
}

TEST(HostTree, DeletingChildrenFreesWholeSubtrees) {
  HostTree t;
  const NodeId root = t.Insert(kNoNode, kInsertRoot, At("/"), "/", kIconFolder);
  const NodeId a = t.Insert(root, 3, At("/a"), "a", kIconFolder);
  t.Insert(a, 3, At("/a/x"), "x", kIconFolder);
  t.Insert(root, 3, At("/b"), "b", kIconFolder);
  t.DeleteChildren(root);
  EXPECT_THAT(t.Children(root), IsEmpty());
  EXPECT_EQ(t.size(), 1u);
  EXPECT_FALSE(t.IsLive(a));
  EXPECT_TRUE(t.IsConsistent());
  // Freed ids are used again, and the new nodes are whole.
  const NodeId again = t.Insert(root, 3, At("/c"), "c", kIconFolder);
  EXPECT_TRUE(t.Children(again).empty());
  EXPECT_EQ(t.Record(again).path, "/c");
  t.Delete(root);
  EXPECT_EQ(t.size(), 0u);
  EXPECT_EQ(t.RootNode(), kNoNode);
  EXPECT_TRUE(t.IsConsistent());
}

TEST(HostTree, SortsChildrenByText) {
  HostTree t;
  const NodeId root = t.Insert(kNoNode, kInsertRoot, At("/"), "/", kIconFolder);
  for (const char* name : {"delta", "Alpha", "charlie", "bravo"})
    t.Insert(root, 3, At(name), name, kIconFolder);
  t.SortChildren(root);
  std::vector<std::string> texts;
  for (NodeId id : t.Children(root)) texts.push_back(t.Text(id));
  EXPECT_THAT(texts, ElementsAre("Alpha", "bravo", "charlie", "delta"));
}

TEST(HostTree, PathsAreCutToTheRecord) {
  HostTree t;
  const std::string longPath(400, 'p');
  const NodeId id = t.Insert(kNoNode, kInsertRoot, TreeNode{longPath}, "p", kIconFolder);
  EXPECT_EQ(t.Record(id).path.size(), 259u);
}

}  // namespace
}  // namespace tarn::listing
