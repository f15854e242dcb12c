#include "engine/foundation/crc32.h"

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#define QDX_CRC32_CLMUL 1
#endif

namespace qdx {
namespace {

// Slicing-by-8: table k gives the CRC contribution of a byte followed by k zero bytes, so eight
// input bytes fold into the register with eight independent look-ups per step.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    tables[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (size_t k = 1; k < 8; ++k) {
      const uint32_t prev = tables[k - 1][i];
      tables[k][i] = tables[0][prev & 0xFF] ^ (prev >> 8);
    }
  }
  return tables;
}

constexpr Tables kTables = MakeTables();

uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint32_t SliceBy8(const uint8_t* p, size_t n, uint32_t crc) {
  while (n >= 8) {
    const uint32_t lo = LoadLe32(p) ^ crc;
    const uint32_t hi = LoadLe32(p + 4);
    crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
          kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    p += 8;
    n -= 8;
  }
  for (; n > 0; --n, ++p) crc = kTables[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return crc;
}

#ifdef QDX_CRC32_CLMUL
#define QDX_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

QDX_CLMUL_TARGET inline __m128i Load(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// x multiplied by the folding constants k and added to the next 128 bits.
QDX_CLMUL_TARGET inline __m128i FoldIn(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), next),
                       _mm_clmulepi64_si128(x, k, 0x00));
}

// Carry-less multiplication folding (the method of Gopal et al., "Fast CRC Computation for
// Generic Polynomials Using PCLMULQDQ"), in the bit-reflected domain of 0xEDB88320: four 128-bit
// lanes are folded 64 bytes at a time, folded into one, reduced to 64 and then 32 bits by a
// Barrett reduction. Requires: n >= 64 and n a multiple of 16.
QDX_CLMUL_TARGET uint32_t Fold(const uint8_t* p, size_t n, uint32_t crc) {
  alignas(16) static constexpr uint64_t kK1K2[] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static constexpr uint64_t kK3K4[] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static constexpr uint64_t kK5K0[] = {0x0163cd6124, 0x0000000000};
  alignas(16) static constexpr uint64_t kPoly[] = {0x01db710641, 0x01f7011641};
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(p + 16);
  __m128i x3 = Load(p + 32);
  __m128i x4 = Load(p + 48);
  p += 64;
  n -= 64;
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kK1K2));
  for (; n >= 64; p += 64, n -= 64) {
    x1 = FoldIn(x1, k, Load(p));
    x2 = FoldIn(x2, k, Load(p + 16));
    x3 = FoldIn(x3, k, Load(p + 32));
    x4 = FoldIn(x4, k, Load(p + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kK3K4));
  x1 = FoldIn(x1, k, x2);
  x1 = FoldIn(x1, k, x3);
  x1 = FoldIn(x1, k, x4);
  for (; n >= 16; p += 16, n -= 16) x1 = FoldIn(x1, k, Load(p));

  // 128 bits to 64.
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x2 = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kK5K0));
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00), x2);

  // Barrett reduction to 32 bits.
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kPoly));
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, mask32), k, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

const bool kHasClmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
#endif

}  // namespace

uint32_t RawCRC32(std::span<const uint8_t> data, uint32_t crc) {
  const uint8_t* p = data.data();
  size_t n = data.size();
#ifdef QDX_CRC32_CLMUL
  if (kHasClmul && n >= 64) {
    const size_t folded = n & ~size_t{15};
    crc = Fold(p, folded, crc);
    p += folded;
    n -= folded;
  }
#endif
  return SliceBy8(p, n, crc);
}

}  // namespace qdx
