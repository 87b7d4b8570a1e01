// Shared pieces of the scheduler tests: a fresh directory per test, a
// notice that records what it was asked to show, and a pinned time zone
// with daylight saving.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "scheduler/model/local_time.h"
#include "scheduler/model/schedule.h"
#include "tests/support/temp_dir.h"

namespace sched_test {

struct RecordingNotice : sched::Notice {
  struct Shown {
    std::string text;
    sched::NoticeIcon icon;
  };
  std::vector<Shown> shown;
  void Show(const std::string& text, sched::NoticeIcon icon) override {
    shown.push_back({text, icon});
  }
  std::string Texts() const {
    std::string all;
    for (const auto& s : shown) all += s.text + "\n";
    return all;
  }
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Local time in Berlin (CET/CEST) for the test's life.
class BerlinTime {
 public:
  BerlinTime() {
    const char* tz = getenv("TZ");
    if (tz) old_ = tz, had_ = true;
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
  ~BerlinTime() {
    if (had_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

// "2025-01-31 09:00:00" in the pinned zone.
inline int64_t At(const std::string& text) {
  int64_t t = 0;
  EXPECT_TRUE(sched::ParseLocalTime(text, &t)) << text;
  return t;
}

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.empty()); }
  std::string File(const std::string& name) const { return tmp_.File(name); }

  tarn::testing::TempDir tmp_{"tarn-sched"};
  std::string dir_ = tmp_.Path();
  BerlinTime tz_;
};

}  // namespace sched_test
