// Sleeping, the millisecond tick count used by lock retries and timeouts, and the local date and
// time that expressions such as CURRENT_DATE read.
#pragma once

#include <cstdint>

namespace qdx::platform {

// Suspends the calling thread for at least `milliseconds`.
void Sleep(uint32_t milliseconds);

// Milliseconds since an arbitrary fixed point, from a steady clock; wraps like a 32-bit counter.
uint32_t GetTickCount();

// The calendar date and time of day now, in the local time zone.
struct LocalTime {
  int32_t Year = 1;
  uint32_t Month = 1;
  uint32_t Day = 1;
  int32_t Milliseconds = 0;  // since midnight
};
LocalTime CurrentLocalTime();

}  // namespace qdx::platform
