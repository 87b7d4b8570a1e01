#include "scheduler/model/archive.h"

namespace sched {

void ArchiveWriter::U16(uint16_t v) {
  U8(static_cast<uint8_t>(v & 0xFF));
  U8(static_cast<uint8_t>(v >> 8));
}

void ArchiveWriter::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

void ArchiveWriter::String(const std::string& s) {
  size_t n = s.size();
  if (n < 255) {
    U8(static_cast<uint8_t>(n));
  } else if (n < 0xFFFE) {
    U8(0xFF);
    U16(static_cast<uint16_t>(n));
  } else {
    U8(0xFF);
    U16(0xFFFF);
    U32(static_cast<uint32_t>(n));
  }
  out_ += s;
}

bool ArchiveReader::Take(size_t n, const unsigned char** p) {
  if (in_.size() - at_ < n) {
    at_ = in_.size();
    return false;
  }
  *p = reinterpret_cast<const unsigned char*>(in_.data()) + at_;
  at_ += n;
  return true;
}

ArchiveReader::Status ArchiveReader::U32(uint32_t* v) {
  const unsigned char* p;
  if (!Take(4, &p)) return Status::kEndOfFile;
  *v = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
  return Status::kOk;
}

ArchiveReader::Status ArchiveReader::I32(int32_t* v) {
  uint32_t u;
  Status s = U32(&u);
  if (s == Status::kOk) *v = static_cast<int32_t>(u);
  return s;
}

namespace {

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

ArchiveReader::Status ArchiveReader::String(std::string* s) {
  const unsigned char* p;
  auto u16 = [&](uint32_t* v) {
    if (!Take(2, &p)) return false;
    *v = p[0] | (p[1] << 8);
    return true;
  };
  bool wide = false;
  uint32_t len = 0;
  if (!Take(1, &p)) return Status::kEndOfFile;
  len = p[0];
  if (len == 0xFF) {
    if (!u16(&len)) return Status::kEndOfFile;
    if (len == 0xFFFE) {
      wide = true;
      if (!Take(1, &p)) return Status::kEndOfFile;
      len = p[0];
      if (len == 0xFF && !u16(&len)) return Status::kEndOfFile;
    }
    if (len == 0xFFFF) {
      if (U32(&len) != Status::kOk) return Status::kEndOfFile;
      if (len == 0xFFFFFFFF) return Status::kBadObject;  // a 64-bit length follows
    }
  }
  size_t bytes = wide ? size_t{len} * 2 : len;
  if (!Take(bytes, &p)) return Status::kEndOfFile;
  if (!wide) {
    s->assign(reinterpret_cast<const char*>(p), bytes);
    return Status::kOk;
  }
  s->clear();
  for (size_t i = 0; i < len; ++i) {
    uint32_t u = p[2 * i] | (p[2 * i + 1] << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < len) {
      uint32_t lo = p[2 * i + 2] | (p[2 * i + 3] << 8);
      if (lo >= 0xDC00 && lo < 0xE000) {
        AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00), s);
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u < 0xE000) u = 0xFFFD;  // a lone surrogate
    AppendUtf8(u, s);
  }
  return Status::kOk;
}

}  // namespace sched
