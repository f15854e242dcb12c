#include "engine/foundation/crc32.h"

#include <array>

namespace qdx {
namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t RawCRC32(std::span<const uint8_t> data, uint32_t crc) {
  for (const uint8_t byte : data) crc = kTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc;
}

}  // namespace qdx
