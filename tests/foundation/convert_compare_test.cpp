#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/types/compare.h"
#include "engine/foundation/types/convert.h"
#include "engine/foundation/types/encoding.h"
#include "tests/foundation/locale_pin.h"

namespace qdx {
namespace {

using D = TQDXDataType;

int ErrorCodeOf(auto&& action) {
  try {
    action();
  } catch (const EQDXException& e) {
    return e.ErrorCode();
  }
  return 0;
}

// A value in its encoding, built the way a record buffer holds it.
struct Value {
  std::string bytes;
  D type;

  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(bytes.data()); }
  TQDXValueRef Ref() const { return {data(), static_cast<int32_t>(bytes.size()), type}; }
};

template <typename V>
Value Fixed(D type, V v) {
  std::string bytes(sizeof(V), '\0');
  le::Store<V>(reinterpret_cast<uint8_t*>(bytes.data()), v);
  return {bytes, type};
}
Value Text(D type, std::string_view text) {
  return {std::string(text) + '\0', type};
}
Value Wide(D type, std::u16string_view text) {
  std::string bytes((text.size() + 1) * 2, '\0');
  StoreWideText(reinterpret_cast<uint8_t*>(bytes.data()), text);
  return {bytes, type};
}
Value Logical(int16_t raw) {
  return Fixed<int16_t>(D::Logical, raw);
}
Value DateOf(int year, unsigned month, unsigned day) {
  int32_t n = 0;
  EXPECT_TRUE(TryEncodeDate(year, month, day, n));
  return Fixed<int32_t>(D::Date, n);
}

class ConvertCompareTest : public ::testing::Test {
 protected:
  testing::ScopedUserLocale pin_{"en_US"};

  int Compare(const Value& a, const Value& b, bool caseInsensitive = false, int32_t length = -1) {
    return CompareValues(a.data(), b.data(), a.type, b.type, false, false, length, caseInsensitive,
                         platform::UserDefaultLocale(), static_cast<int32_t>(a.bytes.size()),
                         static_cast<int32_t>(b.bytes.size()));
  }

  std::string ToText(const Value& v, D target = D::String) {
    int32_t size = 0;
    const TQDXMemBlock block = ConvertValue(v.Ref(), target, size);
    return std::string(LoadAnsiText(block.data(), size));
  }

  template <typename V>
  V Convert(const Value& v, D target) {
    int32_t size = 0;
    const TQDXMemBlock block = ConvertValue(v.Ref(), target, size);
    EXPECT_EQ(size, static_cast<int32_t>(sizeof(V)));
    return le::Load<V>(block.data());
  }
};

TEST_F(ConvertCompareTest, NullsAnswerWithoutLookingAtTheData) {
  const Value five = Fixed<int32_t>(D::Integer, 5);
  const platform::Locale& locale = platform::UserDefaultLocale();
  // Null buffers and even incompatible types are not looked at.
  EXPECT_EQ(
      CompareValues(nullptr, five.data(), D::Integer, D::Integer, true, false, -1, false, locale),
      kCompareFirstNull);
  EXPECT_EQ(
      CompareValues(five.data(), nullptr, D::Integer, D::Blob, false, true, -1, false, locale),
      kCompareSecondNull);
  EXPECT_EQ(CompareValues(nullptr, nullptr, D::Integer, D::Integer, true, true, -1, false, locale),
            kCompareBothNull);
  const int expectedThreeWay[] = {0, -1, 1, -1, 1, 0};
  for (int result = 0; result <= 5; ++result) {
    EXPECT_EQ(ThreeWay(result), expectedThreeWay[result]) << result;
  }
  // A value whose buffer is missing fails instead of being read.
  EXPECT_EQ(ErrorCodeOf([&] {
              CompareValues(nullptr, five.data(), D::Integer, D::Integer, false, false, -1, false,
                            locale);
            }),
            30140);
}

TEST_F(ConvertCompareTest, EqualTypesCompareInTheirOwnOrder) {
  EXPECT_EQ(Compare(Fixed<int8_t>(D::ShortInt, -1), Fixed<int8_t>(D::ShortInt, 1)), kCompareLess);
  EXPECT_EQ(Compare(Fixed<uint8_t>(D::Byte, 255), Fixed<uint8_t>(D::Byte, 1)), kCompareGreater);
  EXPECT_EQ(Compare(Fixed<uint32_t>(D::Cardinal, 0xFFFFFFFF), Fixed<uint32_t>(D::Cardinal, 1)),
            kCompareGreater);
  EXPECT_EQ(Compare(Fixed<int64_t>(D::LargeInt, INT64_MIN), Fixed<int64_t>(D::LargeInt, 0)),
            kCompareLess);
  EXPECT_EQ(Compare(Fixed<double>(D::Currency, 1.25), Fixed<double>(D::Currency, 1.5)),
            kCompareLess);
  EXPECT_EQ(Compare(Logical(1), Logical(-1)), kCompareEqual);
  EXPECT_EQ(Compare(Logical(0), Logical(7)), kCompareLess);
  Value early{std::string(8, '\0'), D::DateTime}, late{std::string(8, '\0'), D::DateTime};
  StoreDateTime(reinterpret_cast<uint8_t*>(early.bytes.data()), {700000, 86'399'999});
  StoreDateTime(reinterpret_cast<uint8_t*>(late.bytes.data()), {700001, 0});
  EXPECT_EQ(Compare(early, late), kCompareLess);
  Value e1{std::string(10, '\0'), D::Extended}, e2 = e1;
  StoreExtended(reinterpret_cast<uint8_t*>(e1.bytes.data()), 1.0L);
  StoreExtended(reinterpret_cast<uint8_t*>(e2.bytes.data()), 1.0L + 1e-18L);
  EXPECT_EQ(Compare(e1, e2), kCompareLess);  // beyond a double's precision
  EXPECT_EQ(Compare(Text(D::String, "abc"), Text(D::String, "ABC"), true), kCompareEqual);
  EXPECT_EQ(Compare(Text(D::String, "abc"), Text(D::String, "ABC"), false), kCompareLess);
  EXPECT_EQ(
      Compare(Wide(D::WideString, u"\u00E9t\u00E9"), Wide(D::WideString, u"\u00C9T\u00C9"), true),
      kCompareEqual);
  // A prefix comparison stops at the given length, and never reads past a terminator.
  EXPECT_EQ(Compare(Text(D::Char, "abcdef"), Text(D::Char, "abc"), false, 3), kCompareEqual);
  EXPECT_EQ(Compare(Text(D::Char, "ab"), Text(D::Char, "abc"), false, 3), kCompareLess);
  EXPECT_EQ(Compare(Wide(D::WideChar, u"abcdef"), Wide(D::WideChar, u"abc"), false, 3),
            kCompareEqual);
  // Keys too long for the stack still compare to their last character.
  const std::string longA = std::string(3000, 'k') + "a", longB = std::string(3000, 'k') + "b";
  EXPECT_EQ(Compare(Text(D::String, longA), Text(D::String, longB)), kCompareLess);
  EXPECT_EQ(Compare(Wide(D::WideString, std::u16string(longB.begin(), longB.end())),
                    Wide(D::WideString, std::u16string(longA.begin(), longA.end()))),
            kCompareGreater);
  // BYTES order as text, but a value without a zero ends with its size.
  const auto* p1 = reinterpret_cast<const uint8_t*>("abX");
  const auto* p2 = reinterpret_cast<const uint8_t*>("abY");
  EXPECT_EQ(CompareValues(p1, p2, D::Bytes, D::Bytes, false, false, -1, false,
                          platform::UserDefaultLocale(), 2, 2),
            kCompareEqual);
}

TEST_F(ConvertCompareTest, MixedTypesCompareInTheirCommonType) {
  // The text "10" against the text "9".
  EXPECT_EQ(CommonDataType(D::String, D::Integer), D::String);
  EXPECT_EQ(Compare(Text(D::String, "10"), Fixed<int32_t>(D::Integer, 9)), kCompareLess);
  EXPECT_EQ(Compare(Fixed<int32_t>(D::Integer, 9), Text(D::String, "10")), kCompareGreater);
  // A date against text converts the text to a date, not the date to text.
  EXPECT_EQ(CommonDataType(D::String, D::Date), D::Date);
  EXPECT_EQ(Compare(Text(D::String, "2024-03-05"), DateOf(2024, 3, 5)), kCompareEqual);
  EXPECT_EQ(Compare(DateOf(2024, 3, 5), Text(D::String, "3/6/2024")), kCompareLess);
  EXPECT_EQ(Compare(Fixed<int8_t>(D::ShortInt, -1), Fixed<uint8_t>(D::Byte, 200)), kCompareLess);
  EXPECT_EQ(Compare(Fixed<uint32_t>(D::Cardinal, 0xFFFFFFFF), Fixed<int32_t>(D::Integer, -1)),
            kCompareGreater);
  EXPECT_EQ(Compare(Fixed<double>(D::Currency, 2.5), Fixed<int16_t>(D::SmallInt, 2)),
            kCompareGreater);
  EXPECT_EQ(Compare(Fixed<int32_t>(D::Integer, -1), Logical(-1)), kCompareLess);  // true is 1
  EXPECT_EQ(Compare(Text(D::Char, "abc"), Wide(D::WideString, u"ABC"), true), kCompareEqual);
  Value memo{"hello", D::Memo};  // no terminator
  EXPECT_EQ(Compare(memo, Text(D::String, "hello")), kCompareEqual);
  EXPECT_EQ(Compare(memo, Value{"hellp", D::Memo}), kCompareLess);
  EXPECT_EQ(Compare(Fixed<int32_t>(D::Time, 3'600'000), DateOf(1899, 12, 30)), kCompareGreater);
}

TEST_F(ConvertCompareTest, IncompatibleAndUnorderedTypesFail) {
  const struct {
    D first, second;
  } incompatible[] = {{D::Char, D::Bytes},       {D::Bytes, D::Char},      {D::Blob, D::Blob},
                      {D::Logical, D::Date},     {D::Date, D::Currency},   {D::VarBytes, D::Bytes},
                      {D::Currency, D::Logical}, {D::WideMemo, D::Integer}};
  for (const auto& pair : incompatible) {
    EXPECT_EQ(CommonDataType(pair.first, pair.second), D::None);
  }
  try {
    Compare(Text(D::Char, "a"), Value{"a", D::Bytes});
    ADD_FAILURE();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 30044);
    EXPECT_EQ(e.Message(),
              "Cannot compare Incompatible DataTypes: 'CHAR' and 'BYTES' - Native error: 30044");
  }
  EXPECT_EQ(ErrorCodeOf([&] {
              Compare(Value{"0123456789", D::Blob}, Value{"0123456789", D::Blob});
            }),
            30047);
  // A failed conversion of an operand is a cast failure, and the temporaries are released.
  const int64_t allocated = QDXMemoryManager().Allocated();
  EXPECT_EQ(ErrorCodeOf([&] { Compare(Text(D::String, "next week"), DateOf(2024, 1, 1)); }), 30051);
  EXPECT_EQ(ErrorCodeOf([&] { Compare(Fixed<int32_t>(D::Integer, 1), Text(D::Char, "x")); }), 0);
  EXPECT_EQ(ErrorCodeOf([&] {
              Compare(Text(D::String, "1"), Value{"0123456789", D::Blob});
            }),
            30044);
  EXPECT_EQ(QDXMemoryManager().Allocated(), allocated);
}

TEST_F(ConvertCompareTest, CommonTypeOfEveryPair) {
  // Row: the first type's code, column: the second's (1..24); 0 where the two have no common
  // type. Equal types matter only for MEMO and WIDEMEMO, which compare through their common type.
  const char* const expected[24] = {
      // 1  2  3  4  5  6  7  8  9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24
      " 0  2  3  4  1  1  1  1  1  1  1  1  1  1 15 16 17  0  1  2  1  1  0  0",  // CHAR
      " 2  0  2  4  2  2  2  2  2  2  2  2  2  2 15 16 17  0  2  2  2  2  0  0",  // WIDECHAR
      " 3  2  0  4  3  3  3  3  3  3  3  3  3  3 15 16 17  0  3  4  3  3  0  0",  // STRING
      " 4  4  4  4  4  4  4  4  4  4  4  4  4  4 15 16 17  0  4  4  4  4  0  0",  // WIDESTRING
      " 1  2  3  4  0  6  7  8  6 10 11 12 13 14 15 16 17  0  0  0  5 22  0  0",  // SHORTINT
      " 1  2  3  4  6  0  7  8  6 10 11 12 13 14 15 16 17  0  0  0  6 22  0  0",  // SMALLINT
      " 1  2  3  4  7  7  0  8  7  7  8 12 13 14 15 16 17  0  0  0  7 22  0  0",  // INTEGER
      " 1  2  3  4  8  8  8  8  8  8  8 12 13 14 15 16 17  0  0  0  8 22  0  0",  // LARGEINT
      " 1  2  3  4  6  6  7  8  0 10 11 12 13 14 15 16 17  0  0  0  9 22  0  0",  // BYTE
      " 1  2  3  4  7  7  7  8 10  0 11 12 13 14 15 16 17  0  0  0 10 22  0  0",  // WORD
      " 1  2  3  4  8  8  8  8 11 11  0 12 13 14 15 16 17  0  0  0 11 22  0  0",  // CARDINAL
      " 1  2  3  4 12 12 12 12 12 12 12  0 13 14 15 16 17  0  0  0 12 22  0  0",  // SINGLE
      " 1  2  3  4 13 13 13 13 13 13 13 13  0 14 15 16 17  0  0  0 13 22  0  0",  // FLOAT
      " 1  2  3  4 14 14 14 14 14 14 14 14 14  0 15 16 17  0  0  0 14 22  0  0",  // EXTENDED
      "15 15 15 15 15 15 15 15 15 15 15 15 15 15  0 17 17  0  0  0  0  0  0  0",  // DATE
      "16 16 16 16 16 16 16 16 16 16 16 16 16 16 17  0 17  0  0  0  0  0  0  0",  // TIME
      "17 17 17 17 17 17 17 17 17 17 17 17 17 17 17 17  0  0  0  0  0  0  0  0",  // DATETIME
      " 0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0",  // BLOB
      " 1  2  3  4  0  0  0  0  0  0  0  0  0  0  0  0  0  0  1  2  0  0  0  0",  // MEMO
      " 2  2  4  4  0  0  0  0  0  0  0  0  0  0  0  0  0  0  2  2  0  0  0  0",  // WIDEMEMO
      " 1  2  3  4  5  6  7  8  9 10 11 12 13 14  0  0  0  0  0  0  0  0  0  0",  // LOGICAL
      " 1  2  3  4 22 22 22 22 22 22 22 12 13 14  0  0  0  0  0  0  0  0  0  0",  // CURRENCY
      " 0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0",  // BYTES
      " 0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0",  // VARBYTES
  };
  for (int first = 1; first <= 24; ++first) {
    std::istringstream row(expected[first - 1]);
    for (int second = 1; second <= 24; ++second) {
      int common = -1;
      row >> common;
      EXPECT_EQ(static_cast<int>(CommonDataType(static_cast<D>(first), static_cast<D>(second))),
                common)
          << DataTypeName(static_cast<D>(first)) << ", " << DataTypeName(static_cast<D>(second));
    }
  }
  // No type, and codes beyond the last (a damaged definition), have no common type with anything.
  for (int other = 0; other <= 255; ++other) {
    for (int outside : {0, 25, 200, 255}) {
      EXPECT_EQ(CommonDataType(static_cast<D>(outside), static_cast<D>(other)), D::None);
      EXPECT_EQ(CommonDataType(static_cast<D>(other), static_cast<D>(outside)), D::None);
    }
  }
  // Spot checks against the type names, which the codes above hide.
  EXPECT_EQ(CommonDataType(D::Currency, D::Single), D::Single);
  EXPECT_EQ(CommonDataType(D::Single, D::Currency), D::Currency);
  EXPECT_EQ(CommonDataType(D::Memo, D::Memo), D::Char);
  EXPECT_EQ(CommonDataType(D::WideMemo, D::String), D::WideString);
}

TEST_F(ConvertCompareTest, TextForms) {
  EXPECT_EQ(ToText(Fixed<int64_t>(D::LargeInt, INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(ToText(Fixed<uint32_t>(D::Cardinal, 4000000000u)), "4000000000");
  EXPECT_EQ(ToText(Fixed<float>(D::Single, 0.5f)), "0.5");
  EXPECT_EQ(ToText(Fixed<double>(D::Currency, -3.5)), "-$3.50");
  EXPECT_EQ(ToText(Logical(-1)), "True");
  EXPECT_EQ(ToText(Logical(0), D::Char), "False");
  EXPECT_EQ(ToText(DateOf(2024, 12, 31)), "12/31/2024");
  EXPECT_EQ(ToText(Fixed<int32_t>(D::Time, 45'296'000)), "12:34:56 PM");
  EXPECT_EQ(ToText(Wide(D::WideString, u"\u20AC5")),
            "\x80"
            "5");
  int32_t size = 0;
  const TQDXMemBlock memo = ConvertValue(Text(D::String, "abc").Ref(), D::Memo, size);
  EXPECT_EQ(size, 3);  // no terminator
  const TQDXMemBlock wide = ConvertValue(Text(D::String, "\x80").Ref(), D::WideString, size);
  ASSERT_EQ(size, 4);
  EXPECT_EQ(le::Load<char16_t>(wide.data()), u'\u20AC');
}

TEST_F(ConvertCompareTest, FromText) {
  EXPECT_EQ(Convert<int16_t>(Text(D::String, " -42"), D::SmallInt), -42);
  EXPECT_EQ(Convert<int32_t>(Text(D::String, "2.5"), D::Integer), 2);  // ties to even
  EXPECT_EQ(Convert<double>(Text(D::String, "1.5E3"), D::Float), 1500.0);
  EXPECT_EQ(Convert<double>(Text(D::String, "$1,234.50"), D::Currency), 1234.5);
  EXPECT_EQ(Convert<int16_t>(Text(D::String, "true"), D::Logical), -1);
  EXPECT_EQ(Convert<int16_t>(Text(D::String, "1"), D::Logical), -1);
  EXPECT_EQ(Convert<int16_t>(Text(D::String, "yes"), D::Logical), 0);
  EXPECT_EQ(Convert<int16_t>(Fixed<double>(D::Float, 0.1), D::Logical), -1);

  int32_t day = 0;
  ASSERT_TRUE(TryEncodeDate(2024, 3, 5, day));
  // The fixed numeric forms come before the locale's parsing.
  const struct {
    const char* text;
    D target;
    TQDXDateTime expected;
  } dates[] = {
      {"2024-03-05", D::Date, {day, 0}},
      {"2024-03-05 10:20:30", D::DateTime, {day, 37'230'000}},
      {"2024/03/05T10:20:30Z", D::DateTime, {day, 37'230'000}},
      {"2024-03-05 10:20:30", D::Date, {day, 0}},
      {"3/5/2024", D::Date, {day, 0}},  // the locale's form
      {"3/5/2024 10:20:30 AM", D::DateTime, {day, 37'230'000}},
      {"10:20:30", D::Time, {kDateDelta, 37'230'000}},
      {"10.20.30", D::Time, {kDateDelta, 37'230'000}},  // any one character ends a group
      {"10:20:30 PM", D::Time, {kDateDelta, 80'430'000}},
  };
  for (const auto& c : dates) {
    int32_t size = 0;
    const TQDXMemBlock block = ConvertValue(Text(D::String, c.text).Ref(), c.target, size);
    TQDXDateTime got;
    if (c.target == D::DateTime) {
      got = LoadDateTime(block.data());
    } else if (c.target == D::Date) {
      got = {le::Load<int32_t>(block.data()), 0};
    } else {
      got = {kDateDelta, le::Load<int32_t>(block.data())};
    }
    EXPECT_EQ(got, c.expected) << c.text;
  }
  // Text that fits no form, in any source type, is a cast failure naming both types.
  try {
    Convert<int32_t>(Text(D::Char, "2024-13-45"), D::Date);
    ADD_FAILURE();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 30051);
    EXPECT_EQ(e.Message(), "Cannot cast from 'CHAR' to 'DATE' - Native error: 30051");
  }
  for (const Value& bad : {Text(D::String, "12abc"), Text(D::String, ""), Text(D::String, "1e999"),
                           Wide(D::WideString, u"x")}) {
    EXPECT_EQ(ErrorCodeOf([&] { Convert<double>(bad, D::Float); }), 30051) << bad.bytes;
  }
  // UTF-16 and memo text use only the locale's parsing.
  EXPECT_EQ(ErrorCodeOf([&] { Convert<int32_t>(Wide(D::WideString, u"2024-03-05"), D::Date); }),
            30051);
  EXPECT_EQ(ErrorCodeOf([&] { Convert<int32_t>(Value{"2024-03-05", D::Memo}, D::Date); }), 30051);
}

TEST_F(ConvertCompareTest, NumbersByValueWithRangeChecks) {
  EXPECT_EQ(Convert<uint8_t>(Fixed<int64_t>(D::LargeInt, 255), D::Byte), 255);
  EXPECT_EQ(Convert<double>(Fixed<uint32_t>(D::Cardinal, 4000000000u), D::Float), 4e9);
  EXPECT_EQ(Convert<int32_t>(Fixed<double>(D::Float, -2.5), D::Integer), -2);
  EXPECT_EQ(Convert<int32_t>(Fixed<double>(D::Float, 45000.75), D::Date), 738594);
  EXPECT_EQ(Convert<double>(DateOf(1899, 12, 31), D::Float), 1.0);
  EXPECT_EQ(Convert<double>(Fixed<double>(D::Float, 1.23456789), D::Currency), 1.2346);
  for (const auto& c : {std::pair{Fixed<int64_t>(D::LargeInt, 256), D::Byte},
                        std::pair{Fixed<int32_t>(D::Integer, -1), D::Cardinal},
                        std::pair{Fixed<double>(D::Float, 3e9), D::Integer},
                        std::pair{Fixed<double>(D::Float, 1e300), D::Single},
                        std::pair{Fixed<double>(D::Float, 1e300), D::Date}}) {
    EXPECT_EQ(ErrorCodeOf([&] {
                int32_t size = 0;
                ConvertValue(c.first.Ref(), c.second, size);
              }),
              30051)
        << DataTypeName(c.second);
  }
  try {
    Convert<double>(Fixed<double>(D::Float, 1e15), D::Currency);
    ADD_FAILURE();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 10439);
    EXPECT_EQ(e.Message(), "'1E15' is not a valid currency value - Native error: 10439");
  }
  EXPECT_EQ(Convert<double>(Fixed<double>(D::Float, 922337203685477.0), D::Currency),
            922337203685477.0);
  // Pairs without any conversion.
  // Not a structured binding: clang 14 cannot capture one in the lambda below.
  for (const auto& pair : {std::pair{D::Blob, D::String}, std::pair{D::String, D::Bytes},
                           std::pair{D::Bytes, D::VarBytes}, std::pair{D::Date, D::Logical},
                           std::pair{D::Logical, D::Time}}) {
    const D from = pair.first;
    const D to = pair.second;
    EXPECT_FALSE(CanConvert(from, to));
    EXPECT_EQ(ErrorCodeOf([&] {
                int32_t size = 0;
                ConvertValue({reinterpret_cast<const uint8_t*>("0123456789"), 10, from}, to, size);
              }),
              30052);
  }
}

}  // namespace
}  // namespace qdx
