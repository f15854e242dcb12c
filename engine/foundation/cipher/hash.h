// The hash objects of the cipher framework: THash and the classes a cipher keys itself with.
//
// Key setup turns a password into key bytes by hashing it. THash is a small facade over a
// Crypto++ hash: Init, Add bytes, Done, then DigestKey holds the digest. THash_RipeMD128 and
// THash_RipeMD256 (the two the engine uses) derive from THash_MD4, as in the cipher framework's
// class tree. A hash object belongs to one cipher at a time; it is not safe for concurrent use.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace CryptoPP {
class HashTransformation;
}

namespace qdx {

class THash {
 public:
  // The largest digest of the classes below.
  static constexpr int32_t kMaxDigestSize = 32;

  virtual ~THash();
  THash(const THash&) = delete;
  THash& operator=(const THash&) = delete;

  // Starts a new message.
  void Init();
  void Add(std::span<const uint8_t> data);
  // Finishes the message; DigestKey holds its digest until the next Init.
  void Done();
  std::span<const uint8_t> DigestKey() const;
  int32_t DigestKeySize() const { return digestSize_; }

 protected:
  explicit THash(std::unique_ptr<CryptoPP::HashTransformation> impl);

 private:
  std::unique_ptr<CryptoPP::HashTransformation> impl_;
  int32_t digestSize_;
  std::array<uint8_t, kMaxDigestSize> digest_{};
};

class THash_MD4 : public THash {
 public:
  THash_MD4();

 protected:
  using THash::THash;
};

class THash_RipeMD128 : public THash_MD4 {
 public:
  THash_RipeMD128();
};

class THash_RipeMD256 : public THash_MD4 {
 public:
  THash_RipeMD256();
};

// A hash class: makes a new object of its class.
using THashClass = std::unique_ptr<THash> (*)();

template <typename H>
std::unique_ptr<THash> NewHash() {
  return std::make_unique<H>();
}

}  // namespace qdx
