#include "platform/registry.h"

#include <cstring>
#include <limits>

namespace platform {

namespace {

bool IsStringType(RegType type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

// Stops at the first NUL: that is the text every C reader of the value sees.
std::string RegValue::Text() const {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string(data.begin(), data.end());
  if (data.empty()) return std::string();
  const auto* p = reinterpret_cast<const char*>(data.data());
  return std::string(p, strnlen(p, data.size()));
}

RegStatus Registry::ReadValue(const RegKey& key, const std::string& name, char* buffer,
                              uint32_t capacity, uint32_t* size, uint32_t* needed) {
  RegValue v;
  RegStatus st = QueryValue(key, name, &v);
  if (st != RegStatus::kOk) return st;
  if (v.data.size() >= std::numeric_limits<uint32_t>::max()) return RegStatus::kStoreFailed;
  const auto stored = static_cast<uint32_t>(v.data.size());
  // String data stored without its NUL (possible through a .reg file's
  // hex(1): form) needs one byte more, so that the caller always gets a
  // terminated string.
  uint32_t need = stored;
  if (IsStringType(v.type) && (stored == 0 || v.data.back() != 0)) ++need;
  if (needed) *needed = need;
  if (buffer == nullptr) capacity = 0;
  if (capacity < need) return RegStatus::kMoreData;
  if (stored > 0) memcpy(buffer, v.data.data(), stored);
  if (capacity > stored) buffer[stored] = '\0';
  if (size) *size = stored;
  return RegStatus::kOk;
}

RegStatus Registry::WriteString(const RegKey& key, const std::string& name,
                                const std::string& text) {
  std::vector<uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  return SetValue(key, name, REG_SZ, data);
}

RegStatus Registry::WriteBinary(const RegKey& key, const std::string& name,
                                const std::string& bytes) {
  return SetValue(key, name, REG_BINARY, std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::string RegJoin(const std::string& a, const std::string& b) {
  size_t end = a.find_last_not_of('\\');
  std::string head = end == std::string::npos ? std::string() : a.substr(0, end + 1);
  size_t start = b.find_first_not_of('\\');
  std::string tail = start == std::string::npos ? std::string() : b.substr(start);
  if (head.empty()) return tail;
  if (tail.empty()) return head;
  return head + "\\" + tail;
}

}  // namespace platform
