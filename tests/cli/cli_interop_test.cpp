// tarn-cli against vsftpd when a download is cut short: by Ctrl-C, by a
// full disk, and the resume that follows. vsftpd reads ABOR only once its
// send fails, so these end quickly only when the client closes the data
// connection first. Needs root (its own vsftpd, a small tmpfs).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

#include "tests/cli/cli_child.h"
#include "tests/cli/vsftpd_instance.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

class CliVsftpdCutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tarn-clicut-XXXXXX";
    dir_ = mkdtemp(tmpl);
    // 2 MB a second: an 8 MiB download lasts about four seconds.
    server_ = std::make_unique<testing::VsftpdInstance>(dir_ + "/srv", 2000000);
    if (!server_->Available()) GTEST_SKIP() << "needs root and /usr/sbin/vsftpd";
    data_.resize(8 << 20);
    std::mt19937 gen(7);
    for (auto& ch : data_) ch = static_cast<char>(gen());
    std::ofstream(server_->Root() + "/big.bin", std::ios::binary) << data_;
  }
  void TearDown() override {
    if (!mounted_.empty()) umount2(mounted_.c_str(), MNT_DETACH);
    server_.reset();
    std::filesystem::remove_all(dir_);
  }

  std::vector<std::string> Env() const {
    return {"TARN_CONFIG_DIR=" + dir_ + "/config", "TARN_PASSWORD="};
  }
  std::vector<std::string> Get(const std::vector<std::string>& getArgs) const {
    std::vector<std::string> args = {TARN_CLI_PATH, "-v", "--timeout", "600", "--type", "binary", "open",
                                     "ftp://127.0.0.1:" + std::to_string(server_->Port()), ";", "get"};
    args.insert(args.end(), getArgs.begin(), getArgs.end());
    return args;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
  }

  std::string dir_;
  std::string mounted_;
  std::string data_;
  std::unique_ptr<testing::VsftpdInstance> server_;
};

TEST_F(CliVsftpdCutTest, CtrlCEndsTheDownloadAndAResumeCompletesIt) {
  for (const char* mode : {"--passive", "--active"}) {
    SCOPED_TRACE(mode);
    const std::string local = dir_ + "/big" + std::string(mode).substr(2) + ".bin";
    // A file the download replaces: it must survive the cut untouched.
    std::ofstream(local, std::ios::binary) << "the old content";
    auto args = Get({"big.bin", local});
    args.insert(args.begin() + 1, mode);
    testing::CliChild child(args, Env());
    ASSERT_TRUE(child.Started());
    ASSERT_TRUE(child.WaitForErr("150 Opening BINARY", 30000)) << child.err;
    // Some of the file has come (progress lines come about once a second).
    ASSERT_TRUE(child.WaitForErr("progress", 30000)) << child.err;
    const auto signalled = Clock::now();
    child.Signal(SIGINT);
    EXPECT_EQ(child.Wait(60000), 1) << child.err;
    const double took = Seconds(signalled);
    std::cout << "[ measured ] Ctrl-C " << mode << ": the download ended " << took << " s after SIGINT\n";
    RecordProperty(std::string("ctrl_c_seconds_") + (mode + 2), std::to_string(took));
    const std::string partial = dir_ + "/.big" + std::string(mode).substr(2) + ".bin.tarn-part";
    EXPECT_THAT(child.err, HasSubstr("Transfer aborted (partial file kept: " + partial + ")"));
    EXPECT_EQ(Read(local), "the old content");
    ASSERT_TRUE(std::filesystem::exists(partial));
    EXPECT_LT(std::filesystem::file_size(partial), data_.size());

    // The resume continues the partial file, not the old one.
    auto resume = Get({"--resume", "big.bin", local});
    resume.insert(resume.begin() + 1, mode);
    testing::CliChild again(resume, Env());
    EXPECT_EQ(again.Wait(120000), 0) << again.err;
    EXPECT_TRUE(Read(local) == data_) << "the resumed file differs from the host file";
    EXPECT_FALSE(std::filesystem::exists(partial));
  }
}

TEST_F(CliVsftpdCutTest, FullDiskEndsTheDownloadWithTheSystemsMessage) {
  const std::string small = dir_ + "/small";
  std::filesystem::create_directories(small);
  ASSERT_EQ(mount("tmpfs", small.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m"), 0) << strerror(errno);
  mounted_ = small;
  testing::CliChild child(Get({"big.bin", small + "/big.bin"}), Env());
  ASSERT_TRUE(child.Started());
  ASSERT_TRUE(child.WaitForErr("Error in WriteFile.", 60000)) << child.err;
  const auto failed = Clock::now();
  EXPECT_EQ(child.Wait(60000), 1) << child.err;
  const double took = Seconds(failed);
  std::cout << "[ measured ] full disk: the download ended " << took << " s after the failed write\n";
  RecordProperty("full_disk_seconds", std::to_string(took));
  EXPECT_THAT(child.err, HasSubstr("Probable cause: No space left on device"));
  EXPECT_THAT(child.err, HasSubstr("Transfer aborted"));
}

}  // namespace
}  // namespace tarn
