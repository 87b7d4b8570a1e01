// The in-memory registry of the .reg harness against the SQLite store: every
// .reg input of the corpus leaves both with the same export, so that what
// the harness finds with the one holds for the other.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/reg_file.h"
#include "platform/registry.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/fuzz/memory_registry.h"

namespace tarn::fuzz {
namespace {

namespace fs = std::filesystem;

class MemoryRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = "/tmp/tarn-memreg-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::unique_ptr<platform::Registry> Sqlite(const std::string& name) {
    std::string error;
    auto reg = platform::OpenSqliteRegistry(dir_ + "/" + name + ".sqlite", &error);
    EXPECT_NE(reg, nullptr) << error;
    return reg;
  }

  static std::string Import(platform::Registry& reg, const std::string& bytes, bool* ok) {
    platform::RegImportReport report;
    std::string error, text;
    *ok = platform::ImportRegText(reg, bytes, &report, &error);
    EXPECT_TRUE(platform::ExportRegText(reg, "", &text, &error)) << error;
    return text + "\nwarnings " + std::to_string(report.warnings.size()) + ", keys " +
           std::to_string(report.keys) + ", values " + std::to_string(report.values) +
           ", deletions " + std::to_string(report.deletions);
  }

  std::string dir_;
};

TEST_F(MemoryRegistryTest, EveryCorpusFileImportsAsIntoTheSqliteStore) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(CorpusDir() / "reg_import"))
    files.push_back(e.path());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  int n = 0;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    MemoryRegistry memory;
    auto sqlite = Sqlite("r" + std::to_string(n++));
    ASSERT_NE(sqlite, nullptr);
    bool memoryOk = false, sqliteOk = false;
    EXPECT_EQ(Import(memory, bytes, &memoryOk), Import(*sqlite, bytes, &sqliteOk));
    EXPECT_EQ(memoryOk, sqliteOk);
  }
}

// The rules a .reg file meets head on: names of any case find the same key
// and value, a deleted key's handle is dead, and names the store cannot
// hold are refused as the SQLite store refuses them.
TEST_F(MemoryRegistryTest, NamesCaseAndRefusalsAsTheSqliteStore) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n"
      "[HKEY_CURRENT_USER\\Software\\B]\r\n\"v\"=\"1\"\r\n"
      "[HKEY_CURRENT_USER\\software\\a]\r\n\"V\"=\"2\"\r\n\"v\"=dword:00000003\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\A_]\r\n\"x\"=hex:\r\n"
      "[HKEY_CURRENT_USER\\Software\\\\Empty]\r\n"
      "[HKEY_CURRENT_USER\\Software\\" + std::string(256, 'k') + "]\r\n"
      "[HKEY_CURRENT_USER\\Software\\Bad\xC3]\r\n"
      "[-HKEY_CURRENT_USER\\Software\\B]\r\n"
      "[HKEY_CURRENT_USER\\Software\\C]\r\n\"\"=\"default\"\r\n\"a\rb\"=\"x\"\r\n";
  MemoryRegistry memory;
  auto sqlite = Sqlite("rules");
  ASSERT_NE(sqlite, nullptr);
  bool memoryOk = false, sqliteOk = false;
  const std::string fromMemory = Import(memory, text, &memoryOk);
  EXPECT_EQ(fromMemory, Import(*sqlite, text, &sqliteOk));
  EXPECT_TRUE(memoryOk);
  EXPECT_EQ(memoryOk, sqliteOk);

  platform::RegKey key;
  ASSERT_EQ(memory.CreateKey("Software\\Gone", &key), platform::RegStatus::kOk);
  ASSERT_EQ(memory.DeleteKey("SOFTWARE\\GONE"), platform::RegStatus::kOk);
  EXPECT_EQ(memory.SetValue(key, "v", platform::REG_SZ, {0}), platform::RegStatus::kNotFound);
  ASSERT_EQ(memory.CreateKey("Software\\Gone", nullptr), platform::RegStatus::kOk);
  EXPECT_EQ(memory.SetValue(key, "v", platform::REG_SZ, {0}), platform::RegStatus::kNotFound);
  EXPECT_EQ(memory.DeleteKey(""), platform::RegStatus::kInvalidName);
}

}  // namespace
}  // namespace tarn::fuzz
