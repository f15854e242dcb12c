// The page cache: lending a cached page, and committing dirty pages, over storage in memory so
// that the numbers are the cache's own cost.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/core/page_manager.h"

namespace {

using qdx::TQDXPage;

class MemoryPageManager : public qdx::TQDXPageManager {
 public:
  explicit MemoryPageManager(int32_t pageCount) : stored_(pageCount, std::vector<uint8_t>(4096)) {
    SetPageGeometry(4096, qdx::kPageHeaderSize);
    SetCacheLimit(kMaxCacheLimit);
    for (auto& page : stored_) {
      qdx::page_header::Init({page.data(), qdx::kPageHeaderSize});
      qdx::page_header::SetPageType(page.data(), qdx::ptTableRecord);
    }
    // Used outside a database: the creating thread holds its critical section for its lifetime.
    DatabaseLock().Enter();
  }
  ~MemoryPageManager() override { DatabaseLock().Leave(); }
  void InternalAddPage(TQDXPage& page) override {
    page.PageNo = static_cast<int32_t>(stored_.size());
    stored_.emplace_back(4096);
    page.AllocateBuffer();
  }
  void InternalRemovePage(int32_t) override {}
  bool InternalReadPage(TQDXPage& page) override {
    if (page.Buffer() == nullptr) page.AllocateBuffer();
    std::memcpy(page.Buffer(), stored_[page.PageNo].data(), 4096);
    return true;
  }
  void InternalWritePage(TQDXPage& page) override {
    std::memcpy(stored_[page.PageNo].data(), page.Buffer(), 4096);
  }

 private:
  std::vector<std::vector<uint8_t>> stored_;
};

void BM_GetPutCachedPage(benchmark::State& state) {
  const int32_t cached = static_cast<int32_t>(state.range(0));
  MemoryPageManager pm(cached);
  for (int32_t n = 0; n < cached; ++n) pm.PutPage(pm.GetPage(0, n, true, qdx::ptTableRecord));
  int32_t pageNo = 0;
  for (auto _ : state) {
    TQDXPage* page = pm.GetPage(0, pageNo, true, qdx::ptTableRecord);
    benchmark::DoNotOptimize(page->Data());
    pm.PutPage(page);
    pageNo = (pageNo + 7) % cached;
  }
}
BENCHMARK(BM_GetPutCachedPage)->Arg(1)->Arg(1000);

void BM_CommitDirtyPages(benchmark::State& state) {
  const int32_t dirty = static_cast<int32_t>(state.range(0));
  MemoryPageManager pm(1000);
  uint8_t mark = 0;
  for (auto _ : state) {
    ++mark;
    for (int32_t n = 0; n < dirty; ++n) {
      TQDXPage* page = pm.GetPage(0, n * 3, true, qdx::ptTableRecord);
      page->Data()[0] = mark;
      page->Dirty = true;
      pm.PutPage(page);
    }
    pm.ApplyChanges(0);
  }
  state.SetItemsProcessed(state.iterations() * dirty);
}
BENCHMARK(BM_CommitDirtyPages)->Arg(1)->Arg(10)->Arg(100);

}  // namespace
