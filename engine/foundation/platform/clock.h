// Sleeping and the millisecond tick count used by lock retries and timeouts.
#pragma once

#include <cstdint>

namespace qdx::platform {

// Suspends the calling thread for at least `milliseconds`.
void Sleep(uint32_t milliseconds);

// Milliseconds since an arbitrary fixed point, from a steady clock; wraps like a 32-bit counter.
uint32_t GetTickCount();

}  // namespace qdx::platform
