#include "engine/foundation/platform/system_memory.h"

#include <sys/sysinfo.h>

#include <cstdio>
#include <cstring>

namespace qdx::platform {
namespace {

int64_t MemAvailableFromProc() {
  std::FILE* file = std::fopen("/proc/meminfo", "r");
  if (file == nullptr) return -1;
  char line[256];
  int64_t result = -1;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    long long kib = 0;
    if (std::sscanf(line, "MemAvailable: %lld kB", &kib) == 1) {
      result = static_cast<int64_t>(kib) * 1024;
      break;
    }
  }
  std::fclose(file);
  return result;
}

}  // namespace

int64_t AvailablePhysicalMemory() {
  if (const int64_t available = MemAvailableFromProc(); available >= 0) return available;
  struct sysinfo info {};
  if (sysinfo(&info) != 0) return 0;
  return (static_cast<int64_t>(info.freeram) + static_cast<int64_t>(info.bufferram)) *
         static_cast<int64_t>(info.mem_unit);
}

}  // namespace qdx::platform
