#include "platform/registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "tests/platform/registry_fixture.h"

namespace platform {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

bool Exists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

std::vector<std::string> ValueNames(Registry& reg, const RegKey& key) {
  std::vector<RegValue> values;
  EXPECT_EQ(reg.EnumValues(key, &values), RegStatus::kOk);
  std::vector<std::string> names;
  for (const RegValue& v : values) names.push_back(v.name);
  return names;
}

using RegistryTest = RegistryFixture;

// ---------------------------------------------------------------------------
// Names: case-insensitive, case-preserving, Windows order

TEST_F(RegistryTest, KeyNamesMatchWhateverTheCaseAndKeepFirstSpelling) {
  RegKey created = Create("Software\\Ostravel\\Tarn");
  RegKey opened;
  ASSERT_EQ(reg_->OpenKey("SOFTWARE\\ostravel\\tARN", &opened), RegStatus::kOk);
  EXPECT_EQ(opened.id, created.id);
  EXPECT_EQ(opened.path, "SOFTWARE\\ostravel\\tARN");

  RegKey again = Create("software\\OSTRAVEL\\tarn\\Sessions");
  RegKey root;
  ASSERT_EQ(reg_->OpenKey("", &root), RegStatus::kOk);
  std::vector<std::string> names;
  ASSERT_EQ(reg_->EnumKeys(root, &names), RegStatus::kOk);
  EXPECT_THAT(names, ElementsAre("Software"));
  ASSERT_EQ(reg_->EnumKeys(created, &names), RegStatus::kOk);
  EXPECT_THAT(names, ElementsAre("Sessions"));

  RegKey missing;
  EXPECT_EQ(reg_->OpenKey("Software\\Ostravel\\Other", &missing), RegStatus::kNotFound);
}

TEST_F(RegistryTest, SubkeysEnumerateByUpperCasedName) {
  // Upper-casing before comparing puts "A_" after "AB" ('_' > 'B'), where a
  // lower-casing comparison would put it first.
  for (const char* name : {"_x", "b", "A_", "Zeta", "AB", "[", "a"}) Create(RegJoin("Order", name));
  std::vector<std::string> names;
  ASSERT_EQ(reg_->EnumKeys(Create("Order"), &names), RegStatus::kOk);
  EXPECT_THAT(names, ElementsAre("a", "AB", "A_", "b", "Zeta", "[", "_x"));
}

TEST_F(RegistryTest, ValuesKeepCreationOrderAndFirstSpelling) {
  RegKey key = Create("Values");
  ASSERT_EQ(reg_->WriteString(key, "Zed", "1"), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteString(key, "alpha", "2"), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteString(key, "Mid", "3"), RegStatus::kOk);
  // Rewriting under another spelling and type keeps place and spelling.
  ASSERT_EQ(reg_->WriteBinary(key, "ALPHA", std::string("\x01\x00", 2)), RegStatus::kOk);
  EXPECT_THAT(ValueNames(*reg_, key), ElementsAre("Zed", "alpha", "Mid"));
  RegValue v;
  ASSERT_EQ(reg_->QueryValue(key, "aLpHa", &v), RegStatus::kOk);
  EXPECT_EQ(v.name, "alpha");
  EXPECT_EQ(v.type, REG_BINARY);
  EXPECT_EQ(v.data, Bytes(std::string("\x01\x00", 2)));

  // A value deleted and written again is new: it goes last.
  ASSERT_EQ(reg_->DeleteValue(key, "zed"), RegStatus::kOk);
  EXPECT_EQ(reg_->DeleteValue(key, "zed"), RegStatus::kNotFound);
  ASSERT_EQ(reg_->WriteString(key, "ZED", "4"), RegStatus::kOk);
  EXPECT_THAT(ValueNames(*reg_, key), ElementsAre("alpha", "Mid", "ZED"));
}

TEST_F(RegistryTest, RefusesNamesThatCannotBeStored) {
  struct Case {
    std::string path;
    RegStatus status;
  };
  const Case cases[] = {
      {"a\\\\b", RegStatus::kInvalidName},
      {"\\a", RegStatus::kInvalidName},
      {"a\\", RegStatus::kInvalidName},
      {std::string("a\0b", 3), RegStatus::kInvalidName},
      {"line\nbreak", RegStatus::kInvalidName},
      {"bad\xff utf8", RegStatus::kInvalidName},
      {std::string(256, 'k'), RegStatus::kInvalidName},
      {std::string(255, 'k'), RegStatus::kOk},
      {"Caf\xc3\xa9 [1] \"q\"", RegStatus::kOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    RegKey key;
    EXPECT_EQ(reg_->CreateKey(c.path, &key), c.status);
    EXPECT_EQ(reg_->OpenKey(c.path, &key), c.status);
  }

  RegKey key = Create("Names");
  const Case values[] = {
      {std::string("a\0b", 3), RegStatus::kInvalidName},
      {"cr\rhere", RegStatus::kInvalidName},
      {std::string(16384, 'v'), RegStatus::kInvalidName},
      {std::string(16383, 'v'), RegStatus::kOk},
      {"back\\slash", RegStatus::kOk},  // value names may hold backslashes
      {"", RegStatus::kOk},             // the default value
  };
  for (const Case& c : values) {
    SCOPED_TRACE(c.path.substr(0, 20));
    EXPECT_EQ(reg_->WriteString(key, c.path, "x"), c.status);
  }
}

// ---------------------------------------------------------------------------
// Data

TEST_F(RegistryTest, StringsCarryTheirNulAndBinaryIsKeptAsGiven) {
  RegKey key = Create("Data");
  ASSERT_EQ(reg_->WriteString(key, "Host", "ftp.example.org"), RegStatus::kOk);
  std::string allBytes;
  for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
  ASSERT_EQ(reg_->WriteBinary(key, "Blob", allBytes), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteBinary(key, "Empty", ""), RegStatus::kOk);

  RegValue v;
  ASSERT_EQ(reg_->QueryValue(key, "host", &v), RegStatus::kOk);
  EXPECT_EQ(v.type, REG_SZ);
  EXPECT_EQ(v.data, Bytes(std::string("ftp.example.org\0", 16)));
  EXPECT_EQ(v.Text(), "ftp.example.org");
  ASSERT_EQ(reg_->QueryValue(key, "Blob", &v), RegStatus::kOk);
  EXPECT_EQ(v.data, Bytes(allBytes));
  EXPECT_EQ(v.Text(), allBytes);
  ASSERT_EQ(reg_->QueryValue(key, "Empty", &v), RegStatus::kOk);
  EXPECT_EQ(v.type, REG_BINARY);
  EXPECT_TRUE(v.data.empty());
  EXPECT_EQ(reg_->QueryValue(key, "Absent", &v), RegStatus::kNotFound);

  // A string is what a C reader sees: up to the first NUL.
  RegValue odd{"x", REG_SZ, Bytes(std::string("ab\0cd\0", 6))};
  EXPECT_EQ(odd.Text(), "ab");
}

TEST_F(RegistryTest, ReadValueReportsTheSizeItNeeds) {
  RegKey key = Create("Read");
  ASSERT_EQ(reg_->WriteString(key, "Str", "abc"), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteString(key, "EmptyStr", ""), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteBinary(key, "Bin", std::string("\x01\x00\x02", 3)), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteBinary(key, "EmptyBin", ""), RegStatus::kOk);
  // REG_SZ without its NUL (a .reg file can write one): the reader still
  // gets a terminated string, so it needs a byte more than is stored.
  ASSERT_EQ(reg_->SetValue(key, "Bare", REG_SZ, Bytes("ab")), RegStatus::kOk);

  struct Case {
    const char* name;
    uint32_t capacity;
    RegStatus status;
    uint32_t size;        // on kOk
    uint32_t needed;
    std::string buffer;   // the first 6 bytes afterwards
  };
  const std::string untouched = "XXXXXX";
  const Case cases[] = {
      {"Str", 3, RegStatus::kMoreData, 0, 4, untouched},
      {"Str", 4, RegStatus::kOk, 4, 4, std::string("abc\0XX", 6)},
      {"EmptyStr", 0, RegStatus::kMoreData, 0, 1, untouched},
      {"EmptyStr", 1, RegStatus::kOk, 1, 1, std::string("\0XXXXX", 6)},
      {"Bin", 2, RegStatus::kMoreData, 0, 3, untouched},
      {"Bin", 3, RegStatus::kOk, 3, 3, std::string("\x01\x00\x02XXX", 6)},
      {"Bin", 4, RegStatus::kOk, 3, 3, std::string("\x01\x00\x02\0XX", 6)},
      {"EmptyBin", 0, RegStatus::kOk, 0, 0, untouched},
      {"Bare", 2, RegStatus::kMoreData, 0, 3, untouched},
      {"Bare", 3, RegStatus::kOk, 2, 3, std::string("ab\0XXX", 6)},
      {"Absent", 6, RegStatus::kNotFound, 0, 0, untouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " capacity " + std::to_string(c.capacity));
    char buffer[6];
    memset(buffer, 'X', sizeof buffer);
    uint32_t size = 0, needed = 0;
    EXPECT_EQ(reg_->ReadValue(key, c.name, buffer, c.capacity, &size, &needed), c.status);
    if (c.status == RegStatus::kOk) {
      EXPECT_EQ(size, c.size);
    }
    if (c.status != RegStatus::kNotFound) {
      EXPECT_EQ(needed, c.needed);
    }
    EXPECT_EQ(std::string(buffer, sizeof buffer), c.buffer);
  }

  // Asking the size with no buffer at all, as callers do before allocating.
  uint32_t needed = 0;
  EXPECT_EQ(reg_->ReadValue(key, "Str", nullptr, 0, nullptr, &needed), RegStatus::kMoreData);
  EXPECT_EQ(needed, 4u);
}

// ---------------------------------------------------------------------------
// Deleting keys

TEST_F(RegistryTest, DeleteKeyRemovesTheWholeSubtree) {
  RegKey deep = Create("Tree\\Branch\\Leaf");
  ASSERT_EQ(reg_->WriteString(deep, "v", "1"), RegStatus::kOk);
  RegKey branch = Create("Tree\\Branch");
  ASSERT_EQ(reg_->WriteString(branch, "w", "2"), RegStatus::kOk);
  Create("Tree\\Other");
  RegKey sibling = Create("TreeSibling");
  ASSERT_EQ(reg_->WriteString(sibling, "keep", "3"), RegStatus::kOk);

  ASSERT_EQ(reg_->DeleteKey("TREE\\branch"), RegStatus::kOk);
  RegKey k;
  EXPECT_EQ(reg_->OpenKey("Tree\\Branch\\Leaf", &k), RegStatus::kNotFound);
  EXPECT_EQ(reg_->OpenKey("Tree\\Branch", &k), RegStatus::kNotFound);
  EXPECT_EQ(reg_->OpenKey("Tree\\Other", &k), RegStatus::kOk);
  EXPECT_THAT(ValueNames(*reg_, sibling), ElementsAre("keep"));

  // Created again, the key starts empty: nothing of the old one lingers.
  RegKey fresh = Create("Tree\\Branch\\Leaf");
  EXPECT_TRUE(ValueNames(*reg_, fresh).empty());
  EXPECT_TRUE(ValueNames(*reg_, Create("Tree\\Branch")).empty());

  EXPECT_EQ(reg_->DeleteKey("Tree\\Nothing"), RegStatus::kNotFound);
  EXPECT_EQ(reg_->DeleteKey(""), RegStatus::kInvalidName);  // the root stays
}

TEST_F(RegistryTest, HandleOfDeletedKeyAnswersNotFound) {
  // The deleted key is the newest row, so a store that reuses row ids would
  // give its id to the key created next and the stale handle would reach it.
  RegKey stale = Create("Gone");
  ASSERT_EQ(reg_->WriteString(stale, "v", "1"), RegStatus::kOk);
  ASSERT_EQ(reg_->DeleteKey("Gone"), RegStatus::kOk);
  RegKey other = Create("Newcomer");
  ASSERT_EQ(reg_->WriteString(other, "v", "mine"), RegStatus::kOk);
  Create("Gone");

  RegValue v;
  std::vector<RegValue> values;
  std::vector<std::string> names;
  RegKey child;
  EXPECT_EQ(reg_->QueryValue(stale, "v", &v), RegStatus::kNotFound);
  EXPECT_EQ(reg_->EnumValues(stale, &values), RegStatus::kNotFound);
  EXPECT_EQ(reg_->EnumKeys(stale, &names), RegStatus::kNotFound);
  EXPECT_EQ(reg_->SetValue(stale, "v", REG_SZ, Bytes("x")), RegStatus::kNotFound);
  EXPECT_EQ(reg_->DeleteValue(stale, "v"), RegStatus::kNotFound);
  uint32_t size = 0, needed = 0;
  char buffer[8];
  EXPECT_EQ(reg_->ReadValue(stale, "v", buffer, sizeof buffer, &size, &needed), RegStatus::kNotFound);

  ASSERT_EQ(reg_->QueryValue(other, "v", &v), RegStatus::kOk);
  EXPECT_EQ(v.Text(), "mine");
}

// ---------------------------------------------------------------------------
// The database file

TEST_F(RegistryTest, FileIsPrivateWalAndKeepsDataAcrossReopen) {
  std::string file = dir_ + "/sub/dir/registry.sqlite";
  mode_t old = umask(0);
  auto reg = Open(file);
  umask(old);
  ASSERT_NE(reg, nullptr);
  ASSERT_EQ(reg->WriteString(Create(*reg, "Software\\X"), "Name", "value"), RegStatus::kOk);
  for (const std::string& f : {file, file + "-wal", file + "-shm"}) {
    SCOPED_TRACE(f);
    struct stat st{};
    ASSERT_EQ(stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  reg.reset();

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
  sqlite3_finalize(stmt);
  sqlite3_close(db);

  reg = Open(file);
  ASSERT_NE(reg, nullptr);
  RegKey key;
  ASSERT_EQ(reg->OpenKey("software\\x", &key), RegStatus::kOk);
  RegValue v;
  ASSERT_EQ(reg->QueryValue(key, "name", &v), RegStatus::kOk);
  EXPECT_EQ(v.Text(), "value");
}

TEST_F(RegistryTest, RefusesFilesThatAreNotRegistriesWithoutTouchingThem) {
  std::string otherDb = dir_ + "/other.sqlite";
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(otherDb.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(t TEXT); INSERT INTO notes VALUES('hi')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  WriteFile(dir_ + "/short.txt", "hello\n");
  WriteFile(dir_ + "/long.txt", std::string(10000, 'x'));
  for (const std::string name : {"short.txt", "long.txt", "other.sqlite"}) {
    SCOPED_TRACE(name);
    std::string file = dir_ + "/" + name;
    std::string before = ReadFile(file);
    std::string error;
    EXPECT_EQ(OpenSqliteRegistry(file, &error, 100), nullptr);
    EXPECT_THAT(error, HasSubstr(file));
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_FALSE(Exists(file + "-wal"));
    EXPECT_FALSE(Exists(file + "-journal"));
  }
}

TEST_F(RegistryTest, RefusesToOpenWhileLockedPastTheTimeOut) {
  reg_.reset();
  std::string before = ReadFile(file_);
  {
    OutsideLock lock(file_);
    std::string error;
    EXPECT_EQ(OpenSqliteRegistry(file_, &error, 100), nullptr);
    EXPECT_THAT(error, HasSubstr(file_));
    EXPECT_THAT(error, HasSubstr("locked"));
    EXPECT_EQ(ReadFile(file_), before);
  }
  EXPECT_NE(Open(file_, 100), nullptr);
}

TEST_F(RegistryTest, WriteFailureNamesTheFileAndLosesNothingAfter) {
  reg_ = Open(file_, 100);
  ASSERT_NE(reg_, nullptr);
  RegKey key = Create("Busy");
  {
    OutsideLock lock(file_);
    EXPECT_EQ(reg_->WriteString(key, "v", "1"), RegStatus::kStoreFailed);
    EXPECT_THAT(reg_->LastError(), HasSubstr(file_));
    RegKey k;
    EXPECT_EQ(reg_->CreateKey("Busy\\Sub", &k), RegStatus::kStoreFailed);
    // Readers are not held up by a writer.
    EXPECT_EQ(reg_->OpenKey("Busy", &k), RegStatus::kOk);
  }
  EXPECT_EQ(reg_->WriteString(key, "v", "2"), RegStatus::kOk);
  RegValue v;
  ASSERT_EQ(reg_->QueryValue(key, "v", &v), RegStatus::kOk);
  EXPECT_EQ(v.Text(), "2");
}

// ---------------------------------------------------------------------------
// Concurrent use

// Each writer creates keys along shared paths and numbers values of one
// shared key: both need a read before the write, which is where two
// unguarded writers would collide.
bool WriteMany(Registry& reg, int writer, int count) {
  for (int i = 0; i < count; ++i) {
    RegKey shared, own;
    std::string tag = std::to_string(writer) + "_" + std::to_string(i);
    if (reg.CreateKey("Shared", &shared) != RegStatus::kOk) return false;
    if (reg.CreateKey("Shared\\Sub" + std::to_string(i % 7) + "\\W" + tag, &own) != RegStatus::kOk) {
      return false;
    }
    if (reg.WriteString(shared, "v" + tag, tag) != RegStatus::kOk) return false;
  }
  return true;
}

void ExpectAllWritten(Registry& reg, int writers, int count) {
  RegKey shared;
  ASSERT_EQ(reg.OpenKey("Shared", &shared), RegStatus::kOk);
  std::vector<RegValue> values;
  ASSERT_EQ(reg.EnumValues(shared, &values), RegStatus::kOk);
  ASSERT_EQ(values.size(), static_cast<size_t>(writers * count));
  // Each writer's values appear in the order it wrote them.
  std::vector<int> next(writers, 0);
  for (const RegValue& v : values) {
    int w = std::stoi(v.name.substr(1));
    ASSERT_LT(w, writers);
    EXPECT_EQ(v.name, "v" + std::to_string(w) + "_" + std::to_string(next[w]));
    ++next[w];
  }
  for (int w = 0; w < writers; ++w) {
    for (int i = 0; i < count; ++i) {
      RegKey k;
      std::string path = "Shared\\Sub" + std::to_string(i % 7) + "\\W" + std::to_string(w) + "_" +
                         std::to_string(i);
      EXPECT_EQ(reg.OpenKey(path, &k), RegStatus::kOk) << path;
    }
  }
}

TEST_F(RegistryTest, TwoProcessesWriteAtOnceWithoutLosingAWrite) {
  constexpr int kCount = 300;
  reg_.reset();  // no connection may cross fork()
  int ready[2], go[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(go), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string error;
    auto reg = OpenSqliteRegistry(file_, &error, 20000);
    char c = 'r';
    bool ok = reg && write(ready[1], &c, 1) == 1 && read(go[0], &c, 1) == 1 && WriteMany(*reg, 1, kCount);
    reg.reset();
    _exit(ok ? 0 : 1);
  }
  auto reg = Open(file_, 20000);
  ASSERT_NE(reg, nullptr);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(write(go[1], "g", 1), 1);
  EXPECT_TRUE(WriteMany(*reg, 0, kCount)) << reg->LastError();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  for (int fd : {ready[0], ready[1], go[0], go[1]}) close(fd);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ExpectAllWritten(*reg, 2, kCount);
}

TEST_F(RegistryTest, ThreadsShareOneRegistry) {
  constexpr int kThreads = 4, kCount = 100;
  std::vector<std::thread> threads;
  std::vector<char> ok(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] { ok[t] = WriteMany(*reg_, t, kCount); });
  }
  for (auto& th : threads) th.join();
  EXPECT_THAT(ok, ::testing::Each(1));
  ExpectAllWritten(*reg_, kThreads, kCount);
}

// ---------------------------------------------------------------------------

TEST(RegJoin, JoinsWithSingleBackslashes) {
  struct Case {
    const char* a;
    const char* b;
    const char* joined;
  };
  const Case cases[] = {
      {"Software\\Ostravel", "Tarn", "Software\\Ostravel\\Tarn"},
      {"", "Tarn", "Tarn"},
      {"Software", "", "Software"},
      {"", "", ""},
      {"Software\\", "Tarn", "Software\\Tarn"},
      {"Software", "\\Tarn", "Software\\Tarn"},
      {"Software\\\\", "\\\\Tarn\\Sub", "Software\\Tarn\\Sub"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " + " + c.b);
    EXPECT_EQ(RegJoin(c.a, c.b), c.joined);
  }
}

}  // namespace
}  // namespace platform
