// Reading and writing values in their storage encodings (the table in data_types.h).
//
// Values sit at any byte address (record buffers and memory-manager user areas are not aligned),
// so every access goes through these helpers or little_endian.h, never a typed pointer.
#pragma once

#include <cfloat>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/foundation/little_endian.h"
#include "engine/foundation/types/date_time.h"

namespace qdx {

// EXTENDED: the x87 80-bit format, which is GCC's long double on x86-64: its first 10 bytes are
// the value (64-bit mantissa with explicit integer bit, then sign and 15-bit exponent); the
// rest of the object is padding.
static_assert(LDBL_MANT_DIG == 64 && sizeof(long double) >= 10,
              "EXTENDED values need the x87 80-bit long double");
inline constexpr int32_t kExtendedSize = 10;

inline long double LoadExtended(const uint8_t* p) {
  long double value = 0.0L;  // zeroes the padding too
  std::memcpy(&value, p, kExtendedSize);
  return value;
}
inline void StoreExtended(uint8_t* p, long double value) {
  std::memcpy(p, &value, kExtendedSize);
}

// DATETIME: day number, then milliseconds.
inline TQDXDateTime LoadDateTime(const uint8_t* p) {
  return {le::Load<int32_t>(p), le::Load<int32_t>(p + 4)};
}
inline void StoreDateTime(uint8_t* p, TQDXDateTime value) {
  le::Store<int32_t>(p, value.Date);
  le::Store<int32_t>(p + 4, value.Time);
}

// LOGICAL: 0 false, anything else true; true is written as -1.
inline bool LoadLogical(const uint8_t* p) {
  return le::Load<int16_t>(p) != 0;
}
inline void StoreLogical(uint8_t* p, bool value) {
  le::Store<int16_t>(p, static_cast<int16_t>(value ? -1 : 0));
}

// 8-bit text of a CHAR/STRING buffer: up to the terminating zero, or `maxChars` characters
// when that is not negative and comes first.
inline std::string_view LoadAnsiText(const uint8_t* p, int64_t maxChars = -1) {
  const char* text = reinterpret_cast<const char*>(p);
  if (maxChars < 0) return std::string_view(text);
  const void* zero = std::memchr(text, 0, static_cast<size_t>(maxChars));
  return std::string_view(
      text, zero ? static_cast<const char*>(zero) - text : static_cast<ptrdiff_t>(maxChars));
}

// Number of UTF-16 code units of a WIDECHAR/WIDESTRING buffer before its terminating zero,
// looking at no more than `maxUnits` when that is not negative.
inline size_t WideTextLength(const uint8_t* p, int64_t maxUnits = -1) {
  size_t n = 0;
  while ((maxUnits < 0 || static_cast<int64_t>(n) < maxUnits) && (p[2 * n] | p[2 * n + 1]) != 0) {
    ++n;
  }
  return n;
}
inline std::u16string LoadWideText(const uint8_t* p, size_t units) {
  std::u16string text(units, u'\0');
  for (size_t i = 0; i < units; ++i) text[i] = le::Load<char16_t>(p + 2 * i);
  return text;
}
inline void StoreWideText(uint8_t* p, std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) le::Store<char16_t>(p + 2 * i, text[i]);
}

}  // namespace qdx
