// A fresh registry per test: a unique temporary directory holding its own
// SQLite registry, removed after the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace tarn::testing {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    std::string error;
    reg_ = platform::OpenSqliteRegistry(platform::PathJoin(dir_, "registry.sqlite"), &error);
    ASSERT_NE(reg_, nullptr) << error;
  }

  void TearDown() override { reg_.reset(); }

  platform::RegKey Key(const std::string& path) {
    platform::RegKey key;
    EXPECT_EQ(reg_->CreateKey(path, &key), platform::RegStatus::kOk) << path;
    return key;
  }
  bool KeyExists(const std::string& path) {
    platform::RegKey key;
    return reg_->OpenKey(path, &key) == platform::RegStatus::kOk;
  }
  // The value's bytes as stored (a REG_SZ keeps its NUL); "<absent>" when
  // there is no such value.
  std::string Raw(const std::string& path, const std::string& name,
                  platform::RegType* type = nullptr) {
    platform::RegKey key;
    platform::RegValue v;
    if (reg_->OpenKey(path, &key) != platform::RegStatus::kOk ||
        reg_->QueryValue(key, name, &v) != platform::RegStatus::kOk)
      return "<absent>";
    if (type) *type = v.type;
    return std::string(v.data.begin(), v.data.end());
  }
  std::vector<std::string> ValueNames(const std::string& path) {
    platform::RegKey key;
    std::vector<platform::RegValue> values;
    std::vector<std::string> names;
    if (reg_->OpenKey(path, &key) == platform::RegStatus::kOk) reg_->EnumValues(key, &values);
    for (const auto& v : values) names.push_back(v.name);
    return names;
  }
  void SetString(const std::string& path, const std::string& name, const std::string& text) {
    reg_->WriteString(Key(path), name, text);
  }
  void SetBinary(const std::string& path, const std::string& name, const std::string& bytes) {
    reg_->WriteBinary(Key(path), name, bytes);
  }

  TempDir tmp_{"tarn-session"};
  std::string dir_ = tmp_.Path();
  std::unique_ptr<platform::Registry> reg_;
};

}  // namespace tarn::testing
