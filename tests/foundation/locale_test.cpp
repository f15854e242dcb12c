#include "engine/foundation/platform/locale.h"

#include <gtest/gtest.h>

#include "engine/foundation/types/text_format.h"

namespace qdx {
namespace {

using platform::CollationResult;
using platform::FormatSettings;
using platform::Locale;

std::string Ansi(const std::u16string& text) {
  return platform::WideToAnsi(text);
}

TEST(FormatSettingsTest, PinnedLocalesHaveTheirUsersFormats) {
  const FormatSettings nl = FormatSettings::ForLocale("nl_NL");
  EXPECT_EQ(nl.DecimalSeparator, u',');
  EXPECT_EQ(nl.ThousandSeparator, u'.');
  EXPECT_EQ(nl.CurrencyString, u"\u20AC");
  EXPECT_EQ(nl.CurrencyDecimals, 2);
  EXPECT_EQ(nl.DateSeparator, u'-');
  EXPECT_EQ(nl.ShortDateFormat, u"dd-MM-yyyy");
  EXPECT_EQ(nl.LongTimeFormat, u"HH:mm:ss");

  const FormatSettings us = FormatSettings::ForLocale("en_US.UTF-8");
  EXPECT_EQ(us.DecimalSeparator, u'.');
  EXPECT_EQ(us.ThousandSeparator, u',');
  EXPECT_EQ(us.CurrencyString, u"$");
  EXPECT_EQ(us.CurrencyFormat, 0);
  EXPECT_EQ(us.ShortDateFormat, u"M/d/yyyy");
  EXPECT_EQ(us.LongTimeFormat, u"h:mm:ss tt");
  EXPECT_EQ(us.TimePMString, u"PM");
}

TEST(FormatSettingsTest, CategoriesMayNameDifferentLocales) {
  const FormatSettings mixed = FormatSettings::ForLocales("en_US", "nl_NL", "de_DE");
  EXPECT_EQ(mixed.DecimalSeparator, u'.');
  EXPECT_EQ(mixed.CurrencyString, u"\u20AC");
  EXPECT_EQ(mixed.ShortDateFormat, u"dd.MM.yyyy");
  // The C locale stands for en_US_POSIX.
  EXPECT_EQ(FormatSettings::ForLocale("C").DecimalSeparator, u'.');
}

// One row per text form: the value, its text in each pinned locale.
TEST(TextFormatTest, FormsInBothLocales) {
  const FormatSettings nl = FormatSettings::ForLocale("nl_NL");
  const FormatSettings us = FormatSettings::ForLocale("en_US");
  const struct {
    long double value;
    const char* nl;
    const char* us;
  } floats[] = {
      {1234.5L, "1234,5", "1234.5"},
      {-0.0001L, "-0,0001", "-0.0001"},
      {0.00001L, "1E-5", "1E-5"},
      {1e15L, "1E15", "1E15"},
      {123456789012345.0L, "123456789012345", "123456789012345"},
      {1.0L / 3, "0,333333333333333", "0.333333333333333"},
      {2.0L / 3, "0,666666666666667", "0.666666666666667"},
      {static_cast<float>(0.1), "0,100000001490116", "0.100000001490116"},
      {0, "0", "0"},
  };
  for (const auto& c : floats) {
    EXPECT_EQ(Ansi(FloatToText(c.value, nl)), c.nl);
    EXPECT_EQ(Ansi(FloatToText(c.value, us)), c.us);
  }
  const struct {
    double amount;
    const char* nl;
    const char* us;
  } amounts[] = {
      {1234567.891, "\x80 1.234.567,89", "$1,234,567.89"},
      {-12.5, "\x80 -12,50", "-$12.50"},
      {0.004, "\x80 0,00", "$0.00"},
      {-0.001, "\x80 0,00", "$0.00"},
      {999.995, "\x80 1.000,00", "$1,000.00"},
  };
  for (const auto& c : amounts) {
    EXPECT_EQ(Ansi(CurrencyToText(c.amount, nl)), c.nl);
    EXPECT_EQ(Ansi(CurrencyToText(c.amount, us)), c.us);
  }
  int32_t day = 0;
  ASSERT_TRUE(TryEncodeDate(2024, 3, 5, day));
  EXPECT_EQ(Ansi(DateToText(day, nl)), "05-03-2024");
  EXPECT_EQ(Ansi(DateToText(day, us)), "3/5/2024");
  EXPECT_EQ(Ansi(TimeToText(49'530'000, nl)), "13:45:30");
  EXPECT_EQ(Ansi(TimeToText(49'530'000, us)), "1:45:30 PM");
  EXPECT_EQ(Ansi(TimeToText(0, us)), "12:00:00 AM");
  EXPECT_EQ(Ansi(DateTimeToText({day, 49'530'000}, nl)), "05-03-2024 13:45:30");
  EXPECT_EQ(Ansi(DateTimeToText({day, 0}, us)), "3/5/2024");
}

TEST(TextFormatTest, ParsingInBothLocales) {
  const FormatSettings nl = FormatSettings::ForLocale("nl_NL");
  const FormatSettings us = FormatSettings::ForLocale("en_US");
  long double value = 0;
  EXPECT_TRUE(TryTextToFloat(u" 1,5 ", value, nl));
  EXPECT_EQ(value, 1.5L);
  EXPECT_FALSE(TryTextToFloat(u"1.5", value, nl));
  EXPECT_TRUE(TryTextToFloat(u"-2.5E3", value, us));
  EXPECT_EQ(value, -2500.0L);
  for (const char16_t* bad : {u"", u"-", u"1e", u"1,5", u"inf", u"nan", u"1 2", u"0x10"}) {
    EXPECT_FALSE(TryTextToFloat(bad, value, us)) << Ansi(bad);
  }

  double amount = 0;
  EXPECT_TRUE(TryTextToCurrency(u"\u20AC -1.234,50", amount, nl));
  EXPECT_EQ(amount, -1234.5);
  EXPECT_TRUE(TryTextToCurrency(u"12,5", amount, nl));
  EXPECT_EQ(amount, 12.5);
  EXPECT_TRUE(TryTextToCurrency(u"($1,234.50)", amount, us));
  EXPECT_EQ(amount, -1234.5);
  EXPECT_FALSE(TryTextToCurrency(u"1,5", amount, us));  // not a group of three
  EXPECT_FALSE(TryTextToCurrency(u"--5", amount, us));
  // What formatting gives parses back.
  for (double v : {0.0, -0.5, 1234567.25, -98765.43}) {
    for (const FormatSettings* f : {&nl, &us}) {
      ASSERT_TRUE(TryTextToCurrency(CurrencyToText(v, *f), amount, *f));
      EXPECT_EQ(amount, v);
    }
  }

  int32_t day = 0, expected = 0;
  ASSERT_TRUE(TryEncodeDate(2024, 3, 5, expected));
  EXPECT_TRUE(TryTextToDate(u"5-3-2024", day, nl));
  EXPECT_EQ(day, expected);
  EXPECT_TRUE(TryTextToDate(u"3/5/2024", day, us));
  EXPECT_EQ(day, expected);
  EXPECT_TRUE(TryTextToDate(u"3/5/24", day, us));
  EXPECT_EQ(day, expected);
  EXPECT_FALSE(TryTextToDate(u"31-2-2024", day, nl));
  EXPECT_FALSE(TryTextToDate(u"5-3-2024 x", day, nl));
  EXPECT_FALSE(TryTextToDate(u"", day, nl));

  int32_t ms = 0;
  EXPECT_TRUE(TryTextToTime(u"13:45:30", ms, nl));
  EXPECT_EQ(ms, 49'530'000);
  EXPECT_TRUE(TryTextToTime(u"1:45:30 pm", ms, us));
  EXPECT_EQ(ms, 49'530'000);
  EXPECT_TRUE(TryTextToTime(u"12:00 AM", ms, us));
  EXPECT_EQ(ms, 0);
  EXPECT_TRUE(TryTextToTime(u"13:45:30.25", ms, us));
  EXPECT_EQ(ms, 49'530'250);
  EXPECT_FALSE(TryTextToTime(u"24:00", ms, us));
  EXPECT_FALSE(TryTextToTime(u"13:45 PM", ms, us));
  EXPECT_FALSE(TryTextToTime(u"13", ms, us));

  TQDXDateTime dt;
  EXPECT_TRUE(TryTextToDateTime(u"05-03-2024 13:45:30", dt, nl));
  EXPECT_EQ(dt, (TQDXDateTime{expected, 49'530'000}));
  EXPECT_TRUE(TryTextToDateTime(u"3/5/2024", dt, us));
  EXPECT_EQ(dt, (TQDXDateTime{expected, 0}));
  EXPECT_TRUE(TryTextToDateTime(u"1:00:00 PM", dt, us));
  EXPECT_EQ(dt, (TQDXDateTime{kDateDelta, 46'800'000}));
}

TEST(CollationTest, StringSortAndIgnoreCase) {
  const Locale& us = Locale::Get("en_US");
  const auto compare = [&](const char* a, const char* b, uint32_t flags) {
    return us.CompareAnsi(flags, a, -1, b, -1);
  };
  const uint32_t sort = platform::kStringSort;
  const uint32_t ignoreCase = sort | platform::kIgnoreCase;
  EXPECT_EQ(compare("apple", "Banana", sort), CollationResult::Less);
  EXPECT_EQ(compare("abc", "ABC", sort), CollationResult::Less);
  EXPECT_EQ(compare("abc", "ABC", ignoreCase), CollationResult::Equal);
  // Accents still count when case does not.
  EXPECT_EQ(compare("resume", "r\xE9sum\xE9", ignoreCase), CollationResult::Less);
  // Punctuation takes part in the order.
  EXPECT_NE(compare("co-op", "coop", ignoreCase), CollationResult::Equal);
  EXPECT_EQ(compare("10", "9", sort), CollationResult::Less);
  EXPECT_EQ(compare("", "a", sort), CollationResult::Less);
  // Lengths limit the texts.
  EXPECT_EQ(us.CompareAnsi(sort, "abcd", 2, "abxy", 2), CollationResult::Equal);
  const std::u16string a = u"\u00C4rger", b = u"\u00E4rger";
  EXPECT_EQ(us.Compare(ignoreCase, a.data(), -1, b.data(), -1), CollationResult::Equal);
  EXPECT_EQ(us.Compare(sort, b.data(), -1, a.data(), -1), CollationResult::Less);
}

TEST(AnsiCodePageTest, Windows1252BothWays) {
  EXPECT_EQ(platform::AnsiToWide("\x80\x8A\x9F\xE9\xFF"), u"\u20AC\u0160\u0178\u00E9\u00FF");
  EXPECT_EQ(platform::WideToAnsi(u"\u20AC\u0160\u0178\u00E9\u00FF"), "\x80\x8A\x9F\xE9\xFF");
  // Without a byte of its own a character becomes '?'; undefined bytes keep their value.
  EXPECT_EQ(platform::WideToAnsi(u"\u4E2D\u0080"), "??");
  EXPECT_EQ(platform::AnsiToWide("\x81"), u"\u0081");
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(platform::WideToAnsi(platform::AnsiToWide(byte)), byte) << b;
  }
}

TEST(UserDefaultLocaleTest, PinningReplacesAndRestores) {
  const Locale& original = platform::UserDefaultLocale();
  const Locale& previous = platform::SetUserDefaultLocale(Locale::Get("nl_NL"));
  EXPECT_EQ(&previous, &original);
  EXPECT_EQ(platform::UserFormatSettings().DecimalSeparator, u',');
  platform::SetUserDefaultLocale(original);
  EXPECT_EQ(&platform::UserDefaultLocale(), &original);
  EXPECT_EQ(&Locale::Get("nl_NL.UTF-8"), &Locale::Get("nl_NL"));
}

}  // namespace
}  // namespace qdx
