#include "client/session/password.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "client/session/session_store.h"
#include "tests/client/session/registry_fixture.h"

namespace tarn {
namespace {

using ::testing::ElementsAre;

// ---------------------------------------------------------------------------
// Generator

// The calendar time's bytes fold lowest first, so a time whose only nonzero
// byte is the highest one seeds 1, and the C library's generator then gives
// its well-known opening sequence.
TEST(PasswordScrambler, SeedFoldsTimeBytesLowestFirst) {
  PasswordScrambler s(0x01000000);
  EXPECT_EQ(s.Rand(), 41);
  EXPECT_EQ(s.Rand(), 18467);
  EXPECT_EQ(s.Rand(), 6334);
}

// ---------------------------------------------------------------------------
// Scrambled form

TEST(PasswordScrambler, FormHasShiftedCharsFillersAndOffset) {
  PasswordScrambler s(1700000000);
  const std::string plain = "secret";
  std::string out = s.Scramble(plain);
  ASSERT_EQ(out.size(), 2 * plain.size() + 1);
  int k = static_cast<unsigned char>(out.back()) - 32;
  ASSERT_GE(k, 0);
  ASSERT_LE(k, 127);
  for (size_t i = 0; i < plain.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(static_cast<unsigned char>(out[2 * i]),
              static_cast<unsigned char>(plain[i] + k));
    unsigned char filler = static_cast<unsigned char>(out[2 * i + 1]);
    EXPECT_GE(filler, 32);
    EXPECT_LE(filler, 159);
  }
}

TEST(PasswordScrambler, OneCharacterIsStoredAsThree) {
  PasswordScrambler s(42);
  EXPECT_EQ(s.Scramble("x").size(), 3u);
}

TEST(PasswordScrambler, EmptyStaysEmpty) {
  PasswordScrambler s(42);
  EXPECT_EQ(s.Scramble(std::string()), "");
  char buf[4] = "";
  EXPECT_TRUE(s.Scramble(buf, sizeof buf));
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(UnscramblePassword(buf), 0u);
}

TEST(PasswordScrambler, SameTextTwiceDiffersButUnscramblesEqual) {
  PasswordScrambler s(1700000000);
  std::string a = s.Scramble("hunter2");
  std::string b = s.Scramble("hunter2");
  EXPECT_NE(a, b);
  EXPECT_EQ(UnscramblePassword(a), "hunter2");
  EXPECT_EQ(UnscramblePassword(b), "hunter2");
}

TEST(PasswordScrambler, BufferMustHoldTwiceTheTextAndTwo) {
  PasswordScrambler s(7);
  char buf[10] = "abcd";  // needs 2 * 4 + 2 = 10
  EXPECT_TRUE(s.Scramble(buf, sizeof buf));
  EXPECT_EQ(std::strlen(buf), 9u);
  char small[9] = "abcd";
  EXPECT_FALSE(s.Scramble(small, sizeof small));
  EXPECT_STREQ(small, "abcd");
}

TEST(PasswordScrambler, RoundTripsInPlaceAndAsStrings) {
  const std::string cases[] = {
      "a",
      "P@ss w0rd!",
      "p\xc3\xa4ssw\xc3\xb6rd",  // UTF-8
      std::string(129, 'z'),     // the most a 260-byte field can hold
      "~\x7f\x80\xff",
  };
  PasswordScrambler s(123456);
  for (const auto& plain : cases) {
    SCOPED_TRACE(plain);
    char buf[260] = {};
    std::memcpy(buf, plain.data(), plain.size());
    ASSERT_TRUE(s.Scramble(buf, sizeof buf));
    EXPECT_EQ(std::strlen(buf), 2 * plain.size() + 1);
    EXPECT_EQ(UnscramblePassword(buf), plain.size());
    EXPECT_EQ(std::string(buf), plain);
    EXPECT_EQ(UnscramblePassword(s.Scramble(plain)), plain);
  }
}

// A byte p of 129 or more plus k can wrap to 0; such a NUL would cut the
// stored text on the next read. The offset is chosen so that it never does.
TEST(PasswordScrambler, NeverProducesANulByte) {
  std::string every;  // every nonzero byte: only k = 0 avoids a wrap
  for (int c = 1; c < 256; ++c) every += static_cast<char>(c);
  const std::string cases[] = {every, "\xff\xfe\xfd\x81", "\xd0\x9f\xd0\xb0\xd1\x80\xd0\xbe"};
  for (const auto& plain : cases) {
    for (int64_t now = 0; now < 300; ++now) {
      SCOPED_TRACE(now);
      PasswordScrambler s(now * 7919);
      std::string out = s.Scramble(plain);
      ASSERT_EQ(out.size(), 2 * plain.size() + 1);
      ASSERT_EQ(out.find('\0'), std::string::npos);
      ASSERT_EQ(UnscramblePassword(out), plain);
    }
  }
}

TEST(UnscramblePassword, ReadsTheStoredForm) {
  // "Hi" shifted by k = 1, fillers '#', k + 32 = '!'.
  char buf[8] = "I#j#!";
  EXPECT_EQ(UnscramblePassword(buf), 2u);
  EXPECT_STREQ(buf, "Hi");
  // The byte count decides, so a NUL left by an older scrambler is read.
  EXPECT_EQ(UnscramblePassword(std::string("\0#!", 3)), "\xff");
}

// ---------------------------------------------------------------------------
// Conversion of the older release's values

class ConvertStoredPasswordsTest : public testing::RegistryTest {
 protected:
  const std::string kHome = std::string(kSessionsKey) + "\\Home";
  const std::string kMarker = std::string(kApplicationKey) + "\\PwdConverted";
};

TEST_F(ConvertStoredPasswordsTest, WaitsUntilSessionsExist) {
  ConvertStoredPasswords(*reg_);
  EXPECT_FALSE(KeyExists(kMarker));

  SetBinary(kHome, "Password(encrypted)", "old-form");
  ConvertStoredPasswords(*reg_);
  EXPECT_TRUE(KeyExists(kMarker));
  EXPECT_EQ(Raw(kHome, "Password(encrypted)"), "<absent>");
}

TEST_F(ConvertStoredPasswordsTest, DropsOldValuesKeepsTheRest) {
  SetString(kHome, "HostName", "ftp.example.org");
  SetBinary(kHome, "Password(encrypted)", "a");
  SetBinary(kHome, "Firewallpass", "b");
  SetBinary(kHome, "Account(encrypted)", "c");
  SetBinary(kHome, "RandomInitData", "I#j#!");
  SetBinary(std::string(kSessionsKey) + "\\Work", "Firewallpass", "d");

  ConvertStoredPasswords(*reg_);

  EXPECT_THAT(ValueNames(kHome), ElementsAre("HostName", "RandomInitData"));
  EXPECT_EQ(Raw(kHome, "RandomInitData"), "I#j#!");
  EXPECT_THAT(ValueNames(std::string(kSessionsKey) + "\\Work"), ElementsAre());
}

TEST_F(ConvertStoredPasswordsTest, RunsOnlyOnce) {
  SetString(kHome, "HostName", "h");
  ConvertStoredPasswords(*reg_);
  ASSERT_TRUE(KeyExists(kMarker));

  SetBinary(kHome, "Password(encrypted)", "later");
  ConvertStoredPasswords(*reg_);
  EXPECT_EQ(Raw(kHome, "Password(encrypted)"), "later");
}

}  // namespace
}  // namespace tarn
