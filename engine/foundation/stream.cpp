#include "engine/foundation/stream.h"

#include <algorithm>
#include <limits>

#include "engine/foundation/except.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/messages.h"

namespace qdx {
namespace {

void CheckBlockSize(int32_t blockSize, const msg::Message& failure) {
  if (blockSize == 0) Raise(failure);
}

// Moves `count` bytes from `source` to `target` through `block`, raising the given failures for
// a short read or write; `onBlock` is called after each block with the bytes moved so far.
template <typename OnBlock>
void CopyBlocks(TStream& source, TStream& target, int32_t count, TQDXMemBlock& block,
                const msg::Message& readFailure, const msg::Message& writeFailure,
                OnBlock onBlock) {
  const int32_t blockSize = static_cast<int32_t>(block.size());
  int32_t done = 0;
  while (done < count) {
    const int32_t chunk = std::min(blockSize, count - done);
    CheckedRead(block.data(), chunk, source, readFailure);
    CheckedWrite(block.data(), chunk, target, writeFailure);
    done += chunk;
    onBlock(done);
  }
}

double Percent(int64_t part, int64_t whole) {
  return whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 100.0;
}

}  // namespace

int64_t SeekTarget(int64_t position, int64_t size, int32_t offset, uint16_t origin) {
  switch (origin) {
    case soFromBeginning:
      return offset;
    case soFromCurrent:
      return position + offset;
    case soFromEnd:
      return size + offset;
    default:
      return position;
  }
}

int32_t SeekTarget32(int32_t position, int32_t size, int32_t offset, uint16_t origin) {
  const int64_t target = SeekTarget(position, size, offset, origin);
  return static_cast<int32_t>(std::clamp<int64_t>(target, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int32_t TStream::Size() {
  const int32_t position = Seek(0, soFromCurrent);
  const int32_t size = Seek(0, soFromEnd);
  Seek(position, soFromBeginning);
  return size;
}

void TQDXStream::SaveToStream(TStream& target) {
  CheckBlockSize(BlockSize(), msg::kSaveStreamBlockSizeZero);
  const int32_t ownPosition = Position();
  const int32_t targetPosition = target.Position();
  const int32_t size = Size();
  SetPosition(0);
  FireProgress(0);
  {
    TQDXMemBlock block(BlockSize());
    CopyBlocks(*this, target, size, block, msg::kSaveStreamRead, msg::kSaveStreamWrite,
               [&](int32_t done) { FireProgress(Percent(done, size)); });
  }
  SetPosition(ownPosition);
  target.SetPosition(targetPosition);
  FireProgress(100);
}

void TQDXStream::LoadFromStream(TStream& source) {
  CopyFrom(source, source.Size(), 0);
}

void TQDXStream::CopyFrom(TStream& source, int32_t count, int32_t sourceStart) {
  CheckBlockSize(BlockSize(), msg::kCopyStreamBlockSizeZero);
  const int32_t ownPosition = Position();
  const int32_t sourcePosition = source.Position();
  source.SetPosition(sourceStart);
  SetSize(0);
  FireProgress(0);
  if (count > 0) {
    const int32_t sourceSize = source.Size();
    TQDXMemBlock block(BlockSize());
    CopyBlocks(source, *this, count, block, msg::kCopyStreamRead, msg::kCopyStreamWrite,
               [&](int32_t) { FireProgress(Percent(source.Position(), sourceSize)); });
  }
  SetPosition(ownPosition);
  source.SetPosition(sourcePosition);
  FireProgress(100);
}

void CheckedWrite(const void* buffer, int32_t count, TStream& stream, const msg::Message& failure) {
  const int32_t position = stream.Position();
  const int32_t written = stream.Write(buffer, count);
  if (written < count) Raise(failure, {position, stream.Size(), count, written});
}

void CheckedRead(void* buffer, int32_t count, TStream& stream, const msg::Message& failure) {
  const int32_t position = stream.Position();
  const int32_t read = stream.Read(buffer, count);
  if (read < count) Raise(failure, {position, stream.Size(), count, read});
}

void CheckedSeek(TStream& stream, const msg::Message& failure, int32_t position) {
  const int32_t before = stream.Position();
  if (stream.Seek(position, soFromBeginning) != position)
    Raise(failure, {position, before, stream.Size()});
}

}  // namespace qdx
