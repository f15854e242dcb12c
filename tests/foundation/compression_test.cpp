#include "engine/foundation/compression/compression.h"

#include <bzlib.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/foundation/memory.h"
#include "tests/foundation/compression_test_data.h"

namespace qdx {
namespace {

using testdata::MixedText;

std::vector<uint8_t> ToVector(const TQDXMemBlock& block, int64_t size) {
  return {block.data(), block.data() + size};
}

// Compresses with CompressBuffer; empty when it answers false.
std::vector<uint8_t> Compress(uint8_t algorithm, int mode, const std::vector<uint8_t>& input) {
  TQDXCompressedBlockHeader header;
  TQDXMemBlock output;
  if (!CompressBuffer(algorithm, mode, input, header, output)) return {};
  EXPECT_EQ(output.size(), header.CompressedSize);
  return ToVector(output, header.CompressedSize);
}

// Decompresses with DecompressBuffer; false when it answers false.
bool Decompress(uint8_t algorithm, const std::vector<uint8_t>& input, int64_t expectedSize,
                std::vector<uint8_t>& out) {
  int64_t size = expectedSize;
  TQDXMemBlock output;
  if (!DecompressBuffer(algorithm, input, size, output)) {
    EXPECT_EQ(size, 0);
    return false;
  }
  EXPECT_GE(output.size(), size);
  out = ToVector(output, size);
  return true;
}

TEST(CompressionTest, AlgorithmNamesAreLookedUpIgnoringCase) {
  const struct {
    const char* name;
    uint8_t code;
  } cases[] = {{"ZLIB", 1}, {"zlib", 1}, {"BZip", 2},  {"ppm", 3},  {"PPM", 3},
               {"NONE", 0}, {"", 0},     {"ZLIB ", 0}, {"PPMD", 0}, {"bzip2", 0}};
  for (const auto& c : cases) EXPECT_EQ(CompressionAlgorithmFromName(c.name), c.code) << c.name;
  EXPECT_EQ(CompressionAlgorithmName(0), "NONE");
  EXPECT_EQ(CompressionAlgorithmName(2), "BZIP");
  EXPECT_EQ(CompressionAlgorithmName(4), "");
}

TEST(CompressionTest, BlockSizeByMode) {
  const int32_t expected[] = {102400,  524288,  524288,  524288,  1048576,
                              1048576, 1048576, 1572864, 1572864, 1572864};
  for (int mode = 0; mode <= 9; ++mode) EXPECT_EQ(CompressionBlockSize(mode), expected[mode]);
}

TEST(CompressionTest, BlockHeaderLayout) {
  const TQDXCompressedBlockHeader header{0x01020304, 0x05060708, 0xCA6598D0u, 0x0102030405060718};
  uint8_t bytes[TQDXCompressedBlockHeader::kSize];
  header.Store(bytes);
  const uint8_t expected[] = {0x04, 0x03, 0x02, 0x01, 0x08, 0x07, 0x06, 0x05, 0xD0, 0x98,
                              0x65, 0xCA, 0x18, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof expected));
  EXPECT_EQ(TQDXCompressedBlockHeader::Load(bytes), header);
}

TEST(CompressionTest, RoundTripsEveryAlgorithmAndMode) {
  const std::vector<std::vector<uint8_t>> inputs = {
      {'x'}, MixedText(1000), MixedText(300000, 7), std::vector<uint8_t>(200000, 0)};
  for (const uint8_t algorithm : {kCompressionZlib, kCompressionBzip}) {
    for (int mode = 1; mode <= 9; ++mode) {
      for (const auto& input : inputs) {
        SCOPED_TRACE(::testing::Message() << "algorithm " << int{algorithm} << " mode " << mode
                                          << " size " << input.size());
        const std::vector<uint8_t> packed = Compress(algorithm, mode, input);
        ASSERT_FALSE(packed.empty());
        std::vector<uint8_t> unpacked;
        ASSERT_TRUE(Decompress(algorithm, packed, static_cast<int64_t>(input.size()), unpacked));
        EXPECT_EQ(unpacked, input);
      }
    }
  }
}

// The expected size only sizes the first buffer: a missing or wrong one still gives the whole
// output, through the growth path.
TEST(CompressionTest, DecompressionGrowsPastAWrongExpectedSize) {
  const std::vector<uint8_t> input = MixedText(250000, 3);
  for (const uint8_t algorithm : {kCompressionZlib, kCompressionBzip}) {
    const std::vector<uint8_t> packed = Compress(algorithm, 6, input);
    for (const int64_t expected : {int64_t{0}, int64_t{1}, int64_t{9999}, int64_t{100000}}) {
      std::vector<uint8_t> unpacked;
      ASSERT_TRUE(Decompress(algorithm, packed, expected, unpacked)) << expected;
      EXPECT_EQ(unpacked, input);
    }
  }
}

// Decoding into the caller's buffer succeeds exactly when the whole output fits.
TEST(CompressionTest, DecompressesIntoABufferOfTheRightSize) {
  const std::vector<uint8_t> input = MixedText(120000, 17);
  for (const uint8_t algorithm : {kCompressionZlib, kCompressionBzip}) {
    SCOPED_TRACE(int{algorithm});
    const std::vector<uint8_t> packed = Compress(algorithm, 4, input);
    for (const size_t room : {input.size(), input.size() + 100}) {
      std::vector<uint8_t> out(room, 0xEE);
      int64_t size = -1;
      ASSERT_TRUE(DecompressBufferInto(algorithm, packed, out, size));
      EXPECT_EQ(size, static_cast<int64_t>(input.size()));
      EXPECT_TRUE(std::equal(input.begin(), input.end(), out.begin()));
    }
    std::vector<uint8_t> out(input.size() - 1);
    int64_t size = -1;
    EXPECT_FALSE(DecompressBufferInto(algorithm, packed, out, size));
    EXPECT_EQ(size, 0);
    const std::vector<uint8_t> truncated(packed.begin(), packed.end() - 3);
    out.resize(input.size());
    EXPECT_FALSE(DecompressBufferInto(algorithm, truncated, out, size));
  }
}

TEST(CompressionTest, RefusesWhatItCannotCode) {
  const std::vector<uint8_t> input = MixedText(100);
  TQDXCompressedBlockHeader header;
  header.CompressedSize = 55;
  TQDXMemBlock output;
  EXPECT_FALSE(CompressBuffer(kCompressionNone, 6, input, header, output));
  EXPECT_EQ(header.CompressedSize, 0);
  EXPECT_FALSE(CompressBuffer(7, 6, input, header, output));
  EXPECT_FALSE(CompressBuffer(kCompressionZlib, 6, {}, header, output));
  EXPECT_FALSE(CompressBuffer(kCompressionZlib, 10, input, header, output));  // no such level
  EXPECT_FALSE(CompressBuffer(kCompressionBzip, 0, input, header, output));   // no such size
  EXPECT_FALSE(output);

  int64_t size = 100;
  EXPECT_FALSE(DecompressBuffer(kCompressionNone, input, size, output));
  EXPECT_FALSE(DecompressBuffer(kCompressionZlib, {}, size, output));
}

TEST(CompressionTest, DamagedInputAnswersFalse) {
  const std::vector<uint8_t> input = MixedText(50000, 5);
  for (const uint8_t algorithm : {kCompressionZlib, kCompressionBzip}) {
    SCOPED_TRACE(int{algorithm});
    const std::vector<uint8_t> packed = Compress(algorithm, 9, input);
    std::vector<uint8_t> out;

    std::vector<uint8_t> truncated(packed.begin(), packed.end() - 5);
    EXPECT_FALSE(Decompress(algorithm, truncated, 50000, out));
    std::vector<uint8_t> flipped = packed;
    flipped[flipped.size() / 2] ^= 0x55;
    EXPECT_FALSE(Decompress(algorithm, flipped, 50000, out));
    EXPECT_FALSE(Decompress(algorithm, MixedText(3000, 9), 50000, out));
    // A hostile expected size must not be trusted into a huge first buffer either.
    EXPECT_FALSE(Decompress(algorithm, truncated, int64_t{1} << 40, out));
  }
}

TEST(CompressionTest, MemoryFailureAnswersFalse) {
  const std::vector<uint8_t> input = MixedText(400000);
  const std::vector<uint8_t> packed = Compress(kCompressionZlib, 6, input);
  TQDXMemoryManager& manager = QDXMemoryManager();
  const int64_t oldLimit = manager.Limit();
  manager.SetLimit(manager.Allocated() + 1000);
  TQDXCompressedBlockHeader header;
  TQDXMemBlock output;
  const bool compressed = CompressBuffer(kCompressionZlib, 6, input, header, output);
  int64_t size = static_cast<int64_t>(input.size());
  const bool decompressed = DecompressBuffer(kCompressionBzip, packed, size, output);
  manager.SetLimit(oldLimit);
  EXPECT_FALSE(compressed);
  EXPECT_FALSE(decompressed);
}

// An expected size from a damaged block header is no reason to allocate it: a sound bzip2 stream
// still decodes under a memory limit far below that size, and a PPM header asking for more model
// memory than any mode codes with is refused before the memory is taken.
TEST(CompressionTest, SizesFromADamagedHeaderAllocateNothingUpFront) {
  const std::vector<uint8_t> input = MixedText(60000, 5);
  const std::vector<uint8_t> packed = Compress(kCompressionBzip, 1, input);
  TQDXMemoryManager& manager = QDXMemoryManager();
  const int64_t oldLimit = manager.Limit();
  for (const int64_t expected : {int64_t{1} << 30, int64_t{0x7FFFFF00}}) {
    manager.SetLimit(manager.Allocated() + (int64_t{32} << 20));
    std::vector<uint8_t> unpacked;
    const bool decoded = Decompress(kCompressionBzip, packed, expected, unpacked);
    manager.SetLimit(oldLimit);
    ASSERT_TRUE(decoded) << expected;
    EXPECT_EQ(unpacked, input);
  }

  std::vector<uint8_t> ppm = Compress(kCompressionPpm, 1, input);
  if (ppm.empty()) GTEST_SKIP() << "the PPM coder refuses to code";
  for (const uint32_t memoryMB : {101u, 256u}) {
    SCOPED_TRACE(memoryMB);
    std::vector<uint8_t> damaged = ppm;
    const uint32_t header = (6u << 12) | ((memoryMB - 1) << 4) | (damaged[0] & 0x0Fu);
    damaged[0] = static_cast<uint8_t>(header);
    damaged[1] = static_cast<uint8_t>(header >> 8);
    const int64_t before = manager.Allocated();
    std::vector<uint8_t> unpacked;
    EXPECT_FALSE(Decompress(kCompressionPpm, damaged, static_cast<int64_t>(input.size()), unpacked));
    // The model memory stays allocated between calls, so a taken one would still show.
    EXPECT_LT(manager.Allocated(), before + (int64_t{100} << 20));
  }
}

// The zlib and bzip2 formats are the standard ones: each library reads what the other side
// wrote, and the coded bytes equal the library's own one-shot call at the mode.
TEST(CompressionTest, InteroperatesWithTheSystemLibraries) {
  const std::vector<uint8_t> input = MixedText(180000, 11);
  for (int mode = 1; mode <= 9; mode += 4) {
    SCOPED_TRACE(mode);
    {
      std::vector<uint8_t> theirs(compressBound(input.size()));
      uLongf theirSize = theirs.size();
      ASSERT_EQ(compress2(theirs.data(), &theirSize, input.data(), input.size(), mode), Z_OK);
      theirs.resize(theirSize);
      const std::vector<uint8_t> ours = Compress(kCompressionZlib, mode, input);
      EXPECT_EQ(ours, theirs);
      std::vector<uint8_t> unpacked;
      ASSERT_TRUE(Decompress(kCompressionZlib, theirs, 0, unpacked));
      EXPECT_EQ(unpacked, input);
      std::vector<uint8_t> back(input.size());
      uLongf backSize = back.size();
      ASSERT_EQ(uncompress(back.data(), &backSize, ours.data(), ours.size()), Z_OK);
      EXPECT_EQ(back, input);
    }
    {
      std::vector<uint8_t> theirs(input.size() + input.size() / 100 + 600);
      unsigned theirSize = static_cast<unsigned>(theirs.size());
      ASSERT_EQ(
          BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(theirs.data()), &theirSize,
                                   reinterpret_cast<char*>(const_cast<uint8_t*>(input.data())),
                                   static_cast<unsigned>(input.size()), mode, 0, 0),
          BZ_OK);
      theirs.resize(theirSize);
      const std::vector<uint8_t> ours = Compress(kCompressionBzip, mode, input);
      EXPECT_EQ(ours, theirs);
      std::vector<uint8_t> unpacked;
      ASSERT_TRUE(Decompress(kCompressionBzip, theirs, 0, unpacked));
      EXPECT_EQ(unpacked, input);
      std::vector<uint8_t> back(input.size());
      unsigned backSize = static_cast<unsigned>(back.size());
      ASSERT_EQ(
          BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(back.data()), &backSize,
                                     reinterpret_cast<char*>(const_cast<uint8_t*>(ours.data())),
                                     static_cast<unsigned>(ours.size()), 0, 0),
          BZ_OK);
      EXPECT_EQ(back, input);
    }
  }
}

// Algorithm 3 goes to the PPM coder. Whatever it produces carries the engine's stream header
// and decodes back; a header whose bits 12 and above are not 6 is refused.
TEST(CompressionTest, PpmDispatchKeepsTheCoderContract) {
  const std::vector<uint8_t> input = MixedText(20000, 13);
  for (const int mode : {1, 5, 9}) {
    const std::vector<uint8_t> packed = Compress(kCompressionPpm, mode, input);
    if (packed.empty()) continue;  // the coder may refuse; it must not lie
    ASSERT_GE(packed.size(), 4u);
    const uint32_t header = uint32_t{packed[0]} | uint32_t{packed[1]} << 8 |
                            uint32_t{packed[2]} << 16 | uint32_t{packed[3]} << 24;
    EXPECT_EQ(header >> 12, 6u);
    std::vector<uint8_t> unpacked;
    ASSERT_TRUE(Decompress(kCompressionPpm, packed, static_cast<int64_t>(input.size()), unpacked));
    EXPECT_EQ(unpacked, input);

    std::vector<uint8_t> wrongVariant = packed;
    wrongVariant[1] = static_cast<uint8_t>((wrongVariant[1] & 0x0F) | 0x70);
    EXPECT_FALSE(
        Decompress(kCompressionPpm, wrongVariant, static_cast<int64_t>(input.size()), unpacked));
  }
  const std::vector<uint8_t> notPpm = {0x2F, 0x71, 0x00, 0x00, 0x10, 0x20, 0x30};
  std::vector<uint8_t> unpacked;
  EXPECT_FALSE(Decompress(kCompressionPpm, notPpm, 100, unpacked));
}

}  // namespace
}  // namespace qdx
