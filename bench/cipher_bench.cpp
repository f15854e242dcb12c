// Page encryption as the disk page manager does it: the 4056-byte data area of a 4096-byte page
// (in an engine memory block, so unaligned) enciphered and deciphered in place, per algorithm.
// "Kept" uses the per-thread keyed ciphers; "Fresh" drops them before each call, so every call
// hashes the password and builds the key schedule, as a cipher made per call would.
#include <benchmark/benchmark.h>

#include "engine/foundation/cipher/engine_cipher.h"
#include "engine/foundation/memory.h"

namespace qdx {
namespace {

constexpr int64_t kPageSize = 4096;
constexpr int64_t kPageHeaderSize = 40;
constexpr const char* kPassword = "Wagenlog 2024";

std::span<uint8_t> DataArea(TQDXMemBlock& page) {
  for (int64_t i = 0; i < page.size(); ++i) page.data()[i] = static_cast<uint8_t>(i * 7);
  return page.span().subspan(kPageHeaderSize);
}

void PageRoundTrip(benchmark::State& state, bool kept) {
  const auto code = static_cast<uint8_t>(state.range(0));
  state.SetLabel(CryptoAlgorithm(code)->Name);
  TQDXMemBlock page(kPageSize);
  const std::span<uint8_t> data = DataArea(page);
  ClearCipherCache();
  for (auto _ : state) {
    if (!kept) ClearCipherCache();
    EncryptBuffer(code, data, kPassword);
    if (!kept) ClearCipherCache();
    DecryptBuffer(code, data, kPassword);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(state.iterations() * 2 * static_cast<int64_t>(data.size()));
}

void BM_PageRoundTripKept(benchmark::State& state) {
  PageRoundTrip(state, true);
}
void BM_PageRoundTripFresh(benchmark::State& state) {
  PageRoundTrip(state, false);
}

// One direction only, kept ciphers: enciphering is serial, deciphering runs in bulk.
void BM_PageOneWay(benchmark::State& state) {
  const auto code = static_cast<uint8_t>(state.range(0));
  const bool encrypt = state.range(1) != 0;
  state.SetLabel(std::string(CryptoAlgorithm(code)->Name) + (encrypt ? " encrypt" : " decrypt"));
  TQDXMemBlock page(kPageSize);
  const std::span<uint8_t> data = DataArea(page);
  for (auto _ : state) {
    if (encrypt) {
      EncryptBuffer(code, data, kPassword);
    } else {
      DecryptBuffer(code, data, kPassword);
    }
    benchmark::DoNotOptimize(data.data());
  }
}

BENCHMARK(BM_PageRoundTripKept)->DenseRange(0, 7);
BENCHMARK(BM_PageRoundTripFresh)->DenseRange(0, 7);
BENCHMARK(BM_PageOneWay)->ArgsProduct({{0, 1, 3, 4}, {1, 0}});

}  // namespace
}  // namespace qdx
