// The compressed BLOB stream against zlib and bzip2 called directly on the same blocks, and
// RawCRC32 throughput.
//
// Each stream benchmark moves 8 MB of mixed text through a TQDXCompressedBLOBStream over a
// memory stream in one Write or Read; its direct counterpart codes the same blocks of the
// mode's block size with the libraries' one-shot calls into preallocated buffers. The
// difference is the stream's overhead: block headers, checksums, engine buffers and copies.
#include <benchmark/benchmark.h>
#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <string_view>
#include <vector>

#include "engine/foundation/compression/compressed_blob_stream.h"
#include "engine/foundation/crc32.h"
#include "engine/foundation/memory_stream.h"

namespace {

using qdx::TQDXCompressedBLOBStream;
using qdx::TQDXCompressedStreamDescriptor;
using qdx::TQDXMemoryStream;

constexpr size_t kDataSize = 8 << 20;

const std::vector<uint8_t>& MixedText() {
  static const std::vector<uint8_t> data = [] {
    static constexpr std::string_view kWords[] = {
        "Brandstof", "Onderhoud",   "Verzekering", "Wegenbelasting", "Afschrijving", "Shell ",
        "garage ",   "2024-03-01;", "73,45;",      "41,2 l;",        "km 128734;",   "\r\n"};
    std::mt19937 rng(1);
    std::vector<uint8_t> out;
    out.reserve(kDataSize);
    while (out.size() < kDataSize) {
      if (rng() % 40 == 0) {
        for (int i = 0; i < 16 && out.size() < kDataSize; ++i) {
          out.push_back(static_cast<uint8_t>(rng()));
        }
        continue;
      }
      for (const char c : kWords[rng() % std::size(kWords)]) {
        if (out.size() == kDataSize) break;
        out.push_back(static_cast<uint8_t>(c));
      }
    }
    return out;
  }();
  return data;
}

TQDXCompressedStreamDescriptor NewDescriptor(uint8_t algorithm, int mode) {
  TQDXCompressedStreamDescriptor d;
  d.Algorithm = algorithm;
  d.Mode = static_cast<uint8_t>(mode);
  return d;  // block size 0: the mode's
}

// Block-wise direct coding with the libraries, as the stream must do at least.
size_t CompressBlockDirect(uint8_t algorithm, int mode, const uint8_t* in, size_t n,
                           std::vector<uint8_t>& out) {
  if (algorithm == qdx::kCompressionZlib) {
    uLongf size = out.size();
    compress2(out.data(), &size, in, n, mode);
    return size;
  }
  unsigned size = static_cast<unsigned>(out.size());
  BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size,
                           reinterpret_cast<char*>(const_cast<uint8_t*>(in)),
                           static_cast<unsigned>(n), mode, 0, 0);
  return size;
}

void DecompressBlockDirect(uint8_t algorithm, const uint8_t* in, size_t n, uint8_t* out,
                           size_t outSize) {
  if (algorithm == qdx::kCompressionZlib) {
    uLongf size = outSize;
    uncompress(out, &size, in, n);
    return;
  }
  unsigned size = static_cast<unsigned>(outSize);
  BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out), &size,
                             reinterpret_cast<char*>(const_cast<uint8_t*>(in)),
                             static_cast<unsigned>(n), 0, 0);
}

void Args(benchmark::internal::Benchmark* b) {
  for (const int algorithm : {1, 2}) {
    for (const int mode : {1, 6, 9}) b->Args({algorithm, mode});
  }
  b->ArgNames({"alg", "mode"})->Unit(benchmark::kMillisecond)->MinTime(0.2);
}

void BM_StreamCompress(benchmark::State& state) {
  const auto algorithm = static_cast<uint8_t>(state.range(0));
  const int mode = static_cast<int>(state.range(1));
  const std::vector<uint8_t>& data = MixedText();
  for (auto _ : state) {
    TQDXMemoryStream underlying;
    TQDXCompressedBLOBStream stream(underlying, false, true, NewDescriptor(algorithm, mode));
    stream.Write(data.data(), static_cast<int32_t>(data.size()));
    benchmark::DoNotOptimize(stream.CompressedSize());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_StreamCompress)->Apply(Args);

void BM_DirectCompress(benchmark::State& state) {
  const auto algorithm = static_cast<uint8_t>(state.range(0));
  const int mode = static_cast<int>(state.range(1));
  const std::vector<uint8_t>& data = MixedText();
  const size_t blockSize = static_cast<size_t>(qdx::CompressionBlockSize(mode));
  std::vector<uint8_t> out(blockSize + blockSize / 10 + 1024);
  for (auto _ : state) {
    size_t total = 0;
    for (size_t at = 0; at < data.size(); at += blockSize) {
      total += CompressBlockDirect(algorithm, mode, data.data() + at,
                                   std::min(blockSize, data.size() - at), out);
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_DirectCompress)->Apply(Args);

void BM_StreamDecompress(benchmark::State& state) {
  const auto algorithm = static_cast<uint8_t>(state.range(0));
  const int mode = static_cast<int>(state.range(1));
  const std::vector<uint8_t>& data = MixedText();
  TQDXMemoryStream underlying;
  TQDXCompressedStreamDescriptor descriptor;
  {
    TQDXCompressedBLOBStream stream(underlying, false, true, NewDescriptor(algorithm, mode));
    stream.Write(data.data(), static_cast<int32_t>(data.size()));
    descriptor = stream.Descriptor();
  }
  std::vector<uint8_t> out(data.size());
  for (auto _ : state) {
    TQDXCompressedBLOBStream stream(underlying, false, false, descriptor);
    benchmark::DoNotOptimize(stream.Read(out.data(), static_cast<int32_t>(out.size())));
  }
  if (out != data) state.SkipWithError("round trip differs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_StreamDecompress)->Apply(Args);

void BM_DirectDecompress(benchmark::State& state) {
  const auto algorithm = static_cast<uint8_t>(state.range(0));
  const int mode = static_cast<int>(state.range(1));
  const std::vector<uint8_t>& data = MixedText();
  const size_t blockSize = static_cast<size_t>(qdx::CompressionBlockSize(mode));
  std::vector<std::vector<uint8_t>> blocks;
  for (size_t at = 0; at < data.size(); at += blockSize) {
    std::vector<uint8_t> block(blockSize + blockSize / 10 + 1024);
    block.resize(CompressBlockDirect(algorithm, mode, data.data() + at,
                                     std::min(blockSize, data.size() - at), block));
    blocks.push_back(std::move(block));
  }
  std::vector<uint8_t> out(data.size());
  for (auto _ : state) {
    size_t at = 0;
    for (const auto& block : blocks) {
      const size_t n = std::min(blockSize, data.size() - at);
      DecompressBlockDirect(algorithm, block.data(), block.size(), out.data() + at, n);
      at += n;
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (out != data) state.SkipWithError("round trip differs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_DirectDecompress)->Apply(Args);

void BM_RawCRC32(benchmark::State& state) {
  const std::vector<uint8_t>& data = MixedText();
  for (auto _ : state) benchmark::DoNotOptimize(qdx::RawCRC32(data));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_RawCRC32)->MinTime(0.2);

// zlib's own CRC-32 (complemented on entry and exit) for comparison.
void BM_ZlibCrc32(benchmark::State& state) {
  const std::vector<uint8_t>& data = MixedText();
  for (auto _ : state) benchmark::DoNotOptimize(crc32_z(0, data.data(), data.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_ZlibCrc32)->MinTime(0.2);

}  // namespace
