// A fresh runtime folder for each ipc test: XDG_RUNTIME_DIR points into a
// new temporary directory, so tests running side by side never meet.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace platform {

class IpcFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("XDG_RUNTIME_DIR");
    if (old) oldRuntime_ = old, hadRuntime_ = true;
    ASSERT_FALSE(root_.empty());
    setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
  }
  void TearDown() override {
    if (hadRuntime_)
      setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
  }

  std::string IpcDir() const { return root_ + "/tarn-" + std::to_string(geteuid()); }

  tarn::testing::TempDir tmp_{"tarn-ipc"};
  std::string root_ = tmp_.Path();
  std::string oldRuntime_;
  bool hadRuntime_ = false;
};

}  // namespace platform
