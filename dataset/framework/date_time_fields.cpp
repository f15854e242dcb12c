// Date, time and date-time fields: the date-time value and its texts in the user's formats.
#include "dataset/framework/date_time_fields.h"

#include <cmath>

#include "dataset/dataset_messages.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/text_format.h"

namespace qdx {

namespace {

const platform::FormatSettings& Formats() { return platform::UserFormatSettings(); }

bool IsBlank(std::u16string_view text) {
  return text.find_first_not_of(u" \t") == std::u16string_view::npos;
}

}  // namespace

TDateTime TDateTimeField::AsDateTime() const {
  uint8_t raw[8] = {};
  if (!ReadNative(raw)) return 0;
  return le::Load<double>(raw);
}

void TDateTimeField::SetAsDateTime(TDateTime value) {
  if (!std::isfinite(value)) AccessError("DateTime");
  uint8_t raw[8];
  le::Store<double>(raw, Normalise(value));
  WriteNative(raw);
}

std::u16string TDateTimeField::AsString() const {
  if (IsNull()) return {};
  return TextOf(true);
}

void TDateTimeField::SetAsString(std::u16string_view text) {
  if (IsBlank(text)) {
    Clear();
    return;
  }
  TQDXDateTime value;
  if (!TryTextToDateTime(text, value, Formats())) ConversionError(dsmsg::kInvalidDateTimeValue, text);
  SetAsDateTime(QDXToDateTime(value));
}

Variant TDateTimeField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant::FromDate(AsDateTime());
}

void TDateTimeField::SetAsVariant(const Variant& value) { TField::SetAsVariant(value); }

bool TDateTimeField::ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const {
  switch (value.VarType()) {
    case varDate:
    case varDouble:
      return !IsNull() && DateTimeToQDX(AsDateTime()) == DateTimeToQDX(Normalise(value.AsDouble()));
    default:
      return TField::ValueMatches(value, caseInsensitive, partial);
  }
}

std::u16string TDateTimeField::TextOf(bool /*displayText*/) const {
  return DateTimeToText(DateTimeToQDX(AsDateTime()), Formats());
}

// ---- Dates ---------------------------------------------------------------------------------

void TDateField::SetAsString(std::u16string_view text) {
  if (IsBlank(text)) {
    Clear();
    return;
  }
  int32_t day = 0;
  if (!TryTextToDate(text, day, Formats())) ConversionError(dsmsg::kInvalidDateValue, text);
  SetAsDateTime(DayNumberToDateValue(day));
}

std::u16string TDateField::TextOf(bool /*displayText*/) const {
  return DateToText(DateValueToDayNumber(AsDateTime()), Formats());
}

TDateTime TDateField::Normalise(TDateTime value) const {
  return DayNumberToDateValue(DateValueToDayNumber(value));
}

// ---- Times ---------------------------------------------------------------------------------

void TTimeField::SetAsString(std::u16string_view text) {
  if (IsBlank(text)) {
    Clear();
    return;
  }
  int32_t ms = 0;
  if (!TryTextToTime(text, ms, Formats())) ConversionError(dsmsg::kInvalidTimeValue, text);
  SetAsDateTime(MillisecondsToDateValue(ms));
}

std::u16string TTimeField::TextOf(bool /*displayText*/) const {
  return TimeToText(DateValueToMilliseconds(AsDateTime()), Formats());
}

TDateTime TTimeField::Normalise(TDateTime value) const {
  return MillisecondsToDateValue(DateValueToMilliseconds(value));
}

}  // namespace qdx
