#include "client/session/password.h"

#include <array>
#include <cstring>

#include "client/session/session_store.h"
#include "platform/registry.h"

namespace tarn {

namespace {

// Filler characters put between the shifted plain characters. Any nonzero
// codes from 32 to 159 serve: unscrambling skips them.
constexpr std::array<uint32_t, 128> kFiller = [] {
  std::array<uint32_t, 128> t{};
  for (uint32_t i = 0; i < t.size(); ++i) t[i] = 32 + (i * 53 + 71) % 128;
  return t;
}();

// A scrambled byte of 0 would end the stored text early, so a k that maps
// any plain byte to 0 is drawn again; after this many draws k = 0 is taken,
// which cannot collide because the plain text holds no NUL.
constexpr int kMaxOffsetDraws = 16;

bool OffsetHitsNul(const unsigned char* plain, size_t n, unsigned k) {
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(plain[i] + k) == 0) return true;
  return false;
}

std::string Unscramble(const unsigned char* s, size_t len) {
  if (len == 0) return {};
  unsigned k = static_cast<unsigned>(s[len - 1]) - 32u;
  size_t n = (len - 1) / 2;
  std::string plain(n, '\0');
  for (size_t i = 0; i < n; ++i) plain[i] = static_cast<char>(s[2 * i] - k);
  return plain;
}

}  // namespace

int PasswordScrambler::Rand() {
  if (!seeded_) {
    // The calendar time's four bytes, lowest first, folded into the seed.
    uint32_t t = static_cast<uint32_t>(now_);
    uint32_t seed = 0;
    for (int i = 0; i < 4; ++i) seed = seed * 257u + ((t >> (8 * i)) & 0xffu);
    state_ = seed;
    seeded_ = true;
  }
  state_ = state_ * 214013u + 2531011u;
  return static_cast<int>((state_ >> 16) & 0x7fffu);
}

bool PasswordScrambler::Scramble(char* text, size_t capacity) {
  size_t n = std::strlen(text);
  if (n == 0) return true;
  if (capacity < 2 * n + 2) return false;

  std::string plain(text, n);
  const auto* p = reinterpret_cast<const unsigned char*>(plain.data());
  unsigned k = static_cast<unsigned>(Rand() / 256);
  for (int draw = 1; OffsetHitsNul(p, n, k); ++draw)
    k = draw < kMaxOffsetDraws ? static_cast<unsigned>(Rand() / 256) : 0u;

  for (size_t i = 0; i < n; ++i) {
    text[2 * i] = static_cast<char>(p[i] + k);
    text[2 * i + 1] = static_cast<char>(kFiller[static_cast<size_t>(Rand() / 256)]);
  }
  text[2 * n] = static_cast<char>(k + 32);
  text[2 * n + 1] = '\0';
  return true;
}

std::string PasswordScrambler::Scramble(const std::string& plain) {
  std::string cut(plain.c_str());  // the stored texts are C strings
  std::string buf(2 * cut.size() + 2, '\0');
  std::memcpy(buf.data(), cut.data(), cut.size());
  Scramble(buf.data(), buf.size());
  buf.resize(std::strlen(buf.c_str()));
  return buf;
}

size_t UnscramblePassword(char* text) {
  size_t len = std::strlen(text);
  std::string plain = Unscramble(reinterpret_cast<const unsigned char*>(text), len);
  std::memcpy(text, plain.data(), plain.size());
  text[plain.size()] = '\0';
  return std::strlen(text);
}

// Works on the whole byte length, so that a value scrambled by a release
// that let a byte wrap to NUL still comes back complete.
std::string UnscramblePassword(const std::string& scrambled) {
  return Unscramble(reinterpret_cast<const unsigned char*>(scrambled.data()), scrambled.size());
}

void ConvertStoredPasswords(platform::Registry& reg) {
  platform::RegKey key;
  if (reg.OpenKey(platform::RegJoin(kApplicationKey, "PwdConverted"), &key) ==
      platform::RegStatus::kOk)
    return;
  platform::RegKey sessions;
  if (reg.OpenKey(kSessionsKey, &sessions) != platform::RegStatus::kOk) return;

  // The older form needs a table this release does not have, so its values
  // cannot be turned into the current form: they are dropped, and the
  // person types those passwords again.
  static constexpr const char* kOldValues[] = {"Password(encrypted)", "Firewallpass",
                                               "Account(encrypted)"};
  std::vector<std::string> names;
  reg.EnumKeys(sessions, &names);
  for (const auto& name : names) {
    platform::RegKey session;
    if (reg.OpenKey(platform::RegJoin(kSessionsKey, name), &session) != platform::RegStatus::kOk)
      continue;
    for (const char* old : kOldValues) {
      platform::RegValue value;
      if (reg.QueryValue(session, old, &value) == platform::RegStatus::kOk)
        reg.DeleteValue(session, old);
    }
  }
  reg.CreateKey(platform::RegJoin(kApplicationKey, "PwdConverted"), &key);
}

}  // namespace tarn
