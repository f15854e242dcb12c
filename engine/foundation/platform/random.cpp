#include "engine/foundation/platform/random.h"

#include <unistd.h>

#include <random>

namespace qdx::platform {

uint32_t RandomBelow(uint32_t bound) {
  if (bound == 0) return 0;
  // One generator per thread, seeded again after a fork so that parent and child do not
  // retry in step.
  thread_local std::minstd_rand generator;
  thread_local pid_t seededFor = 0;
  const pid_t pid = ::getpid();
  if (seededFor != pid) {
    generator.seed(std::random_device{}() ^ static_cast<uint32_t>(pid));
    seededFor = pid;
  }
  return std::uniform_int_distribution<uint32_t>(0, bound - 1)(generator);
}

}  // namespace qdx::platform
