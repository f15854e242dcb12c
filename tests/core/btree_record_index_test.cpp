// The record index over a small table held in memory: a property test of random changes against
// a reference model (navigation, range scans, record numbers), exact order behind cut string
// keys, NULLs, navigation after the current record was deleted, uniqueness and the building
// operations.
#include "engine/core/btree_record_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine/core/field_def.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/types/compare.h"
#include "tests/core/memory_page_manager.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using testing::TMemoryPageManager;
constexpr int32_t kSession = 0;

struct Row {
  std::optional<std::string> name;  // STRING(40)
  std::optional<int32_t> number;    // INTEGER
};

// A table in memory with the fields Name STRING(40) and Number INTEGER; it serves an index as
// its owner and its record source.
class MemoryTable : public TQDXIndexOwner, public TQDXIndexRecordSource {
 public:
  explicit MemoryTable(uint16_t pageSize = 128) : pages(pageSize) {
    AddField("Name", TQDXFieldType::String, 40);
    AddField("Number", TQDXFieldType::Integer, 0);
    fields.CalculateOffsets();
  }

  std::vector<uint8_t> Encode(const Row& row) const {
    std::vector<uint8_t> record(fields.MemoryRecordSize(), 0);
    const TQDXFieldDef& name = fields.GetFieldDef(0);
    const TQDXFieldDef& number = fields.GetFieldDef(1);
    if (row.name) {
      std::memcpy(record.data() + name.MemoryOffset, row.name->data(),
                  std::min<size_t>(row.name->size(), 40));
    } else {
      record[0] |= 1;
    }
    if (row.number) {
      le::Store(record.data() + number.MemoryOffset, *row.number);
    } else {
      record[0] |= 2;
    }
    return record;
  }
  Row Decode(const uint8_t* record) const {
    Row row;
    if ((record[0] & 1) == 0) {
      row.name = reinterpret_cast<const char*>(record + fields.GetFieldDef(0).MemoryOffset);
    }
    if ((record[0] & 2) == 0)
      row.number = le::Load<int32_t>(record + fields.GetFieldDef(1).MemoryOffset);
    return row;
  }

  TQDXRecordID Add(const Row& row) {
    const TQDXRecordID id{nextID_ / 10, static_cast<uint16_t>(nextID_ % 10)};
    ++nextID_;
    rows[Key(id)] = Encode(row);
    return id;
  }
  Row Get(TQDXRecordID id) const { return Decode(rows.at(Key(id)).data()); }

  // TQDXIndexOwner
  TQDXPageManager& IndexPageManager(bool) override { return pages; }
  const TQDXFieldDefs& IndexFieldDefs() const override { return fields; }
  TQDXIndexRecordSource& IndexRecords() override { return *this; }

  // TQDXIndexRecordSource
  bool ReadRecordByID(int32_t, TQDXRecordID id, uint8_t* buffer) override {
    auto it = rows.find(Key(id));
    if (it == rows.end()) return false;
    std::memcpy(buffer, it->second.data(), it->second.size());
    return true;
  }
  void ForEachRecord(int32_t, uint8_t* buffer,
                     const std::function<void(TQDXRecordID)>& visit) override {
    for (const auto& [key, record] : rows) {
      std::memcpy(buffer, record.data(), record.size());
      visit({key.first, key.second});
    }
  }
  int32_t MemoryRecordSize() const override { return fields.MemoryRecordSize(); }

  static std::pair<int32_t, uint16_t> Key(TQDXRecordID id) { return {id.PageNo, id.SlotNo}; }

  TMemoryPageManager pages;
  TQDXFieldDefs fields;
  std::map<std::pair<int32_t, uint16_t>, std::vector<uint8_t>> rows;

 private:
  void AddField(const char* name, TQDXFieldType type, int32_t size) {
    auto& field = static_cast<TQDXFieldDef&>(fields.AddCreated());
    field.SetName(name);
    field.SetFieldType(type, size);
  }
  int32_t nextID_ = 0;
};

std::unique_ptr<TQDXIndexDef> Definition(std::vector<std::string> names,
                                         std::vector<std::string> orders, bool unique = false,
                                         int32_t maxIndexed = 20, int32_t id = 1) {
  auto def = std::make_unique<TQDXIndexDef>();
  def->SetName("Index");
  def->SetObjectID(id);
  def->SetColumnsFromLists(names, orders, std::vector<std::string>(names.size()));
  for (int32_t i = 0; i < def->ColumnCount(); ++i) def->Column(i).MaxIndexedSize = maxIndexed;
  def->Unique = unique;
  return def;
}

// The record IDs in index order, walked with Navigate from BOF (next) or EOF (prior).
std::vector<TQDXRecordID> Walk(TQDXBTreeRecordIndex& index, MemoryTable& table, bool forward) {
  std::vector<TQDXRecordID> out;
  std::vector<uint8_t> buffer(table.MemoryRecordSize());
  TQDXNavigationRequest request;
  request.Mode = forward ? grmNext : grmPrior;
  request.Buffer = buffer.data();
  request.AtBOF = forward;
  request.AtEOF = !forward;
  TQDXIndexPositionCache cache;
  for (;;) {
    index.Navigate(kSession, request, 1, cache);
    if (request.Result != grOK) break;
    out.push_back(request.RecordID);
  }
  EXPECT_EQ(request.Result, forward ? grEOF : grBOF);
  if (!forward) std::reverse(out.begin(), out.end());
  return out;
}

// Model order of the property test: Name ascending (NULL first), Number descending (NULL last),
// then record ID.
using ModelKey = std::tuple<int, std::string, int, int64_t, std::pair<int32_t, uint16_t>>;
ModelKey ModelOf(const Row& row, TQDXRecordID id) {
  return {row.name ? 1 : 0, row.name.value_or(""), row.number ? 0 : 1,
          -static_cast<int64_t>(row.number.value_or(0)), MemoryTable::Key(id)};
}

std::string RandomName(std::mt19937& random) {
  // Long shared prefixes over a few letters: most keys are cut, many share their kept bytes.
  std::string name = "KEY";
  const int length = static_cast<int>(random() % 5);
  for (int k = 0; k < length; ++k) name += static_cast<char>('A' + random() % 3);
  return name;
}

TEST(RecordIndexTest, RandomChangesMatchTheModel) {
  MemoryTable table(256);
  auto def = Definition({"Name", "Number"}, {"ASC", "DESC"}, false, /*maxIndexed=*/4);
  TQDXBTreeRecordIndex index(table);
  TQDXIndexCursor cursor{kSession, nullptr, {}};
  index.Create(&cursor, *def);
  ASSERT_EQ(index.KeyRef().KeySize, 7 + 5);
  std::mt19937 random(99);
  std::map<std::pair<int32_t, uint16_t>, TQDXRecordID> live;
  auto randomRow = [&] {
    Row row;
    if (random() % 10 != 0) row.name = RandomName(random);
    if (random() % 10 != 0) row.number = static_cast<int32_t>(random() % 7) - 3;
    return row;
  };
  auto pick = [&] {
    auto it = live.begin();
    std::advance(it, random() % live.size());
    return it->second;
  };
  for (int phase = 0; phase < 6; ++phase) {
    for (int i = 0; i < 250; ++i) {
      const unsigned action = random() % 10;
      if (live.empty() || action < 5) {
        const Row row = randomRow();
        const TQDXRecordID id = table.Add(row);
        std::vector<uint8_t> record = table.Encode(row);
        index.InsertKey({kSession, record.data(), id});
        live[MemoryTable::Key(id)] = id;
      } else if (action < 8) {
        const TQDXRecordID id = pick();
        std::vector<uint8_t> record = table.rows.at(MemoryTable::Key(id));
        index.DeleteKey({kSession, record.data(), id});
        table.rows.erase(MemoryTable::Key(id));
        live.erase(MemoryTable::Key(id));
      } else {
        // An update as the table engine runs it: keys out, record stored, keys in.
        const TQDXRecordID id = pick();
        std::vector<uint8_t> record = table.Encode(randomRow());
        index.UpdateKey({kSession, record.data(), id}, true);
        table.rows[MemoryTable::Key(id)] = record;
        index.UpdateKey({kSession, record.data(), id}, false);
      }
    }
    SCOPED_TRACE(phase);
    ASSERT_NO_THROW(index.Tree().CheckIntegrity(kSession));
    std::vector<std::pair<ModelKey, TQDXRecordID>> model;
    for (const auto& [key, id] : live) model.push_back({ModelOf(table.Get(id), id), id});
    std::sort(model.begin(), model.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TQDXRecordID> expected;
    for (const auto& entry : model) expected.push_back(entry.second);
    ASSERT_EQ(Walk(index, table, true), expected);
    ASSERT_EQ(Walk(index, table, false), expected);

    // Record numbers.
    std::vector<uint8_t> scratch(table.MemoryRecordSize());
    for (size_t n = 0; n < expected.size(); n += 7) {
      ASSERT_EQ(index.GetRecNo(kSession, expected[n], scratch.data()), static_cast<int64_t>(n + 1));
      TQDXRecordID id;
      index.GetRecordIDByRecNo(kSession, id, static_cast<int64_t>(n + 1));
      ASSERT_EQ(id, expected[n]);
    }

    // Range scans on the name column, both directions.
    for (int s = 0; s < 12; ++s) {
      const std::string low = RandomName(random), high = RandomName(random);
      const int32_t lowKind = random() % 2 ? ckGreater : ckGreaterOrEqual;
      const int32_t highKind = random() % 2 ? ckLess : ckLessOrEqual;
      std::vector<uint8_t> lowRecord = table.Encode({low, 0});
      std::vector<uint8_t> highRecord = table.Encode({high, 0});
      std::vector<TQDXRecordID> want;
      for (const auto& [key, id] : model) {
        const Row row = table.Get(id);
        if (!row.name) continue;
        const bool aboveLow = lowKind == ckGreater ? *row.name > low : *row.name >= low;
        const bool belowHigh = highKind == ckLess ? *row.name < high : *row.name <= high;
        if (aboveLow && belowHigh) want.push_back(id);
      }
      for (const bool forward : {true, false}) {
        auto state = index.NewScanState({lowKind, lowRecord.data(), 1},
                                        {highKind, highRecord.data(), 1}, forward, nullptr);
        std::vector<TQDXRecordID> got;
        TQDXRecordID id;
        while (index.ScanNext(kSession, *state, id)) got.push_back(id);
        if (!forward) std::reverse(got.begin(), got.end());
        std::string names;
        for (TQDXRecordID w : want) names += table.Get(w).name.value_or("-") + " ";
        names += "| ";
        for (TQDXRecordID g : got) names += table.Get(g).name.value_or("-") + " ";
        ASSERT_EQ(got, want) << low << ".." << high << " kinds " << lowKind << highKind
                             << " forward " << forward << ": " << names;
        const int64_t estimate = index.EstimateRecordCount(kSession, {lowKind, lowRecord.data(), 1},
                                                           {highKind, highRecord.data(), 1});
        ASSERT_EQ(estimate, static_cast<int64_t>(want.size()));  // small ranges are counted
      }
    }
    ASSERT_NO_THROW(table.pages.ApplyChanges(kSession));
  }
}

TEST(RecordIndexTest, CutStringKeysAreStillOrderedExactly) {
  MemoryTable table(256);
  std::mt19937 random(5);
  std::vector<std::pair<std::string, TQDXRecordID>> model;
  for (int i = 0; i < 400; ++i) {
    // Values that share their first 20 characters and more.
    std::string name = std::string(18 + random() % 4, 'K');
    const int tail = 1 + static_cast<int>(random() % 12);
    for (int k = 0; k < tail; ++k) name += static_cast<char>('A' + random() % 3);
    model.push_back({name, table.Add({name, i})});
  }
  auto def = Definition({"Name"}, {""});
  TQDXBTreeRecordIndex index(table);
  TQDXIndexCursor cursor{kSession, nullptr, {}};
  index.Create(&cursor, *def);
  EXPECT_EQ(index.KeyRef().KeySize, 23);  // flag, 20 kept bytes, 2 trailing bytes
  ASSERT_NO_THROW(index.Tree().CheckIntegrity(kSession));
  std::sort(model.begin(), model.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return MemoryTable::Key(a.second) < MemoryTable::Key(b.second);
  });
  std::vector<TQDXRecordID> expected;
  for (const auto& entry : model) expected.push_back(entry.second);
  EXPECT_EQ(Walk(index, table, true), expected);

  // Every key can be taken out again; the root stays where it was created.
  for (const auto& [name, id] : model) {
    std::vector<uint8_t> record = table.Encode({name, 0});
    index.DeleteKey({kSession, record.data(), id});
  }
  EXPECT_TRUE(Walk(index, table, true).empty());
  EXPECT_EQ(index.RootPageNo(), def->RootPageNo);
}

TEST(RecordIndexTest, PartialLengthsCompareStringPrefixes) {
  MemoryTable table(256);
  for (const char* name : {"AB", "KA", "KEA", "KEB", "KEZZ", "KF"}) table.Add({name, 0});
  auto def = Definition({"Name"}, {""}, false, /*maxIndexed=*/40);
  TQDXBTreeRecordIndex index(table);
  TQDXIndexCursor cursor{kSession, nullptr, {}};
  index.Create(&cursor, *def);
  std::vector<uint8_t> prefix = table.Encode({"KE", 0});
  std::vector<uint8_t> key(index.KeyRef().KeySize, 0);
  index.KeyRef().BuildCompactKey(prefix.data(), key.data());
  auto nameAt = [&](const TQDXKeyPath& path) {
    TQDXRecordID id;
    index.GetRecordIDAtPath(kSession, path, id);
    return *table.Get(id).name;
  };
  TQDXKeyPath path;
  EXPECT_FALSE(index.Tree().FindCondition(kSession, true, path, ckEqual, key.data()));
  index.KeyRef().SetPartialLengths(prefix.data(), true);
  ASSERT_TRUE(index.Tree().FindCondition(kSession, true, path, ckEqual, key.data()));
  EXPECT_EQ(nameAt(path), "KEA");
  ASSERT_TRUE(index.Tree().FindCondition(kSession, false, path, ckEqual, key.data()));
  EXPECT_EQ(nameAt(path), "KEZZ");
  index.KeyRef().SetPartialLengths(prefix.data(), false);
  EXPECT_FALSE(index.Tree().FindCondition(kSession, true, path, ckEqual, key.data()));
}

// Keys of fixed-size numeric columns are compared in place; the order must be exactly the one
// of the general value comparison, for every type, both directions and values at the edges
// (sign bits, NaN, negative zero, equal dates with different times).
TEST(RecordIndexTest, FixedSizeKeysOrderAsTheValueComparison) {
  using T = TQDXDataType;
  const std::pair<T, int32_t> types[] = {
      {T::ShortInt, 1}, {T::SmallInt, 2}, {T::Integer, 4},  {T::LargeInt, 8}, {T::Byte, 1},
      {T::Word, 2},     {T::Cardinal, 4}, {T::Single, 4},   {T::Float, 8},    {T::Currency, 8},
      {T::Date, 4},     {T::Time, 4},     {T::DateTime, 8}, {T::Logical, 2},  {T::Extended, 10}};
  std::mt19937 random(20261210);
  for (const auto& [type, size] : types) {
    std::vector<std::vector<uint8_t>> values;
    for (uint8_t fill : {0x00, 0xFF, 0x7F, 0x80}) {
      values.emplace_back(size, fill);
      values.emplace_back(size, 0).back() = fill;   // only the most significant byte
      values.emplace_back(size, fill).front() = 1;  // only the least significant byte differs
    }
    if (type == T::Float || type == T::Currency) {
      for (double d : {0.0, -0.0, 1.5, -1.5, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()}) {
        values.emplace_back(8);
        le::Store(values.back().data(), d);
      }
    }
    if (type == T::DateTime) {
      for (auto [date, time] : {std::pair<int32_t, int32_t>{700000, 5}, {700000, -5}, {-1, 5}}) {
        values.emplace_back(8);
        le::Store(values.back().data(), date);
        le::Store(values.back().data() + 4, time);
      }
    }
    for (int i = 0; i < 40; ++i) {
      values.emplace_back(size);
      for (uint8_t& byte : values.back()) byte = static_cast<uint8_t>(random());
    }
    for (bool descending : {false, true}) {
      TQDXIndexColumnSpec spec{"Value", 0, 0, size, type, -1, descending, false};
      TQDXRecordKeyRef keys({spec}, nullptr);
      for (const auto& a : values) {
        for (const auto& b : values) {
          std::vector<uint8_t> keyA(1, 0), keyB(1, 0);
          keyA.insert(keyA.end(), a.begin(), a.end());
          keyB.insert(keyB.end(), b.begin(), b.end());
          int expected = ThreeWay(CompareValues(a.data(), b.data(), type, type, false, false, -1,
                                                false, platform::UserDefaultLocale(), size, size));
          if (descending) expected = -expected;
          ASSERT_EQ(keys.CompareKeys(keyA.data(), keyB.data(), nullptr, nullptr, kSession, true),
                    expected)
              << static_cast<int>(type) << (descending ? " desc" : " asc");
        }
      }
    }
  }
}

TEST(RecordIndexTest, NullsComeFirstAscendingAndLastDescending) {
  for (const char* order : {"ASC", "DESC"}) {
    MemoryTable table;
    const TQDXRecordID nullRow = table.Add({"x", std::nullopt});
    for (int32_t n : {5, -3, 12}) table.Add({"x", n});
    auto def = Definition({"Number"}, {order});
    TQDXBTreeRecordIndex index(table);
    TQDXIndexCursor cursor{kSession, nullptr, {}};
    index.Create(&cursor, *def);
    const std::vector<TQDXRecordID> walked = Walk(index, table, true);
    ASSERT_EQ(walked.size(), 4u);
    const bool descending = std::string(order) == "DESC";
    EXPECT_EQ(descending ? walked.back() : walked.front(), nullRow);
    std::vector<int32_t> numbers;
    for (TQDXRecordID id : walked) {
      if (id != nullRow) numbers.push_back(*table.Get(id).number);
    }
    const std::vector<int32_t> expected =
        descending ? std::vector<int32_t>{12, 5, -3} : std::vector<int32_t>{-3, 5, 12};
    EXPECT_EQ(numbers, expected);
  }
}

TEST(RecordIndexTest, NavigationContinuesAfterTheCurrentRecordWasDeleted) {
  MemoryTable table;
  std::vector<TQDXRecordID> ids;
  for (int32_t n = 0; n < 60; ++n) ids.push_back(table.Add({"x", n / 2}));  // pairs of equal keys
  auto def = Definition({"Number"}, {""});
  TQDXBTreeRecordIndex index(table);
  TQDXIndexCursor cursor{kSession, nullptr, {}};
  index.Create(&cursor, *def);

  // Stand on the first record of key 10; then another session deletes both records of key 10.
  std::vector<uint8_t> buffer(table.MemoryRecordSize());
  TQDXNavigationRequest request;
  request.Mode = grmNext;
  request.Buffer = buffer.data();
  request.RecordID = ids[20];
  table.ReadRecordByID(kSession, ids[20], buffer.data());
  for (int i : {20, 21}) {
    std::vector<uint8_t> record = table.rows.at(MemoryTable::Key(ids[i]));
    index.DeleteKey({kSession, record.data(), ids[i]});
    table.rows.erase(MemoryTable::Key(ids[i]));
  }
  TQDXIndexPositionCache cache;
  index.Navigate(kSession, request, 2, cache);
  EXPECT_EQ(request.Result, grError);  // the record is gone: the caller switches over
  index.NavigateFromDeleted(kSession, request, 2, cache);
  ASSERT_EQ(request.Result, grOK);
  EXPECT_EQ(table.Decode(buffer.data()).number, 11);
  request.Mode = grmPrior;
  index.Navigate(kSession, request, 2, cache);  // through the position cache
  ASSERT_EQ(request.Result, grOK);
  EXPECT_EQ(request.RecordID, ids[19]);  // past the deleted pair
  index.Navigate(kSession, request, 2, cache);
  EXPECT_EQ(request.RecordID, ids[18]);
  request.Mode = grmNext;
  index.Navigate(kSession, request, 2, cache);
  index.Navigate(kSession, request, 2, cache);
  EXPECT_EQ(request.RecordID, ids[22]);

  // From the last record, next gives EOF; mode 0 is refused.
  request.Mode = grmNext;
  request.RecordID = ids[59];
  index.Navigate(kSession, request, 3, cache);
  EXPECT_EQ(request.Result, grEOF);
  EXPECT_TRUE(request.AtEOF);
  request.Mode = grmCurrent;
  EXPECT_EQ(testing::QdxErrorCode([&] { index.Navigate(kSession, request, 3, cache); }), 20053);
}

// A walk steps the position it remembers: turning round anywhere, across leaf pages, and
// running into either end must leave it standing on the record it last reached.
TEST(RecordIndexTest, NavigationTurnsRoundAnywhere) {
  MemoryTable table;
  std::vector<TQDXRecordID> ids;
  for (int32_t n = 0; n < 90; ++n) ids.push_back(table.Add({"x", n}));  // many small leaves
  auto def = Definition({"Number"}, {""});
  TQDXBTreeRecordIndex index(table);
  TQDXIndexCursor cursor{kSession, nullptr, {}};
  index.Create(&cursor, *def);
  TQDXKeyPath first;
  ASSERT_TRUE(index.Tree().GoFirst(kSession, first));
  ASSERT_GT(first.LevelCount, 2);  // steps cross leaves and their parents

  std::vector<uint8_t> buffer(table.MemoryRecordSize());
  TQDXNavigationRequest request;
  request.Buffer = buffer.data();
  request.AtBOF = true;
  TQDXIndexPositionCache cache;
  int32_t at = -1;  // the record the walk stands on
  auto step = [&](bool forward) {
    request.Mode = forward ? grmNext : grmPrior;
    index.Navigate(kSession, request, 1, cache);
    const int32_t want = at + (forward ? 1 : -1);
    if (want < 0 || want >= 90) {
      ASSERT_EQ(request.Result, forward ? grEOF : grBOF);
      // Stand on the end record again, as a dataset does when it settles on it.
      request.AtBOF = request.AtEOF = false;
      return;
    }
    ASSERT_EQ(request.Result, grOK) << want;
    ASSERT_EQ(request.RecordID, ids[static_cast<size_t>(want)]);
    ASSERT_EQ(table.Decode(buffer.data()).number, want);
    at = want;
  };
  // Runs forward and back of lengths that end on and off page boundaries, then past both ends.
  for (const auto& [forward, back] : {std::pair{7, 3}, {13, 11}, {40, 1}, {1, 2}, {60, 5}}) {
    for (int i = 0; i < forward; ++i) step(true);
    for (int i = 0; i < back; ++i) step(false);
  }
  for (int i = 0; i < 10; ++i) step(true);
  EXPECT_EQ(at, 89);
  for (int i = 0; i < 95; ++i) step(false);
  EXPECT_EQ(at, 0);
  step(true);
  EXPECT_EQ(at, 1);
}

TEST(RecordIndexTest, RecordNumbersUniquenessAndDuplicates) {
  MemoryTable table;
  auto def = Definition({"Number"}, {""}, /*unique=*/true);
  TQDXBTreeRecordIndex index(table);
  TQDXIndexCursor cursor{kSession, nullptr, {}};
  index.Create(&cursor, *def);
  TQDXRecordID id;
  EXPECT_EQ(testing::QdxErrorCode([&] { index.GetRecordIDByRecNo(kSession, id, 1); }), 20074);
  std::vector<TQDXRecordID> ids;
  for (int32_t n = 100; n > 0; --n) {
    ids.push_back(table.Add({"x", n * 3}));
    std::vector<uint8_t> record = table.Encode({"x", n * 3});
    index.InsertKey({kSession, record.data(), ids.back()});
  }
  EXPECT_EQ(testing::QdxErrorCode([&] { index.GetRecordIDByRecNo(kSession, id, 101); }), 20075);
  std::vector<uint8_t> taken = table.Encode({"x", 30});
  std::vector<uint8_t> freeKey = table.Encode({"x", 31});
  EXPECT_FALSE(index.IsKeyFree(kSession, taken.data()));
  EXPECT_TRUE(index.IsKeyFree(kSession, freeKey.data()));
  EXPECT_TRUE(index.IsKeyFreeForUpdate(kSession, taken.data(), taken.data()));
  EXPECT_FALSE(index.IsKeyFreeForUpdate(kSession, freeKey.data(), taken.data()));

  // Positions grow with the index order and map back to their paths.
  TQDXKeyPath a, b;
  ASSERT_TRUE(index.Tree().GoFirst(kSession, a));
  b = a;
  while (index.Tree().Next(kSession, b)) {
    ASSERT_LT(index.PathToPosition(a), index.PathToPosition(b));
    ASSERT_LT(TQDXBTreeRecordIndex::RelativePosition(a), TQDXBTreeRecordIndex::RelativePosition(b));
    ASSERT_EQ(index.CompareKeyPaths(index.PositionToPath(kSession, index.PathToPosition(b)), b), 0);
    a = b;
  }

  // DISTINCT on a non-unique index keeps the first record of each key.
  struct Set : TQDXIndexRecordSet {
    std::set<std::pair<int32_t, uint16_t>> ids;
    bool Contains(TQDXRecordID id) override { return ids.count(MemoryTable::Key(id)) != 0; }
    void Remove(TQDXRecordID id) override { ids.erase(MemoryTable::Key(id)); }
  } set;
  MemoryTable other;
  for (int32_t n = 0; n < 30; ++n) set.ids.insert(MemoryTable::Key(other.Add({"x", n % 4})));
  auto plain = Definition({"Number"}, {""});
  TQDXBTreeRecordIndex byNumber(other);
  byNumber.Create(&cursor, *plain);
  byNumber.RemoveDuplicates(kSession, set, 1);
  std::vector<int32_t> kept;
  for (const auto& key : set.ids) kept.push_back(*other.Get({key.first, key.second}).number);
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<int32_t>{0, 1, 2, 3}));
}

TEST(RecordIndexTest, UniquenessLooksBehindCutValues) {
  MemoryTable table(256);
  const std::string shared(25, 'Q');
  const TQDXRecordID stored = table.Add({shared + "A", 1});
  auto def = Definition({"Name"}, {""}, /*unique=*/true);  // 20 bytes kept
  TQDXBTreeRecordIndex index(table);
  TQDXIndexCursor cursor{kSession, nullptr, {}};
  index.Create(&cursor, *def);
  std::vector<uint8_t> same = table.Encode({shared + "A", 2});
  std::vector<uint8_t> other = table.Encode({shared + "B", 2});
  std::vector<uint8_t> shorter = table.Encode({std::string(20, 'Q'), 2});
  EXPECT_FALSE(index.IsKeyFree(kSession, same.data()));
  EXPECT_TRUE(index.IsKeyFree(kSession, other.data()));
  EXPECT_TRUE(index.IsKeyFree(kSession, shorter.data()));
  // A record that is not in the index has no number.
  const TQDXRecordID absent = table.Add({"ZZ", 3});
  std::vector<uint8_t> scratch(table.MemoryRecordSize());
  EXPECT_EQ(index.GetRecNo(kSession, absent, scratch.data()), -1);
  EXPECT_EQ(index.GetRecNo(kSession, stored, scratch.data()), 1);
}

TEST(RecordIndexTest, CreateOpenEmptyAndDrop) {
  MemoryTable table;
  for (int32_t n = 0; n < 50; ++n) table.Add({"x", n});
  auto def = Definition({"Number"}, {""});
  TQDXIndexCursor cursor{kSession, nullptr, {}};
  {
    TQDXBTreeRecordIndex index(table);
    index.Create(&cursor, *def);
    EXPECT_GE(def->RootPageNo, 0);
    EXPECT_EQ(index.Definition().RootPageNo, def->RootPageNo);
    EXPECT_EQ(Walk(index, table, true).size(), 50u);
  }
  TQDXBTreeRecordIndex reopened(table);
  reopened.Open(*def);
  EXPECT_EQ(Walk(reopened, table, true).size(), 50u);
  reopened.Empty(kSession);
  EXPECT_TRUE(Walk(reopened, table, true).empty());
  reopened.Rebuild(cursor);
  EXPECT_EQ(Walk(reopened, table, true).size(), 50u);
  EXPECT_EQ(reopened.RootPageNo(), def->RootPageNo);
  reopened.Drop(kSession);
  table.pages.ApplyChanges(kSession);
  EXPECT_TRUE(table.pages.stored.empty());
  EXPECT_EQ(testing::QdxErrorCode([&] { reopened.Drop(kSession); }), 20119);
  EXPECT_EQ(testing::QdxErrorCode([&] { reopened.Empty(kSession); }), 20120);
  TQDXNavigationRequest request;
  request.Mode = grmNext;
  TQDXIndexPositionCache cache;
  EXPECT_EQ(testing::QdxErrorCode([&] { reopened.Navigate(kSession, request, 1, cache); }), 20123);
}

TEST(RecordIndexTest, ColumnsComeFromTheDefinitions) {
  MemoryTable table;
  auto def = Definition({"NAME"}, {"DESC"});
  def->Column(0).CaseInsensitive = true;
  const std::vector<TQDXIndexColumnSpec> specs = IndexColumnSpecs(*def, table.fields);
  ASSERT_EQ(specs.size(), 1u);
  EXPECT_EQ(specs[0].FieldNo, 0);
  EXPECT_EQ(specs[0].MemoryOffset, table.fields.GetFieldDef(0).MemoryOffset);
  EXPECT_EQ(specs[0].MemorySize, table.fields.GetFieldDef(0).MemorySize);
  EXPECT_TRUE(specs[0].Descending);
  EXPECT_TRUE(specs[0].CaseInsensitive);

  auto& photo = static_cast<TQDXFieldDef&>(table.fields.AddCreated());
  photo.SetName("Photo");
  photo.SetFieldType(TQDXFieldType::Blob);
  table.fields.CalculateOffsets();
  const std::vector<std::pair<std::string, int32_t>> refused = {{"Missing", 20043},
                                                                {"Photo", 20295}};
  for (const auto& [field, code] : refused) {
    auto bad = Definition({field}, {""});
    TQDXBTreeRecordIndex index(table);
    EXPECT_EQ(testing::QdxErrorCode([&] { index.Create(nullptr, *bad); }), code) << field;
  }
  // A fixed-size column is never cut, whatever its MaxIndexedSize.
  auto number = Definition({"Number"}, {""}, false, /*maxIndexed=*/0);
  TQDXBTreeRecordIndex index(table);
  index.Create(nullptr, *number);
  EXPECT_EQ(index.KeyRef().KeySize, 5);
  EXPECT_FALSE(index.KeyRef().HasTruncatedColumns());
}

}  // namespace
}  // namespace qdx
