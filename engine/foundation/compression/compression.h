// The engine's compression: algorithm codes and names, modes, the 20-byte header of a
// compressed block, and the buffer routines that dispatch to zlib, bzip2 and the PPM coder.
//
// The buffer routines are used by the compressed BLOB stream (compressed_blob_stream.h) and by
// compressed internal files. They never throw: every failure, including one of the engine
// memory manager, answers false, and the caller raises its own error. They are safe for
// concurrent use: zlib and bzip2 keep no shared state, and the PPM coder serialises itself.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/foundation/memory.h"

namespace qdx {

// Compression algorithm codes, as stored in field definitions and internal file headers.
enum : uint8_t {
  kCompressionNone = 0,  // "NONE"
  kCompressionZlib = 1,  // "ZLIB": deflate in the zlib format (header and Adler-32 trailer)
  kCompressionBzip = 2,  // "BZIP": the bzip2 format
  kCompressionPpm = 3,   // "PPM": PPMd variant G behind a 4-byte stream header
};

// The code of an algorithm name, compared case-insensitively; 0 for an unknown name.
uint8_t CompressionAlgorithmFromName(std::string_view name);
// The name of an algorithm code; empty for an unknown code.
std::string_view CompressionAlgorithmName(uint8_t algorithm);

// The block size of a compressed stream created with `mode` and no block size of its own:
// mode 0 102400, 1..3 524288, 4..6 1048576, 7..9 1572864 bytes (modes outside 0..9 take the
// nearest row).
int32_t CompressionBlockSize(int mode);

// The header written before each compressed block, 20 bytes, little-endian:
//
//   offset  size  field
//   0       4     compressed size: bytes of compressed data after the header (int32)
//   4       4     uncompressed size of the block (int32)
//   8       4     checksum: RawCRC32 of the uncompressed bytes (start value 0)
//   12      8     distance from this header's first byte to the next header's (int64),
//                 always 20 + compressed size
struct TQDXCompressedBlockHeader {
  static constexpr int32_t kSize = 20;

  int32_t CompressedSize = 0;
  int32_t UncompressedSize = 0;
  uint32_t Crc32 = 0;
  int64_t NextHeaderOffset = 0;

  // Requires: bytes.size() >= kSize (checked: 20056 otherwise).
  static TQDXCompressedBlockHeader Load(std::span<const uint8_t> bytes);
  void Store(std::span<uint8_t> bytes) const;
  friend bool operator==(const TQDXCompressedBlockHeader&,
                         const TQDXCompressedBlockHeader&) = default;
};

// Compresses `input` with `algorithm` at `mode` into a new block `output` whose size is the
// compressed size, and sets header.CompressedSize (0 first). Answers true when that size is
// above 0. Algorithm 0, an unknown algorithm or an empty input answer false. The header's
// uncompressed size and checksum are the caller's to fill.
bool CompressBuffer(uint8_t algorithm, int mode, std::span<const uint8_t> input,
                    TQDXCompressedBlockHeader& header, TQDXMemBlock& output) noexcept;

// Decompresses `input` into a new block `output`. `outputSize` brings the expected size (0 when
// unknown) and takes the size produced; output may be larger than that. Answers true when the
// size produced is above 0. A stream that would inflate past 2^31 - 1 bytes answers false.
bool DecompressBuffer(uint8_t algorithm, std::span<const uint8_t> input, int64_t& outputSize,
                      TQDXMemBlock& output) noexcept;

// Decompresses `input` straight into `output`, which must hold the whole result: answers true
// and sets `outputSize` when the stream ends within it, false otherwise (also for a stream that
// would need more room). Saves a buffer and a copy when the size is known; algorithm 3 is
// decoded through DecompressBuffer and copied.
bool DecompressBufferInto(uint8_t algorithm, std::span<const uint8_t> input,
                          std::span<uint8_t> output, int64_t& outputSize) noexcept;

}  // namespace qdx
