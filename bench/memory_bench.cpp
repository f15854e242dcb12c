// The engine memory manager against the runtime heap it frames.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "engine/foundation/memory.h"

namespace {

void BM_GetMemFree(benchmark::State& state) {
  auto& manager = qdx::QDXMemoryManager();
  const int64_t size = state.range(0);
  for (auto _ : state) {
    void* p = manager.GetMem(size);
    benchmark::DoNotOptimize(p);
    manager.FreeAndNillMem(p);
  }
}
BENCHMARK(BM_GetMemFree)->Arg(64)->Arg(4096)->Arg(102400);

void BM_MallocFree(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = std::malloc(size);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}
BENCHMARK(BM_MallocFree)->Arg(64)->Arg(4096)->Arg(102400);

}  // namespace
