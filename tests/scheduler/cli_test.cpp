// The pieces of almanor's command line that meet the rest of the system:
// the client's hand-over value in the registry and the service files.
#include "scheduler/cli/almanor_cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/scheduler/scheduler_fixture.h"

namespace sched {
namespace {

using sched_test::ReadFile;
using ::testing::HasSubstr;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old, had_ = true;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

class AlmanorCliTest : public sched_test::TempDirTest {};

TEST_F(AlmanorCliTest, HandOverReadsTheClientsCurrentQueueFile) {
  ScopedEnv config("TARN_CONFIG_DIR", dir_);
  std::string path;
  EXPECT_FALSE(ReadCurrentQueueFile(&path)) << "no key yet";
  std::string error;
  auto reg = platform::OpenSqliteRegistry(dir_ + "/registry.sqlite", &error);
  ASSERT_NE(reg, nullptr) << error;
  platform::RegKey key;
  ASSERT_EQ(reg->CreateKey("Software\\Ostravel\\Tarn\\Application", &key),
            platform::RegStatus::kOk);
  EXPECT_FALSE(ReadCurrentQueueFile(&path)) << "no value yet";
  struct Case {
    std::string value;
    bool read;
  } cases[] = {
      {"/home/ops/night.tsc", true},
      {"/q/" + std::string(256, 'n'), true},  // 259 characters and the NUL fill 260 bytes
      {"/q/" + std::string(257, 'n'), false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.size());
    ASSERT_EQ(reg->WriteString(key, "CurrentQueueFile", c.value), platform::RegStatus::kOk);
    path.clear();
    EXPECT_EQ(ReadCurrentQueueFile(&path), c.read);
    if (c.read) {
      EXPECT_EQ(path, c.value);
    }
  }
}

TEST_F(AlmanorCliTest, InstallServiceWritesTheUnitAndTheAutostartEntry) {
  ScopedEnv config("XDG_CONFIG_HOME", dir_ + "/config");
  std::vector<std::string> written;
  std::string error;
  ASSERT_TRUE(InstallService("/opt/my tarn/bin/almanor", &written, &error)) << error;
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0], dir_ + "/config/systemd/user/almanor.service");
  std::string unit = ReadFile(written[0]);
  EXPECT_THAT(unit, HasSubstr("ExecStart=\"/opt/my tarn/bin/almanor\" --headless\n"));
  EXPECT_THAT(unit, HasSubstr("WantedBy=default.target"));
  std::string desktop = ReadFile(written[1]);
  EXPECT_THAT(desktop, HasSubstr("Exec=\"/opt/my tarn/bin/almanor\"\n"));
  EXPECT_THAT(desktop, HasSubstr("Type=Application"));

  // Another list file goes with both; paths the two formats would read as
  // escapes are refused.
  written.clear();
  ASSERT_TRUE(InstallService("/opt/tarn/almanor", &written, &error, "/srv/ops/almanor.tsl"));
  EXPECT_THAT(ReadFile(written[0]),
              HasSubstr("ExecStart=\"/opt/tarn/almanor\" --file \"/srv/ops/almanor.tsl\" --headless\n"));
  EXPECT_THAT(ReadFile(written[1]),
              HasSubstr("Exec=\"/opt/tarn/almanor\" --file \"/srv/ops/almanor.tsl\"\n"));
  for (const char* bad : {"/opt/100%/almanor", "/opt/a\"b/almanor", "/opt/$HOME/almanor"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(InstallService(bad, &written, &error));
    EXPECT_THAT(error, HasSubstr("cannot be written"));
  }
}

TEST(AlmanorOptions, CommandsAndTheirOptions) {
  struct Case {
    std::vector<std::string> args;
    int status;
    Mode mode;
  } cases[] = {
      {{}, 0, Mode::kDefault},
      {{"--overdue", "run"}, 0, Mode::kDefault},
      {{"--headless", "--overdue", "delete"}, 0, Mode::kHeadless},
      {{"--file", "/x.tsl", "--list", "--raw"}, 0, Mode::kList},
      {{"--add", "f.tsc", "--start", "2030-01-01 00:00", "--monthly"}, 0, Mode::kAdd},
      {{"--remove", "3"}, 0, Mode::kRemove},
      {{"--remove", "3x"}, 2, Mode::kRemove},
      {{"--tick-at", "2030-01-01 00:00:00", "--dry-run"}, 0, Mode::kTickAt},
      {{"--list", "--dry-run"}, 2, Mode::kList},
      {{"--raw"}, 2, Mode::kDefault},
      {{"--file"}, 2, Mode::kDefault},
      {{"--notify", "a", "b"}, 2, Mode::kDefault},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    Options opt;
    std::string error;
    EXPECT_EQ(ParseOptions(c.args, &opt, &error), c.status) << error;
    if (c.status == 0) {
      EXPECT_EQ(opt.mode, c.mode);
    }
  }
  Options opt;
  std::string error;
  ASSERT_EQ(ParseOptions({"--add", "f.tsc", "--start", "2030-01-01 00:00", "--notify", "mail",
                          "ops@example.org", "admin@example.org", "--weekly"},
                         &opt, &error),
            0);
  EXPECT_EQ(opt.frequency, 2);
  EXPECT_EQ(opt.smtpHost, "mail");
  EXPECT_EQ(opt.receiver, "admin@example.org");
}

}  // namespace
}  // namespace sched
