#include "engine/foundation/memory_stream.h"

#include <algorithm>
#include <cstring>

#include "engine/foundation/memory.h"

namespace qdx {
namespace {

// The largest user size a block of the memory manager can record.
constexpr int64_t kLargestBlock = INT32_MAX - TQDXMemoryManager::kFrameSize;

}  // namespace

TQDXMemoryStream::TQDXMemoryStream(void* block, int32_t initialCapacity) {
  if (block != nullptr) {
    data_ = static_cast<uint8_t*>(block);
    size_ = capacity_ = static_cast<int32_t>(QDXMemoryManager().GetBlockSize(block));
  } else if (initialCapacity > 0) {
    data_ = static_cast<uint8_t*>(QDXMemoryManager().GetMem(initialCapacity));
    capacity_ = initialCapacity;
  }
}

TQDXMemoryStream::~TQDXMemoryStream() {
  try {
    QDXMemoryManager().FreeAndNil(data_);
  } catch (...) {
    // An overrun cannot be raised from a destructor; the block is released.
  }
}

void TQDXMemoryStream::SetSize(int32_t newSize) {
  if (newSize <= 0) {
    QDXMemoryManager().FreeAndNil(data_);
    size_ = capacity_ = 0;
  } else if (data_ == nullptr) {
    data_ = static_cast<uint8_t*>(QDXMemoryManager().GetMem(newSize));
    capacity_ = size_ = newSize;
  } else {
    if (newSize > capacity_) {
      const int64_t capacity = std::min<int64_t>(2 * static_cast<int64_t>(newSize), kLargestBlock);
      void* p = data_;
      QDXMemoryManager().ReallocMem(p, std::max<int64_t>(capacity, newSize));
      data_ = static_cast<uint8_t*>(p);
      capacity_ = static_cast<int32_t>(std::max<int64_t>(capacity, newSize));
    }
    size_ = newSize;
  }
  position_ = std::min(position_, size_);
}

int32_t TQDXMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || position_ < 0 || position_ >= size_) return 0;
  const int32_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t TQDXMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0 || position_ < 0) return 0;
  const int64_t end = static_cast<int64_t>(position_) + count;
  if (end > kLargestBlock) return 0;
  if (end > size_) SetSize(static_cast<int32_t>(end));
  std::memcpy(data_ + position_, buffer, static_cast<size_t>(count));
  position_ = static_cast<int32_t>(end);
  return count;
}

int32_t TQDXMemoryStream::Seek(int32_t offset, uint16_t origin) {
  position_ = SeekTarget32(position_, size_, offset, origin);
  return position_;
}

}  // namespace qdx
