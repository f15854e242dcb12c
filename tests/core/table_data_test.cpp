// The table data over a table held in memory (tests/core/memory_table.h): a property test of
// random inserts, updates, deletes, moves and record numbers against a model, in physical and
// index order, through filters, ranges and other sessions' changes; then the edge cases of
// reading, deleting, emptying and the table operations that refuse.
#include "engine/core/table_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/core/record_layout.h"
#include "engine/foundation/little_endian.h"
#include "tests/core/memory_table.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using testing::PositionOf;
using testing::TMemoryDatabaseData;
using testing::TMemoryTableData;
using testing::TPredicateFilter;
using testing::TTestCursor;

constexpr int32_t kName = 0;
constexpr int32_t kAmount = 1;
constexpr int32_t kSerial = 2;

struct Row {
  std::optional<std::string> name;
  std::optional<int32_t> amount;
  bool operator==(const Row&) const = default;
};

// The table "Kosten": Name STRING(12), Amount INTEGER, Serial AUTOINC; indexes ByAmount
// (Amount) and ByName (Name descending).
class TableDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session.SetSessionID(0);
    other.SetSessionID(1);
    table = CreateTable("Kosten");
    byAmount = IndexID("ByAmount");
    byName = IndexID("ByName");
  }

  TMemoryTableData* CreateTable(const std::string& name,
                                const TQDXConstraintDefs* constraints = nullptr) {
    TQDXTableCursor creator;
    creator.Session = &session;
    creator.TableName = name;
    auto* created = static_cast<TMemoryTableData*>(database.GetTableData(creator));
    TQDXFieldDefs fields;
    fields.AddField("Name", TQDXFieldType::String, 12);
    fields.AddField("Amount", TQDXFieldType::Integer);
    TQDXFieldDef& serial = fields.AddField("Serial", TQDXFieldType::AutoInc);
    serial.AutoincInitialValue = 100;
    serial.AutoincIncrement = 5;
    TQDXIndexDefs indexes;
    auto& amount = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    amount.SetName("ByAmount");
    amount.SetColumnsFromLists({"Amount"}, {"ASC"}, {""});
    auto& byNameDef = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    byNameDef.SetName("ByName");
    byNameDef.SetColumnsFromLists({"Name"}, {"DESC"}, {""});
    TQDXConstraintDefs none;
    created->CreateTable(creator, fields, constraints != nullptr ? *constraints : none, indexes);
    return created;
  }

  int32_t IndexID(const char* name) const {
    return table->IndexManager().IndexDefs().FindIndex(name)->ObjectID();
  }
  const TQDXFieldDefs& Fields() const { return table->FieldManager().FieldDefs(); }

  void Fill(uint8_t* buffer, const Row& row) const {
    InitRecordBuffer(Fields(), buffer);
    char text[13] = {};
    if (row.name) row.name->copy(text, 12);
    SetFieldData(kName, Fields(), row.name ? text : nullptr, buffer);
    SetFieldData(kAmount, Fields(), row.amount ? &*row.amount : nullptr, buffer);
  }
  Row Decode(const uint8_t* buffer) const {
    Row row;
    char text[13] = {};
    if (GetFieldData(kName, Fields(), text, buffer)) row.name = text;
    int32_t amount = 0;
    if (GetFieldData(kAmount, Fields(), &amount, buffer)) row.amount = amount;
    return row;
  }
  TQDXRecordID Insert(TQDXTableCursor& cursor, const Row& row) {
    Fill(cursor.Buffer, row);
    EXPECT_TRUE(table->InsertRecord(cursor));
    return cursor.RecordID;
  }

  TMemoryDatabaseData database;
  TQDXBaseSession session;
  TQDXBaseSession other;
  TMemoryTableData* table = nullptr;
  int32_t byAmount = -1;
  int32_t byName = -1;
};

// ---- The model --------------------------------------------------------------------------------

enum class Order { Physical, ByAmount, ByNameDescending };

struct Model {
  std::map<int64_t, Row> rows;  // by record position: physical order
  Order order = Order::Physical;
  bool filtered = false;                             // Amount present and not divisible by 3
  std::optional<std::pair<int32_t, int32_t>> range;  // inclusive Amount bounds (ByAmount)
  bool lowExclusive = false;

  static bool FilterPasses(const Row& row) { return row.amount && *row.amount % 3 != 0; }
  bool Passes(const Row& row) const {
    if (filtered && !FilterPasses(row)) return false;
    if (range) {
      // NULL sorts below every value.
      if (!row.amount) return false;
      if (lowExclusive ? *row.amount <= range->first : *row.amount < range->first) return false;
      if (*row.amount > range->second) return false;
    }
    return true;
  }
  // Strict order of (row, position) in the current order.
  bool Before(int64_t a, int64_t b) const {
    const Row& ra = rows.at(a);
    const Row& rb = rows.at(b);
    if (order == Order::ByAmount) {
      const auto ka = std::make_pair(ra.amount.has_value(), ra.amount.value_or(0));
      const auto kb = std::make_pair(rb.amount.has_value(), rb.amount.value_or(0));
      if (ka != kb) return ka < kb;
    } else if (order == Order::ByNameDescending) {
      // Descending: higher names first, NULL last.
      if (ra.name.has_value() != rb.name.has_value()) return ra.name.has_value();
      if (ra.name && *ra.name != *rb.name) return *ra.name > *rb.name;
    }
    return a < b;
  }
  std::vector<int64_t> Visible() const {
    std::vector<int64_t> out;
    for (const auto& [position, row] : rows) {
      if (Passes(row)) out.push_back(position);
    }
    std::sort(out.begin(), out.end(), [&](int64_t a, int64_t b) { return Before(a, b); });
    return out;
  }
  // The visible record after / before `current` (which need not be visible); -1 when none.
  int64_t After(int64_t current) const {
    for (int64_t p : Visible()) {
      if (Before(current, p)) return p;
    }
    return -1;
  }
  int64_t BeforeOf(int64_t current) const {
    int64_t found = -1;
    for (int64_t p : Visible()) {
      if (Before(p, current)) found = p;
    }
    return found;
  }
};

std::optional<std::string> RandomName(std::mt19937& random) {
  if (random() % 8 == 0) return std::nullopt;
  std::string name;
  const int length = 1 + static_cast<int>(random() % 3);
  for (int i = 0; i < length; ++i) name += static_cast<char>('a' + random() % 3);
  return name;
}

Row RandomRow(std::mt19937& random) {
  Row row;
  row.name = RandomName(random);
  if (random() % 8 != 0) row.amount = static_cast<int32_t>(random() % 25) - 5;
  return row;
}

TEST_F(TableDataTest, RandomChangesAndMovesMatchTheModel) {
  const char* stepsText = std::getenv("QDX_TABLE_DATA_STEPS");
  const int steps = stepsText != nullptr ? std::atoi(stepsText) : 2500;
  std::mt19937 random(20261210);
  TTestCursor cursor(session, *table);
  TTestCursor writer(other, *table);  // another session's changes
  Model model;
  std::vector<uint8_t> lowKey(table->MemoryRecordSize()), highKey(table->MemoryRecordSize());

  auto positioned = [&] { return !cursor.AtBOF && !cursor.AtEOF; };
  auto current = [&] { return PositionOf(cursor.RecordID); };
  auto expectOn = [&](int64_t position, const char* what) {
    ASSERT_TRUE(positioned()) << what;
    ASSERT_EQ(current(), position) << what;
    ASSERT_EQ(Decode(cursor.Buffer), model.rows.at(position)) << what;
  };
  auto setOrder = [&](Order order) {
    model.order = order;
    cursor.CurrentIndexID = order == Order::Physical   ? -1
                            : order == Order::ByAmount ? byAmount
                                                       : byName;
    if (order != Order::ByAmount) {
      model.range.reset();
      cursor.Range = {};
    }
    if (cursor.FilterBitmap) cursor.FilterBitmap->Invalidate();
  };

  for (int step = 0; step < steps; ++step) {
    SCOPED_TRACE(::testing::Message() << "step " << step);
    const unsigned action = random() % 100;
    // The table grows to about 150 records, then changes stay in balance.
    if ((action < 28 && model.rows.size() < 150) || model.rows.empty()) {
      const Row row = RandomRow(random);
      const TQDXRecordID id = Insert(cursor, row);
      model.rows[PositionOf(id)] = row;
      expectOn(PositionOf(id), "after insert");
    } else if (action < 36 && positioned()) {
      const Row row = RandomRow(random);
      Fill(cursor.Buffer, row);
      ASSERT_TRUE(table->UpdateRecord(cursor));
      model.rows[current()] = row;
      expectOn(current(), "after update");
    } else if (action < 46 && positioned()) {
      const int64_t gone = current();
      int64_t neighbour = model.After(gone);
      if (neighbour < 0) neighbour = model.BeforeOf(gone);
      ASSERT_TRUE(table->DeleteRecord(cursor));
      model.rows.erase(gone);
      if (neighbour < 0) {
        ASSERT_TRUE(cursor.AtBOF);
      } else {
        expectOn(neighbour, "neighbour after delete");
      }
    } else if (action < 70) {
      const bool forward = random() % 2 == 0;
      const int64_t expected =
          positioned() ? (forward ? model.After(current()) : model.BeforeOf(current()))
          : cursor.AtBOF == forward
              ? (model.Visible().empty()
                     ? -1
                     : (forward ? model.Visible().front() : model.Visible().back()))
              : -1;
      const uint8_t result = table->GetRecord(cursor, forward ? grmNext : grmPrior);
      if (model.rows.empty()) {
        ASSERT_EQ(result, grEOF);
      } else if (expected < 0) {
        ASSERT_EQ(result, forward ? grEOF : grBOF);
        ASSERT_EQ(forward ? cursor.AtEOF : cursor.AtBOF, true);
      } else {
        ASSERT_EQ(result, grOK);
        expectOn(expected, forward ? "after next" : "after prior");
      }
    } else if (action < 76) {
      // First and Last as the cursor does them.
      const bool first = random() % 2 == 0;
      cursor.AtBOF = first;
      cursor.AtEOF = !first;
      const std::vector<int64_t> visible = model.Visible();
      const uint8_t result = table->GetRecord(cursor, first ? grmNext : grmPrior);
      if (visible.empty()) {
        ASSERT_NE(result, grOK);
      } else {
        ASSERT_EQ(result, grOK);
        expectOn(first ? visible.front() : visible.back(), "after first / last");
      }
    } else if (action < 84) {
      const std::vector<int64_t> visible = model.Visible();
      const int64_t n = 1 + static_cast<int64_t>(random() % (visible.size() + 3));
      table->SetRecNo(cursor, n);
      if (!visible.empty()) {
        const size_t at = static_cast<size_t>(std::min<int64_t>(n, visible.size()) - 1);
        expectOn(visible[at], "after SetRecNo");
      }
    } else if (action < 88) {
      setOrder(static_cast<Order>(random() % 3));
    } else if (action < 91) {
      model.filtered = !model.filtered;
      if (model.filtered) {
        const int32_t offset = Fields().GetFieldDef(kAmount).MemoryOffset;
        cursor.FilterExpression = std::make_unique<TPredicateFilter>([offset](const uint8_t* r) {
          return !IsNull(kAmount, r) && le::Load<int32_t>(r + offset) % 3 != 0;
        });
      } else {
        cursor.FilterExpression.reset();
      }
      if (cursor.FilterBitmap) cursor.FilterBitmap->Invalidate();
    } else if (action < 94) {
      if (model.order != Order::ByAmount) setOrder(Order::ByAmount);
      if (model.range) {
        model.range.reset();
        cursor.Range = {};
      } else {
        const int32_t low = static_cast<int32_t>(random() % 20) - 5;
        const int32_t high = low + static_cast<int32_t>(random() % 12);
        model.range = {low, high};
        model.lowExclusive = random() % 2 == 0;
        Fill(lowKey.data(), {std::nullopt, low});
        Fill(highKey.data(), {std::nullopt, high});
        cursor.Range = {lowKey.data(), highKey.data(), model.lowExclusive, false, 1, 1};
      }
      if (cursor.FilterBitmap) cursor.FilterBitmap->Invalidate();
    } else {
      // Another session inserts, or deletes a record other than the cursor's.
      std::vector<int64_t> others;
      for (const auto& entry : model.rows) {
        if (!positioned() || entry.first != current()) others.push_back(entry.first);
      }
      if (random() % 2 == 0 || others.empty()) {
        const Row row = RandomRow(random);
        model.rows[PositionOf(Insert(writer, row))] = row;
      } else {
        const int64_t victim = others[random() % others.size()];
        writer.RecordID = testing::RecordIDAt(victim);
        writer.AtBOF = writer.AtEOF = false;
        ASSERT_EQ(table->GetRecord(writer, grmCurrent), grOK);
        ASSERT_TRUE(table->DeleteRecord(writer));
        model.rows.erase(victim);
      }
    }

    // Counts and numbers after every step.
    const std::vector<int64_t> visible = model.Visible();
    ASSERT_EQ(table->GetRecordCount(cursor), static_cast<int64_t>(visible.size()));
    ASSERT_EQ(table->RecordManager().RecordCount, static_cast<int64_t>(model.rows.size()));
    if (positioned()) {
      const auto at = std::find(visible.begin(), visible.end(), current());
      if (at != visible.end()) {
        ASSERT_EQ(table->GetRecNo(cursor), at - visible.begin() + 1);
      }
    } else {
      ASSERT_EQ(table->GetRecNo(cursor), -1);
    }
    if (HasFatalFailure()) return;
  }
}

// ---- Reading -----------------------------------------------------------------------------------

TEST_F(TableDataTest, EmptyTableAnswersEofInEveryModeAndOrder) {
  TTestCursor cursor(session, *table);
  for (const int32_t index : {-1, byAmount, byName}) {
    for (const bool filtered : {false, true}) {
      cursor.CurrentIndexID = index;
      if (filtered) {
        cursor.FilterExpression =
            std::make_unique<TPredicateFilter>([](const uint8_t*) { return true; });
      } else {
        cursor.FilterExpression.reset();
      }
      for (const uint8_t mode : {grmCurrent, grmNext, grmPrior}) {
        EXPECT_EQ(table->GetRecord(cursor, mode), grEOF) << index << filtered << int(mode);
      }
      EXPECT_EQ(table->GetRecordCount(cursor), 0);
      EXPECT_EQ(table->GetRecNo(cursor), -1);
    }
  }
}

TEST_F(TableDataTest, CurrentRecordFailingTheFilterReadsAsFailure) {
  TTestCursor cursor(session, *table);
  Insert(cursor, {"a", 3});
  cursor.FilterCallback = [&](const uint8_t* record) { return Decode(record).amount != 3; };
  EXPECT_EQ(table->GetRecord(cursor, grmCurrent), grError);
  cursor.FilterCallback = nullptr;
  EXPECT_EQ(table->GetRecord(cursor, grmCurrent), grOK);
}

TEST_F(TableDataTest, NextAfterAnotherCursorDeletedTheCurrentRecord) {
  TTestCursor cursor(session, *table);
  TTestCursor writer(other, *table);
  for (const int32_t order : {-1, byAmount}) {
    table->EmptyTable(cursor);
    std::vector<TQDXRecordID> ids;
    for (int32_t amount : {10, 20, 30}) ids.push_back(Insert(cursor, {"x", amount}));
    cursor.CurrentIndexID = order;
    table->SetRecNo(cursor, 2);
    ASSERT_EQ(cursor.RecordID, ids[1]);
    writer.RecordID = ids[1];
    writer.AtBOF = writer.AtEOF = false;
    ASSERT_EQ(table->GetRecord(writer, grmCurrent), grOK);
    ASSERT_TRUE(table->DeleteRecord(writer));
    EXPECT_EQ(table->GetRecNo(cursor), -1);
    ASSERT_EQ(table->GetRecord(cursor, grmNext), grOK) << order;
    EXPECT_EQ(cursor.RecordID, ids[2]);
    ASSERT_EQ(table->GetRecord(cursor, grmPrior), grOK);
    EXPECT_EQ(cursor.RecordID, ids[0]);
    cursor.CurrentIndexID = -1;
  }
}

TEST_F(TableDataTest, IndexWalkReadsEachRecordOnceWhenTheCacheHolds) {
  TTestCursor cursor(session, *table);
  for (int32_t amount = 0; amount < 200; ++amount) Insert(cursor, {"n", 199 - amount});
  cursor.CurrentIndexID = byAmount;
  cursor.AtBOF = true;
  const int64_t before = table->Records().reads;
  int walked = 0;
  while (table->GetRecord(cursor, grmNext) == grOK) ++walked;
  EXPECT_EQ(walked, 200);
  // One read per record on arrival, and none to find the current one again.
  EXPECT_LE(table->Records().reads - before, 200 + 2);
}

// ---- Deleting, emptying ----------------------------------------------------------------------

TEST_F(TableDataTest, DeletingTheOnlyRecordLeavesBofAndTheLastLeavesItsPredecessor) {
  TTestCursor cursor(session, *table);
  Insert(cursor, {"a", 1});
  ASSERT_TRUE(table->DeleteRecord(cursor));
  EXPECT_TRUE(cursor.AtBOF);
  EXPECT_FALSE(cursor.AtEOF);

  const TQDXRecordID first = Insert(cursor, {"a", 1});
  Insert(cursor, {"b", 2});
  ASSERT_TRUE(table->DeleteRecord(cursor));
  EXPECT_FALSE(cursor.AtBOF);
  EXPECT_EQ(cursor.RecordID, first);
  EXPECT_EQ(Decode(cursor.Buffer), (Row{"a", 1}));
}

TEST_F(TableDataTest, AutoincStartsOverAfterEmptyTable) {
  TTestCursor cursor(session, *table);
  TQDXBaseFieldManager& fields = table->FieldManager();
  for (int i = 0; i < 3; ++i) {
    Fill(cursor.Buffer, {"a", i});
    fields.AssignAutoincValues(&session, cursor.Buffer);
    ASSERT_TRUE(table->InsertRecord(cursor));
  }
  const int32_t stampBefore = table->RecordManager().ChangeStamp;
  table->EmptyTable(cursor);
  EXPECT_EQ(table->RecordManager().RecordCount, 0);
  // The stamp moves on, so that another reader of the table sees that its records went.
  EXPECT_GT(table->RecordManager().ChangeStamp, stampBefore);
  Fill(cursor.Buffer, {"b", 1});
  fields.AssignAutoincValues(&session, cursor.Buffer);
  ASSERT_TRUE(table->InsertRecord(cursor));
  int32_t serial = 0;
  ASSERT_TRUE(GetFieldData(kSerial, Fields(), &serial, cursor.Buffer));
  EXPECT_EQ(serial, 105);
  // The emptied indexes hold the new record only.
  cursor.CurrentIndexID = byAmount;
  cursor.AtBOF = true;
  EXPECT_EQ(table->GetRecord(cursor, grmNext), grOK);
  EXPECT_EQ(table->GetRecord(cursor, grmNext), grEOF);
}

TEST_F(TableDataTest, RefusedChangesLeaveRecordsAndKeysInStep) {
  TTestCursor cursor(session, *table);
  const TQDXRecordID a = Insert(cursor, {"a", 1});
  Insert(cursor, {"b", 2});
  cursor.CurrentIndexID = byAmount;
  table->SetRecNo(cursor, 1);

  Fill(cursor.Buffer, {"a", 50});
  table->Records().failAfter = 0;
  EXPECT_FALSE(table->UpdateRecord(cursor));
  table->Records().failAfter = 0;
  ASSERT_EQ(table->GetRecord(cursor, grmCurrent), grOK);
  EXPECT_FALSE(table->DeleteRecord(cursor));
  // The index still finds record a under its stored key, in order.
  TQDXBTreeRecordIndex& index = table->IndexManager().GetIndex(byAmount);
  index.Tree().CheckIntegrity(0);
  std::vector<uint8_t> scratch(table->MemoryRecordSize());
  EXPECT_EQ(index.GetRecNo(0, a, scratch.data()), 1);
  cursor.AtBOF = true;
  ASSERT_EQ(table->GetRecord(cursor, grmNext), grOK);
  EXPECT_EQ(Decode(cursor.Buffer), (Row{"a", 1}));
  ASSERT_EQ(table->GetRecord(cursor, grmNext), grOK);
  EXPECT_EQ(table->GetRecord(cursor, grmNext), grEOF);
}

// ---- Filters, bitmaps, locating --------------------------------------------------------------

TEST_F(TableDataTest, FilterBitmapFollowsOtherSessionsChanges) {
  TTestCursor cursor(session, *table);
  TTestCursor writer(other, *table);
  for (int32_t amount = 0; amount < 10; ++amount) Insert(writer, {"w", amount});
  auto* filter = new TPredicateFilter([&](const uint8_t* r) { return Decode(r).amount >= 5; });
  cursor.FilterExpression.reset(filter);
  EXPECT_EQ(table->GetRecordCount(cursor), 5);
  const int64_t evaluations = filter->evaluations;
  EXPECT_EQ(table->GetRecordCount(cursor), 5);
  EXPECT_EQ(filter->evaluations, evaluations);  // a current bitmap is not rebuilt
  Insert(writer, {"w", 7});
  EXPECT_EQ(table->GetRecordCount(cursor), 6);
  EXPECT_GT(filter->evaluations, evaluations);
  // The cursor's own insert keeps its bitmap current.
  const int64_t rebuilt = filter->evaluations;
  Insert(cursor, {"c", 9});
  EXPECT_EQ(table->GetRecordCount(cursor), 7);
  EXPECT_EQ(filter->evaluations, rebuilt + 1);
}

TEST_F(TableDataTest, LocateFindsTheFirstMatchInTheCursorsOrder) {
  TTestCursor cursor(session, *table);
  for (int32_t amount : {40, 10, 30, 20, 10}) Insert(cursor, {"z", amount});
  const int32_t amountOffset = Fields().GetFieldDef(kAmount).MemoryOffset;
  auto amountOf = [amountOffset](const uint8_t* r) { return le::Load<int32_t>(r + amountOffset); };
  TQDXVariant fifteen(TQDXDataType::Integer);
  fifteen.SetAsInteger(15);
  // Amount > 15, and the expression says so: the walk of ByAmount starts at 20.
  TPredicateFilter above([&](const uint8_t* r) { return !IsNull(kAmount, r) && amountOf(r) > 15; },
                         {{kAmount, ckGreater, fifteen}});
  for (const int32_t order : {-1, byAmount}) {
    cursor.CurrentIndexID = order;
    cursor.AtBOF = true;
    above.evaluations = 0;
    ASSERT_TRUE(table->LocateRecord(cursor, &above));
    EXPECT_EQ(Decode(cursor.Buffer).amount, order < 0 ? 40 : 20);
    if (order >= 0) {
      EXPECT_EQ(above.evaluations, 1);
    }
  }
  TPredicateFilter never([](const uint8_t*) { return false; });
  const TQDXRecordID before = cursor.RecordID;
  EXPECT_FALSE(table->LocateRecord(cursor, &never));
  EXPECT_EQ(cursor.RecordID, before);
  EXPECT_QDX_ERROR(table->LocateRecord(cursor, nullptr), 10272, "Nil pointer occured");
}

TEST_F(TableDataTest, FindKeyByConditionKind) {
  TTestCursor cursor(session, *table);
  for (int32_t amount : {40, 10, 30, 20}) Insert(cursor, {"k", amount});
  EXPECT_QDX_ERROR(table->FindKey(cursor, ckEqual), 20258, "No active index is set");
  cursor.CurrentIndexID = byAmount;
  struct Case {
    int32_t kind;
    int32_t key;
    std::optional<int32_t> found;
  } cases[] = {{ckEqual, 30, 30},   {ckEqual, 25, std::nullopt},
               {ckGreater, 20, 30}, {ckGreaterOrEqual, 20, 20},
               {ckLess, 20, 10},    {ckLessOrEqual, 5, {}},
               {ckGreater, 40, {}}};
  for (const Case& c : cases) {
    Fill(cursor.KeyBuffer, {std::nullopt, c.key});
    EXPECT_EQ(table->FindKey(cursor, c.kind), c.found.has_value()) << c.kind << " " << c.key;
    if (c.found) {
      EXPECT_EQ(Decode(cursor.Buffer).amount, c.found);
    }
  }
  // Through a filter: the first key >= 20 that passes.
  cursor.FilterCallback = [&](const uint8_t* r) { return Decode(r).amount != 20; };
  Fill(cursor.KeyBuffer, {std::nullopt, 20});
  ASSERT_TRUE(table->FindKey(cursor, ckGreaterOrEqual));
  EXPECT_EQ(Decode(cursor.Buffer).amount, 30);
}

TEST_F(TableDataTest, RecordBitmapNeedsATable) {
  EXPECT_QDX_ERROR(TQDXRecordBitmap(nullptr), 10425, "Nil pointer occured");
}

// ---- Table operations ------------------------------------------------------------------------

TEST_F(TableDataTest, DeleteAndRenameAreRefusedWhileCursorsAreOpen) {
  {
    TTestCursor open(session, *table);
    EXPECT_QDX_ERROR(table->DeleteTable(nullptr, false), 20017,
                     "Cannot delete table 'Kosten'. Table is open by another dataset");
    EXPECT_NO_THROW(table->DeleteTable(nullptr, true));
    EXPECT_QDX_ERROR(table->RenameTable("Neu", nullptr), 10150,
                     "Cannot rename table 'Kosten'. Table is open by another dataset");
  }
  table->RenameTable("Neu", nullptr);
  TQDXTableCursor finder;
  finder.TableName = "NEU";
  EXPECT_EQ(database.FindTableData(finder), table);
  std::vector<std::string> names;
  database.GetTableNames(names);
  EXPECT_EQ(names, std::vector<std::string>{"Neu"});
}

TEST_F(TableDataTest, RenameFieldRenamesIndexColumns) {
  EXPECT_QDX_ERROR(table->RenameField("Nope", "X"), 30343, "Field 'Nope' not found");
  EXPECT_QDX_ERROR(table->RenameField("Name", "amount"), 30344,
                   "Cannot rename field 'Name'. Field 'amount' already exists");
  table->RenameField("amount", "Betrag");
  EXPECT_NE(Fields().FindField("Betrag"), nullptr);
  EXPECT_EQ(table->IndexManager().IndexDefs().FindIndex("ByAmount")->Column(0).FieldName, "Betrag");
  TTestCursor cursor(session, *table);
  cursor.CurrentIndexID = byAmount;
  Insert(cursor, {"a", 2});
  Insert(cursor, {"b", 1});
  table->SetRecNo(cursor, 1);
  EXPECT_EQ(Decode(cursor.Buffer).amount, 1);
}

TEST_F(TableDataTest, RecordLayoutAndTablesWithoutFields) {
  TTestCursor cursor(session, *table);
  table->GetRecordLayout(cursor);
  EXPECT_EQ(cursor.FirstFieldOffset, 1);
  EXPECT_EQ(cursor.RecordDataSize, table->MemoryRecordSize());
  TQDXTableCursor creator;
  creator.TableName = "Leer";
  auto* empty = static_cast<TMemoryTableData*>(database.GetTableData(creator));
  EXPECT_QDX_ERROR(empty->GetRecordLayout(creator), 10131,
                   "Error creating table - no fields were specified");
  EXPECT_QDX_ERROR(
      empty->CreateTable(creator, TQDXFieldDefs(), TQDXConstraintDefs(), TQDXIndexDefs()), 20128,
      "Error creating table - no fields were specified");
}

TEST_F(TableDataTest, ObjectIDsAreNeverReused) {
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < Fields().Count(); ++i) ids.push_back(Fields().GetDef(i).ObjectID());
  ids.push_back(byAmount);
  ids.push_back(byName);
  TTestCursor cursor(session, *table);
  TQDXIndexDef def;
  def.SetName("Extra");
  def.SetColumnsFromLists({"Serial"}, {""}, {""});
  const int32_t extra = table->AddIndex(def, cursor);
  table->DeleteIndex(extra, &cursor);
  ids.push_back(extra);
  ids.push_back(table->AddIndex(def, cursor));
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
  EXPECT_GT(ids.front(), 0);
}

}  // namespace
}  // namespace qdx
