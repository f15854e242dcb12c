#include "engine/foundation/cipher/engine_cipher.h"

#include <cryptopp/secblock.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/foundation/cipher/block_ciphers.h"
#include "engine/foundation/platform/critical_section.h"

namespace qdx {
namespace {

template <typename C>
std::unique_ptr<TCipher> NewKeyedWithPassword(std::string_view password) {
  return CreateCipher<C>(password);
}

struct AlgorithmEntry {
  TQDXCryptoAlgorithm info;
  // Makes a cipher of the class keyed with the password and the default hash, as creating one
  // with a password does.
  std::unique_ptr<TCipher> (*createWithPassword)(std::string_view);
};

const std::array<AlgorithmEntry, kCryptoAlgorithmCount> kAlgorithms = {{
    {{"Rijndael_128", &NewCipher<TCipher_Rijndael>, &NewHash<THash_RipeMD128>, 16, 16},
     &NewKeyedWithPassword<TCipher_Rijndael>},
    {{"Rijndael_256", &NewCipher<TCipher_Rijndael>, &NewHash<THash_RipeMD256>, 16, 32},
     &NewKeyedWithPassword<TCipher_Rijndael>},
    {{"DES_Single", &NewCipher<TCipher_1DES>, &NewHash<THash_RipeMD128>, 8, 8},
     &NewKeyedWithPassword<TCipher_1DES>},
    {{"DES_Triple", &NewCipher<TCipher_3TDES>, &NewHash<THash_RipeMD128>, 24, 16},
     &NewKeyedWithPassword<TCipher_3TDES>},
    {{"Blowfish", &NewCipher<TCipher_Blowfish>, &NewHash<THash_RipeMD256>, 8, 32},
     &NewKeyedWithPassword<TCipher_Blowfish>},
    {{"Twofish_128", &NewCipher<TCipher_Twofish>, &NewHash<THash_RipeMD128>, 16, 16},
     &NewKeyedWithPassword<TCipher_Twofish>},
    {{"Twofish_256", &NewCipher<TCipher_Twofish>, &NewHash<THash_RipeMD256>, 16, 32},
     &NewKeyedWithPassword<TCipher_Twofish>},
    {{"Square", &NewCipher<TCipher_Square>, &NewHash<THash_RipeMD128>, 16, 16},
     &NewKeyedWithPassword<TCipher_Square>},
}};

class CipherCache;

// Every thread's cache, so that a database that disconnects can wipe what any thread keyed
// with its password. Entered before a cache's own lock, never after it.
class CipherCacheRegistry {
 public:
  void Add(CipherCache* cache) {
    platform::CriticalSectionGuard guard(lock_);
    caches_.push_back(cache);
  }
  void Remove(CipherCache* cache) {
    platform::CriticalSectionGuard guard(lock_);
    std::erase(caches_, cache);
  }
  void ClearAll();

 private:
  platform::CriticalSection lock_;
  std::vector<CipherCache*> caches_;
};

CipherCacheRegistry& Registry() {
  static CipherCacheRegistry registry;
  return registry;
}

// The keyed ciphers of one thread, most recently used first. A small array: a process codes
// with one password and at most a couple of algorithms (pages keep the code they were written
// with after the database's algorithm changed). Its lock is held while its thread codes and
// while another thread wipes it.
class CipherCache {
 public:
  static constexpr size_t kEntries = 4;

  CipherCache() { Registry().Add(this); }
  ~CipherCache() { Registry().Remove(this); }
  CipherCache(const CipherCache&) = delete;
  CipherCache& operator=(const CipherCache&) = delete;

  platform::CriticalSection& Lock() { return lock_; }
  size_t Count() const { return count_; }

  // The cipher for (code, password), keyed now if it is not kept yet; its feedback is the
  // vector. Requires code < 8.
  TCipher& Acquire(uint8_t code, std::string_view password) {
    for (size_t i = 0; i < count_; ++i) {
      Entry& entry = entries_[i];
      if (entry.code == code && entry.password.size() == password.size() &&
          (password.empty() ||
           std::memcmp(entry.password.data(), password.data(), password.size()) == 0)) {
        std::rotate(entries_.begin(), entries_.begin() + i, entries_.begin() + i + 1);
        return *entries_[0].cipher;
      }
    }
    Entry fresh{
        code,
        CryptoPP::SecByteBlock(reinterpret_cast<const uint8_t*>(password.data()), password.size()),
        NewEngineCipher(code, password)};
    if (count_ < kEntries) ++count_;
    std::rotate(entries_.begin(), entries_.begin() + count_ - 1, entries_.begin() + count_);
    entries_[0] = std::move(fresh);
    return *entries_[0].cipher;
  }

  // Drops the front entry (the one Acquire answered), whose state is unknown after a failure.
  void DropFront() {
    std::rotate(entries_.begin(), entries_.begin() + 1, entries_.begin() + count_);
    entries_[--count_] = Entry();
  }

  void Clear() {
    for (size_t i = 0; i < count_; ++i) entries_[i] = Entry();
    count_ = 0;
  }

 private:
  struct Entry {
    uint8_t code = 0;
    CryptoPP::SecByteBlock password;  // wiped when released
    std::unique_ptr<TCipher> cipher;
  };

  platform::CriticalSection lock_;
  std::array<Entry, kEntries> entries_;
  size_t count_ = 0;
};

void CipherCacheRegistry::ClearAll() {
  platform::CriticalSectionGuard guard(lock_);
  for (CipherCache* cache : caches_) {
    platform::CriticalSectionGuard cacheGuard(cache->Lock());
    cache->Clear();
  }
}

thread_local CipherCache tCache;

void CodeBuffer(uint8_t code, std::span<uint8_t> buffer, std::string_view password,
                TProtection::TAction action) {
  if (code >= kCryptoAlgorithmCount) return;
  platform::CriticalSectionGuard guard(tCache.Lock());
  TCipher& cipher = tCache.Acquire(code, password);
  try {
    if (action == TProtection::TAction::Encode) {
      cipher.EncodeBuffer(buffer);
    } else {
      cipher.DecodeBuffer(buffer);
    }
    // Back to the starting state for the next buffer. Mode 0 reads nothing else that coding
    // changes: the scratch block is always written before it is read.
    cipher.Done();
  } catch (...) {
    tCache.DropFront();
    throw;
  }
}

}  // namespace

const TQDXCryptoAlgorithm* CryptoAlgorithm(uint8_t code) {
  return code < kCryptoAlgorithmCount ? &kAlgorithms[code].info : nullptr;
}

std::unique_ptr<TCipher> NewEngineCipher(uint8_t code, std::string_view password) {
  const AlgorithmEntry& entry = kAlgorithms.at(code);
  std::unique_ptr<TCipher> cipher = entry.createWithPassword(password);
  cipher->SetHashClass(entry.info.HashClass);
  cipher->InitKey(password, cipher->Vector());
  return cipher;
}

void EncryptBufferOrRaise(uint8_t code, std::span<uint8_t> buffer, std::string_view password) {
  CodeBuffer(code, buffer, password, TProtection::TAction::Encode);
}

void DecryptBufferOrRaise(uint8_t code, std::span<uint8_t> buffer, std::string_view password) {
  CodeBuffer(code, buffer, password, TProtection::TAction::Decode);
}

bool EncryptBuffer(uint8_t code, std::span<uint8_t> buffer, std::string_view password) {
  try {
    EncryptBufferOrRaise(code, buffer, password);
    return true;
  } catch (...) {
    return false;
  }
}

bool DecryptBuffer(uint8_t code, std::span<uint8_t> buffer, std::string_view password) {
  try {
    DecryptBufferOrRaise(code, buffer, password);
    return true;
  } catch (...) {
    return false;
  }
}

void ClearCipherCache() {
  Registry().ClearAll();
}

size_t CipherCacheSize() {
  platform::CriticalSectionGuard guard(tCache.Lock());
  return tCache.Count();
}

}  // namespace qdx
