// Inputs shared by the PPM coder tests: text-like, record-like and incompressible bytes, all
// reproducible from a seed.
#pragma once

#include <cstdint>
#include <iterator>
#include <random>
#include <string_view>
#include <vector>

#include "engine/foundation/little_endian.h"

namespace qdx::ppm_test {

inline std::vector<uint8_t> Text(size_t size, uint32_t seed = 7) {
  static constexpr std::string_view kWords[] = {
      "the ", "car ", "fuel ",       "costs ", "litre ",      "service ", "tyre ",  "insurance ",
      "of ",  "and ", "2024-05-17 ", "\n",     "oil change ", "brake ",   "45.90 ", "EUR "};
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes;
  while (bytes.size() < size) {
    const std::string_view word = kWords[random() % std::size(kWords)];
    bytes.insert(bytes.end(), word.begin(), word.end());
  }
  bytes.resize(size);
  return bytes;
}

// Little-endian records: a counter, a slowly changing amount and a flag byte.
inline std::vector<uint8_t> Records(size_t size) {
  std::vector<uint8_t> bytes;
  for (uint32_t i = 0; bytes.size() < size; ++i) {
    uint8_t record[9];
    le::Store<uint32_t>(record, i);
    le::Store<uint32_t>(record + 4, 100000 + (i * 37) % 5000);
    record[8] = static_cast<uint8_t>(i % 3);
    bytes.insert(bytes.end(), record, record + sizeof record);
  }
  bytes.resize(size);
  return bytes;
}

inline std::vector<uint8_t> Noise(size_t size, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

}  // namespace qdx::ppm_test
