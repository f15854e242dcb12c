// Value comparison: the order indexes, searches and SQL use.
//
// CompareValues answers one of six results. Equal data types compare directly in their encoding
// without allocating; different ones are first converted to their common type (CommonDataType)
// in temporary buffers from the engine memory manager. Text orders by the platform's locale
// comparison (string sort, optionally ignoring case); 8-bit text with the locale given, UTF-16
// text always with the user default locale.
#pragma once

#include <cstdint>

#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/data_types.h"

namespace qdx {

enum TQDXCompareResult : int {
  kCompareEqual = 0,
  kCompareLess = 1,
  kCompareGreater = 2,
  kCompareFirstNull = 3,   // only the first is null
  kCompareSecondNull = 4,  // only the second is null
  kCompareBothNull = 5,
};

// The data type two different data types compare in; None when they cannot be compared.
TQDXDataType CommonDataType(TQDXDataType first, TQDXDataType second);

// Compares two values in their storage encodings.
//   length: for text, the characters compared of each (a prefix comparison); -1 compares up to
//     the terminators. A text ends at its terminator even when `length` is larger.
//   size1, size2: bytes of the values where known (-1 otherwise). Text is then never read past
//     its value even without a terminator; MEMO and WIDEMEMO text, which has none, needs them
//     (unknown: up to the first zero).
// Fails with 30044 for types without a common type, 30140 for a missing buffer of a non-null
// value, 30045 / 30046 when the locale comparison gives no answer, 30047 for types that have no
// order (BLOB, VARBYTES), and with the conversion failures of convert.h.
int CompareValues(const uint8_t* buffer1, const uint8_t* buffer2, TQDXDataType dataType1,
                  TQDXDataType dataType2, bool isNull1, bool isNull2, int32_t length,
                  bool caseInsensitive, const platform::Locale& locale, int32_t size1 = -1,
                  int32_t size2 = -1);

// The three-way form of a CompareValues answer: a null sorts before every value and two nulls
// are equal.
constexpr int ThreeWay(int result) {
  switch (result) {
    case kCompareLess:
    case kCompareFirstNull:
      return -1;
    case kCompareGreater:
    case kCompareSecondNull:
      return 1;
    default:
      return 0;
  }
}

// Folds the null answers into the plain ones: 3 to 1, 4 to 2, 5 to 0.
constexpr int FoldNullResult(int result) {
  switch (result) {
    case kCompareFirstNull:
      return kCompareLess;
    case kCompareSecondNull:
      return kCompareGreater;
    case kCompareBothNull:
      return kCompareEqual;
    default:
      return result;
  }
}

}  // namespace qdx
