// Field, index and constraint definitions: stored forms, collections and look-ups.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/core/constraint_def.h"
#include "engine/core/field_def.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/except.h"
#include "engine/foundation/memory_stream.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using F = TQDXFieldType;
using D = TQDXDataType;

std::vector<uint8_t> Bytes(TQDXMemoryStream& stream) {
  return {stream.Memory(), stream.Memory() + stream.Size()};
}

// ---- The tables of the cost tracker, and one with everything
// --------------------------------------

struct Table {
  TQDXFieldDefs fields;
  TQDXIndexDefs indexes;
  TQDXConstraintDefs constraints;

  void Save(TStream& stream) const {
    fields.SaveToStream(stream);
    indexes.SaveToStream(stream);
    constraints.SaveToStream(stream);
  }
  void Load(TStream& stream) {
    fields.LoadFromStream(stream);
    indexes.LoadFromStream(stream);
    constraints.LoadFromStream(stream);
  }
};

void NumberObjects(Table& t) {
  int32_t id = 1;
  for (int32_t i = 0; i < t.fields.Count(); ++i) t.fields.GetDef(i).SetObjectID(id++);
  for (int32_t i = 0; i < t.indexes.Count(); ++i) t.indexes.GetDef(i).SetObjectID(id++);
  for (int32_t i = 0; i < t.constraints.Count(); ++i) t.constraints.GetDef(i).SetObjectID(id++);
}

void MakeBrandstofkosten(Table& t) {
  t.fields.AddField("Datum", F::Date);
  t.fields.AddField("Omschrijving", F::String, 30);
  t.fields.AddField("Bedrijf", F::String, 30);
  t.fields.AddField("KMStand", F::Integer);
  t.fields.AddField("Liters", F::Float);
  t.fields.AddField("bedrag", F::Currency);
  t.fields.AddField("verbruik", F::Float);
  auto& index = static_cast<TQDXIndexDef&>(t.indexes.AddCreated());
  index.SetName("Datum");
  index.SetColumnCount(1);
  index.Column(0).SetFieldName("Datum");
  index.Column(0).MaxIndexedSize = kDefaultMaxIndexedSize;
  index.RootPageNo = 12;
  NumberObjects(t);
}

void MakeAutogegevens(Table& t) {
  t.fields.AddField("Merk", F::String, 20);
  t.fields.AddField("Type", F::String, 20);
  t.fields.AddField("Kenteken", F::String, 20);
  t.fields.AddField("Start_km-stand", F::Integer);
  t.fields.AddField("Gewicht", F::Integer);
  t.fields.AddField("Datum_deel_1", F::Date);
  NumberObjects(t);
}

// Every field type, BLOB settings, autoinc settings, defaults of several kinds, and the four
// constraint kinds.
void MakeEverything(Table& t) {
  for (int code = 1; code <= 36; ++code) {
    const auto type = static_cast<F>(code);
    if (FieldTypeToDataType(type) == D::None) continue;
    TQDXFieldDef& f = t.fields.AddField("F_" + std::string(FieldTypeName(type)), type,
                                        IsSizedFieldType(type) ? 20 : 0);
    if (IsAutoIncFieldType(type)) {
      f.AutoincIncrement = code;
      f.AutoincInitialValue = -code;
      f.AutoincMinValue = 2;
      f.AutoincMaxValue = 1000 + code;
      f.AutoincCycled = code % 2 == 0;
    }
    if (f.IsBlob()) {
      f.BlobCompressionAlgorithm = static_cast<uint8_t>(code % 4);
      f.BlobCompressionMode = 9;
      f.BlobBlockSize = 4096 + code;
    }
    TQDXVariant value;
    switch (type) {
      case F::Integer:
        value.SetAsInteger(-42);
        break;
      case F::LargeInt:
        value.SetAsLargeInt(int64_t{1} << 40);
        break;
      case F::String:
        value.SetAsString("Brandstof");
        break;
      case F::WideString:
        value.SetAsWideString(u"w\u00e9rk");
        break;
      case F::Float:
        value.SetAsFloat(2.5);
        break;
      case F::Currency:
        value.SetAsCurrency(12.34);
        break;
      case F::Date:
        value.SetAsDate(738000);
        break;
      case F::Logical:
        value.SetAsLogical(true);
        break;
      case F::Extended:
        value.SetAsExtended(1.0L / 3);
        break;
      default:
        break;
    }
    if (!value.IsNull()) f.SetDefaultValue(value);
  }
  auto& primary = static_cast<TQDXIndexDef&>(t.indexes.AddCreated());
  primary.SetName("PK");
  primary.Primary = primary.Unique = true;
  primary.SetColumnsFromLists({"F_INTEGER", "F_STRING"}, {"ASC", "DESC"}, {"CASE", "NO_CASE"});
  auto& temp = static_cast<TQDXIndexDef&>(t.indexes.AddCreated());
  temp.SetName("TEMPORARY_INDEX_1");
  temp.Temporary = true;
  NumberObjects(t);

  TQDXConstraintDefNotNull& notNull = t.constraints.AddNotNull();
  notNull.SetName("C_NotNull$F_INTEGER");
  notNull.TableRef.SetName("Everything");
  notNull.TargetRef = {"F_INTEGER", t.fields.FindField("F_INTEGER")->ObjectID()};
  TQDXConstraintDefCheck& check = t.constraints.AddCheck();
  check.SetName("C_Check$F_FLOAT");
  check.TableRef.SetName("Everything");
  check.TargetRef = {"F_FLOAT", t.fields.FindField("F_FLOAT")->ObjectID()};
  check.MaxValue.SetAsFloat(99.5);  // MinValue stays null: no lower bound
  std::unique_ptr<TQDXConstraintDefUnique> pk = MakeIndexConstraint(primary);
  pk->TableRef.SetName("Everything");
  pk->Columns[0].FieldID = 3;
  t.constraints.Add(std::move(pk));
  TQDXConstraintDefUnique& unique = t.constraints.AddUnique();
  unique.SetName("C_Unique$F_DATE");
  unique.Columns.push_back({"F_DATE", 99});
  NumberObjects(t);
}

// ---- Member-by-member comparison
// --------------------------------------------------------------------

void ExpectSameVariant(const TQDXVariant& a, const TQDXVariant& b, const std::string& where) {
  EXPECT_EQ(a.DataType(), b.DataType()) << where;
  ASSERT_EQ(a.IsNull(), b.IsNull()) << where;
  if (a.IsNull()) return;
  ASSERT_EQ(a.Size(), b.Size()) << where;
  EXPECT_EQ(std::memcmp(a.Data(), b.Data(), static_cast<size_t>(a.Size())), 0) << where;
}

void ExpectSameFields(const TQDXFieldDefs& a, const TQDXFieldDefs& b) {
  ASSERT_EQ(a.Count(), b.Count());
  for (int32_t i = 0; i < a.Count(); ++i) {
    const TQDXFieldDef& x = a.GetFieldDef(i);
    const TQDXFieldDef& y = b.GetFieldDef(i);
    const std::string where = "field " + x.Name();
    EXPECT_EQ(x.Name(), y.Name());
    EXPECT_EQ(x.ObjectID(), y.ObjectID()) << where;
    EXPECT_EQ(x.DataType, y.DataType) << where;
    EXPECT_EQ(x.FieldType, y.FieldType) << where;
    EXPECT_EQ(x.Size, y.Size) << where;
    EXPECT_EQ(x.MemorySize, y.MemorySize) << where;
    EXPECT_EQ(x.StoredSize, y.StoredSize) << where;
    EXPECT_EQ(x.BlobCompressionAlgorithm, y.BlobCompressionAlgorithm) << where;
    EXPECT_EQ(x.BlobCompressionMode, y.BlobCompressionMode) << where;
    EXPECT_EQ(x.BlobBlockSize, y.BlobBlockSize) << where;
    EXPECT_EQ(x.AutoincIncrement, y.AutoincIncrement) << where;
    EXPECT_EQ(x.AutoincInitialValue, y.AutoincInitialValue) << where;
    EXPECT_EQ(x.AutoincMinValue, y.AutoincMinValue) << where;
    EXPECT_EQ(x.AutoincMaxValue, y.AutoincMaxValue) << where;
    EXPECT_EQ(x.AutoincCycled, y.AutoincCycled) << where;
    ExpectSameVariant(x.DefaultValue(), y.DefaultValue(), where);
  }
}

void ExpectSameIndexes(const TQDXIndexDefs& a, const TQDXIndexDefs& b) {
  int32_t j = 0;
  for (int32_t i = 0; i < a.Count(); ++i) {
    const TQDXIndexDef& x = a.GetIndexDef(i);
    if (x.Temporary) continue;  // never stored
    ASSERT_LT(j, b.Count());
    const TQDXIndexDef& y = b.GetIndexDef(j++);
    EXPECT_EQ(x.Name(), y.Name());
    EXPECT_EQ(x.ObjectID(), y.ObjectID());
    EXPECT_EQ(x.IndexKind, y.IndexKind);
    EXPECT_EQ(x.Unique, y.Unique);
    EXPECT_EQ(x.Primary, y.Primary);
    EXPECT_EQ(x.RootPageNo, y.RootPageNo);
    EXPECT_FALSE(y.Temporary);
    ASSERT_EQ(x.ColumnCount(), y.ColumnCount());
    for (int32_t c = 0; c < x.ColumnCount(); ++c) {
      EXPECT_EQ(x.Column(c).FieldName, y.Column(c).FieldName);
      EXPECT_EQ(x.Column(c).Descending, y.Column(c).Descending);
      EXPECT_EQ(x.Column(c).CaseInsensitive, y.Column(c).CaseInsensitive);
      EXPECT_EQ(x.Column(c).MaxIndexedSize, y.Column(c).MaxIndexedSize);
    }
  }
  EXPECT_EQ(j, b.Count());
}

void ExpectSameConstraints(const TQDXConstraintDefs& a, const TQDXConstraintDefs& b) {
  ASSERT_EQ(a.Count(), b.Count());
  for (int32_t i = 0; i < a.Count(); ++i) {
    const auto& x = static_cast<const TQDXConstraintDefNotNull&>(a.GetDef(i));
    const auto& y = static_cast<const TQDXConstraintDefNotNull&>(b.GetDef(i));
    EXPECT_EQ(x.ClassName(), y.ClassName());
    EXPECT_EQ(x.ConstraintType(), y.ConstraintType());
    EXPECT_EQ(x.Name(), y.Name());
    EXPECT_EQ(x.ObjectID(), y.ObjectID());
    EXPECT_EQ(x.FirstRef, y.FirstRef);
    EXPECT_EQ(x.TableRef, y.TableRef);
    EXPECT_EQ(x.TargetRef, y.TargetRef);
    if (const auto* cx = dynamic_cast<const TQDXConstraintDefCheck*>(&x)) {
      const auto& cy = dynamic_cast<const TQDXConstraintDefCheck&>(y);
      ExpectSameVariant(cx->MinValue, cy.MinValue, x.Name());
      ExpectSameVariant(cx->MaxValue, cy.MaxValue, x.Name());
    }
    if (const auto* ux = dynamic_cast<const TQDXConstraintDefUnique*>(&x)) {
      EXPECT_EQ(ux->Columns, dynamic_cast<const TQDXConstraintDefUnique&>(y).Columns);
    }
  }
}

TEST(DefinitionsTest, WholeTablesRoundTripThroughTheStoredForm) {
  for (auto make : {MakeBrandstofkosten, MakeAutogegevens, MakeEverything}) {
    Table original;
    make(original);
    TQDXMemoryStream stream;
    original.Save(stream);
    stream.SetPosition(0);
    Table loaded;
    loaded.fields.AddField("stale", F::Integer);  // reading replaces what was there
    loaded.Load(stream);
    EXPECT_EQ(stream.Position(), stream.Size());
    ExpectSameFields(original.fields, loaded.fields);
    ExpectSameIndexes(original.indexes, loaded.indexes);
    ExpectSameConstraints(original.constraints, loaded.constraints);
    // Writing what was read gives the same bytes.
    TQDXMemoryStream again;
    loaded.Save(again);
    EXPECT_EQ(Bytes(again), Bytes(stream));
  }
}

TEST(DefinitionsTest, FieldBytesAreThoseOfTheFileFormat) {
  TQDXFieldDefs fields;
  fields.AddField("Datum", F::Date).SetObjectID(7);
  TQDXMemoryStream stream;
  fields.SaveToStream(stream);
  const std::vector<uint8_t> expected = {
      1,    0,    0,    0,                                   // count
      5,    'D',  'a',  't',  'u',  'm',  7,    0,    0, 0,  // name, ObjectID
      15,   25,   0,    0,    0,    0,                       // DATE, field type DATE, Size
      1,    0,    0,    0,    0,    0,    0,    0,           // increment
      0,    0,    0,    0,    0,    0,    0,    0,           // initial value
      0,    0,    0,    0,    0,    0,    0,    0,           // minimum
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F,        // maximum 2^63-1
      0,                                                     // not cycled
      15,   0xFF};  // a null default: two bytes, no BLOB items
  EXPECT_EQ(Bytes(stream), expected);
  stream.SetPosition(0);
  TQDXFieldDefs loaded;
  loaded.LoadFromStream(stream);
  const TQDXFieldDef& f = loaded.GetFieldDef(0);
  EXPECT_EQ(f.BlobCompressionAlgorithm, 0);
  EXPECT_EQ(f.BlobCompressionMode, 0);
  EXPECT_EQ(f.BlobBlockSize, 102400);
  EXPECT_EQ(f.MemorySize, 4);
  EXPECT_EQ(f.StoredSize, 4);
}

TEST(DefinitionsTest, CollectionsWriteOnlyWhatIsStored) {
  TQDXIndexDefs indexes;
  static_cast<TQDXIndexDef&>(indexes.AddCreated()).Temporary = true;
  TQDXMemoryStream stream;
  indexes.SaveToStream(stream);
  EXPECT_EQ(Bytes(stream), (std::vector<uint8_t>{0, 0, 0, 0}));

  TQDXConstraintDefs constraints;
  constraints.AddUnique().SetName("U");
  TQDXMemoryStream unique;
  constraints.SaveToStream(unique);
  const std::vector<uint8_t> bytes = Bytes(unique);
  // count, type 2, name, ID, three IDs, three names of n = 1 (int32) and one length byte each,
  // then a column count of 0 and nothing after it.
  ASSERT_EQ(bytes.size(), 4u + 1 + 2 + 4 + 12 + 3 * 5 + 4);
  EXPECT_EQ(bytes[4], 2);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()), (std::vector<uint8_t>{0, 0, 0, 0}));
}

// ---- A short stream at each item
// -----------------------------------------------------------------

// Notes where each non-empty write starts.
class RecordingStream : public TQDXMemoryStream {
 public:
  int32_t Write(const void* buffer, int32_t count) override {
    if (count > 0) starts.push_back(Position());
    return TQDXMemoryStream::Write(buffer, count);
  }
  std::vector<int32_t> starts;
};

// Takes no more than `capacity` bytes in all.
class CappedStream : public TQDXMemoryStream {
 public:
  explicit CappedStream(int32_t capacity) : capacity_(capacity) {}
  int32_t Write(const void* buffer, int32_t count) override {
    return TQDXMemoryStream::Write(buffer, std::min(count, std::max(0, capacity_ - Position())));
  }

 private:
  int32_t capacity_;
};

struct ItemCodes {
  int write;
  int read;
};

// Cuts the stored form at the start of each item in turn: writing then fails with that item's
// write code, reading with its read code.
void ExpectItemCodes(const std::string& what, const std::function<void(TStream&)>& save,
                     const std::function<void(TStream&)>& load,
                     const std::vector<ItemCodes>& expected) {
  RecordingStream full;
  save(full);
  ASSERT_EQ(full.starts.size(), expected.size()) << what;
  for (size_t k = 0; k < expected.size(); ++k) {
    const int32_t cut = full.starts[k];
    CappedStream capped(cut);
    EXPECT_EQ(testing::QdxErrorCode([&] { save(capped); }), expected[k].write)
        << what << " item " << k;
    TQDXMemoryStream shortStream;
    shortStream.Write(full.Memory(), cut);
    shortStream.SetPosition(0);
    EXPECT_EQ(testing::QdxErrorCode([&] { load(shortStream); }), expected[k].read)
        << what << " item " << k;
  }
  full.SetPosition(0);
  EXPECT_EQ(testing::QdxErrorCode([&] { load(full); }), 0) << what;
}

const std::vector<ItemCodes> kBase = {{10164, 10166}, {10165, 10167}, {10168, 10169}};
const std::vector<ItemCodes> kAutoinc = {
    {30412, 30407}, {30413, 30408}, {30414, 30409}, {30415, 30410}, {30416, 30411}};

std::vector<ItemCodes> Join(std::initializer_list<std::vector<ItemCodes>> parts) {
  std::vector<ItemCodes> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(DefinitionsTest, ShortStreamAtEachFieldItemFailsWithItsCode) {
  TQDXFieldDefs withDefault;
  TQDXVariant text;
  text.SetAsString("abc");
  withDefault.AddField("Omschrijving", F::String, 30).SetDefaultValue(text);
  // The variant checks the stored size against the stream before reading the data: a stream
  // that ends inside the data fails with the data item's code before anything is allocated.
  ExpectItemCodes(
      "string field", [&](TStream& s) { withDefault.SaveToStream(s); },
      [](TStream& s) { TQDXFieldDefs().LoadFromStream(s); },
      Join({{{10158, 10159}},
            kBase,
            {{10170, 10187}, {10171, 10188}, {10172, 10189}},
            kAutoinc,
            {{10179, 10183}, {10180, 10184}, {10181, 10185}, {10182, 10186}}}));

  TQDXFieldDefs blob;
  blob.AddField("Foto", F::Blob);
  ExpectItemCodes(
      "BLOB field", [&](TStream& s) { blob.SaveToStream(s); },
      [](TStream& s) { TQDXFieldDefs().LoadFromStream(s); },
      Join({{{10158, 10159}},
            kBase,
            {{10170, 10187}, {10171, 10188}, {10172, 10189}},
            {{10175, 10192}, {10176, 10193}, {10177, 10194}},
            kAutoinc,
            {{10179, 10183}, {10180, 10184}}}));
}

TEST(DefinitionsTest, ShortStreamAtEachIndexItemFailsWithItsCode) {
  TQDXIndexDefs indexes;
  auto& index = static_cast<TQDXIndexDef&>(indexes.AddCreated());
  index.SetName("Datum");
  index.SetColumnsFromLists({"Datum"}, {"ASC"}, {"CASE"});
  ExpectItemCodes(
      "index", [&](TStream& s) { indexes.SaveToStream(s); },
      [](TStream& s) { TQDXIndexDefs().LoadFromStream(s); },
      Join({{{10343, 10159}},
            kBase,
            {{10344, 10349}, {10345, 10350}, {10346, 10351}, {10347, 10352}, {10348, 10353}},
            {{10354, 10358}, {10355, 10359}, {10356, 10360}, {10357, 10361}, {20169, 20168}}}));
}

TEST(DefinitionsTest, ShortStreamAtEachConstraintItemFailsWithItsCode) {
  const std::vector<ItemCodes> head = {{10158, 10159}, {10219, 10220}};
  auto check = [](TQDXConstraintDefs& defs, const std::string& what,
                  const std::vector<ItemCodes>& codes) {
    ExpectItemCodes(
        what, [&](TStream& s) { defs.SaveToStream(s); },
        [](TStream& s) { TQDXConstraintDefs().LoadFromStream(s); }, codes);
  };

  TQDXConstraintDefs notNull;
  notNull.AddNotNull().SetName("NN");
  check(notNull, "not null",
        Join({head,
              kBase,
              {{10240, 10249},
               {10241, 10250},
               {10242, 10251},
               {10243, 10252},
               {10244, 10253},
               {10245, 10254},
               {10246, 10255},
               {10247, 10256},
               {10248, 10257}}}));

  TQDXConstraintDefs checks;
  TQDXConstraintDefCheck& c = checks.AddCheck();
  c.SetName("CK");
  c.MinValue.SetAsInteger(1);
  check(checks, "check",
        Join({head,
              kBase,
              {{10227, 10230},
               {10228, 10231},
               {10229, 10232},
               {10221, 10233},
               {10222, 10234},
               {10223, 10235},
               {10224, 10236},
               {10225, 10237},
               {10226, 10238}},
              {{10179, 10183}, {10180, 10184}, {10181, 10185}, {10182, 10186}},  // MinValue
              {{10179, 10183}, {10180, 10184}}}));                               // MaxValue

  TQDXConstraintDefs unique;
  unique.AddPrimary().SetName("C_PK$Datum");
  static_cast<TQDXConstraintDefUnique&>(unique.GetDef(0)).Columns.push_back({"Datum", 1});
  check(unique, "primary",
        Join({head,
              kBase,
              {{30313, 30303},
               {30314, 30304},
               {30318, 30317},
               {30315, 30305},
               {30316, 30306},
               {30317, 30307},
               {30318, 30308},
               {30323, 30321},
               {30324, 30322},
               {30319, 30309},
               {30320, 30310},
               {30321, 30311},
               {30322, 30312}}}));
}

TEST(DefinitionsTest, UnknownConstraintTypeIsRefused) {
  for (uint8_t type : {1, 5, 255}) {
    TQDXMemoryStream stream;
    const uint8_t bytes[] = {1, 0, 0, 0, type};
    stream.Write(bytes, sizeof bytes);
    stream.SetPosition(0);
    TQDXConstraintDefs defs;
    try {
      defs.LoadFromStream(stream);
      ADD_FAILURE();
    } catch (const EQDXException& e) {
      EXPECT_EQ(e.ErrorCode(), 30316);
      EXPECT_EQ(e.Message(),
                "Unknown Constraint Type: '" + std::to_string(type) + "' - Native error: 30316");
    }
  }
}

TEST(DefinitionsTest, DamagedLengthsAndCountsFailWithoutReadingOrAllocatingPastTheStream) {
  TQDXConstraintDefs defs;
  TQDXConstraintDefUnique& u = defs.AddUnique();
  u.SetName("U");
  TQDXMemoryStream stream;
  defs.SaveToStream(stream);
  // The FirstRef n of the unique constraint sits behind count, type, name and four IDs.
  const int32_t nOffset = 4 + 1 + 2 + 4 + 12;
  for (int32_t n : {-1, 0x7FFFFFFF}) {
    le::Store<int32_t>(stream.Memory() + nOffset, n);
    stream.SetPosition(0);
    EXPECT_EQ(testing::QdxErrorCode([&] { TQDXConstraintDefs().LoadFromStream(stream); }), 30306)
        << n;
  }
  // A huge column count of an index is read column by column until the stream ends.
  TQDXMemoryStream index;
  const uint8_t bytes[] = {1, 0, 0,    0,    1,    'I',  1,    0,    0,    0,   0,
                           0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF};
  index.Write(bytes, sizeof bytes);
  index.SetPosition(0);
  EXPECT_EQ(testing::QdxErrorCode([&] { TQDXIndexDefs().LoadFromStream(index); }), 10358);
  // A declared size no record could hold.
  TQDXFieldDefs fields;
  fields.AddField("S", F::String, 10);
  TQDXMemoryStream field;
  fields.SaveToStream(field);
  le::Store<int32_t>(field.Memory() + 4 + 2 + 4 + 2, -5);
  field.SetPosition(0);
  EXPECT_EQ(testing::QdxErrorCode([&] { TQDXFieldDefs().LoadFromStream(field); }), 30483);
}

// A stored field whose data type is not the one of its field type would be copied with one width
// into a slot of another: it is refused when read, whichever of the two bytes is off.
TEST(DefinitionsTest, FieldTypeAndDataTypeThatDoNotBelongTogetherAreRefused) {
  struct Case {
    F fieldType;
    int32_t size;
    D storedDataType;
    F storedFieldType;
  };
  const std::vector<Case> cases = {
      {F::Extended, 0, D::Byte, F::Extended},      // 10 bytes into a 1-byte slot
      {F::LargeInt, 0, D::Integer, F::LargeInt},   // 8 into 4
      {F::Byte, 0, D::Byte, F::Cardinal},          // 4 into 1
      {F::AutoIncShortInt, 0, D::ShortInt, F::AutoIncLargeInt},
      {F::String, 4, D::String, F::Float},
      {F::Memo, 0, D::Memo, F::Integer},           // a BLOB type read as a plain one
      {F::Integer, 0, D::Integer, static_cast<F>(200)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.fieldType));
    TQDXFieldDefs fields;
    fields.AddField("S", c.fieldType, c.size);
    TQDXMemoryStream stream;
    fields.SaveToStream(stream);
    // Count, name length, name, ObjectID; then the data type and field type bytes.
    constexpr int32_t kDataTypeOffset = 4 + 1 + 1 + 4;
    stream.SetPosition(0);
    EXPECT_NO_THROW(TQDXFieldDefs().LoadFromStream(stream));
    stream.Memory()[kDataTypeOffset] = static_cast<uint8_t>(c.storedDataType);
    stream.Memory()[kDataTypeOffset + 1] = static_cast<uint8_t>(c.storedFieldType);
    stream.SetPosition(0);
    EXPECT_EQ(testing::QdxErrorCode([&] { TQDXFieldDefs().LoadFromStream(stream); }), 30486);
  }
}

// ---- Collections
// ---------------------------------------------------------------------------------

TEST(DefinitionsTest, NameLookUpIgnoresCaseAndFindsTheFirst) {
  TQDXFieldDefs fields;
  fields.AddField("Datum", F::Date).SetObjectID(10);
  fields.AddField("DATUM", F::Integer).SetObjectID(11);
  fields
      .AddField(
          "Stra\xdf"
          "e",
          F::Integer)
      .SetObjectID(12);                                      // Windows-1252 sharp s
  fields.AddField("\xe9t\xe9", F::Integer).SetObjectID(13);  // e acute
  EXPECT_EQ(fields.IndexOfName("datum"), 0);
  EXPECT_EQ(fields.FindByName("DATUM")->ObjectID(), 10);
  EXPECT_EQ(fields.IndexOfName("\xc9T\xc9"), 3);  // upper-case E acute
  EXPECT_EQ(fields.IndexOfName("Dat"), -1);
  EXPECT_EQ(fields.IndexOfID(12), 2);
  EXPECT_EQ(fields.FindByID(11)->Name(), "DATUM");
  EXPECT_EQ(fields.FindByID(99), nullptr);
}

TEST(DefinitionsTest, NamesAreCutTo255Characters) {
  TQDXFieldDef f;
  f.SetName(std::string(300, 'x'));
  EXPECT_EQ(f.Name().size(), 255u);
}

TEST(DefinitionsTest, AssignCopiesAndRefusesDuplicateNames) {
  Table t;
  MakeBrandstofkosten(t);
  TQDXFieldDefs copy;
  copy.Assign(t.fields);
  ExpectSameFields(t.fields, copy);

  t.fields.AddField("OMSCHRIJVING", F::Integer);
  t.fields.AddField("after", F::Integer);
  try {
    copy.Assign(t.fields);
    ADD_FAILURE();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 10424);
    EXPECT_EQ(e.Message(), "Duplicate field name OMSCHRIJVING - Native error: 10424");
  }
  EXPECT_EQ(copy.Count(), 7);  // those copied before the duplicate

  TQDXIndexDefs indexes;
  indexes.Assign(t.indexes);
  EXPECT_EQ(indexes.GetIndexDef(0).Column(0).FieldName, "Datum");
  EXPECT_EQ(indexes.GetIndexDef(0).RootPageNo, 12);

  // The constraint collection has no generic AddCreated.
  TQDXConstraintDefs constraints;
  try {
    constraints.AddCreated();
    ADD_FAILURE();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.Message(),
              "The method 'InternalAddCreated' not overrided in class 'TQDXConstraintDefs' - "
              "Native error: 30339");
  }
}

// A constraint class of a type no kind has, as a damaged caller could make one.
class OddConstraint : public TQDXConstraintDef {
 public:
  OddConstraint() : TQDXConstraintDef(1) {}
};

TEST(DefinitionsTest, ConstraintAssignMakesEachKindAndRefusesOthers) {
  Table t;
  MakeEverything(t);
  TQDXConstraintDefs copy;
  copy.Assign(t.constraints);
  ExpectSameConstraints(t.constraints, copy);

  TQDXConstraintDefs odd;
  odd.AddNotNull().SetName("first");
  odd.Add(std::make_unique<OddConstraint>());
  odd.AddNotNull().SetName("first");  // names are not checked
  EXPECT_EQ(testing::QdxErrorCode([&] { copy.Assign(odd); }), 30035);
  EXPECT_EQ(copy.Count(), 1);
}

TEST(DefinitionsTest, DeleteInsertMoveAndReplaceKeepOrderAndOwnership) {
  TQDXFieldDefs fields;
  for (const char* name : {"A", "B", "C", "D"}) fields.AddField(name, F::Integer);
  auto names = [&] {
    std::string s;
    for (int32_t i = 0; i < fields.Count(); ++i) s += fields.GetDef(i).Name();
    return s;
  };
  fields.Move(0, 2);
  EXPECT_EQ(names(), "BCAD");
  fields.Move(3, 0);
  EXPECT_EQ(names(), "DBCA");
  fields.Delete(1);
  EXPECT_EQ(names(), "DCA");
  auto e = std::make_unique<TQDXFieldDef>();
  e->SetName("E");
  fields.Insert(3, std::move(e));
  auto f = std::make_unique<TQDXFieldDef>();
  f->SetName("F");
  fields.Replace(0, std::move(f));
  EXPECT_EQ(names(), "FCAE");
  EXPECT_EQ(testing::QdxErrorCode([&] { fields.Delete(4); }), 10413);
  EXPECT_EQ(testing::QdxErrorCode([&] { fields.GetDef(-1); }), 10413);
  fields.Clear();
  EXPECT_EQ(fields.Count(), 0);
}

TEST(DefinitionsTest, SetFieldTypeDerivesTheDataType) {
  TQDXFieldDef f;
  f.SetFieldType(F::AutoIncWord);
  EXPECT_EQ(f.DataType, D::Word);
  EXPECT_TRUE(f.IsAutoinc());
  f.SetFieldType(F::WideString, 20);
  EXPECT_EQ(f.MemorySize, 42);
  EXPECT_EQ(f.StoredSize, 42);
  f.SetFieldType(F::Memo);
  EXPECT_EQ(f.MemorySize, 10);
  EXPECT_EQ(f.StoredSize, 6);
  try {
    f.SetFieldType(F::None);
    ADD_FAILURE();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 30007);
  }
  EXPECT_EQ(f.FieldType, F::Memo);  // a failure changes nothing
}

// ---- Indexes for fields
// ----------------------------------------------------------------------------

TEST(DefinitionsTest, FindIndexForFieldsMatchesLeadingColumnsAndOptions) {
  TQDXFieldDefs fields;
  fields.AddField("Naam", F::String, 20);
  fields.AddField("Getal", F::Integer);
  TQDXIndexDefs indexes;
  auto add = [&](const char* name, int32_t id, std::vector<std::string> columns,
                 std::vector<std::string> orders, std::vector<std::string> cases) {
    auto& index = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    index.SetName(name);
    index.SetObjectID(id);
    index.SetColumnsFromLists(columns, orders, cases);
    return &index;
  };
  add("NaamGetal", 1, {"Naam", "Getal"}, {"ASC", "DESC"}, {"CASE", "CASE"});
  add("NaamCi", 2, {"Naam"}, {"ASC"}, {"NO_CASE"});
  add("GetalCi", 3, {"Getal"}, {"ASC"}, {"NO_CASE"});
  TQDXIndexDef* temp = add("Temp", 4, {"Getal"}, {"DESC"}, {""});
  temp->Temporary = true;
  temp->OwnerSessionID = 5;

  struct Case {
    std::vector<std::string> names, orders, cases;
    int32_t session;
    int32_t expected;
  };
  const Case cases[] = {
      {{"naam"}, {"ASC"}, {"CASE"}, 0, 1},  // a leading part of a longer index
      {{"NAAM", "getal"}, {"", "DESC"}, {"", ""}, 0, 1},
      {{"Naam", "Getal"}, {"", "ASC"}, {"", ""}, 0, -1},  // direction differs
      {{"Naam"}, {"ASC"}, {"NO_CASE"}, 0, 2},
      {{"Naam"}, {"DESC"}, {""}, 0, -1},
      {{"Getal"}, {"ASC"}, {"CASE"}, 0, 3},  // CASE matters only for strings
      {{"Getal"}, {"DESC"}, {""}, 0, -1},    // the temporary index is another session's
      {{"Getal"}, {"DESC"}, {""}, 5, 4},
      {{"Getal", "Naam"}, {"", ""}, {"", ""}, 5, -1},
      {{}, {}, {}, 0, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(indexes.FindIndexForFields(&c.names, &c.orders, &c.cases, fields, c.session),
              c.expected)
        << c.names.size() << (c.names.empty() ? "" : c.names[0]);
  }

  const std::vector<std::string> one = {"Naam"}, none;
  EXPECT_EQ(
      testing::QdxErrorCode([&] { indexes.FindIndexForFields(nullptr, &one, &one, fields, 0); }),
      10389);
  EXPECT_EQ(
      testing::QdxErrorCode([&] { indexes.FindIndexForFields(&one, nullptr, &one, fields, 0); }),
      10390);
  EXPECT_EQ(
      testing::QdxErrorCode([&] { indexes.FindIndexForFields(&one, &one, nullptr, fields, 0); }),
      10391);
  EXPECT_EQ(
      testing::QdxErrorCode([&] { indexes.FindIndexForFields(&one, &none, &one, fields, 0); }),
      10276);
  EXPECT_EQ(
      testing::QdxErrorCode([&] { indexes.FindIndexForFields(&one, &one, &none, fields, 0); }),
      10277);
}

TEST(DefinitionsTest, IndexFromListsAndItsConstraint) {
  TQDXIndexDef index;
  index.SetColumnsFromLists({"Datum", "Bedrijf"}, {"DESC", "desc"}, {"no_case", "NO_CASE"});
  ASSERT_EQ(index.ColumnCount(), 2);
  EXPECT_TRUE(index.Column(0).Descending);
  EXPECT_FALSE(index.Column(1).Descending);  // exactly "DESC"
  EXPECT_FALSE(index.Column(0).CaseInsensitive);
  EXPECT_TRUE(index.Column(1).CaseInsensitive);
  EXPECT_EQ(index.Column(1).MaxIndexedSize, 20);
  EXPECT_EQ(testing::QdxErrorCode([&] { index.SetColumnsFromLists({"a"}, {}, {"x"}); }), 10278);
  EXPECT_EQ(testing::QdxErrorCode([&] { index.SetColumnsFromLists({"a"}, {"x"}, {}); }), 10279);
  EXPECT_EQ(index.ColumnCount(), 2);  // a failure changes nothing

  TQDXIndexDef datum;
  datum.SetName("Datum");
  datum.SetObjectID(8);
  datum.SetColumnsFromLists({"Datum"}, {""}, {""});
  EXPECT_EQ(MakeIndexConstraint(datum), nullptr);  // a plain index implies nothing
  datum.Primary = true;
  std::unique_ptr<TQDXConstraintDefUnique> pk = MakeIndexConstraint(datum);
  ASSERT_NE(pk, nullptr);
  EXPECT_EQ(pk->ConstraintType(), ctPrimaryKey);
  EXPECT_EQ(pk->Name(), "C_PK$Datum");
  EXPECT_EQ(pk->TargetRef, (TQDXObjectRef{"Datum", 8}));
  EXPECT_EQ(pk->Columns, (std::vector<TQDXConstraintColumn>{{"Datum", 0}}));
  datum.Primary = false;
  datum.Unique = true;
  datum.SetColumnsFromLists({"A", "B"}, {"", ""}, {"", ""});
  pk = MakeIndexConstraint(datum);
  EXPECT_EQ(pk->ConstraintType(), ctUnique);
  EXPECT_EQ(pk->Name(), "C_Unique$A$B");

  index.SetColumnCount(3);
  EXPECT_EQ(index.Column(2).FieldName, "");
  EXPECT_EQ(index.Column(2).MaxIndexedSize, 0);
  index.SetColumnCount(1);
  EXPECT_EQ(index.Column(0).FieldName, "Datum");
}

}  // namespace
}  // namespace qdx
