// The record index over a small table held in memory: exact order behind cut string keys, NULLs,
// descending columns, navigation (also after the current record was deleted), record numbers and
// uniqueness.
#include "engine/core/btree_record_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/core/field_def.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/except.h"
#include "tests/core/memory_page_manager.h"

namespace qdx {
namespace {

using testing::TMemoryPageManager;
constexpr int32_t kSession = 0;

// Records: null bitmap (1 byte), STRING(40) at 1 (41 bytes), INTEGER at 42.
constexpr int32_t kRecordSize = 46;
constexpr int32_t kNameOffset = 1;
constexpr int32_t kNumberOffset = 42;

struct Row {
  std::string name;  // empty: NULL
  int32_t number = 0;
  bool numberNull = false;
};

class MemoryTable : public TQDXIndexRecordSource {
 public:
  TQDXRecordID Add(const Row& row) {
    const TQDXRecordID id{static_cast<int32_t>(rows.size() / 10), uint16_t(rows.size() % 10)};
    rows[Key(id)] = Encode(row);
    return id;
  }
  static std::vector<uint8_t> Encode(const Row& row) {
    std::vector<uint8_t> record(kRecordSize, 0);
    if (row.name.empty()) record[0] |= 1;
    std::memcpy(record.data() + kNameOffset, row.name.data(),
                std::min<size_t>(row.name.size(), 40));
    if (row.numberNull) record[0] |= 2;
    le::Store(record.data() + kNumberOffset, row.number);
    return record;
  }
  bool ReadRecordByID(int32_t, TQDXRecordID id, uint8_t* buffer) override {
    auto it = rows.find(Key(id));
    if (it == rows.end()) return false;
    std::memcpy(buffer, it->second.data(), kRecordSize);
    return true;
  }
  void ForEachRecord(int32_t, uint8_t* buffer,
                     const std::function<void(TQDXRecordID)>& visit) override {
    for (const auto& [key, record] : rows) {
      std::memcpy(buffer, record.data(), kRecordSize);
      visit({key.first, key.second});
    }
  }
  int32_t MemoryRecordSize() const override { return kRecordSize; }

  static std::pair<int32_t, uint16_t> Key(TQDXRecordID id) { return {id.PageNo, id.SlotNo}; }
  std::map<std::pair<int32_t, uint16_t>, std::vector<uint8_t>> rows;
};

TQDXIndexColumnSpec NameColumn(int32_t maxIndexed) {
  return {"Name", 0, kNameOffset, 41, TQDXDataType::String, maxIndexed, false, false};
}
TQDXIndexColumnSpec NumberColumn(bool descending) {
  return {"Number", 1, kNumberOffset, 4, TQDXDataType::Integer, 20, descending, false};
}

// The record IDs in index order, walked with Navigate from BOF.
std::vector<TQDXRecordID> WalkNext(TQDXBTreeRecordIndex& index) {
  std::vector<TQDXRecordID> out;
  std::vector<uint8_t> buffer(kRecordSize);
  TQDXNavigationRequest request;
  request.Mode = grmNext;
  request.Buffer = buffer.data();
  request.AtBOF = true;
  TQDXIndexPositionCache cache;
  for (;;) {
    index.Navigate(kSession, request, 1, cache);
    if (request.Result != grOK) break;
    out.push_back(request.RecordID);
  }
  EXPECT_EQ(request.Result, grEOF);
  EXPECT_TRUE(request.AtEOF);
  return out;
}

TEST(RecordIndexTest, CutStringKeysAreStillOrderedExactly) {
  TMemoryPageManager pages(256);
  MemoryTable table;
  std::mt19937 random(5);
  std::vector<std::pair<std::string, TQDXRecordID>> model;
  for (int i = 0; i < 400; ++i) {
    // Long shared prefixes, so that most comparisons reach the whole values.
    std::string name = std::string(18 + random() % 4, 'K');
    const int tail = 1 + static_cast<int>(random() % 12);
    for (int k = 0; k < tail; ++k) name += static_cast<char>('A' + random() % 3);
    model.push_back({name, table.Add({name, i})});
  }
  TQDXBTreeRecordIndex index(pages, table, {NameColumn(20)}, 1, false);
  EXPECT_EQ(index.KeyRef().KeySize, 23);  // flag, 20 kept bytes, 2 trailing bytes
  index.Create(kSession, true);
  ASSERT_NO_THROW(index.Tree().CheckIntegrity(kSession));
  std::stable_sort(model.begin(), model.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return MemoryTable::Key(a.second) < MemoryTable::Key(b.second);
  });
  std::vector<std::string> walked;
  for (TQDXRecordID id : WalkNext(index)) {
    std::vector<uint8_t> record(kRecordSize);
    table.ReadRecordByID(kSession, id, record.data());
    walked.emplace_back(reinterpret_cast<const char*>(record.data() + kNameOffset));
  }
  std::vector<std::string> expected;
  for (const auto& entry : model) expected.push_back(entry.first);
  EXPECT_EQ(walked, expected);

  // Every record's key can be taken out again.
  for (const auto& [name, id] : model) {
    std::vector<uint8_t> record = MemoryTable::Encode({name, 0});
    index.DeleteKey({kSession, record.data(), id});
  }
  EXPECT_TRUE(WalkNext(index).empty());
}

TEST(RecordIndexTest, NullsComeFirstAscendingAndLastDescending) {
  for (const bool descending : {false, true}) {
    TMemoryPageManager pages(128);
    MemoryTable table;
    const TQDXRecordID nullRow = table.Add({"x", 0, true});
    for (int32_t n : {5, -3, 12}) table.Add({"x", n});
    TQDXBTreeRecordIndex index(pages, table, {NumberColumn(descending)}, 1, false);
    index.Create(kSession, true);
    const std::vector<TQDXRecordID> order = WalkNext(index);
    ASSERT_EQ(order.size(), 4u);
    EXPECT_EQ(descending ? order.back() : order.front(), nullRow);
    std::vector<int32_t> numbers;
    for (TQDXRecordID id : order) {
      if (id == nullRow) continue;
      std::vector<uint8_t> record(kRecordSize);
      table.ReadRecordByID(kSession, id, record.data());
      numbers.push_back(le::Load<int32_t>(record.data() + kNumberOffset));
    }
    const std::vector<int32_t> expected =
        descending ? std::vector<int32_t>{12, 5, -3} : std::vector<int32_t>{-3, 5, 12};
    EXPECT_EQ(numbers, expected);
  }
}

TEST(RecordIndexTest, NavigationContinuesAfterTheCurrentRecordWasDeleted) {
  TMemoryPageManager pages(128);
  MemoryTable table;
  std::vector<TQDXRecordID> ids;
  for (int32_t n = 0; n < 60; ++n) ids.push_back(table.Add({"x", n / 2}));  // pairs of equal keys
  TQDXBTreeRecordIndex index(pages, table, {NumberColumn(false)}, 7, false);
  index.Create(kSession, true);

  // Stand on the first record with key 10, then another session deletes both records of key 10.
  std::vector<uint8_t> buffer(kRecordSize);
  TQDXNavigationRequest request;
  request.Mode = grmNext;
  request.Buffer = buffer.data();
  request.RecordID = ids[20];
  table.ReadRecordByID(kSession, ids[20], buffer.data());
  for (int i : {20, 21}) {
    std::vector<uint8_t> record(kRecordSize);
    table.ReadRecordByID(kSession, ids[i], record.data());
    index.DeleteKey({kSession, record.data(), ids[i]});
    table.rows.erase(MemoryTable::Key(ids[i]));
  }
  TQDXIndexPositionCache cache;
  index.Navigate(kSession, request, 2, cache);
  EXPECT_EQ(request.Result, grError);  // the record is gone: the caller switches over
  request.Buffer = buffer.data();
  index.NavigateFromDeleted(kSession, request, 2, cache);
  ASSERT_EQ(request.Result, grOK);
  EXPECT_EQ(le::Load<int32_t>(buffer.data() + kNumberOffset), 11);
  request.Mode = grmPrior;
  index.Navigate(kSession, request, 2, cache);  // from the position cache
  ASSERT_EQ(request.Result, grOK);
  EXPECT_EQ(le::Load<int32_t>(buffer.data() + kNumberOffset), 9);
  EXPECT_EQ(request.RecordID, ids[19]);
}

TEST(RecordIndexTest, RecordNumbersAndUniqueness) {
  TMemoryPageManager pages(128);
  MemoryTable table;
  TQDXBTreeRecordIndex index(pages, table, {NumberColumn(false)}, 1, true);
  index.Create(kSession, false);
  auto code = [](const std::function<void()>& call) {
    try {
      call();
    } catch (const EQDXException& e) {
      return e.ErrorCode();
    }
    return 0;
  };
  EXPECT_EQ(code([&] { index.GetRecordIDByRecNo(kSession, 1); }), 20074);
  std::vector<TQDXRecordID> ids;
  for (int32_t n = 100; n > 0; --n) {
    const TQDXRecordID id = table.Add({"x", n * 3});
    std::vector<uint8_t> record = MemoryTable::Encode({"x", n * 3});
    index.InsertKey({kSession, record.data(), id});
    ids.push_back(id);
  }
  std::vector<uint8_t> scratch(kRecordSize);
  for (int32_t n = 1; n <= 100; ++n) {
    const TQDXRecordID id = ids[100 - n];  // number n * 3 is the n-th smallest
    EXPECT_EQ(index.GetRecNo(kSession, id, scratch.data()), n);
    EXPECT_EQ(index.GetRecordIDByRecNo(kSession, n), id);
  }
  EXPECT_EQ(code([&] { index.GetRecordIDByRecNo(kSession, 101); }), 20075);
  std::vector<uint8_t> taken = MemoryTable::Encode({"x", 30});
  std::vector<uint8_t> freeKey = MemoryTable::Encode({"x", 31});
  EXPECT_FALSE(index.IsKeyFree(kSession, taken.data()));
  EXPECT_TRUE(index.IsKeyFree(kSession, freeKey.data()));
  EXPECT_TRUE(index.IsKeyFreeForUpdate(kSession, taken.data(), taken.data()));
  EXPECT_FALSE(index.IsKeyFreeForUpdate(kSession, freeKey.data(), taken.data()));
  // Positions grow with the index order.
  TQDXKeyPath a, b;
  ASSERT_TRUE(index.Tree().GoFirst(kSession, a));
  b = a;
  while (index.Tree().Next(kSession, b)) {
    ASSERT_LT(index.PathToPosition(a), index.PathToPosition(b));
    ASSERT_EQ(TQDXBTreeRecordIndex::CompareKeyPaths(
                  index.PositionToPath(kSession, index.PathToPosition(b)), b),
              0);
    a = b;
  }
}

TEST(RecordIndexTest, BlobColumnsAreRefused) {
  MemoryTable table;
  TQDXIndexColumnSpec blob{"Photo", 0, 1, 10, TQDXDataType::Blob, 20, false, false};
  try {
    TQDXRecordKeyRef keys({blob}, &table);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20295);
    EXPECT_NE(std::string(e.what()).find("'Photo'"), std::string::npos);
  }
}

}  // namespace
}  // namespace qdx

namespace qdx {
namespace {

TEST(RecordIndexTest, ColumnSpecsComeFromTheDefinitions) {
  TQDXFieldDefs fields;
  auto& name = static_cast<TQDXFieldDef&>(fields.AddCreated());
  name.SetName("Name");
  name.SetFieldType(TQDXFieldType::String, 40);
  auto& photo = static_cast<TQDXFieldDef&>(fields.AddCreated());
  photo.SetName("Photo");
  photo.SetFieldType(TQDXFieldType::Blob);
  fields.CalculateOffsets();

  TQDXIndexDef index;
  index.SetColumnsFromLists({"NAME"}, {"DESC"}, {"NO_CASE"});
  const std::vector<TQDXIndexColumnSpec> specs = IndexColumnSpecs(index, fields);
  ASSERT_EQ(specs.size(), 1u);
  EXPECT_EQ(specs[0].FieldNo, 0);
  EXPECT_EQ(specs[0].MemoryOffset, name.MemoryOffset);
  EXPECT_EQ(specs[0].MemorySize, name.MemorySize);
  EXPECT_TRUE(specs[0].Descending);
  EXPECT_TRUE(specs[0].CaseInsensitive);
  MemoryTable table;
  EXPECT_EQ(TQDXRecordKeyRef(specs, &table).KeySize, 23);

  const std::vector<std::pair<std::string, int32_t>> refused = {{"Missing", 20043},
                                                                {"Photo", 20295}};
  for (const auto& [field, code] : refused) {
    index.SetColumnsFromLists({field}, {""}, {""});
    try {
      IndexColumnSpecs(index, fields);
      ADD_FAILURE() << field;
    } catch (const EQDXException& e) {
      EXPECT_EQ(e.ErrorCode(), code);
    }
  }
}

}  // namespace
}  // namespace qdx
