// The framework archive's encoding of the values in the schedule list file:
// little-endian integers and length-prefixed single-byte strings.
//
//   length < 255           : u8 length, characters
//   255 <= length < 65534  : 0xFF, u16 length, characters
//   longer                 : 0xFF, u16 0xFFFF, u32 length, characters
//
// A reader also takes the wide form, 0xFF 0xFFFE followed by a length in the
// forms above and two bytes (UTF-16LE) per character, and turns it into UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace sched {

class ArchiveWriter {
 public:
  void U32(uint32_t v);
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void String(const std::string& s);
  const std::string& Bytes() const { return out_; }

 private:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U16(uint16_t v);
  std::string out_;
};

class ArchiveReader {
 public:
  enum class Status {
    kOk,
    kEndOfFile,  // the bytes end inside a value
    kBadObject,  // a value the archive cannot hold (a 64-bit string length)
  };

  explicit ArchiveReader(const std::string& bytes) : in_(bytes) {}
  Status U32(uint32_t* v);
  Status I32(int32_t* v);
  Status String(std::string* s);
  size_t Offset() const { return at_; }

 private:
  bool Take(size_t n, const unsigned char** p);
  const std::string& in_;
  size_t at_ = 0;
};

}  // namespace sched
