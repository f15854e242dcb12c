#include "engine/foundation/compression/ppm_coder.h"

#include <algorithm>
#include <exception>

#include "engine/foundation/compression/ppm/ppm_model.h"
#include "engine/foundation/compression/ppm/ppm_range_coder.h"
#include "engine/foundation/compression/ppm/ppm_sub_allocator.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/platform/critical_section.h"

namespace qdx {
namespace {

// Stream header (4 bytes, little-endian uint32):
//
//   bits    content
//   0..3    model order - 1
//   4..11   model memory in MB - 1
//   12..31  6 (the variant)
constexpr uint32_t kHeaderSize = 4;
constexpr uint32_t kHeaderVariant = 6;

struct PpmModeSettings {
  int order;
  int memoryMB;
};
// Compression modes 1..9.
constexpr PpmModeSettings kModes[9] = {{2, 2},  {3, 3},   {4, 7},    {5, 16},  {7, 22},
                                       {8, 25}, {10, 40}, {13, 100}, {16, 100}};

// Decoding starts with at most this much output reserved; a damaged expected size must not
// reserve gigabytes by itself.
constexpr size_t kMaxInitialReserve = size_t{16} << 20;

// The largest model memory any mode codes with. The header can ask for up to 256 MB, which only
// a damaged stream does; it is refused before the model memory is allocated.
constexpr int kMaxModelMemoryMB = 100;

// The model memory, kept between calls and reallocated only for another size. Coding runs
// under the lock, one call at a time, because all calls share this memory.
class PpmSharedModel {
 public:
  platform::CriticalSection& Lock() { return lock_; }

  // Requires: the lock is held.
  ppm::PpmSubAllocator& Prepare(int memoryMB) {
    if (memoryMB != memoryMB_) {
      memoryMB_ = 0;  // first, so that a failure below leaves no stale size behind
      memory_.Release();
      const uint32_t size = static_cast<uint32_t>(memoryMB) << 20;
      memory_ = TQDXMemBlock(static_cast<int64_t>(ppm::PpmSubAllocator::BytesFor(size)));
      allocator_.Attach(memory_.data(), size);
      memoryMB_ = memoryMB;
    }
    return allocator_;
  }

 private:
  platform::CriticalSection lock_;
  TQDXMemBlock memory_;
  int memoryMB_ = 0;
  ppm::PpmSubAllocator allocator_;
};

PpmSharedModel& SharedModel() {
  static PpmSharedModel model;
  return model;
}

uint32_t MakeHeader(const PpmModeSettings& settings) {
  return (kHeaderVariant << 12) + (static_cast<uint32_t>(settings.memoryMB - 1) << 4) +
         static_cast<uint32_t>(settings.order - 1);
}

}  // namespace

bool PpmCompressBuffer(std::span<const uint8_t> input, int mode, std::vector<uint8_t>& output) {
  if (mode < 1 || mode > 9) return false;
  const PpmModeSettings& settings = kModes[mode - 1];
  try {
    const size_t n = input.size();
    output.assign(n + n / 20 + 50, 0);
    le::Store<uint32_t>(output.data(), MakeHeader(settings));
    ppm::PpmRangeEncoder coder(std::span<uint8_t>(output).subspan(kHeaderSize));
    {
      PpmSharedModel& shared = SharedModel();
      platform::CriticalSectionGuard guard(shared.Lock());
      ppm::PpmModel model(shared.Prepare(settings.memoryMB));
      model.Encode(input, settings.order, coder);
    }
    if (coder.overflowed()) return false;
    output.resize(kHeaderSize + coder.size());
    return true;
  } catch (...) {
    return false;
  }
}

bool PpmDecompressBuffer(std::span<const uint8_t> input, int64_t expectedSize,
                         std::vector<uint8_t>& output) {
  output.clear();
  if (input.size() < kHeaderSize || expectedSize < 0) return false;
  const uint32_t header = le::Load<uint32_t>(input.data());
  if ((header >> 12) != kHeaderVariant) return false;
  const int order = static_cast<int>(header & 0x0F) + 1;
  const int memoryMB = static_cast<int>((header >> 4) & 0xFF) + 1;
  if (order < ppm::kMinOrder || memoryMB > kMaxModelMemoryMB) return false;
  try {
    const size_t limit = static_cast<size_t>(expectedSize);
    output.reserve(std::min(limit, kMaxInitialReserve));
    ppm::PpmRangeDecoder coder(input.subspan(kHeaderSize));
    PpmSharedModel& shared = SharedModel();
    platform::CriticalSectionGuard guard(shared.Lock());
    ppm::PpmModel model(shared.Prepare(memoryMB));
    if (model.Decode(coder, order, limit, output)) return true;
  } catch (...) {
  }
  output.clear();
  return false;
}

}  // namespace qdx
