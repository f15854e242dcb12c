// The cipher classes: one TCipher per block cipher, each a thin key-setup layer over the raw
// Crypto++ block cipher.
//
// What each class adds to the published cipher is how a key of any length up to its largest
// key size becomes the cipher's key:
//
//   class             block  largest key  key given to the block cipher
//   TCipher_Rijndael    16       32       zero-padded to 16, 24 or 32 (10, 12 or 14 rounds)
//   TCipher_1DES         8        8       zero-padded to 8
//   TCipher_3DES         8       24       zero-padded to 24: K1 = 0..7, K2 = 8..15, K3 = 16..23
//   TCipher_3TDES       24       24       as TCipher_3DES, on 24-byte blocks (below)
//   TCipher_Blowfish     8       56       as given; shorter than 4 bytes repeated to 4 or more
//                                         (the same key schedule, which cycles the key)
//   TCipher_Twofish     16       32       zero-padded to 16, 24 or 32
//   TCipher_Square      16       16       zero-padded to 16
//
// TCipher_3DES is E(K1), D(K2), E(K3) on one DES block. TCipher_3TDES treats 24 bytes as three
// DES blocks A, B, C and runs each stage over all three, exchanging bytes 4..7 with bytes 8..11
// between stages: E(K1); exchange; D(K2); exchange; E(K3). Decoding mirrors it: D(K3);
// exchange; E(K2); exchange; D(K1). Bytes 12..19 never move.
#pragma once

#include <cryptopp/blowfish.h>
#include <cryptopp/des.h>
#include <cryptopp/rijndael.h>
#include <cryptopp/square.h>
#include <cryptopp/twofish.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "engine/foundation/cipher/cipher.h"

namespace qdx {

// An encryption and a decryption object of one Crypto++ block cipher, keyed alike.
template <typename Algo>
class KeyedBlockCipher {
 public:
  void SetKey(const uint8_t* key, size_t size) {
    encryption_.emplace(key, size);
    decryption_.emplace(key, size);
  }
  // Drops the key schedules; Crypto++ wipes them as they go.
  void Reset() {
    encryption_.reset();
    decryption_.reset();
  }
  bool Keyed() const { return encryption_.has_value(); }
  void Encrypt(const uint8_t* in, uint8_t* out) const { encryption_->ProcessBlock(in, out); }
  void Decrypt(const uint8_t* in, uint8_t* out) const { decryption_->ProcessBlock(in, out); }
  // Requires: `in` and `out` do not overlap.
  void DecryptBlocks(const uint8_t* in, uint8_t* out, size_t count) const {
    decryption_->AdvancedProcessBlocks(in, nullptr, out, count * Algo::BLOCKSIZE, 0);
  }

 private:
  std::optional<typename Algo::Encryption> encryption_;
  std::optional<typename Algo::Decryption> decryption_;
};

// The shape shared by the classes built on a single Crypto++ block cipher: a class only says
// how its key is laid out (PrepareKey).
template <typename Algo>
class TSingleBlockCipher : public TCipher {
 public:
  void EncodeBlock(const uint8_t* source, uint8_t* dest) override {
    if (!cipher_.Keyed()) RaiseNotInitialized();
    cipher_.Encrypt(source, dest);
  }
  void DecodeBlock(const uint8_t* source, uint8_t* dest) override {
    if (!cipher_.Keyed()) RaiseNotInitialized();
    cipher_.Decrypt(source, dest);
  }
  void Init(std::span<const uint8_t> key, const uint8_t* initVector) override;
  void Protect() override {
    cipher_.Reset();
    TCipher::Protect();
  }

 protected:
  using KeyBytes = std::array<uint8_t, 64>;
  using TCipher::TCipher;

  // `key` holds the first `size` key bytes and zeros after them; answers the length of the key
  // to give the block cipher, rearranging `key` where the class needs it.
  virtual size_t PrepareKey(KeyBytes& key, size_t size) = 0;
  void DecodeBlocks(const uint8_t* source, uint8_t* dest, size_t count) override {
    if (!cipher_.Keyed()) RaiseNotInitialized();
    cipher_.DecryptBlocks(source, dest, count);
  }

 private:
  KeyedBlockCipher<Algo> cipher_;
};

class TCipher_Rijndael : public TSingleBlockCipher<CryptoPP::Rijndael> {
 public:
  static constexpr TCipherContext kContext{16, 32};
  TCipher_Rijndael() : TSingleBlockCipher(kContext) {}
  const char* ClassName() const override { return "TCipher_Rijndael"; }
  // 10, 12 or 14 for the current key; 0 before Init.
  int32_t Rounds() const { return rounds_; }
  void Protect() override {
    rounds_ = 0;
    TSingleBlockCipher::Protect();
  }

 protected:
  size_t PrepareKey(KeyBytes& key, size_t size) override;

 private:
  int32_t rounds_ = 0;
};

class TCipher_1DES : public TSingleBlockCipher<CryptoPP::DES> {
 public:
  static constexpr TCipherContext kContext{8, 8};
  TCipher_1DES() : TSingleBlockCipher(kContext) {}
  const char* ClassName() const override { return "TCipher_1DES"; }

 protected:
  size_t PrepareKey(KeyBytes& key, size_t size) override;
};

class TCipher_Blowfish : public TSingleBlockCipher<CryptoPP::Blowfish> {
 public:
  static constexpr TCipherContext kContext{8, 56};
  TCipher_Blowfish() : TSingleBlockCipher(kContext) {}
  const char* ClassName() const override { return "TCipher_Blowfish"; }

 protected:
  size_t PrepareKey(KeyBytes& key, size_t size) override;
};

class TCipher_Twofish : public TSingleBlockCipher<CryptoPP::Twofish> {
 public:
  static constexpr TCipherContext kContext{16, 32};
  TCipher_Twofish() : TSingleBlockCipher(kContext) {}
  const char* ClassName() const override { return "TCipher_Twofish"; }

 protected:
  size_t PrepareKey(KeyBytes& key, size_t size) override;
};

class TCipher_Square : public TSingleBlockCipher<CryptoPP::Square> {
 public:
  static constexpr TCipherContext kContext{16, 16};
  TCipher_Square() : TSingleBlockCipher(kContext) {}
  const char* ClassName() const override { return "TCipher_Square"; }

 protected:
  size_t PrepareKey(KeyBytes& key, size_t size) override;
};

class TCipher_3DES : public TCipher {
 public:
  static constexpr TCipherContext kContext{8, 24};
  TCipher_3DES() : TCipher_3DES(kContext) {}
  const char* ClassName() const override { return "TCipher_3DES"; }
  void EncodeBlock(const uint8_t* source, uint8_t* dest) override;
  void DecodeBlock(const uint8_t* source, uint8_t* dest) override;
  void Init(std::span<const uint8_t> key, const uint8_t* initVector) override;
  void Protect() override;

 protected:
  explicit TCipher_3DES(TCipherContext context) : TCipher(context) {}
  void CheckKeyed() const {
    if (!k3_.Keyed()) RaiseNotInitialized();
  }

  KeyedBlockCipher<CryptoPP::DES> k1_, k2_, k3_;
};

class TCipher_3TDES : public TCipher_3DES {
 public:
  static constexpr TCipherContext kContext{24, 24};
  TCipher_3TDES() : TCipher_3DES(kContext) {}
  const char* ClassName() const override { return "TCipher_3TDES"; }
  void EncodeBlock(const uint8_t* source, uint8_t* dest) override;
  void DecodeBlock(const uint8_t* source, uint8_t* dest) override;
};

}  // namespace qdx
