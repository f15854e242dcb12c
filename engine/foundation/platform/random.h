// Randomness from the operating system: numbers for generated names and the text form of fresh
// GUIDs ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex, version 4).
//
// The generator is seeded once per thread from the system's entropy source; the values are not
// meant to be secret, only unlikely to repeat. Safe for concurrent use.
#pragma once

#include <cstdint>
#include <string>

namespace qdx::platform {

// A number from 0 to bound - 1. Requires: bound > 0.
uint32_t RandomNumber(uint32_t bound);

// The text form of a new random GUID, 38 characters with the braces.
std::string NewGuidText();

}  // namespace qdx::platform
