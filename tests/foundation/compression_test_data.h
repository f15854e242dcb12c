// Test data for the compression tests: deterministic "mixed text" of cost records with an
// occasional run of noise, compressible like the BLOB values the engine stores.
#pragma once

#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

namespace qdx::testdata {

inline std::vector<uint8_t> MixedText(size_t size, uint32_t seed = 1) {
  static constexpr std::string_view kWords[] = {
      "Brandstof", "Onderhoud",   "Verzekering", "Wegenbelasting", "Afschrijving", "Shell ",
      "garage ",   "2024-03-01;", "73,45;",      "41,2 l;",        "km 128734;",   "\r\n"};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  out.reserve(size);
  while (out.size() < size) {
    if (rng() % 40 == 0) {
      for (int i = 0; i < 16 && out.size() < size; ++i) out.push_back(static_cast<uint8_t>(rng()));
      continue;
    }
    for (const char c : kWords[rng() % std::size(kWords)]) {
      if (out.size() == size) break;
      out.push_back(static_cast<uint8_t>(c));
    }
  }
  return out;
}

}  // namespace qdx::testdata
