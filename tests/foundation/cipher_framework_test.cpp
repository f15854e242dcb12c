// The cipher framework: the feedback modes checked block by block against raw Crypto++ calls,
// key setup from a password, the cipher classes against published vectors, errors, registry.
#include <cryptopp/aes.h>
#include <cryptopp/des.h>
#include <cryptopp/ripemd.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "engine/foundation/cipher/block_ciphers.h"
#include "engine/foundation/cipher/cipher.h"
#include "engine/foundation/cipher/hash.h"

namespace qdx {
namespace {

using Bytes = std::vector<uint8_t>;
using Block = std::array<uint8_t, 16>;

Bytes Hex(std::string_view hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

Bytes Sequence(size_t size, uint8_t start = 0, uint8_t step = 1) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(start + i * step);
  return bytes;
}

Bytes ToBytes(std::span<const uint8_t> span) {
  return Bytes(span.begin(), span.end());
}

Block Xor(const Block& a, const Block& b) {
  Block r;
  for (size_t i = 0; i < 16; ++i) r[i] = a[i] ^ b[i];
  return r;
}

Block BlockAt(const Bytes& bytes, size_t offset) {
  Block b{};
  std::memcpy(b.data(), bytes.data() + offset, 16);
  return b;
}

// F shifted left by one byte, taking `in` at the end.
Block Shift(const Block& f, uint8_t in) {
  Block r;
  std::memcpy(r.data(), f.data() + 1, 15);
  r[15] = in;
  return r;
}

// A Rijndael cipher keyed with a fixed AES-128 key and vector, beside the raw AES objects that
// the expected values are built from.
class ModeTest : public ::testing::Test {
 protected:
  ModeTest()
      : key_(Sequence(16, 0x10, 3)),
        iv_(BlockAt(Sequence(16, 0xA0, 7), 0)),
        plain_(Sequence(37, 0x21, 11)),  // two full blocks and 5 bytes
        encryption_(key_.data(), key_.size()),
        decryption_(key_.data(), key_.size()) {}

  std::unique_ptr<TCipher_Rijndael> Keyed(TCipherMode mode) {
    auto cipher = std::make_unique<TCipher_Rijndael>();
    cipher->SetMode(mode);
    cipher->Init(key_, iv_.data());
    return cipher;
  }
  Block E(const Block& in) const {
    Block out;
    encryption_.ProcessBlock(in.data(), out.data());
    return out;
  }
  Block D(const Block& in) const {
    Block out;
    decryption_.ProcessBlock(in.data(), out.data());
    return out;
  }
  Bytes Encode(TCipher& cipher) {
    Bytes out(plain_.size());
    cipher.EncodeBuffer(plain_.data(), out.data(), out.size());
    return out;
  }

  Bytes key_;
  Block iv_;
  Bytes plain_;
  CryptoPP::AES::Encryption encryption_;
  CryptoPP::AES::Decryption decryption_;
};

TEST_F(ModeTest, Mode0ChainsByXorAndCodesTheTailWithTheFeedback) {
  const Block p0 = BlockAt(plain_, 0), p1 = BlockAt(plain_, 16);
  const Block c0 = E(Xor(p0, iv_));
  const Block f1 = Xor(iv_, c0);
  const Block c1 = E(Xor(p1, f1));
  const Block f2 = Xor(f1, c1);
  const Block b = E(f2);
  Bytes expected(c0.begin(), c0.end());
  expected.insert(expected.end(), c1.begin(), c1.end());
  for (size_t i = 0; i < 5; ++i) expected.push_back(plain_[32 + i] ^ b[i]);
  const Block f3 = Xor(f2, b);

  auto encoder = Keyed(TCipherMode::XorChain);
  const Bytes cipherText = Encode(*encoder);
  EXPECT_EQ(cipherText, expected);
  EXPECT_EQ(ToBytes(encoder->Feedback()), Bytes(f3.begin(), f3.end()));

  // Decoding, in place: P = D(C) xor F with the old F, then F = F xor C; same final feedback.
  auto decoder = Keyed(TCipherMode::XorChain);
  Bytes data = cipherText;
  decoder->DecodeBuffer(data);
  EXPECT_EQ(data, plain_);
  EXPECT_EQ(ToBytes(decoder->Feedback()), Bytes(f3.begin(), f3.end()));
  EXPECT_EQ(D(c1), Xor(p1, f1));  // the decode relation itself, on the raw cipher
}

TEST_F(ModeTest, Mode1ChainsByCiphertext) {
  const Block c0 = E(Xor(BlockAt(plain_, 0), iv_));
  const Block c1 = E(Xor(BlockAt(plain_, 16), c0));
  const Block b = E(c1);
  Bytes expected(c0.begin(), c0.end());
  expected.insert(expected.end(), c1.begin(), c1.end());
  for (size_t i = 0; i < 5; ++i) expected.push_back(plain_[32 + i] ^ b[i]);

  auto encoder = Keyed(TCipherMode::CBC);
  const Bytes cipherText = Encode(*encoder);
  EXPECT_EQ(cipherText, expected);
  const Block f = Xor(c1, b);
  EXPECT_EQ(ToBytes(encoder->Feedback()), Bytes(f.begin(), f.end()));

  auto decoder = Keyed(TCipherMode::CBC);
  Bytes data = cipherText;
  decoder->DecodeBuffer(data);
  EXPECT_EQ(data, plain_);
}

TEST_F(ModeTest, Modes2And3CodeByteByByte) {
  for (const TCipherMode mode : {TCipherMode::CFB8, TCipherMode::OFB8}) {
    SCOPED_TRACE(static_cast<int>(mode));
    Block f = iv_;
    Bytes expected;
    for (size_t i = 0; i < plain_.size(); ++i) {
      const Block b = E(f);
      const uint8_t c = plain_[i] ^ b[0];
      expected.push_back(c);
      f = Shift(f, mode == TCipherMode::CFB8 ? c : b[0]);
    }
    auto encoder = Keyed(mode);
    const Bytes cipherText = Encode(*encoder);
    EXPECT_EQ(cipherText, expected);
    EXPECT_EQ(ToBytes(encoder->Feedback()), Bytes(f.begin(), f.end()));

    auto decoder = Keyed(mode);
    Bytes data = cipherText;
    decoder->DecodeBuffer(data);
    EXPECT_EQ(data, plain_);
    EXPECT_EQ(ToBytes(decoder->Feedback()), Bytes(f.begin(), f.end()));
  }
}

TEST_F(ModeTest, Mode4CodesBlocksAloneAndTheTailInsideTheScratchBlock) {
  const Block c0 = E(BlockAt(plain_, 0));
  const Block c1 = E(BlockAt(plain_, 16));
  // The scratch block is all zero after Init; the tail goes into its first bytes.
  Block tail{};
  std::memcpy(tail.data(), plain_.data() + 32, 5);
  const Block b = E(tail);
  Bytes expected(c0.begin(), c0.end());
  expected.insert(expected.end(), c1.begin(), c1.end());
  expected.insert(expected.end(), b.begin(), b.begin() + 5);

  auto encoder = Keyed(TCipherMode::ECB);
  const Bytes cipherText = Encode(*encoder);
  EXPECT_EQ(cipherText, expected);
  EXPECT_EQ(ToBytes(encoder->Feedback()), Bytes(iv_.begin(), iv_.end()));

  // Whole blocks decode back; the tail cannot (its block was completed with other bytes).
  auto decoder = Keyed(TCipherMode::ECB);
  Bytes data(cipherText.begin(), cipherText.begin() + 32);
  decoder->DecodeBuffer(data);
  EXPECT_EQ(data, Bytes(plain_.begin(), plain_.begin() + 32));
}

TEST_F(ModeTest, Modes5To7OnlyMoveTheFeedback) {
  const Block p0 = BlockAt(plain_, 0), p1 = BlockAt(plain_, 16);
  // Mode 5: F = F xor E(P xor F); the tail advances F without its bytes.
  Block f5 = Xor(iv_, E(Xor(p0, iv_)));
  f5 = Xor(f5, E(Xor(p1, f5)));
  f5 = Xor(f5, E(f5));
  // Mode 6: F = E(P xor F); the tail as mode 5.
  Block f6 = E(Xor(p0, iv_));
  f6 = E(Xor(p1, f6));
  f6 = Xor(f6, E(f6));
  // Mode 7: per byte, F takes in P xor keystream.
  Block f7 = iv_;
  for (const uint8_t p : plain_) f7 = Shift(f7, p ^ E(f7)[0]);

  const std::array<std::pair<TCipherMode, Block>, 3> cases = {
      {{TCipherMode::XorChainMAC, f5}, {TCipherMode::CBCMAC, f6}, {TCipherMode::CFB8MAC, f7}}};
  for (const auto& [mode, feedback] : cases) {
    SCOPED_TRACE(static_cast<int>(mode));
    for (const bool decode : {false, true}) {
      auto cipher = Keyed(mode);
      Bytes out(plain_.size(), 0xEE);
      if (decode) {
        cipher->DecodeBuffer(plain_.data(), out.data(), out.size());
      } else {
        cipher->EncodeBuffer(plain_.data(), out.data(), out.size());
      }
      EXPECT_EQ(out, plain_);
      EXPECT_EQ(ToBytes(cipher->Feedback()), Bytes(feedback.begin(), feedback.end()));
    }
  }
}

TEST_F(ModeTest, FeedbackCarriesOverUntilDone) {
  auto whole = Keyed(TCipherMode::XorChain);
  const Bytes once = Encode(*whole);

  // The same message in two calls codes alike (split on a block boundary).
  auto split = Keyed(TCipherMode::XorChain);
  Bytes pieces(plain_.size());
  split->EncodeBuffer(plain_.data(), pieces.data(), 16);
  split->EncodeBuffer(plain_.data() + 16, pieces.data() + 16, plain_.size() - 16);
  EXPECT_EQ(pieces, once);

  // Done keeps the feedback in the scratch block and restarts from the vector.
  const Bytes lastFeedback = ToBytes(split->Feedback());
  split->Done();
  EXPECT_EQ(ToBytes(split->Buffer()), lastFeedback);
  EXPECT_EQ(ToBytes(split->Feedback()), Bytes(iv_.begin(), iv_.end()));
  EXPECT_EQ(Encode(*split), once);
}

// Init without a vector encodes the wiped vector (all 0xFF); InitKey keys with the digest of
// the password cut to the largest key and encodes the digest, then Done returns F to the vector.
TEST(CipherKeySetupTest, InitKeyHashesThePasswordAndEncodesTheDigest) {
  const std::string password = "geheim wachtwoord";
  Bytes digest(32);
  CryptoPP::RIPEMD256().CalculateDigest(
      digest.data(), reinterpret_cast<const uint8_t*>(password.data()), password.size());
  const CryptoPP::AES::Encryption aes(digest.data(), 32);  // default hash, Rijndael takes 32
  auto e = [&](const Block& in) {
    Block out;
    aes.ProcessBlock(in.data(), out.data());
    return out;
  };
  Block ones;
  ones.fill(0xFF);
  const Block vector = e(ones);
  const Block f1 = Xor(vector, e(Xor(BlockAt(digest, 0), vector)));
  const Block f2 = Xor(f1, e(Xor(BlockAt(digest, 16), f1)));

  const auto cipher = CreateCipher<TCipher_Rijndael>(password);
  EXPECT_EQ(cipher->Flags(), 3u);
  EXPECT_EQ(cipher->Rounds(), 14);
  EXPECT_EQ(Bytes(cipher->Vector(), cipher->Vector() + 16), Bytes(vector.begin(), vector.end()));
  EXPECT_EQ(ToBytes(cipher->Feedback()), Bytes(vector.begin(), vector.end()));
  EXPECT_EQ(ToBytes(cipher->Buffer()), Bytes(f2.begin(), f2.end()));

  // Given its own (wiped) vector as the initial vector, the vector stays all 0xFF.
  cipher->SetHashClass(&NewHash<THash_RipeMD128>);
  cipher->InitKey(password, cipher->Vector());
  EXPECT_EQ(cipher->Rounds(), 10);
  EXPECT_EQ(Bytes(cipher->Vector(), cipher->Vector() + 16), Bytes(16, 0xFF));
}

TEST(CipherKeySetupTest, KeysAreCutAndPadded) {
  auto encodeZeros = [](TCipher& cipher, std::span<const uint8_t> key) {
    cipher.SetMode(TCipherMode::ECB);
    cipher.Init(key, Bytes(24).data());
    Bytes block(cipher.BlockSize());
    cipher.EncodeBuffer(block);
    return block;
  };
  const Bytes long40 = Sequence(40, 1);
  TCipher_Rijndael a, b;
  // A key longer than the largest is cut.
  EXPECT_EQ(encodeZeros(a, long40), encodeZeros(b, std::span(long40).first(32)));
  // 20 bytes: 12 rounds on the key zero-padded to 24.
  Bytes padded = Sequence(24, 1);
  std::fill(padded.begin() + 20, padded.end(), 0);
  EXPECT_EQ(encodeZeros(a, std::span(long40).first(20)), encodeZeros(b, padded));
  EXPECT_EQ(a.Rounds(), 12);
  TCipher_Twofish c, d;
  EXPECT_EQ(encodeZeros(c, std::span(long40).first(20)), encodeZeros(d, padded));
  // Triple DES with 16 key bytes uses an all-zero K3.
  TCipher_3DES e, f;
  Bytes k16 = Sequence(24, 1);
  std::fill(k16.begin() + 16, k16.end(), 0);
  EXPECT_EQ(encodeZeros(e, std::span(k16).first(16)), encodeZeros(f, k16));
}

// Published vectors: each class is the standard cipher under its key rules.
TEST(CipherClassTest, KnownAnswers) {
  struct Case {
    TCipherClass cipherClass;
    const char* key;
    const char* plain;
    const char* expected;
  };
  const Case cases[] = {
      {&NewCipher<TCipher_Rijndael>, "000102030405060708090a0b0c0d0e0f",
       "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {&NewCipher<TCipher_Rijndael>, "000102030405060708090a0b0c0d0e0f1011121314151617",
       "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {&NewCipher<TCipher_Rijndael>,
       "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
      {&NewCipher<TCipher_1DES>, "133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
      {&NewCipher<TCipher_Blowfish>, "0000000000000000", "0000000000000000", "4ef997456198dd78"},
      {&NewCipher<TCipher_Twofish>, "00000000000000000000000000000000",
       "00000000000000000000000000000000", "9f589f5cf6122c32b6bfec2f2ae8c35a"},
      {&NewCipher<TCipher_Square>, "000102030405060708090a0b0c0d0e0f",
       "000102030405060708090a0b0c0d0e0f", "7c3491d94994e70f0ec2e7a5ccb5a14f"},
  };
  for (const Case& c : cases) {
    const auto cipher = c.cipherClass();
    SCOPED_TRACE(std::string(cipher->ClassName()) + " key " + c.key);
    cipher->SetMode(TCipherMode::ECB);
    cipher->Init(Hex(c.key), nullptr);
    Bytes data = Hex(c.plain);
    cipher->EncodeBuffer(data);
    EXPECT_EQ(data, Hex(c.expected));
    cipher->DecodeBuffer(data);
    EXPECT_EQ(data, Hex(c.plain));
  }
}

// The 24-byte triple DES block, stage by stage from single DES: bytes 4..7 and 8..11 change
// places between stages, nothing else moves.
TEST(CipherClassTest, TripleDesOn24ByteBlocks) {
  const Bytes key = Sequence(24, 0x31, 5);
  const Bytes plain = Sequence(24, 0x80, 3);
  const CryptoPP::DES::Encryption e1(key.data(), 8), e3(key.data() + 16, 8);
  const CryptoPP::DES::Decryption d2(key.data() + 8, 8);
  Bytes x = plain;
  auto stage = [&x](const CryptoPP::BlockTransformation& des) {
    for (size_t i = 0; i < 24; i += 8) des.ProcessBlock(x.data() + i);
  };
  auto exchange = [&x] {
    for (size_t i = 4; i < 8; ++i) std::swap(x[i], x[i + 4]);
  };
  stage(e1);
  exchange();
  stage(d2);
  exchange();
  stage(e3);

  TCipher_3TDES cipher;
  EXPECT_EQ(cipher.BlockSize(), 24);
  cipher.SetMode(TCipherMode::ECB);
  cipher.Init(key, nullptr);
  Bytes data = plain;
  cipher.EncodeBuffer(data);
  EXPECT_EQ(data, x);
  cipher.DecodeBuffer(data);
  EXPECT_EQ(data, plain);
}

TEST(CipherHashTest, DigestsOfAbc) {
  const struct {
    THashClass hashClass;
    const char* digest;
  } cases[] = {
      {&NewHash<THash_MD4>, "a448017aaf21d8525fc10ae87aa6729d"},
      {&NewHash<THash_RipeMD128>, "c14a12199c66e4ba84636b0f69144c77"},
      {&NewHash<THash_RipeMD256>,
       "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"},
  };
  for (const auto& c : cases) {
    const auto hash = c.hashClass();
    hash->Init();
    hash->Add(Bytes{'a', 'b'});
    hash->Add(Bytes{'c'});
    hash->Done();
    EXPECT_EQ(ToBytes(hash->DigestKey()), Hex(c.digest));
    EXPECT_EQ(hash->DigestKeySize(), static_cast<int32_t>(Hex(c.digest).size()));
  }
}

TEST(CipherErrorTest, CodingWithoutSetupRaisesNumber3AndTouchesNothing) {
  TCipher_Blowfish fresh;
  auto wiped = CreateCipher<TCipher_Twofish>("x");
  wiped->Protect();
  EXPECT_EQ(wiped->Flags(), 0u);
  const struct {
    TCipher* cipher;
    const char* message;
  } cases[] = {
      {&fresh, "TCipher_Blowfish is not initialized call Init() or InitKey() before."},
      {wiped.get(), "TCipher_Twofish is not initialized call Init() or InitKey() before."},
  };
  for (const auto& c : cases) {
    Bytes data = Sequence(16);
    try {
      c.cipher->EncodeBuffer(data);
      FAIL() << "no exception";
    } catch (const ECipherException& e) {
      EXPECT_EQ(e.ErrorCode(), 3);
      EXPECT_EQ(e.Message(), c.message);
    }
    EXPECT_EQ(data, Sequence(16));
    EXPECT_THROW(c.cipher->DecodeBuffer(data), ECipherException);
    // The raw block calls of a cipher without key schedule fail the same way, never crash.
    EXPECT_THROW(c.cipher->EncodeBlock(data.data(), data.data()), ECipherException);
  }
  EXPECT_THROW(fresh.SetMode(static_cast<TCipherMode>(8)), std::invalid_argument);
}

TEST(CipherRegistryTest, OnlyRijndaelIsRegistered) {
  EXPECT_EQ(CipherRegistryName("TCipher_Rijndael"), "Rijndael");
  EXPECT_EQ(CipherRegistryName("TCipher_3TDES"), "3TDES");
  const std::vector<std::string> entries = RegisteredCiphers();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].rfind("Rijndael=", 0), 0u);
  const TCipherClass found = FindCipherClass("rijndael");
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found()->ClassName(), "TCipher_Rijndael");
  EXPECT_EQ(FindCipherClass("Blowfish"), nullptr);
}

}  // namespace
}  // namespace qdx
