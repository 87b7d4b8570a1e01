// Sorting the host view by its four columns.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/listing/row_sort.h"
#include "client/listing/text_rules.h"

namespace tarn::listing {
namespace {

using ::testing::ElementsAre;

TEST(CompareNames, CaseComesSecond) {
  const struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"apple", "Banana", -1}, {"Banana", "cherry", -1}, {"readme", "Readme", -1},
      {"Readme", "readme", 1}, {"aB", "Ab", -1},         {"abc", "abcd", -1},
      {"abcd", "ABC", 1},      {"same", "same", 0},      {"a-b", "a_b", -1},
      {"Zeta", "alpha", 1},    {"file10", "file9", -1},  {"", "a", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    const int r = CompareNames(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign);
  }
}

class RowSortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // name, directory, size, type, day of January 2001
    Add("beta", false, 300, "b-type", 3);
    Add("Alpha", false, 100, "c-type", 1);
    Add("gamma", true, 0, "File Folder", 2);
    Add("delta", false, 300, "a-type", 5);
    Add("epsilon", true, 0, "File Folder", 4);
  }
  void Add(const char* name, bool dir, uint64_t size, const char* type, int day) {
    RowInput in;
    const std::string path = std::string("/z/") + name;
    in.path = path;
    in.name = name;
    in.typeText = type;
    in.size = size;
    in.isDirectory = dir;
    in.modified = FileTimeFromParts(DateParts{2001, 1, day, 0, 0, 0});
    listing_.AppendRow(in);
  }
  std::vector<std::string> Order(int column, int direction, bool fullPaths = false) {
    SortRows(&listing_, column, direction, fullPaths);
    std::vector<std::string> names;
    for (const RemoteEntry& e : listing_.rows()) names.emplace_back(listing_.Name(e));
    return names;
  }
  HostListing listing_;
};

TEST_F(RowSortTest, ByName) {
  EXPECT_THAT(Order(0, 1), ElementsAre("epsilon", "gamma", "Alpha", "beta", "delta"));
  EXPECT_THAT(Order(0, -1), ElementsAre("delta", "beta", "Alpha", "gamma", "epsilon"));
}

TEST_F(RowSortTest, BySizeLargestFirstThenName) {
  EXPECT_THAT(Order(1, 1), ElementsAre("beta", "delta", "Alpha", "epsilon", "gamma"));
  EXPECT_THAT(Order(1, -1), ElementsAre("epsilon", "gamma", "Alpha", "beta", "delta"));
}

TEST_F(RowSortTest, ByTypeDirectoriesFirst) {
  EXPECT_THAT(Order(2, 1), ElementsAre("epsilon", "gamma", "delta", "beta", "Alpha"));
  EXPECT_THAT(Order(2, -1), ElementsAre("Alpha", "beta", "delta", "epsilon", "gamma"));
}

TEST_F(RowSortTest, ByModifiedDirectoriesAfterFiles) {
  EXPECT_THAT(Order(3, 1), ElementsAre("Alpha", "beta", "delta", "gamma", "epsilon"));
  EXPECT_THAT(Order(3, -1), ElementsAre("epsilon", "gamma", "delta", "beta", "Alpha"));
}

TEST_F(RowSortTest, OtherColumnsKeepTheOrder) {
  const auto before = Order(0, 1);
  EXPECT_EQ(Order(4, 1), before);
  EXPECT_EQ(Order(-1, 1), before);
}

TEST(RowSort, FullPathsCompareWholePaths) {
  HostListing l;
  const struct {
    const char* path;
    const char* name;
  } rows[] = {{"USER.B.DATA", "a"}, {"USER.A.CNTL", "c"}, {"USER.A.DATA", "b"}};
  for (const auto& r : rows) {
    RowInput in;
    in.path = r.path;
    in.name = r.name;
    l.AppendRow(in);
  }
  auto paths = [&] {
    std::vector<std::string> out;
    for (const RemoteEntry& e : l.rows()) out.emplace_back(l.Path(e));
    return out;
  };
  SortRows(&l, 0, 1, true);
  EXPECT_THAT(paths(), ElementsAre("USER.A.CNTL", "USER.A.DATA", "USER.B.DATA"));
  SortRows(&l, 0, 1, false);
  EXPECT_THAT(paths(), ElementsAre("USER.B.DATA", "USER.A.DATA", "USER.A.CNTL"));
}

// The name sort works on keys of the first bytes; it must give exactly
// the order the row comparison gives, also for names that agree beyond
// those bytes, differ only in case, hold NUL bytes or are prefixes of
// others.
TEST(RowSort, NameSortAgreesWithTheRowComparison) {
  const std::string longStem(30, 's');
  std::vector<std::string> names = {"", "a", "A", "a\0", "ab", "aB", "Ab", "b"};
  names[3] = std::string("a\0", 2);
  for (int i = 0; i < 40; ++i) {
    names.push_back(longStem + static_cast<char>('a' + i % 26) + std::to_string(i));
    names.push_back(longStem + static_cast<char>('A' + i % 26) + std::to_string(i));
    names.push_back(std::string(i % 9, 'x') + "Y");
  }
  HostListing l;
  uint32_t seed = 12345;
  for (size_t i = 0; i < names.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    RowInput in;
    const std::string path = "/d" + std::to_string(seed % 97) + "/" + names[i];
    in.path = path;
    in.name = names[i];
    in.isDirectory = (seed >> 16) % 4 == 0;
    l.AppendRow(in);
  }
  const std::vector<RemoteEntry> original = l.rows();
  for (bool fullPaths : {false, true}) {
    for (int direction : {1, -1}) {
      SCOPED_TRACE(::testing::Message() << "fullPaths " << fullPaths << " direction " << direction);
      std::vector<RemoteEntry> expected = original;
      std::stable_sort(expected.begin(), expected.end(), [&](const RemoteEntry& a, const RemoteEntry& b) {
        return CompareRows(l, a, b, 0, direction, fullPaths) < 0;
      });
      l.mutable_rows() = original;
      SortRows(&l, 0, direction, fullPaths);
      ASSERT_EQ(l.size(), expected.size());
      for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(l.rows()[i].path.offset, expected[i].path.offset) << "at " << i;
    }
  }
}

TEST(SortState, ClicksOnTheFirstFourColumnsFlipTheirDirection) {
  SortState s;
  EXPECT_TRUE(s.Click(1));
  EXPECT_EQ(s.column, 1);
  EXPECT_EQ(s.direction[1], -1);
  EXPECT_TRUE(s.Click(1));
  EXPECT_EQ(s.direction[1], 1);
  EXPECT_TRUE(s.Click(3));
  EXPECT_EQ(s.column, 3);
  EXPECT_EQ(s.direction[1], 1);
  EXPECT_FALSE(s.Click(4));
  EXPECT_EQ(s.column, 3);
}

}  // namespace
}  // namespace tarn::listing
