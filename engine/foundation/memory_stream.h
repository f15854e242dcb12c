// TQDXMemoryStream: a growable stream over one block of the engine memory manager.
//
// Growing past the capacity reallocates to twice the size asked for, so repeated appends are
// cheap; shrinking keeps the capacity; size 0 frees the data. Seeking is not clamped: reading
// past the end gives 0 bytes, writing there grows the stream (the gap is undefined).
#pragma once

#include <cstdint>

#include "engine/foundation/stream.h"

namespace qdx {

class TQDXMemoryStream : public TQDXStream {
 public:
  // Wraps `block` (a block of the engine memory manager, owned from now on) when given, else
  // allocates `initialCapacity` bytes when that is not 0.
  explicit TQDXMemoryStream(void* block = nullptr, int32_t initialCapacity = 0);
  ~TQDXMemoryStream() override;
  TQDXMemoryStream(const TQDXMemoryStream&) = delete;
  TQDXMemoryStream& operator=(const TQDXMemoryStream&) = delete;

  void SetSize(int32_t newSize) override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, uint16_t origin) override;
  int32_t Size() override { return size_; }

  uint8_t* Memory() const { return data_; }
  int32_t Capacity() const { return capacity_; }

 private:
  uint8_t* data_ = nullptr;
  int32_t size_ = 0;
  int32_t capacity_ = 0;
  int32_t position_ = 0;
};

}  // namespace qdx
