#include "platform/reg_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/platform/registry_fixture.h"

namespace platform {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Every key under `path` with its values, raw, one line each.
std::vector<std::string> Dump(Registry& reg, const std::string& path = "") {
  std::vector<std::string> out;
  RegKey key;
  EXPECT_EQ(reg.OpenKey(path, &key), RegStatus::kOk) << path;
  out.push_back("[" + path + "]");
  std::vector<RegValue> values;
  EXPECT_EQ(reg.EnumValues(key, &values), RegStatus::kOk);
  for (const RegValue& v : values) {
    std::string line = v.name + " (" + std::to_string(v.type) + "):";
    for (uint8_t b : v.data) {
      char hex[4];
      snprintf(hex, sizeof hex, " %02x", b);
      line += hex;
    }
    out.push_back(line);
  }
  std::vector<std::string> names;
  EXPECT_EQ(reg.EnumKeys(key, &names), RegStatus::kOk);
  for (const std::string& n : names) {
    std::vector<std::string> sub = Dump(reg, RegJoin(path, n));
    out.insert(out.end(), sub.begin(), sub.end());
  }
  return out;
}

class RegFileTest : public RegistryFixture {
 protected:
  RegImportReport Import(const std::string& text) {
    RegImportReport report;
    std::string error;
    EXPECT_TRUE(ImportRegText(*reg_, text, &report, &error)) << error;
    return report;
  }
  std::string Export(Registry& reg, const std::string& path = "") {
    std::string text, error;
    EXPECT_TRUE(ExportRegText(reg, path, &text, &error)) << error;
    return text;
  }
};

// ---------------------------------------------------------------------------
// Import

TEST_F(RegFileTest, ImportsEveryValueForm) {
  RegImportReport report = Import(
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "; sessions brought over from Windows\n"
      "[HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Sessions\\Home]\n"
      "\"HostName\"=\"ftp.example.org\"\n"
      "\"Path\"=\"C:\\\\Temp\\\\\\\"q\\\"\"\n"
      "@=\"default\"\n"
      "\"RandomInitData\"=hex:51,2a,33,7e,\\\n"
      "  44,20\n"
      "\"Port\"=dword:00000015\n"
      "\"Expand\"=hex(2):25,00,41,00\n"
      "\"Old\"=\"x\"\n"
      "\"Old\"=-\n"
      "\"Spaced\" = \"s\"  ; comment\n"
      "\n"
      "[HKCU\\Software\\Ostravel\\Tarn\\Gone\\Sub]\n"
      "\"v\"=\"1\"\n"
      "\n"
      "[-HKEY_CURRENT_USER\\Software\\Ostravel\\Tarn\\Gone]\n"
      "\"ignored\"=\"after a deleted key\"\n");
  EXPECT_EQ(report.keys, 2);
  EXPECT_EQ(report.values, 9);
  EXPECT_EQ(report.deletions, 2);
  EXPECT_THAT(report.warnings, ElementsAre());
  EXPECT_THAT(report.keyPaths, ElementsAre("Software\\Ostravel\\Tarn\\Sessions\\Home",
                                           "Software\\Ostravel\\Tarn\\Gone\\Sub"));
  EXPECT_THAT(report.deletedKeyPaths, ElementsAre("Software\\Ostravel\\Tarn\\Gone"));

  EXPECT_THAT(Dump(*reg_, "Software\\Ostravel\\Tarn"),
              ElementsAre("[Software\\Ostravel\\Tarn]",  //
                          "[Software\\Ostravel\\Tarn\\Sessions]",
                          "[Software\\Ostravel\\Tarn\\Sessions\\Home]",
                          "HostName (1): 66 74 70 2e 65 78 61 6d 70 6c 65 2e 6f 72 67 00",
                          "Path (1): 43 3a 5c 54 65 6d 70 5c 22 71 22 00",
                          " (1): 64 65 66 61 75 6c 74 00",  //
                          "RandomInitData (3): 51 2a 33 7e 44 20",
                          "Port (4): 15 00 00 00",  //
                          "Expand (2): 25 00 41 00",  //
                          "Spaced (1): 73 00"));
}

TEST_F(RegFileTest, SkipsWhatItCannotUseWithOneWarningPerLine) {
  RegImportReport report = Import(
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "\"Early\"=\"before any key\"\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\X]\r\n"
      "\"Skipped\"=hex:01,\\\r\n"
      "  02\r\n"
      "[HKEY_CURRENT_USER\\Software\\Y]\r\n"
      "\"BadDword\"=dword:123456789\r\n"
      "\"BadHex\"=hex:01,zz\r\n"
      "\"Open\"=\"no end\r\n"
      "\"NoEquals\" \"x\"\r\n"
      "garbage\r\n"
      "\"Good\"=\"kept\"\r\n"
      "\"Trail\"=\"x\" junk\r\n"
      "[HKEY_CURRENT_USER\\Software\\\\Empty]\r\n"
      "\"LostValue\"=\"x\"\r\n"
      "[-HKEY_CURRENT_USER]\r\n"
      "[HKEY_CURRENT_USERX\\Software]\r\n"
      "[HKEY_CURRENT_USER\\Software\\Y\r\n");
  EXPECT_THAT(report.warnings,
              ElementsAre("line 3: value before any key",
                          "line 4: key outside HKEY_CURRENT_USER skipped: "
                          "HKEY_LOCAL_MACHINE\\Software\\X",
                          "line 8: bad dword value",  //
                          "line 9: bad hex data",     //
                          "line 10: unterminated string",
                          "line 11: '=' expected after the value name",
                          "line 12: not a key or value line",
                          "line 14: text after the closing quote",
                          "line 15: invalid key name: HKEY_CURRENT_USER\\Software\\\\Empty",
                          "line 17: key cannot be deleted: HKEY_CURRENT_USER",
                          "line 18: key outside HKEY_CURRENT_USER skipped: "
                          "HKEY_CURRENT_USERX\\Software",
                          "line 19: key line without ']'"));
  EXPECT_EQ(report.keys, 1);
  EXPECT_EQ(report.values, 1);
  EXPECT_EQ(report.deletions, 0);
  EXPECT_THAT(Dump(*reg_), ElementsAre("[]", "[Software]", "[Software\\Y]", "Good (1): 6b 65 70 74 00"));
}

// A refused line writes nothing, so a file of nothing else is refused whole
// (a caller exits with an error), while a file of header and comments only
// is an empty import.
TEST_F(RegFileTest, FileOfRefusedLinesImportsNothing) {
  const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
  struct Case {
    const char* label;
    std::string text;
    size_t warnings;
  };
  const Case cases[] = {
      {"garbage", header + "garbage\r\nmore garbage\r\n", 2},
      {"key line without ]", header + "[HKEY_CURRENT_USER\\Software\\X\r\n\"a\"=\"b\"\r\n", 1},
      {"value before any key", header + "\"a\"=\"b\"\r\n; a comment\r\n", 1},
      {"foreign root", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\X]\n\"a\"=\"b\"\n", 1},
      {"root deletion", header + "[-HKEY_CURRENT_USER]\r\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    RegImportReport report;
    std::string error;
    EXPECT_FALSE(ImportRegText(*reg_, c.text, &report, &error));
    EXPECT_EQ(error, "nothing imported: every line was refused");
    EXPECT_EQ(report.warnings.size(), c.warnings);
    EXPECT_THAT(report.keyPaths, ElementsAre());
  }
  EXPECT_THAT(Dump(*reg_), ElementsAre("[]"));

  RegImportReport empty = Import(header + "; nothing to do\r\n\r\n");
  EXPECT_THAT(empty.warnings, ElementsAre());
  EXPECT_EQ(empty.keys + empty.values + empty.deletions, 0);
}

TEST_F(RegFileTest, RefusesTextThatIsNotARegFile) {
  struct Case {
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"", "line 1: not a registry file"},
      {"hello\n", "line 1: not a registry file"},
      {"\r\n\r\nhello\r\n", "line 3: not a registry file"},
      {"[HKEY_CURRENT_USER\\X]\n\"a\"=\"b\"\n", "line 1: not a registry file"},
      {"Windows Registry Editor Version 4.00\r\n", "line 1: not a registry file"},
      {RegTextToUtf16("just text\r\n"), "line 1: not a registry file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    RegImportReport report;
    EXPECT_FALSE(ImportRegText(*reg_, c.text, &report, &error));
    EXPECT_THAT(error, StartsWith(c.error));
  }
  EXPECT_THAT(Dump(*reg_), ElementsAre("[]"));
}

TEST_F(RegFileTest, DecodesEachTextEncoding) {
  // "Café €" and an emoji outside the 16-bit range.
  const std::string text = "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80";
  const std::string body = "[HKCU\\Software\\X]\r\n\"Name\"=\"" + text + "\"\r\n";
  struct Case {
    const char* label;
    std::string file;
    std::string name;
  };
  const Case cases[] = {
      {"utf-16 with mark", RegTextToUtf16("Windows Registry Editor Version 5.00\r\n\r\n" + body), text},
      {"utf-8 with mark", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n" + body, text},
      {"utf-8", "Windows Registry Editor Version 5.00\n" + body, text},
      // Windows-1252, where 0x80 is the euro sign (Latin-1 has a control
      // character there).
      {"ansi", "REGEDIT4\r\n\r\n[HKCU\\Software\\X]\r\n\"Name\"=\"Caf\xe9 \x80\"\r\n",
       "Caf\xc3\xa9 \xe2\x82\xac"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto reg = Open(dir_ + "/enc" + std::to_string(n++) + ".sqlite");
    ASSERT_NE(reg, nullptr);
    std::string error;
    ASSERT_TRUE(ImportRegText(*reg, c.file, nullptr, &error)) << error;
    RegKey key;
    RegValue v;
    ASSERT_EQ(reg->OpenKey("Software\\X", &key), RegStatus::kOk);
    ASSERT_EQ(reg->QueryValue(key, "name", &v), RegStatus::kOk);
    EXPECT_EQ(v.Text(), c.name);
  }
}

TEST_F(RegFileTest, Utf16FormHasMarkAndSurrogatePairs) {
  EXPECT_EQ(RegTextToUtf16("A\xe2\x82\xac\xf0\x9f\x98\x80\r\n"),
            std::string("\xFF\xFE" "A\0" "\xAC\x20" "\x3D\xD8\x00\xDE" "\r\0\n\0", 14));
}

TEST_F(RegFileTest, StoreFailureStopsTheImportNamingLineAndFile) {
  reg_ = Open(file_, 100);
  ASSERT_NE(reg_, nullptr);
  OutsideLock lock(file_);
  std::string error;
  RegImportReport report;
  EXPECT_FALSE(ImportRegText(*reg_,
                             "Windows Registry Editor Version 5.00\r\n\r\n"
                             "; first key\r\n"
                             "[HKEY_CURRENT_USER\\Software\\X]\r\n"
                             "\"a\"=\"b\"\r\n",
                             &report, &error));
  EXPECT_THAT(error, StartsWith("line 4: "));
  EXPECT_THAT(error, HasSubstr(file_));
}

// ---------------------------------------------------------------------------
// Export

TEST_F(RegFileTest, ExportWritesTheWindowsEditorsForms) {
  RegKey key = Create("Software\\Tarn");
  auto set = [&](const std::string& name, RegType type, const std::string& data) {
    ASSERT_EQ(reg_->SetValue(key, name, type, Bytes(data)), RegStatus::kOk) << name;
  };
  std::string thirty;
  for (int i = 0; i < 30; ++i) thirty.push_back(static_cast<char>(i));
  set("", REG_SZ, std::string("Home\0", 5));
  set("Path", REG_SZ, std::string("C:\\Temp\\\"x\"\0", 12));
  set("Count", REG_DWORD, std::string("\x2a\0\0\0", 4));
  set("Small", REG_BINARY, "\x01\xff");
  set("Empty", REG_BINARY, "");
  set("Expand", REG_EXPAND_SZ, std::string("%HOME%\0", 7));
  // Strings a quoted form could not carry go out as hex(1): no NUL at the
  // end, a line break inside, a NUL inside.
  set("Bare", REG_SZ, "ab");
  set("Lines", REG_SZ, std::string("a\r\nb\0", 5));
  set("Inner", REG_SZ, std::string("a\0b\0", 4));
  set("Data", REG_BINARY, thirty);
  set("Odd", static_cast<RegType>(11), "\x01");
  set("Short", REG_DWORD, "\x01\x02");
  for (const char* sub : {"b", "A_", "AB"}) Create(RegJoin("Software\\Tarn", sub));
  ASSERT_EQ(reg_->WriteString(Create("Software\\Tarn\\A_"), "x", "y"), RegStatus::kOk);

  EXPECT_EQ(Export(*reg_, "software\\TARN"),
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tarn]\r\n"
            "@=\"Home\"\r\n"
            "\"Path\"=\"C:\\\\Temp\\\\\\\"x\\\"\"\r\n"
            "\"Count\"=dword:0000002a\r\n"
            "\"Small\"=hex:01,ff\r\n"
            "\"Empty\"=hex:\r\n"
            "\"Expand\"=hex(2):25,48,4f,4d,45,25,00\r\n"
            "\"Bare\"=hex(1):61,62\r\n"
            "\"Lines\"=hex(1):61,0d,0a,62,00\r\n"
            "\"Inner\"=hex(1):61,00,62,00\r\n"
            "\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
            "  16,17,18,19,1a,1b,1c,1d\r\n"
            "\"Odd\"=hex(b):01\r\n"
            "\"Short\"=hex(4):01,02\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tarn\\AB]\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tarn\\A_]\r\n"
            "\"x\"=\"y\"\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tarn\\b]\r\n"
            "\r\n");
}

TEST_F(RegFileTest, LongHexWrapsWithinEightyColumns) {
  std::string blob;
  for (int i = 0; i < 1000; ++i) blob.push_back(static_cast<char>(i * 7));
  ASSERT_EQ(reg_->WriteBinary(Create("K"), "RandomInitData", blob), RegStatus::kOk);
  std::string text = Export(*reg_, "K");
  size_t start = text.find("\"RandomInitData\"");
  ASSERT_NE(start, std::string::npos);
  int continuations = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = text.substr(start, end - start);
    if (line.empty()) break;
    SCOPED_TRACE(line);
    EXPECT_LE(line.size(), 80u);
    if (line.rfind("  ", 0) == 0) ++continuations;
  }
  // 1000 bytes at 3 columns each need at least 1000 * 3 / 80 lines.
  EXPECT_GE(continuations, 37);
}

TEST_F(RegFileTest, ExportOfMissingKeyFails) {
  std::string text, error;
  EXPECT_FALSE(ExportRegText(*reg_, "Software\\Nope", &text, &error));
  EXPECT_THAT(error, HasSubstr("HKEY_CURRENT_USER\\Software\\Nope"));
}

// ---------------------------------------------------------------------------
// Round trip

TEST_F(RegFileTest, RoundTripGivesIdenticalTextAndValues) {
  std::string allBytes;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
  }
  RegKey home = Create("Software\\Ostravel\\Tarn\\Sessions\\Home");
  ASSERT_EQ(reg_->WriteString(home, "HostName", "ftp.example.org"), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteBinary(home, "RandomInitData", allBytes), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteBinary(home, "Nuls", std::string(3, '\0')), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteBinary(home, "Empty", ""), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteString(home, "EmptyText", ""), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteString(home, "", "default"), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteString(home, "@", "a value named @"), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteString(home, "q\"uo\\te", "C:\\dir\\\"x\"\\"), RegStatus::kOk);
  ASSERT_EQ(reg_->WriteString(home, "Gr\xc3\xb6\xc3\x9f" "e", "\xc3\x9cn\xc3\xaf" "code \xf0\x9f\x98\x80"),
            RegStatus::kOk);
  ASSERT_EQ(reg_->WriteString(home, "Semicolon", "a ; not a comment"), RegStatus::kOk);
  ASSERT_EQ(reg_->SetValue(home, "Latin1", REG_SZ, Bytes(std::string("caf\xe9\0", 5))),
            RegStatus::kOk);
  ASSERT_EQ(reg_->SetValue(home, "Multi", REG_MULTI_SZ, Bytes(std::string("a\0b\0\0", 5))),
            RegStatus::kOk);
  ASSERT_EQ(reg_->SetValue(home, "None", REG_NONE, {}), RegStatus::kOk);
  ASSERT_EQ(reg_->SetValue(home, "Big", static_cast<RegType>(0x12345678), Bytes("\x7f")),
            RegStatus::kOk);
  ASSERT_EQ(reg_->SetValue(home, "Dword", REG_DWORD, Bytes("\xff\xfe\xfd\xfc")), RegStatus::kOk);
  Create("Software\\Ostravel\\Tarn\\Sessions\\W\xc3\xb6rk [1] \"x\"");
  std::string deep = "Software\\Deep";
  for (int i = 0; i < 30; ++i) deep = RegJoin(deep, "L" + std::to_string(i));
  ASSERT_EQ(reg_->WriteString(Create(deep), "Bottom", "here"), RegStatus::kOk);

  const std::string text = Export(*reg_);
  const std::vector<std::string> tree = Dump(*reg_);

  struct Case {
    const char* label;
    std::string file;
  };
  const Case cases[] = {
      {"utf-8", text},
      {"utf-16", RegTextToUtf16(text)},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    auto copy = Open(dir_ + "/copy" + std::to_string(n++) + ".sqlite");
    ASSERT_NE(copy, nullptr);
    RegImportReport report;
    std::string error;
    ASSERT_TRUE(ImportRegText(*copy, c.file, &report, &error)) << error;
    EXPECT_THAT(report.warnings, ElementsAre());
    EXPECT_EQ(Export(*copy), text);
    EXPECT_EQ(Dump(*copy), tree);
  }
}

}  // namespace
}  // namespace platform
