// BLOB values in a database file (warm file cache), beside SQLite storing the same bytes in a
// BLOB column: a batch of values stored and committed in one transaction, then every value read
// back whole. Values are stored plain (no compression) on both sides, so the bytes moved are the
// same; small values share pages, large ones take pages and a page list of their own.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/record_layout.h"
#include "engine/disk/disk_blob_manager.h"
#include "engine/disk/disk_database_data.h"

namespace {

using namespace qdx;

std::string BenchFile(const char* name, const char* extension) {
  return (std::filesystem::temp_directory_path() /
          ("qdx_bench_" + std::to_string(::getpid()) + "_" + name + extension))
      .string();
}

std::vector<uint8_t> Value(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = seed * 2654435761u + 1;
  for (uint8_t& byte : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    byte = static_cast<uint8_t>(x);
  }
  return bytes;
}

// A database with a BLOB manager over one binary field; records are buffers in memory.
class BlobDatabase {
 public:
  BlobDatabase() : path_(BenchFile("blobs", ".qdx")) {
    std::filesystem::remove(path_);
    {
      TQDXDiskDatabaseData creator(path_);
      creator.CreateDatabase();
    }
    data_ = std::make_unique<TQDXDiskDatabaseData>(path_);
    data_->AddSession(session_);
    // Commits flush nothing, as SQLite's side runs with synchronous OFF.
    data_->PageManager()->SyncAutoCommits = false;
    held_.emplace(data_->PageManager()->DatabaseLock());
    TQDXFieldDefs defs;
    defs.AddField("Scan", TQDXFieldType::Blob);
    fields_.SetDefinitions(defs);
    blobs_ = std::make_unique<TQDXDiskBlobManager>(*data_->PageManager(), fields_);
    blobs_->CreateIndex(0);
    data_->PageManager()->ApplyChanges(0);
  }
  ~BlobDatabase() {
    blobs_.reset();
    held_.reset();
    data_->RemoveSession(session_);
    data_.reset();
    std::filesystem::remove(path_);
    std::filesystem::remove(path_ + "-journal");  // the commit journal stays beside the file
  }

  std::vector<uint8_t> NewRecord() const {
    std::vector<uint8_t> record(static_cast<size_t>(fields_.MemoryRecordSize()));
    InitRecordBuffer(fields_.FieldDefs(), record.data());
    return record;
  }
  void Store(std::vector<uint8_t>& record, const std::vector<uint8_t>& value) {
    auto stream = blobs_->OpenBlob(0, record.data(), 0, false, true);
    stream->Write(value.data(), static_cast<int32_t>(value.size()));
    blobs_->CloseBlob(record.data(), 0, *stream);
    blobs_->WriteRecordBlobs(0, record.data());
  }
  int64_t Read(std::vector<uint8_t>& record, std::vector<uint8_t>& into) {
    auto stream = blobs_->OpenBlob(0, record.data(), 0, true, true);
    into.resize(static_cast<size_t>(stream->Size()));
    const int32_t read = stream->Read(into.data(), stream->Size());
    stream.reset();
    blobs_->ClearBlobData(record.data(), 0);
    return read;
  }
  void Delete(std::vector<uint8_t>& record) { blobs_->DeleteRecordBlobs(0, record.data()); }
  void Commit() { data_->PageManager()->ApplyChanges(0); }

 private:
  std::string path_;
  TQDXBaseSession session_;
  std::unique_ptr<TQDXDiskDatabaseData> data_;
  std::optional<platform::CriticalSectionGuard> held_;
  TQDXBaseFieldManager fields_;
  std::unique_ptr<TQDXDiskBlobManager> blobs_;
};

// Stores `count` values of `size` bytes in one commit, then deletes them in another.
void BM_QdxBlobWrite(benchmark::State& state) {
  const auto size = static_cast<size_t>(state.range(0));
  const auto count = static_cast<int32_t>(state.range(1));
  BlobDatabase db;
  std::vector<std::vector<uint8_t>> values, records;
  for (int32_t i = 0; i < count; ++i) values.push_back(Value(size, static_cast<uint32_t>(i)));
  for (auto _ : state) {
    records.assign(static_cast<size_t>(count), db.NewRecord());
    for (int32_t i = 0; i < count; ++i) db.Store(records[i], values[i]);
    db.Commit();
    state.PauseTiming();
    for (auto& record : records) db.Delete(record);
    db.Commit();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * count * static_cast<int64_t>(size));
}

void BM_QdxBlobRead(benchmark::State& state) {
  const auto size = static_cast<size_t>(state.range(0));
  const auto count = static_cast<int32_t>(state.range(1));
  BlobDatabase db;
  std::vector<std::vector<uint8_t>> records(static_cast<size_t>(count), db.NewRecord());
  for (int32_t i = 0; i < count; ++i) db.Store(records[i], Value(size, static_cast<uint32_t>(i)));
  db.Commit();
  std::vector<uint8_t> back;
  for (auto _ : state) {
    for (auto& record : records) benchmark::DoNotOptimize(db.Read(record, back));
  }
  state.SetBytesProcessed(state.iterations() * count * static_cast<int64_t>(size));
}

// SQLite with the settings of the other comparisons: synchronous OFF, WAL, 4096-byte pages,
// a 1000-page cache.
sqlite3* OpenSqlite(const std::string& path) {
  std::filesystem::remove(path);
  std::filesystem::remove(path + "-wal");
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db,
               "PRAGMA page_size=4096; PRAGMA cache_size=1000; PRAGMA journal_mode=WAL;"
               "PRAGMA synchronous=OFF; CREATE TABLE t(id INTEGER PRIMARY KEY, scan BLOB)",
               nullptr, nullptr, nullptr);
  return db;
}

void BM_SqliteBlobWrite(benchmark::State& state) {
  const auto size = static_cast<size_t>(state.range(0));
  const auto count = static_cast<int32_t>(state.range(1));
  const std::string path = BenchFile("blobs", ".sqlite");
  sqlite3* db = OpenSqlite(path);
  std::vector<std::vector<uint8_t>> values;
  for (int32_t i = 0; i < count; ++i) values.push_back(Value(size, static_cast<uint32_t>(i)));
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t(id, scan) VALUES(?, ?)", -1, &insert, nullptr);
  for (auto _ : state) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int32_t i = 0; i < count; ++i) {
      sqlite3_bind_int(insert, 1, i);
      sqlite3_bind_blob(insert, 2, values[i].data(), static_cast<int>(size), SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    state.PauseTiming();
    sqlite3_exec(db, "DELETE FROM t", nullptr, nullptr, nullptr);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * count * static_cast<int64_t>(size));
  sqlite3_finalize(insert);
  sqlite3_close(db);
  std::filesystem::remove(path);
  std::filesystem::remove(path + "-wal");
  std::filesystem::remove(path + "-shm");
}

void BM_SqliteBlobRead(benchmark::State& state) {
  const auto size = static_cast<size_t>(state.range(0));
  const auto count = static_cast<int32_t>(state.range(1));
  const std::string path = BenchFile("blobs_read", ".sqlite");
  sqlite3* db = OpenSqlite(path);
  sqlite3_stmt* statement = nullptr;
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO t(id, scan) VALUES(?, ?)", -1, &statement, nullptr);
  for (int32_t i = 0; i < count; ++i) {
    const std::vector<uint8_t> value = Value(size, static_cast<uint32_t>(i));
    sqlite3_bind_int(statement, 1, i);
    sqlite3_bind_blob(statement, 2, value.data(), static_cast<int>(size), SQLITE_TRANSIENT);
    sqlite3_step(statement);
    sqlite3_reset(statement);
  }
  sqlite3_finalize(statement);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_prepare_v2(db, "SELECT scan FROM t WHERE id = ?", -1, &statement, nullptr);
  std::vector<uint8_t> back;
  for (auto _ : state) {
    for (int32_t i = 0; i < count; ++i) {
      sqlite3_bind_int(statement, 1, i);
      sqlite3_step(statement);
      const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(statement, 0));
      back.assign(bytes, bytes + sqlite3_column_bytes(statement, 0));
      benchmark::DoNotOptimize(back.data());
      sqlite3_reset(statement);
    }
  }
  state.SetBytesProcessed(state.iterations() * count * static_cast<int64_t>(size));
  sqlite3_finalize(statement);
  sqlite3_close(db);
  std::filesystem::remove(path);
  std::filesystem::remove(path + "-wal");
  std::filesystem::remove(path + "-shm");
}

#define BLOB_ARGS ->ArgNames({"bytes", "values"})->Args({2000, 1000})->Args({200000, 50})
BENCHMARK(BM_QdxBlobWrite) BLOB_ARGS;
BENCHMARK(BM_SqliteBlobWrite) BLOB_ARGS;
BENCHMARK(BM_QdxBlobRead) BLOB_ARGS;
BENCHMARK(BM_SqliteBlobRead) BLOB_ARGS;

}  // namespace
