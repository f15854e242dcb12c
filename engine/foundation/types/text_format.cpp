#include "engine/foundation/types/text_format.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <string>

namespace qdx {
namespace {

std::u16string Ascii(std::string_view text) {
  return std::u16string(text.begin(), text.end());
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == 0x00A0 || c == 0x202F;
}
bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char16_t UpperAscii(char16_t c) {
  return (c >= u'a' && c <= u'z') ? c - 32 : c;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (prefix.empty() || text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (UpperAscii(text[i]) != UpperAscii(prefix[i])) return false;
  }
  return true;
}

void AppendPadded(std::u16string& out, int64_t value, int width) {
  std::u16string digits = IntegerToText(value < 0 ? -value : value);
  if (value < 0) out += u'-';
  for (int i = static_cast<int>(digits.size()); i < width; ++i) out += u'0';
  out += digits;
}

// Reads a run of digits; false when there is none or it is too long to be a date part.
bool ReadNumber(std::u16string_view text, size_t& pos, int32_t& value, size_t& digits) {
  digits = 0;
  value = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    if (++digits > 9) return false;
    value = value * 10 + (text[pos++] - u'0');
  }
  return digits > 0;
}

int32_t CurrentYear() {
  const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  return static_cast<int32_t>(std::chrono::year_month_day(today).year());
}

// Order of day, month and year in a short date pattern, as three of 'd', 'M', 'y'.
std::u16string DateOrder(std::u16string_view pattern) {
  std::u16string order;
  for (char16_t c : pattern) {
    if ((c == u'd' || c == u'M' || c == u'y') && order.find(c) == std::u16string::npos) order += c;
  }
  return order.size() == 3 ? order : u"Mdy";
}

bool IsDateSeparator(char16_t c, const FormatSettings& formats) {
  return c == formats.DateSeparator || c == u'/' || c == u'-' || c == u'.';
}

// The date at the start of `text`; `pos` ends after it.
bool ScanDate(std::u16string_view text, size_t& pos, int32_t& dayNumber,
              const FormatSettings& formats) {
  int32_t numbers[3];
  size_t digits[3];
  int count = 0;
  while (count < 3) {
    if (!ReadNumber(text, pos, numbers[count], digits[count])) return false;
    ++count;
    if (count < 3 && pos + 1 < text.size() && IsDateSeparator(text[pos], formats) &&
        IsDigit(text[pos + 1])) {
      ++pos;
      continue;
    }
    break;
  }
  if (count < 2) return false;
  // A separator right after the last number ("1-2-2024.") belongs to the date.
  if (pos < text.size() && text[pos] == formats.DateSeparator && formats.DateSeparator != u' ') {
    ++pos;
  }
  const std::u16string order = DateOrder(formats.ShortDateFormat);
  int32_t year = CurrentYear(), month = 0, day = 0;
  bool yearTyped = false;
  size_t yearDigits = 4;
  int index = 0;
  for (char16_t part : order) {
    if (part == u'y' && count == 2) continue;  // no year typed: this year
    const int32_t n = numbers[index];
    if (part == u'y') {
      year = n;
      yearTyped = true;
      yearDigits = digits[index];
    } else if (part == u'M') {
      month = n;
    } else {
      day = n;
    }
    ++index;
  }
  if (yearTyped && yearDigits <= 2) {
    // Near the current year: within 50 years ahead, else the century before.
    const int32_t current = CurrentYear();
    year += current / 100 * 100;
    if (year > current + 50) year -= 100;
  }
  if (month <= 0 || day <= 0) return false;
  return TryEncodeDate(year, static_cast<uint32_t>(month), static_cast<uint32_t>(day), dayNumber);
}

// A time filling all of `text` (already trimmed at the start).
bool ScanTime(std::u16string_view text, int32_t& milliseconds, const FormatSettings& formats) {
  text = Trim(text);
  size_t pos = 0;
  int32_t parts[3] = {0, 0, 0};
  int32_t ms = 0;
  size_t digits = 0;
  int count = 0;
  while (count < 3) {
    if (!ReadNumber(text, pos, parts[count], digits) || digits > 2) return false;
    ++count;
    if (count < 3 && pos + 1 < text.size() &&
        (text[pos] == formats.TimeSeparator || text[pos] == u':') && IsDigit(text[pos + 1])) {
      ++pos;
      continue;
    }
    break;
  }
  if (count == 3 && pos + 1 < text.size() &&
      (text[pos] == u'.' || text[pos] == formats.DecimalSeparator) && IsDigit(text[pos + 1])) {
    ++pos;
    int32_t fraction = 0;
    if (!ReadNumber(text, pos, fraction, digits) || digits > 3) return false;
    ms = fraction * (digits == 1 ? 100 : digits == 2 ? 10 : 1);
  }
  std::u16string_view rest = Trim(text.substr(pos));
  int halfDay = -1;  // -1 none, 0 AM, 1 PM
  for (int i = 0; i < 2 && !rest.empty(); ++i) {
    const std::u16string_view localName = i == 0 ? formats.TimeAMString : formats.TimePMString;
    const std::u16string_view plainName = i == 0 ? u"AM" : u"PM";
    for (std::u16string_view name : {localName, plainName}) {
      if (halfDay < 0 && rest.size() == name.size() && StartsWithNoCase(rest, name)) halfDay = i;
    }
  }
  if (!rest.empty() && halfDay < 0) return false;
  int32_t hour = parts[0];
  if (count < 2 && halfDay < 0) return false;  // a lone number is not a time
  if (halfDay >= 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (halfDay == 1 ? 12 : 0);
  }
  if (hour > 23 || parts[1] > 59 || parts[2] > 59) return false;
  milliseconds = ((hour * 60 + parts[1]) * 60 + parts[2]) * 1000 + ms;
  return true;
}

// Digits of `value` in fixed notation with `decimals` decimals, without sign.
std::string FixedDigits(double value, int decimals) {
  char buffer[400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::fixed, decimals);
  return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0");
}

// Parses a plain decimal number (sign, digits, the decimal separator, an exponent) in ASCII
// form after replacing the separator with '.'.
bool ParseDecimal(std::u16string_view text, long double& value, char16_t decimalSeparator) {
  text = Trim(text);
  std::string ascii;
  ascii.reserve(text.size());
  size_t pos = 0;
  if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
    if (text[pos] == u'-') ascii += '-';
    ++pos;
  }
  size_t mantissaDigits = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    ascii += static_cast<char>(text[pos++]);
    ++mantissaDigits;
  }
  if (pos < text.size() && text[pos] == decimalSeparator) {
    ascii += '.';
    ++pos;
    while (pos < text.size() && IsDigit(text[pos])) {
      ascii += static_cast<char>(text[pos++]);
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return false;
  if (pos < text.size() && (text[pos] == u'e' || text[pos] == u'E')) {
    ascii += 'e';
    ++pos;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
      ascii += static_cast<char>(text[pos++]);
    }
    size_t exponentDigits = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
      ascii += static_cast<char>(text[pos++]);
      ++exponentDigits;
    }
    if (exponentDigits == 0) return false;
  }
  if (pos != text.size()) return false;
  long double parsed = 0;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), parsed);
  if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size()) return false;
  value = parsed;
  return std::isfinite(value);
}

}  // namespace

std::u16string IntegerToText(int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Ascii(std::string_view(buffer, result.ptr - buffer));
}

std::u16string UnsignedToText(uint64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Ascii(std::string_view(buffer, result.ptr - buffer));
}

std::u16string BooleanToText(bool value) {
  return value ? u"True" : u"False";
}

std::u16string FloatToText(long double value, const FormatSettings& formats) {
  constexpr int kPrecision = 15;
  if (std::isnan(value)) return u"NAN";
  if (std::isinf(value)) return value < 0 ? u"-INF" : u"INF";
  if (value == 0) return u"0";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific, kPrecision - 1);
  const std::string_view text(buffer, result.ptr - buffer);  // "-d.ddddde+XX"
  const bool negative = text[0] == '-';
  const size_t ePos = text.find('e');
  std::string digits;
  for (char c : text.substr(negative ? 1 : 0, ePos - (negative ? 1 : 0))) {
    if (c != '.') digits += c;
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  int exponent = 0;
  std::from_chars(text.data() + ePos + 1 + (text[ePos + 1] == '+' ? 1 : 0),
                  text.data() + text.size(), exponent);
  // Position of the decimal point counted from the first digit.
  const int point = exponent + 1;
  std::u16string out;
  if (negative) out += u'-';
  if (point > kPrecision || point < -3) {
    out += static_cast<char16_t>(digits[0]);
    if (digits.size() > 1) {
      out += formats.DecimalSeparator;
      out += Ascii(std::string_view(digits).substr(1));
    }
    out += u'E';
    out += IntegerToText(exponent);
  } else if (point <= 0) {
    out += u'0';
    out += formats.DecimalSeparator;
    out.append(static_cast<size_t>(-point), u'0');
    out += Ascii(digits);
  } else {
    for (int i = 0; i < point; ++i) {
      out += i < static_cast<int>(digits.size()) ? static_cast<char16_t>(digits[i]) : u'0';
    }
    if (static_cast<int>(digits.size()) > point) {
      out += formats.DecimalSeparator;
      out += Ascii(std::string_view(digits).substr(point));
    }
  }
  return out;
}

std::u16string CurrencyToText(double amount, const FormatSettings& formats) {
  static constexpr std::u16string_view kPositive[] = {u"$1", u"1$", u"$ 1", u"1 $"};
  static constexpr std::u16string_view kNegative[] = {
      u"($1)", u"-$1",  u"$-1",  u"$1-",  u"(1$)", u"-1$",  u"1-$",   u"1$-",
      u"-1 $", u"-$ 1", u"1 $-", u"$ 1-", u"$ -1", u"1- $", u"($ 1)", u"(1 $)"};
  if (!std::isfinite(amount)) return FloatToText(amount, formats);
  const std::string fixed = FixedDigits(amount, formats.CurrencyDecimals);
  const size_t point = fixed.find('.');
  const std::string_view whole = std::string_view(fixed).substr(0, point);
  std::u16string number;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0 && formats.ThousandSeparator != 0) {
      number += formats.ThousandSeparator;
    }
    number += static_cast<char16_t>(whole[i]);
  }
  if (point != std::string::npos) {
    number += formats.DecimalSeparator;
    number += Ascii(std::string_view(fixed).substr(point + 1));
  }
  bool negative = std::signbit(amount);
  if (negative && fixed.find_first_not_of("0.") == std::string::npos) negative = false;  // -0.00
  const std::u16string_view form =
      negative ? kNegative[formats.NegCurrFormat % 16] : kPositive[formats.CurrencyFormat % 4];
  std::u16string out;
  for (char16_t c : form) {
    if (c == u'$') {
      out += formats.CurrencyString;
    } else if (c == u'1') {
      out += number;
    } else {
      out += c;
    }
  }
  return out;
}

std::u16string DateToText(int32_t dayNumber, const FormatSettings& formats) {
  const TCalendarDate date = DecodeDate(dayNumber);
  const std::u16string_view pattern = formats.ShortDateFormat;
  std::u16string out;
  for (size_t i = 0; i < pattern.size();) {
    const char16_t c = pattern[i];
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    if (c == u'd') {
      AppendPadded(out, date.Day, run >= 2 ? 2 : 1);
    } else if (c == u'M') {
      AppendPadded(out, date.Month, run >= 2 ? 2 : 1);
    } else if (c == u'y') {
      if (run <= 2) {
        AppendPadded(out, date.Year % 100, 2);
      } else {
        AppendPadded(out, date.Year, 4);
      }
    } else {
      out.append(run, c);
    }
    i += run;
  }
  return out;
}

std::u16string TimeToText(int32_t milliseconds, const FormatSettings& formats) {
  const int32_t seconds = milliseconds / 1000;
  const int32_t hour = seconds / 3600 % 24, minute = seconds / 60 % 60, second = seconds % 60;
  const std::u16string_view pattern = formats.LongTimeFormat;
  std::u16string out;
  for (size_t i = 0; i < pattern.size();) {
    const char16_t c = pattern[i];
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    const int width = run >= 2 ? 2 : 1;
    if (c == u'H') {
      AppendPadded(out, hour, width);
    } else if (c == u'h') {
      AppendPadded(out, hour % 12 == 0 ? 12 : hour % 12, width);
    } else if (c == u'm') {
      AppendPadded(out, minute, width);
    } else if (c == u's') {
      AppendPadded(out, second, width);
    } else if (c == u't') {
      out += hour < 12 ? formats.TimeAMString : formats.TimePMString;
    } else {
      out.append(run, c);
    }
    i += run;
  }
  return out;
}

std::u16string DateTimeToText(TQDXDateTime value, const FormatSettings& formats) {
  std::u16string out = DateToText(value.Date, formats);
  if (value.Time != 0) {
    out += u' ';
    out += TimeToText(value.Time, formats);
  }
  return out;
}

bool TryTextToInteger(std::u16string_view text, int64_t& value) {
  text = Trim(text);
  std::string ascii;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsDigit(c) || (i == 0 && (c == u'-' || c == u'+'))) {
      if (c != u'+') ascii += static_cast<char>(c);
    } else {
      return false;
    }
  }
  if (ascii.empty() || ascii == "-") return false;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  return result.ec == std::errc() && result.ptr == ascii.data() + ascii.size();
}

bool TryTextToFloat(std::u16string_view text, long double& value, const FormatSettings& formats) {
  return ParseDecimal(text, value, formats.DecimalSeparator);
}

bool TryTextToCurrency(std::u16string_view text, double& amount, const FormatSettings& formats) {
  text = Trim(text);
  std::u16string plain;
  bool negative = false;
  for (size_t i = 0; i < text.size();) {
    if (!formats.CurrencyString.empty() && text.substr(i).starts_with(formats.CurrencyString)) {
      i += formats.CurrencyString.size();
      continue;
    }
    const char16_t c = text[i];
    if (c == u'(' || c == u')' || c == u'-') {
      if (c != u')') {
        if (negative) return false;
        negative = true;
      }
    } else if (!IsBlank(c)) {
      plain += c;
    }
    ++i;
  }
  // Thousands separators count only where each is followed by a group of three digits.
  const char16_t thousands = formats.ThousandSeparator;
  if (thousands != formats.DecimalSeparator && thousands != 0) {
    std::u16string ungrouped;
    const size_t end = std::min(plain.find(formats.DecimalSeparator), plain.size());
    for (size_t i = 0; i < plain.size(); ++i) {
      if (plain[i] == thousands && i < end) {
        if (i == 0 || i + 4 > end || !IsDigit(plain[i + 1]) || !IsDigit(plain[i + 2]) ||
            !IsDigit(plain[i + 3]) || (i + 4 < end && plain[i + 4] != thousands)) {
          return false;
        }
        continue;
      }
      ungrouped += plain[i];
    }
    plain = std::move(ungrouped);
  }
  if (!plain.empty() && (plain[0] == u'+' || plain[0] == u'-')) return false;  // one sign only
  long double value = 0;
  if (!ParseDecimal(plain, value, formats.DecimalSeparator)) return false;
  amount = static_cast<double>(negative ? -value : value);
  return true;
}

bool TryTextToDate(std::u16string_view text, int32_t& dayNumber, const FormatSettings& formats) {
  text = Trim(text);
  size_t pos = 0;
  return ScanDate(text, pos, dayNumber, formats) && Trim(text.substr(pos)).empty();
}

bool TryTextToTime(std::u16string_view text, int32_t& milliseconds, const FormatSettings& formats) {
  return ScanTime(text, milliseconds, formats);
}

bool TryTextToDateTime(std::u16string_view text, TQDXDateTime& value,
                       const FormatSettings& formats) {
  text = Trim(text);
  size_t pos = 0;
  int32_t day = 0;
  if (ScanDate(text, pos, day, formats)) {
    const std::u16string_view rest = Trim(text.substr(pos));
    int32_t ms = 0;
    if (!rest.empty() && !ScanTime(rest, ms, formats)) return false;
    value = {day, ms};
    return true;
  }
  int32_t ms = 0;
  if (!ScanTime(text, ms, formats)) return false;
  value = {kDateDelta, ms};
  return true;
}

bool TextToBoolean(std::u16string_view text) {
  if (text == u"1") return true;
  if (text.size() != 4) return false;
  return StartsWithNoCase(text, u"TRUE");
}

}  // namespace qdx
