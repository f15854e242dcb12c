// The engine's ciphers: the eight algorithms as the page manager calls them, checked against a
// reference built from raw Crypto++ calls, and the password check data.
#include <cryptopp/blowfish.h>
#include <cryptopp/des.h>
#include <cryptopp/rijndael.h>
#include <cryptopp/ripemd.h>
#include <cryptopp/square.h>
#include <cryptopp/twofish.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/foundation/cipher/block_ciphers.h"
#include "engine/foundation/cipher/engine_cipher.h"
#include "engine/foundation/cipher/password_check.h"
#include "engine/foundation/crc32.h"

namespace qdx {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kPageDataSize = 4056;  // the data area of a 4096-byte page

Bytes Pseudorandom(size_t size, uint32_t seed) {
  Bytes bytes(size);
  for (uint8_t& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

Bytes Encrypted(uint8_t code, Bytes data, std::string_view password) {
  EXPECT_TRUE(EncryptBuffer(code, data, password));
  return data;
}

Bytes Decrypted(uint8_t code, Bytes data, std::string_view password) {
  EXPECT_TRUE(DecryptBuffer(code, data, password));
  return data;
}

// The reference: the algorithm's key, block function and mode 0, from the raw primitives.
class Reference {
 public:
  Reference(uint8_t code, std::string_view password) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(password.data());
    Bytes digest;
    if (code == 1 || code == 4 || code == 6) {
      digest.resize(32);
      CryptoPP::RIPEMD256().CalculateDigest(digest.data(), bytes, password.size());
    } else {
      digest.resize(16);
      CryptoPP::RIPEMD128().CalculateDigest(digest.data(), bytes, password.size());
    }
    switch (code) {
      case 0:
      case 1:
        Use<CryptoPP::Rijndael>(digest);  // 16 or 32 bytes: AES-128 or AES-256
        break;
      case 2:
        Use<CryptoPP::DES>(Bytes(digest.begin(), digest.begin() + 8));
        break;
      case 3: {
        digest.resize(24, 0);  // K3 all zero
        std::vector<std::shared_ptr<CryptoPP::DES::Encryption>> e;
        std::vector<std::shared_ptr<CryptoPP::DES::Decryption>> d;
        for (int k = 0; k < 3; ++k) {
          e.push_back(std::make_shared<CryptoPP::DES::Encryption>(digest.data() + 8 * k, 8));
          d.push_back(std::make_shared<CryptoPP::DES::Decryption>(digest.data() + 8 * k, 8));
        }
        blockSize_ = 24;
        encode_ = [e, d](uint8_t* x) {
          auto stage = [x](const CryptoPP::BlockTransformation& des) {
            for (int i = 0; i < 24; i += 8) des.ProcessBlock(x + i);
          };
          auto exchange = [x] { std::swap_ranges(x + 4, x + 8, x + 8); };
          stage(*e[0]);
          exchange();
          stage(*d[1]);
          exchange();
          stage(*e[2]);
        };
        break;
      }
      case 4:
        Use<CryptoPP::Blowfish>(digest);
        break;
      case 5:
      case 6:
        Use<CryptoPP::Twofish>(digest);
        break;
      case 7:
        Use<CryptoPP::Square>(digest);
        break;
    }
  }

  Bytes Encrypt(const Bytes& plain) const {
    const size_t s = blockSize_;
    Bytes out(plain.size());
    Bytes f(s, 0xFF), t(s);
    size_t i = 0;
    for (; i + s <= plain.size(); i += s) {
      for (size_t k = 0; k < s; ++k) t[k] = plain[i + k] ^ f[k];
      encode_(t.data());
      for (size_t k = 0; k < s; ++k) {
        out[i + k] = t[k];
        f[k] ^= t[k];
      }
    }
    encode_(f.data());
    for (size_t k = 0; i + k < plain.size(); ++k) out[i + k] = plain[i + k] ^ f[k];
    return out;
  }

 private:
  template <typename Algo>
  void Use(const Bytes& key) {
    auto e = std::make_shared<typename Algo::Encryption>(key.data(), key.size());
    blockSize_ = Algo::BLOCKSIZE;
    encode_ = [e](uint8_t* x) { e->ProcessBlock(x); };
  }

  size_t blockSize_ = 0;
  std::function<void(uint8_t*)> encode_;
};

TEST(CryptoAlgorithmTest, TableMatchesTheCipherClasses) {
  const char* names[] = {"Rijndael_128", "Rijndael_256", "DES_Single",  "DES_Triple",
                         "Blowfish",     "Twofish_128",  "Twofish_256", "Square"};
  for (uint8_t code = 0; code < kCryptoAlgorithmCount; ++code) {
    const TQDXCryptoAlgorithm* algorithm = CryptoAlgorithm(code);
    ASSERT_NE(algorithm, nullptr);
    EXPECT_STREQ(algorithm->Name, names[code]);
    const auto cipher = algorithm->CipherClass();
    const auto hash = algorithm->HashClass();
    EXPECT_EQ(cipher->BlockSize(), algorithm->BlockSize) << names[code];
    EXPECT_EQ(std::min(hash->DigestKeySize(), cipher->MaxKeySize()), algorithm->KeyBytes)
        << names[code];
  }
  EXPECT_EQ(CryptoAlgorithm(8), nullptr);
}

TEST(EncryptBufferTest, MatchesTheReferenceForEveryAlgorithm) {
  const std::string password = "Wagenlog-2024!";
  for (uint8_t code = 0; code < kCryptoAlgorithmCount; ++code) {
    SCOPED_TRACE(CryptoAlgorithm(code)->Name);
    const Reference reference(code, password);
    for (const size_t size : {size_t{40}, kPageDataSize}) {
      const Bytes plain = Pseudorandom(size, code + 1);
      EXPECT_EQ(Encrypted(code, plain, password), reference.Encrypt(plain)) << size;
    }
  }
}

TEST(EncryptBufferTest, RoundTripsAtBlockEdges) {
  const std::string password = "sleutel";
  for (uint8_t code = 0; code < kCryptoAlgorithmCount; ++code) {
    SCOPED_TRACE(CryptoAlgorithm(code)->Name);
    const size_t s = static_cast<size_t>(CryptoAlgorithm(code)->BlockSize);
    for (const size_t size : {size_t{1}, s - 1, s, s + 1, 2 * s + 3, kPageDataSize}) {
      const Bytes plain = Pseudorandom(size, static_cast<uint32_t>(size));
      const Bytes cipherText = Encrypted(code, plain, password);
      EXPECT_NE(cipherText, plain) << size;
      EXPECT_EQ(Decrypted(code, cipherText, password), plain) << size;
    }
  }
}

TEST(EncryptBufferTest, EqualPlainAreasGiveEqualCipherAreas) {
  const Bytes page = Pseudorandom(kPageDataSize, 7);
  for (uint8_t code = 0; code < kCryptoAlgorithmCount; ++code) {
    SCOPED_TRACE(CryptoAlgorithm(code)->Name);
    const Bytes first = Encrypted(code, page, "pw");
    EXPECT_EQ(Encrypted(code, page, "pw"), first);
    ClearCipherCache();
    EXPECT_EQ(Encrypted(code, page, "pw"), first);
  }
}

TEST(EncryptBufferTest, AnotherAlgorithmOrPasswordDoesNotDecrypt) {
  const Bytes page = Pseudorandom(kPageDataSize, 11);
  for (uint8_t code = 0; code < kCryptoAlgorithmCount; ++code) {
    SCOPED_TRACE(CryptoAlgorithm(code)->Name);
    const Bytes cipherText = Encrypted(code, page, "juist");
    EXPECT_NE(Decrypted(code, cipherText, "Juist"), page);
    EXPECT_NE(Decrypted(code, cipherText, ""), page);
    for (uint8_t other = 0; other < kCryptoAlgorithmCount; ++other) {
      if (other != code) {
        EXPECT_NE(Decrypted(other, cipherText, "juist"), page) << int{other};
      }
    }
  }
}

TEST(EncryptBufferTest, CodesAbove7LeaveTheBufferAlone) {
  const Bytes page = Pseudorandom(100, 3);
  for (const uint8_t code : {8, 9, 255}) {
    Bytes data = page;
    EXPECT_TRUE(EncryptBuffer(code, data, "pw"));
    EXPECT_TRUE(DecryptBuffer(code, data, "pw"));
    EXPECT_EQ(data, page);
  }
  // Nothing to code, and a password without text, are not failures.
  Bytes empty;
  EXPECT_TRUE(EncryptBuffer(0, empty, "pw"));
  Bytes data = page;
  EXPECT_TRUE(EncryptBuffer(0, data, std::string_view{}));
  EXPECT_TRUE(DecryptBuffer(0, data, std::string_view{}));
  EXPECT_EQ(data, page);
}

// The per-thread cache must change no byte: an interleaving of more (algorithm, password)
// pairs than it keeps, each result compared with a cipher keyed afresh.
TEST(EncryptBufferTest, KeptCiphersCodeLikeFreshOnes) {
  ClearCipherCache();
  const std::string passwords[] = {"a", "", std::string("a\0b", 3), "abc", "b"};
  const Bytes plain = Pseudorandom(kPageDataSize - 3, 5);
  for (int round = 0; round < 3; ++round) {
    for (uint8_t code = 0; code < kCryptoAlgorithmCount; code += 3) {
      for (const std::string& password : passwords) {
        SCOPED_TRACE(std::to_string(code) + "/" + password);
        const auto fresh = NewEngineCipher(code, password);
        Bytes expected = plain;
        fresh->EncodeBuffer(expected);
        const Bytes cipherText = Encrypted(code, plain, password);
        EXPECT_EQ(cipherText, expected);
        EXPECT_EQ(Decrypted(code, cipherText, password), plain);
      }
    }
  }
}

TEST(PasswordCheckTest, RightPasswordMatchesAndWrongOnesDoNot) {
  for (uint8_t code = 0; code < kCryptoAlgorithmCount; ++code) {
    SCOPED_TRACE(CryptoAlgorithm(code)->Name);
    const TQDXPassword password{"Auto's & kosten", code};
    const TQDXPasswordCheck check = MakePasswordCheck(password);

    // The stored bytes decipher to bytes 0..254 whose CRC was recorded.
    Bytes plain(check.Data.begin(), check.Data.end());
    ASSERT_TRUE(DecryptBuffer(code, plain, password.Password));
    EXPECT_EQ(RawCRC32(plain), check.CRC);
    EXPECT_TRUE(std::all_of(plain.begin(), plain.end(), [](uint8_t b) { return b != 255; }));
    EXPECT_NE(plain, Bytes(check.Data.begin(), check.Data.end()));

    EXPECT_TRUE(PasswordCheckMatches(check.Data, check.CRC, password));
    EXPECT_FALSE(PasswordCheckMatches(check.Data, check.CRC, {"auto's & kosten", code}));
    EXPECT_FALSE(PasswordCheckMatches(check.Data, check.CRC, {"", code}));
    EXPECT_FALSE(PasswordCheckMatches(check.Data, check.CRC,
                                      {password.Password, static_cast<uint8_t>((code + 1) % 8)}));
  }
}

}  // namespace
}  // namespace qdx
