// What the operating system tells about memory.
#pragma once

#include <cstdint>

namespace qdx::platform {

// Physical memory that can be given to the process without swapping, in bytes: MemAvailable of
// /proc/meminfo, or the free and buffer RAM of sysinfo when that file cannot be read.
int64_t AvailablePhysicalMemory();

// Committed read-write pages straight from the operating system (anonymous mappings); null
// when none can be had. Release with the size that was asked for.
void* AllocateVirtualMemory(int64_t size);
void ReleaseVirtualMemory(void* block, int64_t size);

}  // namespace qdx::platform
