// What the operating system tells about memory.
#pragma once

#include <cstdint>

namespace qdx::platform {

// Physical memory that can be given to the process without swapping, in bytes: MemAvailable of
// /proc/meminfo, or the free and buffer RAM of sysinfo when that file cannot be read.
int64_t AvailablePhysicalMemory();

}  // namespace qdx::platform
