// Text forms of values under the user's formats, as a Windows user sees them, and their parsing.
//
// Floats: the general format with 15 significant digits ("1.5", "0.0001", "1E20", "1.5E-7").
// Currency: the amount with the currency decimals, thousands separators, the currency string in
// its position and the negative form of the formats. Dates: the short date pattern; times: the
// long time pattern (with seconds); a date and time: the date, then a blank and the time unless
// it is midnight. Booleans: "True" / "False".
//
// Parsing accepts what formatting gives and the plain forms a user types: numbers with the
// locale's decimal separator and an optional exponent; currency with or without its string,
// thousands separators and negative form; dates of two or three numbers in the order of the
// short date pattern (two-digit years taken near the current year, a missing year is this
// year); times of hours, minutes, seconds and milliseconds with an optional AM/PM designator.
// Blanks around a text are ignored. Parsing never throws; it answers false.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/date_time.h"

namespace qdx {

using platform::FormatSettings;

std::u16string FloatToText(long double value, const FormatSettings& formats);
std::u16string CurrencyToText(double amount, const FormatSettings& formats);
std::u16string DateToText(int32_t dayNumber, const FormatSettings& formats);
std::u16string TimeToText(int32_t milliseconds, const FormatSettings& formats);
std::u16string DateTimeToText(TQDXDateTime value, const FormatSettings& formats);
std::u16string IntegerToText(int64_t value);
std::u16string UnsignedToText(uint64_t value);
std::u16string BooleanToText(bool value);

bool TryTextToInteger(std::u16string_view text, int64_t& value);
bool TryTextToFloat(std::u16string_view text, long double& value, const FormatSettings& formats);
bool TryTextToCurrency(std::u16string_view text, double& amount, const FormatSettings& formats);
bool TryTextToDate(std::u16string_view text, int32_t& dayNumber, const FormatSettings& formats);
bool TryTextToTime(std::u16string_view text, int32_t& milliseconds, const FormatSettings& formats);
bool TryTextToDateTime(std::u16string_view text, TQDXDateTime& value,
                       const FormatSettings& formats);
// True when the upper-cased text is "1" or "TRUE".
bool TextToBoolean(std::u16string_view text);

}  // namespace qdx
