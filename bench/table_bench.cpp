// The table dataset against SQLite, as the program uses it: a walk of the expense table in date
// order reading every field, and the statistics walk (read four fields of every record, write
// the consumption back into every fuel record, each change committed on its own). SQLite gets
// the same data and index, prepared statements, synchronous OFF and journal mode OFF, and
// commits each update in a transaction of its own.
//
// The tables are built once per process in $TMPDIR (QDX_BENCH_RECORDS records, 100 000 unless
// set), outside the timed loops.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dataset/qdx_database.h"
#include "dataset/qdx_table.h"
#include "engine/foundation/platform/locale.h"
#include "tests/dataset/expense_table_support.h"

namespace qdx {
namespace {

constexpr double kFirstDay = 40000;  // 2009-07-06
const char16_t* const kCategories[] = {u"Brandstof", u"Onderhoud", u"Verzekering",
                                       u"Wegenbelasting", u"Afschrijving"};

int32_t RecordCount() {
  const char* text = std::getenv("QDX_BENCH_RECORDS");
  return text != nullptr ? std::atoi(text) : 100000;
}

std::string BenchDir() {
  const auto dir = std::filesystem::temp_directory_path() / ("qdx_table_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return dir.string();
}

// Record i: every fifth is not fuel; dates advance a day every two records, so dates repeat.
struct Expense {
  double day;
  int category;
  int32_t km;
  double litres;
  double amount;
};

Expense ExpenseNo(int32_t i) {
  // Scrambled so that the date order differs from the order of entry.
  const int32_t k = static_cast<int32_t>((static_cast<int64_t>(i) * 7919) % RecordCount());
  return {kFirstDay + k / 2, k % 5 == 4 ? 1 + (k / 5) % 4 : 0, 1000 + k * 12, 30.0 + k % 25,
          45.0 + (k % 70) * 0.5};
}

// ---- Quendrix ------------------------------------------------------------------------------

class QdxFixture {
 public:
  static QdxFixture& Get() {
    static QdxFixture fixture;
    return fixture;
  }
  TQDXTable& Table() { return *table_; }

 private:
  QdxFixture() {
    path_ = BenchDir() + "/wagenlog.qdx";
    std::filesystem::remove(path_);
    database_ = testing::CreateWagenlogDatabase(path_);
    testing::CreateExpenseTable(*database_);
    table_ = testing::NewExpenseTable("wagenlog");
    table_->Open();
    database_->StartTransaction();
    for (int32_t i = 0; i < RecordCount(); ++i) {
      const Expense e = ExpenseNo(i);
      table_->Append();
      table_->FieldByName("Datum").SetAsDateTime(e.day);
      table_->FieldByName("Omschrijving").SetAsString(kCategories[e.category]);
      table_->FieldByName("Bedrijf").SetAsString(u"Tankstation De Hoek");
      table_->FieldByName("KMStand").SetAsInteger(e.km);
      table_->FieldByName("Liters").SetAsFloat(e.litres);
      table_->FieldByName("bedrag").SetAsCurrency(e.amount);
      table_->Post();
    }
    database_->Commit(true);
  }
  ~QdxFixture() {
    table_.reset();
    database_.reset();
    std::filesystem::remove(path_);
  }

  std::string path_;
  std::unique_ptr<TQDXDatabase> database_;
  std::unique_ptr<TQDXTable> table_;
};

void BM_QdxWalkAllFields(benchmark::State& state) {
  TQDXTable& table = QdxFixture::Get().Table();
  TField& datum = table.FieldByName("Datum");
  TField& omschrijving = table.FieldByName("Omschrijving");
  TField& bedrijf = table.FieldByName("Bedrijf");
  TField& km = table.FieldByName("KMStand");
  TField& liters = table.FieldByName("Liters");
  TField& bedrag = table.FieldByName("bedrag");
  TField& verbruik = table.FieldByName("verbruik");
  for (auto _ : state) {
    double sum = 0;
    size_t text = 0;
    table.DisableControls();
    for (table.First(); !table.Eof(); table.Next()) {
      sum += datum.AsDateTime() + km.AsInteger() + liters.AsFloat() + bedrag.AsCurrency() +
             verbruik.AsFloat();
      text += omschrijving.AsString().size() + bedrijf.AsString().size();
    }
    table.EnableControls();
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations() * RecordCount());
}
BENCHMARK(BM_QdxWalkAllFields)->Unit(benchmark::kMillisecond);

// The statistics walk of the program: names looked up on every record, as it does.
void BM_QdxStatisticsWalk(benchmark::State& state) {
  TQDXTable& table = QdxFixture::Get().Table();
  for (auto _ : state) {
    table.DisableControls();
    int32_t previousKm = 0;
    for (table.First(); !table.Eof(); table.Next()) {
      const std::u16string category = table.FieldByName("omschrijving").AsString();
      const int32_t km = table.FieldByName("kmstand").AsInteger();
      const double litres = table.FieldByName("liters").AsFloat();
      benchmark::DoNotOptimize(table.FieldByName("datum").AsDateTime());
      if (category == u"Brandstof" && litres > 0) {
        table.Edit();
        table.FieldByName("verbruik").SetFloat((km - previousKm) / litres);
      }
      previousKm = km;
    }
    table.EnableControls();
  }
  state.SetItemsProcessed(state.iterations() * RecordCount());
}
BENCHMARK(BM_QdxStatisticsWalk)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---- SQLite --------------------------------------------------------------------------------

class SqliteFixture {
 public:
  static SqliteFixture& Get() {
    static SqliteFixture fixture;
    return fixture;
  }
  sqlite3* Db() { return db_; }

 private:
  SqliteFixture() {
    path_ = BenchDir() + "/wagenlog.sqlite";
    std::filesystem::remove(path_);
    sqlite3_open(path_.c_str(), &db_);
    sqlite3_exec(db_,
                 "PRAGMA synchronous=OFF; PRAGMA journal_mode=OFF;"
                 "CREATE TABLE Brandstofkosten (Datum INTEGER, Omschrijving TEXT, Bedrijf TEXT,"
                 " KMStand INTEGER, Liters REAL, bedrag REAL, verbruik REAL);"
                 "CREATE INDEX Datum ON Brandstofkosten (Datum);",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db_, "INSERT INTO Brandstofkosten VALUES (?, ?, ?, ?, ?, ?, NULL)", -1,
                       &insert, nullptr);
    sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    for (int32_t i = 0; i < RecordCount(); ++i) {
      const Expense e = ExpenseNo(i);
      const std::string category = platform::WideToAnsi(kCategories[e.category]);
      sqlite3_bind_int(insert, 1, static_cast<int>(e.day));
      sqlite3_bind_text(insert, 2, category.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, "Tankstation De Hoek", -1, SQLITE_STATIC);
      sqlite3_bind_int(insert, 4, e.km);
      sqlite3_bind_double(insert, 5, e.litres);
      sqlite3_bind_double(insert, 6, e.amount);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(insert);
  }
  ~SqliteFixture() {
    sqlite3_close(db_);
    std::filesystem::remove(path_);
  }

  std::string path_;
  sqlite3* db_ = nullptr;
};

void BM_SqliteWalkAllFields(benchmark::State& state) {
  sqlite3* db = SqliteFixture::Get().Db();
  sqlite3_stmt* select = nullptr;
  sqlite3_prepare_v2(db, "SELECT * FROM Brandstofkosten ORDER BY Datum", -1, &select, nullptr);
  for (auto _ : state) {
    double sum = 0;
    size_t text = 0;
    while (sqlite3_step(select) == SQLITE_ROW) {
      sum += sqlite3_column_int(select, 0) + sqlite3_column_int(select, 3) +
             sqlite3_column_double(select, 4) + sqlite3_column_double(select, 5) +
             sqlite3_column_double(select, 6);
      text += platform::AnsiToWide(reinterpret_cast<const char*>(sqlite3_column_text(select, 1))).size();
      text += platform::AnsiToWide(reinterpret_cast<const char*>(sqlite3_column_text(select, 2))).size();
    }
    sqlite3_reset(select);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(text);
  }
  sqlite3_finalize(select);
  state.SetItemsProcessed(state.iterations() * RecordCount());
}
BENCHMARK(BM_SqliteWalkAllFields)->Unit(benchmark::kMillisecond);

// The same reads, then every fuel record's update in a transaction of its own (SQLite defers
// the commit of a change while a read of the same connection is open, so the walk reads first).
void BM_SqliteStatisticsWalk(benchmark::State& state) {
  sqlite3* db = SqliteFixture::Get().Db();
  sqlite3_stmt* select = nullptr;
  sqlite3_stmt* update = nullptr;
  sqlite3_stmt* begin = nullptr;
  sqlite3_stmt* commit = nullptr;
  sqlite3_prepare_v2(db, "SELECT rowid, Omschrijving, KMStand, Liters, Datum FROM Brandstofkosten ORDER BY Datum",
                     -1, &select, nullptr);
  sqlite3_prepare_v2(db, "UPDATE Brandstofkosten SET verbruik = ? WHERE rowid = ?", -1, &update, nullptr);
  sqlite3_prepare_v2(db, "BEGIN", -1, &begin, nullptr);
  sqlite3_prepare_v2(db, "COMMIT", -1, &commit, nullptr);
  struct Change {
    int64_t rowid;
    double value;
  };
  std::vector<Change> changes;
  for (auto _ : state) {
    changes.clear();
    int32_t previousKm = 0;
    while (sqlite3_step(select) == SQLITE_ROW) {
      const std::u16string category =
          platform::AnsiToWide(reinterpret_cast<const char*>(sqlite3_column_text(select, 1)));
      const int32_t km = sqlite3_column_int(select, 2);
      const double litres = sqlite3_column_double(select, 3);
      benchmark::DoNotOptimize(sqlite3_column_int(select, 4));
      if (category == u"Brandstof" && litres > 0) {
        changes.push_back({sqlite3_column_int64(select, 0), (km - previousKm) / litres});
      }
      previousKm = km;
    }
    sqlite3_reset(select);
    for (const Change& c : changes) {
      sqlite3_step(begin);
      sqlite3_reset(begin);
      sqlite3_bind_double(update, 1, c.value);
      sqlite3_bind_int64(update, 2, c.rowid);
      sqlite3_step(update);
      sqlite3_reset(update);
      sqlite3_step(commit);
      sqlite3_reset(commit);
    }
  }
  sqlite3_finalize(select);
  sqlite3_finalize(update);
  sqlite3_finalize(begin);
  sqlite3_finalize(commit);
  state.SetItemsProcessed(state.iterations() * RecordCount());
}
BENCHMARK(BM_SqliteStatisticsWalk)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace qdx
