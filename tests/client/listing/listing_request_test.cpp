// The three ways the host panes start a listing, over the tree model.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/listing/listing_request.h"
#include "tests/support/scripted_ui.h"

namespace tarn::listing {
namespace {

// A host node at the top, the start directory as its first child, and one
// listed subdirectory, as after the first listing of a connection.
class ListingRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = tree_.Insert(kNoNode, kInsertRoot, TreeNode{"host"}, "host", kIconFolder);
    start_ = tree_.Insert(kNoNode, kInsertFirstChild, TreeNode{"/home/user"}, "/home/user",
                          kIconOpenFolder);
    pub_ = tree_.Insert(start_, kModeFromTree, TreeNode{"/home/user/pub"}, "pub", kIconFolder);
    EnterDirectory(&state_, "/home/user/pub");
  }

  HostTree tree_;
  NodeId host_, start_, pub_;
  PathState state_;
  tarn::testing::ScriptedUi ui_;
};

TEST_F(ListingRequestTest, SelectingANodeListsItsPath) {
  ListingRequest r = RequestForSelection(tree_, pub_, &state_, NameCase::kAsIs, &ui_);
  EXPECT_EQ(r.node, pub_);
  EXPECT_EQ(r.mode, kModeFromTree);
  EXPECT_EQ(r.directory, "/home/user/pub");
  EXPECT_EQ(r.addToTree, 1);
  // Once it has children, a second visit does not add them again.
  tree_.Insert(pub_, kModeFromTree, TreeNode{"/home/user/pub/x"}, "x", kIconFolder);
  r = RequestForSelection(tree_, pub_, &state_, NameCase::kAsIs, &ui_);
  EXPECT_EQ(r.addToTree, 0);
}

TEST_F(ListingRequestTest, SelectingAnMvsNameOnAUnixStyleMvsServerSwitchesBack) {
  state_.systemCode = SYSTEM_MVS;
  const NodeId dataset = tree_.Insert(start_, kModeFromTree, TreeNode{"USER.CNTL", 4, 80, 1},
                                      "USER.CNTL", kIconFolder);
  const NodeId member =
      tree_.Insert(dataset, kModeFromTree, TreeNode{"USER.CNTL.X", 4, 80, 1}, "X", kIconFolder);
  ListingRequest r = RequestForSelection(tree_, dataset, &state_, NameCase::kAsIs, &ui_);
  EXPECT_EQ(state_.hostFamily, HOST_MVS);
  EXPECT_EQ(state_.serverType, SERVER_MVS);
  EXPECT_EQ(state_.rootString, "");
  EXPECT_EQ(r.directory, "USER.CNTL");
  EXPECT_EQ(r.kind, 4);
  EXPECT_EQ(r.recordLength, 80);
  EXPECT_EQ(r.addToTree, 0);  // it has a child already
  // On MVS only the top two levels take new nodes.
  r = RequestForSelection(tree_, member, &state_, NameCase::kAsIs, &ui_);
  EXPECT_EQ(r.addToTree, 0);
  r = RequestForSelection(tree_, start_, &state_, NameCase::kAsIs, &ui_);
  EXPECT_EQ(r.addToTree, 0);
  const NodeId fresh = tree_.Insert(kNoNode, kInsertFirstChild, TreeNode{"SYS1"}, "SYS1", kIconFolder);
  r = RequestForSelection(tree_, fresh, &state_, NameCase::kAsIs, &ui_);
  EXPECT_EQ(r.addToTree, 1);
}

TEST_F(ListingRequestTest, UpOneLevelSelectsTheParentNode) {
  const UpOneLevelStep step = UpOneLevel(tree_, pub_, state_, NameCase::kAsIs, &ui_);
  EXPECT_EQ(step.select, start_);
  EXPECT_FALSE(step.request);
}

TEST_F(ListingRequestTest, UpOneLevelAboveTheStartListsTheParentUnderANewRoot) {
  EnterDirectory(&state_, "/home/user");
  UpOneLevelStep step = UpOneLevel(tree_, start_, state_, NameCase::kAsIs, &ui_);
  EXPECT_EQ(step.select, kNoNode);
  ASSERT_TRUE(step.request);
  EXPECT_EQ(step.request->mode, kModeFirstListing);
  EXPECT_EQ(step.request->node, kNoNode);
  EXPECT_EQ(step.request->nodeText, "/home");
  EXPECT_EQ(step.request->directory, "/home");
  EXPECT_EQ(step.request->addToTree, 1);

  // Once that root node exists, going up from the start selects it.
  const NodeId home = tree_.Insert(kNoNode, kInsertFirstChild, TreeNode{"/home"}, "/home", kIconFolder);
  step = UpOneLevel(tree_, start_, state_, NameCase::kAsIs, &ui_);
  EXPECT_EQ(step.select, home);
  EXPECT_FALSE(step.request);

  // The top node itself has nowhere to go.
  step = UpOneLevel(tree_, host_, state_, NameCase::kAsIs, &ui_);
  EXPECT_EQ(step.select, kNoNode);
  EXPECT_FALSE(step.request);
}

TEST_F(ListingRequestTest, RefreshDropsTheChildrenAndListsAgain) {
  tree_.Insert(pub_, kModeFromTree, TreeNode{"/home/user/pub/x"}, "x", kIconFolder);
  std::optional<ListingRequest> r = RequestForRefresh(&tree_, pub_, state_, NameCase::kAsIs, &ui_);
  ASSERT_TRUE(r);
  EXPECT_TRUE(tree_.Children(pub_).empty());
  EXPECT_EQ(r->node, pub_);
  EXPECT_EQ(r->directory, "/home/user/pub");
  EXPECT_EQ(r->mode, kModeFromTree);
  EXPECT_EQ(r->addToTree, 1);
  EXPECT_TRUE(tree_.IsConsistent());

  // The top node refreshes its first child.
  r = RequestForRefresh(&tree_, host_, state_, NameCase::kAsIs, &ui_);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->node, start_);
  EXPECT_EQ(r->directory, "/home/user");
  EXPECT_FALSE(tree_.IsLive(pub_));
}

}  // namespace
}  // namespace tarn::listing
