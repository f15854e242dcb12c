// Internal files and databases on a real file in the temporary folder (warm file cache): a
// transacted file rewritten and read back whole through the page cache, plain and compressed;
// a database opened and closed by its only session (beside SQLite opening a database and
// reading its schema); and the qdx check of a new database.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/internal_transacted_file.h"
#include "tools/qdx/qdx_commands.h"

namespace {

using qdx::TQDXBaseSession;
using qdx::TQDXDiskDatabaseData;

std::string BenchFile(const char* name, const char* extension = ".qdx") {
  return (std::filesystem::temp_directory_path() /
          ("qdx_bench_" + std::to_string(::getpid()) + "_" + name + extension))
      .string();
}

std::string NewDatabase(const char* name) {
  const std::string path = BenchFile(name);
  std::filesystem::remove(path);
  TQDXDiskDatabaseData data(path);
  data.CreateDatabase();
  return path;
}

// Text-like content: compresses as table definitions do.
std::vector<uint8_t> Content(size_t size) {
  const std::string words = "Brandstofkosten Datum Categorie Bedrijf Kilometerstand Liters ";
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(words[(i * 7) % words.size()]);
  return bytes;
}

// WriteFile and ReadFile of the whole content, in one session, uncommitted (the pages stay in
// the session's dirty list, as within a table operation).
void BM_TransactedWriteRead(benchmark::State& state) {
  const auto size = static_cast<int32_t>(state.range(0));
  const auto compression = static_cast<uint8_t>(state.range(1));
  const std::string path = NewDatabase("transacted");
  TQDXBaseSession session;
  TQDXDiskDatabaseData data(path);
  data.AddSession(session);
  const qdx::platform::CriticalSectionGuard held(data.PageManager()->DatabaseLock());
  qdx::TQDXInternalDBTransactedAccessFile file(*data.PageManager(), qdx::ptTableMetaData);
  file.Create(0);
  const std::vector<uint8_t> content = Content(static_cast<size_t>(size));
  std::vector<uint8_t> back(content.size());
  file.WriteFile(0, content.data(), 1, compression, size);
  data.CommitTransaction(0, false);
  for (auto _ : state) {
    file.WriteFile(0, content.data(), 1, compression, size);
    file.ReadFile(0, back.data(), true, size);
    benchmark::DoNotOptimize(back.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t{size} * 2);
  data.RollbackTransaction(0);
  data.RemoveSession(session);
  std::filesystem::remove(path);
}
BENCHMARK(BM_TransactedWriteRead)
    ->ArgNames({"bytes", "zlib"})
    ->Args({4000, 0})
    ->Args({65536, 0})
    ->Args({1 << 20, 0})
    ->Args({65536, 1});

// The first session opens the file (header, password, directory, session slots, table list,
// all slots locked); the last one closes it.
void BM_OpenCloseDatabase(benchmark::State& state) {
  const std::string path = NewDatabase("open");
  for (auto _ : state) {
    TQDXBaseSession session;
    TQDXDiskDatabaseData data(path);
    data.AddSession(session);
    data.RemoveSession(session);
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_OpenCloseDatabase);

void BM_SqliteOpenReadSchemaClose(benchmark::State& state) {
  const std::string path = BenchFile("open", ".sqlite");
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "CREATE TABLE t(a INTEGER)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  for (auto _ : state) {
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "SELECT name FROM sqlite_master", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_SqliteOpenReadSchemaClose);

void BM_CheckNewDatabase(benchmark::State& state) {
  const std::string path = NewDatabase("check");
  for (auto _ : state) qdx::tools::CheckDatabase(path, "");
  std::filesystem::remove(path);
}
BENCHMARK(BM_CheckNewDatabase);

}  // namespace
