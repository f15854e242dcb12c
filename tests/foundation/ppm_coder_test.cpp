#include "engine/foundation/compression/ppm_coder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "engine/foundation/compression/ppm/ppm_model.h"
#include "engine/foundation/compression/ppm/ppm_range_coder.h"
#include "engine/foundation/compression/ppm/ppm_sub_allocator.h"
#include "engine/foundation/little_endian.h"
#include "tests/foundation/ppm_test_data.h"

namespace qdx {
namespace {

using ppm_test::Noise;
using ppm_test::Records;
using ppm_test::Text;

std::vector<uint8_t> Compress(const std::vector<uint8_t>& input, int mode) {
  std::vector<uint8_t> coded;
  EXPECT_TRUE(PpmCompressBuffer(input, mode, coded));
  return coded;
}

TEST(PpmCoderTest, RoundTripsEveryModeAndInputKind) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } inputs[] = {
      {"empty", {}},
      {"one byte", {0x41}},
      {"text", Text(30000)},
      {"records", Records(20000)},
      {"incompressible", Noise(12000)},
  };
  for (int mode = 1; mode <= 9; ++mode) {
    for (const auto& input : inputs) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << ", " << input.name);
      std::vector<uint8_t> coded;
      ASSERT_TRUE(PpmCompressBuffer(input.bytes, mode, coded));
      EXPECT_LE(coded.size(), input.bytes.size() + input.bytes.size() / 20 + 50);
      std::vector<uint8_t> decoded;
      ASSERT_TRUE(PpmDecompressBuffer(coded, static_cast<int64_t>(input.bytes.size()), decoded));
      EXPECT_EQ(decoded, input.bytes);
    }
  }
}

TEST(PpmCoderTest, HeaderNamesOrderAndMemoryOfTheMode) {
  // 0x6000 + ((memory MB - 1) << 4) + (order - 1), little-endian.
  const uint32_t expected[9] = {0x6011, 0x6022, 0x6063, 0x60F4, 0x6156,
                                0x6187, 0x6279, 0x663C, 0x663F};
  for (int mode = 1; mode <= 9; ++mode) {
    const std::vector<uint8_t> coded = Compress({1, 2, 3}, mode);
    ASSERT_GE(coded.size(), 4u);
    EXPECT_EQ(le::Load<uint32_t>(coded.data()), expected[mode - 1]) << "mode " << mode;
  }
}

TEST(PpmCoderTest, EmptyInputCodesOnlyTheEndMark) {
  // The escape out of the first context and out of the order-0 context, then the 4-byte flush.
  const std::vector<uint8_t> coded = Compress({}, 5);
  EXPECT_LE(coded.size(), 4u + 8u);
  std::vector<uint8_t> decoded{9};
  ASSERT_TRUE(PpmDecompressBuffer(coded, 0, decoded));
  EXPECT_TRUE(decoded.empty());
}

TEST(PpmCoderTest, RefusesModesOutsideOneToNine) {
  std::vector<uint8_t> coded;
  EXPECT_FALSE(PpmCompressBuffer(Text(100), 0, coded));
  EXPECT_FALSE(PpmCompressBuffer(Text(100), 10, coded));
}

TEST(PpmCoderTest, RefusesBadHeaders) {
  const std::vector<uint8_t> input = Text(2000);
  const std::vector<uint8_t> good = Compress(input, 3);
  struct Case {
    const char* name;
    uint32_t header;
  };
  const Case cases[] = {
      {"variant 5", 0x5063},      {"variant 7", 0x7063}, {"bit 16 set", 0x16063},
      {"bit 31 set", 0x80006063}, {"order 1", 0x6060},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> coded = good;
    le::Store<uint32_t>(coded.data(), c.header);
    std::vector<uint8_t> decoded;
    EXPECT_FALSE(PpmDecompressBuffer(coded, static_cast<int64_t>(input.size()), decoded));
    EXPECT_TRUE(decoded.empty());
  }
  std::vector<uint8_t> decoded;
  EXPECT_FALSE(PpmDecompressBuffer(std::span(good).first(3), 2000, decoded));
  EXPECT_FALSE(PpmDecompressBuffer(good, -1, decoded));
}

TEST(PpmCoderTest, RefusesOutputLongerThanExpected) {
  const std::vector<uint8_t> input = Text(5000);
  const std::vector<uint8_t> coded = Compress(input, 4);
  std::vector<uint8_t> decoded;
  EXPECT_FALSE(PpmDecompressBuffer(coded, 4999, decoded));
  EXPECT_TRUE(decoded.empty());
  // A larger expected size is only an upper bound: the end mark ends the data.
  ASSERT_TRUE(PpmDecompressBuffer(coded, 6000, decoded));
  EXPECT_EQ(decoded, input);
}

TEST(PpmCoderTest, DamagedStreamsFailOrDecodeWithoutHarm) {
  // Truncated and bit-flipped streams must end (false or some bytes within the bound), never
  // crash or run on.
  const std::vector<uint8_t> input = Text(6000, 3);
  const std::vector<uint8_t> coded = Compress(input, 6);
  std::vector<uint8_t> decoded;
  for (size_t cut : {size_t{4}, size_t{5}, size_t{20}, coded.size() / 2, coded.size() - 1}) {
    EXPECT_FALSE(PpmDecompressBuffer(std::span(coded).first(cut), 6000, decoded)) << cut;
  }
  for (size_t at = 4; at < coded.size(); at += 97) {
    std::vector<uint8_t> damaged = coded;
    damaged[at] ^= static_cast<uint8_t>(1u << (at % 8));
    if (PpmDecompressBuffer(damaged, 6000, decoded)) {
      EXPECT_LE(decoded.size(), 6000u);
    }
  }
  const std::vector<uint8_t> garbage = Noise(3000, 11);
  for (uint32_t header : {0x6011u, 0x6F0Fu, 0x600Fu}) {
    std::vector<uint8_t> stream(4);
    le::Store<uint32_t>(stream.data(), header);
    stream.insert(stream.end(), garbage.begin(), garbage.end());
    if (PpmDecompressBuffer(stream, 100000, decoded)) {
      EXPECT_LE(decoded.size(), 100000u);
    }
  }
}

TEST(PpmCoderTest, ConcurrentCallsShareTheModelSafely) {
  // Different modes force the shared model memory to change size between calls.
  const std::vector<uint8_t> text = Text(8000, 5);
  const std::vector<uint8_t> records = Records(8000);
  const std::vector<uint8_t> textCoded = Compress(text, 2);
  const std::vector<uint8_t> recordsCoded = Compress(records, 7);
  auto work = [](const std::vector<uint8_t>& input, int mode, const std::vector<uint8_t>& want,
                 bool& ok) {
    ok = true;
    for (int round = 0; round < 4; ++round) {
      std::vector<uint8_t> coded, decoded;
      ok = ok && PpmCompressBuffer(input, mode, coded) && coded == want &&
           PpmDecompressBuffer(coded, static_cast<int64_t>(input.size()), decoded) &&
           decoded == input;
    }
  };
  bool ok1 = false, ok2 = false;
  std::thread t1(work, std::cref(text), 2, std::cref(textCoded), std::ref(ok1));
  std::thread t2(work, std::cref(records), 7, std::cref(recordsCoded), std::ref(ok2));
  t1.join();
  t2.join();
  EXPECT_TRUE(ok1);
  EXPECT_TRUE(ok2);
}

TEST(PpmSubAllocatorTest, ReleasesTheReserveThenFailsAndResetFreesAll) {
  // 1 MB: 87381 units, of which 16384 are held back until the rest is used up.
  const uint32_t memorySize = 1u << 20;
  std::vector<uint8_t> memory(ppm::PpmSubAllocator::BytesFor(memorySize));
  ppm::PpmSubAllocator allocator;
  allocator.Attach(memory.data(), memorySize);
  allocator.Reset();
  auto fill = [&] {
    int blocks = 0;
    while (allocator.AllocUnits(128) != 0) ++blocks;
    return blocks;
  };
  // (87381 - 16384) / 128 = 554 blocks from the open area. The request that finds it used up
  // releases the held-back units as 128 free blocks of 128 units (but still fails, as the
  // original does: it looks for a larger free block only); they serve the next requests.
  EXPECT_EQ(fill(), 554);
  EXPECT_EQ(fill(), 128);
  EXPECT_EQ(fill(), 0);
  EXPECT_NE(allocator.AllocContext(), 0u);  // 55 units are left over at the top
  allocator.Reset();
  EXPECT_EQ(fill(), 554);
}

TEST(PpmSubAllocatorTest, ShrinkAndExpandKeepContents) {
  const uint32_t memorySize = 1u << 20;
  std::vector<uint8_t> memory(ppm::PpmSubAllocator::BytesFor(memorySize));
  ppm::PpmSubAllocator allocator;
  allocator.Attach(memory.data(), memorySize);
  allocator.Reset();
  ppm::PpmRef block = allocator.AllocUnits(4);
  for (uint32_t i = 0; i < 4 * ppm::kUnitSize; ++i) allocator.Store8(block + i, uint8_t(i));
  block = allocator.ExpandUnits(block, 4);  // 4 -> 5 units moves to the 6-unit class
  for (uint32_t i = 0; i < 4 * ppm::kUnitSize; ++i) ASSERT_EQ(allocator.Load8(block + i), i);
  const ppm::PpmRef freed = allocator.AllocUnits(4);  // the old block, from its free list
  EXPECT_NE(freed, block);
  block = allocator.ShrinkUnits(block, 5, 2);
  for (uint32_t i = 0; i < 2 * ppm::kUnitSize; ++i) ASSERT_EQ(allocator.Load8(block + i), i);
}

}  // namespace
}  // namespace qdx
