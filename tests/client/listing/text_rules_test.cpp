// Size and date texts, the calendar behind FileTime, name case and joins.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/listing/file_time.h"
#include "client/listing/text_rules.h"
#include "platform/locale.h"

namespace tarn::listing {
namespace {

TEST(SizeText, WholeKilobytesRoundedUp) {
  const platform::Locale locale = platform::PinnedLocale();
  const struct {
    uint64_t size;
    SizeForm form;
    const char* text;
  } cases[] = {
      {0, SizeForm::kExact, ""},
      {1, SizeForm::kExact, "1KB"},
      {1024, SizeForm::kExact, "1KB"},
      {1025, SizeForm::kExact, "2KB"},
      {1234567, SizeForm::kExact, "1,206KB"},
      {9223372036854775807ull, SizeForm::kExact, "9,007,199,254,740,992KB"},
      {0, SizeForm::kExactOrZero, "0KB"},
      {5, SizeForm::kExactOrZero, "1KB"},
      {0, SizeForm::kUnknown, "?KB"},
      {2576, SizeForm::kApprox, "~3KB"},
      {9600, SizeForm::kUpperBound, "< 10KB"},
      {7, SizeForm::kSymLink, "SymLink"},
      {0, SizeForm::kTwoBlanks, "  "},
      {4096, SizeForm::kNone, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(SizeText(c.size, c.form, locale), c.text);
  }
  platform::Locale german = locale;
  german.thousandsSep = ".";
  EXPECT_EQ(SizeText(1234567, german), "1.206KB");
}

TEST(DateText, ShortDateAndTimeWithoutSeconds) {
  const platform::Locale locale = platform::PinnedLocale();
  EXPECT_EQ(DateText(0, locale), "");
  EXPECT_EQ(DateText(FileTimeFromParts({2002, 12, 19, 10, 15, 42}), locale), "12/19/2002 10:15");
  platform::Locale iso = locale;
  iso.shortDate = "%Y-%m-%d %a";
  iso.timeNoSeconds = "%I:%M %p";
  EXPECT_EQ(DateText(FileTimeFromParts({2026, 12, 7, 21, 35, 0}), iso), "2026-12-07 Mon 09:35 PM");
}

TEST(DateText, RowsMayCarryTheirOwnDateText) {
  const platform::Locale locale = platform::PinnedLocale();
  HostListing l;
  RowInput in;
  in.path = "MAINT.191(SHORT.LINE)";
  in.name = "SHORT.LINE";
  in.dateText = "Not Available";
  in.modified = FileTimeFromParts({2002, 12, 19, 10, 15, 0});
  l.AppendRow(in);
  in.dateText = "";
  l.AppendRow(in);
  EXPECT_EQ(RowDateText(l, l[0], locale), "Not Available");
  EXPECT_EQ(RowDateText(l, l[1], locale), "12/19/2002 10:15");
}

TEST(FileTime, CalendarRoundTrip) {
  // FILETIME values the Windows calendar gives for these local times.
  EXPECT_EQ(FileTimeFromParts({1601, 1, 1, 0, 0, 1}), 10'000'000u);
  EXPECT_EQ(FileTimeFromParts({1970, 1, 1, 0, 0, 0}), 116444736000000000ull);
  const DateParts samples[] = {{1601, 1, 1, 0, 0, 1}, {1900, 2, 28, 23, 59, 59},
                               {2000, 2, 29, 12, 0, 0}, {2026, 12, 7, 21, 35, 0},
                               {30827, 12, 31, 23, 59, 59}};
  for (const DateParts& d : samples) {
    SCOPED_TRACE(d.year);
    DateParts back;
    ASSERT_TRUE(PartsFromFileTime(FileTimeFromParts(d), &back));
    EXPECT_EQ(back.year, d.year);
    EXPECT_EQ(back.month, d.month);
    EXPECT_EQ(back.day, d.day);
    EXPECT_EQ(back.hour, d.hour);
    EXPECT_EQ(back.minute, d.minute);
    EXPECT_EQ(back.second, d.second);
  }
  EXPECT_EQ(TmFromFileTime(FileTimeFromParts({2026, 12, 7, 0, 0, 0})).tm_wday, 1);  // Monday
  EXPECT_EQ(TmFromFileTime(FileTimeFromParts({2024, 12, 31, 0, 0, 0})).tm_yday, 365);
}

TEST(FileTime, InvalidDatesGiveZero) {
  const DateParts bad[] = {{2001, 2, 29, 0, 0, 0}, {1900, 2, 29, 0, 0, 0}, {2001, 13, 1, 0, 0, 0},
                           {2001, 4, 31, 0, 0, 0}, {2001, 1, 0, 0, 0, 0},  {1600, 12, 31, 0, 0, 0},
                           {2001, 1, 1, 24, 0, 0}, {2001, 1, 1, 0, 60, 0}, {0, 0, 0, 0, 0, 0}};
  for (const DateParts& d : bad) {
    SCOPED_TRACE(testing::Message() << d.year << "-" << d.month << "-" << d.day << " " << d.hour
                                    << ":" << d.minute);
    EXPECT_EQ(FileTimeFromParts(d), 0u);
  }
}

TEST(NameCase, Rules) {
  const struct {
    const char* flag;
    const char* in;
    const char* out;
  } cases[] = {
      {"A", "MiXeD.Txt", "MiXeD.Txt"}, {"C", "mIXED.TXT", "Mixed.txt"},
      {"U", "MiXeD.Txt", "MIXED.TXT"}, {"L", "MiXeD.Txt", "mixed.txt"},
      {"C", "", ""},                   {"U", "caf\xC3\xA9", "CAF\xC3\xA9"},
      {"", "Same", "Same"},            {"X", "Same", "Same"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.flag) + " " + c.in);
    std::string s = c.in;
    ApplyNameCase(NameCaseFromFlag(c.flag), &s);
    EXPECT_EQ(s, c.out);
  }
}

TEST(JoinPath, RootDirectoryGetsNoSecondSeparator) {
  EXPECT_EQ(JoinPath("/", "/", "a"), "/a");
  EXPECT_EQ(JoinPath("/x", "/", "a"), "/x/a");
  EXPECT_EQ(JoinPath("\\", ".", "PRD2"), "\\PRD2");
  EXPECT_EQ(JoinPath("\\PRD2", ".", "CONFIG"), "\\PRD2.CONFIG");
}

TEST(CutLength, KeepsUtf8Whole) {
  EXPECT_EQ(CutLength("short", 64), 5u);
  EXPECT_EQ(CutLength(std::string(64, 'x'), 64), 63u);
  EXPECT_EQ(CutLength(std::string(62, 'x') + "\xC3\xA9", 64), 62u);
  EXPECT_EQ(CutLength(std::string(61, 'x') + "\xC3\xA9", 64), 63u);
  EXPECT_EQ(CutLength(std::string(61, 'x') + "\xE2\x82\xAC", 64), 61u);
  // Latin-1 bytes that look like continuations are cut where they fall.
  EXPECT_EQ(CutLength(std::string(100, '\xA0'), 64), 63u);
}

}  // namespace
}  // namespace tarn::listing
