// The stream contract and the engine stream base.
//
// TStream is the framework's stream: set size, read, write and seek are virtual; position and
// size derive from seek. Positions and sizes are 32-bit. TQDXStream adds a block size, a
// progress event and block-wise copies through one buffer of the block size. The checked
// routines raise the caller's catalogue entry when a transfer falls short.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/foundation/constants.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/critical_section.h"

namespace qdx {

// Origins of Seek.
enum : uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;

  virtual void SetSize(int32_t newSize) = 0;
  // Answer the number of bytes moved; never more than `count`.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Answers the new position.
  virtual int32_t Seek(int32_t offset, uint16_t origin) = 0;

  // The size as seek reports it; subclasses that know it answer directly.
  virtual int32_t Size();
  int32_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int32_t position) { Seek(position, soFromBeginning); }
};

// Where a seek by `offset` from `origin` lands, given the current position and the size; an
// unknown origin stays put. Worked out in 64 bits, so that no offset overflows; the 32-bit form
// keeps the answer within the range of a 32-bit position.
int64_t SeekTarget(int64_t position, int64_t size, int32_t offset, uint16_t origin);
int32_t SeekTarget32(int32_t position, int32_t size, int32_t offset, uint16_t origin);

class TQDXStream : public TStream {
 public:
  // Called with the stream and a percentage: 0 before a copy, after each block, 100 at the end.
  using ProgressEvent = std::function<void(TQDXStream& sender, double percent)>;

  // Hold the stream for a caller's sequence of calls; each Lock needs one Unlock.
  virtual void Lock() QDX_ACQUIRE(lock_) { lock_.Enter(); }
  virtual void Unlock() QDX_RELEASE(lock_) { lock_.Leave(); }

  // Copies this whole stream to the target's current position; both positions are restored.
  // Fails with 10418 for block size 0, 10146 / 10147 for a short read / write.
  void SaveToStream(TStream& target);
  // CopyFrom of the whole source from position 0.
  void LoadFromStream(TStream& source);
  // Empties this stream and copies `count` bytes of the source from `sourceStart` into it;
  // both positions are restored. Fails with 10419, 10148 / 10149.
  void CopyFrom(TStream& source, int32_t count, int32_t sourceStart);

  int32_t BlockSize() const { return blockSize_; }
  void SetBlockSize(int32_t blockSize) { blockSize_ = blockSize; }
  void SetOnProgress(ProgressEvent event) { onProgress_ = std::move(event); }

 protected:
  void FireProgress(double percent) {
    if (onProgress_) onProgress_(*this, percent);
  }

 private:
  platform::CriticalSection lock_;
  int32_t blockSize_ = kDefaultStreamBlockSize;
  ProgressEvent onProgress_;
};

// Writes `count` bytes; raises `failure` (a "Cannot write to stream. ..." entry) when fewer are
// taken.
void CheckedWrite(const void* buffer, int32_t count, TStream& stream, const msg::Message& failure);
// Reads `count` bytes; raises `failure` (a "Cannot read from stream. ..." entry) when fewer
// arrive.
void CheckedRead(void* buffer, int32_t count, TStream& stream, const msg::Message& failure);
// Sets the position; raises `failure` (a "Cannot set stream position ..." entry) when the stream
// then reports another position.
void CheckedSeek(TStream& stream, const msg::Message& failure, int32_t position);

// Typed helpers over the checked routines, little-endian.
template <typename T>
void CheckedWriteValue(TStream& stream, T value, const msg::Message& failure);
template <typename T>
T CheckedReadValue(TStream& stream, const msg::Message& failure);

}  // namespace qdx

#include "engine/foundation/little_endian.h"

namespace qdx {

template <typename T>
void CheckedWriteValue(TStream& stream, T value, const msg::Message& failure) {
  uint8_t bytes[sizeof(T)];
  le::Store<T>(bytes, value);
  CheckedWrite(bytes, sizeof(T), stream, failure);
}

template <typename T>
T CheckedReadValue(TStream& stream, const msg::Message& failure) {
  uint8_t bytes[sizeof(T)];
  CheckedRead(bytes, sizeof(T), stream, failure);
  return le::Load<T>(bytes);
}

}  // namespace qdx
