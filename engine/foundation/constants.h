// Sizes shared by the engine's streams and its compressed blocks.
#pragma once

#include <cstdint>

namespace qdx {

inline constexpr int32_t kDefaultStreamBlockSize = 102400;
inline constexpr int32_t kFileStreamBlockSize = 102400;
inline constexpr int32_t kTemporaryStreamBlockSize = 102400;
// A temporary stream that would grow past this many bytes moves to a temporary file.
inline constexpr int32_t kTemporaryStreamThreshold = 1048576;

// Block sizes of a compressed stream by compression mode, for a new stream given none.
inline constexpr int32_t kCompressionBlockSizeMode0 = 102400;
inline constexpr int32_t kCompressionBlockSizeMode1To3 = 524288;
inline constexpr int32_t kCompressionBlockSizeMode4To6 = 1048576;
inline constexpr int32_t kCompressionBlockSizeMode7To9 = 1572864;

}  // namespace qdx
