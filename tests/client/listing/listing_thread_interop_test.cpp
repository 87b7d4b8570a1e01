// The listing thread's work against vsftpd: log on, list, into a
// subdirectory by the tree, up one level and refresh.
#include "client/listing/listing_thread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/engine/logon.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/test_servers.h"

namespace tarn::listing {
namespace {

DateParts Now() { return DateParts{2026, 12, 7, 12, 0, 0}; }

class ListingThreadTest : public testing::EngineTest {
 protected:
  ListingContext ctx_;
};

TEST_F(ListingThreadTest, VsftpdBrowseByTreeUpAndRefresh) {
  if (!testing::NeedServers()) return;
  app_.bConnected = 0;
  FtpConn& c = c_;
  HostRecord h = testing::VsftpdUserSession();
  app_.settings.bPassive = 1;
  ListingContext& ctx = ctx_;
  // The window's tree has the session's own node on top; the listings
  // hang below it.
  ctx.tree.Insert(kNoNode, kInsertRoot, TreeNode{}, "vsftpd", kIconFolder);
  ConnectContext cc;
  cc.conn = &c;
  cc.hooks.resetListing = [&] { PathStateFromConn(c, &ctx.path); };
  cc.hooks.processDirectory = [&](const std::string& dir) {
    PathStateFromConn(c, &ctx.path);
    return ProcessCurrentDirectory(c, &ctx, dir);
  };
  cc.hooks.startListing = [&](const std::string& dir) {
    RunListing(c, &ctx, FirstListingRequest(ctx.path, dir), Now());
  };
  ASSERT_TRUE(RunConnect(cc, &h)) << Log();

  auto names = [&] {
    std::vector<std::string> out;
    for (const auto& e : ctx.listing.rows()) out.emplace_back(ctx.listing.Name(e));
    return out;
  };
  EXPECT_THAT(names(), ::testing::IsSupersetOf({"hello.txt", "upload"}));
  NodeId root = ctx.selected;
  ASSERT_NE(root, kNoNode);
  NodeId upload = kNoNode;
  for (NodeId child : ctx.tree.Children(root))
    if (ctx.tree.Record(child).path == "/upload") upload = child;
  ASSERT_NE(upload, kNoNode);

  // Select the subdirectory's node.
  ListingRequest into = RequestForSelection(ctx.tree, upload, &ctx.path, ctx.nameCase, &ui_);
  EXPECT_EQ(RunListing(c, &ctx, into, Now()), 0);
  EXPECT_EQ(ctx.path.currentDir, "/upload");
  EXPECT_EQ(ctx.path.parentDir, "/");

  // Up one level selects the root node again, which lists "/".
  UpOneLevelStep up = UpOneLevel(ctx.tree, upload, ctx.path, ctx.nameCase, &ui_);
  if (up.select != kNoNode) {
    EXPECT_EQ(RunListing(c, &ctx, RequestForSelection(ctx.tree, up.select, &ctx.path, ctx.nameCase, &ui_), Now()), 0);
  } else {
    ASSERT_TRUE(up.request.has_value());
    EXPECT_EQ(RunListing(c, &ctx, *up.request, Now()), 0);
  }
  EXPECT_EQ(ctx.path.currentDir, "/");
  EXPECT_THAT(names(), ::testing::Contains("hello.txt"));

  // Refresh lists the selected node again.
  auto again = RequestForRefresh(&ctx.tree, ctx.selected, ctx.path, ctx.nameCase, &ui_);
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(RunListing(c, &ctx, *again, Now()), 0);
  EXPECT_THAT(names(), ::testing::Contains("upload"));
  EXPECT_TRUE(ctx.tree.IsConsistent());
  FtpQuit(c, c.sockControl);
  c.sockControl = FtpCloseSocket(c, c.sockControl);
}

}  // namespace
}  // namespace tarn::listing
