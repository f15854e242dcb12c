#include "engine/foundation/platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace qdx::platform {

void Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint32_t GetTickCount() {
  const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

LocalTime CurrentLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  LocalTime result;
  result.Year = local.tm_year + 1900;
  result.Month = static_cast<uint32_t>(local.tm_mon + 1);
  result.Day = static_cast<uint32_t>(local.tm_mday);
  // A leap second (tm_sec 60) stays within the day.
  const int32_t second = local.tm_sec > 59 ? 59 : local.tm_sec;
  result.Milliseconds = ((local.tm_hour * 60 + local.tm_min) * 60 + second) * 1000 +
                        static_cast<int32_t>(now.tv_nsec / 1'000'000);
  return result;
}

}  // namespace qdx::platform
