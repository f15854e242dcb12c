// The PPM model's sub-allocator: the model memory cut into 12-byte units.
//
// Contexts take one unit and symbol tables take one unit per two symbols. Blocks come in 38
// sizes (1, 2, 3, 4, 6, 8, ... 128 units); each size has a free list. New blocks are taken
// from the low end of the memory upward and single-unit contexts from the high end downward;
// when the two meet, free lists (of the same or a larger size, split) serve the request, and
// once, 128 x 128 units held back at the start are released as spare 128-unit blocks. A failed
// allocation is the model's signal to restart, so every choice here (which free block, in
// which order, how a block is split) shapes the coded bytes and follows the original coder.
//
// Units are addressed by 32-bit offsets into the memory (PpmRef), never by stored pointers, so
// the model's layout is the same on every platform. Offset 0 is null: the memory starts with
// one unused unit so that no real unit has offset 0. The memory is not aligned; every access
// goes through memcpy.
#pragma once

#include <cstdint>
#include <cstring>

namespace qdx::ppm {

using PpmRef = uint32_t;

inline constexpr uint32_t kUnitSize = 12;
inline constexpr int kIndexCount = 38;

class PpmSubAllocator {
 public:
  // Bytes to give Attach for `memorySize` bytes of model memory (the null unit in front).
  static constexpr uint64_t BytesFor(uint64_t memorySize) { return memorySize + kUnitSize; }

  PpmSubAllocator();

  // Uses `memory` (BytesFor(memorySize) bytes, borrowed) as the model memory.
  void Attach(uint8_t* memory, uint32_t memorySize);
  // Forgets every block: the whole memory is free again.
  void Reset();

  // Each answers 0 when the memory is exhausted.
  PpmRef AllocContext();
  PpmRef AllocUnits(int unitCount);
  // Grows a block of `oldUnits` units by one unit, moving it when its size class changes.
  PpmRef ExpandUnits(PpmRef block, int oldUnits);
  // Never fails: shrinks in place when no block of the smaller size is free.
  PpmRef ShrinkUnits(PpmRef block, int oldUnits, int newUnits);
  void FreeUnits(PpmRef block, int unitCount);

  uint8_t* At(PpmRef ref) const { return base_ + ref; }

  uint8_t Load8(PpmRef ref) const { return base_[ref]; }
  void Store8(PpmRef ref, uint8_t value) { base_[ref] = value; }
  uint16_t Load16(PpmRef ref) const {
    uint16_t v;
    std::memcpy(&v, base_ + ref, sizeof v);
    return v;
  }
  void Store16(PpmRef ref, uint16_t value) { std::memcpy(base_ + ref, &value, sizeof value); }
  uint32_t Load32(PpmRef ref) const {
    uint32_t v;
    std::memcpy(&v, base_ + ref, sizeof v);
    return v;
  }
  void Store32(PpmRef ref, uint32_t value) { std::memcpy(base_ + ref, &value, sizeof value); }

 private:
  uint32_t IndexBytes(int index) const { return kUnitSize * indexToUnits_[index]; }
  void InsertNode(PpmRef block, int index);
  PpmRef RemoveNode(int index);
  void SplitBlock(PpmRef block, int oldIndex, int newIndex);
  PpmRef AllocUnitsRare(int index);

  uint8_t* base_ = nullptr;
  uint32_t memorySize_ = 0;
  PpmRef loUnit_ = 0;
  PpmRef hiUnit_ = 0;
  PpmRef lastBreath_ = 0;  // the held-back units, 0 once released
  PpmRef freeList_[kIndexCount] = {};
  uint8_t indexToUnits_[kIndexCount];
  uint8_t unitsToIndex_[128];
};

}  // namespace qdx::ppm
