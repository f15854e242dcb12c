#include "wagenlog/interchange/number_text.h"

#include <charconv>
#include <cmath>

#include "wagenlog/interchange/text_encoding.h"

namespace qdx::interchange {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view WithoutCurrencySign(std::string_view text) {
  static constexpr std::string_view kSigns[] = {"\xE2\x82\xAC", "$", "\xC2\xA3", "EUR"};
  for (std::string_view sign : kSigns) {
    if (text.substr(0, sign.size()) == sign) return TrimBlanks(text.substr(sign.size()));
    if (text.size() >= sign.size() && text.substr(text.size() - sign.size()) == sign) {
      return TrimBlanks(text.substr(0, text.size() - sign.size()));
    }
  }
  return text;
}

// The integer digits of `text` with grouping separators checked and removed.
bool UngroupedDigits(std::string_view digits, char group, std::string& out) {
  if (digits.find(group) == std::string_view::npos) {
    for (char c : digits) {
      if (!IsDigit(c)) return false;
    }
    out += digits;
    return !digits.empty();
  }
  // 1 to 3 digits, then groups of a separator and three digits.
  size_t pos = 0;
  size_t lead = 0;
  while (pos < digits.size() && IsDigit(digits[pos])) ++pos, ++lead;
  if (lead == 0 || lead > 3) return false;
  out += digits.substr(0, pos);
  while (pos < digits.size()) {
    if (digits[pos] != group || digits.size() - pos < 4) return false;
    for (size_t i = 1; i <= 3; ++i) {
      if (!IsDigit(digits[pos + i])) return false;
    }
    out += digits.substr(pos + 1, 3);
    pos += 4;
  }
  return true;
}

}  // namespace

std::optional<double> ReadDecimal(std::string_view text, char decimalSeparator,
                                  bool allowCurrencySign) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text = TrimBlanks(text.substr(1));
  }
  if (allowCurrencySign) text = WithoutCurrencySign(text);
  if (!negative && !text.empty() && text[0] == '-') {
    negative = true;  // "€ -12,50"
    text = TrimBlanks(text.substr(1));
  }
  // An exponent ("2e+05") only with a decimal point: the shortest forms of exports carry one.
  std::optional<std::string_view> exponent;
  if (decimalSeparator == '.') {
    const size_t e = text.find_first_of("eE");
    if (e != std::string_view::npos) {
      exponent = text.substr(e + 1);
      text = text.substr(0, e);
    }
  }
  if (text.empty()) return std::nullopt;
  const char group = decimalSeparator == ',' ? '.' : ',';
  const size_t point = text.find(decimalSeparator);
  const std::string_view whole = text.substr(0, point);
  std::string normal = negative ? "-" : "";
  if (whole.empty()) {
    normal += '0';
  } else if (!UngroupedDigits(whole, group, normal)) {
    return std::nullopt;
  }
  if (point != std::string_view::npos) {
    const std::string_view fraction = text.substr(point + 1);
    if (fraction.empty() && whole.empty()) return std::nullopt;
    for (char c : fraction) {
      if (!IsDigit(c)) return std::nullopt;
    }
    normal += '.';
    normal += fraction;
    normal += '0';
  }
  if (exponent) {
    std::string_view digits = *exponent;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 4) return std::nullopt;
    for (char c : digits) {
      if (!IsDigit(c)) return std::nullopt;
    }
    normal += 'e';
    normal += *exponent;
  }
  double value = 0;
  const auto [end, error] = std::from_chars(normal.data(), normal.data() + normal.size(), value,
                                            std::chars_format::general);
  if (error != std::errc() || end != normal.data() + normal.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string WriteDecimal(double value) {
  char buffer[64];
  // Fixed notation keeps spreadsheets from reading "1e+20"; the shortest exact form otherwise.
  const bool plain = std::fabs(value) < 1e15 && (value == 0 || std::fabs(value) >= 1e-6);
  const auto result = plain ? std::to_chars(buffer, buffer + sizeof buffer, value,
                                            std::chars_format::fixed)
                            : std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  // A negative zero loses its sign. Erased rather than assigned "0": GCC 12 warns falsely
  // (-Wrestrict) about that one-character assignment with the sanitizers at -O2.
  if (text == "-0") text.erase(0, 1);
  return text;
}

std::string WriteRounded(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return WriteDecimal(std::round(value * scale) / scale);
}

}  // namespace qdx::interchange
