// Random numbers for spreading lock retries: processes that wait for the same lock should not
// try again in step. Not for anything that needs to be unpredictable.
#pragma once

#include <cstdint>

namespace qdx::platform {

// A number in [0, bound); 0 when bound is 0. Safe for concurrent use; a forked child draws a
// sequence of its own, not its parent's.
uint32_t RandomBelow(uint32_t bound);

}  // namespace qdx::platform
