#include "engine/foundation/cipher/block_ciphers.h"

#include <algorithm>
#include <cstring>

#include "engine/foundation/cipher/wipe.h"

namespace qdx {
namespace {

// 16, 24 or 32: the smallest standard key length that holds `size` bytes.
size_t StandardKeyLength(size_t size) {
  if (size <= 16) return 16;
  if (size <= 24) return 24;
  return 32;
}

// The exchange between the stages of TCipher_3TDES: bytes 4..7 with bytes 8..11.
void ExchangeMiddle(uint8_t* block) {
  std::swap_ranges(block + 4, block + 8, block + 8);
}

}  // namespace

template <typename Algo>
void TSingleBlockCipher<Algo>::Init(std::span<const uint8_t> key, const uint8_t* initVector) {
  const size_t size = InitBegin(key.size());
  KeyBytes bytes{};
  std::copy_n(key.begin(), size, bytes.begin());
  const size_t length = PrepareKey(bytes, size);
  cipher_.SetKey(bytes.data(), length);
  SecureFill(bytes, 0);
  InitEnd(initVector);
}

size_t TCipher_Rijndael::PrepareKey(KeyBytes&, size_t size) {
  const size_t length = StandardKeyLength(size);
  rounds_ = static_cast<int32_t>(6 + length / 4);
  return length;
}

size_t TCipher_1DES::PrepareKey(KeyBytes&, size_t) {
  return 8;
}

size_t TCipher_Blowfish::PrepareKey(KeyBytes& key, size_t size) {
  // Blowfish folds the key into its schedule cyclically, so a key repeated whole gives the same
  // schedule; an empty key folds in nothing, as four zero bytes do.
  if (size == 0) return 4;
  const size_t length = size * ((4 + size - 1) / size);
  for (size_t i = size; i < length; ++i) key[i] = key[i % size];
  return length;
}

size_t TCipher_Twofish::PrepareKey(KeyBytes&, size_t size) {
  return StandardKeyLength(size);
}

size_t TCipher_Square::PrepareKey(KeyBytes&, size_t) {
  return 16;
}

template class TSingleBlockCipher<CryptoPP::Rijndael>;
template class TSingleBlockCipher<CryptoPP::DES>;
template class TSingleBlockCipher<CryptoPP::Blowfish>;
template class TSingleBlockCipher<CryptoPP::Twofish>;
template class TSingleBlockCipher<CryptoPP::Square>;

// ---- Triple DES ----

void TCipher_3DES::Init(std::span<const uint8_t> key, const uint8_t* initVector) {
  const size_t size = InitBegin(key.size());
  std::array<uint8_t, 24> bytes{};
  std::copy_n(key.begin(), size, bytes.begin());
  k1_.SetKey(bytes.data(), 8);
  k2_.SetKey(bytes.data() + 8, 8);
  k3_.SetKey(bytes.data() + 16, 8);
  SecureFill(bytes, 0);
  InitEnd(initVector);
}

void TCipher_3DES::Protect() {
  k1_.Reset();
  k2_.Reset();
  k3_.Reset();
  TCipher::Protect();
}

void TCipher_3DES::EncodeBlock(const uint8_t* source, uint8_t* dest) {
  CheckKeyed();
  k1_.Encrypt(source, dest);
  k2_.Decrypt(dest, dest);
  k3_.Encrypt(dest, dest);
}

void TCipher_3DES::DecodeBlock(const uint8_t* source, uint8_t* dest) {
  CheckKeyed();
  k3_.Decrypt(source, dest);
  k2_.Encrypt(dest, dest);
  k1_.Decrypt(dest, dest);
}

void TCipher_3TDES::EncodeBlock(const uint8_t* source, uint8_t* dest) {
  CheckKeyed();
  for (int i = 0; i < 24; i += 8) k1_.Encrypt(source + i, dest + i);
  ExchangeMiddle(dest);
  for (int i = 0; i < 24; i += 8) k2_.Decrypt(dest + i, dest + i);
  ExchangeMiddle(dest);
  for (int i = 0; i < 24; i += 8) k3_.Encrypt(dest + i, dest + i);
}

void TCipher_3TDES::DecodeBlock(const uint8_t* source, uint8_t* dest) {
  CheckKeyed();
  for (int i = 0; i < 24; i += 8) k3_.Decrypt(source + i, dest + i);
  ExchangeMiddle(dest);
  for (int i = 0; i < 24; i += 8) k2_.Encrypt(dest + i, dest + i);
  ExchangeMiddle(dest);
  for (int i = 0; i < 24; i += 8) k1_.Decrypt(dest + i, dest + i);
}

}  // namespace qdx
