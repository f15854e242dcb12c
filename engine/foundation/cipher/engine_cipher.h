// How the engine enciphers: the eight algorithm codes, the password record, and the two
// routines the disk page manager codes page data areas and the password check data with.
//
// Every buffer is coded in place in the chained mode 0 from the same starting state: the key is
// the password's hash digest cut to the cipher's key size, and the initial vector is one block
// of 0xFF bytes. Equal plain buffers therefore give equal cipher buffers, and a page can be
// deciphered on its own.
//
//   code  name            cipher class      block  key hash     key bytes
//   0     "Rijndael_128"  TCipher_Rijndael    16   RIPEMD-128      16
//   1     "Rijndael_256"  TCipher_Rijndael    16   RIPEMD-256      32
//   2     "DES_Single"    TCipher_1DES         8   RIPEMD-128       8
//   3     "DES_Triple"    TCipher_3TDES       24   RIPEMD-128      16
//   4     "Blowfish"      TCipher_Blowfish     8   RIPEMD-256      32
//   5     "Twofish_128"   TCipher_Twofish     16   RIPEMD-128      16
//   6     "Twofish_256"   TCipher_Twofish     16   RIPEMD-256      32
//   7     "Square"        TCipher_Square      16   RIPEMD-128      16
//
// Keying costs far more than coding one page (two hashes and key schedules; for Blowfish
// thousands of block operations), so each thread keeps the keyed ciphers of the last few
// (algorithm, password) pairs it used and resets their feedback to the vector before each
// buffer. Every output byte is the same as with a cipher keyed afresh for each call. The cached
// state, password copies included, stays in memory until the thread ends or any thread calls
// ClearCipherCache (a database does when it disconnects); it is wiped then.
//
// All functions are safe for concurrent use (the cache is per thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/foundation/cipher/cipher.h"
#include "engine/foundation/cipher/wipe.h"

namespace qdx {

// Overwrites the whole buffer of `text` (its capacity, not only its length) with zeros.
inline void WipePasswordText(std::string& text) {
  text.resize(text.capacity());
  SecureFill({reinterpret_cast<uint8_t*>(text.data()), text.size()}, 0);
  text.clear();
}

// The password a database is opened or created with. An empty text means no password. Its
// text is wiped, to the end of the string's buffer, before the memory is given back.
struct TQDXPassword {
  std::string Password;
  uint8_t CryptoAlgorithm = 0;  // an algorithm code, 0..7

  ~TQDXPassword() { WipePasswordText(Password); }
};

inline constexpr uint8_t kCryptoAlgorithmCount = 8;

struct TQDXCryptoAlgorithm {
  const char* Name;
  TCipherClass CipherClass;
  THashClass HashClass;
  int32_t BlockSize;
  int32_t KeyBytes;  // the smaller of the hash's digest size and the cipher's largest key
};

// The algorithm of `code`, or null above 7.
const TQDXCryptoAlgorithm* CryptoAlgorithm(uint8_t code);

// Enciphers / deciphers `buffer` in place under `password` with algorithm `code`. Answer false
// when anything failed (the buffer is then undefined); a code above 7 codes nothing and answers
// true. Never throw.
bool EncryptBuffer(uint8_t code, std::span<uint8_t> buffer, std::string_view password);
bool DecryptBuffer(uint8_t code, std::span<uint8_t> buffer, std::string_view password);

// The same, raising what fails (ECipherException, std::bad_alloc) instead of answering false.
void EncryptBufferOrRaise(uint8_t code, std::span<uint8_t> buffer, std::string_view password);
void DecryptBufferOrRaise(uint8_t code, std::span<uint8_t> buffer, std::string_view password);

// Wipes and drops the keyed ciphers and password copies of every thread; the next call of each
// thread keys afresh.
void ClearCipherCache();
// How many keyed ciphers the calling thread keeps.
size_t CipherCacheSize();

// A cipher of the algorithm keyed for `password` exactly as each engine call keys it: made with
// the password (the default hash), then the code's hash set and InitKey with the cipher's own
// vector. Requires code < 8.
std::unique_ptr<TCipher> NewEngineCipher(uint8_t code, std::string_view password);

}  // namespace qdx
