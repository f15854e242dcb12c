// The B-tree record index against SQLite on the same work: a table with an INTEGER and a
// 20-character TEXT column and an index on each; 1 000 000 keys inserted in ascending and in
// random order in one transaction, all keys walked in order, and 100 000 point look-ups.
//
// SQLite: a file in the temporary directory, page size 4096, a 1000-page cache, synchronous=OFF,
// journal_mode=OFF. Ours: 4096-byte pages through the page manager, whose storage here is memory
// (the disk page manager is not part of this layer); the records live in a vector, so only the
// two index trees are built, while SQLite also writes its table rows.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/core/btree_record_index.h"
#include "engine/core/field_def.h"
#include "engine/core/page_manager.h"
#include "engine/core/table_index_def.h"

namespace {

using namespace qdx;

constexpr int32_t kKeys = 1000000;
constexpr int32_t kLookups = 100000;
constexpr int32_t kSession = 0;

class MemoryPageManager : public TQDXPageManager {
 public:
  // Used outside a database: the creating thread holds its critical section for its lifetime.
  MemoryPageManager() {
    SetPageGeometry(4096, kPageHeaderSize);
    SetCacheLimit(1000);
    DatabaseLock().Enter();
  }
  ~MemoryPageManager() override { DatabaseLock().Leave(); }
  void InternalAddPage(TQDXPage& page) override {
    page.PageNo = static_cast<int32_t>(stored_.size());
    stored_.emplace_back();
    page.AllocateBuffer();
  }
  void InternalRemovePage(int32_t) override {}
  bool InternalReadPage(TQDXPage& page) override {
    if (page.Buffer() == nullptr) page.AllocateBuffer();
    std::memcpy(page.Buffer(), stored_[page.PageNo].get(), 4096);
    return true;
  }
  void InternalWritePage(TQDXPage& page) override {
    auto& slot = stored_[page.PageNo];
    if (!slot) slot = std::make_unique<uint8_t[]>(4096);
    std::memcpy(slot.get(), page.Buffer(), 4096);
  }

 private:
  std::vector<std::unique_ptr<uint8_t[]>> stored_;
};

std::string RandomText(std::mt19937& random) {
  std::string text(20, ' ');
  for (char& c : text) c = static_cast<char>('a' + random() % 26);
  return text;
}

// Keys in insertion order: ascending integers with texts in the same order, or shuffled.
struct Keys {
  std::vector<int32_t> numbers;
  std::vector<std::string> texts;
};
Keys MakeKeys(bool ascending) {
  std::mt19937 random(42);
  std::vector<std::string> texts(kKeys);
  for (auto& text : texts) text = RandomText(random);
  std::sort(texts.begin(), texts.end());
  std::vector<int32_t> order(kKeys);
  std::iota(order.begin(), order.end(), 0);
  if (!ascending) std::shuffle(order.begin(), order.end(), random);
  Keys keys;
  for (int32_t i : order) {
    keys.numbers.push_back(i);
    keys.texts.push_back(texts[i]);
  }
  return keys;
}

// ---- ours ----

class Table : public TQDXIndexOwner, public TQDXIndexRecordSource {
 public:
  Table() {
    AddField("N", TQDXFieldType::Integer, 0);
    AddField("T", TQDXFieldType::String, 20);
    fields_.CalculateOffsets();
    recordSize_ = fields_.MemoryRecordSize();
    numberOffset_ = fields_.GetFieldDef(0).MemoryOffset;
    textOffset_ = fields_.GetFieldDef(1).MemoryOffset;
  }
  void Encode(int32_t number, const std::string& text, uint8_t* record) const {
    std::memset(record, 0, recordSize_);
    le::Store(record + numberOffset_, number);
    std::memcpy(record + textOffset_, text.data(), std::min<size_t>(text.size(), 20));
  }
  TQDXRecordID Add(int32_t number, const std::string& text) {
    const size_t at = records_.size();
    records_.resize(at + recordSize_);
    Encode(number, text, records_.data() + at);
    const int32_t n = static_cast<int32_t>(at / recordSize_);
    return {n / 64, static_cast<uint16_t>(n % 64)};
  }
  uint8_t* Record(TQDXRecordID id) {
    return records_.data() + static_cast<size_t>(id.PageNo * 64 + id.SlotNo) * recordSize_;
  }

  TQDXPageManager& IndexPageManager(bool) override { return pages_; }
  const TQDXFieldDefs& IndexFieldDefs() const override { return fields_; }
  TQDXIndexRecordSource& IndexRecords() override { return *this; }
  bool ReadRecordByID(int32_t, TQDXRecordID id, uint8_t* buffer) override {
    const size_t n = static_cast<size_t>(id.PageNo) * 64 + id.SlotNo;
    if (id.PageNo < 0 || (n + 1) * recordSize_ > records_.size()) return false;
    std::memcpy(buffer, Record(id), recordSize_);
    return true;
  }
  void ForEachRecord(int32_t, uint8_t*, const std::function<void(TQDXRecordID)>&) override {}
  int32_t MemoryRecordSize() const override { return recordSize_; }
  MemoryPageManager& Pages() { return pages_; }

 private:
  void AddField(const char* name, TQDXFieldType type, int32_t size) {
    auto& field = static_cast<TQDXFieldDef&>(fields_.AddCreated());
    field.SetName(name);
    field.SetFieldType(type, size);
  }
  TQDXFieldDefs fields_;
  MemoryPageManager pages_;
  std::vector<uint8_t> records_;
  int32_t recordSize_ = 0, numberOffset_ = 0, textOffset_ = 0;
};

struct Ours {
  Table table;
  TQDXBTreeRecordIndex byNumber{table};
  TQDXBTreeRecordIndex byText{table};
  Ours() {
    TQDXIndexCursor cursor{kSession, nullptr, {}};
    for (auto [index, field] : {std::pair{&byNumber, "N"}, std::pair{&byText, "T"}}) {
      TQDXIndexDef def;
      def.SetName(field);
      def.SetColumnsFromLists({field}, {""}, {""});
      index->Create(&cursor, def);
    }
  }
  void Load(const Keys& keys) {
    for (int32_t i = 0; i < kKeys; ++i) {
      const TQDXRecordID id = table.Add(keys.numbers[i], keys.texts[i]);
      const TQDXIndexCursor cursor{kSession, table.Record(id), id};
      byNumber.InsertKey(cursor);
      byText.InsertKey(cursor);
    }
    table.Pages().ApplyChanges(kSession);
  }
};

void BM_OursInsert(benchmark::State& state) {
  const Keys keys = MakeKeys(state.range(0) != 0);
  for (auto _ : state) {
    Ours ours;
    ours.Load(keys);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

Ours& LoadedOurs() {
  static Ours* ours = [] {
    auto* loaded = new Ours;
    loaded->Load(MakeKeys(false));
    return loaded;
  }();
  return *ours;
}

void BM_OursWalk(benchmark::State& state) {
  Ours& ours = LoadedOurs();
  TQDXBTreeRecordIndex& index = state.range(0) == 0 ? ours.byNumber : ours.byText;
  for (auto _ : state) {
    TQDXKeyPath path;
    int64_t count = 0;
    TQDXRecordID id;
    if (index.Tree().GoFirst(kSession, path)) {
      do {
        index.GetRecordIDAtPath(kSession, path, id);
        ++count;
      } while (index.Tree().Next(kSession, path));
    }
    if (count != kKeys) state.SkipWithError("walk lost keys");
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_OursLookup(benchmark::State& state) {
  Ours& ours = LoadedOurs();
  std::mt19937 random(7);
  std::vector<uint8_t> record(ours.table.MemoryRecordSize(), 0);
  std::vector<uint8_t> key(ours.byNumber.KeyRef().KeySize);
  for (auto _ : state) {
    int64_t found = 0;
    for (int32_t i = 0; i < kLookups; ++i) {
      ours.table.Encode(static_cast<int32_t>(random() % kKeys), "", record.data());
      std::fill(key.begin(), key.end(), 0);
      ours.byNumber.KeyRef().BuildCompactKey(record.data(), key.data());
      TQDXKeyPath path;
      found += ours.byNumber.Tree().FindCondition(kSession, true, path, ckEqual, key.data());
    }
    if (found != kLookups) state.SkipWithError("look-up missed");
  }
  state.SetItemsProcessed(state.iterations() * kLookups);
}

// ---- SQLite ----

struct Lite {
  sqlite3* db = nullptr;
  std::string file;
  Lite() {
    file = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
           "/qdx_btree_bench_" + std::to_string(std::random_device{}()) + ".db";
    std::remove(file.c_str());
    sqlite3_open(file.c_str(), &db);
    Exec(
        "PRAGMA page_size=4096; PRAGMA cache_size=1000; PRAGMA synchronous=OFF;"
        "PRAGMA journal_mode=OFF;"
        "CREATE TABLE t(n INTEGER, s TEXT); CREATE INDEX tn ON t(n); CREATE INDEX ts ON t(s);");
  }
  ~Lite() {
    sqlite3_close(db);
    std::remove(file.c_str());
  }
  void Exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
  void Load(const Keys& keys) {
    Exec("BEGIN");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t(n, s) VALUES(?, ?)", -1, &insert, nullptr);
    for (int32_t i = 0; i < kKeys; ++i) {
      sqlite3_bind_int(insert, 1, keys.numbers[i]);
      sqlite3_bind_text(insert, 2, keys.texts[i].data(), 20, SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Exec("COMMIT");
  }
};

void BM_SQLiteInsert(benchmark::State& state) {
  const Keys keys = MakeKeys(state.range(0) != 0);
  for (auto _ : state) {
    Lite lite;
    lite.Load(keys);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

Lite& LoadedLite() {
  static Lite* lite = [] {
    auto* loaded = new Lite;
    loaded->Load(MakeKeys(false));
    return loaded;
  }();
  return *lite;
}

void BM_SQLiteWalk(benchmark::State& state) {
  Lite& lite = LoadedLite();
  const char* sql =
      state.range(0) == 0 ? "SELECT n FROM t ORDER BY n" : "SELECT s FROM t ORDER BY s";
  for (auto _ : state) {
    sqlite3_stmt* walk = nullptr;
    sqlite3_prepare_v2(lite.db, sql, -1, &walk, nullptr);
    int64_t count = 0;
    while (sqlite3_step(walk) == SQLITE_ROW) ++count;
    sqlite3_finalize(walk);
    if (count != kKeys) state.SkipWithError("walk lost rows");
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_SQLiteLookup(benchmark::State& state) {
  Lite& lite = LoadedLite();
  std::mt19937 random(7);
  sqlite3_stmt* find = nullptr;
  sqlite3_prepare_v2(lite.db, "SELECT rowid FROM t WHERE n = ?", -1, &find, nullptr);
  for (auto _ : state) {
    int64_t found = 0;
    for (int32_t i = 0; i < kLookups; ++i) {
      sqlite3_bind_int(find, 1, static_cast<int32_t>(random() % kKeys));
      found += sqlite3_step(find) == SQLITE_ROW;
      sqlite3_reset(find);
    }
    if (found != kLookups) state.SkipWithError("look-up missed");
  }
  sqlite3_finalize(find);
  state.SetItemsProcessed(state.iterations() * kLookups);
}

// Arg: 1 ascending, 0 random insertion order; 0 the INTEGER index, 1 the TEXT index.
BENCHMARK(BM_OursInsert)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SQLiteInsert)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursWalk)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SQLiteWalk)->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursLookup)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SQLiteLookup)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
