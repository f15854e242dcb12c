// The PPM coder (compression algorithm 3): PPMd variant G behind the engine's 4-byte stream
// header. The buffer routines call this pair for algorithm 3; both answer false on any failure
// and never throw.
//
// Stream layout: a 32-bit little-endian header 0x6000 + ((memory MB - 1) << 4) + (order - 1),
// then variant G's coded bytes, ending with the end mark.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qdx {

// Compresses `input` with the model order and memory of compression mode `mode` (1..9) into
// `output` (resized to the coded size). False when the coded stream would not fit the output
// buffer of n + n/20 + 50 bytes. Safe for concurrent use: calls take turns on one model.
bool PpmCompressBuffer(std::span<const uint8_t> input, int mode, std::vector<uint8_t>& output);

// Decompresses a stream made by PpmCompressBuffer; `expectedSize` is the uncompressed size and
// an upper bound: a stream that decodes to more answers false, one that ends earlier answers
// true with the shorter output. Refuses a header whose bits 12 and above are not 6 or whose
// order is below 2 (the engine writes orders 2..16 only).
bool PpmDecompressBuffer(std::span<const uint8_t> input, int64_t expectedSize,
                         std::vector<uint8_t>& output);

}  // namespace qdx
