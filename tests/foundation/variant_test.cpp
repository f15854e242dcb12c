#include "engine/foundation/types/variant.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/foundation/except.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/memory_stream.h"
#include "engine/foundation/types/compare.h"
#include "engine/foundation/types/encoding.h"
#include "tests/foundation/locale_pin.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using D = TQDXDataType;

class VariantTest : public ::testing::Test {
 protected:
  testing::ScopedUserLocale pin_{"en_US"};

  // Saves and loads through the stored form.
  static TQDXVariant RoundTrip(const TQDXVariant& v, int32_t* storedSize = nullptr) {
    TQDXMemoryStream stream;
    v.SaveToStream(stream);
    if (storedSize) *storedSize = stream.Size();
    stream.SetPosition(0);
    TQDXVariant loaded;
    loaded.SetAsInteger(7);  // reading clears what was there
    loaded.LoadFromStream(stream);
    EXPECT_EQ(stream.Position(), stream.Size());
    return loaded;
  }
};

TEST_F(VariantTest, NewVariantIsNullAndGettersSaySo) {
  TQDXVariant v(D::Integer);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.NullState(), 255);
  try {
    v.AsInteger();
    ADD_FAILURE();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 30016);
    EXPECT_EQ(e.Message(), "Value is Null - Native error: 30016");
  }
  EXPECT_EQ(v.AsString(), "");
  EXPECT_EQ(v.AsWideString(), u"");
  EXPECT_EQ(v.StringLength(), -1);
}

// Every data type with a setter keeps its value through its encoding and the stored form.
TEST_F(VariantTest, EveryTypeRoundTripsThroughTheStoredForm) {
  std::vector<TQDXVariant> values(21);
  values[0].SetAsShortInt(-128);
  values[1].SetAsSmallInt(-32768);
  values[2].SetAsInteger(INT32_MIN);
  values[3].SetAsLargeInt(INT64_MAX);
  values[4].SetAsByte(255);
  values[5].SetAsWord(65535);
  values[6].SetAsCardinal(4294967295u);
  values[7].SetAsSingle(-1.5e-30f);
  values[8].SetAsFloat(1.0 / 3);
  values[9].SetAsExtended(1.0L / 3);
  values[10].SetAsDate(738594);
  values[11].SetAsTime(86'399'999);
  values[12].SetAsDateTime({738594, 12'345'678});
  values[13].SetAsLogical(true);
  values[14].SetAsCurrency(-1234.5678);
  values[15].SetAsWideString(u"\u20AC \u4E2D");
  values[16].SetAsString("caf\xE9");
  values[17].SetData("memo text", 9, true, D::Memo);
  values[18].SetData("\x01\x00\xFF", 3, true, D::Bytes);
  values[19].SetData("0123456789", 10, true, D::Blob);
  values[20].SetData("a\0", 2, true, D::Char);
  const D expectedTypes[] = {
      D::ShortInt, D::SmallInt,   D::Integer,  D::LargeInt, D::Byte,  D::Word,     D::Cardinal,
      D::Single,   D::Float,      D::Extended, D::Date,     D::Time,  D::DateTime, D::Logical,
      D::Currency, D::WideString, D::String,   D::Memo,     D::Bytes, D::Blob,     D::Char};
  for (size_t i = 0; i < values.size(); ++i) {
    const TQDXVariant& v = values[i];
    ASSERT_EQ(v.DataType(), expectedTypes[i]) << i;
    if (i < 15) {
      EXPECT_EQ(v.Size(), DataSize(v.DataType())) << i;
    }
    int32_t stored = 0;
    const TQDXVariant loaded = RoundTrip(v, &stored);
    EXPECT_EQ(stored, 6 + v.Size());
    EXPECT_EQ(loaded.DataType(), v.DataType());
    ASSERT_EQ(loaded.Size(), v.Size());
    EXPECT_EQ(std::memcmp(loaded.Data(), v.Data(), v.Size()), 0) << i;
    if (i != 18 && i != 19) {  // BLOB has no order; BYTES order as text
      EXPECT_EQ(loaded.Compare(v, true, false, false), kCompareEqual) << i;
    }
  }
  EXPECT_EQ(RoundTrip(values[9]).AsExtended(), 1.0L / 3);
  EXPECT_EQ(RoundTrip(values[12]).AsDateTime(), (TQDXDateTime{738594, 12'345'678}));
  EXPECT_EQ(RoundTrip(values[15]).AsWideString(), u"\u20AC \u4E2D");
  // The raw bytes of LOGICAL true.
  EXPECT_EQ(le::Load<int16_t>(values[13].Data()), -1);
}

TEST_F(VariantTest, StoredNullIsTwoBytesAndDamagedFormsFail) {
  TQDXVariant null(D::String);
  int32_t stored = 0;
  const TQDXVariant loaded = RoundTrip(null, &stored);
  EXPECT_EQ(stored, 2);
  EXPECT_TRUE(loaded.IsNull());
  EXPECT_EQ(loaded.DataType(), D::String);

  const auto load = [](std::vector<uint8_t> bytes) {
    TQDXMemoryStream stream;
    stream.Write(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream.SetPosition(0);
    TQDXVariant v;
    v.LoadFromStream(stream);
    return v;
  };
  EXPECT_EQ(testing::QdxErrorCode([&] { load({7}); }), 10184);
  EXPECT_EQ(testing::QdxErrorCode([&] { load({7, 0, 4, 0}); }), 10185);
  EXPECT_EQ(testing::QdxErrorCode([&] {
              load({7, 0, 4, 0, 0, 0, 1, 2});
            }),
            10186);  // size past the end: the data's short read
  EXPECT_EQ(testing::QdxErrorCode([&] {
              load({7, 0, 0xFF, 0xFF, 0xFF, 0xFF});
            }),
            30481);  // negative
  EXPECT_EQ(testing::QdxErrorCode([&] {
              load({7, 0, 2, 0, 0, 0, 1, 2});
            }),
            30482);  // INTEGER of 2 bytes
  EXPECT_EQ(testing::QdxErrorCode([&] {
              load({3, 0, 2, 0, 0, 0, 'a', 'b'});
            }),
            30482);  // unterminated
  EXPECT_EQ(load({3, 0, 2, 0, 0, 0, 'a', 0}).AsString(), "a");
}

TEST_F(VariantTest, SettersConvertToTheVariantsType) {
  TQDXVariant text(D::String);
  text.SetAsInteger(-12);
  EXPECT_EQ(text.DataType(), D::String);
  EXPECT_EQ(text.AsString(), "-12");
  EXPECT_EQ(text.StringLength(), 3);
  text.SetAsLogical(false);
  EXPECT_EQ(text.AsString(), "False");

  TQDXVariant number(D::Integer);
  number.SetAsString("42");
  EXPECT_EQ(number.DataType(), D::Integer);
  EXPECT_EQ(number.AsInteger(), 42);
  EXPECT_EQ(number.AsString(), "42");
  EXPECT_EQ(number.AsFloat(), 42.0);
  // A failed conversion leaves the old value.
  EXPECT_EQ(testing::QdxErrorCode([&] { number.SetAsString("forty"); }), 30051);
  EXPECT_EQ(number.AsInteger(), 42);

  TQDXVariant date(D::Date);
  date.SetAsDateTimeValue(45000.75);
  EXPECT_EQ(date.AsDate(), 738594);
  EXPECT_EQ(date.AsDateValue(), 45000.0);
  TQDXVariant dt;
  dt.SetAsDateValue(45000.75);
  EXPECT_EQ(dt.DataType(), D::Date);
  TQDXVariant time;
  time.SetAsTimeValue(45000.75);
  EXPECT_EQ(time.AsTime(), 64'800'000);
  EXPECT_EQ(time.AsString(), "6:00:00 PM");

  // A value of the variant's own type is written over its block in place.
  TQDXVariant n;
  n.SetAsFloat(1.5);
  const uint8_t* block = n.Data();
  n.SetAsFloat(2.5);
  EXPECT_EQ(n.Data(), block);
  EXPECT_EQ(n.AsFloat(), 2.5);
}

TEST_F(VariantTest, EmptyTextIsNullAndCopiesOutNothing) {
  TQDXVariant v;
  v.SetAsString("abc");
  v.SetAsString("");
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), D::String);
  uint8_t buffer[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_FALSE(v.CopyDataTo(buffer, 8));
  EXPECT_EQ(buffer[0], 9);
  TQDXVariant wide;
  wide.SetAsWideString(u"");
  EXPECT_TRUE(wide.IsNull());
  // An empty text held as data (a terminator only) copies nothing either.
  const uint8_t zero[2] = {0, 0};
  v.SetData(zero, 1, true, D::String);
  EXPECT_FALSE(v.IsNull());
  EXPECT_FALSE(v.CopyDataTo(buffer, 8));
  wide.SetData(zero, 2, true, D::WideString);
  EXPECT_FALSE(wide.CopyDataTo(buffer, 8));

  v.SetAsString("abc");
  EXPECT_TRUE(v.CopyDataTo(buffer, 4));
  EXPECT_STREQ(reinterpret_cast<char*>(buffer), "abc");
  EXPECT_TRUE(v.CopyDataTo(buffer, -1));
  EXPECT_EQ(testing::QdxErrorCode([&] { v.CopyDataTo(buffer, 3); }), 20056);
  EXPECT_FALSE(TQDXVariant(D::Integer).CopyDataTo(buffer, 8));
}

TEST_F(VariantTest, DeepAndShallowAssignment) {
  TQDXVariant source;
  source.SetAsString("shared");
  TQDXVariant deep, shallow;
  deep.Assign(source, true);
  shallow.Assign(source, false);
  EXPECT_NE(deep.Data(), source.Data());
  EXPECT_FALSE(deep.IsBorrowed());
  EXPECT_EQ(shallow.Data(), source.Data());
  EXPECT_TRUE(shallow.IsBorrowed());
  EXPECT_EQ(deep.AsString(), "shared");
  EXPECT_EQ(shallow.AsString(), "shared");
  // Changing the borrowing variant's type converts into a block of its own, leaving the source.
  shallow.ChangeDataType(D::WideString);
  EXPECT_FALSE(shallow.IsBorrowed());
  EXPECT_EQ(source.AsString(), "shared");

  const int64_t before = QDXMemoryManager().Allocated();
  {
    TQDXVariant copy = source;  // deep
    TQDXVariant moved = std::move(copy);
    EXPECT_EQ(moved.AsString(), "shared");
    EXPECT_TRUE(copy.IsNull());
  }
  EXPECT_EQ(QDXMemoryManager().Allocated(), before);

  // Raw data: borrowed without copy; with copy the owned block is reused at the same size.
  uint8_t raw[4];
  le::Store<int32_t>(raw, 77);
  TQDXVariant v;
  v.SetData(raw, 4, false, D::Integer);
  EXPECT_TRUE(v.IsBorrowed());
  EXPECT_EQ(v.AsInteger(), 77);
  v.SetData(raw, 4, true, D::Integer);
  const uint8_t* owned = v.Data();
  le::Store<int32_t>(raw, 78);
  v.SetData(raw, 4, true, D::Integer);
  EXPECT_EQ(v.Data(), owned);
  EXPECT_EQ(v.AsInteger(), 78);

  // A value of the same size set on a borrower goes into a block of its own: borrowed bytes are
  // never written, and a moved borrower leaves nothing borrowed behind.
  TQDXVariant borrower;
  borrower.SetData(raw, 4, false, D::Integer);
  TQDXVariant movedBorrower = std::move(borrower);
  EXPECT_TRUE(movedBorrower.IsBorrowed());
  EXPECT_FALSE(borrower.IsBorrowed());
  EXPECT_TRUE(borrower.IsNull());
  movedBorrower.SetAsInteger(5);
  EXPECT_FALSE(movedBorrower.IsBorrowed());
  EXPECT_EQ(le::Load<int32_t>(raw), 78);
  EXPECT_EQ(movedBorrower.AsInteger(), 5);
}

TEST_F(VariantTest, ChangeDataType) {
  TQDXVariant null(D::Integer);
  null.ChangeDataType(D::String);
  EXPECT_EQ(null.DataType(), D::String);
  EXPECT_TRUE(null.IsNull());

  TQDXVariant memo;
  memo.SetData("text", 4, true, D::Memo);
  EXPECT_EQ(memo.StringLength(), 4);
  memo.ChangeDataType(D::String);
  EXPECT_EQ(memo.Size(), 5);
  EXPECT_EQ(memo.AsString(), "text");

  TQDXVariant v;
  v.SetAsString("3/5/2024");
  v.ChangeDataType(D::Date);
  EXPECT_EQ(v.AsString(), "3/5/2024");
  v.ChangeDataType(D::DateTime);
  EXPECT_EQ(v.AsDateTime().Time, 0);

  TQDXVariant bad;
  bad.SetAsString("not a number");
  EXPECT_EQ(testing::QdxErrorCode([&] { bad.ChangeDataType(D::Float); }), 30051);
  EXPECT_TRUE(bad.IsNull());
  EXPECT_EQ(bad.DataType(), D::Float);
}

TEST_F(VariantTest, PlatformVariantBothWays) {
  const struct {
    Variant in;
    D type;
  } cases[] = {
      {Variant::FromSmallint(-5), D::SmallInt},
      {Variant::FromInteger(70000), D::Integer},
      {Variant::FromSingle(0.5f), D::Single},
      {Variant::FromDouble(2.25), D::Float},
      {Variant::FromCurrency(12345), D::Currency},
      {Variant::FromDate(45000.5), D::DateTime},
      {Variant::FromOleStr(u"w\u00E9"), D::WideString},
      {Variant::FromBoolean(true), D::Logical},
      {Variant::FromByte(200), D::Byte},
      {Variant::FromString("ansi"), D::String},
  };
  for (const auto& c : cases) {
    TQDXVariant v;
    v.SetFromVariant(c.in);
    EXPECT_EQ(v.DataType(), c.type) << c.in.VarType();
    EXPECT_EQ(v.AsVariant(), c.in) << c.in.VarType();
  }
  TQDXVariant currency;
  currency.SetFromVariant(Variant::FromCurrency(12345));
  EXPECT_EQ(currency.AsCurrency(), 1.2345);

  TQDXVariant v;
  v.SetAsInteger(1);
  v.SetFromVariant(Variant::Null());
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.AsVariant(), Variant::Null());
  try {
    v.SetFromVariant(Variant::OfKind(0x0014));
    ADD_FAILURE();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 30113);
    EXPECT_EQ(e.Message(), "Unsupported Variant Type 20 - Native error: 30113");
  }
  TQDXVariant large;
  large.SetAsLargeInt(1);
  EXPECT_EQ(testing::QdxErrorCode([&] { large.AsVariant(); }), 30114);
  TQDXVariant word;
  word.SetAsWord(65535);
  EXPECT_EQ(word.AsVariant(), Variant::FromInteger(65535));
}

TEST_F(VariantTest, CompareFoldsNullsUnlessRaw) {
  TQDXVariant null(D::Integer), five;
  five.SetAsInteger(5);
  EXPECT_EQ(null.Compare(five, true, false, false), kCompareFirstNull);
  EXPECT_EQ(null.Compare(five, false, false, false), kCompareLess);
  EXPECT_EQ(five.Compare(null, false, false, false), kCompareGreater);
  EXPECT_EQ(null.Compare(TQDXVariant(D::Integer), true, false, false), kCompareBothNull);
  EXPECT_EQ(null.Compare(TQDXVariant(D::Integer), false, false, false), kCompareEqual);
  // A prefix search: the key's length decides.
  TQDXVariant value, key;
  value.SetAsString("Amsterdam");
  key.SetAsString("ams");
  EXPECT_EQ(value.Compare(key, false, true, true), kCompareEqual);
  EXPECT_EQ(value.Compare(key, false, false, true), kCompareGreater);
}

TEST_F(VariantTest, Arithmetic) {
  TQDXVariant a, b;
  a.SetAsInteger(7);
  b.SetAsSmallInt(2);
  a.Add(b);
  EXPECT_EQ(a.DataType(), D::Integer);
  EXPECT_EQ(a.AsInteger(), 9);
  a.Divide(b);
  EXPECT_EQ(a.AsInteger(), 4);  // truncated
  a.SetAsInteger(INT32_MAX);
  a.Multiply(b);
  EXPECT_EQ(a.DataType(), D::LargeInt);  // widened
  EXPECT_EQ(a.AsLargeInt(), 2LL * INT32_MAX);
  TQDXVariant f;
  f.SetAsFloat(1.5);
  f.Subtract(b);
  EXPECT_EQ(f.AsFloat(), -0.5);
  f.Negate();
  EXPECT_EQ(f.AsFloat(), 0.5);
  TQDXVariant byte;
  byte.SetAsByte(5);
  byte.Negate();
  EXPECT_EQ(byte.AsLargeInt(), -5);

  TQDXVariant zero;
  zero.SetAsInteger(0);
  try {
    a.Divide(zero);
    ADD_FAILURE();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 30128);
    EXPECT_EQ(e.Message(), "Division error: Division by zero - Native error: 30128");
  }
  TQDXVariant text;
  text.SetAsString("1");
  EXPECT_EQ(testing::QdxErrorCode([&] { text.Negate(); }), 30123);
  EXPECT_EQ(testing::QdxErrorCode([&] { a.Add(text); }), 30124);
  EXPECT_EQ(testing::QdxErrorCode([&] { a.Subtract(text); }), 30126);
  EXPECT_EQ(testing::QdxErrorCode([&] { a.Multiply(text); }), 30127);
  TQDXVariant null(D::Integer);
  a.Add(null);
  EXPECT_TRUE(a.IsNull());
}

}  // namespace
}  // namespace qdx
