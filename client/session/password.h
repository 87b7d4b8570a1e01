// Stored-password protection: secrets kept in a session are written to the
// registry in a scrambled text form that needs no key to restore.
//
// A plain text p of n characters becomes 2n + 1 characters: p[i] + k at
// 2i, a random filler at 2i + 1, and k + 32 last, with one random k in
// 0..127 per scrambling. "" stays "".
#pragma once

#include <cstdint>
#include <string>

namespace platform {
class Registry;
}

namespace tarn {

// The process's scrambling generator: the C library's 15-bit generator
// (seed * 214013 + 2531011), seeded once before the first scramble from the
// calendar time. One per composition root; not thread-safe.
class PasswordScrambler {
 public:
  // `now` seeds the generator at the first scramble (seconds since 1970).
  explicit PasswordScrambler(int64_t now) : now_(now) {}

  // ScramblePassword: replaces `text` (NUL-terminated, in a buffer of
  // `capacity` bytes) by its scrambled form. False, text untouched, when the
  // buffer cannot hold 2n + 2 bytes.
  bool Scramble(char* text, size_t capacity);
  std::string Scramble(const std::string& plain);

  // Next 15-bit result (0..32767).
  int Rand();

 private:
  int64_t now_;
  bool seeded_ = false;
  uint32_t state_ = 0;
};

// UnscramblePassword: replaces a scrambled text in place by its plain text;
// returns the plain length.
size_t UnscramblePassword(char* text);
std::string UnscramblePassword(const std::string& scrambled);

// ConvertStoredPasswords: the one-time conversion of the older release's
// values (Password(encrypted), Firewallpass, Account(encrypted)), run first
// at every start. Their old form cannot be read back, so such values are
// dropped; the marker key PwdConverted records that the conversion ran.
void ConvertStoredPasswords(platform::Registry& reg);

}  // namespace tarn
