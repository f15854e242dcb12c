// Disk tables against SQLite on the same work: a table of five fields (a name of 20
// characters, an integer, a date, two doubles) with one index on the date.
//   insert each committed: inserts, each its own commit, durable (flushed) or not
//   insert in small commits: inserts committed ten at a time, durable or not
//   insert one transaction: 100 000 inserts, one commit
//   walk: 100 000 records in date order, every field read
//   update walk: the same walk, one field of every record updated, one commit
// SQLite: a file in the temporary directory, page size 4096, a 1000-page cache,
// synchronous=OFF, journal_mode=WAL (its fastest mode that survives a crash), prepared
// statements. Ours: a database file of 4096-byte pages, its 1000-page cache; commits do not
// flush (as synchronous=OFF).
// The commit comparisons set durability alike on both sides. Durable: our commit flushes its
// journal before the first write in place and the file before it returns, so the commit is on
// the disk when the call returns; so is SQLite's with synchronous=FULL, in either journal mode.
// Without syncs: a commit that survives the death of its process but not a power cut, as
// SQLite's with synchronous=OFF. The lite_wal argument picks SQLite's journal: 0 the rollback
// journal (journal_mode=DELETE), 1 its write-ahead log (journal_mode=WAL); our rows ignore it
// and run once per SQLite row, so that every row has its pair. durable=2 is SQLite alone: WAL
// with synchronous=NORMAL, which syncs the log only at a checkpoint, so a power cut cannot tear
// a commit but may take back the last ones; we have no such setting.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/record_layout.h"
#include "engine/core/table_cursor.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_table_data.h"
#include "engine/foundation/platform/critical_section.h"

namespace qdx {
namespace {

constexpr int32_t kFirstDay = 738000;

std::string TempFile(const char* stem) {
  std::string name = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  name.append("/").append(stem).append(std::to_string(std::random_device{}()));
  return name;
}

struct Row {
  char name[21];
  int32_t km;
  int32_t day;
  double liter;
  double amount;
};

Row MakeRow(int32_t i) {
  Row row{};
  std::snprintf(row.name, sizeof row.name, "Tankstelle %08d", i * 7919 % 100000);
  row.km = i * 17;
  row.day = kFirstDay + static_cast<int32_t>((int64_t{i} * 48271) % 3650);
  row.liter = 30 + (i % 400) / 10.0;
  row.amount = row.liter * 1.789;
  return row;
}

// ---- Ours ----------------------------------------------------------------------------------

class Cursor : public TQDXTableCursor {
 public:
  Cursor(TQDXDatabaseData& data, TQDXBaseSession& session) {
    Session = &session;
    TableName = "Tanken";
    table = static_cast<TQDXDiskTableData*>(data.GetTableData(*this));
    table->RegisterCursor(*this);
    buffer_.assign(static_cast<size_t>(table->MemoryRecordSize()), 0);
    Buffer = buffer_.data();
  }
  ~Cursor() override { table->UnregisterCursor(*this); }
  const TQDXFieldDefs& Fields() const { return table->FieldManager().FieldDefs(); }

  void Fill(const Row& row) {
    const TQDXFieldDefs& fields = Fields();
    InitRecordBuffer(fields, Buffer);
    SetFieldData(0, fields, row.name, Buffer);
    SetFieldData(1, fields, &row.km, Buffer);
    SetFieldData(2, fields, &row.day, Buffer);
    SetFieldData(3, fields, &row.liter, Buffer);
    SetFieldData(4, fields, &row.amount, Buffer);
  }
  Row Read() const {
    Row row{};
    const TQDXFieldDefs& fields = Fields();
    GetFieldData(0, fields, row.name, Buffer);
    GetFieldData(1, fields, &row.km, Buffer);
    GetFieldData(2, fields, &row.day, Buffer);
    GetFieldData(3, fields, &row.liter, Buffer);
    GetFieldData(4, fields, &row.amount, Buffer);
    return row;
  }

  TQDXDiskTableData* table;

 private:
  std::vector<uint8_t> buffer_;
};

struct Ours {
  std::string file = TempFile("qdx_table_bench_");
  TQDXBaseSession session;
  std::unique_ptr<TQDXDiskDatabaseData> data;

  Ours() {
    std::remove(file.c_str());
    TQDXDiskDatabaseData(file).CreateDatabase();
    data = std::make_unique<TQDXDiskDatabaseData>(file);
    data->AddSession(session);
    TQDXFieldDefs fields;
    fields.AddField("Name", TQDXFieldType::String, 20);
    fields.AddField("Km", TQDXFieldType::Integer);
    fields.AddField("Datum", TQDXFieldType::Date);
    fields.AddField("Liter", TQDXFieldType::Float);
    fields.AddField("Betrag", TQDXFieldType::Float);
    TQDXIndexDefs indexes;
    auto& byDate = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    byDate.SetName("ByDatum");
    byDate.SetColumnsFromLists({"Datum"}, {"ASC"}, {""});
    TQDXTableCursor creator;
    creator.Session = &session;
    creator.TableName = "Tanken";
    data->GetTableData(creator)->CreateTable(creator, fields, TQDXConstraintDefs(), indexes);
  }
  ~Ours() {
    data->RemoveSession(session);
    data.reset();
    std::remove(file.c_str());
  }
  void Load(int32_t count) {
    Cursor cursor(*data, session);
    session.InTransaction = true;
    for (int32_t i = 0; i < count; ++i) {
      cursor.Fill(MakeRow(i));
      cursor.table->InsertRecord(cursor);
    }
    session.InTransaction = false;
    data->CommitTransaction(session.SessionID(), false);
  }
};

void BM_OursInsertEachCommitted(benchmark::State& state) {
  for (auto _ : state) {
    Ours ours;
    ours.data->PageManager()->SyncAutoCommits = state.range(1) != 0;
    Cursor cursor(*ours.data, ours.session);
    for (int32_t i = 0; i < state.range(0); ++i) {
      cursor.Fill(MakeRow(i));
      if (!cursor.table->InsertRecord(cursor)) state.SkipWithError("insert failed");
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

constexpr int32_t kRecordsPerCommit = 10;

void BM_OursInsertInSmallCommits(benchmark::State& state) {
  const bool durable = state.range(1) != 0;
  for (auto _ : state) {
    Ours ours;
    Cursor cursor(*ours.data, ours.session);
    for (int32_t i = 0; i < state.range(0); i += kRecordsPerCommit) {
      ours.session.InTransaction = true;
      for (int32_t j = i; j < i + kRecordsPerCommit; ++j) {
        cursor.Fill(MakeRow(j));
        if (!cursor.table->InsertRecord(cursor)) state.SkipWithError("insert failed");
      }
      ours.session.InTransaction = false;
      ours.data->CommitTransaction(ours.session.SessionID(), durable);
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_OursInsertOneTransaction(benchmark::State& state) {
  for (auto _ : state) {
    Ours ours;
    ours.Load(static_cast<int32_t>(state.range(0)));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

Ours& LoadedOurs() {
  static Ours* ours = [] {
    auto* loaded = new Ours;
    loaded->Load(100000);
    return loaded;
  }();
  return *ours;
}

void BM_OursWalk(benchmark::State& state) {
  Ours& ours = LoadedOurs();
  Cursor cursor(*ours.data, ours.session);
  cursor.CurrentIndexID = cursor.table->IndexManager().IndexDefs().FindIndex("ByDatum")->ObjectID();
  for (auto _ : state) {
    cursor.AtBOF = true;
    cursor.AtEOF = false;
    int64_t count = 0;
    double sum = 0;
    while (cursor.table->GetRecord(cursor, grmNext) == grOK) {
      const Row row = cursor.Read();
      sum += row.liter + row.km;
      ++count;
    }
    benchmark::DoNotOptimize(sum);
    if (count != 100000) state.SkipWithError("walk lost records");
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}

void BM_OursUpdateWalk(benchmark::State& state) {
  Ours& ours = LoadedOurs();
  Cursor cursor(*ours.data, ours.session);
  cursor.CurrentIndexID = cursor.table->IndexManager().IndexDefs().FindIndex("ByDatum")->ObjectID();
  for (auto _ : state) {
    ours.session.InTransaction = true;
    cursor.AtBOF = true;
    cursor.AtEOF = false;
    int64_t count = 0;
    while (cursor.table->GetRecord(cursor, grmNext) == grOK) {
      Row row = cursor.Read();
      row.liter += 1;
      SetFieldData(3, cursor.Fields(), &row.liter, cursor.Buffer);
      if (!cursor.table->UpdateRecord(cursor)) state.SkipWithError("update failed");
      ++count;
    }
    ours.session.InTransaction = false;
    ours.data->CommitTransaction(ours.session.SessionID(), false);
    if (count != 100000) state.SkipWithError("walk lost records");
  }
  state.SetItemsProcessed(state.iterations() * 100000);
}

// ---- SQLite --------------------------------------------------------------------------------

// How SQLite commits: its write-ahead log without syncs (the bulk and walk comparisons), or,
// for the commit comparisons, its rollback journal or its log at the durability of the row.
enum class LiteJournal { WalNoSync, RollbackNoSync, RollbackFull, WalNormal, WalFull };

const char* JournalPragmas(LiteJournal journal) {
  switch (journal) {
    case LiteJournal::RollbackNoSync:
      return "PRAGMA journal_mode=DELETE; PRAGMA synchronous=OFF;";
    case LiteJournal::RollbackFull:
      return "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;";
    case LiteJournal::WalNormal:
      return "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";
    case LiteJournal::WalFull:
      return "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;";
    case LiteJournal::WalNoSync:
      break;
  }
  return "PRAGMA synchronous=OFF; PRAGMA journal_mode=WAL;";
}

struct Lite {
  sqlite3* db = nullptr;
  std::string file = TempFile("qdx_table_bench_lite_");
  sqlite3_stmt* insert = nullptr;

  explicit Lite(LiteJournal journal = LiteJournal::WalNoSync) {
    std::remove(file.c_str());
    sqlite3_open(file.c_str(), &db);
    Exec("PRAGMA page_size=4096; PRAGMA cache_size=1000;");
    Exec(JournalPragmas(journal));
    Exec("CREATE TABLE t(name TEXT, km INTEGER, datum INTEGER, liter REAL, betrag REAL);"
         "CREATE INDEX td ON t(datum);");
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?, ?, ?, ?)", -1, &insert, nullptr);
  }
  ~Lite() {
    sqlite3_finalize(insert);
    sqlite3_close(db);
    std::remove(file.c_str());
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
      std::remove(std::string(file).append(suffix).c_str());
    }
  }
  void Exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
  bool Insert(const Row& row) {
    sqlite3_bind_text(insert, 1, row.name, -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 2, row.km);
    sqlite3_bind_int(insert, 3, row.day);
    sqlite3_bind_double(insert, 4, row.liter);
    sqlite3_bind_double(insert, 5, row.amount);
    const bool done = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
    return done;
  }
  void Load(int32_t count) {
    Exec("BEGIN");
    for (int32_t i = 0; i < count; ++i) Insert(MakeRow(i));
    Exec("COMMIT");
  }
};

// The arguments of a commit row: records, durable (0 no syncs, 1 synced commits, 2 WAL with
// synchronous=NORMAL), lite_wal.
LiteJournal CommitJournal(const benchmark::State& state) {
  if (state.range(2) == 0) {
    return state.range(1) != 0 ? LiteJournal::RollbackFull : LiteJournal::RollbackNoSync;
  }
  switch (state.range(1)) {
    case 0:
      return LiteJournal::WalNoSync;
    case 2:
      return LiteJournal::WalNormal;
    default:
      return LiteJournal::WalFull;
  }
}

void BM_SQLiteInsertEachCommitted(benchmark::State& state) {
  for (auto _ : state) {
    Lite lite(CommitJournal(state));
    for (int32_t i = 0; i < state.range(0); ++i) {
      if (!lite.Insert(MakeRow(i))) state.SkipWithError("insert failed");
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SQLiteInsertInSmallCommits(benchmark::State& state) {
  for (auto _ : state) {
    Lite lite(CommitJournal(state));
    for (int32_t i = 0; i < state.range(0); i += kRecordsPerCommit) {
      lite.Exec("BEGIN");
      for (int32_t j = i; j < i + kRecordsPerCommit; ++j) {
        if (!lite.Insert(MakeRow(j))) state.SkipWithError("insert failed");
      }
      lite.Exec("COMMIT");
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SQLiteInsertOneTransaction(benchmark::State& state) {
  for (auto _ : state) {
    Lite lite;
    lite.Load(static_cast<int32_t>(state.range(0)));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

Lite& LoadedLite() {
  static Lite* lite = [] {
    auto* loaded = new Lite;
    loaded->Load(100000);
    return loaded;
  }();
  return *lite;
}

void BM_SQLiteWalk(benchmark::State& state) {
  Lite& lite = LoadedLite();
  sqlite3_stmt* walk = nullptr;
  sqlite3_prepare_v2(lite.db, "SELECT name, km, datum, liter, betrag FROM t ORDER BY datum", -1,
                     &walk, nullptr);
  for (auto _ : state) {
    int64_t count = 0;
    double sum = 0;
    while (sqlite3_step(walk) == SQLITE_ROW) {
      Row row{};
      const unsigned char* name = sqlite3_column_text(walk, 0);
      std::snprintf(row.name, sizeof row.name, "%s", reinterpret_cast<const char*>(name));
      row.km = sqlite3_column_int(walk, 1);
      row.day = sqlite3_column_int(walk, 2);
      row.liter = sqlite3_column_double(walk, 3);
      row.amount = sqlite3_column_double(walk, 4);
      sum += row.liter + row.km;
      ++count;
    }
    sqlite3_reset(walk);
    benchmark::DoNotOptimize(sum);
    if (count != 100000) state.SkipWithError("walk lost rows");
  }
  sqlite3_finalize(walk);
  state.SetItemsProcessed(state.iterations() * 100000);
}

void BM_SQLiteUpdateWalk(benchmark::State& state) {
  Lite& lite = LoadedLite();
  sqlite3_stmt* walk = nullptr;
  sqlite3_stmt* update = nullptr;
  sqlite3_prepare_v2(lite.db,
                     "SELECT rowid, name, km, datum, liter, betrag FROM t ORDER BY datum", -1,
                     &walk, nullptr);
  sqlite3_prepare_v2(lite.db, "UPDATE t SET liter = ? WHERE rowid = ?", -1, &update, nullptr);
  for (auto _ : state) {
    lite.Exec("BEGIN");
    int64_t count = 0;
    while (sqlite3_step(walk) == SQLITE_ROW) {
      sqlite3_bind_double(update, 1, sqlite3_column_double(walk, 4) + 1);
      sqlite3_bind_int64(update, 2, sqlite3_column_int64(walk, 0));
      if (sqlite3_step(update) != SQLITE_DONE) state.SkipWithError("update failed");
      sqlite3_reset(update);
      ++count;
    }
    sqlite3_reset(walk);
    lite.Exec("COMMIT");
    if (count != 100000) state.SkipWithError("walk lost rows");
  }
  sqlite3_finalize(walk);
  sqlite3_finalize(update);
  state.SetItemsProcessed(state.iterations() * 100000);
}

// A synced commit waits for the device (milliseconds each here), so the durable runs are shorter.
// Each row of ours runs once per SQLite journal; WAL with synchronous=NORMAL is SQLite's alone.
#define COMMIT_ROWS(records, durableRecords)     \
  ->ArgNames({"records", "durable", "lite_wal"}) \
      ->Args({records, 0, 0})                    \
      ->Args({records, 0, 1})                    \
      ->Args({durableRecords, 1, 0})             \
      ->Args({durableRecords, 1, 1})             \
      ->Iterations(1)                            \
      ->Unit(benchmark::kMillisecond)
#define WAL_NORMAL_ROW(durableRecords)           \
  ->ArgNames({"records", "durable", "lite_wal"}) \
      ->Args({durableRecords, 2, 1})             \
      ->Iterations(1)                            \
      ->Unit(benchmark::kMillisecond)
BENCHMARK(BM_OursInsertEachCommitted) COMMIT_ROWS(10000, 200);
BENCHMARK(BM_SQLiteInsertEachCommitted) COMMIT_ROWS(10000, 200);
BENCHMARK(BM_SQLiteInsertEachCommitted) WAL_NORMAL_ROW(200);
BENCHMARK(BM_OursInsertInSmallCommits) COMMIT_ROWS(10000, 2000);
BENCHMARK(BM_SQLiteInsertInSmallCommits) COMMIT_ROWS(10000, 2000);
BENCHMARK(BM_SQLiteInsertInSmallCommits) WAL_NORMAL_ROW(2000);
BENCHMARK(BM_OursInsertOneTransaction)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SQLiteInsertOneTransaction)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SQLiteWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursUpdateWalk)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SQLiteUpdateWalk)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qdx
