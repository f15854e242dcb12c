// The managers of a table: constraints (resolution, naming, the checks in collection order with
// and without raising), indexes (temporary indexes per session, rebuilding stale ones after a
// rollback, implied constraints, failed builds), the merge of search conditions and the bit
// array behind record bitmaps.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/core/constraint_manager.h"
#include "engine/core/index_manager.h"
#include "engine/core/record_bitmap.h"
#include "engine/core/record_layout.h"
#include "engine/core/scan_condition.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/platform/random.h"
#include "tests/core/memory_table.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using testing::TMemoryDatabaseData;
using testing::TMemoryTableData;
using testing::TTestCursor;

// Whether `text` is `prefix` followed by 1 to 5 decimal digits.
bool IsPrefixAndNumber(const std::string& text, const std::string& prefix) {
  if (text.rfind(prefix, 0) != 0) return false;
  const std::string digits = text.substr(prefix.size());
  return !digits.empty() && digits.size() <= 5 &&
         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether `text` is a GUID's text form "{XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}" (upper-case hex,
// version 4, Y one of 8, 9, A, B).
bool IsGuidText(const std::string& text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    const char c = text[i];
    if (dash != (c == '-')) return false;
    if (!dash && !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return text[15] == '4' && std::string("89AB").find(text[20]) != std::string::npos;
}

// The table "Tanken": Datum INTEGER, Liter INTEGER, Ort STRING(10); index ByDatum (Datum),
// unique index ByLiterOrt (Liter, Ort).
class TableManagersTest : public ::testing::Test {
 protected:
  void SetUp() override { session.SetSessionID(0); }

  TMemoryTableData& Create(const TQDXConstraintDefs& constraints, bool primary = false) {
    TQDXTableCursor creator;
    creator.Session = &session;
    creator.TableName = "Tanken";
    auto* table = static_cast<TMemoryTableData*>(database.GetTableData(creator));
    TQDXFieldDefs fields;
    fields.AddField("Datum", TQDXFieldType::Integer);
    fields.AddField("Liter", TQDXFieldType::Integer);
    fields.AddField("Ort", TQDXFieldType::String, 10);
    TQDXIndexDefs indexes;
    auto& datum = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    datum.SetName("ByDatum");
    datum.SetColumnsFromLists({"Datum"}, {""}, {""});
    auto& pair = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    pair.SetName("ByLiterOrt");
    pair.SetColumnsFromLists({"Liter", "Ort"}, {"", ""}, {"", ""});
    pair.Unique = !primary;
    pair.Primary = primary;
    table->CreateTable(creator, fields, constraints, indexes);
    return *table;
  }

  static void Fill(TQDXTableData& table, uint8_t* buffer, std::optional<int32_t> datum,
                   std::optional<int32_t> liter, const char* ort) {
    const TQDXFieldDefs& fields = table.FieldManager().FieldDefs();
    InitRecordBuffer(fields, buffer);
    SetFieldData(0, fields, datum ? &*datum : nullptr, buffer);
    SetFieldData(1, fields, liter ? &*liter : nullptr, buffer);
    char text[11] = {};
    if (ort != nullptr) std::string(ort).copy(text, 10);
    SetFieldData(2, fields, ort != nullptr ? text : nullptr, buffer);
  }

  TMemoryDatabaseData database;
  TQDXBaseSession session;
};

TEST_F(TableManagersTest, ConstraintsAreResolvedAndNamed) {
  TQDXConstraintDefs constraints;
  constraints.AddNotNull().TargetRef.SetName("Datum");
  constraints.AddNotNull().TargetRef.SetName("datum");  // same base name: a random suffix
  auto& check = constraints.AddCheck();
  check.TargetRef.SetName("Liter");
  TMemoryTableData& table = Create(constraints);
  TQDXConstraintDefs& defs = table.ConstraintManager().ConstraintDefs();
  const TQDXFieldDefs& fields = table.FieldManager().FieldDefs();
  const auto& first = static_cast<TQDXConstraintDefNotNull&>(defs.GetConstraintDef(0));
  EXPECT_EQ(first.Name(), "$C_NotNull$Tanken$Datum");
  EXPECT_EQ(first.TargetRef.ID, fields.FindField("Datum")->ObjectID());
  EXPECT_EQ(first.TableRef.Name, "Tanken");
  EXPECT_TRUE(IsPrefixAndNumber(defs.GetDef(1).Name(), "$C_NotNull$Tanken$datum"))
      << defs.GetDef(1).Name();
  EXPECT_EQ(defs.GetDef(2).Name(), "$C_Check$Tanken$Liter");
}

TEST_F(TableManagersTest, UnresolvableReferencesFail) {
  struct Case {
    const char* what;
    std::function<void(TQDXConstraintDefs&)> add;
    int32_t code;
  } cases[] = {
      {"not null field", [](auto& c) { c.AddNotNull().TargetRef.SetName("Nope"); }, 30027},
      {"unique index",
       [](auto& c) {
         auto& u = c.AddUnique();
         u.SetName("U");
         u.TargetRef.SetName("Nope");
       },
       30326},
      {"primary field",
       [](auto& c) {
         auto& p = c.AddPrimary();
         p.SetName("P");
         p.TargetRef.SetName("ByDatum");
         p.Columns.push_back({"Nope", 0});
       },
       30331},
      {"unnamed unique",
       [](auto& c) {
         auto& u = c.AddUnique();
         u.TargetRef.SetName("ByDatum");
       },
       30038},
  };
  for (const Case& c : cases) {
    TMemoryDatabaseData db;
    TQDXTableCursor creator;
    creator.TableName = c.what;
    TQDXConstraintDefs constraints;
    c.add(constraints);
    auto* table = static_cast<TMemoryTableData*>(db.GetTableData(creator));
    TQDXFieldDefs fields;
    fields.AddField("Datum", TQDXFieldType::Integer);
    TQDXIndexDefs indexes;
    auto& datum = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    datum.SetName("ByDatum");
    datum.SetColumnsFromLists({"Datum"}, {""}, {""});
    EXPECT_EQ(::qdx::testing::QdxErrorCode(
                  [&] { table->CreateTable(creator, fields, constraints, indexes); }),
              c.code)
        << c.what;
  }
}

TEST_F(TableManagersTest, CheckRecordRunsInCollectionOrderRaisingOrNot) {
  TQDXConstraintDefs constraints;
  constraints.AddNotNull().TargetRef.SetName("Datum");
  auto& check = constraints.AddCheck();
  check.SetName("LiterRange");
  check.TargetRef.SetName("Liter");
  check.MinValue.Clear(TQDXDataType::Integer);
  check.MinValue.SetAsInteger(1);
  check.MaxValue.Clear(TQDXDataType::Integer);
  check.MaxValue.SetAsInteger(80);
  auto& unique = constraints.AddUnique();
  unique.SetName("C_Unique$Liter$Ort");
  unique.TargetRef.SetName("ByLiterOrt");
  unique.Columns = {{"Liter", 0}, {"Ort", 0}};
  TMemoryTableData& table = Create(constraints);
  TTestCursor cursor(session, table);
  TQDXBaseConstraintManager& manager = table.ConstraintManager();
  Fill(table, cursor.Buffer, 1, 40, "Graz");
  ASSERT_TRUE(table.InsertRecord(cursor));

  struct Case {
    std::optional<int32_t> datum;
    std::optional<int32_t> liter;
    const char* ort;
    int32_t code;  // 0: passes
    const char* message;
  } cases[] = {
      {2, 41, "Graz", 0, ""},
      {2, std::nullopt, "Graz", 0, ""},  // a NULL value is within any bounds
      {std::nullopt, 41, "Graz", 30026,
       "Constraint '$C_NotNull$Tanken$Datum' violated. Value in field 'Datum' cannot be null"},
      {2, 0, "Graz", 30029,
       "Constraint 'LiterRange' violated. Value in field 'Liter' cannot be lower than '1'"},
      {2, 81, "Graz", 30030,
       "Constraint 'LiterRange' violated. Value in field 'Liter' cannot be greater than '80'"},
      {2, 40, "Graz", 30320, "Constraint unique 'C_Unique$Liter$Ort' violated. Duplicate found."},
      // Not null comes first in the collection.
      {std::nullopt, 40, "Graz", 30026, "cannot be null"},
  };
  for (const Case& c : cases) {
    Fill(table, cursor.Buffer, c.datum, c.liter, c.ort);
    const bool holds =
        manager.CheckRecord(0, cursor.Buffer, true, false, {}, /*inserting=*/true, nullptr);
    EXPECT_EQ(holds, c.code == 0) << c.message;
    if (c.code == 0) continue;
    EXPECT_QDX_ERROR(manager.CheckRecord(0, cursor.Buffer, true, true, {}, true, nullptr), c.code,
                     c.message);
  }
  // Without the uniqueness check the duplicate passes; an update of the record itself passes.
  Fill(table, cursor.Buffer, 2, 40, "Graz");
  EXPECT_TRUE(manager.CheckRecord(0, cursor.Buffer, false, true, {}, true, nullptr));
  cursor.AtBOF = true;
  ASSERT_EQ(table.GetRecord(cursor, grmNext), grOK);
  EXPECT_TRUE(manager.CheckRecord(0, cursor.Buffer, true, true, cursor.RecordID, false, nullptr));
}

TEST_F(TableManagersTest, PrimaryKeyWithNullFields) {
  TMemoryTableData& table = Create(TQDXConstraintDefs(), /*primary=*/true);
  TTestCursor cursor(session, table);
  TQDXIndexDef def;
  def.SetName("PK");
  def.Primary = true;
  def.SetColumnsFromLists({"Liter", "Ort"}, {"", ""}, {"", ""});
  // The index given with the table implies no constraint; one added later does.
  table.AddIndex(def, cursor);
  TQDXBaseConstraintManager& manager = table.ConstraintManager();
  ASSERT_EQ(manager.ConstraintDefs().Count(), 1);
  EXPECT_EQ(manager.ConstraintDefs().GetDef(0).Name(), "C_PK$Liter$Ort");

  Fill(table, cursor.Buffer, 1, std::nullopt, nullptr);
  EXPECT_QDX_ERROR(manager.CheckRecord(0, cursor.Buffer, true, true, {}, true, nullptr), 30330,
                   "Constraint 'C_PK$Liter$Ort' violated. Value in field 'Liter,Ort' cannot be "
                   "null");
  Fill(table, cursor.Buffer, 1, 40, nullptr);  // one NULL field passes
  EXPECT_TRUE(manager.CheckRecord(0, cursor.Buffer, true, true, {}, true, nullptr));
  ASSERT_TRUE(table.InsertRecord(cursor));
  EXPECT_QDX_ERROR(manager.CheckRecord(0, cursor.Buffer, true, true, {}, true, nullptr), 30319,
                   "Primary Key constraint 'C_PK$Liter$Ort' violated. Duplicate found.");
  // Dropping the index takes its constraint along.
  table.DeleteIndex(table.IndexManager().IndexDefs().FindIndex("PK")->ObjectID(), &cursor);
  EXPECT_EQ(manager.ConstraintDefs().Count(), 0);
  EXPECT_QDX_ERROR(table.DeleteIndex(12345, &cursor), 20018, "Index not found");
}

TEST_F(TableManagersTest, FailedIndexBuildLeavesNoDefinition) {
  TMemoryTableData& table = Create(TQDXConstraintDefs());
  TTestCursor cursor(session, table);
  Fill(table, cursor.Buffer, 1, 2, "x");
  ASSERT_TRUE(table.InsertRecord(cursor));
  TQDXIndexDef def;
  def.SetName("Broken");
  def.SetColumnsFromLists({"NoSuchField"}, {""}, {""});
  const int32_t before = table.IndexManager().IndexDefs().Count();
  EXPECT_EQ(::qdx::testing::QdxErrorCode([&] { table.AddIndex(def, cursor); }), 20043);
  EXPECT_EQ(table.IndexManager().IndexDefs().Count(), before);
  EXPECT_EQ(table.IndexManager().IndexDefs().FindIndex("Broken"), nullptr);
  EXPECT_QDX_ERROR(table.IndexManager().GetIndex(-5), 20018, "Index not found");
}

TEST_F(TableManagersTest, TemporaryIndexesBelongToTheirSession) {
  TMemoryTableData& table = Create(TQDXConstraintDefs());
  TQDXBaseSession second;
  second.SetSessionID(1);
  TTestCursor mine(session, table);
  TTestCursor theirs(second, table);
  for (int32_t d : {3, 1, 2}) {
    Fill(table, mine.Buffer, d, d, "o");
    ASSERT_TRUE(table.InsertRecord(mine));
  }
  const std::vector<std::string> names{"Liter"}, orders{"DESC"}, cases{""};
  bool created = false;
  const int32_t a = table.GetOrCreateIndexForFields(mine, names, orders, cases, &created);
  EXPECT_TRUE(created);
  const TQDXIndexDef& def =
      *static_cast<TQDXIndexDef*>(table.IndexManager().IndexDefs().FindByID(a));
  EXPECT_EQ(def.Name().rfind("TEMPORARY_INDEX_", 0), 0u) << def.Name();
  EXPECT_TRUE(IsGuidText(def.Name().substr(16))) << def.Name();
  EXPECT_TRUE(def.Temporary);
  EXPECT_EQ(def.OwnerSessionID, 0);
  EXPECT_EQ(table.GetOrCreateIndexForFields(mine, names, orders, cases, &created), a);
  EXPECT_FALSE(created);
  const int32_t b = table.GetOrCreateIndexForFields(theirs, names, orders, cases, &created);
  EXPECT_TRUE(created);
  EXPECT_NE(a, b);
  // A temporary index implies no constraint, and walks its order.
  EXPECT_EQ(table.ConstraintManager().ConstraintDefs().Count(), 0);
  mine.CurrentIndexID = a;
  table.SetRecNo(mine, 1);
  int32_t liter = 0;
  GetFieldData(1, table.FieldManager().FieldDefs(), &liter, mine.Buffer);
  EXPECT_EQ(liter, 3);
}

TEST_F(TableManagersTest, RollbackRebuildsStaleTemporaryIndexesOfTheSession) {
  TMemoryTableData& table = Create(TQDXConstraintDefs());
  TTestCursor cursor(session, table);
  for (int32_t d : {1, 2}) {
    Fill(table, cursor.Buffer, d, d, "o");
    ASSERT_TRUE(table.InsertRecord(cursor));
  }
  const int32_t temp =
      table.GetOrCreateIndexForFields(cursor, {"Ort", "Datum"}, {"", ""}, {"", ""}, nullptr);
  // A record stored behind the indexes' back, as another process's commit would leave it.
  std::vector<uint8_t> record(table.MemoryRecordSize());
  Fill(table, record.data(), 9, 9, "a");
  TQDXRecordID id;
  ASSERT_TRUE(table.Records().InsertRecord(0, record.data(), id));
  database.RollbackTransaction(0);
  auto* def = static_cast<TQDXIndexDef*>(table.IndexManager().IndexDefs().FindByID(temp));
  EXPECT_EQ(def->ChangeCount, table.RecordManager().ChangeStamp);
  cursor.CurrentIndexID = temp;
  table.SetRecNo(cursor, 1);
  EXPECT_EQ(cursor.RecordID, id);  // "a" sorts first
  EXPECT_EQ(table.GetRecordCount(cursor), 3);
}

// ---- Search conditions -----------------------------------------------------------------------

// Conditions on one integer "index": the records are single int32 values.
std::vector<uint8_t> Key(int32_t value) {
  std::vector<uint8_t> key(4);
  le::Store(key.data(), value);
  return key;
}

TQDXScanSearchConditionArray IntConditions() {
  return TQDXScanSearchConditionArray([](int32_t, const uint8_t* a, const uint8_t* b, int32_t) {
    const int32_t x = le::Load<int32_t>(a), y = le::Load<int32_t>(b);
    return x < y ? -1 : x > y ? 1 : 0;
  });
}

TEST(ScanConditionsTest, MergeIntoTheTightestRangeOrNothing) {
  struct Case {
    std::vector<std::pair<int32_t, int32_t>> conditions;  // kind, value
    bool contradictory;
    std::vector<std::pair<int32_t, int32_t>> merged;
  } cases[] = {
      {{{ckGreater, 1}, {ckGreaterOrEqual, 3}}, false, {{ckGreaterOrEqual, 3}}},
      {{{ckGreaterOrEqual, 3}, {ckGreater, 3}}, false, {{ckGreater, 3}}},
      {{{ckGreater, 3}, {ckGreaterOrEqual, 3}}, false, {{ckGreater, 3}}},
      {{{ckLess, 9}, {ckLessOrEqual, 5}, {ckLess, 7}}, false, {{ckLessOrEqual, 5}}},
      {{{ckGreater, 1}, {ckLess, 9}}, false, {{ckGreater, 1}, {ckLess, 9}}},
      {{{ckEqual, 4}, {ckGreater, 1}, {ckLess, 9}}, false, {{ckEqual, 4}}},
      {{{ckGreater, 1}, {ckEqual, 4}, {ckEqual, 4}}, false, {{ckEqual, 4}}},
      {{{ckEqual, 4}, {ckEqual, 5}}, true, {}},
      {{{ckEqual, 4}, {ckGreater, 4}}, true, {}},
      {{{ckGreaterOrEqual, 5}, {ckLessOrEqual, 5}},
       false,
       {{ckGreaterOrEqual, 5}, {ckLessOrEqual, 5}}},
      {{{ckGreater, 5}, {ckLessOrEqual, 5}}, true, {}},
      {{{ckGreater, 7}, {ckLess, 2}}, true, {}},
  };
  for (const Case& c : cases) {
    TQDXScanSearchConditionArray conditions = IntConditions();
    for (const auto& [kind, value] : c.conditions) conditions.Add({1, kind, Key(value), 1});
    EXPECT_EQ(conditions.Contradictory(), c.contradictory);
    if (c.contradictory) continue;
    std::vector<std::pair<int32_t, int32_t>> merged;
    for (const TQDXScanSearchCondition* m : conditions.Conditions()) {
      merged.push_back({m->Kind, le::Load<int32_t>(m->Record.data())});
    }
    EXPECT_EQ(merged, c.merged);
    // The merged range admits exactly the values every condition admits.
    for (int32_t v = -2; v < 12; ++v) {
      bool all = true;
      for (const auto& [kind, value] : c.conditions) {
        TQDXScanSearchConditionArray single = IntConditions();
        single.Add({1, kind, Key(value), 1});
        all = all && single.Holds(Key(v).data());
      }
      EXPECT_EQ(conditions.Holds(Key(v).data()), all) << v;
    }
  }
}

// ---- Bits ------------------------------------------------------------------------------------

TEST(BitsArrayTest, CountsAndSearchesMatchAPlainSet) {
  std::mt19937 random(7);
  TQDXBitsArray bits;
  std::set<int64_t> model;
  bits.Resize(300);
  for (int i = 0; i < 600; ++i) {
    const int64_t bit = random() % 320;
    const bool value = random() % 3 != 0;
    bits.Set(bit, value);
    if (value) {
      model.insert(bit);
    } else {
      model.erase(bit);
    }
    if (i % 150 == 149) {
      bits.Resize(200 + random() % 150);
      std::erase_if(model, [&](int64_t b) { return b >= bits.Size(); });
    }
  }
  ASSERT_EQ(bits.Count(), static_cast<int64_t>(model.size()));
  for (int64_t at = -1; at < bits.Size() + 2; ++at) {
    EXPECT_EQ(bits.Get(at), model.count(at) == 1) << at;
    EXPECT_EQ(bits.CountThrough(at),
              std::count_if(model.begin(), model.end(), [&](int64_t b) { return b <= at; }));
    auto next = model.lower_bound(at);
    EXPECT_EQ(bits.NextSet(at), next == model.end() ? -1 : *next) << at;
    auto prior = model.upper_bound(at);
    EXPECT_EQ(bits.PriorSet(at), prior == model.begin() ? -1 : *std::prev(prior)) << at;
  }
  int64_t n = 1;
  for (int64_t b : model) EXPECT_EQ(bits.NthSet(n++), b);
  EXPECT_EQ(bits.NthSet(n), -1);
  EXPECT_EQ(bits.NthSet(0), -1);
}

TEST(PlatformRandomTest, GuidTextsAreWellFormedAndDistinct) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string guid = platform::NewGuidText();
    ASSERT_TRUE(IsGuidText(guid)) << guid;
    seen.insert(guid);
  }
  EXPECT_EQ(seen.size(), 200u);
  for (int i = 0; i < 100; ++i) EXPECT_LT(platform::RandomBelow(65535), 65535u);
}

}  // namespace
}  // namespace qdx
