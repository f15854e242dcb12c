#include "engine/foundation/cipher/hash.h"

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md4.h>
#include <cryptopp/ripemd.h>

#include <cassert>

#include "engine/foundation/cipher/wipe.h"

namespace qdx {

THash::THash(std::unique_ptr<CryptoPP::HashTransformation> impl)
    : impl_(std::move(impl)), digestSize_(static_cast<int32_t>(impl_->DigestSize())) {
  assert(digestSize_ <= kMaxDigestSize);
}

THash::~THash() {
  SecureFill(digest_, 0);
}

void THash::Init() {
  impl_->Restart();
  SecureFill(digest_, 0);
}

void THash::Add(std::span<const uint8_t> data) {
  impl_->Update(data.data(), data.size());
}

void THash::Done() {
  impl_->Final(digest_.data());
}

std::span<const uint8_t> THash::DigestKey() const {
  return std::span<const uint8_t>(digest_).first(static_cast<size_t>(digestSize_));
}

THash_MD4::THash_MD4() : THash(std::make_unique<CryptoPP::Weak::MD4>()) {}

THash_RipeMD128::THash_RipeMD128() : THash_MD4(std::make_unique<CryptoPP::RIPEMD128>()) {}

THash_RipeMD256::THash_RipeMD256() : THash_MD4(std::make_unique<CryptoPP::RIPEMD256>()) {}

}  // namespace qdx
