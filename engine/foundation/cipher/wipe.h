// Wiping of key material: fills that the compiler may not drop as dead stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qdx {

inline void SecureFill(std::span<uint8_t> bytes, uint8_t value) {
  volatile uint8_t* p = bytes.data();
  for (size_t i = 0; i < bytes.size(); ++i) p[i] = value;
}

}  // namespace qdx
