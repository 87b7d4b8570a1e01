// Path rules of the mainframe families that the listing requests rely on.
#include <gtest/gtest.h>

#include "client/listing/listing_request.h"
#include "client/listing/path_rules.h"

namespace tarn::listing {
namespace {

TEST(PathStyle, TypedPathsOnAnMvsServer) {
  const struct {
    int32_t systemCode;
    int32_t family;
    const char* typed;
    PathStyleChange change;
  } cases[] = {
      {SYSTEM_MVS, HOST_MVS, "/u/user1", PathStyleChange::kToUnix},
      {SYSTEM_MVS, HOST_MVS, "'USER1.CNTL'", PathStyleChange::kNone},
      {SYSTEM_MVS, HOST_MVS, "USER1.CNTL", PathStyleChange::kNone},
      {SYSTEM_MVS, HOST_GENERIC, "'USER1.CNTL'", PathStyleChange::kToMvs},
      // Unquoted names stay UNIX names: "src" is a directory below.
      {SYSTEM_MVS, HOST_GENERIC, "src", PathStyleChange::kNone},
      {SYSTEM_MVS, HOST_GENERIC, "/u", PathStyleChange::kNone},
      {SYSTEM_MVS, HOST_GENERIC, "", PathStyleChange::kNone},
      // Only a server whose SYST said MVS changes style.
      {SYSTEM_DEFAULT, HOST_GENERIC, "'USER1.CNTL'", PathStyleChange::kNone},
      {SYSTEM_VM, HOST_VM, "/x", PathStyleChange::kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    PathState s;
    s.systemCode = c.systemCode;
    s.hostFamily = c.family;
    EXPECT_EQ(PathStyleForTypedPath(s, c.typed), c.change);
  }
}

TEST(ChooseParser, CarriesTheKindForTheMemberParser) {
  EXPECT_EQ(ChooseParser(HOST_MVS, kKindPdsVariable, 1, "USER.CLIST").kind, kKindPdsVariable);
  EXPECT_EQ(ChooseParser(HOST_MVS, kKindPdsFixed, 1, "USER.CNTL").kind, kKindPdsFixed);
}

// Going up from a PDS above the first listing lists its level: as a
// dataset level, not by the member list the listing buffer still holds.
TEST(UpOneLevel, AnMvsParentIsADatasetLevel) {
  HostTree tree;
  const NodeId session = tree.Insert(kNoNode, kInsertRoot, TreeNode{}, "session", kIconFolder);
  const NodeId pds = tree.Insert(session, 3, TreeNode{"USER1.CNTL", kKindPdsFixed, 80, 1}, "USER1.CNTL",
                                 kIconFolder);
  PathState s;
  s.hostFamily = HOST_MVS;
  s.serverType = SERVER_MVS;
  s.systemCode = SYSTEM_MVS;
  s.rootString.clear();
  EnterDirectory(&s, "USER1.CNTL");
  const UpOneLevelStep up = UpOneLevel(tree, pds, s, NameCase::kAsIs, nullptr);
  ASSERT_TRUE(up.request.has_value());
  EXPECT_EQ(up.request->directory, "USER1");
  EXPECT_EQ(up.request->kind, kKindDatasetLevel);
  EXPECT_EQ(up.request->mode, kModeFirstListing);
}

}  // namespace
}  // namespace tarn::listing
