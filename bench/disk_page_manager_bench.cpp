// The disk page manager on a real file: allocating and freeing pages through the free-space
// maps, committing one dirty page, and reading encrypted pages through the page cache with and
// without the pages cached. The file lives in the temporary folder, so the operating system's
// file cache is warm: the numbers are the engine's cost plus system calls, not disk latency.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/free_space_manager.h"

namespace {

using qdx::TQDXDiskPageManager;
using qdx::TQDXPageHandle;

std::string BenchFile(const char* name) {
  return (std::filesystem::temp_directory_path() /
          ("qdx_bench_" + std::to_string(::getpid()) + "_" + name + ".qdx"))
      .string();
}

void Open(TQDXDiskPageManager& pm, const std::string& path, const qdx::TQDXPassword& password) {
  bool multiUser = false;
  bool repair = false;
  bool readOnly = false;
  pm.OpenDatabaseFile(path, password, multiUser, false, repair, readOnly);
}

// `count` pages allocated one by one, then freed one by one.
void AllocateThenFree(TQDXDiskPageManager& pm, int32_t count) {
  qdx::TQDXDatabaseFreeSpaceManager& fsm = *pm.FreeSpaceManager();
  std::vector<int32_t> pages;
  pages.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) pages.push_back(fsm.AllocatePage());
  for (int32_t pageNo : pages) fsm.FreePage(pageNo);
}

// The rate of allocation and release calls, two per page.
void CountCalls(benchmark::State& state, int32_t pages) {
  state.counters["calls/s"] =
      benchmark::Counter(2.0 * pages, benchmark::Counter::kIsIterationInvariantRate);
}

// 100 000 pages allocated one by one, then freed one by one, each call under the database lock
// with the header and the map pages read and written in the file.
void BM_AllocateAndFree100000Pages(benchmark::State& state) {
  const std::string path = BenchFile("alloc");
  constexpr int32_t kPages = 100000;
  for (auto _ : state) {
    TQDXDiskPageManager pm;
    const qdx::platform::CriticalSectionGuard held(pm.DatabaseLock());
    pm.CreateDatabaseFile(path, {});
    AllocateThenFree(pm, kPages);
    pm.CloseDatabaseFile();
  }
  CountCalls(state, kPages);
  std::filesystem::remove(path);
}
BENCHMARK(BM_AllocateAndFree100000Pages)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same in multi-user mode, where the maps are read and written in the file at every call
// and a map write that rests on earlier ones waits for them to be flushed (an extent turning
// full or no longer full, the file growing or shrinking).
void BM_AllocateAndFree100000PagesMultiUser(benchmark::State& state) {
  const std::string path = BenchFile("alloc_multi");
  constexpr int32_t kPages = 100000;
  for (auto _ : state) {
    {
      TQDXDiskPageManager created;
      const qdx::platform::CriticalSectionGuard held(created.DatabaseLock());
      created.CreateDatabaseFile(path, {});
      created.CloseDatabaseFile();
    }
    TQDXDiskPageManager pm;
    const qdx::platform::CriticalSectionGuard held(pm.DatabaseLock());
    bool multiUser = true;
    bool repair = false;
    bool readOnly = false;
    pm.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly);
    if (!pm.MultiUser) state.SkipWithError("not opened in multi-user mode");
    AllocateThenFree(pm, kPages);
    pm.CloseDatabaseFile();
  }
  CountCalls(state, kPages);
  std::filesystem::remove(path);
}
BENCHMARK(BM_AllocateAndFree100000PagesMultiUser)->Iterations(1)->Unit(benchmark::kMillisecond);

// One record page changed and committed: FileState 1, the page, FileState 2, under the lock.
void BM_CommitOneDirtyPage(benchmark::State& state) {
  const std::string path = BenchFile("commit");
  const qdx::TQDXPassword password{state.range(0) ? "secret" : "", 0};
  {
    TQDXDiskPageManager pm;
    const qdx::platform::CriticalSectionGuard held(pm.DatabaseLock());
    pm.CreateDatabaseFile(path, password);
    TQDXPageHandle::Add(pm, 0, qdx::ptTableRecord).Release();
    pm.ApplyChanges(0);
  }
  TQDXDiskPageManager pm;
  const qdx::platform::CriticalSectionGuard held(pm.DatabaseLock());
  Open(pm, path, password);
  uint8_t mark = 0;
  for (auto _ : state) {
    {
      TQDXPageHandle page = TQDXPageHandle::Get(pm, 0, 2, true, qdx::ptTableRecord);
      page->Data()[0] = ++mark;
      page->Dirty = true;
    }
    pm.ApplyChanges(0);
  }
  pm.CloseDatabaseFile();
  std::filesystem::remove(path);
}
BENCHMARK(BM_CommitOneDirtyPage)->Arg(0)->Arg(1)->ArgName("encrypted");

// 10 000 pages enciphered with Rijndael_128, each lent and returned once per iteration.
class EncryptedFile {
 public:
  static constexpr int32_t kPages = 10000;
  EncryptedFile() : path_(BenchFile("read")) {
    TQDXDiskPageManager pm;
    const qdx::platform::CriticalSectionGuard held(pm.DatabaseLock());
    pm.CreateDatabaseFile(path_, Password());
    pm.SetCacheLimit(0);
    for (int32_t i = 0; i < kPages; ++i) {
      TQDXPageHandle page = TQDXPageHandle::Add(pm, 0, qdx::ptTableRecord);
      std::memset(page->Data(), i & 0xFF, page->DataSize());
      pages_.push_back(page->PageNo);
    }
    pm.ApplyChanges(0);
  }
  ~EncryptedFile() { std::filesystem::remove(path_); }
  static qdx::TQDXPassword Password() { return {"secret", 0}; }
  const std::string& Path() const { return path_; }
  const std::vector<int32_t>& Pages() const { return pages_; }

 private:
  std::string path_;
  std::vector<int32_t> pages_;
};

void ReadAll(TQDXDiskPageManager& pm, const std::vector<int32_t>& pages) {
  for (int32_t pageNo : pages) {
    TQDXPageHandle page = TQDXPageHandle::Get(pm, 0, pageNo, true, qdx::ptTableRecord);
    benchmark::DoNotOptimize(page->Data()[0]);
  }
}

void BM_Read10000EncryptedPagesCold(benchmark::State& state) {
  static EncryptedFile file;
  for (auto _ : state) {
    TQDXDiskPageManager pm;  // an empty cache: every page is read and deciphered
    const qdx::platform::CriticalSectionGuard held(pm.DatabaseLock());
    Open(pm, file.Path(), EncryptedFile::Password());
    pm.SetCacheLimit(EncryptedFile::kPages);
    ReadAll(pm, file.Pages());
  }
}
BENCHMARK(BM_Read10000EncryptedPagesCold)->Unit(benchmark::kMillisecond);

void BM_Read10000EncryptedPagesWarm(benchmark::State& state) {
  static EncryptedFile file;
  TQDXDiskPageManager pm;
  const qdx::platform::CriticalSectionGuard held(pm.DatabaseLock());
  Open(pm, file.Path(), EncryptedFile::Password());
  pm.SetCacheLimit(EncryptedFile::kPages);
  ReadAll(pm, file.Pages());
  for (auto _ : state) ReadAll(pm, file.Pages());
}
BENCHMARK(BM_Read10000EncryptedPagesWarm)->Unit(benchmark::kMillisecond);

}  // namespace
