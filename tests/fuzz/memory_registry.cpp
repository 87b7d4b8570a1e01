#include "tests/fuzz/memory_registry.h"

namespace tarn::fuzz {

namespace {

using platform::RegKey;
using platform::RegStatus;
using platform::RegType;
using platform::RegValue;

constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;

std::string Fold(const std::string& name) {
  std::string f = name;
  for (char& c : f)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return f;
}

// Well-formed UTF-8 (no overlong forms or surrogates) without NUL, CR or
// LF, of at most `maxChars` code points.
bool Storable(const std::string& s, size_t maxChars) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++chars) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b == 0 || b == '\r' || b == '\n') return false;
    const size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k < len; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return chars <= maxChars;
}

bool Split(const std::string& path, std::vector<std::string>* parts) {
  parts->clear();
  if (path.empty()) return true;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find('\\', start);
    std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty() || !Storable(part, kMaxKeyNameChars)) return false;
    parts->push_back(std::move(part));
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

}  // namespace

MemoryRegistry::MemoryRegistry() { nodes_[0] = Node{}; }

RegStatus MemoryRegistry::Walk(const std::string& path, bool create, int64_t* id) {
  std::vector<std::string> parts;
  if (!Split(path, &parts)) return RegStatus::kInvalidName;
  int64_t at = 0;
  for (const std::string& part : parts) {
    Node& node = nodes_[at];
    auto it = node.children.find(Fold(part));
    if (it == node.children.end()) {
      if (!create) return RegStatus::kNotFound;
      const int64_t child = nextId_++;
      node.children[Fold(part)] = child;
      Node fresh;
      fresh.name = part;
      fresh.parent = at;
      nodes_[child] = std::move(fresh);
      at = child;
    } else {
      at = it->second;
    }
  }
  *id = at;
  return RegStatus::kOk;
}

RegStatus MemoryRegistry::OpenKey(const std::string& path, RegKey* out) {
  int64_t id = 0;
  const RegStatus st = Walk(path, false, &id);
  if (st == RegStatus::kOk && out) *out = RegKey{id, path};
  return st;
}

RegStatus MemoryRegistry::CreateKey(const std::string& path, RegKey* out) {
  int64_t id = 0;
  const RegStatus st = Walk(path, true, &id);
  if (st == RegStatus::kOk && out) *out = RegKey{id, path};
  return st;
}

void MemoryRegistry::Erase(int64_t id) {
  auto it = nodes_.find(id);
  if (it == nodes_.end()) return;
  std::vector<int64_t> children;
  for (const auto& [fold, child] : it->second.children) children.push_back(child);
  nodes_.erase(it);
  for (int64_t child : children) Erase(child);
}

RegStatus MemoryRegistry::DeleteKey(const std::string& path) {
  if (path.empty()) return RegStatus::kInvalidName;
  int64_t id = 0;
  const RegStatus st = Walk(path, false, &id);
  if (st != RegStatus::kOk) return st;
  Node& parent = nodes_[nodes_[id].parent];
  parent.children.erase(Fold(nodes_[id].name));
  Erase(id);
  return RegStatus::kOk;
}

RegStatus MemoryRegistry::EnumKeys(const RegKey& key, std::vector<std::string>* names) {
  auto it = nodes_.find(key.id);
  if (it == nodes_.end()) return RegStatus::kNotFound;
  std::vector<std::string> found;
  for (const auto& [fold, child] : it->second.children) found.push_back(nodes_[child].name);
  if (names) *names = std::move(found);
  return RegStatus::kOk;
}

RegStatus MemoryRegistry::EnumValues(const RegKey& key, std::vector<RegValue>* values) {
  auto it = nodes_.find(key.id);
  if (it == nodes_.end()) return RegStatus::kNotFound;
  if (values) *values = it->second.values;
  return RegStatus::kOk;
}

RegStatus MemoryRegistry::QueryValue(const RegKey& key, const std::string& name, RegValue* out) {
  if (!Storable(name, kMaxValueNameChars)) return RegStatus::kInvalidName;
  auto it = nodes_.find(key.id);
  if (it == nodes_.end()) return RegStatus::kNotFound;
  for (const RegValue& v : it->second.values) {
    if (Fold(v.name) == Fold(name)) {
      if (out) *out = v;
      return RegStatus::kOk;
    }
  }
  return RegStatus::kNotFound;
}

RegStatus MemoryRegistry::SetValue(const RegKey& key, const std::string& name, RegType type,
                                   const std::vector<uint8_t>& data) {
  if (!Storable(name, kMaxValueNameChars)) return RegStatus::kInvalidName;
  auto it = nodes_.find(key.id);
  if (it == nodes_.end()) return RegStatus::kNotFound;
  for (RegValue& v : it->second.values) {
    if (Fold(v.name) == Fold(name)) {
      v.type = type;
      v.data = data;
      return RegStatus::kOk;
    }
  }
  it->second.values.push_back(RegValue{name, type, data});
  return RegStatus::kOk;
}

RegStatus MemoryRegistry::DeleteValue(const RegKey& key, const std::string& name) {
  if (!Storable(name, kMaxValueNameChars)) return RegStatus::kInvalidName;
  auto it = nodes_.find(key.id);
  if (it == nodes_.end()) return RegStatus::kNotFound;
  auto& values = it->second.values;
  for (auto v = values.begin(); v != values.end(); ++v) {
    if (Fold(v->name) == Fold(name)) {
      values.erase(v);
      return RegStatus::kOk;
    }
  }
  return RegStatus::kNotFound;
}

}  // namespace tarn::fuzz
