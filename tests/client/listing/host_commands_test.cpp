// The host view's option commands, browse and recall: the command texts
// and names as tables, the ops against the scripted server.
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "client/listing/browse.h"
#include "client/listing/host_options.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/temp_dir.h"

namespace tarn::listing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// ---- MVS options -------------------------------------------------------------

TEST(MvsOptionCommands, FollowTheHostsOrderAndOnlyWhatWasChosen) {
  MvsOptions blocksPrime;
  blocksPrime.spaceSet = blocksPrime.blocks = 1;
  blocksPrime.prime = "10";
  EXPECT_THAT(MvsOptionCommands(blocksPrime), ElementsAre("SITE BL", "SITE PRI=10"));

  MvsOptions other;
  other.recfmSet = other.recOther = 1;
  other.recOtherText = "0";
  EXPECT_THAT(MvsOptionCommands(other), ElementsAre("SITE REC=0"));

  MvsOptions all;
  all.spaceSet = all.cylinders = 1;
  all.prime = "5";
  all.secondary = "2x";     // the number the text starts with
  all.directoryBlocks = "abc";  // not a number: 0
  all.unit = "SYSDA";
  all.volume = "VOL001";
  all.jesRecordLength = "133";
  all.jesRecordFormat = "FBA";
  all.destination = "PRT1";
  all.fileTypeSet = all.jes = 1;
  all.recfmSet = all.recVB = 1;
  all.lrecl = "80";
  all.blkSize = "27920";
  all.retpd = "30";
  EXPECT_THAT(MvsOptionCommands(all),
              ElementsAre("SITE CY", "SITE PRI=5", "SITE SEC=2", "SITE DI=0", "SITE U=SYSDA",
                          "SITE VOL=VOL001", "SITE JESL=133", "SITE JESR=FBA", "SITE DES=PRT1",
                          "SITE FILE=JES", "SITE REC=VB", "SITE LR=80", "SITE BLK=27920",
                          "SITE RET=30"));
  EXPECT_TRUE(MvsOptionCommands(MvsOptions{}).empty());
}

TEST(FieldNumber, ReadsTheLeadingNumberAndClamps) {
  struct Case { const char* text; int32_t want; } cases[] = {
      {"10", 10}, {" 7x", 7}, {"-3", -3}, {"abc", 0}, {"", 0},
      {"99999999999999999999", INT32_MAX}, {"-99999999999", INT32_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FieldNumber(c.text), c.want);
  }
}

TEST(VmOptionCommand, FixedCarriesItsLength) {
  EXPECT_EQ(VmOptionCommand(true, 80), "SITE FIX 80");
  EXPECT_EQ(VmOptionCommand(false, 80), "SITE VAR");
}

// ---- Permissions ---------------------------------------------------------------

TEST(Permissions, DigitsPerGroupAndAllMeansSeven) {
  PermissionGroup rw{true, true, false, false}, r{true, false, false, false};
  EXPECT_EQ(PermissionMode(rw, r, r), "644");
  EXPECT_EQ(PermissionMode({false, false, false, true}, {true, false, true, false}, {}), "750");
  EXPECT_EQ(PermissionMode({}, {}, {}), "000");
}

TEST(Permissions, EveryRowSelectedIsTheStarTarget) {
  EXPECT_THAT(PermissionTargets({{"..", true, true}, {"a", true}, {"b", true}}), ElementsAre("*"));
  // In view order; the parent entry is never a target of its own.
  EXPECT_THAT(PermissionTargets({{"..", true, true}, {"b", true}, {"c", false}, {"a", true}}),
              ElementsAre("b", "a"));
  EXPECT_TRUE(PermissionTargets({{"a", false}}).empty());
  EXPECT_TRUE(PermissionTargets({}).empty());
}

class HostOpsTest : public testing::EngineTest {
 protected:
  std::string Failures() { return ::testing::PrintToString(srv_.Failures()); }
};

TEST_F(HostOpsTest, SiteCommandsGoOutWhateverTheReplies) {
  srv_.On("SITE BL", "500 unknown\r\n").On("SITE PRI=10", "200 ok\r\n");
  Connect();
  EXPECT_EQ(SendSiteCommandsOp(c_, {"SITE BL", "SITE PRI=10"}), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
}

TEST_F(HostOpsTest, ChmodOfTheStarTargetAndAFailureAmongSeveral) {
  srv_.On("SITE CHMOD 644 *", "200 SITE CHMOD command ok.\r\n")
      .On("SITE CHMOD 755 a", "550 SITE CHMOD command failed.\r\n")
      .On("SITE CHMOD 755 b", "200 SITE CHMOD command ok.\r\n");
  Connect();
  EXPECT_TRUE(ChangePermissionsOp(c_, "644", {"*"}));
  EXPECT_FALSE(ChangePermissionsOp(c_, "755", {"a", "b"}));  // b is still sent
  EXPECT_TRUE(srv_.Finish()) << Failures();
}

// ---- Browse and recall ---------------------------------------------------------

TEST(BrowseItemFor, NamesPerHostFamily) {
  struct Case {
    int32_t family;
    bool l8;
    BrowseRow row;
    const char *local, *remote, *title;
  } cases[] = {
      {HOST_GENERIC, false, {"/pub/a.txt", "a.txt"}, "a.txt", "/pub/a.txt", "/pub/a.txt"},
      {HOST_GENERIC, true, {"/pub/a.txt", "a.txt"}, "a.txt", "a.txt", "/pub/a.txt"},
      {HOST_MVS, false, {"USER.CNTL(JOB)", "JOB"}, "USER.CNTL(JOB)", "'USER.CNTL(JOB)'",
       "USER.CNTL(JOB)"},
      {HOST_VM, false, {"PROFILE EXEC", "PROFILE.EXEC"}, "PROFILE.EXEC", "PROFILE.EXEC",
       "PROFILE.EXEC"},
      {HOST_VSE, false, {"LIB.SUB.MEM.A", "MEM.A"}, "MEM.A", "MEM.A", "MEM.A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row.path);
    BrowseItem item;
    ASSERT_TRUE(BrowseItemFor(c.family, c.l8, c.row, 'A', &item, nullptr));
    EXPECT_EQ(item.localName, c.local);
    EXPECT_EQ(item.remote, c.remote);
    EXPECT_EQ(item.title, c.title);
  }
  for (const char* hostile : {"..", "../x", "a/b", "", "a\nb"}) {
    SCOPED_TRACE(hostile);
    BrowseItem item;
    std::string why;
    EXPECT_FALSE(BrowseItemFor(HOST_GENERIC, false, {"/x", hostile}, 'A', &item, &why));
    EXPECT_FALSE(why.empty());
  }
}

TEST(BrowseType, ModeFirstThenTheExtensionList) {
  EXPECT_EQ(BrowseType(TransferMode::kAscii, "a.bin", "TXT"), 'A');
  EXPECT_EQ(BrowseType(TransferMode::kBinary, "a.txt", "TXT"), 'I');
  EXPECT_EQ(BrowseType(TransferMode::kAutoDetect, "a.TXT", "TXT/C"), 'A');
  EXPECT_EQ(BrowseType(TransferMode::kAutoDetect, "a.zip", "TXT/C"), 'I');
}

TEST(BrowseFolder, PrivateAndRemovedWithoutFollowingLinks) {
  testing::TempDir tmp("tarn-browse-parent");
  const std::string parent = tmp.Path();
  const std::string outside = parent + "/outside.txt";
  std::ofstream(outside) << "keep me";
  std::string dir;
  {
    BrowseFolder folder(parent);
    std::string error;
    dir = folder.Ensure(&error);
    ASSERT_FALSE(dir.empty()) << error;
    EXPECT_EQ(folder.Ensure(&error), dir);
    struct stat st {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::ofstream(dir + "/a.txt") << "x";
    std::filesystem::create_symlink(outside, dir + "/link");
  }
  EXPECT_FALSE(std::filesystem::exists(dir));
  EXPECT_TRUE(std::filesystem::exists(outside));
}

class BrowseOpTest : public HostOpsTest {
 protected:
  void SetUp() override {
    HostOpsTest::SetUp();
    app_.settings.bPassive = 1;
    app_.bConnected = 1;
  }
  BrowseFolder folder_{dir_};
};

TEST_F(BrowseOpTest, EachFileArrivesAndOpensInTurnAFailureIsShownAndTheRestGoOn) {
  srv_.On("TYPE A", "200 ok\r\n").Pasv().On("RETR /a.txt", "150 go\r\n")
      .DataOpen().DataSend("alpha\n").DataClose().Send("226 done\r\n")
      .Pasv().On("RETR /b.txt", "550 b.txt: No such file.\r\n")
      .Pasv().On("RETR /c.txt", "150 go\r\n")
      .DataOpen().DataSend("gamma\n").DataClose().Send("226 done\r\n");
  Connect();
  std::vector<BrowseItem> items;
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) {
    BrowseItem item;
    ASSERT_TRUE(BrowseItemFor(HOST_GENERIC, false, {std::string("/") + n, n}, 'A', &item, nullptr));
    items.push_back(item);
  }
  std::vector<std::string> opened;
  EXPECT_EQ(BrowseOp(c_, folder_, items, {{"/bad", "The host file name '..' cannot be used"}},
                     [&](const BrowseItem& i) { opened.push_back(i.local); }),
            2);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  ASSERT_EQ(opened.size(), 2u);
  std::ifstream a(opened[0]);
  std::string text;
  std::getline(a, text);
  EXPECT_EQ(text, "alpha");
  EXPECT_EQ(opened[1], folder_.Path() + "/c.txt");
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre(kBrowseErrorCaption, kBrowseErrorCaption));
  EXPECT_EQ(ui_.BoxTexts()[1], "550 b.txt: No such file.");
}

TEST_F(BrowseOpTest, RecallFetchesTheQuotedDataSetIntoATemporaryFile) {
  c_.HostFamily = HOST_MVS;
  srv_.On("TYPE A", "200 ok\r\n").Pasv().On("RETR 'USER.OLD.DATA'", "150 go\r\n")
      .DataOpen().DataSend("rec\n").DataClose().Send("250 done\r\n");
  Connect();
  EXPECT_EQ(RecallOp(c_, folder_, RecallTarget(HOST_MVS, "USER.OLD.DATA"), 0), kReplyComplete);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder_.Path()))
    names.push_back(e.path().filename().string());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].rfind("tarn", 0), 0u);
  EXPECT_TRUE(ui_.BoxTexts().empty());
}

TEST(OpenProblem, LinuxErrorsKeepTheirTexts) {
  EXPECT_EQ(CheckBrowseFile("/nonexistent-tarn/x"), OpenProblem::kFileNotFound);
  EXPECT_EQ(CheckBrowseFile("/etc/passwd/x"), OpenProblem::kPathNotFound);
  EXPECT_EQ(CheckBrowseFile("/"), OpenProblem::kFileNotFound);  // not a file
  EXPECT_STREQ(OpenProblemText(OpenProblemOfErrno(EACCES)),
               "The operating system denied access to the specified file.");
  EXPECT_STREQ(OpenProblemText(OpenProblemOfErrno(EIO)), "");
}

}  // namespace
}  // namespace tarn::listing
