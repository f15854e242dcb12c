// RawCRC32: CRC-32 with the reflected polynomial 0xEDB88320, the register started at 0 and no
// final complement. Used on compressed block headers, enciphered page data and the password
// check data. "abc" gives 0xCA6598D0.
#pragma once

#include <cstdint>
#include <span>

namespace qdx {

// Continues a CRC over `data`; start with crc = 0.
uint32_t RawCRC32(std::span<const uint8_t> data, uint32_t crc = 0);

}  // namespace qdx
