// The cipher framework: TProtection, the block cipher base TCipher with its feedback modes and
// key setup from a password, ECipherException, and the registry of cipher classes.
//
// A TCipher codes buffers of any length with one block cipher in one of eight feedback modes.
// Its state is three blocks (the initial vector, the running feedback register and a scratch
// block) plus the key schedule of the concrete class (block_ciphers.h). InitKey hashes a
// password, keys the cipher with the leading digest bytes and sets the vector; EncodeBuffer and
// DecodeBuffer then carry the feedback across calls until Done starts the next message afresh.
//
// Invariants:
//   1. Coding needs the vector flag (bit 1), set only by InitEnd after a key schedule was built;
//      without it coding raises ECipherException 3 and nothing is touched.
//   2. Protect wipes every block and the key schedule and clears both flags, so a wiped cipher
//      can never code with a half-built state.
//   3. Source and destination of a buffer call are either the same memory or disjoint.
//
// A cipher object is not safe for concurrent use; the engine gives each thread its own.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/foundation/cipher/hash.h"
#include "engine/foundation/except.h"

namespace qdx {

// The framework's cipher error: a message and an error number.
class ECipherException : public EFrameworkException {
 public:
  // Coding before Init or InitKey.
  static constexpr int32_t kNotInitialized = 3;

  ECipherException(int32_t errorCode, std::string message)
      : EFrameworkException(std::move(message)), errorCode_(errorCode) {}
  int32_t ErrorCode() const noexcept { return errorCode_; }

 private:
  int32_t errorCode_;
};

// The base of coding objects: something that turns a buffer into its coded form and back.
class TProtection {
 public:
  enum class TAction : uint8_t { Encode, Decode };

  virtual ~TProtection() = default;

  // Begin, end and code one piece of a message, in place.
  virtual void CodeInit(TAction action);
  virtual void CodeDone(TAction action);
  virtual void Code(std::span<uint8_t> data, TAction action) = 0;

  // A whole message in one buffer: CodeInit, Code, CodeDone.
  void CodeBuffer(std::span<uint8_t> data, TAction action);
};

// The feedback modes (s = block size, E/D = encode/decode one block, F = feedback, B = the
// scratch block). A trailing partial block of the chained modes is coded as P XOR E(F).
enum class TCipherMode : uint8_t {
  XorChain = 0,     // C = E(P xor F), F = F xor C: the engine's mode
  CBC = 1,          // C = E(P xor F), F = C
  CFB8 = 2,         // per byte, ciphertext shifted into F
  OFB8 = 3,         // per byte, keystream shifted into F
  ECB = 4,          // C = E(P); a partial block is coded inside B
  XorChainMAC = 5,  // no output: F = F xor E(P xor F)
  CBCMAC = 6,       // no output: F = E(P xor F)
  CFB8MAC = 7,      // no output: per byte, P xor keystream shifted into F
};

// What a cipher class is: its block size and the largest key it takes.
struct TCipherContext {
  int32_t BlockSize;
  int32_t MaxKeySize;
};

class TCipher : public TProtection {
 public:
  static constexpr int32_t kMaxBlockSize = 24;
  static constexpr int32_t kFlagKey = 0;     // bit 0: InitKey has keyed the cipher
  static constexpr int32_t kFlagVector = 1;  // bit 1: key schedule and vector are set up

  ~TCipher() override;
  TCipher(const TCipher&) = delete;
  TCipher& operator=(const TCipher&) = delete;

  // TProtection: Code codes in place; CodeDone is Done.
  void Code(std::span<uint8_t> data, TAction action) override;
  void CodeDone(TAction action) override;

  // The cipher's own operations, in the order of its virtual table.
  virtual void SetFlag(int32_t bit, bool on);
  // Ends the key setup: the vector is copied from `initVector` (may be Vector() itself), or
  // without one the vector is encoded in place with the new key; F = vector; flag 1 set.
  virtual void InitEnd(const uint8_t* initVector);
  // One block of BlockSize() bytes; source and destination may be the same memory.
  virtual void EncodeBlock(const uint8_t* source, uint8_t* dest) = 0;
  virtual void DecodeBlock(const uint8_t* source, uint8_t* dest) = 0;
  // Builds the key schedule from `key` (cut to MaxKeySize) and sets up the vector. Every
  // implementation starts with InitBegin and ends with InitEnd.
  virtual void Init(std::span<const uint8_t> key, const uint8_t* initVector) = 0;
  // Ends a message: when F differs from the vector, F goes to the scratch block and the vector
  // to F, so that the next buffer starts from the vector.
  virtual void Done();
  // Wipes the blocks and the key schedule and clears the flags.
  virtual void Protect();

  virtual const char* ClassName() const = 0;

  // Hashes the password with the hash class, keys the cipher with the first
  // min(digest size, MaxKeySize) digest bytes and `initVector` (null: none), encodes the digest
  // in the current mode, calls Done and sets flag 0.
  void InitKey(std::string_view password, const uint8_t* initVector);
  // Drops the hash object; the next InitKey makes one of `hashClass`.
  void SetHashClass(THashClass hashClass);

  // Codes `size` bytes in the current mode; `dest` may be `source`. Raise ECipherException 3
  // when the cipher is not set up.
  void EncodeBuffer(const uint8_t* source, uint8_t* dest, size_t size);
  void DecodeBuffer(const uint8_t* source, uint8_t* dest, size_t size);
  void EncodeBuffer(std::span<uint8_t> data) {
    EncodeBuffer(data.data(), data.data(), data.size());
  }
  void DecodeBuffer(std::span<uint8_t> data) {
    DecodeBuffer(data.data(), data.data(), data.size());
  }

  TCipherMode Mode() const { return mode_; }
  // Raises std::invalid_argument for a value outside the eight modes.
  void SetMode(TCipherMode mode);
  uint32_t Flags() const { return flags_; }
  bool Initialized() const { return (flags_ & (1u << kFlagVector)) != 0; }
  int32_t BlockSize() const { return context_.BlockSize; }
  int32_t MaxKeySize() const { return context_.MaxKeySize; }
  const uint8_t* Vector() const { return vector_.data(); }
  std::span<const uint8_t> Feedback() const { return block(feedback_); }
  std::span<const uint8_t> Buffer() const { return block(buffer_); }

 protected:
  explicit TCipher(TCipherContext context);

  // Opens every Init: clears flag 1, wipes, and answers how many key bytes to use.
  size_t InitBegin(size_t keySize);
  // Decodes `count` consecutive blocks; classes with a faster bulk path override it.
  virtual void DecodeBlocks(const uint8_t* source, uint8_t* dest, size_t count);
  // Raises ECipherException 3.
  [[noreturn]] void RaiseNotInitialized() const;

 private:
  using Block = std::array<uint8_t, kMaxBlockSize>;

  std::span<const uint8_t> block(const Block& b) const {
    return std::span<const uint8_t>(b).first(static_cast<size_t>(context_.BlockSize));
  }
  // The block size, bounded for the compiler's sake (no class has a larger one).
  size_t blockBytes() const {
    return std::min(static_cast<size_t>(context_.BlockSize), static_cast<size_t>(kMaxBlockSize));
  }
  void CheckInitialized() const;
  void EncodeChained(const uint8_t* source, uint8_t* dest, size_t size, bool cbc);
  void DecodeChained(const uint8_t* source, uint8_t* dest, size_t size, bool cbc);
  void CodePartial(const uint8_t* source, uint8_t* dest, size_t size);
  void CodeBytes(const uint8_t* source, uint8_t* dest, size_t size, bool decode, bool ofb);
  void CodeECB(const uint8_t* source, uint8_t* dest, size_t size, bool decode);
  void Authenticate(const uint8_t* source, uint8_t* dest, size_t size);

  TCipherContext context_;
  TCipherMode mode_ = TCipherMode::XorChain;
  uint32_t flags_ = 0;
  Block vector_{};
  Block feedback_{};
  Block buffer_{};
  THashClass hashClass_ = &NewHash<THash_RipeMD256>;
  std::unique_ptr<THash> hash_;
};

// A cipher class: makes a new, unkeyed object of its class.
using TCipherClass = std::unique_ptr<TCipher> (*)();

template <typename C>
std::unique_ptr<TCipher> NewCipher() {
  return std::make_unique<C>();
}

// A cipher of class C, keyed from `password` with the default hash when one is given.
template <typename C>
std::unique_ptr<C> CreateCipher(std::string_view password = {}) {
  auto cipher = std::make_unique<C>();
  if (!password.empty()) cipher->InitKey(password, nullptr);
  return cipher;
}

// The registry of cipher classes, filled once at start: entries "name=description", where the
// name is the class name without its leading letter and everything up to the first "_".
struct TCipherRegistration {
  std::string Name;
  std::string Description;
  TCipherClass CipherClass;
};
// The registry name of a class name: "TCipher_Rijndael" gives "Rijndael".
std::string CipherRegistryName(std::string_view className);
std::vector<std::string> RegisteredCiphers();
// The class registered under `name` (case-insensitive), or null.
TCipherClass FindCipherClass(std::string_view name);

}  // namespace qdx
