// A fresh temporary directory and registry database for each registry test.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace platform {

class RegistryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    file_ = dir_ + "/registry.sqlite";
    reg_ = Open(file_);
    ASSERT_NE(reg_, nullptr);
  }
  void TearDown() override { reg_.reset(); }

  std::unique_ptr<Registry> Open(const std::string& file, int busyMs = 5000) {
    std::string error;
    auto reg = OpenSqliteRegistry(file, &error, busyMs);
    EXPECT_NE(reg, nullptr) << error;
    return reg;
  }

  RegKey Create(Registry& reg, const std::string& path) {
    RegKey key;
    EXPECT_EQ(reg.CreateKey(path, &key), RegStatus::kOk) << path;
    return key;
  }
  RegKey Create(const std::string& path) { return Create(*reg_, path); }

  static std::vector<uint8_t> Bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
  }

  tarn::testing::TempDir tmp_{"tarn-registry"};
  std::string dir_ = tmp_.Path();
  std::string file_;
  std::unique_ptr<Registry> reg_;
};

// A second connection that holds the database's write lock, as another
// program would, until it goes out of scope.
class OutsideLock {
 public:
  explicit OutsideLock(const std::string& file) {
    EXPECT_EQ(sqlite3_open(file.c_str(), &db_), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  }
  ~OutsideLock() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
  }
  OutsideLock(const OutsideLock&) = delete;
  OutsideLock& operator=(const OutsideLock&) = delete;

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace platform
