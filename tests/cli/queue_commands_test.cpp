// tarn-cli queue show/add/rm, end to end: the built program on schedule
// files in a fresh folder, with its own settings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "client/session/queue_file.h"
#include "tests/cli/cli_fixture.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using testing::ProgramResult;

class QueueCliTest : public testing::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    file_ = dir_ + "/night.tsc";
  }

  ProgramResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), "queue");
    return RunCli(std::move(args));
  }

  std::string file_;
};

TEST_F(QueueCliTest, AddCreatesTheFileAndShowListsTheColumnsInQueueOrder) {
  ASSERT_EQ(Cli({"add", file_, "S1", "get", "/pub/notes.txt", dir_ + "/notes.txt", "--active"}).status, 0);
  ASSERT_EQ(Cli({"add", file_, "S2", "put", "/up/b.bin", "/data/b.bin", "--passive"}).status, 0);
  ASSERT_EQ(Cli({"add", file_, "S1", "append", "/logs/all", "/data/today.txt", "--binary", "--active"}).status, 0);
  ProgramResult r = Cli({"show", file_});
  EXPECT_EQ(r.status, 0) << r.err;
  // Grouped by session in order of first appearance.
  EXPECT_EQ(r.out,
            "S1\tDownload\t" + dir_ + "/notes.txt\tAscii\tNo\t/pub/notes.txt\n"
            "S1\tAppend\t/data/today.txt\tBinary\tNo\t/logs/all\n"
            "S2\tUpload\t/data/b.bin\tBinary\tYes\t/up/b.bin\n");
  TransferQueue q;
  ASSERT_TRUE(ReadQueueFile(file_, &q).ok());
  EXPECT_EQ(q.Groups()[0].entries[0].iFlags, kQueueDownload | kQueueAscii);
  EXPECT_EQ(q.Groups()[1].entries[0].iFlags, kQueueUpload | kQueueBinary | kQueuePassive);
}

TEST_F(QueueCliTest, AddMakesTheLocalPathAbsoluteAndWarnsOfAnUnknownSession) {
  ProgramResult r = Cli({"add", file_, "nowhere", "get", "r.txt", "sub/../local.txt", "--ascii"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("no stored session is named \"nowhere\""));
  TransferQueue q;
  ASSERT_TRUE(ReadQueueFile(file_, &q).ok());
  EXPECT_EQ(std::string(q.Groups()[0].entries[0].cLocalFile),
            (std::filesystem::current_path() / "local.txt").string());
}

TEST_F(QueueCliTest, EmptyQueuePrintsNothing) {
  Write(file_, QueueFileBytes(TransferQueue{}));
  ProgramResult r = Cli({"show", file_});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST_F(QueueCliTest, ForeignFilesAreRefusedWithTheSystemsText) {
  const std::string text = dir_ + "/notes.txt";
  const std::string lower = std::string("\x01\0\0\0\xA1\x23\x50\0tarn_remote", 19) + std::string(13, '\0');
  for (const std::string& bytes : {std::string("just some text, long enough for a header\n"), lower,
                                   std::string("short")}) {
    SCOPED_TRACE(bytes);
    Write(text, bytes);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"show", text}, {"rm", text, "1"}, {"add", text, "S", "get", "r", "/l"}}) {
      SCOPED_TRACE(args[0]);
      ProgramResult r = Cli(args);
      EXPECT_NE(r.status, 0);
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err, std::string(kNotScheduleFileText) + "\n");
      // Never overwritten.
      EXPECT_EQ(Read(text), bytes);
    }
  }
  ProgramResult missing = Cli({"show", dir_ + "/none.tsc"});
  EXPECT_NE(missing.status, 0);
  EXPECT_THAT(missing.err, HasSubstr("No such file or directory"));
}

TEST_F(QueueCliTest, RmRemovesTheNthEntryOnly) {
  for (const char* name : {"a", "b", "c"})
    ASSERT_EQ(Cli({"add", file_, "S", "get", name, "/l/" + std::string(name), "--binary", "--active"}).status, 0);
  ProgramResult r = Cli({"rm", file_, "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Cli({"show", file_}).out,
            "S\tDownload\t/l/a\tBinary\tNo\ta\n"
            "S\tDownload\t/l/c\tBinary\tNo\tc\n");
  const std::string before = Read(file_);
  for (const char* bad : {"0", "3", "-1", "x", "1.5", ""}) {
    SCOPED_TRACE(bad);
    r = Cli({"rm", file_, bad});
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(Read(file_), before);
  }
  ASSERT_EQ(Cli({"rm", file_, "1"}).status, 0);
  ASSERT_EQ(Cli({"rm", file_, "1"}).status, 0);
  EXPECT_EQ(Read(file_), QueueFileBytes(TransferQueue{}));
}

TEST_F(QueueCliTest, BadAddsChangeNothing) {
  const std::vector<std::vector<std::string>> bad = {
      {"add", file_, "S", "fetch", "r", "/l"},
      {"add", file_, "S", "get", "r"},
      {"add", file_, "S", "get", "r", "/l", "--fast"},
      {"add", file_, "S", "get", std::string(260, 'r'), "/l"},
      {"add", file_, "", "get", "r", "/l"},
      {"show"},
      {"move", file_},
      {},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(::testing::PrintToString(args));
    ProgramResult r = Cli(args);
    EXPECT_NE(r.status, 0);
    EXPECT_FALSE(r.err.empty());
    EXPECT_FALSE(std::filesystem::exists(file_));
  }
}

}  // namespace
}  // namespace tarn
