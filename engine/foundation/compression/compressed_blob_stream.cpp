#include "engine/foundation/compression/compressed_blob_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/foundation/crc32.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {
namespace {

constexpr int64_t kHeaderSize = TQDXCompressedBlockHeader::kSize;
constexpr int64_t kMaxStreamPosition = std::numeric_limits<int32_t>::max();

std::span<const uint8_t> Bytes(const void* buffer, int64_t count) {
  return {static_cast<const uint8_t*>(buffer), static_cast<size_t>(count)};
}

}  // namespace

TQDXCompressedStreamDescriptor TQDXCompressedStreamDescriptor::Load(
    std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  TQDXCompressedStreamDescriptor descriptor;
  descriptor.BlockSize = reader.Read<int32_t>();
  descriptor.BlockCount = reader.Read<int64_t>();
  descriptor.UncompressedSize = reader.Read<int64_t>();
  descriptor.StartPosition = reader.Read<int64_t>();
  descriptor.Algorithm = reader.Read<uint8_t>();
  descriptor.Mode = reader.Read<uint8_t>();
  reader.Skip(2);
  return descriptor;
}

void TQDXCompressedStreamDescriptor::Store(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.Write<int32_t>(BlockSize);
  writer.Write<int64_t>(BlockCount);
  writer.Write<int64_t>(UncompressedSize);
  writer.Write<int64_t>(StartPosition);
  writer.Write<uint8_t>(Algorithm);
  writer.Write<uint8_t>(Mode);
  writer.Zeros(2);
}

TQDXCompressedBLOBStream::TQDXCompressedBLOBStream(TStream& underlying, bool lenient, bool isNew,
                                                   const TQDXCompressedStreamDescriptor& descriptor)
    : underlying_(underlying),
      lenient_(lenient),
      descriptor_(descriptor),
      algorithm_(descriptor.Algorithm),
      mode_(descriptor.Mode),
      blockSize_(descriptor.BlockSize) {
  const int64_t start = descriptor_.StartPosition;
  SeekUnderlying(start, msg::kSeekBlobDataStart);
  if (IsCompressed()) {
    if (isNew) {
      if (blockSize_ == 0) blockSize_ = qdx::CompressionBlockSize(mode_);
      descriptor_.BlockCount = 0;
    }
    // A stored block size that is not positive cannot place any byte; the mode's is the only
    // sound guess and keeps a damaged descriptor from dividing by zero.
    if (blockSize_ <= 0) blockSize_ = qdx::CompressionBlockSize(mode_);
    LoadBlockHeaders();
  } else {
    uncompressedSize_ = isNew ? 0 : descriptor_.UncompressedSize;
    const int64_t underlyingSize = underlying_.Size();
    if (!lenient_ && (uncompressedSize_ < 0 || underlyingSize < start + uncompressedSize_)) {
      Raise(msg::kPlainBlobBeyondStream, {underlyingSize, start + uncompressedSize_});
    }
    uncompressedSize_ = std::max<int64_t>(uncompressedSize_, 0);
  }
  UpdateTotals();
}

void TQDXCompressedBLOBStream::LoadBlockHeaders() {
  const int64_t start = descriptor_.StartPosition;
  SeekUnderlying(start, msg::kSeekBlobBlockHeaders);
  const int64_t underlyingSize = underlying_.Size();
  // Every block takes at least a header, which bounds what a damaged count can ask for.
  headers_.Reserve(std::clamp<int64_t>((underlyingSize - start) / kHeaderSize + 1, 0,
                                       std::max<int64_t>(descriptor_.BlockCount, 0)));
  int64_t position = start;
  for (int64_t i = 0; i < descriptor_.BlockCount; ++i) {
    uint8_t bytes[kHeaderSize];
    if (underlyingSize - position < kHeaderSize ||
        underlying_.Read(bytes, kHeaderSize) != kHeaderSize) {
      if (lenient_) break;
      Raise(msg::kBlobBlockHeaderBeyondStream, {underlyingSize, position + kHeaderSize});
    }
    const auto header = TQDXCompressedBlockHeader::Load(bytes);
    headers_.Add(header, position);
    // A distance shorter than a header would not move on; one past the 32-bit range cannot be
    // reached (and is kept from overflowing the sum).
    const int64_t distance = header.NextHeaderOffset;
    const int64_t next = distance <= kMaxStreamPosition ? position + distance : distance;
    if (distance < kHeaderSize) {
      Raise(msg::kSeekNextBlobBlockHeader, {next, position, underlyingSize});
    }
    position = next;
    SeekUnderlying(position, msg::kSeekNextBlobBlockHeader);
  }
}

void TQDXCompressedBLOBStream::SeekUnderlying(int64_t position, const msg::Message& failure) {
  if (position < 0 || position > kMaxStreamPosition) {
    Raise(failure, {position, underlying_.Position(), underlying_.Size()});
  }
  CheckedSeek(underlying_, failure, static_cast<int32_t>(position));
}

int64_t TQDXCompressedBLOBStream::EndOfBlocks() const {
  if (headers_.Count() == 0) return descriptor_.StartPosition;
  const auto& last = headers_[headers_.Count() - 1];
  return last.Position + last.Header.NextHeaderOffset;
}

void TQDXCompressedBLOBStream::UpdateTotals() {
  if (IsCompressed()) {
    uncompressedSize_ = 0;
    compressedSize_ = 0;
    for (int64_t i = 0; i < headers_.Count(); ++i) {
      uncompressedSize_ += headers_[i].Header.UncompressedSize;
      compressedSize_ += headers_[i].Header.CompressedSize;
    }
  } else {
    compressedSize_ = uncompressedSize_;
  }
  SyncDescriptor();
}

void TQDXCompressedBLOBStream::SyncDescriptor() {
  if (IsCompressed()) {
    descriptor_.BlockCount = headers_.Count();
    descriptor_.BlockSize = blockSize_;
  }
  descriptor_.UncompressedSize = uncompressedSize_;
  compressionRatio_ =
      IsCompressed() && uncompressedSize_ > 0
          ? (1.0 - static_cast<double>(compressedSize_) / static_cast<double>(uncompressedSize_)) *
                100.0
          : 0.0;
}

std::span<const uint8_t> TQDXCompressedBLOBStream::ReadCompressed(int64_t index) {
  const TQDXCompressedBlockEntry& entry = headers_[index];
  const TQDXCompressedBlockHeader& header = entry.Header;
  if (header.CompressedSize <= 0 || header.UncompressedSize <= 0) {
    Raise(msg::kDecompressBufferFailed,
          {algorithm_, header.CompressedSize, header.UncompressedSize});
  }
  // The size comes from the file: bytes the underlying stream does not hold are a short read,
  // found before a buffer of that size is asked for.
  const int64_t dataStart = entry.Position + kHeaderSize;
  const int64_t available = std::max<int64_t>(underlying_.Size() - dataStart, 0);
  if (header.CompressedSize > available) {
    Raise(msg::kReadBlobBlockData,
          {dataStart, underlying_.Size(), header.CompressedSize, available});
  }
  if (compressedScratch_.size() < header.CompressedSize) {
    compressedScratch_ = TQDXMemBlock();
    compressedScratch_ = TQDXMemBlock(header.CompressedSize);
  }
  SeekUnderlying(dataStart, msg::kSeekBlobBlockData);
  CheckedRead(compressedScratch_.data(), header.CompressedSize, underlying_,
              msg::kReadBlobBlockData);
  return Bytes(compressedScratch_.data(), header.CompressedSize);
}

void TQDXCompressedBLOBStream::CheckBlock(const TQDXCompressedBlockHeader& header,
                                          std::span<const uint8_t> data) {
  const uint32_t crc = RawCRC32(data);
  if (crc != header.Crc32) {
    Raise(msg::kDecompressBufferChecksum,
          {static_cast<int32_t>(crc), static_cast<int32_t>(header.Crc32)});
  }
}

std::span<const uint8_t> TQDXCompressedBLOBStream::ReadBlock(int64_t index) {
  if (index == currentBlock_) return Bytes(blockData_.data(), blockDataSize_);
  const TQDXCompressedBlockHeader& header = headers_[index].Header;
  const std::span<const uint8_t> compressed = ReadCompressed(index);
  currentBlock_ = -1;
  blockData_ = TQDXMemBlock();
  int64_t size = header.UncompressedSize;
  TQDXMemBlock output;
  if (!DecompressBuffer(algorithm_, compressed, size, output)) {
    Raise(msg::kDecompressBufferFailed,
          {algorithm_, header.CompressedSize, header.UncompressedSize});
  }
  if (size != header.UncompressedSize) {
    Raise(msg::kDecompressBufferSizeMismatch, {size, header.UncompressedSize});
  }
  CheckBlock(header, Bytes(output.data(), size));
  blockData_ = std::move(output);
  blockDataSize_ = size;
  currentBlock_ = index;
  return Bytes(blockData_.data(), blockDataSize_);
}

void TQDXCompressedBLOBStream::ReadBlockInto(int64_t index, std::span<uint8_t> out) {
  if (index != currentBlock_) {
    const TQDXCompressedBlockHeader& header = headers_[index].Header;
    int64_t size = 0;
    if (DecompressBufferInto(algorithm_, ReadCompressed(index), out, size) &&
        size == header.UncompressedSize) {
      CheckBlock(header, out);
      return;
    }
  }
  // Cached, or a block that does not decode to its size: the checked path names the failure.
  const std::span<const uint8_t> block = ReadBlock(index);
  std::memcpy(out.data(), block.data(), std::min(block.size(), out.size()));
}

void TQDXCompressedBLOBStream::WriteBlock(int64_t index, std::span<const uint8_t> data) {
  if (index == currentBlock_) currentBlock_ = -1;
  TQDXCompressedBlockEntry& entry = headers_[index];
  TQDXCompressedBlockHeader header;
  header.UncompressedSize = static_cast<int32_t>(data.size());
  header.Crc32 = RawCRC32(data);
  TQDXMemBlock compressed;
  if (!CompressBuffer(algorithm_, mode_, data, header, compressed)) {
    Raise(msg::kCompressBufferFailed, {algorithm_, mode_, data.size(), header.CompressedSize});
  }
  header.NextHeaderOffset = header.CompressedSize + kHeaderSize;
  SeekUnderlying(entry.Position, msg::kSeekRewrittenBlobBlock);
  uint8_t bytes[kHeaderSize];
  header.Store(bytes);
  CheckedWrite(bytes, kHeaderSize, underlying_, msg::kWriteBlobBlockHeader);
  CheckedWrite(compressed.data(), header.CompressedSize, underlying_, msg::kWriteBlobBlockData);

  uncompressedSize_ += header.UncompressedSize - entry.Header.UncompressedSize;
  compressedSize_ += header.CompressedSize - entry.Header.CompressedSize;
  entry.Header = header;
}

void TQDXCompressedBLOBStream::Append(std::span<const uint8_t> data) {
  size_t done = 0;
  const int64_t count = headers_.Count();
  if (count > 0) {
    const int32_t last = headers_[count - 1].Header.UncompressedSize;
    if (last < blockSize_) {
      const size_t fill = std::min(data.size(), static_cast<size_t>(blockSize_ - last));
      const std::span<const uint8_t> old = ReadBlock(count - 1);
      TQDXMemBlock merged(static_cast<int64_t>(old.size() + fill));
      std::memcpy(merged.data(), old.data(), old.size());
      std::memcpy(merged.data() + old.size(), data.data(), fill);
      WriteBlock(count - 1, merged.span());
      done = fill;
    }
  }
  while (done < data.size()) {
    const size_t length = std::min(data.size() - done, static_cast<size_t>(blockSize_));
    headers_.Add({}, EndOfBlocks());
    try {
      WriteBlock(headers_.Count() - 1, data.subspan(done, length));
    } catch (...) {
      headers_.SetCount(headers_.Count() - 1);
      throw;
    }
    done += length;
  }
  SeekUnderlying(EndOfBlocks(), msg::kSeekBlobBlocksEnd);
}

void TQDXCompressedBLOBStream::ExtendWithZeros(int64_t newSize, const msg::Message& shortWrite) {
  const int64_t oldSize = uncompressedSize_;
  if (newSize <= oldSize) {
    Raise(msg::kInvalidExtensionSize, {newSize, oldSize, newSize - oldSize});
  }
  const int64_t chunk = std::min<int64_t>(newSize - oldSize, blockSize_);
  const TQDXMemBlock zeros(chunk, /*zeroed=*/true);
  while (uncompressedSize_ < newSize) {
    const int64_t before = uncompressedSize_;
    const int64_t length = std::min(chunk, newSize - before);
    Append(Bytes(zeros.data(), length));
    SyncDescriptor();
    if (uncompressedSize_ != before + length) {
      Raise(shortWrite, {before, uncompressedSize_, length, uncompressedSize_ - before});
    }
  }
}

void TQDXCompressedBLOBStream::Truncate(int64_t newSize) {
  const int64_t k = newSize / blockSize_;
  const int64_t r = newSize % blockSize_;
  if (k > headers_.Count() || (r > 0 && k >= headers_.Count())) {
    // Only headers whose blocks are not full before the last can bring this about.
    Raise(msg::kCannotResizeBlobStream, {newSize, uncompressedSize_});
  }
  if (r == 0) {
    headers_.SetCount(k);
    if (currentBlock_ >= k) currentBlock_ = -1;
    return;
  }
  const std::span<const uint8_t> kept = ReadBlock(k).first(static_cast<size_t>(r));
  TQDXCompressedBlockHeader header;
  header.UncompressedSize = static_cast<int32_t>(r);
  header.Crc32 = RawCRC32(kept);
  TQDXMemBlock compressed;
  if (!CompressBuffer(algorithm_, mode_, kept, header, compressed)) {
    Raise(msg::kCompressBufferFailed, {algorithm_, mode_, r, header.CompressedSize});
  }
  currentBlock_ = -1;
  headers_.SetCount(k + 1);
  const int64_t position = headers_[k].Position;
  underlying_.SetSize(static_cast<int32_t>(position));
  if (underlying_.Size() != position) {
    Raise(msg::kCannotResizeBlobStream, {underlying_.Size(), position});
  }
  SeekUnderlying(position, msg::kSeekTruncatedBlobBlock);
  header.NextHeaderOffset = header.CompressedSize + kHeaderSize;
  headers_[k] = {header, position};
  uint8_t bytes[kHeaderSize];
  header.Store(bytes);
  if (underlying_.Write(bytes, kHeaderSize) != kHeaderSize) {
    Raise(msg::kWriteTruncatedBlockHeader);
  }
  if (underlying_.Write(compressed.data(), header.CompressedSize) != header.CompressedSize) {
    Raise(msg::kWriteTruncatedBlockData);
  }
}

void TQDXCompressedBLOBStream::SetSize(int32_t newSize) {
  if (newSize < 0) {
    Raise(msg::kInvalidExtensionSize, {newSize, uncompressedSize_, newSize - uncompressedSize_});
  }
  if (IsCompressed()) {
    if (newSize > uncompressedSize_) {
      ExtendWithZeros(newSize, msg::kExtendBlobWithZeros);
    } else if (newSize < uncompressedSize_) {
      Truncate(newSize);
    }
  } else {
    const int64_t end = descriptor_.StartPosition + newSize;
    if (end > kMaxStreamPosition) {
      Raise(msg::kCannotResizeBlobStream, {end, kMaxStreamPosition});
    }
    underlying_.SetSize(static_cast<int32_t>(end));
    uncompressedSize_ = newSize;
  }
  UpdateTotals();
  position_ = std::min<int64_t>(position_, newSize);
}

int32_t TQDXCompressedBLOBStream::ReadPlain(uint8_t* buffer, int32_t count) {
  const int64_t available = uncompressedSize_ - position_;
  if (position_ < 0 || available <= 0) return 0;
  underlying_.Seek(static_cast<int32_t>(descriptor_.StartPosition + position_), soFromBeginning);
  const int32_t read =
      underlying_.Read(buffer, static_cast<int32_t>(std::min<int64_t>(count, available)));
  position_ += std::max(read, 0);
  return read;
}

int32_t TQDXCompressedBLOBStream::WritePlain(const uint8_t* buffer, int32_t count) {
  SeekUnderlying(descriptor_.StartPosition + position_, msg::kSeekBlobDataStart);
  const int32_t written = underlying_.Write(buffer, count);
  position_ += std::max(written, 0);
  uncompressedSize_ = underlying_.Size() - descriptor_.StartPosition;
  UpdateTotals();
  return written;
}

int32_t TQDXCompressedBLOBStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  if (!IsCompressed()) return ReadPlain(out, count);
  int32_t done = 0;
  while (done < count && position_ >= 0 && position_ < uncompressedSize_) {
    const int64_t index = position_ / blockSize_;
    const int64_t offset = position_ % blockSize_;
    int64_t length = 0;
    if (index < headers_.Count()) {
      const int64_t blockLength = headers_[index].Header.UncompressedSize;
      const int64_t wanted = std::min<int64_t>(count - done, uncompressedSize_ - position_);
      if (offset == 0 && blockLength > 0 && blockLength <= wanted) {
        // The whole block goes to the caller: decode it there, without a copy.
        length = blockLength;
        ReadBlockInto(index, {out + done, static_cast<size_t>(length)});
      } else {
        const std::span<const uint8_t> block = ReadBlock(index);
        length = std::min(static_cast<int64_t>(block.size()) - offset, wanted);
        if (length > 0) {
          std::memcpy(out + done, block.data() + offset, static_cast<size_t>(length));
        }
      }
    }
    if (length <= 0) Raise(msg::kCannotReadFromStreamReadSize, {length});
    done += static_cast<int32_t>(length);
    position_ += length;
  }
  return done;
}

int32_t TQDXCompressedBLOBStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const auto* in = static_cast<const uint8_t*>(buffer);
  if (!IsCompressed()) return WritePlain(in, count);
  if (position_ < uncompressedSize_) return 0;
  if (position_ > uncompressedSize_) {
    const int64_t target = position_;
    ExtendWithZeros(target, msg::kExtendBlobWithZeros);
    if (uncompressedSize_ != target) {
      Raise(msg::kCannotExtendBlobStream, {uncompressedSize_, target});
    }
  }
  Append(Bytes(in, count));
  SyncDescriptor();
  position_ += count;
  return count;
}

int32_t TQDXCompressedBLOBStream::Seek(int32_t offset, uint16_t origin) {
  position_ = SeekTarget(position_, uncompressedSize_, offset, origin);
  if (!IsCompressed() && position_ >= 0) {
    underlying_.Seek(static_cast<int32_t>(descriptor_.StartPosition + position_), soFromBeginning);
  }
  return static_cast<int32_t>(position_);
}

}  // namespace qdx
