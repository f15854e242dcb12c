// Random numbers for spreading lock retries (processes that wait for the same lock should not try
// again in step) and for generated names, and the text form of fresh GUIDs. Not for anything that
// needs to be unpredictable.
#pragma once

#include <cstdint>
#include <string>

namespace qdx::platform {

// A number in [0, bound); 0 when bound is 0. Safe for concurrent use; a forked child draws a
// sequence of its own, not its parent's.
uint32_t RandomBelow(uint32_t bound);

// The text form of a new random (version 4) GUID: "{XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}",
// upper-case hex, 38 characters. Safe for concurrent use, fork-aware as RandomBelow.
std::string NewGuidText();

}  // namespace qdx::platform
