// MemoryRegistry: the registry's contract (registry.h) kept in memory, for
// the .reg importer under fuzz, where a database file per input would cost
// more than the import itself. It follows the SQLite store where callers
// can tell: names are case-insensitive and case-preserving, subkeys list in
// upper-cased name order, values in creation order, names must be UTF-8
// without NUL, CR or LF and within the Windows lengths, and a deleted key's
// handle answers kNotFound.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace tarn::fuzz {

class MemoryRegistry final : public platform::Registry {
 public:
  MemoryRegistry();

  platform::RegStatus OpenKey(const std::string& path, platform::RegKey* out) override;
  platform::RegStatus CreateKey(const std::string& path, platform::RegKey* out) override;
  platform::RegStatus DeleteKey(const std::string& path) override;
  platform::RegStatus EnumKeys(const platform::RegKey& key, std::vector<std::string>* names) override;
  platform::RegStatus EnumValues(const platform::RegKey& key,
                                 std::vector<platform::RegValue>* values) override;
  platform::RegStatus QueryValue(const platform::RegKey& key, const std::string& name,
                                 platform::RegValue* out) override;
  platform::RegStatus SetValue(const platform::RegKey& key, const std::string& name,
                               platform::RegType type, const std::vector<uint8_t>& data) override;
  platform::RegStatus DeleteValue(const platform::RegKey& key, const std::string& name) override;
  std::string LastError() const override { return "memory registry"; }

 private:
  struct Node {
    std::string name;
    int64_t parent = -1;
    std::map<std::string, int64_t> children;  // folded name -> id
    std::vector<platform::RegValue> values;   // creation order
  };
  platform::RegStatus Walk(const std::string& path, bool create, int64_t* id);
  void Erase(int64_t id);

  std::map<int64_t, Node> nodes_;  // 0 is the root; ids are never reused
  int64_t nextId_ = 1;
};

}  // namespace tarn::fuzz
