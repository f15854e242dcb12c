#include "engine/foundation/types/convert.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/types/encoding.h"
#include "engine/foundation/types/text_format.h"

namespace qdx {
namespace {

using T = TQDXDataType;

// A conversion that cannot be done for this value; becomes 30051.
struct CastFailed {};

enum class Kind { Ansi, Wide, Integer, Real, Currency, Date, Time, DateTime, Logical, Raw };

// A decoded value: one member is meaningful, by kind.
struct Decoded {
  Kind kind = Kind::Raw;
  std::string ansi;
  std::u16string wide;
  int64_t integer = 0;
  long double real = 0;
  TQDXDateTime dateTime;
  bool fromFixedFormText = false;  // 8-bit text that may hold a fixed numeric date form
};

Kind KindOf(T type) {
  switch (type) {
    case T::Char:
    case T::String:
    case T::Memo:
      return Kind::Ansi;
    case T::WideChar:
    case T::WideString:
    case T::WideMemo:
      return Kind::Wide;
    case T::ShortInt:
    case T::SmallInt:
    case T::Integer:
    case T::LargeInt:
    case T::Byte:
    case T::Word:
    case T::Cardinal:
      return Kind::Integer;
    case T::Single:
    case T::Float:
    case T::Extended:
      return Kind::Real;
    case T::Currency:
      return Kind::Currency;
    case T::Date:
      return Kind::Date;
    case T::Time:
      return Kind::Time;
    case T::DateTime:
      return Kind::DateTime;
    case T::Logical:
      return Kind::Logical;
    default:
      return Kind::Raw;
  }
}

Decoded Decode(TQDXValueRef v) {
  Decoded d;
  d.kind = KindOf(v.DataType);
  const uint8_t* p = v.Data;
  switch (v.DataType) {
    case T::Char:
    case T::String:
      d.ansi = std::string(LoadAnsiText(p, v.Size));
      d.fromFixedFormText = true;
      break;
    case T::Memo:
      d.ansi = v.Size < 0 ? std::string(LoadAnsiText(p))
                          : std::string(reinterpret_cast<const char*>(p), v.Size);
      break;
    case T::WideChar:
    case T::WideString:
      d.wide = LoadWideText(p, WideTextLength(p, v.Size < 0 ? -1 : v.Size / 2));
      break;
    case T::WideMemo:
      d.wide = LoadWideText(p, v.Size < 0 ? WideTextLength(p) : static_cast<size_t>(v.Size / 2));
      break;
    case T::ShortInt:
      d.integer = le::Load<int8_t>(p);
      break;
    case T::SmallInt:
      d.integer = le::Load<int16_t>(p);
      break;
    case T::Integer:
      d.integer = le::Load<int32_t>(p);
      break;
    case T::LargeInt:
      d.integer = le::Load<int64_t>(p);
      break;
    case T::Byte:
      d.integer = le::Load<uint8_t>(p);
      break;
    case T::Word:
      d.integer = le::Load<uint16_t>(p);
      break;
    case T::Cardinal:
      d.integer = le::Load<uint32_t>(p);
      break;
    case T::Single:
      d.real = le::Load<float>(p);
      break;
    case T::Float:
      d.real = le::Load<double>(p);
      break;
    case T::Extended:
      d.real = LoadExtended(p);
      break;
    case T::Currency:
      d.real = le::Load<double>(p);
      break;
    case T::Date:
      d.dateTime = {le::Load<int32_t>(p), 0};
      break;
    case T::Time:
      d.dateTime = {kDateDelta, le::Load<int32_t>(p)};
      break;
    case T::DateTime:
      d.dateTime = LoadDateTime(p);
      break;
    case T::Logical:
      d.integer = LoadLogical(p) ? 1 : 0;
      break;
    default:
      break;
  }
  return d;
}

// The value of a number or date as a long double (dates: their date value).
long double NumericValue(const Decoded& d, const platform::FormatSettings& formats) {
  switch (d.kind) {
    case Kind::Integer:
    case Kind::Logical:
      return static_cast<long double>(d.integer);
    case Kind::Real:
    case Kind::Currency:
      return d.real;
    case Kind::Date:
    case Kind::Time:
    case Kind::DateTime:
      return QDXToDateTime(d.dateTime);
    case Kind::Ansi:
    case Kind::Wide: {
      long double value = 0;
      if (!TryTextToFloat(d.kind == Kind::Ansi ? platform::AnsiToWide(d.ansi) : d.wide, value,
                          formats)) {
        throw CastFailed{};
      }
      return value;
    }
    case Kind::Raw:
      break;
  }
  throw CastFailed{};
}

std::u16string WideText(const Decoded& d, T source, const platform::FormatSettings& formats) {
  switch (d.kind) {
    case Kind::Ansi:
      return platform::AnsiToWide(d.ansi);
    case Kind::Wide:
      return d.wide;
    case Kind::Integer:
      return source == T::Cardinal ? UnsignedToText(static_cast<uint64_t>(d.integer))
                                   : IntegerToText(d.integer);
    case Kind::Real:
      return FloatToText(d.real, formats);
    case Kind::Currency:
      return CurrencyToText(static_cast<double>(d.real), formats);
    case Kind::Date:
      return DateToText(d.dateTime.Date, formats);
    case Kind::Time:
      return TimeToText(d.dateTime.Time, formats);
    case Kind::DateTime:
      return DateTimeToText(d.dateTime, formats);
    case Kind::Logical:
      return BooleanToText(d.integer != 0);
    case Kind::Raw:
      break;
  }
  throw CastFailed{};
}

// Reads the fixed numeric form of `widths` from 8-bit text; false when it does not fit.
bool ReadFixedForm(std::string_view text, std::initializer_list<int> widths, int32_t* out) {
  size_t pos = 0;
  size_t index = 0;
  for (int width : widths) {
    if (index > 0) {
      if (pos >= text.size() || (text[pos] >= '0' && text[pos] <= '9')) return false;
      ++pos;  // the character that ends the group before
    }
    int32_t value = 0;
    for (int i = 0; i < width; ++i, ++pos) {
      if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
      value = value * 10 + (text[pos] - '0');
    }
    out[index++] = value;
  }
  if (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') return false;
  return text.size() - pos <= 1;
}

bool FixedTime(int32_t hour, int32_t minute, int32_t second, int32_t& ms) {
  if (hour > 23 || minute > 59 || second > 59) return false;
  ms = ((hour * 60 + minute) * 60 + second) * 1000;
  return true;
}

bool FixedDateTime(std::string_view text, TQDXDateTime& value) {
  int32_t g[6];
  if (ReadFixedForm(text, {4, 2, 2, 2, 2, 2}, g)) {
    return TryEncodeDate(g[0], g[1], g[2], value.Date) && FixedTime(g[3], g[4], g[5], value.Time);
  }
  if (ReadFixedForm(text, {4, 2, 2}, g)) {
    value.Time = 0;
    return TryEncodeDate(g[0], g[1], g[2], value.Date);
  }
  return false;
}

TQDXDateTime DateTimeFrom(const Decoded& d, T target, const platform::FormatSettings& formats) {
  switch (d.kind) {
    case Kind::Date:
    case Kind::Time:
    case Kind::DateTime:
      return d.dateTime;
    case Kind::Integer:
    case Kind::Real:
    case Kind::Currency: {
      const long double value = NumericValue(d, formats);
      // Day numbers must fit their int32.
      if (!(std::fabs(value) < 2.0e9L)) throw CastFailed{};
      return DateTimeToQDX(static_cast<double>(value));
    }
    case Kind::Ansi:
    case Kind::Wide: {
      TQDXDateTime value;
      if (d.fromFixedFormText) {
        if (target == T::Time) {
          int32_t g[3];
          if (ReadFixedForm(d.ansi, {2, 2, 2}, g) && FixedTime(g[0], g[1], g[2], value.Time)) {
            return {kDateDelta, value.Time};
          }
        } else if (FixedDateTime(d.ansi, value)) {
          return value;
        }
      }
      const std::u16string text = d.kind == Kind::Ansi ? platform::AnsiToWide(d.ansi) : d.wide;
      bool parsed = false;
      if (target == T::Date) {
        value.Time = 0;
        parsed = TryTextToDate(text, value.Date, formats);
      } else if (target == T::Time) {
        value.Date = kDateDelta;
        parsed = TryTextToTime(text, value.Time, formats);
      } else {
        parsed = TryTextToDateTime(text, value, formats);
      }
      if (!parsed) throw CastFailed{};
      return value;
    }
    default:
      break;
  }
  throw CastFailed{};
}

template <typename Int>
Int IntegerFrom(const Decoded& d, const platform::FormatSettings& formats) {
  if (d.kind == Kind::Integer || d.kind == Kind::Logical) {
    const bool outside = d.integer < 0
                             ? d.integer < static_cast<int64_t>(std::numeric_limits<Int>::min())
                             : static_cast<uint64_t>(d.integer) >
                                   static_cast<uint64_t>(std::numeric_limits<Int>::max());
    if (outside) {
      throw CastFailed{};
    }
    return static_cast<Int>(d.integer);
  }
  if (d.kind == Kind::Ansi || d.kind == Kind::Wide) {
    int64_t value = 0;
    const std::u16string text = d.kind == Kind::Ansi ? platform::AnsiToWide(d.ansi) : d.wide;
    if (TryTextToInteger(text, value)) {
      Decoded integer;
      integer.kind = Kind::Integer;
      integer.integer = value;
      return IntegerFrom<Int>(integer, formats);
    }
    // Text of a number with decimals or an exponent converts by value like a float does.
  }
  const long double value = std::nearbyint(NumericValue(d, formats));
  // Both bounds are exact in a long double (64-bit mantissa).
  if (!(value >= static_cast<long double>(std::numeric_limits<Int>::min()) &&
        value <= static_cast<long double>(std::numeric_limits<Int>::max()))) {
    throw CastFailed{};
  }
  return static_cast<Int>(value);
}

struct Output {
  TQDXMemBlock block;
  int32_t size = 0;
};

Output Allocate(int32_t size) {
  Output out;
  out.block = TQDXMemBlock(size > 0 ? size : 1);
  out.size = size;
  return out;
}

Output AnsiOutput(std::string_view text, bool terminated) {
  if (text.size() > static_cast<size_t>(INT32_MAX - 1)) throw CastFailed{};
  const int32_t size = static_cast<int32_t>(text.size()) + (terminated ? 1 : 0);
  Output out = Allocate(size);
  if (!text.empty()) std::memcpy(out.block.data(), text.data(), text.size());
  if (terminated) out.block.data()[text.size()] = 0;
  return out;
}

Output WideOutput(std::u16string_view text, bool terminated) {
  if (text.size() > static_cast<size_t>(INT32_MAX / 2 - 1)) throw CastFailed{};
  const int32_t size = static_cast<int32_t>(text.size() + (terminated ? 1 : 0)) * 2;
  Output out = Allocate(size);
  StoreWideText(out.block.data(), text);
  if (terminated) le::Store<char16_t>(out.block.data() + 2 * text.size(), u'\0');
  return out;
}

template <typename V>
Output FixedOutput(V value) {
  Output out = Allocate(sizeof(V));
  le::Store<V>(out.block.data(), value);
  return out;
}

Output Convert(TQDXValueRef value, T target, const platform::FormatSettings& formats) {
  const Decoded d = Decode(value);
  switch (target) {
    case T::Char:
    case T::String:
    case T::Memo: {
      const std::string text = d.kind == Kind::Ansi
                                   ? d.ansi
                                   : platform::WideToAnsi(WideText(d, value.DataType, formats));
      return AnsiOutput(text, target != T::Memo);
    }
    case T::WideChar:
    case T::WideString:
    case T::WideMemo:
      return WideOutput(WideText(d, value.DataType, formats), target != T::WideMemo);
    case T::ShortInt:
      return FixedOutput(IntegerFrom<int8_t>(d, formats));
    case T::SmallInt:
      return FixedOutput(IntegerFrom<int16_t>(d, formats));
    case T::Integer:
      return FixedOutput(IntegerFrom<int32_t>(d, formats));
    case T::LargeInt:
      return FixedOutput(IntegerFrom<int64_t>(d, formats));
    case T::Byte:
      return FixedOutput(IntegerFrom<uint8_t>(d, formats));
    case T::Word:
      return FixedOutput(IntegerFrom<uint16_t>(d, formats));
    case T::Cardinal:
      return FixedOutput(IntegerFrom<uint32_t>(d, formats));
    case T::Single: {
      const long double v = NumericValue(d, formats);
      if (std::isfinite(v) && std::fabs(v) > FLT_MAX) throw CastFailed{};
      return FixedOutput(static_cast<float>(v));
    }
    case T::Float: {
      const long double v = NumericValue(d, formats);
      if (std::isfinite(v) && std::fabs(v) > DBL_MAX) throw CastFailed{};
      return FixedOutput(static_cast<double>(v));
    }
    case T::Extended: {
      Output out = Allocate(kExtendedSize);
      StoreExtended(out.block.data(), NumericValue(d, formats));
      return out;
    }
    case T::Currency: {
      if (d.kind == Kind::Currency) return FixedOutput(static_cast<double>(d.real));
      if (d.kind == Kind::Ansi || d.kind == Kind::Wide) {
        double amount = 0;
        if (!TryTextToCurrency(d.kind == Kind::Ansi ? platform::AnsiToWide(d.ansi) : d.wide, amount,
                               formats)) {
          throw CastFailed{};
        }
        return FixedOutput(CheckedCurrency(amount));
      }
      return FixedOutput(CheckedCurrency(NumericValue(d, formats)));
    }
    case T::Date:
      return FixedOutput(DateTimeFrom(d, target, formats).Date);
    case T::Time:
      return FixedOutput(DateTimeFrom(d, target, formats).Time);
    case T::DateTime: {
      Output out = Allocate(8);
      StoreDateTime(out.block.data(), DateTimeFrom(d, target, formats));
      return out;
    }
    case T::Logical: {
      bool truth = false;
      if (d.kind == Kind::Ansi) {
        truth = TextToBoolean(platform::AnsiToWide(d.ansi));
      } else if (d.kind == Kind::Wide) {
        truth = TextToBoolean(d.wide);
      } else {
        truth = NumericValue(d, formats) != 0;
      }
      Output out = Allocate(2);
      StoreLogical(out.block.data(), truth);
      return out;
    }
    default:
      break;
  }
  throw CastFailed{};
}

}  // namespace

bool CanConvert(TQDXDataType source, TQDXDataType target) {
  const Kind from = KindOf(source);
  const Kind to = KindOf(target);
  if (source == target) return from != Kind::Raw || static_cast<uint8_t>(source) != 0;
  if (from == Kind::Raw || to == Kind::Raw) return false;
  const bool fromDate = from == Kind::Date || from == Kind::Time || from == Kind::DateTime;
  const bool toDate = to == Kind::Date || to == Kind::Time || to == Kind::DateTime;
  // A date has no truth value, and a truth value no date.
  if ((fromDate && to == Kind::Logical) || (from == Kind::Logical && toDate)) return false;
  return true;
}

double CheckedCurrency(long double amount) {
  // 2^63 hundredths of hundredths.
  constexpr long double kLimit = 922337203685477.5808L;
  if (!(std::fabs(amount) < kLimit)) {
    const std::string text =
        platform::WideToAnsi(FloatToText(amount, platform::UserFormatSettings()));
    Raise(msg::kInvalidCurrencyValue, {text});
  }
  return static_cast<double>(std::nearbyint(amount * 10000.0L) / 10000.0L);
}

TQDXMemBlock ConvertValue(TQDXValueRef value, TQDXDataType target, int32_t& resultSize,
                          const platform::FormatSettings& formats) {
  if (!CanConvert(value.DataType, target)) {
    Raise(msg::kNoCastBetweenTypes, {DataTypeName(value.DataType), DataTypeName(target)});
  }
  if (value.DataType == target && KindOf(target) == Kind::Raw) {
    if (value.Size < 0)
      Raise(msg::kCastFailed, {DataTypeName(value.DataType), DataTypeName(target)});
    Output out = Allocate(value.Size);
    if (value.Size > 0) std::memcpy(out.block.data(), value.Data, value.Size);
    resultSize = out.size;
    return std::move(out.block);
  }
  try {
    Output out = Convert(value, target, formats);
    resultSize = out.size;
    return std::move(out.block);
  } catch (const CastFailed&) {
    Raise(msg::kCastFailed, {DataTypeName(value.DataType), DataTypeName(target)});
  }
}

}  // namespace qdx
