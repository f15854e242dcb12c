// Conversions between data types, used by the variant, by value comparison and by SQL.
//
//   to text       integers in decimal; SINGLE, FLOAT, EXTENDED in the general float format;
//                 CURRENCY in the currency form; dates and times in the short date and long time
//                 forms; LOGICAL as "True" / "False" (text_format.h). 8-bit text is Windows-1252.
//   from text     the same forms parsed; LOGICAL is true for "1" and "TRUE" in any case. To a
//                 date or time, 8-bit text (CHAR, STRING, not MEMO) is first tried in the fixed
//                 forms "yyyy-mm-dd hh:nn:ss" and "yyyy-mm-dd" (to DATE, DATETIME) or
//                 "hh:nn:ss" (to TIME): groups of exactly that many digits, each ended by one
//                 non-digit character, and at most one character after the last.
//   numbers       by value. A float becomes an integer rounded to the nearest (ties to even); a
//                 value outside the target's range fails. To CURRENCY a value must lie within
//                 the 64-bit range of hundredths of hundredths (else 10439) and is rounded to
//                 four decimals, as the framework's currency is.
//   dates         a number is a date value (days since 1899-12-30, the fraction the time of
//                 day) and a date, time or date and time gives its date value; DATE, TIME and
//                 DATETIME convert into each other by their parts (a TIME alone is on day 0).
//   LOGICAL       from a number: not 0; to a number: 1 or 0.
//   MEMO, WIDEMEMO and the string types convert into each other as text.
//   BLOB, BYTES, VARBYTES convert only to their own type.
//
// A failure inside a conversion raises 30051 "Cannot cast from '%s' to '%s'"; a pair without a
// conversion raises 30052 with the same message.
#pragma once

#include <cstdint>

#include "engine/foundation/memory.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/data_types.h"

namespace qdx {

// A value in its storage encoding. `Size` is the bytes of the value (for strings including the
// terminator, for MEMO and WIDEMEMO the text itself); a negative size for a string type means
// "up to the terminator".
struct TQDXValueRef {
  const uint8_t* Data = nullptr;
  int32_t Size = -1;
  TQDXDataType DataType = TQDXDataType::None;
};

// The value converted to `target`, in a block of exactly the target encoding's size (strings:
// the text and its terminator; MEMO and WIDEMEMO: the text, at least one byte of block).
// `size` of the result is returned through `resultSize`.
TQDXMemBlock ConvertValue(TQDXValueRef value, TQDXDataType target, int32_t& resultSize,
                          const platform::FormatSettings& formats = platform::UserFormatSettings());

// True when some value of `source` can be converted to `target` (whether a given one can
// depends on the value).
bool CanConvert(TQDXDataType source, TQDXDataType target);

// Raises 10439 "'%s' is not a valid currency value" unless `amount` lies within the 64-bit range
// of hundredths of hundredths; answers it rounded to four decimals.
double CheckedCurrency(long double amount);

}  // namespace qdx
