#include "engine/foundation/crc32.h"

#include <gtest/gtest.h>

#include <string_view>

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

}  // namespace
}  // namespace qdx
