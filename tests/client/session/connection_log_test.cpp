#include "client/session/connection_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using ::testing::HasSubstr;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class ConnectionLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Dates in the banner are local time; pin the zone.
    setenv("TZ", "UTC", 1);
    tzset();
    ASSERT_FALSE(dir_.empty());
  }

  static BannerFacts PinnedFacts() {
    BannerFacts facts;
    facts.now = 1700000000;  // Tuesday, 14 November 2023, 22:13:20 UTC
    facts.os = "Linux 6.1.0-18-amd64";
    facts.libraries = {{"/usr/lib/x86_64-linux-gnu/libssl.so.3", 1696464000, 698216},
                       {"/usr/lib/x86_64-linux-gnu/libsqlite3.so.0.8.6", 1663027200, 1564464}};
    return facts;
  }

  testing::TempDir tmp_{"tarn-log"};
  std::string dir_ = tmp_.Path();
};

TEST_F(ConnectionLogTest, BannerBytes) {
  EXPECT_EQ(ConnectionLogBanner(PinnedFacts(), platform::PinnedLocale()),
            "\r\n************************************************\r\n"
            "--->          Ostravel Software          <---\r\n"
            "************************************************\r\n"
            "\r\n"
            "Tarn File Transfer Connection Log (created Tuesday, November 14, 2023 at 22:13)\r\n"
            "\r\n"
            "OS: Linux 6.1.0-18-amd64\r\n"
            "DLL: /usr/lib/x86_64-linux-gnu/libssl.so.3 10/05/2023 698216\r\n"
            "DLL: /usr/lib/x86_64-linux-gnu/libsqlite3.so.0.8.6 09/13/2022 1564464\r\n");
}

TEST_F(ConnectionLogTest, ReplacesTheOldLogAndWritesAtOnce) {
  const std::string path = platform::PathJoin(dir_, "Tarn.log");
  std::ofstream(path) << "last run's transcript, much longer than the banner ...";

  ConnLog log;
  ASSERT_TRUE(CreateConnectionLog(&log, dir_, PinnedFacts(), platform::PinnedLocale()));
  const std::string banner = ConnectionLogBanner(PinnedFacts(), platform::PinnedLocale());
  EXPECT_EQ(ReadFile(path), banner);

  // Each write is in the file before the call returns.
  log.Write("USER anonymous\r\n");
  EXPECT_EQ(ReadFile(path), banner + "USER anonymous\r\n");
}

TEST_F(ConnectionLogTest, NoDirectoryMeansNoLog) {
  ConnLog log;
  EXPECT_FALSE(CreateConnectionLog(&log, platform::PathJoin(dir_, "missing"), PinnedFacts(),
                                   platform::PinnedLocale()));
  EXPECT_FALSE(log.IsOpen());
  log.Write("dropped\r\n");
}

TEST_F(ConnectionLogTest, LinesFromManyThreadsStayWhole) {
  const std::string path = platform::PathJoin(dir_, "many.log");
  ConnLog log;
  ASSERT_TRUE(log.Create(path));
  constexpr int kThreads = 4, kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&log, t] {
      for (int i = 0; i < kLines; ++i)
        log.Write("thread " + std::to_string(t) + " line " + std::to_string(i) + "\r\n");
    });
  for (auto& th : threads) th.join();

  std::istringstream in(ReadFile(path));
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    ASSERT_THAT(line, ::testing::MatchesRegex("thread [0-3] line [0-9]+\r"));
    ++count;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

TEST_F(ConnectionLogTest, CurrentFactsNameTheKernelAndLoadedLibraries) {
  BannerFacts facts = CurrentBannerFacts();
  EXPECT_THAT(facts.os, HasSubstr("Linux "));
  EXPECT_GT(facts.now, 1600000000);
  bool sqlite = false;
  for (const auto& lib : facts.libraries) {
    SCOPED_TRACE(lib.path);
    EXPECT_EQ(lib.path.front(), '/');
    EXPECT_GT(lib.size, 0);
    if (lib.path.find("libsqlite3") != std::string::npos) sqlite = true;
  }
  EXPECT_TRUE(sqlite);  // the registry links it
}

}  // namespace
}  // namespace tarn
