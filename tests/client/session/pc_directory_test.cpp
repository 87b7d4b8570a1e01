// Initial PC directories: the network mount table and the UNC lookup.
#include "client/session/pc_directory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/client/session/scripted_mount_table.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::ScriptedMountTable;

// Mounts compare as whole records.
MATCHER_P3(MountIs, server, share, mountPoint, "") {
  return arg.server == server && arg.sharePath == std::vector<std::string>(share) &&
         arg.mountPoint == mountPoint;
}

// ---------------------------------------------------------------------------
// The mount table

TEST(ParseMountInfo, KeepsSmbAndNfsMountsInOrder) {
  const std::string text =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "36 22 0:52 / /mnt/public rw,relatime shared:9 - cifs //fs1/public rw,vers=3.1.1\n"
      "37 22 0:53 / /mnt/my\\040docs rw - cifs //FS1.example.org/Docs/2024 rw\n"
      "38 22 0:54 / /home/shared rw shared:12 master:3 - nfs4 nas:/export/home rw,vers=4.2\n"
      "39 22 0:55 / /mnt/v6 rw - nfs [fe80::1]:/srv/data rw\n"
      "40 22 0:56 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
      "41 22 0:57 / /mnt/old rw - smb3 \\\\old\\share rw\n"
      "garbage line\n";
  EXPECT_THAT(ParseMountInfo(text),
              ElementsAre(MountIs("fs1", std::vector<std::string>{"public"}, "/mnt/public"),
                          MountIs("FS1.example.org", std::vector<std::string>{"Docs", "2024"}, "/mnt/my docs"),
                          MountIs("nas", std::vector<std::string>{"export", "home"}, "/home/shared"),
                          MountIs("fe80::1", std::vector<std::string>{"srv", "data"}, "/mnt/v6"),
                          MountIs("old", std::vector<std::string>{"share"}, "/mnt/old")));
}

TEST(ParseMountInfo, BindMountOfAFolderInsideAShareAddsThatFolder) {
  // A bind mount shows the folder as its root; some kernels also name it in
  // the source, and then it is not added twice.
  const std::string text =
      "50 22 0:52 /reports/q1 /srv/q1 rw - cifs //fs1/public rw\n"
      "51 22 0:60 /q2 /srv/q2 rw - cifs //fs1/public/q2 rw\n";
  EXPECT_THAT(ParseMountInfo(text),
              ElementsAre(MountIs("fs1", std::vector<std::string>{"public", "reports", "q1"}, "/srv/q1"),
                          MountIs("fs1", std::vector<std::string>{"public", "q2"}, "/srv/q2")));
}

TEST(ParseGvfsMountName, SharesServersAndNfs) {
  NetworkMount m;
  ASSERT_TRUE(ParseGvfsMountName("smb-share:domain=WORK,server=fs1,share=public,user=jo", "/g/a", &m));
  EXPECT_THAT(m, MountIs("fs1", std::vector<std::string>{"public"}, "/g/a"));
  ASSERT_TRUE(ParseGvfsMountName("smb-server:server=fs2", "/g/b", &m));
  EXPECT_THAT(m, MountIs("fs2", std::vector<std::string>{}, "/g/b"));
  ASSERT_TRUE(ParseGvfsMountName("nfs:host=nas,prefix=%2Fexport%2Fmy%20home", "/g/c", &m));
  EXPECT_THAT(m, MountIs("nas", std::vector<std::string>{"export", "my home"}, "/g/c"));
  EXPECT_FALSE(ParseGvfsMountName("sftp:host=box,user=jo", "/g/d", &m));
  EXPECT_FALSE(ParseGvfsMountName("smb-share:server=fs1", "/g/e", &m));  // no share
  EXPECT_FALSE(ParseGvfsMountName("not-a-mount", "/g/f", &m));
}

// ---------------------------------------------------------------------------
// The lookup, over folders in a temporary directory

class PcDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    fs::create_directories(dir_ + "/public/Reports/2024");
    fs::create_directories(dir_ + "/home/jo");
    fs::create_directories(dir_ + "/server/Music/jazz");
    std::ofstream(dir_ + "/public/notes.txt") << "not a folder";
  }
  testing::TempDir tmp_{"tarn-pcdir"};
  std::string dir_ = tmp_.Path();
  ScriptedMountTable mounts_;
};

TEST_F(PcDirectoryTest, FindsFoldersBelowAShareIgnoringCase) {
  mounts_.Add("fs1.example.org", {"Public"}, dir_ + "/public").Add("nas", {"export", "home"}, dir_ + "/home");
  struct Case {
    const char* unc;
    std::string found;
  } cases[] = {
      {"\\\\fs1\\public", dir_ + "/public"},
      {"\\\\FS1\\PUBLIC\\reports\\2024", dir_ + "/public/Reports/2024"},
      {"\\\\fs1.example.org\\public\\Reports\\", dir_ + "/public/Reports"},
      {"\\\\fs1\\\\public\\\\Reports", dir_ + "/public/Reports"},  // doubled separators
      {"\\\\nas\\export\\home\\jo", dir_ + "/home/jo"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.unc);
    PcDirectoryResult r = FindInitialPcDirectory(c.unc, mounts_);
    EXPECT_EQ(r.message, kPcDirectoryFound);
    EXPECT_EQ(r.path, c.found);
    EXPECT_TRUE(LocalDirectoryResolves(c.unc, mounts_));
  }
}

TEST_F(PcDirectoryTest, EachFailureHasItsMessage) {
  mounts_.Add("fs1", {"public"}, dir_ + "/public").Add("10.0.0.5", {"data"}, dir_ + "/home");
  struct Case {
    const char* unc;
    int message;
  } cases[] = {
      {"C:\\ftp", kPcDirectoryBadFormat},
      {"\\\\fs1", kPcDirectoryBadFormat},         // no backslash after the server
      {"\\\\\\public", kPcDirectoryBadFormat},    // no server
      {"\\fs1\\public", kPcDirectoryBadFormat},
      {"\\\\fs2\\public", kPcDirectoryNoServer},
      {"\\\\10\\data", kPcDirectoryNoServer},     // an address has no short name
      {"\\\\fs1\\private", kPcDirectoryPathNotFound},
      {"\\\\fs1\\public\\Reports\\1999", kPcDirectoryPathNotFound},
      {"\\\\fs1\\public\\notes.txt", kPcDirectoryPathNotFound},  // a file is no folder
      {"\\\\fs1\\public\\..\\home", kPcDirectoryPathNotFound},    // never out of the share
      {"\\\\fs1\\", kPcDirectoryPathNotFound},    // a server is no folder
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.unc);
    PcDirectoryResult r = FindInitialPcDirectory(c.unc, mounts_);
    EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(r.path, "");
    EXPECT_FALSE(LocalDirectoryResolves(c.unc, mounts_));
  }
}

TEST_F(PcDirectoryTest, WithoutNetworkMountsThereIsNoNeighbourhood) {
  EXPECT_EQ(FindInitialPcDirectory("\\\\fs1\\public", mounts_).message, kPcDirectoryNoNetwork);
  mounts_.SetUnreadable();
  EXPECT_EQ(FindInitialPcDirectory("\\\\fs1\\public", mounts_).message, kPcDirectoryNoNetwork);
  // A malformed path is told apart before the table is asked.
  EXPECT_EQ(FindInitialPcDirectory("\\\\fs1", mounts_).message, kPcDirectoryBadFormat);
}

TEST_F(PcDirectoryTest, TheMountShowingMostOfThePathWins) {
  // The share itself and, mounted elsewhere, a folder inside it.
  mounts_.Add("fs1", {"public"}, dir_ + "/home").Add("fs1", {"public", "reports"}, dir_ + "/public/Reports");
  EXPECT_EQ(FindInitialPcDirectory("\\\\fs1\\public\\Reports\\2024", mounts_).path,
            dir_ + "/public/Reports/2024");
  EXPECT_EQ(FindInitialPcDirectory("\\\\fs1\\public\\jo", mounts_).path, dir_ + "/home/jo");
}

TEST_F(PcDirectoryTest, ServerMountShowsItsSharesAsFolders) {
  mounts_.Add("box", {}, dir_ + "/server");
  EXPECT_EQ(FindInitialPcDirectory("\\\\box\\music\\JAZZ", mounts_).path, dir_ + "/server/Music/jazz");
}

TEST_F(PcDirectoryTest, PlainPathsMustBeExistingAbsoluteFolders) {
  EXPECT_TRUE(LocalDirectoryResolves(dir_ + "/home/jo", mounts_));
  EXPECT_TRUE(LocalDirectoryResolves(dir_ + "/home/jo/", mounts_));
  EXPECT_FALSE(LocalDirectoryResolves(dir_ + "/home/ann", mounts_));
  EXPECT_FALSE(LocalDirectoryResolves(dir_ + "/public/notes.txt", mounts_));
  EXPECT_FALSE(LocalDirectoryResolves("home/jo", mounts_));  // relative to nothing in particular
  EXPECT_FALSE(LocalDirectoryResolves("C:\\Users", mounts_));
  EXPECT_EQ(mounts_.Calls(), 0);
}

TEST_F(PcDirectoryTest, SystemTableReadsMountInfoAndTheDesktopsMounts) {
  std::string info = dir_ + "/mountinfo";
  std::ofstream(info) << "36 22 0:52 / " << dir_ << "/public rw - cifs //fs1/public rw\n";
  fs::create_directories(dir_ + "/gvfs/smb-share:server=box,share=music");
  fs::create_directories(dir_ + "/gvfs/sftp:host=other");
  auto table = SystemMountTable(info, dir_ + "/gvfs");
  std::vector<NetworkMount> mounts;
  ASSERT_TRUE(table->NetworkMounts(&mounts));
  EXPECT_THAT(mounts,
              ElementsAre(MountIs("fs1", std::vector<std::string>{"public"}, dir_ + "/public"),
                          MountIs("box", std::vector<std::string>{"music"},
                                  dir_ + "/gvfs/smb-share:server=box,share=music")));
  EXPECT_EQ(FindInitialPcDirectory("\\\\FS1\\Public\\reports", *table).path, dir_ + "/public/Reports");

  // Neither source readable: no neighbourhood at all.
  auto none = SystemMountTable(dir_ + "/absent", dir_ + "/absent-gvfs");
  EXPECT_FALSE(none->NetworkMounts(&mounts));
  EXPECT_TRUE(mounts.empty());
}

TEST(PcDirectoryMessage, TextsAndTheUnknownNumber) {
  testing::ScriptedUi ui;
  ShowPcDirectoryMessage(ui, kPcDirectoryNoServer);
  ShowPcDirectoryMessage(ui, 77);
  auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].caption, "Error finding initial PC directory");
  EXPECT_EQ(boxes[0].icon, BoxIcon::kInformation);
  EXPECT_EQ(boxes[0].text,
            "The computer specified in the UNC path for the\ninitial PC directory is not available.");
  EXPECT_EQ(boxes[1].text, "Unknown error finding initial PC directory.\r\nError number: 77");
  EXPECT_EQ(PcDirectoryMessageText(kPcDirectoryPathNotFound),
            "The path specified in the initial PC directory was not found");
}

}  // namespace
}  // namespace tarn
