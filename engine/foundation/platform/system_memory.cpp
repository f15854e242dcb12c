#include "engine/foundation/platform/system_memory.h"

#include <sys/mman.h>
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

void* AllocateVirtualMemory(int64_t size) {
  void* block = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void ReleaseVirtualMemory(void* block, int64_t size) {
  ::munmap(block, static_cast<size_t>(size));
}

}  // namespace qdx::platform
