// Every file of a harness's corpus (the seeds, and each input that once
// broke something) replayed through the harness in the unit suite, so that
// the ordinary and the ASan builds keep checking them without a fuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_target.h"

namespace tarn::fuzz {

// Shown as the harness's name in failure messages.
void PrintTo(const Harness& h, std::ostream* os) { *os << h.name; }

namespace {

namespace fs = std::filesystem;

const fs::path kDictionaries = TARN_FUZZ_DICT_DIR;

std::vector<fs::path> Inputs(const std::string& harness) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(CorpusDir() / harness, ec))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CorpusReplay : public ::testing::TestWithParam<Harness> {};

TEST_P(CorpusReplay, EveryInputPassesTheHarness) {
  const Harness& h = GetParam();
  const std::vector<fs::path> files = Inputs(h.name);
  ASSERT_FALSE(files.empty()) << "no seeds in " << (CorpusDir() / h.name);
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    const std::string bytes = ReadAll(file);
    try {
      EXPECT_EQ(h.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
    } catch (const std::logic_error& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Harnesses, CorpusReplay, ::testing::ValuesIn(Harnesses()),
                         [](const ::testing::TestParamInfo<Harness>& info) { return info.param.name; });

TEST(CorpusLayout, EveryFolderAndDictionaryBelongsToAHarness) {
  std::set<std::string> names;
  for (const Harness& h : Harnesses()) names.insert(h.name);
  ASSERT_GE(names.size(), 20u);
  for (const auto& entry : fs::directory_iterator(fs::path(TARN_FUZZ_CORPUS_DIR))) {
    SCOPED_TRACE(entry.path().string());
    EXPECT_TRUE(entry.is_directory());
    EXPECT_EQ(names.count(entry.path().filename().string()), 1u);
  }
  for (const auto& entry : fs::directory_iterator(kDictionaries)) {
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(entry.path().extension(), ".dict");
    EXPECT_EQ(names.count(entry.path().stem().string()), 1u);
  }
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(fs::exists(kDictionaries / (name + ".dict")));
  }
}

}  // namespace
}  // namespace tarn::fuzz
