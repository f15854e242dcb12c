// Numeric and boolean fields: native forms, ranges and text forms.
#include "dataset/framework/numeric_fields.h"

#include <charconv>
#include <cmath>
#include <string>

#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/text_format.h"

namespace qdx {

namespace {

struct IntegerRange {
  int64_t min;
  int64_t max;
};

IntegerRange TypeRange(TFieldType type) {
  switch (type) {
    case ftSmallint: return {INT16_MIN, INT16_MAX};
    case ftWord: return {0, UINT16_MAX};
    case ftLargeint: return {INT64_MIN, INT64_MAX};
    default: return {INT32_MIN, INT32_MAX};
  }
}

const platform::FormatSettings& Formats() { return platform::UserFormatSettings(); }

// Fixed decimals with the user's decimal separator (no thousands separators: a text a user can
// type back).
std::u16string FixedText(double value, int32_t decimals) {
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::u16string text;
  for (const char* p = buffer; p != result.ptr; ++p) {
    text.push_back(*p == '.' ? Formats().DecimalSeparator : static_cast<char16_t>(*p));
  }
  return text;
}

}  // namespace

// ---- Integers ------------------------------------------------------------------------------

TIntegerField::TIntegerField(TFieldType dataType) : TField(dataType, 0) {
  const IntegerRange r = TypeRange(dataType);
  minValue_ = r.min;
  maxValue_ = r.max;
}

int32_t TIntegerField::DataSize() const {
  switch (DataType()) {
    case ftSmallint:
    case ftWord: return 2;
    case ftLargeint: return 8;
    default: return 4;
  }
}

void TIntegerField::SetRange(int64_t minValue, int64_t maxValue) {
  const IntegerRange r = TypeRange(DataType());
  if (minValue == 0 && maxValue == 0) {
    minValue_ = r.min;
    maxValue_ = r.max;
  } else {
    minValue_ = std::max(minValue, r.min);
    maxValue_ = std::min(maxValue, r.max);
  }
}

int64_t TIntegerField::ReadInteger(bool& isNull) const {
  uint8_t raw[8] = {};
  isNull = !ReadNative(raw);
  if (isNull) return 0;
  switch (DataType()) {
    case ftSmallint: return le::Load<int16_t>(raw);
    case ftWord: return le::Load<uint16_t>(raw);
    case ftLargeint: return le::Load<int64_t>(raw);
    default: return le::Load<int32_t>(raw);
  }
}

void TIntegerField::WriteInteger(int64_t value) {
  if (value < minValue_ || value > maxValue_) {
    const std::string v = std::to_string(value);
    const std::string lo = std::to_string(minValue_);
    const std::string hi = std::to_string(maxValue_);
    DatabaseError(dsmsg::Format(dsmsg::kFieldRangeError, {v, DisplayName(), lo, hi}));
  }
  uint8_t raw[8] = {};
  switch (DataType()) {
    case ftSmallint: le::Store<int16_t>(raw, static_cast<int16_t>(value)); break;
    case ftWord: le::Store<uint16_t>(raw, static_cast<uint16_t>(value)); break;
    case ftLargeint: le::Store<int64_t>(raw, value); break;
    default: le::Store<int32_t>(raw, static_cast<int32_t>(value)); break;
  }
  WriteNative(raw);
}

std::u16string TIntegerField::AsString() const {
  bool isNull = false;
  const int64_t value = ReadInteger(isNull);
  return isNull ? std::u16string() : IntegerToText(value);
}

void TIntegerField::SetAsString(std::u16string_view text) {
  if (text.find_first_not_of(u" \t") == std::u16string_view::npos) {
    Clear();
    return;
  }
  int64_t value = 0;
  if (!TryTextToInteger(text, value)) ConversionError(dsmsg::kInvalidIntegerValue, text);
  WriteInteger(value);
}

int32_t TIntegerField::AsInteger() const {
  bool isNull = false;
  const int64_t value = ReadInteger(isNull);
  if (value < INT32_MIN || value > INT32_MAX) AccessError("Integer");
  return static_cast<int32_t>(value);
}
void TIntegerField::SetAsInteger(int32_t value) { WriteInteger(value); }
int64_t TIntegerField::AsLargeInt() const {
  bool isNull = false;
  return ReadInteger(isNull);
}
void TIntegerField::SetAsLargeInt(int64_t value) { WriteInteger(value); }
double TIntegerField::AsFloat() const { return static_cast<double>(AsLargeInt()); }
void TIntegerField::SetAsFloat(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -9.2e18 && rounded <= 9.2e18)) {
    const std::u16string text = FloatToText(value, Formats());
    ConversionError(dsmsg::kInvalidIntegerValue, text);
  }
  WriteInteger(static_cast<int64_t>(rounded));
}
bool TIntegerField::AsBoolean() const { return AsLargeInt() != 0; }
void TIntegerField::SetAsBoolean(bool value) { WriteInteger(value ? 1 : 0); }

Variant TIntegerField::AsVariant() const {
  bool isNull = false;
  const int64_t value = ReadInteger(isNull);
  if (isNull) return Variant::Null();
  if (DataType() == ftSmallint) return Variant::FromSmallint(static_cast<int16_t>(value));
  if (value >= INT32_MIN && value <= INT32_MAX) return Variant::FromInteger(static_cast<int32_t>(value));
  return Variant::FromDouble(static_cast<double>(value));
}

void TIntegerField::SetAsVariant(const Variant& value) {
  if (value.VarType() == varDouble || value.VarType() == varSingle) {
    SetAsFloat(value.AsDouble());
    return;
  }
  TField::SetAsVariant(value);
}

bool TIntegerField::ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const {
  switch (value.VarType()) {
    case varSmallint:
    case varInteger:
    case varByte:
      return !IsNull() && AsLargeInt() == value.AsInt64();
    case varSingle:
    case varDouble:
      return !IsNull() && static_cast<double>(AsLargeInt()) == value.AsDouble();
    default:
      return TField::ValueMatches(value, caseInsensitive, partial);
  }
}

std::u16string TIntegerField::TextOf(bool /*displayText*/) const { return AsString(); }

// ---- Floats and currency -------------------------------------------------------------------

double TFloatField::AsFloat() const {
  uint8_t raw[8] = {};
  if (!ReadNative(raw)) return 0;
  return le::Load<double>(raw);
}

void TFloatField::SetAsFloat(double value) {
  if (!std::isfinite(value)) {
    ConversionError(dsmsg::kInvalidFloatValue, FloatToText(value, Formats()));
  }
  uint8_t raw[8];
  le::Store<double>(raw, value);
  WriteNative(raw);
}

std::u16string TFloatField::AsString() const {
  if (IsNull()) return {};
  return FloatToText(AsFloat(), Formats());
}

void TFloatField::SetAsString(std::u16string_view text) {
  if (text.find_first_not_of(u" \t") == std::u16string_view::npos) {
    Clear();
    return;
  }
  long double value = 0;
  double amount = 0;
  if (TryTextToFloat(text, value, Formats())) {
    SetAsFloat(static_cast<double>(value));
  } else if (currency_ && TryTextToCurrency(text, amount, Formats())) {
    SetAsFloat(amount);
  } else {
    ConversionError(dsmsg::kInvalidFloatValue, text);
  }
}

int32_t TFloatField::AsInteger() const {
  const double v = std::nearbyint(AsFloat());
  if (v < INT32_MIN || v > INT32_MAX) AccessError("Integer");
  return static_cast<int32_t>(v);
}
void TFloatField::SetAsInteger(int32_t value) { SetAsFloat(value); }
int64_t TFloatField::AsLargeInt() const {
  const double v = std::nearbyint(AsFloat());
  if (!(v >= -9.2e18 && v <= 9.2e18)) AccessError("LargeInt");
  return static_cast<int64_t>(v);
}
void TFloatField::SetAsLargeInt(int64_t value) { SetAsFloat(static_cast<double>(value)); }

Variant TFloatField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant::FromDouble(AsFloat());
}

void TFloatField::SetAsVariant(const Variant& value) { TField::SetAsVariant(value); }

bool TFloatField::ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const {
  switch (value.VarType()) {
    case varSmallint:
    case varInteger:
    case varByte:
      return !IsNull() && AsFloat() == static_cast<double>(value.AsInt64());
    case varSingle:
    case varDouble:
      return !IsNull() && AsFloat() == value.AsDouble();
    case varCurrency:
      return !IsNull() && AsFloat() == static_cast<double>(value.AsInt64()) / 10000.0;
    default:
      return TField::ValueMatches(value, caseInsensitive, partial);
  }
}

std::u16string TFloatField::TextOf(bool displayText) const {
  const double value = AsFloat();
  if (displayText && currency_) return CurrencyToText(value, Formats());
  if (displayText && precision_ >= 0) return FixedText(value, precision_);
  return FloatToText(value, Formats());
}

Variant TCurrencyField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant::FromCurrency(static_cast<int64_t>(std::llround(AsFloat() * 10000.0)));
}

// ---- Booleans ------------------------------------------------------------------------------

bool TBooleanField::AsBoolean() const {
  uint8_t raw[2] = {};
  if (!ReadNative(raw)) return false;
  return le::Load<int16_t>(raw) != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
  uint8_t raw[2];
  le::Store<int16_t>(raw, value ? -1 : 0);
  WriteNative(raw);
}

std::u16string TBooleanField::AsString() const {
  if (IsNull()) return {};
  return BooleanToText(AsBoolean());
}

void TBooleanField::SetAsString(std::u16string_view text) {
  std::u16string upper(text);
  const auto first = upper.find_first_not_of(u" \t");
  if (first == std::u16string::npos) {
    Clear();
    return;
  }
  upper = upper.substr(first, upper.find_last_not_of(u" \t") - first + 1);
  platform::WideUpperCaseInPlace(upper.data(), upper.size());
  if (upper == u"TRUE" || upper == u"T" || upper == u"YES" || upper == u"Y" || upper == u"1") {
    SetAsBoolean(true);
  } else if (upper == u"FALSE" || upper == u"F" || upper == u"NO" || upper == u"N" ||
             upper == u"0") {
    SetAsBoolean(false);
  } else {
    ConversionError(dsmsg::kInvalidBooleanValue, text);
  }
}

Variant TBooleanField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant::FromBoolean(AsBoolean());
}

void TBooleanField::SetAsVariant(const Variant& value) { TField::SetAsVariant(value); }

bool TBooleanField::ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const {
  if (value.VarType() == varBoolean) return !IsNull() && AsBoolean() == (value.AsInt64() != 0);
  return TField::ValueMatches(value, caseInsensitive, partial);
}

std::u16string TBooleanField::TextOf(bool /*displayText*/) const { return AsString(); }

}  // namespace qdx
