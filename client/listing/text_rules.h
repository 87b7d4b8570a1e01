// The small formatting rules every parser shares: the name case rule, the
// path join of generic hosts, size and date texts, the capacity cut, and the
// test that keeps listed names from becoming unsafe local file names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "client/listing/file_time.h"
#include "client/listing/listing_model.h"
#include "platform/locale.h"

namespace tarn::listing {

// The "Host File Names" setting (CapFlag).
enum class NameCase : char {
  kAsIs = 'A',         // "Leave As Is"
  kCapitalized = 'C',  // first character upper, the rest lower
  kUpper = 'U',
  kLower = 'L',
};

// The rule of a CapFlag value; anything but "C", "U" or "L" leaves names as
// they are.
NameCase NameCaseFromFlag(std::string_view flag);

// Applies the rule in place. Only ASCII letters change: a listing's bytes in
// other encodings pass unchanged, so a UTF-8 name stays valid UTF-8.
void ApplyNameCase(NameCase rule, std::string* name);
void ApplyNameCase(NameCase rule, char* begin, char* end);

// Path join of generic hosts: the directory, the root string unless the
// directory is exactly one character long, then the name.
//   JoinPath("/", "/", "a") == "/a";  JoinPath("/x", "/", "a") == "/x/a"
std::string JoinPath(std::string_view directory, std::string_view root, std::string_view name);
void JoinPathInto(std::string_view directory, std::string_view root, std::string_view name,
                  std::string* out);

// Size text of a byte count: whole kilobytes rounded up, (size + 1023) /
// 1024, in the locale's number format with "KB" after it; "" for 0.
//   1 -> "1KB", 1024 -> "1KB", 1025 -> "2KB", 1234567 -> "1,206KB"
std::string SizeText(uint64_t size, const platform::Locale& locale);
// The size column of a row in one of the forms of SizeForm.
std::string SizeText(uint64_t size, SizeForm form, const platform::Locale& locale);

// Date text of a FileTime: the locale's short date, a blank, the time
// without seconds; "" for 0.
std::string DateText(FileTime ft, const platform::Locale& locale);

// The size and date cells of a row as the host view shows them: the size
// in the row's SizeForm, the date from `modified` (the date alone for a
// row flagged kRowDateOnly) unless the parser stored a text of its own.
std::string RowSizeText(const RemoteEntry& e, const platform::Locale& locale);
std::string RowDateText(const HostListing& listing, const RemoteEntry& e,
                        const platform::Locale& locale);

// The length of the longest prefix of `s` that fits `capacity` - 1 bytes
// and does not end inside a UTF-8 sequence.
size_t CutLength(std::string_view s, size_t capacity);

// True when `name` may become a local file name as it stands: not empty,
// not "." or "..", and without "/", NUL or control characters (0x01-0x1F,
// 0x7F). A listing is the server's word, and a hostile server can name an
// entry "../.profile"; rows keep such names for display and carry
// kRowUnsafeLocalName, and transfer code must ask this before using one.
bool IsSafeLocalName(std::string_view name);

// ASCII case-insensitive search.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace tarn::listing
