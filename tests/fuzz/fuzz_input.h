// Reading a fuzz input: a few leading bytes that choose options, the rest
// as the text under test. Reading past the end gives zeros, so every input
// is usable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool Bit(uint8_t byte, int bit) const { return (byte >> bit) & 1; }
  // The bytes not read yet.
  std::string_view Rest() const {
    return std::string_view(reinterpret_cast<const char*>(data_) + at_, size_ - at_);
  }
  std::string_view All() const {
    return std::string_view(reinterpret_cast<const char*>(data_), size_);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Splits `text` at NUL bytes: the argument vector of a command line.
inline std::vector<std::string> SplitAtNul(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\0', start);
    if (end == std::string_view::npos) end = text.size();
    parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace tarn::fuzz
