#include "engine/foundation/types/compare.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/types/convert.h"
#include "engine/foundation/types/encoding.h"

static_assert(std::endian::native == std::endian::little, "UTF-16 keys are read in place");

namespace qdx {
namespace {

using T = TQDXDataType;

constexpr bool In(T t, int from, int to) {
  const int code = static_cast<int>(t);
  return code >= from && code <= to;
}
constexpr bool Is(T t, std::initializer_list<int> codes) {
  for (int code : codes) {
    if (static_cast<int>(t) == code) return true;
  }
  return false;
}

template <typename V>
int Order(V a, V b) {
  return a < b ? kCompareLess : (b < a ? kCompareGreater : kCompareEqual);
}

int FromCollation(platform::CollationResult result, bool wideText) {
  switch (result) {
    case platform::CollationResult::Less:
      return kCompareLess;
    case platform::CollationResult::Equal:
      return kCompareEqual;
    case platform::CollationResult::Greater:
      return kCompareGreater;
    default:
      break;
  }
  if (wideText) Raise(msg::kUnicodeNotSupported);
  Raise(msg::kUnknownReturnCode, {static_cast<int>(result)});
}

// UTF-16 text of an unaligned little-endian buffer, copied into aligned storage: on the stack
// for keys of ordinary length, so that comparing them does not allocate.
class WideKey {
 public:
  // Copies while looking for the terminator: one pass over the key.
  WideKey(const uint8_t* p, int64_t length) {
    const size_t limit = length < 0 ? SIZE_MAX : static_cast<size_t>(length);
    size_t n = 0;
    for (; n < limit && n < kStackUnits; ++n) {
      char16_t unit;
      std::memcpy(&unit, p + 2 * n, 2);  // the key is little-endian, as is every supported host
      stack_[n] = unit;
      if (unit == 0) break;
    }
    size_ = n;
    data_ = stack_;
    if (n == kStackUnits && n < limit) {
      size_ = WideTextLength(p, length);
      heap_ = LoadWideText(p, size_);
      data_ = heap_.data();
    }
  }
  const char16_t* data() const { return data_; }
  int32_t size() const { return static_cast<int32_t>(size_); }

 private:
  static constexpr size_t kStackUnits = 1024;
  char16_t stack_[kStackUnits];
  std::u16string heap_;
  const char16_t* data_;
  size_t size_;
};

// The most characters of a text to look at: the prefix length, and the value's size where known.
int64_t TextLimit(int32_t length, int32_t size, int32_t unitSize) {
  if (size < 0) return length;
  const int64_t units = size / unitSize;
  return length < 0 ? units : std::min<int64_t>(length, units);
}

// Fixed-size types: answers -1 when `type` is not one of them. Kept small so that comparing keys
// of equal numeric types is a few loads and compares.
[[gnu::always_inline]] inline int CompareFixed(const uint8_t* a, const uint8_t* b, T type) {
  switch (type) {
    case T::ShortInt:
      return Order(le::Load<int8_t>(a), le::Load<int8_t>(b));
    case T::SmallInt:
      return Order(le::Load<int16_t>(a), le::Load<int16_t>(b));
    case T::Integer:
    case T::Date:
    case T::Time:
      return Order(le::Load<int32_t>(a), le::Load<int32_t>(b));
    case T::LargeInt:
      return Order(le::Load<int64_t>(a), le::Load<int64_t>(b));
    case T::Byte:
      return Order(le::Load<uint8_t>(a), le::Load<uint8_t>(b));
    case T::Word:
      return Order(le::Load<uint16_t>(a), le::Load<uint16_t>(b));
    case T::Cardinal:
      return Order(le::Load<uint32_t>(a), le::Load<uint32_t>(b));
    case T::Single:
      return Order(le::Load<float>(a), le::Load<float>(b));
    case T::Float:
    case T::Currency:
      return Order(le::Load<double>(a), le::Load<double>(b));
    case T::Extended:
      return Order(LoadExtended(a), LoadExtended(b));
    case T::DateTime: {
      const int byDate = Order(le::Load<int32_t>(a), le::Load<int32_t>(b));
      return byDate != kCompareEqual ? byDate
                                     : Order(le::Load<int32_t>(a + 4), le::Load<int32_t>(b + 4));
    }
    case T::Logical:
      return Order(LoadLogical(a), LoadLogical(b));
    default:
      return -1;
  }
}

[[gnu::noinline]] int CompareText(const uint8_t* a, const uint8_t* b, T type, int32_t length,
                                  int32_t sizeA, int32_t sizeB, bool caseInsensitive,
                                  const platform::Locale& locale) {
  const uint32_t flags = platform::kStringSort | (caseInsensitive ? platform::kIgnoreCase : 0);
  switch (type) {
    case T::Char:
    case T::String:
    case T::Bytes: {
      const std::string_view textA = LoadAnsiText(a, TextLimit(length, sizeA, 1));
      const std::string_view textB = LoadAnsiText(b, TextLimit(length, sizeB, 1));
      return FromCollation(
          locale.CompareAnsi(flags, textA.data(), static_cast<int32_t>(textA.size()), textB.data(),
                             static_cast<int32_t>(textB.size())),
          /*wideText=*/false);
    }
    case T::WideChar:
    case T::WideString: {
      const WideKey keyA(a, TextLimit(length, sizeA, 2)), keyB(b, TextLimit(length, sizeB, 2));
      return FromCollation(platform::UserDefaultLocale().Compare(flags, keyA.data(), keyA.size(),
                                                                 keyB.data(), keyB.size()),
                           /*wideText=*/true);
    }
    default:
      break;
  }
  Raise(msg::kCompareUnknownDataType, {DataTypeName(type)});
}

inline int CompareSameType(const uint8_t* a, const uint8_t* b, T type, int32_t length,
                           int32_t sizeA, int32_t sizeB, bool caseInsensitive,
                           const platform::Locale& locale) {
  const int fixed = CompareFixed(a, b, type);
  if (fixed >= 0) return fixed;
  return CompareText(a, b, type, length, sizeA, sizeB, caseInsensitive, locale);
}

}  // namespace

TQDXDataType CommonDataType(TQDXDataType first, TQDXDataType second) {
  const T s = second;
  const bool stringSecond = In(s, 1, 4);
  const bool dateSecond = In(s, 15, 17);
  switch (first) {
    case T::Char:
      if (Is(s, {2, 20})) return T::WideChar;
      if (s == T::String || s == T::WideString || dateSecond) return s;
      if (In(s, 5, 14) || Is(s, {19, 21, 22})) return T::Char;
      break;
    case T::WideChar:
      if (s == T::WideString || dateSecond) return s;
      if (Is(s, {1, 3}) || In(s, 5, 14) || In(s, 19, 22)) return T::WideChar;
      break;
    case T::String:
      if (s == T::WideChar) return s;
      if (Is(s, {4, 20})) return T::WideString;
      if (dateSecond) return s;
      if (s == T::Char || In(s, 5, 14) || Is(s, {19, 21, 22})) return T::String;
      break;
    case T::WideString:
      if (dateSecond) return s;
      if (In(s, 1, 14) || In(s, 19, 22)) return T::WideString;
      break;
    case T::ShortInt:
      if (stringSecond) return s;
      if (s == T::Logical) return T::ShortInt;
      if (Is(s, {6, 9})) return T::SmallInt;
      if (Is(s, {7, 8, 10, 11, 22}) || In(s, 12, 17)) return s;
      break;
    case T::SmallInt:
      if (stringSecond) return s;
      if (Is(s, {5, 9, 21})) return T::SmallInt;
      if (Is(s, {7, 8, 10, 11, 22}) || In(s, 12, 17)) return s;
      break;
    case T::Integer:
      if (stringSecond) return s;
      if (Is(s, {8, 11})) return T::LargeInt;
      if (In(s, 12, 17) || s == T::Currency) return s;
      if (Is(s, {5, 6, 9, 10, 21})) return T::Integer;
      break;
    case T::LargeInt:
      if (stringSecond) return s;
      if (In(s, 5, 11) || s == T::Logical) return T::LargeInt;
      if (In(s, 12, 17) || s == T::Currency) return s;
      break;
    case T::Byte:
      if (stringSecond) return s;
      if (Is(s, {5, 6})) return T::SmallInt;
      if (Is(s, {7, 8, 10, 11, 22}) || In(s, 12, 17)) return s;
      if (s == T::Logical) return T::Byte;
      break;
    case T::Word:
      if (stringSecond) return s;
      if (In(s, 5, 7)) return T::Integer;
      if (s == T::LargeInt) return s;
      if (Is(s, {9, 21})) return T::Word;
      if (In(s, 11, 17) || s == T::Currency) return s;
      break;
    case T::Cardinal:
      if (stringSecond) return s;
      if (In(s, 5, 8)) return T::LargeInt;
      if (Is(s, {9, 10, 21})) return T::Cardinal;
      if (In(s, 12, 17) || s == T::Currency) return s;
      break;
    case T::Single:
      if (stringSecond) return s;
      if (In(s, 5, 11) || s == T::Logical) return T::Single;
      if (In(s, 13, 17) || s == T::Currency) return s;
      break;
    case T::Float:
      if (stringSecond) return s;
      if (In(s, 5, 12) || s == T::Logical) return T::Float;
      if (In(s, 14, 17) || s == T::Currency) return s;
      break;
    case T::Extended:
      if (stringSecond) return s;
      if (In(s, 5, 13) || s == T::Logical) return T::Extended;
      if (In(s, 15, 17) || s == T::Currency) return s;
      break;
    case T::Date:
      if (In(s, 1, 14)) return T::Date;
      if (Is(s, {16, 17})) return T::DateTime;
      break;
    case T::Time:
      if (In(s, 1, 14)) return T::Time;
      if (Is(s, {15, 17})) return T::DateTime;
      break;
    case T::DateTime:
      if (In(s, 1, 16)) return T::DateTime;
      break;
    case T::Memo:
      if (Is(s, {1, 19})) return T::Char;
      if (Is(s, {2, 20})) return T::WideChar;
      if (Is(s, {3, 4})) return s;
      break;
    case T::WideMemo:
      if (Is(s, {1, 2, 19, 20})) return T::WideChar;
      if (Is(s, {3, 4})) return T::WideString;
      break;
    case T::Logical:
      if (In(s, 1, 14)) return s;
      break;
    case T::Currency:
      if (stringSecond) return s;
      if (In(s, 5, 11)) return T::Currency;
      if (In(s, 12, 14)) return s;
      break;
    default:
      break;
  }
  return T::None;
}

namespace {

// Everything but equal fixed-size types: text, memo, and operands of different types.
[[gnu::noinline]] int CompareGeneral(const uint8_t* buffer1, const uint8_t* buffer2,
                                     TQDXDataType dataType1, TQDXDataType dataType2, int32_t length,
                                     bool caseInsensitive, const platform::Locale& locale,
                                     int32_t size1, int32_t size2) {
  if (dataType1 == dataType2 && dataType1 != T::Memo && dataType1 != T::WideMemo) {
    if (!buffer1 || !buffer2) Raise(msg::kCompareValueIsNull);
    return CompareSameType(buffer1, buffer2, dataType1, length, size1, size2, caseInsensitive,
                           locale);
  }
  const T common = CommonDataType(dataType1, dataType2);
  if (common == T::None) {
    Raise(msg::kCannotCompareIncompatibleTypes, {DataTypeName(dataType1), DataTypeName(dataType2)});
  }
  if (!buffer1 || !buffer2) Raise(msg::kCompareValueIsNull);
  // Converted operands live in blocks released on every path.
  TQDXMemBlock converted1, converted2;
  if (dataType1 != common) {
    converted1 = ConvertValue({buffer1, size1, dataType1}, common, size1);
    buffer1 = converted1.data();
  }
  if (dataType2 != common) {
    converted2 = ConvertValue({buffer2, size2, dataType2}, common, size2);
    buffer2 = converted2.data();
  }
  return CompareSameType(buffer1, buffer2, common, length, size1, size2, caseInsensitive, locale);
}

}  // namespace

int CompareValues(const uint8_t* buffer1, const uint8_t* buffer2, TQDXDataType dataType1,
                  TQDXDataType dataType2, bool isNull1, bool isNull2, int32_t length,
                  bool caseInsensitive, const platform::Locale& locale, int32_t size1,
                  int32_t size2) {
  if (isNull1 || isNull2) {
    if (isNull1 && isNull2) return kCompareBothNull;
    return isNull1 ? kCompareFirstNull : kCompareSecondNull;
  }
  if (dataType1 == dataType2 && buffer1 && buffer2) {
    const int fixed = CompareFixed(buffer1, buffer2, dataType1);
    if (fixed >= 0) return fixed;
  }
  return CompareGeneral(buffer1, buffer2, dataType1, dataType2, length, caseInsensitive, locale,
                        size1, size2);
}

}  // namespace qdx
