#include "client/listing/text_rules.h"

#include <algorithm>

namespace tarn::listing {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

NameCase NameCaseFromFlag(std::string_view flag) {
  if (flag.empty()) return NameCase::kAsIs;
  switch (flag[0]) {
    case 'C': return NameCase::kCapitalized;
    case 'U': return NameCase::kUpper;
    case 'L': return NameCase::kLower;
    default: return NameCase::kAsIs;
  }
}

void ApplyNameCase(NameCase rule, char* begin, char* end) {
  switch (rule) {
    case NameCase::kAsIs:
      return;
    case NameCase::kUpper:
      std::transform(begin, end, begin, Upper);
      return;
    case NameCase::kLower:
      std::transform(begin, end, begin, Lower);
      return;
    case NameCase::kCapitalized:
      if (begin == end) return;
      *begin = Upper(*begin);
      std::transform(begin + 1, end, begin + 1, Lower);
      return;
  }
}

void ApplyNameCase(NameCase rule, std::string* name) {
  ApplyNameCase(rule, name->data(), name->data() + name->size());
}

void JoinPathInto(std::string_view directory, std::string_view root, std::string_view name,
                  std::string* out) {
  out->assign(directory);
  if (directory.size() != 1) out->append(root);
  out->append(name);
}

std::string JoinPath(std::string_view directory, std::string_view root, std::string_view name) {
  std::string out;
  JoinPathInto(directory, root, name, &out);
  return out;
}

std::string SizeText(uint64_t size, const platform::Locale& locale) {
  // Sizes come from signed 64-bit numbers, so size + 1023 cannot wrap.
  const uint64_t kb = size / 1024 + (size % 1024 != 0);
  if (kb == 0) return std::string();
  return locale.FormatNumber(static_cast<int64_t>(kb)) + "KB";
}

std::string SizeText(uint64_t size, SizeForm form, const platform::Locale& locale) {
  switch (form) {
    case SizeForm::kNone: return std::string();
    case SizeForm::kExact: return SizeText(size, locale);
    case SizeForm::kExactOrZero: {
      std::string s = SizeText(size, locale);
      return s.empty() ? "0KB" : s;
    }
    case SizeForm::kUnknown: return "?KB";
    case SizeForm::kApprox: return SizeText(size, locale).insert(0, 1, '~');
    case SizeForm::kUpperBound: return SizeText(size, locale).insert(0, "< ", 2);
    case SizeForm::kSymLink: return "SymLink";
    case SizeForm::kTwoBlanks: return "  ";
  }
  return std::string();
}

std::string DateText(FileTime ft, const platform::Locale& locale) {
  if (ft == 0) return std::string();
  const std::tm t = TmFromFileTime(ft);
  return locale.FormatShortDate(t) + " " + locale.FormatTime(t);
}

std::string RowSizeText(const RemoteEntry& e, const platform::Locale& locale) {
  return SizeText(e.Size(), e.sizeForm, locale);
}

std::string RowDateText(const HostListing& listing, const RemoteEntry& e,
                        const platform::Locale& locale) {
  if (e.dateText.length) return std::string(listing.Text(e.dateText));
  if ((e.flags & kRowDateOnly) && e.modified != 0)
    return locale.FormatShortDate(TmFromFileTime(e.modified));
  return DateText(e.modified, locale);
}

size_t CutLength(std::string_view s, size_t capacity) {
  if (capacity == 0) return 0;
  if (s.size() < capacity) return s.size();
  size_t n = capacity - 1;
  // When the cut falls inside a UTF-8 sequence (at most three continuation
  // bytes after a lead byte), the partial character goes too. Bytes of other
  // encodings that only look like continuations are cut where they fall.
  auto continuation = [&](size_t i) { return (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80; };
  size_t back = n;
  while (back > 0 && n - back < 3 && continuation(back)) --back;
  if (back < n && static_cast<unsigned char>(s[back]) >= 0xC0) return back;
  return n;
}

bool IsSafeLocalName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '/' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return true;
  if (haystack.size() < needle.size()) return false;
  const char first = Lower(needle[0]);
  for (size_t i = 0; i + needle.size() <= haystack.size(); ++i)
    if (Lower(haystack[i]) == first && EqualsNoCase(haystack.substr(i, needle.size()), needle))
      return true;
  return false;
}

}  // namespace tarn::listing
