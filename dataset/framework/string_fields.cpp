// Text fields: the stored 8-bit (or UTF-16) text and its conversions.
#include "dataset/framework/string_fields.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "dataset/dataset_messages.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/text_format.h"

namespace qdx {

namespace {

// Reads the field's 8-bit text and hands it to `use` as a view; texts of the usual sizes are
// read on the stack, as a walk reads every text of every record. A null field gives "".
template <typename Use>
auto WithStoredText(const TField& field, Use use) {
  const auto size = static_cast<size_t>(field.DataSize());
  std::array<uint8_t, 256> small;
  std::vector<uint8_t> large;
  std::span<uint8_t> buffer(small.data(), std::min(size, small.size()));
  if (size > small.size()) {
    large.assign(size, 0);
    buffer = large;
  } else {
    // Zeroed so that a text that fills its slot still ends inside the buffer.
    std::memset(small.data(), 0, size);
  }
  if (!field.GetData(buffer)) return use(std::string_view());
  const size_t n = strnlen(reinterpret_cast<const char*>(buffer.data()), buffer.size());
  return use(std::string_view(reinterpret_cast<const char*>(buffer.data()), n));
}

}  // namespace

std::string TStringField::Value() const {
  return WithStoredText(*this, [](std::string_view text) { return std::string(text); });
}

void TStringField::SetValue(std::string_view text) {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()), 0);
  const size_t n = std::min(text.size(), buffer.size() - 1);
  std::memcpy(buffer.data(), text.data(), n);
  SetData(buffer);
}

std::u16string TStringField::AsString() const {
  return WithStoredText(*this, [](std::string_view text) { return platform::AnsiToWide(text); });
}
void TStringField::SetAsString(std::u16string_view text) { SetValue(platform::WideToAnsi(text)); }

int32_t TStringField::AsInteger() const {
  const std::u16string text = AsString();
  int64_t value = 0;
  if (text.empty()) return 0;
  if (!TryTextToInteger(text, value) || value < INT32_MIN || value > INT32_MAX) {
    ConversionError(dsmsg::kInvalidIntegerValue, text);
  }
  return static_cast<int32_t>(value);
}
void TStringField::SetAsInteger(int32_t value) { SetAsString(IntegerToText(value)); }

int64_t TStringField::AsLargeInt() const {
  const std::u16string text = AsString();
  int64_t value = 0;
  if (!text.empty() && !TryTextToInteger(text, value)) {
    ConversionError(dsmsg::kInvalidIntegerValue, text);
  }
  return value;
}
void TStringField::SetAsLargeInt(int64_t value) { SetAsString(IntegerToText(value)); }

double TStringField::AsFloat() const {
  const std::u16string text = AsString();
  long double value = 0;
  if (!text.empty() && !TryTextToFloat(text, value, platform::UserFormatSettings())) {
    ConversionError(dsmsg::kInvalidFloatValue, text);
  }
  return static_cast<double>(value);
}
void TStringField::SetAsFloat(double value) {
  SetAsString(FloatToText(value, platform::UserFormatSettings()));
}

TDateTime TStringField::AsDateTime() const {
  const std::u16string text = AsString();
  TQDXDateTime value;
  if (text.empty()) return 0;
  if (!TryTextToDateTime(text, value, platform::UserFormatSettings())) {
    ConversionError(dsmsg::kInvalidDateTimeValue, text);
  }
  return QDXToDateTime(value);
}
void TStringField::SetAsDateTime(TDateTime value) {
  SetAsString(DateTimeToText(DateTimeToQDX(value), platform::UserFormatSettings()));
}

bool TStringField::AsBoolean() const {
  const std::u16string text = AsString();
  return !text.empty() && TextToBoolean(text);
}
void TStringField::SetAsBoolean(bool value) { SetAsString(BooleanToText(value)); }

Variant TStringField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant::FromString(Value());
}

bool TStringField::ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const {
  if (value.VarType() == varString && !caseInsensitive && !IsNull()) {
    // Byte for byte, as the stored text is kept.
    const std::string have = Value();
    const std::string& wanted = value.AsString();
    return partial ? have.compare(0, wanted.size(), wanted) == 0 : have == wanted;
  }
  return TField::ValueMatches(value, caseInsensitive, partial);
}

std::u16string TWideStringField::AsString() const {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()), 0);
  if (!GetData(buffer)) return {};
  std::u16string text;
  for (size_t i = 0; i + 1 < buffer.size(); i += 2) {
    const auto unit = le::Load<char16_t>(&buffer[i]);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

void TWideStringField::SetAsString(std::u16string_view text) {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()), 0);
  const size_t n = std::min(text.size(), static_cast<size_t>(Size()));
  for (size_t i = 0; i < n; ++i) le::Store<char16_t>(&buffer[i * 2], text[i]);
  SetData(buffer);
}

Variant TWideStringField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant::FromOleStr(AsString());
}

}  // namespace qdx
