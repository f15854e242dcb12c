// TQDXCompressedBLOBStream: a BLOB value kept in an underlying engine stream as a run of
// independently compressed blocks, each behind a 20-byte header (compression.h).
//
// Invariants of a compressed value:
//   1. The blocks lie back to back from the descriptor's start position; each header's
//      distance is 20 + its compressed size.
//   2. Every block but the last holds exactly BlockSize() uncompressed bytes, so byte p of the
//      value lies in block p / BlockSize().
//   3. Only appends change a value's bytes: a write that starts inside the value writes
//      nothing; a partial last block is refilled and rewritten in place, new blocks follow it.
// With algorithm 0 the value's bytes lie plainly in the underlying stream from the start on.
//
// The stream does not own the underlying stream, which must outlive it. Its descriptor mirrors
// block size, block count and size as they change; the owner reads it back after writing and
// stores it. Not safe for concurrent use.
#pragma once

#include <cstdint>
#include <span>

#include "engine/foundation/compression/compressed_block_headers.h"
#include "engine/foundation/compression/compression.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/stream.h"

namespace qdx {

// The stream descriptor, 32 bytes, little-endian:
//
//   offset  size  field
//   0       4     block size (int32)
//   4       8     block count (int64)
//   12      8     uncompressed size (int64)
//   20      8     start position of the value in the underlying stream (int64)
//   28      1     compression algorithm code
//   29      1     compression mode
//   30      2     unused (written as 0)
struct TQDXCompressedStreamDescriptor {
  static constexpr int32_t kSize = 32;

  int32_t BlockSize = 0;
  int64_t BlockCount = 0;
  int64_t UncompressedSize = 0;
  int64_t StartPosition = 0;
  uint8_t Algorithm = kCompressionNone;
  uint8_t Mode = 0;

  // Requires: bytes.size() >= kSize (checked: 20056 otherwise).
  static TQDXCompressedStreamDescriptor Load(std::span<const uint8_t> bytes);
  void Store(std::span<uint8_t> bytes) const;
  friend bool operator==(const TQDXCompressedStreamDescriptor&,
                         const TQDXCompressedStreamDescriptor&) = default;
};

class TQDXCompressedBLOBStream : public TQDXStream {
 public:
  // Opens the value the descriptor describes in `underlying`. With `isNew` the value starts
  // empty (a compressed one takes the block size of its mode when given none); otherwise a
  // compressed value's block headers are loaded. `lenient` accepts underlying data shorter than
  // the descriptor promises: a compressed value keeps the whole blocks found, a plain one is
  // not checked. Fails with 10103, 10080, 10081, 10082 or 10083.
  TQDXCompressedBLOBStream(TStream& underlying, bool lenient, bool isNew,
                           const TQDXCompressedStreamDescriptor& descriptor);
  TQDXCompressedBLOBStream(const TQDXCompressedBLOBStream&) = delete;
  TQDXCompressedBLOBStream& operator=(const TQDXCompressedBLOBStream&) = delete;

  // Compressed: a larger size appends zero bytes (10097, 10098), a smaller one truncates
  // (10093..10096 and the read failures). Plain: sets the underlying size to start + n.
  void SetSize(int32_t newSize) override;
  // Fails with 10086..10090 when a block cannot be read back.
  int32_t Read(void* buffer, int32_t count) override;
  // Compressed: appends only; a write starting inside the value answers 0. Each block counts
  // once it is written, so a failure leaves the blocks written so far. Fails with 10085, 10092,
  // 10097 and 10099..10102.
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, uint16_t origin) override;
  int32_t Size() override { return static_cast<int32_t>(uncompressedSize_); }

  const TQDXCompressedStreamDescriptor& Descriptor() const { return descriptor_; }
  bool IsCompressed() const { return algorithm_ != kCompressionNone; }
  uint8_t Algorithm() const { return algorithm_; }
  uint8_t Mode() const { return mode_; }
  int32_t CompressionBlockSize() const { return blockSize_; }
  int64_t BlockCount() const { return headers_.Count(); }
  int64_t UncompressedSize() const { return uncompressedSize_; }
  // The sum of the blocks' compressed sizes (headers not counted); the size when plain.
  int64_t CompressedSize() const { return compressedSize_; }
  // The bytes the value takes in the underlying stream: its blocks with their headers (the
  // size when plain).
  int64_t StoredSize() const {
    return IsCompressed() ? EndOfBlocks() - descriptor_.StartPosition : uncompressedSize_;
  }
  // Percentage saved: (1 - compressed / uncompressed) x 100; 0 when plain or empty.
  double CompressionRatio() const { return compressionRatio_; }
  const TQDXCompressedStreamBlockHeadersArray& BlockHeaders() const { return headers_; }

 private:
  void LoadBlockHeaders();
  // The compressed bytes of block `index`, read into a buffer kept for the next block.
  std::span<const uint8_t> ReadCompressed(int64_t index);
  // Block `index` decompressed and checked; the last one read is kept until the value changes.
  std::span<const uint8_t> ReadBlock(int64_t index);
  // Block `index` decompressed and checked into `out`, which holds exactly its uncompressed size.
  void ReadBlockInto(int64_t index, std::span<uint8_t> out);
  // 10089 unless `data` has the header's checksum.
  static void CheckBlock(const TQDXCompressedBlockHeader& header, std::span<const uint8_t> data);
  // Compresses `data` as block `index` and writes header and data at the block's recorded
  // position; the underlying stream is left after the block. Keeps the totals current.
  void WriteBlock(int64_t index, std::span<const uint8_t> data);
  // Appends `data` at the end of a compressed value.
  void Append(std::span<const uint8_t> data);
  // Appends zero bytes up to `newSize`; 10098 unless it is above the size, `shortWrite` for a
  // short write.
  void ExtendWithZeros(int64_t newSize, const msg::Message& shortWrite);
  void Truncate(int64_t newSize);
  // The end of the last block in the underlying stream (the start when there is none).
  int64_t EndOfBlocks() const;
  // Recomputes the totals from the headers, then SyncDescriptor.
  void UpdateTotals();
  // Mirrors block size, block count and size into the descriptor; recomputes the ratio.
  void SyncDescriptor();
  void SeekUnderlying(int64_t position, const msg::Message& failure);
  int32_t ReadPlain(uint8_t* buffer, int32_t count);
  int32_t WritePlain(const uint8_t* buffer, int32_t count);

  TStream& underlying_;
  bool lenient_;
  TQDXCompressedStreamDescriptor descriptor_;
  uint8_t algorithm_;
  uint8_t mode_;
  int64_t uncompressedSize_ = 0;
  int64_t compressedSize_ = 0;
  int64_t position_ = 0;
  int64_t currentBlock_ = -1;  // index of the block held in blockData_, -1 for none
  int32_t blockSize_;
  double compressionRatio_ = 0;
  TQDXCompressedStreamBlockHeadersArray headers_;
  TQDXMemBlock compressedScratch_;
  TQDXMemBlock blockData_;
  int64_t blockDataSize_ = 0;
};

}  // namespace qdx
