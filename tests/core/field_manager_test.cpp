// The field manager: definitions given to a table, defaults, autoinc counters and their state.
#include "engine/core/field_manager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "engine/core/record_layout.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/memory_stream.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using F = TQDXFieldType;
using D = TQDXDataType;

class FieldManagerTest : public ::testing::Test {
 protected:
  // "Nr" AUTOINC, "Naam" STRING(10), "Klein" AUTOINCBYTE; each with an object ID.
  void Give(const std::function<void(TQDXFieldDefs&)>& adjust = {}) {
    TQDXFieldDefs defs;
    defs.AddField("Nr", F::AutoInc).SetObjectID(101);
    defs.AddField("Naam", F::String, 10).SetObjectID(102);
    defs.AddField("Klein", F::AutoIncByte).SetObjectID(103);
    if (adjust) adjust(defs);
    manager_.SetDefinitions(defs);
    buffer_.assign(static_cast<size_t>(manager_.MemoryRecordSize()), 0);
  }
  uint8_t* NewRecord() {
    InitRecordBuffer(manager_.FieldDefs(), buffer_.data());
    return buffer_.data();
  }
  int32_t IntegerAt(int32_t fieldNo) {
    return le::Load<int32_t>(buffer_.data() +
                             manager_.FieldDefs().GetFieldDef(fieldNo).MemoryOffset);
  }
  int64_t Insert() {
    manager_.AssignAutoincValues(&session_, NewRecord());
    return IntegerAt(0);
  }

  TQDXBaseFieldManager manager_;
  TQDXBaseSession session_;
  std::vector<uint8_t> buffer_;
};

TEST_F(FieldManagerTest, AutoincCountsFromTheInitialValueAndFollowsCarriedValues) {
  Give();
  EXPECT_EQ(manager_.AutoincCounters(), (std::vector<int64_t>{0, 0, 0}));
  EXPECT_EQ(Insert(), 1);
  EXPECT_EQ(Insert(), 2);
  EXPECT_EQ(Insert(), 3);
  EXPECT_FALSE(IsNull(0, buffer_.data()));
  EXPECT_EQ(buffer_[manager_.FieldDefs().GetFieldDef(2).MemoryOffset], 3);  // one byte

  // A record that carries 10 raises the counter; the next generated value is 11.
  uint8_t* record = NewRecord();
  uint8_t ten[4];
  le::Store<int32_t>(ten, 10);
  SetFieldData(0, manager_.FieldDefs(), ten, record);
  manager_.AssignAutoincValues(&session_, record);
  EXPECT_EQ(IntegerAt(0), 10);
  EXPECT_EQ(manager_.LastAutoincValue(&session_, 0), 10);
  EXPECT_EQ(Insert(), 11);

  // A carried value below the counter changes nothing.
  record = NewRecord();
  le::Store<int32_t>(ten, 5);
  SetFieldData(0, manager_.FieldDefs(), ten, record);
  manager_.AssignAutoincValues(&session_, record);
  EXPECT_EQ(manager_.AutoincCounters()[0], 11);

  // Emptying the table starts again from the initial value.
  manager_.ResetAutoincCounters();
  EXPECT_EQ(Insert(), 1);
}

TEST_F(FieldManagerTest, StepInitialValueAndZeroStep) {
  Give([](TQDXFieldDefs& defs) {
    defs.GetFieldDef(0).AutoincInitialValue = 100;
    defs.GetFieldDef(0).AutoincIncrement = 0;  // counts as 1
    defs.GetFieldDef(2).AutoincIncrement = -2;
    defs.GetFieldDef(2).AutoincInitialValue = 50;
  });
  EXPECT_EQ(manager_.NextAutoincValue(0), 101);
  EXPECT_EQ(manager_.NextAutoincValue(2), 48);
  EXPECT_EQ(manager_.NextAutoincValue(2), 46);
}

TEST_F(FieldManagerTest, TheLimitFailsOrCycles) {
  for (bool cycled : {false, true}) {
    Give([&](TQDXFieldDefs& defs) {
      defs.GetFieldDef(0).AutoincMaxValue = 3;
      defs.GetFieldDef(0).AutoincMinValue = -7;
      defs.GetFieldDef(0).AutoincCycled = cycled;
    });
    EXPECT_EQ(manager_.NextAutoincValue(0), 1);
    EXPECT_EQ(manager_.NextAutoincValue(0), 2);
    EXPECT_EQ(manager_.NextAutoincValue(0), 3);
    if (cycled) {
      EXPECT_EQ(manager_.NextAutoincValue(0), -7);
      EXPECT_EQ(manager_.NextAutoincValue(0), -6);
      continue;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {  // every later call fails the same way
      try {
        manager_.NextAutoincValue(0);
        ADD_FAILURE();
      } catch (const EQDXException& e) {
        EXPECT_EQ(e.Message(), "Autoinc max value exceeded for field 'Nr' - Native error: 20160");
      }
    }
    // A failed insert leaves the record as it was.
    uint8_t* record = NewRecord();
    const std::vector<uint8_t> before = buffer_;
    EXPECT_EQ(testing::QdxErrorCode([&] { manager_.AssignAutoincValues(&session_, record); }),
              20160);
    EXPECT_EQ(buffer_, before);
  }
}

TEST_F(FieldManagerTest, AStepPastTheInt64RangeCountsAsPassingTheLimit) {
  for (int64_t max : {INT64_MAX, int64_t{0}}) {
    Give([&](TQDXFieldDefs& defs) {
      defs.GetFieldDef(0).AutoincInitialValue = INT64_MAX - 1;
      defs.GetFieldDef(0).AutoincMaxValue = max;
    });
    EXPECT_EQ(manager_.NextAutoincValue(0), INT64_MAX);
    EXPECT_EQ(testing::QdxErrorCode([&] { manager_.NextAutoincValue(0); }), 20160) << max;
    EXPECT_EQ(manager_.AutoincCounters()[0], INT64_MAX);
  }
}

TEST_F(FieldManagerTest, LastValueIsPerSession) {
  Give();
  TQDXBaseSession other;
  manager_.GenerateAutoincValue(&session_, 0);
  manager_.GenerateAutoincValue(&other, 0);
  manager_.GenerateAutoincValue(&session_, 2);
  EXPECT_EQ(manager_.LastAutoincValue(&session_, 0), 1);
  EXPECT_EQ(manager_.LastAutoincValue(&other, 0), 2);
  EXPECT_EQ(session_.FindNamedObjectByID(101)->Name(), "Nr");

  // Without a recorded value: the counter, or 0 for a field that is not autoinc ...
  TQDXBaseSession fresh;
  EXPECT_EQ(manager_.LastAutoincValue(&fresh, 0), 2);
  EXPECT_EQ(manager_.LastAutoincValue(&fresh, 1), 0);
  // ... but a multi-user session must have asked for one itself.
  fresh.SetMultiUser(true);
  try {
    manager_.LastAutoincValue(&fresh, 0);
    ADD_FAILURE();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.Message(),
              "No SequenceLastValue in session for sequence 'Nr'. Call GetNextVal first - "
              "Native error: 30012");
  }
  EXPECT_EQ(testing::QdxErrorCode([&] { manager_.LastAutoincValue(&fresh, 3); }), 30402);
}

TEST_F(FieldManagerTest, FieldNumbersOutsideTheFieldsOrCounters) {
  Give();
  EXPECT_EQ(testing::QdxErrorCode([&] { manager_.NextAutoincValue(3); }), 30402);
  EXPECT_EQ(testing::QdxErrorCode([&] { manager_.NextAutoincValue(-1); }), 30402);
  const uint8_t oneCounter[] = {1, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
  int32_t position = 0;
  manager_.LoadAutoincState(oneCounter, position);
  EXPECT_EQ(manager_.NextAutoincValue(0), 6);
  EXPECT_EQ(testing::QdxErrorCode([&] { manager_.NextAutoincValue(2); }), 30403);
}

TEST_F(FieldManagerTest, AutoincStateRoundTripsAndRefusesDamagedBytes) {
  Give([](TQDXFieldDefs& defs) { defs.GetFieldDef(2).AutoincInitialValue = -3; });
  manager_.NextAutoincValue(0);
  std::vector<uint8_t> bytes(2 + manager_.AutoincStateSize(), 0xEE);
  int32_t position = 2;
  manager_.SaveAutoincState(bytes, position);
  EXPECT_EQ(position, 2 + 4 + 3 * 8);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 2, bytes.begin() + 6),
            (std::vector<uint8_t>{3, 0, 0, 0}));

  TQDXBaseFieldManager other;
  position = 2;
  other.LoadAutoincState(bytes, position);
  EXPECT_EQ(position, 30);
  EXPECT_EQ(other.AutoincCounters(), (std::vector<int64_t>{1, 0, -3}));

  const std::vector<int64_t> kept = other.AutoincCounters();
  for (int32_t count : {-1, 4, 0x7FFFFFFF}) {
    le::Store<int32_t>(bytes.data() + 2, count);
    position = 2;
    EXPECT_EQ(testing::QdxErrorCode([&] { other.LoadAutoincState(bytes, position); }), 20056)
        << count;
    EXPECT_EQ(position, 2);
    EXPECT_EQ(other.AutoincCounters(), kept);
  }
  position = 3;
  EXPECT_EQ(testing::QdxErrorCode([&] { manager_.SaveAutoincState(bytes, position); }), 20056);
}

TEST_F(FieldManagerTest, DefaultsFillANewRecord) {
  TQDXFieldDefs defs;
  TQDXVariant value;
  value.SetAsString("Brandstof");
  defs.AddField("Omschrijving", F::String, 30).SetDefaultValue(value);
  value.Clear(D::None);
  value.SetAsInteger(42);
  defs.AddField("Liters", F::Float).SetDefaultValue(value);  // converted to FLOAT
  defs.AddField("Leeg", F::Integer);
  value.Clear(D::None);
  value.SetAsLogical(true);
  defs.AddField("Foto", F::Blob).SetDefaultValue(value);  // BLOBs take no default
  value.Clear(D::None);
  value.SetAsDate(738000);
  defs.AddField("Datum", F::Date).SetDefaultValue(value);
  manager_.SetDefinitions(defs);
  buffer_.assign(static_cast<size_t>(manager_.MemoryRecordSize()), 0);
  manager_.ApplyDefaults(&session_, NewRecord());

  const TQDXFieldDefs& f = manager_.FieldDefs();
  TQDXVariant got;
  GetFieldValue(got, 0, f, buffer_.data());
  EXPECT_EQ(got.AsString(), "Brandstof");
  GetFieldValue(got, 1, f, buffer_.data());
  EXPECT_EQ(got.DataType(), D::Float);
  EXPECT_EQ(got.AsFloat(), 42.0);
  EXPECT_TRUE(IsNull(2, buffer_.data()));
  EXPECT_TRUE(IsNull(3, buffer_.data()));
  GetFieldValue(got, 4, f, buffer_.data());
  EXPECT_EQ(got.AsDate(), 738000);
}

TEST_F(FieldManagerTest, ADefaultLongerThanItsSlotIsRefusedWhenGivenAndCutWhenStored) {
  TQDXFieldDefs defs;
  TQDXVariant value;
  value.SetAsString("Wegenbelasting");  // 14 characters for a field of 5
  defs.AddField("Kort", F::String, 5).SetDefaultValue(value);
  defs.GetFieldDef(0).SetObjectID(1);
  EXPECT_EQ(testing::QdxErrorCode([&] { manager_.SetDefinitions(defs); }), 20056);
  EXPECT_EQ(manager_.FieldDefs().Count(), 0);  // nothing changed

  // Definitions read from a file are not refused; the value is cut to the slot.
  TQDXMemoryStream stream;
  defs.SaveToStream(stream);
  stream.SetPosition(0);
  manager_.LoadDefinitions(stream);
  buffer_.assign(static_cast<size_t>(manager_.MemoryRecordSize()) + 4, 0x77);
  manager_.ApplyDefaults(&session_, NewRecord());
  EXPECT_EQ(std::memcmp(buffer_.data() + 1, "Wegen\0", 6), 0);
  EXPECT_EQ(buffer_[7], 0x77);  // nothing beyond the record
}

TEST_F(FieldManagerTest, DefinitionsThroughTheStream) {
  Give();
  TQDXMemoryStream stream;
  manager_.SaveDefinitions(stream);
  stream.SetPosition(0);
  TQDXBaseFieldManager loaded;
  loaded.LoadDefinitions(stream);
  EXPECT_EQ(loaded.FieldDefs().Count(), 3);
  EXPECT_EQ(loaded.FieldDefs().GetFieldDef(2).MemoryOffset, 1 + 4 + 11);
  EXPECT_EQ(loaded.AutoincCounters(), (std::vector<int64_t>{0, 0, 0}));
  EXPECT_FALSE(loaded.HasBlobFields());
}

TEST_F(FieldManagerTest, BlobFieldsNeedABlockSize) {
  Give([](TQDXFieldDefs& defs) { defs.AddField("Foto", F::Blob); });
  EXPECT_TRUE(manager_.HasBlobFields());
  for (int32_t blockSize : {0, -1}) {
    Give([&](TQDXFieldDefs& defs) {
      defs.AddField("Foto", F::Blob);
      defs.AddField("Notitie", F::Memo).BlobBlockSize = blockSize;
    });
    try {
      manager_.HasBlobFields();
      ADD_FAILURE();
    } catch (const EQDXException& e) {
      EXPECT_EQ(e.Message(),
                "BLOB block size should be > 0 for field Notitie - Native error: 10421");
    }
  }
}

// A stand-in for the expression evaluator: "NEXT" counts up for every new record.
class CountingExpression : public TQDXDefaultExpression {
 public:
  TQDXVariant Evaluate() override {
    TQDXVariant v;
    v.SetAsInteger(++count_);
    return v;
  }

 private:
  int count_ = 0;
};

std::unique_ptr<TQDXDefaultExpression> ParseNext(const TQDXVariant& value) {
  if (value.AsString() != "NEXT") return nullptr;
  return std::make_unique<CountingExpression>();
}

TEST_F(FieldManagerTest, AnExpressionDefaultIsEvaluatedForEveryRecord) {
  SetDefaultExpressionParser(ParseNext);
  TQDXFieldDefs defs;
  TQDXVariant text;
  text.SetAsString("NEXT");
  defs.AddField("Volgnr", F::Integer).SetDefaultValue(text);
  text.SetAsString("plain");
  defs.AddField("Tekst", F::String, 10).SetDefaultValue(text);
  manager_.SetDefinitions(defs);
  SetDefaultExpressionParser(nullptr);
  ASSERT_NE(manager_.FieldDefs().GetFieldDef(0).DefaultExpression(), nullptr);
  EXPECT_EQ(manager_.FieldDefs().GetFieldDef(1).DefaultExpression(), nullptr);
  buffer_.assign(static_cast<size_t>(manager_.MemoryRecordSize()), 0);
  for (int32_t expected = 1; expected <= 2; ++expected) {
    manager_.ApplyDefaults(&session_, NewRecord());
    EXPECT_EQ(IntegerAt(0), expected);
  }
}

}  // namespace
}  // namespace qdx
