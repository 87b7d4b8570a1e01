// Path rules per host family: parents, path styles, components and the
// directory-and-mask split.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/listing/path_rules.h"
#include "tests/support/scripted_ui.h"

namespace tarn::listing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ParentDirectory, PerFamily) {
  const struct {
    int32_t family;
    const char* root;
    const char* dir;
    const char* parent;
  } cases[] = {
      {HOST_GENERIC, "/", "/a", "/"},
      {HOST_GENERIC, "/", "/a/b", "/a"},
      {HOST_GENERIC, "/", "/", ""},
      {HOST_GENERIC, "/", "", ""},
      {HOST_GENERIC, "/", "relative", ""},
      {HOST_GENERIC, "\\", "\\a\\b", "\\a"},
      {HOST_GENERIC, "\\", "\\a", "\\"},
      {HOST_MVS, "", "USER.CNTL", "USER"},
      {HOST_MVS, "", "USER.A.B", "USER.A"},
      {HOST_MVS, "", "USER", ""},
      {HOST_VM, "", "MAINT.191", ""},
      {HOST_VSE, ".", "\\PRD2.CONFIG", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir);
    EXPECT_EQ(ParentDirectory(c.family, c.root, c.dir), c.parent);
  }
}

TEST(ProcessCurrentDirectory, CwdOnlyWhenTheDirectoryChanges) {
  PathState s;
  EnterDirectory(&s, "/pub/incoming");
  EXPECT_EQ(s.parentDir, "/pub");
  EXPECT_FALSE(NeedsCwd(s, "/PUB/Incoming"));
  EXPECT_TRUE(NeedsCwd(s, "/pub"));
  EXPECT_EQ(CwdArgument(HOST_GENERIC, "/pub"), "/pub");
  EXPECT_EQ(CwdArgument(HOST_MVS, "USER.CNTL"), "'USER.CNTL'");
}

TEST(PathStyle, PwdReplyOfAnMvsServer) {
  const struct {
    int32_t systemCode;
    int32_t family;
    const char* reply;
    PathStyleChange change;
  } cases[] = {
      {SYSTEM_MVS, HOST_MVS, "257 \"/u/user\" is the HFS working directory.", PathStyleChange::kToUnix},
      {SYSTEM_MVS, HOST_MVS, "257 \"'USER.'\" is working directory.", PathStyleChange::kNone},
      {SYSTEM_MVS, HOST_GENERIC, "257 \"'USER.'\" is working directory.", PathStyleChange::kToMvs},
      {SYSTEM_MVS, HOST_GENERIC, "257 \"/u/user\"", PathStyleChange::kNone},
      {SYSTEM_DEFAULT, HOST_GENERIC, "257 \"USER\"", PathStyleChange::kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    PathState s;
    s.systemCode = c.systemCode;
    s.hostFamily = c.family;
    EXPECT_EQ(PathStyleFromPwd(s, c.reply), c.change);
  }
}

TEST(PathStyle, SwitchingSetsFamilyTypeRootAndTheCommand) {
  tarn::testing::ScriptedUi ui;
  PathState s;
  s.systemCode = SYSTEM_MVS;
  s.hostFamily = HOST_MVS;
  s.serverType = SERVER_MVS;
  s.rootString = "";
  ApplyPathStyle(PathStyleChange::kToUnix, &s, &ui);
  EXPECT_EQ(s.hostFamily, HOST_GENERIC);
  EXPECT_EQ(s.serverType, SERVER_UNIX);
  EXPECT_EQ(s.rootString, "/");
  EXPECT_EQ(PathStyleForNodePath(s, "/u/user"), PathStyleChange::kNone);
  EXPECT_EQ(PathStyleForNodePath(s, "USER.CNTL"), PathStyleChange::kToMvs);
  ApplyPathStyle(PathStyleChange::kToMvs, &s, &ui);
  EXPECT_EQ(s.hostFamily, HOST_MVS);
  EXPECT_EQ(s.serverType, SERVER_MVS);
  EXPECT_EQ(s.rootString, "");
  ApplyPathStyle(PathStyleChange::kNone, &s, &ui);
  EXPECT_THAT(ui.Commands(), ElementsAre(std::pair(UiCommand::kChangePermissions, true),
                                         std::pair(UiCommand::kChangePermissions, false)));
}

TEST(ClassifyMvsDirectory, FromTheHeaderOfTheListingHeld) {
  EXPECT_EQ(ClassifyMvsDirectory(1, ""), kKindDatasetLevel);
  EXPECT_EQ(ClassifyMvsDirectory(1, " Name     VV.MM   Created       Changed"), kKindPdsFixed);
  EXPECT_EQ(ClassifyMvsDirectory(1, " NAME     vv.mm"), kKindPdsFixed);
  EXPECT_EQ(ClassifyMvsDirectory(1, " Name      Size   TTR   Alias-of"), kKindPdsLoad);
  EXPECT_EQ(ClassifyMvsDirectory(1, "Volume Unit"), kKindDatasetLevel);
  EXPECT_EQ(ClassifyMvsDirectory(5, " Name     VV.MM"), 5);
}

TEST(LastPathComponent, PerFamily) {
  EXPECT_EQ(LastPathComponent(HOST_GENERIC, "/pub/a.txt"), "a.txt");
  EXPECT_EQ(LastPathComponent(HOST_GENERIC, "C:\\dir\\b.txt"), "b.txt");
  EXPECT_EQ(LastPathComponent(HOST_GENERIC, "plain"), "plain");
  EXPECT_EQ(LastPathComponent(HOST_GENERIC, "/pub/"), "");
  EXPECT_EQ(LastPathComponent(HOST_MVS, "USER.CNTL(JOB1)"), "JOB1");
  EXPECT_EQ(LastPathComponent(HOST_MVS, "'USER.SEQ'"), "'USER.SEQ'");
  EXPECT_EQ(LastPathComponent(HOST_VM, "MAINT.191(PROFILE.EXEC)"), "PROFILE.EXEC");
  EXPECT_EQ(LastPathComponent(HOST_VSE, "\\PRD2.CONFIG"), "\\PRD2.CONFIG");
}

// ---------------------------------------------------------------------------
// Directory and mask split
// ---------------------------------------------------------------------------

struct SplitCase {
  const char* base;
  const char* typed;
  const char* directory;
  const char* mask;
  const char* fullPath;
  uint32_t image;
};

void CheckSplits(int32_t family, const char* root, const std::vector<SplitCase>& cases,
                 NameCase rule = NameCase::kAsIs) {
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.base) + " + " + c.typed);
    const PathSplit r = SplitDirectoryAndMask(family, root, rule, c.base, c.typed, nullptr);
    EXPECT_EQ(r.directory, c.directory);
    EXPECT_EQ(r.mask, c.mask);
    EXPECT_EQ(r.fullPath, c.fullPath);
    EXPECT_EQ(r.image, c.image);
  }
}

TEST(SplitDirectoryAndMask, Generic) {
  CheckSplits(HOST_GENERIC, "/",
              {
                  {"/pub", "", "/pub", "", "/pub", kIconFolder},
                  {"/pub", "/etc", "/etc", "", "/etc", kIconFolder},
                  {"/pub", "incoming", "/pub/incoming", "", "/pub/incoming", kIconFolder},
                  {"/", "incoming", "/incoming", "", "/incoming", kIconFolder},
                  {"/pub", "*.txt", "/pub", "*.txt", "/pub/*.txt", kIconFilteredFolder},
                  {"/pub", "/a/*", "/a", "*", "/a/*", kIconFolder},
                  {"/pub", "/*.*", "/", "*.*", "/*.*", kIconFolder},
                  {"/pub", "/a/file?.c", "/a", "file?.c", "/a/file?.c", kIconFilteredFolder},
                  {"/pub", "c:\\dir\\x", "c:/dir/x", "", "c:/dir/x", kIconFolder},
                  {"/pub", "\\win\\*.doc", "/win", "*.doc", "/win/*.doc", kIconFilteredFolder},
              });
  CheckSplits(HOST_GENERIC, "\\",
              {
                  {"\\base", "sub/dir", "\\base\\sub\\dir", "", "\\base\\sub\\dir", kIconFolder},
              });
}

TEST(SplitDirectoryAndMask, Mvs) {
  CheckSplits(HOST_MVS, "",
              {
                  {"USER", "USER.*", "USER", "", "USER.*", kIconFolder},
                  {"USER", "USER.A*", "USER", "A*", "USER.A*", kIconFilteredFolder},
                  {"USER", "'SYS1.PROCLIB(IEF*)'", "SYS1.PROCLIB", "IEF*", "SYS1.PROCLIB(IEF*)",
                   kIconFilteredFolder},
                  {"USER", "SYS1.PROCLIB(*)", "SYS1.PROCLIB", "", "SYS1.PROCLIB(*)", kIconFolder},
                  {"USER", "'SYS1.MACLIB'", "SYS1.MACLIB", "", "SYS1.MACLIB", kIconFolder},
                  {"'USER.CNTL'", "", "USER.CNTL", "", "USER.CNTL", kIconFolder},
                  {"USER.", "", "USER", "", "USER", kIconFolder},
              });
  CheckSplits(HOST_MVS, "", {{"user.cntl", "", "USER.CNTL", "", "USER.CNTL", kIconFolder}},
              NameCase::kUpper);
}

TEST(SplitDirectoryAndMask, MvsWildcardInTheHighLevelQualifierIsRefused) {
  tarn::testing::ScriptedUi ui;
  const PathSplit r = SplitDirectoryAndMask(HOST_MVS, "", NameCase::kAsIs, "USER", "*", &ui);
  EXPECT_TRUE(r.refused);
  EXPECT_EQ(r.directory, "USER");
  EXPECT_EQ(r.fullPath, "USER");
  EXPECT_EQ(r.mask, "");
  ASSERT_EQ(ui.Boxes().size(), 1u);
  EXPECT_EQ(ui.Boxes()[0].text,
            "A wild card character (*) in the high-level qualifier is not supported.\r\rUsing "
            "default directory instead.");
  EXPECT_EQ(ui.Boxes()[0].caption, "Unsupported High-level Qualifier");
  EXPECT_EQ(ui.Boxes()[0].icon, BoxIcon::kWarning);
}

TEST(SplitDirectoryAndMask, Vm) {
  CheckSplits(HOST_VM, "",
              {
                  {"MAINT.191", "PROFILE*", "MAINT.191", "PROFILE*", "PROFILE*",
                   kIconFilteredFolder},
                  {"X", "DIR(PROFILE*)", "DIR", "PROFILE*", "DIR(PROFILE*", kIconFilteredFolder},
                  {"X", "DIR/*", "DIR", "*", "DIR/*", kIconFolder},
                  {"X", "'DIR'", "DIR", "", "DIR", kIconFolder},
              });
}

TEST(SplitDirectoryAndMask, Vse) {
  CheckSplits(HOST_VSE, ".",
              {
                  {"\\", "PRD2", "\\PRD2", "", "\\PRD2", kIconFolder},
                  {"\\PRD2", "/X/*.A", "\\X", "*.A", "\\X\\*.A", kIconFilteredFolder},
              });
}

TEST(RootNodeText, CaseRuleFromTheFourthCharacter) {
  const struct {
    NameCase rule;
    const char* text;
  } cases[] = {{NameCase::kAsIs, "/ (Root)"},
               {NameCase::kUpper, "/ (ROOT)"},
               {NameCase::kLower, "/ (root)"},
               {NameCase::kCapitalized, "/ (Root)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    uint32_t image = kIconFolder;
    EXPECT_EQ(RootNodeText("/", "/", c.rule, &image), c.text);
    EXPECT_EQ(image, kIconOpenFolder);
  }
  uint32_t image = kIconFolder;
  EXPECT_EQ(RootNodeText("/home/user", "/", NameCase::kUpper, &image), "/home/user");
  EXPECT_EQ(image, kIconFolder);
}

TEST(ChooseParser, ByFamilyKindAndViewCode) {
  const struct {
    int32_t family;
    int32_t kind;
    int32_t vseKind;
    const char* dir;
    ListingParser parser;
    int32_t vseKindAfter;
    bool fullPaths;
  } cases[] = {
      {HOST_GENERIC, 1, 1, "/", ListingParser::kGeneric, 1, false},
      {HOST_MVS, 2, 1, "USER", ListingParser::kMvsDatasets, 1, true},
      {HOST_MVS, 4, 1, "USER.CNTL", ListingParser::kMvsMembers, 1, false},
      {HOST_MVS, 5, 1, "USER.CLIST", ListingParser::kMvsMembers, 1, false},
      {HOST_MVS, 6, 1, "USER.LOAD", ListingParser::kMvsLoadModules, 1, false},
      {HOST_MVS, 8, 1, "USER.SEQ", ListingParser::kMvsLoadModules, 1, false},
      {HOST_VM, 0, 1, "MAINT.191", ListingParser::kVm, 1, false},
      {HOST_VSE, 1, 12, "\\", ListingParser::kVseDirectory, 11, false},
      {HOST_VSE, 1, 12, "\\PRD2", ListingParser::kVseLibrary, 12, false},
      {HOST_VSE, 1, 13, "\\PRD2.CONFIG", ListingParser::kVseSubLibrary, 13, false},
      {HOST_VSE, 1, 14, "\\POWER.A", ListingParser::kVsePowerQueue, 14, false},
      {HOST_VSE, 1, 15, "\\CAT", ListingParser::kVsamCatalog, 15, false},
      {HOST_VSE, 1, 16, "\\VTOC", ListingParser::kVtoc, 16, false},
      {HOST_VSE, 1, 1, "\\POWER", ListingParser::kVseDirectory, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir);
    const ParserChoice choice = ChooseParser(c.family, c.kind, c.vseKind, c.dir);
    EXPECT_EQ(choice.parser, c.parser);
    EXPECT_EQ(choice.vseKind, c.vseKindAfter);
    EXPECT_EQ(choice.fullPathSort, c.fullPaths);
  }
}

}  // namespace
}  // namespace tarn::listing
