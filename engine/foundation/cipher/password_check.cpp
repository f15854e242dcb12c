#include "engine/foundation/cipher/password_check.h"

#include <random>

#include "engine/foundation/cipher/wipe.h"
#include "engine/foundation/crc32.h"

namespace qdx {

TQDXPasswordCheck MakePasswordCheck(const TQDXPassword& password) {
  std::random_device source;
  std::uniform_int_distribution<int> byte(0, 254);
  TQDXPasswordCheck check;
  for (uint8_t& b : check.Data) b = static_cast<uint8_t>(byte(source));
  check.CRC = RawCRC32(check.Data);
  EncryptBufferOrRaise(password.CryptoAlgorithm, check.Data, password.Password);
  return check;
}

bool PasswordCheckMatches(std::span<const uint8_t, kPasswordCheckDataSize> data, uint32_t crc,
                          const TQDXPassword& password) {
  std::array<uint8_t, kPasswordCheckDataSize> plain;
  std::copy(data.begin(), data.end(), plain.begin());
  DecryptBufferOrRaise(password.CryptoAlgorithm, plain, password.Password);
  const bool matches = RawCRC32(plain) == crc;
  SecureFill(plain, 0);
  return matches;
}

}  // namespace qdx
