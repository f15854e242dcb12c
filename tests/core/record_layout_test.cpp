// The record layout: slot sizes, offsets, layout conversion and single-field access.
#include "engine/core/record_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/types/encoding.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using F = TQDXFieldType;
using D = TQDXDataType;

TEST(RecordLayoutTest, BitmapAndRecordSizes) {
  struct Case {
    int fields;
    int bitmap;
  };
  for (const Case c : {Case{0, 0}, Case{1, 1}, Case{8, 1}, Case{9, 2}, Case{16, 2}, Case{17, 3}}) {
    TQDXFieldDefs defs;
    // GCC 12 at -O3 warns falsely (-Wrestrict) about the memcpy of "F" + std::string inlined
    // from the standard library; the concatenation is sound.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    for (int i = 0; i < c.fields; ++i) defs.AddField("F" + std::to_string(i), F::Byte);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    defs.CalculateOffsets();
    EXPECT_EQ(NullBitmapSize(c.fields), c.bitmap);
    EXPECT_EQ(defs.MemoryRecordSize(), c.bitmap + c.fields) << c.fields;
    EXPECT_EQ(defs.StoredRecordSize(), c.bitmap + c.fields) << c.fields;
    if (c.fields > 0) {
      EXPECT_EQ(defs.GetFieldDef(0).MemoryOffset, c.bitmap);
      EXPECT_EQ(defs.GetFieldDef(c.fields - 1).StoredOffset, c.bitmap + c.fields - 1);
    }
  }
}

TEST(RecordLayoutTest, SlotSizesOfEveryDataType) {
  struct Case {
    F type;
    int32_t size;
    int32_t memory;
    int32_t stored;
  };
  const Case cases[] = {
      {F::Char, 20, 21, 21},       {F::String, 20, 21, 21}, {F::WideChar, 20, 42, 42},
      {F::WideString, 20, 42, 42}, {F::ShortInt, 0, 1, 1},  {F::Byte, 0, 1, 1},
      {F::SmallInt, 0, 2, 2},      {F::Word, 0, 2, 2},      {F::Logical, 0, 2, 2},
      {F::Integer, 0, 4, 4},       {F::Cardinal, 0, 4, 4},  {F::Single, 0, 4, 4},
      {F::Date, 0, 4, 4},          {F::Time, 0, 4, 4},      {F::LargeInt, 0, 8, 8},
      {F::Float, 0, 8, 8},         {F::DateTime, 0, 8, 8},  {F::Currency, 0, 8, 8},
      {F::Extended, 0, 10, 10},    {F::Blob, 0, 10, 6},     {F::Memo, 0, 10, 6},
      {F::WideMemo, 0, 10, 6},     {F::Bytes, 16, 17, 17},  {F::VarBytes, 16, 17, 17},
      {F::String, 0, 1, 1},
  };
  for (const Case& c : cases) {
    TQDXFieldDef f;
    f.SetFieldType(c.type, c.size);
    EXPECT_EQ(f.MemorySize, c.memory) << FieldTypeName(c.type);
    EXPECT_EQ(f.StoredSize, c.stored) << FieldTypeName(c.type);
  }
  EXPECT_EQ(testing::QdxErrorCode([] { FieldMemorySize(D::None, 0); }), 30050);
  EXPECT_EQ(testing::QdxErrorCode([] { FieldMemorySize(static_cast<D>(25), 0); }), 30050);
  EXPECT_EQ(testing::QdxErrorCode([] { FieldMemorySize(D::WideString, -1); }), 30483);
  EXPECT_EQ(testing::QdxErrorCode([] { FieldMemorySize(D::WideString, 0x7FFFFFFF); }), 30483);
}

// INTEGER then BLOB: the example of a table with a BLOB.
class IntegerBlobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    defs_.AddField("Nummer", F::Integer);
    defs_.AddField("Foto", F::Blob);
    defs_.CalculateOffsets();
  }
  TQDXFieldDefs defs_;
};

TEST_F(IntegerBlobTest, LayoutsAndConversionBetweenThem) {
  EXPECT_EQ(defs_.MemoryRecordSize(), 1 + 4 + 10);
  EXPECT_EQ(defs_.StoredRecordSize(), 1 + 4 + 6);
  EXPECT_EQ(defs_.GetFieldDef(1).MemoryOffset, 5);
  EXPECT_EQ(defs_.GetFieldDef(1).StoredOffset, 5);

  const std::vector<uint8_t> buffer = {0xFE, 1,  2,  3,   4,   10,  11, 12,
                                       13,   14, 15, 0xA, 0xB, 0xC, 0xD};
  std::vector<uint8_t> stored(11, 0x55);
  MemoryToStored(defs_, buffer.data(), stored.data());
  EXPECT_EQ(stored, (std::vector<uint8_t>{0xFE, 1, 2, 3, 4, 10, 11, 12, 13, 14, 15}));

  std::vector<uint8_t> back(15, 0x55);
  StoredToMemory(defs_, stored.data(), back.data());
  // The BLOB handle does not survive storage: it comes back as zero.
  EXPECT_EQ(back, (std::vector<uint8_t>{0xFE, 1, 2, 3, 4, 10, 11, 12, 13, 14, 15, 0, 0, 0, 0}));
  EXPECT_TRUE(RecordsEqual(defs_, buffer.data(), back.data()));
  back[4] ^= 1;
  EXPECT_FALSE(RecordsEqual(defs_, buffer.data(), back.data()));
  back[4] ^= 1;
  back[0] ^= 1;  // the bitmap counts
  EXPECT_FALSE(RecordsEqual(defs_, buffer.data(), back.data()));
}

TEST_F(IntegerBlobTest, NewRecordIsAllNull) {
  std::vector<uint8_t> buffer(15, 0x55);
  InitRecordBuffer(defs_, buffer.data());
  EXPECT_EQ(buffer, (std::vector<uint8_t>{0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(IsNull(0, buffer.data()));
  EXPECT_FALSE(GetFieldData(0, defs_, nullptr, buffer.data()));
}

TEST(RecordLayoutTest, NullBitsOfNineFields) {
  std::vector<uint8_t> bitmap(2, 0);
  SetNull(true, 8, bitmap.data());
  SetNull(true, 0, bitmap.data());
  SetNull(true, 7, bitmap.data());
  EXPECT_EQ(bitmap, (std::vector<uint8_t>{0x81, 0x01}));
  SetNull(false, 0, bitmap.data());
  EXPECT_EQ(bitmap, (std::vector<uint8_t>{0x80, 0x01}));
  EXPECT_TRUE(IsNull(8, bitmap.data()));
  EXPECT_FALSE(IsNull(1, bitmap.data()));
}

// One field of each kind the dataset form treats apart, plus text and BLOB.
class FieldAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    defs_.AddField("S", F::String, 5);
    defs_.AddField("W", F::WideString, 3);
    defs_.AddField("SI", F::ShortInt);
    defs_.AddField("C", F::Cardinal);
    defs_.AddField("SG", F::Single);
    defs_.AddField("E", F::Extended);
    defs_.AddField("I", F::Integer);
    defs_.AddField("M", F::Memo);
    defs_.AddField("G", F::Guid, 38);
    defs_.CalculateOffsets();
    buffer_.assign(static_cast<size_t>(defs_.MemoryRecordSize()), 0);
    InitRecordBuffer(defs_, buffer_.data());
  }
  int32_t No(const char* name) const { return defs_.IndexOfName(name); }
  uint8_t* Slot(const char* name) {
    return buffer_.data() + defs_.GetFieldDef(No(name)).MemoryOffset;
  }

  TQDXFieldDefs defs_;
  std::vector<uint8_t> buffer_;
};

TEST_F(FieldAccessTest, DatasetFormsOfTheSpecialTypes) {
  uint8_t in[16] = {}, out[16] = {};
  le::Store<int16_t>(in, -5);
  SetFieldData(No("SI"), defs_, in, buffer_.data());
  EXPECT_EQ(le::Load<int8_t>(Slot("SI")), -5);
  ASSERT_TRUE(GetFieldData(No("SI"), defs_, out, buffer_.data()));
  EXPECT_EQ(le::Load<int16_t>(out), -5);
  // The autoinc one-byte integer takes the same 16-bit form, sign and all.
  TQDXFieldDefs bytes;
  bytes.AddField("SI", F::ShortInt);
  bytes.AddField("ASI", F::AutoIncShortInt);
  bytes.CalculateOffsets();
  std::vector<uint8_t> record(static_cast<size_t>(bytes.MemoryRecordSize()), 0);
  InitRecordBuffer(bytes, record.data());
  for (const int32_t fieldNo : {0, 1}) {
    for (const int16_t value : {-5, -128, 127, 0}) {
      le::Store<int16_t>(in, value);
      SetFieldData(fieldNo, bytes, in, record.data());
      std::memset(out, 0, sizeof out);
      ASSERT_TRUE(GetFieldData(fieldNo, bytes, out, record.data()));
      EXPECT_EQ(le::Load<int16_t>(out), value) << fieldNo;
    }
  }

  le::Store<int64_t>(in, 4000000000LL);
  SetFieldData(No("C"), defs_, in, buffer_.data());
  std::memset(out, 0xFF, sizeof out);
  ASSERT_TRUE(GetFieldData(No("C"), defs_, out, buffer_.data()));
  EXPECT_EQ(le::Load<int64_t>(out), 4000000000LL);  // a zero high half

  le::Store<double>(in, 0.1);
  SetFieldData(No("SG"), defs_, in, buffer_.data());
  EXPECT_EQ(le::Load<float>(Slot("SG")), 0.1f);
  ASSERT_TRUE(GetFieldData(No("SG"), defs_, out, buffer_.data()));
  EXPECT_EQ(le::Load<double>(out), static_cast<double>(0.1f));

  le::Store<double>(in, -2.75);
  SetFieldData(No("E"), defs_, in, buffer_.data());
  EXPECT_EQ(LoadExtended(Slot("E")), -2.75L);
  ASSERT_TRUE(GetFieldData(No("E"), defs_, out, buffer_.data()));
  EXPECT_EQ(le::Load<double>(out), -2.75);

  le::Store<int32_t>(in, -123456);
  SetFieldData(No("I"), defs_, in, buffer_.data());
  ASSERT_TRUE(GetFieldData(No("I"), defs_, out, buffer_.data()));
  EXPECT_EQ(le::Load<int32_t>(out), -123456);

  // A BLOB field answers "not null" without copying.
  le::Store<int32_t>(in, 7);
  SetFieldData(No("M"), defs_, in, buffer_.data());
  std::memset(out, 0xAB, sizeof out);
  EXPECT_TRUE(GetFieldData(No("M"), defs_, out, buffer_.data()));
  EXPECT_EQ(out[0], 0xAB);
}

TEST_F(FieldAccessTest, EmptyTextIsStoredAsNull) {
  const char text[6] = "Shell";
  SetFieldData(No("S"), defs_, text, buffer_.data());
  EXPECT_FALSE(IsNull(No("S"), buffer_.data()));
  char out[6] = {};
  ASSERT_TRUE(GetFieldData(No("S"), defs_, out, buffer_.data()));
  EXPECT_STREQ(out, "Shell");

  const char empty[6] = {};
  SetFieldData(No("S"), defs_, empty, buffer_.data());
  EXPECT_TRUE(IsNull(No("S"), buffer_.data()));
  EXPECT_FALSE(GetFieldData(No("S"), defs_, out, buffer_.data()));

  const uint8_t wideEmpty[8] = {0, 0, 'x', 0};
  const uint8_t wide[8] = {'a', 0, 'b', 0, 0, 0};
  SetFieldData(No("W"), defs_, wide, buffer_.data());
  EXPECT_FALSE(IsNull(No("W"), buffer_.data()));
  SetFieldData(No("W"), defs_, wideEmpty, buffer_.data());
  EXPECT_TRUE(IsNull(No("W"), buffer_.data()));

  const char guidEmpty[39] = {};
  SetFieldData(No("G"), defs_, guidEmpty, buffer_.data());
  EXPECT_TRUE(IsNull(No("G"), buffer_.data()));

  SetFieldData(No("I"), defs_, nullptr, buffer_.data());
  EXPECT_TRUE(IsNull(No("I"), buffer_.data()));
}

TEST_F(FieldAccessTest, TextSlotKeepsItsTerminator) {
  const char full[6] = {'a', 'b', 'c', 'd', 'e', 'f'};  // no terminator in the source
  SetFieldData(No("S"), defs_, full, buffer_.data());
  EXPECT_EQ(Slot("S")[5], 0);
  TQDXVariant v;
  GetFieldValue(v, No("S"), defs_, buffer_.data());
  EXPECT_EQ(v.AsString(), "abcde");
}

TEST_F(FieldAccessTest, ADamagedTextSlotIsReadNoFurtherThanTheSlot) {
  std::memset(Slot("S"), 'x', 6);  // no terminator, as a damaged stored record could hold
  SetNull(false, No("S"), buffer_.data());
  TQDXVariant v;
  GetFieldValue(v, No("S"), defs_, buffer_.data());
  EXPECT_EQ(v.AsString(), "xxxxx");
}

TEST_F(FieldAccessTest, BadFieldNumbersAndBuffers) {
  uint8_t out[16];
  EXPECT_EQ(testing::QdxErrorCode([&] { GetFieldData(9, defs_, out, buffer_.data()); }), 10000);
  EXPECT_EQ(testing::QdxErrorCode([&] { GetFieldData(-1, defs_, out, buffer_.data()); }), 10000);
  EXPECT_EQ(testing::QdxErrorCode([&] { GetFieldData(0, defs_, out, nullptr); }), 10003);
  EXPECT_EQ(testing::QdxErrorCode([&] { SetFieldData(9, defs_, out, buffer_.data()); }), 10004);
  EXPECT_EQ(testing::QdxErrorCode([&] { SetFieldData(0, defs_, out, nullptr); }), 10003);
  try {
    GetFieldData(9, defs_, out, buffer_.data());
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.Message(),
              "Invalid field number - FieldNo = 9, FieldCount = 9 - Native error: 10000");
  }
}

TEST_F(FieldAccessTest, EngineValuesConvertToTheFieldType) {
  TQDXVariant v;
  v.SetAsSmallInt(77);
  SetFieldValue(v, No("I"), defs_, buffer_.data());
  EXPECT_EQ(le::Load<int32_t>(Slot("I")), 77);
  TQDXVariant back;
  GetFieldValue(back, No("I"), defs_, buffer_.data());
  EXPECT_EQ(back.DataType(), D::Integer);
  EXPECT_EQ(back.AsInteger(), 77);

  TQDXVariant text;
  text.SetAsString("xyz");
  SetFieldValue(text, No("S"), defs_, buffer_.data());
  std::vector<uint8_t> before = buffer_;
  text.SetAsString("toolong");
  EXPECT_EQ(testing::QdxErrorCode([&] { SetFieldValue(text, No("S"), defs_, buffer_.data()); }),
            20056);
  EXPECT_EQ(buffer_, before);  // a refused value changes nothing

  text.SetAsString("ab");  // a shorter value leaves no trace of the longer one
  SetFieldValue(text, No("S"), defs_, buffer_.data());
  EXPECT_EQ(std::memcmp(Slot("S"), "ab\0\0\0\0", 6), 0);

  SetFieldValue(TQDXVariant(D::Integer), No("I"), defs_, buffer_.data());
  EXPECT_TRUE(IsNull(No("I"), buffer_.data()));
  GetFieldValue(back, No("I"), defs_, buffer_.data());
  EXPECT_TRUE(back.IsNull());
}

TEST_F(FieldAccessTest, ClearingStringTails) {
  std::memcpy(Slot("S"), "ab\0xy", 6);
  SetNull(false, No("S"), buffer_.data());
  const uint8_t wide[8] = {'a', 0, 0, 0, 'z', 0, 'q', 0};
  std::memcpy(Slot("W"), wide, 8);
  SetNull(false, No("W"), buffer_.data());
  std::memset(Slot("I"), 0x11, 4);  // not a string: untouched even when NULL
  ClearStringTails(defs_, buffer_.data());
  EXPECT_EQ(std::memcmp(Slot("S"), "ab\0\0\0\0", 6), 0);
  const uint8_t wideCleared[8] = {'a', 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(Slot("W"), wideCleared, 8), 0);
  EXPECT_EQ(Slot("I")[3], 0x11);

  std::memcpy(Slot("S"), "abcde", 6);
  SetNull(true, No("S"), buffer_.data());
  ClearStringTails(defs_, buffer_.data());
  EXPECT_EQ(std::memcmp(Slot("S"), "\0\0\0\0\0\0", 6), 0);  // a NULL slot is zeroed
}

}  // namespace
}  // namespace qdx
