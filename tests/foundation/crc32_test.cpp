#include "engine/foundation/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

namespace qdx {
namespace {

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(RawCRC32Test, KnownValues) {
  EXPECT_EQ(RawCRC32(Bytes("abc")), 0xCA6598D0u);
  EXPECT_EQ(RawCRC32(Bytes("")), 0u);
  // Continuing over a split input gives the value of the whole.
  EXPECT_EQ(RawCRC32(Bytes("c"), RawCRC32(Bytes("ab"))), 0xCA6598D0u);
}

// The table-driven form must agree with the bit-at-a-time definition for every length and
// alignment, since eight bytes at a time take a different path than the tail.
TEST(RawCRC32Test, MatchesTheBitwiseDefinition) {
  auto bitwise = [](std::span<const uint8_t> data, uint32_t crc) {
    for (const uint8_t byte : data) {
      crc ^= byte;
      for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
  };
  std::mt19937 rng(42);
  std::vector<uint8_t> data(1200);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (size_t offset = 0; offset < 8; ++offset) {
    for (size_t length = 0; length + offset <= data.size(); length += (length < 300 ? 7 : 97)) {
      const auto part = std::span<const uint8_t>(data).subspan(offset, length);
      ASSERT_EQ(RawCRC32(part, 0x12345678u), bitwise(part, 0x12345678u)) << offset << " " << length;
      ASSERT_EQ(RawCRC32(part), bitwise(part, 0));
    }
  }
}

}  // namespace
}  // namespace qdx
