#include "platform/reg_file.h"

#include <cstdio>
#include <new>

namespace platform {

namespace {

constexpr const char* kHeader5 = "Windows Registry Editor Version 5.00";
constexpr const char* kHeader4 = "REGEDIT4";
constexpr const char* kRootName = "HKEY_CURRENT_USER";
// Hex data wraps once a line holds this many columns, as the Windows editor
// does: the line then ends in ",\" at column 78.
constexpr size_t kHexWrapColumn = 77;

// ---------------------------------------------------------------------------
// Text encodings

void AppendUtf8(std::string* out, uint32_t cp) {
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

// Decodes the UTF-8 sequence at `*i` into `*cp` and moves past it. A
// malformed byte gives false and is skipped alone.
bool NextUtf8(const std::string& s, size_t* i, uint32_t* cp) {
  auto b = static_cast<unsigned char>(s[*i]);
  size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || *i + len > s.size()) {
    ++*i;
    return false;
  }
  uint32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (size_t k = 1; k < len; ++k) {
    auto t = static_cast<unsigned char>(s[*i + k]);
    if ((t & 0xC0) != 0x80) {
      ++*i;
      return false;
    }
    c = (c << 6) | (t & 0x3F);
  }
  static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++*i;
    return false;
  }
  *i += len;
  *cp = c;
  return true;
}

bool IsUtf8(const std::string& s) {
  uint32_t cp = 0;
  for (size_t i = 0; i < s.size();) {
    if (!NextUtf8(s, &i, &cp)) return false;
  }
  return true;
}

// Screen columns of UTF-8 text (one per code point).
size_t Columns(const std::string& s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

std::string Utf16LeToUtf8(const std::string& bytes, size_t from) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  for (size_t i = from; i + 1 < bytes.size(); i += 2) {
    uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      uint32_t lo = unit(i + 2);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        AppendUtf8(&out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(&out, u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
  }
  return out;
}

// 8-bit .reg files from Windows are in the ANSI code page, Windows-1252 in
// the West; its 0x80..0x9F differ from Latin-1.
std::string Cp1252ToUtf8(const std::string& bytes) {
  static constexpr uint16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    auto b = static_cast<unsigned char>(ch);
    AppendUtf8(&out, b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b);
  }
  return out;
}

// The file's text as UTF-8: UTF-16LE when it starts with its byte-order
// mark, otherwise UTF-8 (with or without a mark) when it is valid UTF-8,
// else Windows-1252.
std::string DecodeRegText(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return Utf16LeToUtf8(bytes, 2);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  if (IsUtf8(bytes)) return bytes;
  return Cp1252ToUtf8(bytes);
}

// ---------------------------------------------------------------------------
// Small text helpers

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

bool StartsNoCase(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses 1..maxDigits hex digits making up all of `s`.
bool ParseHexNumber(const std::string& s, size_t maxDigits, uint32_t* out) {
  if (s.empty() || s.size() > maxDigits) return false;
  uint32_t v = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  *out = v;
  return true;
}

// Drops a ';' comment and surrounding blanks from data that holds no quotes.
std::string StripComment(const std::string& s) { return Trim(s.substr(0, s.find(';'))); }

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// ---------------------------------------------------------------------------
// Import

// Reads a quoted string starting at s[*pos] == '"', undoing the \\ and \"
// escapes; any other backslash stands for itself. Leaves *pos after the
// closing quote. False when the string is not closed.
bool ParseQuoted(const std::string& s, size_t* pos, std::string* out) {
  out->clear();
  for (size_t i = *pos + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) c = s[++i];
    out->push_back(c);
  }
  return false;
}

// "01,ff,\t2a" -> bytes; a trailing comma is tolerated.
bool ParseHexBytes(const std::string& s, std::vector<uint8_t>* out) {
  out->clear();
  std::string text = Trim(s);
  if (text.empty()) return true;
  if (text.back() == ',') text.pop_back();
  size_t start = 0;
  while (true) {
    size_t comma = text.find(',', start);
    std::string tok = Trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    uint32_t b = 0;
    if (!ParseHexNumber(tok, 2, &b)) return false;
    out->push_back(static_cast<uint8_t>(b));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// What a value line asks for.
struct ParsedValue {
  std::string name;
  bool remove = false;  // "name"=-
  RegType type = REG_NONE;
  std::vector<uint8_t> data;
};

// Parses the data after '=': "text", dword:, hex:, hex(N): or -.
// Returns "" on success, else what is wrong.
std::string ParseData(const std::string& data, ParsedValue* v) {
  if (data.empty()) return "missing value data";
  if (data[0] == '"') {
    size_t pos = 0;
    std::string text;
    if (!ParseQuoted(data, &pos, &text)) return "unterminated string";
    if (!StripComment(data.substr(pos)).empty()) return "text after the closing quote";
    v->type = REG_SZ;
    v->data.assign(text.begin(), text.end());
    v->data.push_back(0);
    return "";
  }
  std::string rest = StripComment(data);
  if (rest == "-") {
    v->remove = true;
    return "";
  }
  if (StartsNoCase(rest, "dword:")) {
    uint32_t n = 0;
    if (!ParseHexNumber(Trim(rest.substr(6)), 8, &n)) return "bad dword value";
    v->type = REG_DWORD;
    v->data = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
               static_cast<uint8_t>(n >> 24)};
    return "";
  }
  if (StartsNoCase(rest, "hex:")) {
    v->type = REG_BINARY;
    return ParseHexBytes(rest.substr(4), &v->data) ? "" : "bad hex data";
  }
  if (StartsNoCase(rest, "hex(")) {
    size_t close = rest.find("):");
    uint32_t type = 0;
    if (close == std::string::npos || !ParseHexNumber(rest.substr(4, close - 4), 8, &type)) {
      return "bad hex(type)";
    }
    v->type = static_cast<RegType>(type);
    return ParseHexBytes(rest.substr(close + 2), &v->data) ? "" : "bad hex data";
  }
  return "unrecognised value data";
}

class Importer {
 public:
  Importer(Registry& reg, RegImportReport* report) : reg_(reg), report_(*report) {}

  bool Run(const std::vector<std::string>& lines, std::string* error) {
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty()) ++i;
    std::string header = i < lines.size() ? Trim(lines[i]) : std::string();
    if (header != kHeader5 && header != kHeader4) {
      if (i == lines.size()) i = 0;  // nothing but blank lines
      return Fail(i, std::string("not a registry file: expected \"") + kHeader5 + "\" or \"" +
                         kHeader4 + "\"", error);
    }
    for (++i; i < lines.size(); ++i) {
      size_t at = i;
      std::string line = Trim(lines[i]);
      if (line.empty() || line[0] == ';') continue;
      RegStatus st = RegStatus::kOk;
      if (line[0] == '[') {
        st = OnKeyLine(at, line);
      } else if (line[0] == '"' || line[0] == '@') {
        st = OnValueLine(lines, &i, line);
      } else {
        Warn(at, "not a key or value line");
      }
      if (st == RegStatus::kStoreFailed) return Fail(at, reg_.LastError(), error);
    }
    // A refused line writes nothing, so a file of refused lines has written
    // nothing: it is no registry file that this store can take.
    if (!report_.warnings.empty() && report_.keys + report_.values + report_.deletions == 0) {
      if (error) *error = "nothing imported: every line was refused";
      return false;
    }
    return true;
  }

 private:
  enum class Target { kNone, kKey, kSkip };

  bool Fail(size_t line, const std::string& what, std::string* error) {
    if (error) *error = "line " + std::to_string(line + 1) + ": " + what;
    return false;
  }
  void Warn(size_t line, const std::string& what) {
    report_.warnings.push_back("line " + std::to_string(line + 1) + ": " + what);
  }

  // [HKEY_CURRENT_USER\Software\X] opens (creating) the key;
  // [-HKEY_CURRENT_USER\Software\X] deletes it with everything below.
  RegStatus OnKeyLine(size_t at, const std::string& line) {
    target_ = Target::kSkip;
    size_t close = line.rfind(']');
    if (close == std::string::npos) {
      Warn(at, "key line without ']'");
      return RegStatus::kOk;
    }
    std::string name = line.substr(1, close - 1);
    bool remove = !name.empty() && name[0] == '-';
    if (remove) name.erase(0, 1);
    size_t slash = name.find('\\');
    std::string root = name.substr(0, slash);
    if (!EqualNoCase(root, kRootName) && !EqualNoCase(root, "HKCU")) {
      Warn(at, "key outside HKEY_CURRENT_USER skipped: " + name);
      return RegStatus::kOk;
    }
    std::string path = slash == std::string::npos ? std::string() : name.substr(slash + 1);
    if (remove) {
      RegStatus st = reg_.DeleteKey(path);
      if (st == RegStatus::kOk) {
        ++report_.deletions;
        report_.deletedKeyPaths.push_back(path);
      }
      if (st == RegStatus::kInvalidName) Warn(at, "key cannot be deleted: " + name);
      return st == RegStatus::kStoreFailed ? st : RegStatus::kOk;
    }
    RegStatus st = reg_.CreateKey(path, &key_);
    if (st == RegStatus::kOk) {
      ++report_.keys;
      report_.keyPaths.push_back(path);
      target_ = Target::kKey;
    } else if (st == RegStatus::kInvalidName) {
      Warn(at, "invalid key name: " + name);
    }
    return st;
  }

  // "name"=data or @=data; hex data may continue over lines ending in '\'.
  RegStatus OnValueLine(const std::vector<std::string>& lines, size_t* i, const std::string& line) {
    size_t at = *i;
    ParsedValue v;
    size_t pos = 1;  // after '@', the default value's name
    if (line[0] == '"') {
      pos = 0;
      if (!ParseQuoted(line, &pos, &v.name)) {
        Warn(at, "unterminated value name");
        return RegStatus::kOk;
      }
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') {
      Warn(at, "'=' expected after the value name");
      return RegStatus::kOk;
    }
    std::string data = Trim(line.substr(pos + 1));
    if (StartsNoCase(data, "hex")) {
      while (!data.empty() && data.back() == '\\' && *i + 1 < lines.size()) {
        data.pop_back();
        data += Trim(lines[++*i]);
      }
    }
    if (target_ == Target::kSkip) return RegStatus::kOk;  // its key line was reported
    if (target_ == Target::kNone) {
      Warn(at, "value before any key");
      return RegStatus::kOk;
    }
    std::string wrong = ParseData(data, &v);
    if (!wrong.empty()) {
      Warn(at, wrong);
      return RegStatus::kOk;
    }
    RegStatus st = v.remove ? reg_.DeleteValue(key_, v.name) : reg_.SetValue(key_, v.name, v.type, v.data);
    if (st == RegStatus::kOk) ++(v.remove ? report_.deletions : report_.values);
    if (st == RegStatus::kInvalidName) Warn(at, "invalid value name");
    // The key vanished under us (another program deleted it).
    if (st == RegStatus::kNotFound && !v.remove) Warn(at, "key no longer exists");
    return st;
  }

  Registry& reg_;
  RegImportReport& report_;
  Target target_ = Target::kNone;
  RegKey key_;
};

// ---------------------------------------------------------------------------
// Export

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// A REG_SZ goes out as a quoted string only when importing that string gives
// back the same bytes: one terminating NUL, no other NUL, no line break and
// valid UTF-8. Anything else goes out as hex(1):.
bool QuotableString(const RegValue& v) {
  if (v.type != REG_SZ || v.data.empty() || v.data.back() != 0) return false;
  std::string text(v.data.begin(), v.data.end() - 1);
  return text.find_first_of(std::string("\0\r\n", 3)) == std::string::npos && IsUtf8(text);
}

// Appends "xx,xx,..." wrapping with "\", CR LF and two blanks once a line
// reaches kHexWrapColumn; `column` is where the first byte starts.
void AppendHex(std::string* out, size_t column, const std::vector<uint8_t>& data) {
  for (size_t i = 0; i < data.size(); ++i) {
    char hex[3];
    snprintf(hex, sizeof hex, "%02x", data[i]);
    out->append(hex, 2);
    column += 2;
    if (i + 1 == data.size()) break;
    out->push_back(',');
    if (++column >= kHexWrapColumn) {
      out->append("\\\r\n  ");
      column = 2;
    }
  }
}

void AppendValue(std::string* out, const RegValue& v) {
  std::string line = v.name.empty() ? std::string("@=") : Quote(v.name) + "=";
  if (QuotableString(v)) {
    line += Quote(std::string(v.data.begin(), v.data.end() - 1));
    out->append(line);
  } else if (v.type == REG_DWORD && v.data.size() == 4) {
    char dword[16];
    uint32_t n = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
    snprintf(dword, sizeof dword, "dword:%08x", n);
    out->append(line + dword);
  } else {
    if (v.type == REG_BINARY) {
      line += "hex:";
    } else {
      char kind[24];
      snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(v.type));
      line += kind;
    }
    out->append(line);
    AppendHex(out, Columns(line), v.data);
  }
  out->append("\r\n");
}

// The stored spelling of `path`; kNotFound when a part is missing.
RegStatus StoredPath(Registry& reg, const std::string& path, std::string* out) {
  out->clear();
  std::string parent;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    RegKey key;
    std::vector<std::string> names;
    RegStatus st = reg.OpenKey(parent, &key);
    if (st == RegStatus::kOk) st = reg.EnumKeys(key, &names);
    if (st != RegStatus::kOk) return st;
    std::string spelled = part;
    for (const std::string& n : names) {
      if (EqualNoCase(n, part)) spelled = n;
    }
    parent = RegJoin(parent, spelled);
    start = end + 1;
  }
  *out = parent;
  return RegStatus::kOk;
}

std::string KeyLineName(const std::string& path) {
  return path.empty() ? std::string(kRootName) : std::string(kRootName) + "\\" + path;
}

bool Export(Registry& reg, const std::string& path, std::string* out, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  RegKey top;
  RegStatus st = reg.OpenKey(path, &top);
  if (st == RegStatus::kOk) {
    std::string spelled;
    st = StoredPath(reg, path, &spelled);
    if (st == RegStatus::kOk) top.path = spelled;
  }
  if (st == RegStatus::kNotFound || st == RegStatus::kInvalidName) {
    return fail("The key " + KeyLineName(path) + " does not exist");
  }
  if (st != RegStatus::kOk) return fail(reg.LastError());

  std::string text = std::string(kHeader5) + "\r\n\r\n";
  // Depth first, each key before its subkeys, subkeys in enumeration order;
  // an explicit stack keeps deep trees off the call stack.
  std::vector<std::string> pending{top.path};
  while (!pending.empty()) {
    std::string keyPath = std::move(pending.back());
    pending.pop_back();
    RegKey key;
    std::vector<RegValue> values;
    std::vector<std::string> subkeys;
    st = reg.OpenKey(keyPath, &key);
    if (st == RegStatus::kOk) st = reg.EnumValues(key, &values);
    if (st == RegStatus::kOk) st = reg.EnumKeys(key, &subkeys);
    if (st == RegStatus::kNotFound) continue;  // deleted meanwhile by another program
    if (st != RegStatus::kOk) return fail(reg.LastError());
    text += "[" + KeyLineName(keyPath) + "]\r\n";
    for (const RegValue& v : values) AppendValue(&text, v);
    text += "\r\n";
    for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it) pending.push_back(RegJoin(keyPath, *it));
  }
  *out = std::move(text);
  return true;
}

}  // namespace

bool ImportRegText(Registry& reg, const std::string& bytes, RegImportReport* report,
                   std::string* error) {
  try {
    RegImportReport local;
    Importer importer(reg, report ? report : &local);
    return importer.Run(SplitLines(DecodeRegText(bytes)), error);
  } catch (const std::bad_alloc&) {
    if (error) *error = "out of memory";
    return false;
  }
}

bool ExportRegText(Registry& reg, const std::string& path, std::string* out, std::string* error) {
  try {
    return Export(reg, path, out, error);
  } catch (const std::bad_alloc&) {
    if (error) *error = "out of memory";
    return false;
  }
}

std::string RegTextToUtf16(const std::string& text) {
  try {
    std::string out = "\xFF\xFE";
    out.reserve(2 + text.size() * 2);
    auto unit = [&](uint32_t u) {
      out.push_back(static_cast<char>(u & 0xFF));
      out.push_back(static_cast<char>(u >> 8));
    };
    for (size_t i = 0; i < text.size();) {
      uint32_t cp = 0xFFFD;
      if (!NextUtf8(text, &i, &cp)) cp = 0xFFFD;
      if (cp >= 0x10000) {
        unit(0xD800 + ((cp - 0x10000) >> 10));
        unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        unit(cp);
      }
    }
    return out;
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}

}  // namespace platform
