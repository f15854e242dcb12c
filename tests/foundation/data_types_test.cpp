#include "engine/foundation/types/data_types.h"

#include <gtest/gtest.h>

#include "engine/foundation/except.h"
#include "engine/foundation/types/date_time.h"
#include "engine/foundation/types/encoding.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using D = TQDXDataType;
using F = TQDXFieldType;

TEST(TypeTableTest, CanonicalRowsWinEveryLookup) {
  // Data type to field type takes the first row holding the data type.
  const struct {
    D data;
    F field;
  } canonical[] = {{D::Char, F::Char},       {D::WideChar, F::WideChar}, {D::String, F::String},
                   {D::Single, F::Single},   {D::Float, F::Float},       {D::Blob, F::Blob},
                   {D::Memo, F::Memo},       {D::WideMemo, F::WideMemo}, {D::Integer, F::Integer},
                   {D::Logical, F::Logical}, {D::None, F::None}};
  for (const auto& c : canonical) {
    EXPECT_EQ(DataTypeToFieldType(c.data), c.field) << static_cast<int>(c.data);
  }
  EXPECT_EQ(FieldTypeToDataType(F::AutoIncWord), D::Word);
  EXPECT_EQ(FieldTypeToDataType(F::Guid), D::Char);
  EXPECT_EQ(FieldTypeToDataType(F::TimeStamp), D::DateTime);
  EXPECT_EQ(FieldTypeToDataType(static_cast<F>(37)), D::None);

  EXPECT_EQ(FieldTypeToDatasetFieldType(F::Float), ftFloat);  // row 33 before ftBCD's row 34
  EXPECT_EQ(FieldTypeToDatasetFieldType(F::TimeStamp), ftUnknown);
  EXPECT_EQ(FieldTypeToDatasetFieldType(F::Cardinal), ftLargeint);
  EXPECT_EQ(FieldTypeToDatasetFieldType(static_cast<F>(0)), ftUnknown);

  EXPECT_EQ(DatasetFieldTypeToFieldType(ftBCD), F::Float);
  EXPECT_EQ(FieldTypeToDataType(DatasetFieldTypeToFieldType(ftBCD)), D::Float);
  EXPECT_EQ(DatasetFieldTypeToFieldType(ftWideString), F::WideChar);
  EXPECT_EQ(DatasetFieldTypeToFieldType(ftUnknown), F::TimeStamp);
  EXPECT_EQ(DatasetFieldTypeToFieldType(ftWord), F::Word);
  EXPECT_EQ(DatasetFieldTypeToFieldType(ftAutoInc), F::AutoInc);
  for (TFieldType blobLike :
       {ftBlob, ftParadoxOle, ftTypedBinary, ftDBaseOle, ftOraBlob, ftOraClob}) {
    EXPECT_EQ(DatasetFieldTypeToFieldType(blobLike), F::Blob) << static_cast<int>(blobLike);
  }
}

TEST(TypeTableTest, DatasetFieldTypesWithoutARowFailWithTheirOrdinal) {
  for (TFieldType missing :
       {ftCursor, ftADT, ftArray, ftReference, ftDataSet, ftVariant, ftInterface, ftIDispatch}) {
    try {
      DatasetFieldTypeToFieldType(missing);
      ADD_FAILURE() << "no failure for " << static_cast<int>(missing);
    } catch (const EQDXException& e) {
      EXPECT_EQ(e.ErrorCode(), 30289);
      EXPECT_EQ(e.Message(), "Unknown DataType: '" + std::to_string(static_cast<int>(missing)) +
                                 "' - Native error: 30289");
    }
  }
}

TEST(TypeTableTest, Names) {
  EXPECT_EQ(DataTypeName(D::WideChar), "WIDECHAR");
  EXPECT_EQ(DataTypeName(D::String), "STRING");
  EXPECT_EQ(DataTypeName(D::Single), "SINGLE");
  EXPECT_EQ(DataTypeName(D::Float), "FLOAT");
  EXPECT_EQ(DataTypeName(D::Logical), "LOGICAL");
  EXPECT_EQ(DataTypeName(D::Currency), "CURRENCY");
  EXPECT_EQ(DataTypeName(D::None), "Unknown");
  EXPECT_EQ(DataTypeName(static_cast<D>(99)), "Unknown");
  EXPECT_EQ(FieldTypeName(F::AutoIncWord), "AUTOINCWORD");
  EXPECT_EQ(FieldTypeName(F::Currency), "CURRENCY");
  EXPECT_EQ(FieldTypeName(F::Guid), "GUID");
  EXPECT_EQ(FieldTypeFromName("MONEY"), F::Currency);
  EXPECT_EQ(FieldTypeFromName("CLOB"), F::Memo);
  EXPECT_EQ(FieldTypeFromName("NUMBER"), F::None);
}

TEST(DataSizeTest, EveryDataType) {
  const int32_t expected[25] = {0, 11, 22, 11, 22, 1,  2,  4,  8, 1, 2,  4, 4,
                                8, 10, 4,  4,  8,  10, 10, 10, 2, 8, 11, 11};
  for (int code = 1; code <= 24; ++code) {
    EXPECT_EQ(DataSize(static_cast<D>(code), 10), expected[code]) << code;
  }
  EXPECT_EQ(DataSize(D::Char, 0), 1);
  EXPECT_EQ(DataSize(D::WideString, 0), 2);
  EXPECT_EQ(testing::QdxErrorCode([] { DataSize(D::None, 1); }), 30050);
  EXPECT_EQ(testing::QdxErrorCode([] { DataSize(static_cast<D>(25), 1); }), 30050);
}

TEST(TypeClassTest, Boundaries) {
  EXPECT_TRUE(IsStringOrGuidFieldType(F::Guid));
  EXPECT_FALSE(IsStringFieldType(F::Guid));
  EXPECT_TRUE(IsSizedFieldType(F::VarBytes));
  EXPECT_FALSE(IsSizedFieldType(F::Guid));
  EXPECT_TRUE(IsAutoIncFieldType(F::AutoInc));
  EXPECT_TRUE(IsAutoIncFieldType(F::AutoIncCardinal));
  EXPECT_FALSE(IsAutoIncFieldType(F::Single));
  EXPECT_TRUE(IsBlobFieldType(F::WideMemo));
  EXPECT_FALSE(IsBlobFieldType(F::Guid));
  EXPECT_TRUE(IsWideFieldType(F::WideChar));
  EXPECT_FALSE(IsWideFieldType(F::String));
  EXPECT_TRUE(IsNumericDataType(D::Currency));
  EXPECT_TRUE(IsNumericDataType(D::Extended));
  EXPECT_FALSE(IsNumericDataType(D::Date));
  EXPECT_FALSE(IsNumericDataType(D::Logical));
  EXPECT_TRUE(IsDateTimeDataType(D::DateTime));
  EXPECT_TRUE(IsBlobDataType(D::WideMemo));
  EXPECT_TRUE(IsWideStringDataType(D::WideString));
  EXPECT_FALSE(IsWideStringDataType(D::WideMemo));
}

TEST(DateTimeTest, DayNumbersAndDateValues) {
  EXPECT_EQ(DateValueToDayNumber(0.0), 693594);
  int32_t day = 0;
  ASSERT_TRUE(TryEncodeDate(1899, 12, 30, day));
  EXPECT_EQ(day, 693594);
  ASSERT_TRUE(TryEncodeDate(1, 1, 1, day));
  EXPECT_EQ(day, 1);
  ASSERT_TRUE(TryEncodeDate(2024, 2, 29, day));
  const TCalendarDate back = DecodeDate(day);
  EXPECT_EQ(back.Year, 2024);
  EXPECT_EQ(back.Month, 2u);
  EXPECT_EQ(back.Day, 29u);
  EXPECT_FALSE(TryEncodeDate(2023, 2, 29, day));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, day));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, day));

  // Milliseconds are rounded to the nearest, not truncated.
  const double oneMs = 1.0 / kMSecsPerDay;
  EXPECT_EQ(DateTimeToQDX(45000 + 0.5 + 0.6 * oneMs), (TQDXDateTime{738594, 43'200'001}));
  EXPECT_EQ(DateTimeToQDX(45000 + 0.5 + 0.4 * oneMs), (TQDXDateTime{738594, 43'200'000}));
  // A time that rounds to midnight belongs to the next day.
  EXPECT_EQ(DateTimeToQDX(45000 + 1 - 0.1 * oneMs), (TQDXDateTime{738595, 0}));
  // Before 1899-12-30 the fraction is still the time of day.
  EXPECT_EQ(DateTimeToQDX(-1.25), (TQDXDateTime{693593, 21'600'000}));
  EXPECT_DOUBLE_EQ(QDXToDateTime({693593, 21'600'000}), -1.25);
  EXPECT_DOUBLE_EQ(QDXToDateTime({738594, 43'200'000}), 45000.5);
}

TEST(EncodingTest, ExtendedIsTheTenByteX87Format) {
  uint8_t bytes[10];
  StoreExtended(bytes, 1.0L);
  // Mantissa 0x8000000000000000 (explicit integer bit), exponent 0x3FFF.
  const uint8_t one[10] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
  EXPECT_EQ(std::memcmp(bytes, one, 10), 0);
  for (long double v : {0.0L, -2.5L, 1.0L / 3, 1e4000L, -1e-4000L}) {
    StoreExtended(bytes, v);
    EXPECT_EQ(LoadExtended(bytes), v);
  }
}

}  // namespace
}  // namespace qdx
