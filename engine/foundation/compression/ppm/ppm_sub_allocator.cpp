#include "engine/foundation/compression/ppm/ppm_sub_allocator.h"

namespace qdx::ppm {
namespace {

// Units held back at the start of the memory until the first time the memory runs out.
constexpr uint32_t kReserveBlocks = 128;
constexpr uint32_t kReserveBlockUnits = 128;

}  // namespace

PpmSubAllocator::PpmSubAllocator() {
  // Size classes: four steps each of 1, 2 and 3 units, then steps of 4 up to 128 units.
  int index = 0;
  int units = 1;
  for (; index < 4; ++index, units += 1) indexToUnits_[index] = static_cast<uint8_t>(units);
  for (++units; index < 8; ++index, units += 2) indexToUnits_[index] = static_cast<uint8_t>(units);
  for (++units; index < 12; ++index, units += 3) indexToUnits_[index] = static_cast<uint8_t>(units);
  for (++units; index < kIndexCount; ++index, units += 4)
    indexToUnits_[index] = static_cast<uint8_t>(units);
  index = 0;
  for (int k = 0; k < 128; ++k) {
    if (indexToUnits_[index] < k + 1) ++index;
    unitsToIndex_[k] = static_cast<uint8_t>(index);
  }
}

void PpmSubAllocator::Attach(uint8_t* memory, uint32_t memorySize) {
  base_ = memory;
  memorySize_ = memorySize;
  std::memset(base_, 0, kUnitSize);  // the null unit reads as an empty context
}

void PpmSubAllocator::Reset() {
  for (PpmRef& head : freeList_) head = 0;
  const PpmRef start = kUnitSize;
  hiUnit_ = start + kUnitSize * (memorySize_ / kUnitSize);
  lastBreath_ = start;
  loUnit_ = start + kReserveBlocks * kReserveBlockUnits * kUnitSize;
}

void PpmSubAllocator::InsertNode(PpmRef block, int index) {
  Store32(block, freeList_[index]);
  freeList_[index] = block;
}

PpmRef PpmSubAllocator::RemoveNode(int index) {
  const PpmRef block = freeList_[index];
  freeList_[index] = Load32(block);
  return block;
}

void PpmSubAllocator::SplitBlock(PpmRef block, int oldIndex, int newIndex) {
  int unitDiff = indexToUnits_[oldIndex] - indexToUnits_[newIndex];
  PpmRef rest = block + IndexBytes(newIndex);
  int index = unitsToIndex_[unitDiff - 1];
  if (indexToUnits_[index] != unitDiff) {
    // No class fits the rest exactly: free the largest class below it, then the remainder.
    --index;
    InsertNode(rest, index);
    rest += IndexBytes(index);
    unitDiff -= indexToUnits_[index];
  }
  InsertNode(rest, unitsToIndex_[unitDiff - 1]);
}

PpmRef PpmSubAllocator::AllocUnits(int unitCount) {
  return AllocUnitsRare(unitsToIndex_[unitCount - 1]);
}

PpmRef PpmSubAllocator::AllocUnitsRare(int index) {
  if (freeList_[index] != 0) return RemoveNode(index);
  const uint32_t bytes = IndexBytes(index);
  if (hiUnit_ - loUnit_ >= bytes) {
    const PpmRef block = loUnit_;
    loUnit_ += bytes;
    return block;
  }
  if (lastBreath_ != 0) {
    for (uint32_t i = 0; i < kReserveBlocks; ++i) {
      InsertNode(lastBreath_, kIndexCount - 1);
      lastBreath_ += kReserveBlockUnits * kUnitSize;
    }
    lastBreath_ = 0;
  }
  int larger = index;
  do {
    if (++larger == kIndexCount) return 0;
  } while (freeList_[larger] == 0);
  const PpmRef block = RemoveNode(larger);
  SplitBlock(block, larger, index);
  return block;
}

PpmRef PpmSubAllocator::AllocContext() {
  if (hiUnit_ != loUnit_) return hiUnit_ -= kUnitSize;
  return AllocUnitsRare(0);
}

PpmRef PpmSubAllocator::ExpandUnits(PpmRef block, int oldUnits) {
  const int oldIndex = unitsToIndex_[oldUnits - 1];
  if (oldIndex == unitsToIndex_[oldUnits]) return block;
  const PpmRef moved = AllocUnits(oldUnits + 1);
  if (moved != 0) {
    std::memcpy(At(moved), At(block), IndexBytes(oldIndex));
    InsertNode(block, oldIndex);
  }
  return moved;
}

PpmRef PpmSubAllocator::ShrinkUnits(PpmRef block, int oldUnits, int newUnits) {
  const int oldIndex = unitsToIndex_[oldUnits - 1];
  const int newIndex = unitsToIndex_[newUnits - 1];
  if (oldIndex == newIndex) return block;
  if (freeList_[newIndex] != 0) {
    const PpmRef moved = RemoveNode(newIndex);
    std::memcpy(At(moved), At(block), IndexBytes(newIndex));
    InsertNode(block, oldIndex);
    return moved;
  }
  SplitBlock(block, oldIndex, newIndex);
  return block;
}

void PpmSubAllocator::FreeUnits(PpmRef block, int unitCount) {
  InsertNode(block, unitsToIndex_[unitCount - 1]);
}

}  // namespace qdx::ppm
