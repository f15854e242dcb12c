#include "engine/foundation/types/compare.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/types/convert.h"
#include "engine/foundation/types/encoding.h"

static_assert(std::endian::native == std::endian::little, "UTF-16 keys are read in place");

namespace qdx {
namespace {

using T = TQDXDataType;

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

// The common type of two data types, as a table: a row per first type, a column per second
// type, both in code order, each cell the common type's short name or ".." where the two cannot
// be compared. Of the cells for a type and itself only MEMO's and WIDEMEMO's are asked for:
// other equal types compare without a common type.
//
//   CH CHAR       SI SHORTINT  BY BYTE      FL FLOAT     DT DATETIME  LO LOGICAL
//   WC WIDECHAR   SM SMALLINT  WO WORD      EX EXTENDED  BL BLOB      CU CURRENCY
//   ST STRING     IN INTEGER   CA CARDINAL  DA DATE      ME MEMO      BS BYTES
//   WS WIDESTRING LI LARGEINT  SG SINGLE    TI TIME      WM WIDEMEMO  VB VARBYTES
constexpr int kTypeCount = 24;
constexpr std::string_view kTypeNames =
    "CH WC ST WS SI SM IN LI BY WO CA SG FL EX DA TI DT BL ME WM LO CU BS VB";
constexpr std::string_view kCommonTypeRows[kTypeCount] = {
    // second: CH WC ST WS SI SM IN LI BY WO CA SG FL EX DA TI DT BL ME WM LO CU BS VB
    /* CH */ ".. WC ST WS CH CH CH CH CH CH CH CH CH CH DA TI DT .. CH WC CH CH .. ..",
    /* WC */ "WC .. WC WS WC WC WC WC WC WC WC WC WC WC DA TI DT .. WC WC WC WC .. ..",
    /* ST */ "ST WC .. WS ST ST ST ST ST ST ST ST ST ST DA TI DT .. ST WS ST ST .. ..",
    /* WS */ "WS WS WS WS WS WS WS WS WS WS WS WS WS WS DA TI DT .. WS WS WS WS .. ..",
    /* SI */ "CH WC ST WS .. SM IN LI SM WO CA SG FL EX DA TI DT .. .. .. SI CU .. ..",
    /* SM */ "CH WC ST WS SM .. IN LI SM WO CA SG FL EX DA TI DT .. .. .. SM CU .. ..",
    /* IN */ "CH WC ST WS IN IN .. LI IN IN LI SG FL EX DA TI DT .. .. .. IN CU .. ..",
    /* LI */ "CH WC ST WS LI LI LI LI LI LI LI SG FL EX DA TI DT .. .. .. LI CU .. ..",
    /* BY */ "CH WC ST WS SM SM IN LI .. WO CA SG FL EX DA TI DT .. .. .. BY CU .. ..",
    /* WO */ "CH WC ST WS IN IN IN LI WO .. CA SG FL EX DA TI DT .. .. .. WO CU .. ..",
    /* CA */ "CH WC ST WS LI LI LI LI CA CA .. SG FL EX DA TI DT .. .. .. CA CU .. ..",
    /* SG */ "CH WC ST WS SG SG SG SG SG SG SG .. FL EX DA TI DT .. .. .. SG CU .. ..",
    /* FL */ "CH WC ST WS FL FL FL FL FL FL FL FL .. EX DA TI DT .. .. .. FL CU .. ..",
    /* EX */ "CH WC ST WS EX EX EX EX EX EX EX EX EX .. DA TI DT .. .. .. EX CU .. ..",
    /* DA */ "DA DA DA DA DA DA DA DA DA DA DA DA DA DA .. DT DT .. .. .. .. .. .. ..",
    /* TI */ "TI TI TI TI TI TI TI TI TI TI TI TI TI TI DT .. DT .. .. .. .. .. .. ..",
    /* DT */ "DT DT DT DT DT DT DT DT DT DT DT DT DT DT DT DT .. .. .. .. .. .. .. ..",
    /* BL */ ".. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. ..",
    /* ME */ "CH WC ST WS .. .. .. .. .. .. .. .. .. .. .. .. .. .. CH WC .. .. .. ..",
    /* WM */ "WC WC WS WS .. .. .. .. .. .. .. .. .. .. .. .. .. .. WC WC .. .. .. ..",
    /* LO */ "CH WC ST WS SI SM IN LI BY WO CA SG FL EX .. .. .. .. .. .. .. .. .. ..",
    /* CU */ "CH WC ST WS CU CU CU CU CU CU CU SG FL EX .. .. .. .. .. .. .. .. .. ..",
    /* BS */ ".. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. ..",
    /* VB */ ".. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. .. ..",
};

// The code of a cell's type (0 for ".."), or -1 when the cell names no type.
consteval int CellCode(std::string_view cell) {
  if (cell == "..") return 0;
  const size_t at = kTypeNames.find(cell);
  return cell.size() == 2 && at != std::string_view::npos && at % 3 == 0
             ? static_cast<int>(at / 3 + 1)
             : -1;
}

consteval std::string_view Cell(int first, int second) {
  return kCommonTypeRows[first - 1].substr(static_cast<size_t>(second - 1) * 3, 2);
}

consteval bool CommonTypeRowsAreWellFormed() {
  for (int first = 1; first <= kTypeCount; ++first) {
    if (kCommonTypeRows[first - 1].size() != kTypeNames.size()) return false;
    for (int second = 1; second <= kTypeCount; ++second) {
      if (CellCode(Cell(first, second)) < 0) return false;
    }
  }
  return true;
}
static_assert(CommonTypeRowsAreWellFormed(), "every cell of the common type table names a type");

using CommonTypeTable = std::array<std::array<T, kTypeCount + 1>, kTypeCount + 1>;

// The rows above as data types, indexed by code; row and column 0 (no type) stay None.
consteval CommonTypeTable ParseCommonTypeRows() {
  CommonTypeTable table{};
  for (int first = 1; first <= kTypeCount; ++first) {
    for (int second = 1; second <= kTypeCount; ++second) {
      table[first][second] = static_cast<T>(CellCode(Cell(first, second)));
    }
  }
  return table;
}

constexpr CommonTypeTable kCommonTypes = ParseCommonTypeRows();

}  // namespace

TQDXDataType CommonDataType(TQDXDataType first, TQDXDataType second) {
  const auto row = static_cast<size_t>(first);
  const auto column = static_cast<size_t>(second);
  // Codes come from stored definitions too: one beyond the table has no common type.
  if (row > kTypeCount || column > kTypeCount) return T::None;
  return kCommonTypes[row][column];
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
