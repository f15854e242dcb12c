// The password check data of an encrypted database: 256 bytes, each 0..254, kept in the
// database's password block enciphered with the password, beside the RawCRC32 (start 0) of the
// plain bytes. Opening deciphers the stored bytes with the password given; a CRC that differs
// means a wrong password. The caller (the disk page manager) reads and writes the block itself
// and raises 30445 on a mismatch.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/foundation/cipher/engine_cipher.h"

namespace qdx {

inline constexpr size_t kPasswordCheckDataSize = 256;

struct TQDXPasswordCheck {
  std::array<uint8_t, kPasswordCheckDataSize> Data{};  // enciphered
  uint32_t CRC = 0;                                    // of the plain bytes
};

// New check data for `password` (its text and algorithm), from fresh random bytes. Raises what
// enciphering raises rather than answer bytes that were not enciphered.
TQDXPasswordCheck MakePasswordCheck(const TQDXPassword& password);

// True when the stored check data deciphers under `password` to bytes whose RawCRC32 is `crc`.
// `password.CryptoAlgorithm` must be the code stored with the data. Raises only what
// deciphering raises (never for a wrong password).
bool PasswordCheckMatches(std::span<const uint8_t, kPasswordCheckDataSize> data, uint32_t crc,
                          const TQDXPassword& password);

}  // namespace qdx
