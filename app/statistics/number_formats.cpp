#include "app/statistics/number_formats.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "engine/foundation/types/text_format.h"

namespace qdx {

namespace {

constexpr int kPrecision = 8;
constexpr int kDecimals = 3;

// A value's decimal digits as the formats see it: 18 significant digits of its extended form.
struct TDecimal {
  bool Negative = false;
  std::string Digits;  // no leading zero; empty for 0
  int Point = 0;       // digits before the decimal point (may be <= 0 or beyond Digits)
};

TDecimal ToDecimal(double value) {
  TDecimal d;
  if (value == 0) return d;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17Le", static_cast<long double>(value));
  std::string text(buffer);  // "-d.ddddde+XX"
  d.Negative = text[0] == '-';
  const size_t e = text.find('e');
  for (size_t i = d.Negative ? 1 : 0; i < e; ++i) {
    if (text[i] != '.') d.Digits += text[i];
  }
  d.Point = std::stoi(text.substr(e + 1)) + 1;
  return d;
}

// Keeps `count` significant digits, rounding half away from zero on the next digit.
void RoundDigits(TDecimal& d, int count) {
  if (count < 0 || d.Digits.empty()) {
    d.Digits.clear();
    return;
  }
  if (static_cast<size_t>(count) >= d.Digits.size()) return;
  const bool up = d.Digits[static_cast<size_t>(count)] >= '5';
  d.Digits.resize(static_cast<size_t>(count));
  if (up) {
    int i = count - 1;
    while (i >= 0 && d.Digits[static_cast<size_t>(i)] == '9') d.Digits[static_cast<size_t>(i--)] = '0';
    if (i >= 0) {
      ++d.Digits[static_cast<size_t>(i)];
    } else {
      d.Digits.insert(d.Digits.begin(), '1');
      ++d.Point;
    }
  }
  while (!d.Digits.empty() && d.Digits.back() == '0') d.Digits.pop_back();
}

// The value rounded to 8 significant digits and 3 decimals, as a double again.
double RoundForFormat(double value) {
  TDecimal d = ToDecimal(value);
  RoundDigits(d, std::min(kPrecision, d.Point + kDecimals));
  if (d.Digits.empty()) return 0;
  const std::string text = std::string(d.Negative ? "-" : "") + "0." + d.Digits + "e" +
                           std::to_string(d.Point);
  double rounded = 0;
  std::from_chars(text.data(), text.data() + text.size(), rounded);
  return rounded;
}

bool TooManyWholeDigits(double value) {
  return std::isfinite(value) && ToDecimal(value).Point > kPrecision;
}

// The general form with 8 significant digits, for values beyond the 3-decimal forms.
QString General8(double value, const platform::FormatSettings& formats) {
  TDecimal d = ToDecimal(value);
  RoundDigits(d, kPrecision);
  QString text = d.Negative ? QStringLiteral("-") : QString();
  text += QLatin1Char(d.Digits[0]);
  if (d.Digits.size() > 1) {
    text += QChar(formats.DecimalSeparator);
    text += QString::fromLatin1(d.Digits.substr(1));
  }
  return text + QLatin1Char('E') + QString::number(d.Point - 1);
}

}  // namespace

QString FormatGeneral(double value, const platform::FormatSettings& formats) {
  return QString::fromStdU16String(FloatToText(value, formats));
}

QString FormatCurrency3(double value, const platform::FormatSettings& formats) {
  if (!std::isfinite(value)) return FormatGeneral(value, formats);
  // Rounding can add a whole digit (99999999.5 becomes 100000000), so the digits are counted
  // after it.
  const double rounded = RoundForFormat(value);
  if (TooManyWholeDigits(rounded)) return General8(value, formats);
  platform::FormatSettings three = formats;
  three.CurrencyDecimals = kDecimals;
  return QString::fromStdU16String(CurrencyToText(rounded == 0 ? 0.0 : rounded, three));
}

QString FormatFixed3(double value, const platform::FormatSettings& formats) {
  if (!std::isfinite(value)) return FormatGeneral(value, formats);
  const double rounded = RoundForFormat(value);
  if (TooManyWholeDigits(rounded)) return General8(value, formats);
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, rounded == 0 ? 0.0 : rounded,
                                    std::chars_format::fixed, kDecimals);
  QString text = QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
  text.replace(QLatin1Char('.'), QChar(formats.DecimalSeparator));
  return text;
}

}  // namespace qdx
