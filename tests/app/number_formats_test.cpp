// The statistics labels' three number formats under a pinned locale.
#include "app/statistics/number_formats.h"

#include <gtest/gtest.h>

#include "qt_printers.h"
#include "tests/foundation/locale_pin.h"

namespace qdx {
namespace {

struct FormatCase {
  double Value;
  const char* General;
  const char* Currency;
  const char* Fixed;
};

TEST(NumberFormatsTest, EachFormatUnderTheUsersSeparators) {
  const testing::ScopedUserLocale locale("en_US");
  const FormatCase cases[] = {
      {0, "0", "$0.000", "0.000"},
      {216, "216", "$216.000", "216.000"},
      {0.216, "0.216", "$0.216", "0.216"},
      {1000.0 / 75, "13.3333333333333", "$13.333", "13.333"},
      // 100 / (1000 / 75) is a hair below 7.5 and still shows 7.500.
      {100 / (1000.0 / 75), "7.5", "$7.500", "7.500"},
      // Half away from zero on the decimal digits, at most 8 significant digits.
      {0.0005, "0.0005", "$0.001", "0.001"},
      {-0.0005, "-0.0005", "-$0.001", "-0.001"},
      {-0.0004, "-0.0004", "$0.000", "0.000"},
      {12345.67891, "12345.67891", "$12,345.679", "12345.679"},
      // Eight significant digits, then written with exactly three decimals.
      {1234567.891, "1234567.891", "$1,234,567.900", "1234567.900"},
      // More than 8 digits before the point: the general form with 8 digits.
      {123456789.5, "123456789.5", "1.2345679E8", "1.2345679E8"},
      // Rounding to 8 digits can make the ninth: counted after rounding.
      {99999999.5, "99999999.5", "1E8", "1E8"},
      {-99999999.7, "-99999999.7", "-1E8", "-1E8"},
      {99999999.4, "99999999.4", "$99,999,999.000", "99999999.000"},
      {0.00001, "1E-5", "$0.000", "0.000"},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.Value);
    EXPECT_EQ(FormatGeneral(c.Value), QString::fromUtf8(c.General));
    EXPECT_EQ(FormatCurrency3(c.Value), QString::fromUtf8(c.Currency));
    EXPECT_EQ(FormatFixed3(c.Value), QString::fromUtf8(c.Fixed));
  }
}

TEST(NumberFormatsTest, DutchSeparatorsAndCurrency) {
  const testing::ScopedUserLocale locale("nl_NL");
  const auto& formats = platform::UserFormatSettings();
  const QString decimal(QChar(formats.DecimalSeparator));
  EXPECT_EQ(FormatFixed3(1000.0 / 75), QStringLiteral("13") + decimal + QStringLiteral("333"));
  EXPECT_EQ(FormatGeneral(12.5), QStringLiteral("12") + decimal + QStringLiteral("5"));
  const QString currency = FormatCurrency3(0.216);
  EXPECT_TRUE(currency.contains(QStringLiteral("0") + decimal + QStringLiteral("216")))
      << currency.toStdString();
  EXPECT_TRUE(currency.contains(QString::fromStdU16String(formats.CurrencyString)))
      << currency.toStdString();
}

}  // namespace
}  // namespace qdx
