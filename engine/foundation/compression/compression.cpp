#include "engine/foundation/compression/compression.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "engine/foundation/compression/ppm_coder.h"
#include "engine/foundation/constants.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {
namespace {

constexpr std::array<std::string_view, 4> kAlgorithmNames = {"NONE", "ZLIB", "BZIP", "PPM"};

// No coder output may outgrow the 32-bit sizes of block headers and engine streams.
constexpr int64_t kMaxOutputSize =
    std::numeric_limits<int32_t>::max() - TQDXMemoryManager::kFrameSize;
// Deflate cannot expand data by more than about 1032 to 1, so an expected size within that
// bound is trusted as the first output buffer; a larger one is taken for damage.
constexpr int64_t kMaxDeflateRatio = 1032;
// Bzip2 can expand a few bytes into gigabytes, so no ratio bounds its output. An expected size
// up to this (above the largest block the engine writes) is trusted as the first output buffer;
// a larger one, which only a damaged header gives, starts small and grows with the output.
constexpr int64_t kMaxTrustedBzipSize = int64_t{16} << 20;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return upper(x) == upper(y);
  });
}

int64_t RoundUp256(int64_t n) {
  return (n + 255) / 256 * 256;
}

// The first output buffer of a compression: n + n/10 + 267 rounded down to 256 bytes, above
// what either coder can produce for n input bytes, so growing is an exception.
int64_t CompressionBufferSize(int64_t n) {
  return (n + n / 10 + 267) / 256 * 256;
}

// Grows `output` to `capacity` + `step` bytes; false past the output limit.
bool Grow(TQDXMemBlock& output, int64_t& capacity, int64_t step) {
  if (capacity >= kMaxOutputSize) return false;
  capacity = std::min(capacity + step, kMaxOutputSize);
  output.Resize(capacity);
  return true;
}

// A decompression that outgrows its buffer grows it by the input size rounded up, or by half the
// buffer once that is more: steps of the input size alone would copy the output over and over
// when a small input expands a thousandfold.
int64_t GrowthStep(int64_t capacity, int64_t step) {
  return std::max(step, capacity / 2);
}

// Both coders take 32-bit counts; engine sizes never need more.
bool FitsCoder(std::span<const uint8_t> input) {
  return !input.empty() && input.size() <= static_cast<size_t>(kMaxOutputSize);
}

bool ZlibCompress(int level, std::span<const uint8_t> input, TQDXMemBlock& output,
                  int64_t& outputSize) {
  z_stream zs{};
  if (deflateInit(&zs, level) != Z_OK) return false;
  const ScopeExit end([&zs] { deflateEnd(&zs); });
  int64_t capacity = CompressionBufferSize(static_cast<int64_t>(input.size()));
  output = TQDXMemBlock(capacity);
  zs.next_in = const_cast<Bytef*>(input.data());
  zs.avail_in = static_cast<uInt>(input.size());
  for (;;) {
    zs.next_out = output.data() + zs.total_out;
    zs.avail_out = static_cast<uInt>(capacity - static_cast<int64_t>(zs.total_out));
    const int rc = deflate(&zs, Z_FINISH);
    if (rc == Z_STREAM_END) break;
    if ((rc != Z_OK && rc != Z_BUF_ERROR) || zs.avail_out != 0) return false;
    if (!Grow(output, capacity, 256)) return false;
  }
  outputSize = static_cast<int64_t>(zs.total_out);
  return true;
}

bool ZlibDecompress(std::span<const uint8_t> input, int64_t expectedSize, TQDXMemBlock& output,
                    int64_t& outputSize) {
  const auto n = static_cast<int64_t>(input.size());
  const int64_t step = RoundUp256(n);
  const bool trusted =
      expectedSize > 0 && expectedSize <= std::min(kMaxOutputSize, n * kMaxDeflateRatio + 10000);
  int64_t capacity = trusted ? expectedSize : step;
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  const ScopeExit end([&zs] { inflateEnd(&zs); });
  output = TQDXMemBlock(capacity);
  zs.next_in = const_cast<Bytef*>(input.data());
  zs.avail_in = static_cast<uInt>(n);
  for (;;) {
    zs.next_out = output.data() + zs.total_out;
    zs.avail_out = static_cast<uInt>(capacity - static_cast<int64_t>(zs.total_out));
    const int rc = inflate(&zs, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
    if (zs.avail_out != 0) return false;  // the input ended before the stream did
    if (!Grow(output, capacity, GrowthStep(capacity, step))) return false;
  }
  outputSize = static_cast<int64_t>(zs.total_out);
  return true;
}

int64_t BzTotalOut(const bz_stream& bs) {
  return static_cast<int64_t>(uint64_t{bs.total_out_hi32} << 32 | bs.total_out_lo32);
}

bool BzipCompress(int mode, std::span<const uint8_t> input, TQDXMemBlock& output,
                  int64_t& outputSize) {
  bz_stream bs{};
  // Block size 100k x mode, verbosity 0, the default work factor.
  if (BZ2_bzCompressInit(&bs, mode, 0, 0) != BZ_OK) return false;
  const ScopeExit end([&bs] { BZ2_bzCompressEnd(&bs); });
  int64_t capacity = CompressionBufferSize(static_cast<int64_t>(input.size()));
  output = TQDXMemBlock(capacity);
  bs.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(input.data()));
  bs.avail_in = static_cast<unsigned>(input.size());
  for (;;) {
    bs.next_out = reinterpret_cast<char*>(output.data() + BzTotalOut(bs));
    bs.avail_out = static_cast<unsigned>(capacity - BzTotalOut(bs));
    const int rc = BZ2_bzCompress(&bs, BZ_FINISH);
    if (rc == BZ_STREAM_END) break;
    if (rc != BZ_FINISH_OK || bs.avail_out != 0) return false;
    if (!Grow(output, capacity, 256)) return false;
  }
  outputSize = BzTotalOut(bs);
  return true;
}

bool BzipDecompress(std::span<const uint8_t> input, int64_t expectedSize, TQDXMemBlock& output,
                    int64_t& outputSize) {
  const auto n = static_cast<int64_t>(input.size());
  const int64_t step = RoundUp256(n);
  int64_t capacity = expectedSize > 0 && expectedSize <= kMaxTrustedBzipSize ? expectedSize : step;
  bz_stream bs{};
  if (BZ2_bzDecompressInit(&bs, 0, 0) != BZ_OK) return false;
  const ScopeExit end([&bs] { BZ2_bzDecompressEnd(&bs); });
  output = TQDXMemBlock(capacity);
  bs.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(input.data()));
  bs.avail_in = static_cast<unsigned>(n);
  for (;;) {
    bs.next_out = reinterpret_cast<char*>(output.data() + BzTotalOut(bs));
    bs.avail_out = static_cast<unsigned>(capacity - BzTotalOut(bs));
    const int rc = BZ2_bzDecompress(&bs);
    if (rc == BZ_STREAM_END) break;
    if (rc != BZ_OK) return false;
    if (bs.avail_out != 0) return false;  // the input ended before the stream did
    if (!Grow(output, capacity, GrowthStep(capacity, step))) return false;
  }
  outputSize = BzTotalOut(bs);
  return true;
}

bool ZlibDecompressInto(std::span<const uint8_t> input, std::span<uint8_t> output,
                        int64_t& outputSize) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  const ScopeExit end([&zs] { inflateEnd(&zs); });
  zs.next_in = const_cast<Bytef*>(input.data());
  zs.avail_in = static_cast<uInt>(input.size());
  zs.next_out = output.data();
  zs.avail_out = static_cast<uInt>(output.size());
  if (inflate(&zs, Z_FINISH) != Z_STREAM_END) return false;
  outputSize = static_cast<int64_t>(zs.total_out);
  return true;
}

bool BzipDecompressInto(std::span<const uint8_t> input, std::span<uint8_t> output,
                        int64_t& outputSize) {
  bz_stream bs{};
  if (BZ2_bzDecompressInit(&bs, 0, 0) != BZ_OK) return false;
  const ScopeExit end([&bs] { BZ2_bzDecompressEnd(&bs); });
  bs.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(input.data()));
  bs.avail_in = static_cast<unsigned>(input.size());
  bs.next_out = reinterpret_cast<char*>(output.data());
  bs.avail_out = static_cast<unsigned>(output.size());
  for (;;) {
    const unsigned inBefore = bs.avail_in;
    const unsigned outBefore = bs.avail_out;
    const int rc = BZ2_bzDecompress(&bs);
    if (rc == BZ_STREAM_END) break;
    // A call that moves nothing is out of room or out of input: the stream does not end
    // within the buffer.
    if (rc != BZ_OK || (bs.avail_in == inBefore && bs.avail_out == outBefore)) return false;
  }
  outputSize = BzTotalOut(bs);
  return true;
}

void CopyToBlock(const std::vector<uint8_t>& bytes, TQDXMemBlock& output) {
  output = TQDXMemBlock(static_cast<int64_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), output.data());
}

bool PpmCompress(int mode, std::span<const uint8_t> input, TQDXMemBlock& output,
                 int64_t& outputSize) {
  std::vector<uint8_t> coded;
  if (!PpmCompressBuffer(input, mode, coded) || coded.empty()) return false;
  if (static_cast<int64_t>(coded.size()) > kMaxOutputSize) return false;
  CopyToBlock(coded, output);
  outputSize = static_cast<int64_t>(coded.size());
  return true;
}

bool PpmDecompress(std::span<const uint8_t> input, int64_t expectedSize, TQDXMemBlock& output,
                   int64_t& outputSize) {
  std::vector<uint8_t> decoded;
  if (!PpmDecompressBuffer(input, expectedSize, decoded) || decoded.empty()) return false;
  if (static_cast<int64_t>(decoded.size()) > kMaxOutputSize) return false;
  CopyToBlock(decoded, output);
  outputSize = static_cast<int64_t>(decoded.size());
  return true;
}

}  // namespace

uint8_t CompressionAlgorithmFromName(std::string_view name) {
  for (size_t code = 1; code < kAlgorithmNames.size(); ++code) {
    if (EqualsIgnoringCase(name, kAlgorithmNames[code])) return static_cast<uint8_t>(code);
  }
  return kCompressionNone;
}

std::string_view CompressionAlgorithmName(uint8_t algorithm) {
  return algorithm < kAlgorithmNames.size() ? kAlgorithmNames[algorithm] : std::string_view();
}

int32_t CompressionBlockSize(int mode) {
  if (mode <= 0) return kCompressionBlockSizeMode0;
  if (mode <= 3) return kCompressionBlockSizeMode1To3;
  if (mode <= 6) return kCompressionBlockSizeMode4To6;
  return kCompressionBlockSizeMode7To9;
}

TQDXCompressedBlockHeader TQDXCompressedBlockHeader::Load(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  TQDXCompressedBlockHeader header;
  header.CompressedSize = reader.Read<int32_t>();
  header.UncompressedSize = reader.Read<int32_t>();
  header.Crc32 = reader.Read<uint32_t>();
  header.NextHeaderOffset = reader.Read<int64_t>();
  return header;
}

void TQDXCompressedBlockHeader::Store(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.Write<int32_t>(CompressedSize);
  writer.Write<int32_t>(UncompressedSize);
  writer.Write<uint32_t>(Crc32);
  writer.Write<int64_t>(NextHeaderOffset);
}

bool CompressBuffer(uint8_t algorithm, int mode, std::span<const uint8_t> input,
                    TQDXCompressedBlockHeader& header, TQDXMemBlock& output) noexcept {
  header.CompressedSize = 0;
  try {
    if (!FitsCoder(input)) return false;
    int64_t size = 0;
    bool done = false;
    switch (algorithm) {
      case kCompressionZlib:
        done = ZlibCompress(mode, input, output, size);
        break;
      case kCompressionBzip:
        done = BzipCompress(mode, input, output, size);
        break;
      case kCompressionPpm:
        done = PpmCompress(mode, input, output, size);
        break;
      default:
        break;
    }
    if (!done || size <= 0 || size > kMaxOutputSize) {
      output = TQDXMemBlock();
      return false;
    }
    if (output.size() != size) output.Resize(size);
    header.CompressedSize = static_cast<int32_t>(size);
    return true;
  } catch (...) {
    output = TQDXMemBlock();
    header.CompressedSize = 0;
    return false;
  }
}

bool DecompressBuffer(uint8_t algorithm, std::span<const uint8_t> input, int64_t& outputSize,
                      TQDXMemBlock& output) noexcept {
  const int64_t expectedSize = outputSize;
  outputSize = 0;
  try {
    if (!FitsCoder(input)) return false;
    int64_t size = 0;
    bool done = false;
    switch (algorithm) {
      case kCompressionZlib:
        done = ZlibDecompress(input, expectedSize, output, size);
        break;
      case kCompressionBzip:
        done = BzipDecompress(input, expectedSize, output, size);
        break;
      case kCompressionPpm:
        done = PpmDecompress(input, expectedSize, output, size);
        break;
      default:
        break;
    }
    if (!done || size <= 0) {
      output = TQDXMemBlock();
      return false;
    }
    outputSize = size;
    return true;
  } catch (...) {
    output = TQDXMemBlock();
    outputSize = 0;
    return false;
  }
}

bool DecompressBufferInto(uint8_t algorithm, std::span<const uint8_t> input,
                          std::span<uint8_t> output, int64_t& outputSize) noexcept {
  outputSize = 0;
  try {
    if (!FitsCoder(input) || output.empty() ||
        output.size() > static_cast<size_t>(kMaxOutputSize)) {
      return false;
    }
    int64_t size = 0;
    bool done = false;
    switch (algorithm) {
      case kCompressionZlib:
        done = ZlibDecompressInto(input, output, size);
        break;
      case kCompressionBzip:
        done = BzipDecompressInto(input, output, size);
        break;
      case kCompressionPpm: {
        TQDXMemBlock decoded;
        size = static_cast<int64_t>(output.size());
        done = PpmDecompress(input, size, decoded, size) &&
               size <= static_cast<int64_t>(output.size());
        if (done) std::copy(decoded.data(), decoded.data() + size, output.data());
        break;
      }
      default:
        break;
    }
    if (!done || size <= 0) return false;
    outputSize = size;
    return true;
  } catch (...) {
    outputSize = 0;
    return false;
  }
}

}  // namespace qdx
