// The listing thread's work against the scripted server (vsftpd:
// listing_thread_interop_test).
#include "client/listing/listing_thread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/engine/logon.h"
#include "client/session/password.h"
#include "tests/support/engine_fixture.h"

namespace tarn::listing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

DateParts Now() { return DateParts{2026, 12, 7, 12, 0, 0}; }

class ListingThreadTest : public testing::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    app_.bConnected = 1;
    app_.settings.bPassive = 1;
    c_.cTypeNow = 'A';
    SetField(c_.cRootDir, "/");
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const auto& e : ctx_.listing.rows()) out.emplace_back(ctx_.listing.Name(e));
    return out;
  }
  std::string Failures() { return ::testing::PrintToString(srv_.Failures()); }

  ListingContext ctx_;
};

TEST_F(ListingThreadTest, FirstListingMakesTheRootNodeAndSortedRows) {
  srv_.On("CWD /", "250 ok\r\n")
      .On("PWD", "257 \"/\"\r\n")
      .Pasv()
      .On("LIST", "150 Here comes the directory listing.\r\n")
      .DataOpen()
      .DataSend("total 8\r\n-rw-r--r--    1 0  0   16 Dec 07 21:49 zeta.txt\r\n"
                "drwxr-xr-x    2 0  0 4096 Dec 07 21:49 alpha\r\n"
                "-rw-r--r--    1 0  0 2048 Jan 05  2001 beta.bin\r\n")
      .DataClose()
      .Send("226 Directory send OK.\r\n");
  Connect();
  PathStateFromConn(c_, &ctx_.path);
  EXPECT_EQ(RunListing(c_, &ctx_, FirstListingRequest(ctx_.path, "/"), Now()), 0);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_THAT(Names(), ElementsAre("alpha", "beta.bin", "zeta.txt"));
  ASSERT_NE(ctx_.selected, kNoNode);
  EXPECT_EQ(ctx_.tree.Text(ctx_.selected), "/ (Root)");
  ASSERT_EQ(ctx_.tree.Children(ctx_.selected).size(), 1u);
  EXPECT_EQ(ctx_.tree.Record(ctx_.tree.Children(ctx_.selected)[0]).path, "/alpha");
  EXPECT_EQ(ctx_.path.currentDir, "/");
  EXPECT_EQ(ctx_.path.parentDir, "");
  EXPECT_EQ(app_.iOpState, 0);
  EXPECT_TRUE(ctx_.WaitFinished(0));
}

TEST_F(ListingThreadTest, RefusedCwdKeepsTheDirectoryAndEndsWithOne) {
  srv_.On("CWD /secret", "550 Failed to change directory.\r\n")
      .On("CWD /secret", "550 Failed to change directory.\r\n");
  Connect();
  PathStateFromConn(c_, &ctx_.path);
  EnterDirectory(&ctx_.path, "/pub");
  ListingRequest req;
  req.directory = "/secret";
  EXPECT_EQ(RunListing(c_, &ctx_, req, Now()), 1);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_EQ(ctx_.path.currentDir, "/pub");
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Error changing directory"));
  EXPECT_THAT(Log(), HasSubstr("Error changing directory in function ProcessCurrentDirectory\r\n"));
}

TEST_F(ListingThreadTest, RefusedListShowsTheServersReply) {
  srv_.On("PWD", "257 \"/pub\"\r\n").Pasv().On("LIST", "550 Permission denied.\r\n");
  Connect();
  PathStateFromConn(c_, &ctx_.path);
  EnterDirectory(&ctx_.path, "/pub");
  ListingRequest req;
  req.directory = "/pub";
  EXPECT_EQ(RunListing(c_, &ctx_, req, Now()), 0);
  EXPECT_TRUE(ctx_.listing.empty());
  EXPECT_THAT(ui_.BoxCaptions(), ElementsAre("Error Retrieving Directory Listing"));
  EXPECT_THAT(ui_.StatusTexts(), ::testing::Contains(std::make_pair(1, std::string("Error retrieving Directory Listing"))));
}

TEST_F(ListingThreadTest, MvsServerInUnixStyleSwitchesBeforeParsing) {
  // SYST said MVS, but the working directory is a UNIX path.
  c_.HostFamily = HOST_MVS;
  c_.ServerType = SERVER_MVS;
  c_.SystemCode = 13;
  SetField(c_.cRootDir, "");
  srv_.On("PWD", "257 \"/u/user1\" is the HFS working directory.\r\n")
      .Pasv()
      .On("LIST", "125 List started OK\r\n")
      .DataOpen()
      .DataSend("-rw-r--r--   1 USER1  SYS1  12 Dec  1 09:00 notes.txt\r\n")
      .DataClose()
      .Send("250 List completed successfully.\r\n");
  Connect();
  PathStateFromConn(c_, &ctx_.path);
  EnterDirectory(&ctx_.path, "/u/user1");
  ListingRequest req;
  req.directory = "/u/user1";
  EXPECT_EQ(RunListing(c_, &ctx_, req, Now()), 0);
  EXPECT_TRUE(srv_.Finish()) << Failures();
  EXPECT_EQ(c_.HostFamily, HOST_GENERIC);
  EXPECT_EQ(c_.ServerType, SERVER_UNIX);
  EXPECT_STREQ(c_.cRootDir, "/");
  EXPECT_THAT(Names(), ElementsAre("notes.txt"));
}

}  // namespace
}  // namespace tarn::listing
