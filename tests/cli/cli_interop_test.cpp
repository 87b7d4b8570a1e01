// tarn-cli against the real servers: logging on to vsftpd with stored and
// quick sessions, transfers in both data modes, and a download cut short by
// Ctrl-C or a full disk, with the resume that follows. vsftpd reads ABOR
// only once its send fails, so the cut downloads end quickly only when the
// client closes the data connection first; they need root (a vsftpd of
// their own, a small tmpfs).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

#include "tests/cli/cli_fixture.h"
#include "tests/cli/vsftpd_instance.h"
#include "tests/support/child_process.h"
#include "tests/support/test_servers.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::CliTest;
using testing::ServerEnv;
using testing::SessionRegFile;
using Clock = std::chrono::steady_clock;

// ---- Against vsftpd ---------------------------------------------------------------------

TEST_F(CliTest, ImportedSessionLogsOnToVsftpdWithMaskedPassword) {
  if (!testing::NeedServers()) return;
  const std::string pass = ServerEnv("TARN_TEST_FTP_PASS");
  std::string reg = WriteFile("vs.reg", SessionRegFile("vsftpd", ServerEnv("TARN_TEST_VSFTPD_PORT"),
                                                       ServerEnv("TARN_TEST_FTP_USER"), pass));
  ASSERT_EQ(Cli({"reg", "import", reg}).status, 0);
  auto r = Cli({"-v", "open", "vsftpd", ";", "pwd"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "/\n");
  EXPECT_THAT(r.err, HasSubstr("PASS xxxxxx"));
  EXPECT_THAT(r.err, HasSubstr("230 Login successful."));
  EXPECT_THAT(r.err, Not(HasSubstr(pass)));
}

TEST_F(CliTest, QuickConnectToVsftpdWithPasswordFromEnvironment) {
  if (!testing::NeedServers()) return;
  std::string url = "ftp://" + ServerEnv("TARN_TEST_FTP_USER") + "@127.0.0.1:" +
                    ServerEnv("TARN_TEST_VSFTPD_PORT") + "/upload";
  std::string log = dir_ + "/conn.log";
  auto r = Cli({"--log", log, "open", url, ";", "pwd"}, "",
               {"TARN_PASSWORD=" + ServerEnv("TARN_TEST_FTP_PASS")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "/upload\n");
  std::ifstream in(log, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_THAT(text, HasSubstr("Tarn File Transfer Connection Log (created "));
  EXPECT_THAT(text, HasSubstr("PASS xxxxxx\r\n"));
}

TEST_F(CliTest, PasswordInUrlWorksButDrawsAWarning) {
  if (!testing::NeedServers()) return;
  std::string url = "ftp://" + ServerEnv("TARN_TEST_FTP_USER") + ":" + ServerEnv("TARN_TEST_FTP_PASS") +
                    "@127.0.0.1:" + ServerEnv("TARN_TEST_VSFTPD_PORT") + "/";
  auto r = Cli({"open", url, ";", "pwd"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("warning: a password in the URL"));
}

TEST_F(CliTest, LsShowsParsedRowsAndRawText) {
  if (!testing::NeedServers()) return;
  const std::string url = "ftp://127.0.0.1:" + ServerEnv("TARN_TEST_VSFTPD_PORT") + "/";
  auto r = Cli({"--locale", "C", "open", url, ";", "ls", "pub", ";", "pwd", ";", "ls", "--raw", "pub"});
  ASSERT_EQ(r.status, 0) << r.err;
  // name, size text, permissions, date; then the directory is unchanged
  EXPECT_THAT(r.out, ::testing::MatchesRegex("readme.txt +1KB  rw-r--r-- +[0-9/]+ [0-9:]+\n/\n"
                                             "-rw-r--r-- +1 0 +0 +16 .* readme.txt\n"));
}

class CliVsftpdTest : public CliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliVsftpdTest, PutGetAppendAndResume) {
  if (!testing::NeedServers()) return;
  const std::string mode = GetParam();
  std::string data;
  for (int i = 0; i < 200000; ++i) data += static_cast<char>((i * 131) >> 3);
  WriteFile("src.bin", data);
  const std::string remote = "cli" + std::to_string(getpid()) + mode.substr(2) + ".bin";
  const std::string url = "ftp://" + ServerEnv("TARN_TEST_FTP_USER") + "@127.0.0.1:" +
                          ServerEnv("TARN_TEST_VSFTPD_PORT") + "/upload";
  const std::vector<std::string> env = {"TARN_PASSWORD=" + ServerEnv("TARN_TEST_FTP_PASS")};
  auto r = Cli({mode, "--type", "binary", "open", url, ";", "put", dir_ + "/src.bin", remote, ";", "get",
                remote, dir_ + "/back.bin", ";", "mkdir", "sub" + remote, ";", "rmdir", "sub" + remote},
               "", env);
  ASSERT_EQ(r.status, 0) << r.err;
  std::ifstream back(dir_ + "/back.bin", std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(back)), {}), data);
  EXPECT_THAT(r.err, HasSubstr("transferred"));  // plain progress lines off a terminal

  // A cut download resumed with --resume is byte-identical.
  WriteFile("cut.bin", data.substr(0, 70000));
  r = Cli({mode, "open", url, ";", "get", "--resume", remote, dir_ + "/cut.bin", ";", "append",
           dir_ + "/src.bin", remote, ";", "rm", remote},
          "", env);
  ASSERT_EQ(r.status, 0) << r.err;
  std::ifstream cut(dir_ + "/cut.bin", std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(cut)), {}), data);

  // A file that is gone fails the run with the server's text.
  r = Cli({mode, "open", url, ";", "get", remote, dir_ + "/gone.bin"}, "", env);
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("550"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/gone.bin"));
}

INSTANTIATE_TEST_SUITE_P(Modes, CliVsftpdTest, ::testing::Values("--passive", "--active"),
                         [](const auto& info) { return std::string(info.param).substr(2); });


// ---- A download cut short -------------------------------------------------------

class CliVsftpdCutTest : public testing::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
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
  }

  std::vector<std::string> Get(const std::vector<std::string>& getArgs) const {
    std::vector<std::string> args = {TARN_CLI_PATH, "-v", "--timeout", "600", "--type", "binary", "open",
                                     "ftp://127.0.0.1:" + std::to_string(server_->Port()), ";", "get"};
    args.insert(args.end(), getArgs.begin(), getArgs.end());
    return args;
  }
  static double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
  }

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
    testing::ChildProcess child(args, Env());
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
    testing::ChildProcess again(resume, Env());
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
  testing::ChildProcess child(Get({"big.bin", small + "/big.bin"}), Env());
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
