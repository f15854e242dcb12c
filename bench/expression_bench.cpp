// Filtering against SQLite on the same work: 100 000 fuel purchases (number, station name,
// amount, litres, date), counted through a three-condition filter without an index.
//
// Ours: the records are memory record buffers side by side (as the table data holds them after
// reading a page), and the compiled filter's Evaluate runs over every one. SQLite: an in-memory
// database, so no file or page cache is involved; a prepared `SELECT count(*) ... WHERE` with the
// same conditions. SQLite compares text bytewise, ours by the user's locale (case-sensitive).
// Two orders of the same conditions: the cheap numeric ones first, and the text one first, which
// makes every record pay a locale comparison.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/core/expr/expression.h"
#include "engine/core/record_layout.h"

namespace {

using namespace qdx;

constexpr int32_t kRecords = 100000;
const char* const kStations[] = {"Shell",  "Esso", "BP",        "Total",  "Tango",
                                 "Texaco", "Q8",   "Gulf Oil",  "Tinq",   "Argos"};

const char* const kNumbersFirst = "Bedrag > 50 AND Liters < 40 AND Naam = 'Shell'";
const char* const kTextFirst = "Naam = 'Shell' AND Bedrag > 50 AND Liters < 40";

struct Purchase {
  int32_t nr;
  const char* naam;
  double bedrag, liters;
  int32_t datum;
};

const std::vector<Purchase>& Purchases() {
  static const std::vector<Purchase> purchases = [] {
    std::mt19937 random(7);
    std::vector<Purchase> all;
    for (int32_t i = 0; i < kRecords; ++i) {
      all.push_back({i, kStations[random() % 10], 10 + (random() % 11000) / 100.0,
                     5 + (random() % 5500) / 100.0, 738000 + static_cast<int32_t>(random() % 1000)});
    }
    return all;
  }();
  return purchases;
}

struct Ours {
  TQDXFieldDefs defs;
  int32_t size = 0;
  std::vector<uint8_t> records;

  Ours() {
    defs.AddField("Nr", TQDXFieldType::Integer);
    defs.AddField("Naam", TQDXFieldType::String, 20);
    defs.AddField("Bedrag", TQDXFieldType::Currency);
    defs.AddField("Liters", TQDXFieldType::Float);
    defs.AddField("Datum", TQDXFieldType::Date);
    defs.CalculateOffsets();
    size = defs.MemoryRecordSize();
    records.resize(static_cast<size_t>(size) * kRecords);
    for (int32_t i = 0; i < kRecords; ++i) {
      const Purchase& p = Purchases()[static_cast<size_t>(i)];
      uint8_t* record = records.data() + static_cast<size_t>(i) * size;
      InitRecordBuffer(defs, record);
      auto set = [&](int32_t fieldNo, auto setter) {
        TQDXVariant value;
        setter(value);
        SetFieldValue(value, fieldNo, defs, record);
      };
      set(0, [&](TQDXVariant& v) { v.SetAsInteger(p.nr); });
      set(1, [&](TQDXVariant& v) { v.SetAsString(p.naam); });
      set(2, [&](TQDXVariant& v) { v.SetAsCurrency(p.bedrag); });
      set(3, [&](TQDXVariant& v) { v.SetAsFloat(p.liters); });
      set(4, [&](TQDXVariant& v) { v.SetAsDate(p.datum); });
    }
  }
};

Ours& OurTable() {
  static Ours ours;
  return ours;
}

sqlite3* SqliteTable() {
  static sqlite3* db = [] {
    sqlite3* handle = nullptr;
    sqlite3_open(":memory:", &handle);
    sqlite3_exec(handle,
                 "CREATE TABLE t (nr INTEGER, naam TEXT, bedrag REAL, liters REAL, datum INTEGER);"
                 "BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(handle, "INSERT INTO t VALUES (?, ?, ?, ?, ?)", -1, &insert, nullptr);
    for (const Purchase& p : Purchases()) {
      sqlite3_bind_int(insert, 1, p.nr);
      sqlite3_bind_text(insert, 2, p.naam, -1, SQLITE_STATIC);
      sqlite3_bind_double(insert, 3, p.bedrag);
      sqlite3_bind_double(insert, 4, p.liters);
      sqlite3_bind_int(insert, 5, p.datum);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
    return handle;
  }();
  return db;
}

// Both orders select the same records.
int64_t Expected() {
  int64_t count = 0;
  for (const Purchase& p : Purchases()) {
    count += p.bedrag > 50 && p.liters < 40 && std::string(p.naam) == "Shell";
  }
  return count;
}

void BM_OursFilter(benchmark::State& state) {
  Ours& ours = OurTable();
  const bool textFirst = state.range(0) != 0;
  const auto filter =
      CompileFilterExpression(textFirst ? kTextFirst : kNumbersFirst, ours.defs, {});
  const int64_t expected = Expected();
  for (auto _ : state) {
    int64_t count = 0;
    for (int32_t i = 0; i < kRecords; ++i) {
      count += filter->Evaluate(ours.records.data() + static_cast<size_t>(i) * ours.size);
    }
    if (count != expected) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(count);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_OursFilter)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SqliteWhere(benchmark::State& state) {
  sqlite3* db = SqliteTable();
  const bool textFirst = state.range(0) != 0;
  const std::string sql =
      textFirst ? "SELECT count(*) FROM t WHERE naam = 'Shell' AND bedrag > 50 AND liters < 40"
                : "SELECT count(*) FROM t WHERE bedrag > 50 AND liters < 40 AND naam = 'Shell'";
  sqlite3_stmt* query = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr);
  const int64_t expected = Expected();
  for (auto _ : state) {
    sqlite3_step(query);
    const int64_t count = sqlite3_column_int64(query, 0);
    sqlite3_reset(query);
    if (count != expected) state.SkipWithError("wrong count");
  }
  sqlite3_finalize(query);
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_SqliteWhere)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
