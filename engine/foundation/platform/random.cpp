#include "engine/foundation/platform/random.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <random>

namespace qdx::platform {

namespace {

// A per-thread generator, seeded again after a fork so that parent and child part ways.
template <typename Generator>
Generator& SeededForThisProcess() {
  thread_local Generator generator;
  thread_local pid_t seededFor = 0;
  const pid_t pid = ::getpid();
  if (seededFor != pid) {
    std::random_device device;
    std::seed_seq seed{device(), device(), static_cast<uint32_t>(pid)};
    generator.seed(seed);
    seededFor = pid;
  }
  return generator;
}

}  // namespace

uint32_t RandomBelow(uint32_t bound) {
  if (bound == 0) return 0;
  return std::uniform_int_distribution<uint32_t>(0, bound - 1)(
      SeededForThisProcess<std::minstd_rand>());
}

std::string NewGuidText() {
  std::mt19937_64& generator = SeededForThisProcess<std::mt19937_64>();
  std::array<uint8_t, 16> bytes;
  const uint64_t high = generator();
  const uint64_t low = generator();
  for (int i = 0; i < 8; ++i) {
    bytes[i] = static_cast<uint8_t>(high >> (8 * i));
    bytes[8 + i] = static_cast<uint8_t>(low >> (8 * i));
  }
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  char text[39];
  std::snprintf(text, sizeof text,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7],
                bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14],
                bytes[15]);
  return text;
}

}  // namespace qdx::platform
