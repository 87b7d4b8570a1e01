// The start-up step shared by the client programs: passwords converted
// first, then the connection log with its banner.
#include "client/session/client_startup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "client/session/session_store.h"
#include "tests/client/session/registry_fixture.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class StartClientTest : public testing::RegistryTest {
 protected:
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  const std::string kHome = std::string(kSessionsKey) + "\\Home";
  const std::string kMarker = std::string(kApplicationKey) + "\\PwdConverted";
  BannerFacts facts_{1700000000, "Linux 6.1.0", {}};
  platform::Locale locale_ = platform::PinnedLocale();
};

TEST_F(StartClientTest, ConvertsPasswordsAndReplacesTheLogInTheCurrentDirectory) {
  SetBinary(kHome, "Password(encrypted)", "old-form");
  const std::string log = dir_ + "/Tarn.log";
  Write(log, "the last run's transcript\r\n");
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  ConnLog conn;
  const bool created = StartClient(*reg_, &conn, "", facts_, locale_);
  ASSERT_EQ(chdir(here), 0);

  EXPECT_TRUE(created);
  EXPECT_TRUE(conn.IsOpen());
  EXPECT_EQ(Read(log), ConnectionLogBanner(facts_, locale_));
  EXPECT_TRUE(KeyExists(kMarker));
  EXPECT_EQ(Raw(kHome, "Password(encrypted)"), "<absent>");
}

TEST_F(StartClientTest, NamedLogAndALogThatCannotBeMade) {
  const std::string named = dir_ + "/run.log";
  ConnLog conn;
  EXPECT_TRUE(StartClient(*reg_, &conn, named, facts_, locale_));
  EXPECT_THAT(Read(named), StartsWith("\r\n****"));
  EXPECT_THAT(Read(named), HasSubstr("OS: Linux 6.1.0\r\n"));

  // No log, and the run goes on: the conversion has still taken place.
  SetBinary(kHome, "Password(encrypted)", "old-form");
  ConnLog none;
  EXPECT_FALSE(StartClient(*reg_, &none, dir_ + "/missing/dir/Tarn.log", facts_, locale_));
  EXPECT_FALSE(none.IsOpen());
  EXPECT_EQ(Raw(kHome, "Password(encrypted)"), "<absent>");
}

}  // namespace
}  // namespace tarn
