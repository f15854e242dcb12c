#include "engine/foundation/cipher/cipher.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <stdexcept>

#include "engine/foundation/cipher/wipe.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {
namespace {

// dest[i] ^= source[i]; eight bytes at a time where it can.
inline void XorInto(uint8_t* dest, const uint8_t* source, size_t size) {
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t a, b;
    std::memcpy(&a, dest + i, 8);
    std::memcpy(&b, source + i, 8);
    a ^= b;
    std::memcpy(dest + i, &a, 8);
  }
  for (; i < size; ++i) dest[i] ^= source[i];
}

// dest[i] = a[i] ^ b[i].
inline void XorTo(uint8_t* dest, const uint8_t* a, const uint8_t* b, size_t size) {
  std::memmove(dest, a, size);  // dest may be a
  XorInto(dest, b, size);
}

// Bytes of ciphertext decoded per bulk call while deciphering the chained modes: a multiple of
// every block size (8, 16, 24).
constexpr size_t kDecodeChunk = 384;

}  // namespace

// ---- TProtection ----

void TProtection::CodeInit(TAction) {}

void TProtection::CodeDone(TAction) {}

void TProtection::CodeBuffer(std::span<uint8_t> data, TAction action) {
  CodeInit(action);
  Code(data, action);
  CodeDone(action);
}

// ---- TCipher: state ----

TCipher::TCipher(TCipherContext context) : context_(context) {
  assert(context.BlockSize > 0 && context.BlockSize <= kMaxBlockSize);
  TCipher::Protect();
}

TCipher::~TCipher() {
  TCipher::Protect();
}

void TCipher::SetFlag(int32_t bit, bool on) {
  if (on) {
    flags_ |= 1u << bit;
  } else {
    flags_ &= ~(1u << bit);
  }
}

void TCipher::Protect() {
  flags_ = 0;
  for (const uint8_t value : {0xAA, 0x55, 0xFF}) {
    SecureFill(vector_, value);
    SecureFill(feedback_, value);
  }
  for (const uint8_t value : {0xAA, 0x55, 0x00}) SecureFill(buffer_, value);
}

size_t TCipher::InitBegin(size_t keySize) {
  SetFlag(kFlagVector, false);
  Protect();
  return std::min(keySize, static_cast<size_t>(context_.MaxKeySize));
}

void TCipher::InitEnd(const uint8_t* initVector) {
  const size_t s = blockBytes();
  if (initVector != nullptr) {
    std::memmove(vector_.data(), initVector, s);
  } else {
    EncodeBlock(vector_.data(), vector_.data());
  }
  std::memcpy(feedback_.data(), vector_.data(), s);
  SetFlag(kFlagVector, true);
}

void TCipher::Done() {
  const size_t s = blockBytes();
  if (std::memcmp(feedback_.data(), vector_.data(), s) != 0) {
    std::memcpy(buffer_.data(), feedback_.data(), s);
    std::memcpy(feedback_.data(), vector_.data(), s);
  }
}

void TCipher::SetMode(TCipherMode mode) {
  if (static_cast<uint8_t>(mode) > static_cast<uint8_t>(TCipherMode::CFB8MAC)) {
    throw std::invalid_argument("TCipher::SetMode: no such feedback mode");
  }
  mode_ = mode;
}

void TCipher::SetHashClass(THashClass hashClass) {
  hash_.reset();
  hashClass_ = hashClass;
}

void TCipher::InitKey(std::string_view password, const uint8_t* initVector) {
  if (!hash_) hash_ = hashClass_();
  hash_->Init();
  hash_->Add({reinterpret_cast<const uint8_t*>(password.data()), password.size()});
  hash_->Done();

  std::array<uint8_t, THash::kMaxDigestSize> digest{};
  const ScopeExit wipe([&digest] { SecureFill(digest, 0); });
  const std::span<const uint8_t> digestKey = hash_->DigestKey();
  std::copy(digestKey.begin(), digestKey.end(), digest.begin());

  const size_t keySize = std::min(digestKey.size(), static_cast<size_t>(context_.MaxKeySize));
  Init(std::span<const uint8_t>(digest).first(keySize), initVector);
  EncodeBuffer(digest.data(), digest.data(), digestKey.size());
  Done();
  SetFlag(kFlagKey, true);
}

void TCipher::RaiseNotInitialized() const {
  const FormatArg className(ClassName());
  throw ECipherException(ECipherException::kNotInitialized,
                         FormatOrFallback(msg::kCipherNotInitialized, {&className, 1}));
}

void TCipher::CheckInitialized() const {
  if (!Initialized()) RaiseNotInitialized();
}

void TCipher::DecodeBlocks(const uint8_t* source, uint8_t* dest, size_t count) {
  const size_t s = blockBytes();
  for (size_t i = 0; i < count; ++i) DecodeBlock(source + i * s, dest + i * s);
}

// ---- TCipher: buffers ----

void TCipher::Code(std::span<uint8_t> data, TAction action) {
  if (action == TAction::Encode) {
    EncodeBuffer(data);
  } else {
    DecodeBuffer(data);
  }
}

void TCipher::CodeDone(TAction) {
  Done();
}

void TCipher::EncodeBuffer(const uint8_t* source, uint8_t* dest, size_t size) {
  CheckInitialized();
  switch (mode_) {
    case TCipherMode::XorChain:
      return EncodeChained(source, dest, size, false);
    case TCipherMode::CBC:
      return EncodeChained(source, dest, size, true);
    case TCipherMode::CFB8:
      return CodeBytes(source, dest, size, false, false);
    case TCipherMode::OFB8:
      return CodeBytes(source, dest, size, false, true);
    case TCipherMode::ECB:
      return CodeECB(source, dest, size, false);
    case TCipherMode::XorChainMAC:
    case TCipherMode::CBCMAC:
    case TCipherMode::CFB8MAC:
      return Authenticate(source, dest, size);
  }
}

void TCipher::DecodeBuffer(const uint8_t* source, uint8_t* dest, size_t size) {
  CheckInitialized();
  switch (mode_) {
    case TCipherMode::XorChain:
      return DecodeChained(source, dest, size, false);
    case TCipherMode::CBC:
      return DecodeChained(source, dest, size, true);
    case TCipherMode::CFB8:
      return CodeBytes(source, dest, size, true, false);
    case TCipherMode::OFB8:
      return CodeBytes(source, dest, size, true, true);
    case TCipherMode::ECB:
      return CodeECB(source, dest, size, true);
    case TCipherMode::XorChainMAC:
    case TCipherMode::CBCMAC:
    case TCipherMode::CFB8MAC:
      return Authenticate(source, dest, size);
  }
}

// Modes 0 and 1. Encoding is serial: each block's input depends on the previous output.
void TCipher::EncodeChained(const uint8_t* source, uint8_t* dest, size_t size, bool cbc) {
  const size_t s = blockBytes();
  uint8_t* f = feedback_.data();
  Block t;
  for (; size >= s; size -= s, source += s, dest += s) {
    XorTo(t.data(), source, f, s);
    EncodeBlock(t.data(), dest);
    if (cbc) {
      std::memcpy(f, dest, s);
    } else {
      XorInto(f, dest, s);
    }
  }
  if (size > 0) CodePartial(source, dest, size);
}

// Modes 0 and 1. Every feedback value follows from the ciphertext alone, so whole runs of
// blocks are deciphered in one bulk call (which pipelines where the cipher can) and then
// unchained: P = D(C) xor F, before F takes C in.
void TCipher::DecodeChained(const uint8_t* source, uint8_t* dest, size_t size, bool cbc) {
  const size_t s = blockBytes();
  uint8_t* f = feedback_.data();
  std::array<uint8_t, kDecodeChunk> saved;
  while (size >= s) {
    const size_t count = std::min(size / s, kDecodeChunk / s);
    const size_t bytes = count * s;
    std::memcpy(saved.data(), source, bytes);  // dest may be source
    DecodeBlocks(saved.data(), dest, count);
    for (size_t k = 0; k < bytes; k += s) {
      XorInto(dest + k, f, s);
      if (cbc) {
        std::memcpy(f, saved.data() + k, s);
      } else {
        XorInto(f, saved.data() + k, s);
      }
    }
    source += bytes;
    dest += bytes;
    size -= bytes;
  }
  if (size > 0) CodePartial(source, dest, size);
}

// The trailing partial block of modes 0 and 1, both ways: B = E(F), out = in xor B, F ^= B.
void TCipher::CodePartial(const uint8_t* source, uint8_t* dest, size_t size) {
  const size_t s = blockBytes();
  EncodeBlock(feedback_.data(), buffer_.data());
  XorTo(dest, source, buffer_.data(), size);
  XorInto(feedback_.data(), buffer_.data(), s);
}

// Modes 2 and 3: one byte per block operation; F shifts left by a byte each time and takes in
// the ciphertext byte (CFB) or the keystream byte (OFB).
void TCipher::CodeBytes(const uint8_t* source, uint8_t* dest, size_t size, bool decode, bool ofb) {
  const size_t s = blockBytes();
  uint8_t* f = feedback_.data();
  uint8_t* b = buffer_.data();
  for (size_t i = 0; i < size; ++i) {
    EncodeBlock(f, b);
    const uint8_t in = source[i];
    const uint8_t out = in ^ b[0];
    std::memmove(f, f + 1, s - 1);
    f[s - 1] = ofb ? b[0] : (decode ? in : out);
    dest[i] = out;
  }
}

// Mode 4. A partial block is coded inside the scratch block, whose other bytes are whatever it
// held; the partial output therefore cannot be decoded back (it is kept as the format has it).
void TCipher::CodeECB(const uint8_t* source, uint8_t* dest, size_t size, bool decode) {
  const size_t s = blockBytes();
  for (; size >= s; size -= s, source += s, dest += s) {
    if (decode) {
      DecodeBlock(source, dest);
    } else {
      EncodeBlock(source, dest);
    }
  }
  if (size > 0) {
    std::memcpy(buffer_.data(), source, size);
    if (decode) {
      DecodeBlock(buffer_.data(), buffer_.data());
    } else {
      EncodeBlock(buffer_.data(), buffer_.data());
    }
    std::memcpy(dest, buffer_.data(), size);
  }
}

// Modes 5 to 7, the same both ways: the data passes unchanged and only F moves. A trailing
// partial block of modes 5 and 6 advances F without its bytes taking part.
void TCipher::Authenticate(const uint8_t* source, uint8_t* dest, size_t size) {
  const size_t s = blockBytes();
  uint8_t* f = feedback_.data();
  uint8_t* b = buffer_.data();
  if (dest != source && size > 0) std::memcpy(dest, source, size);
  if (mode_ == TCipherMode::CFB8MAC) {
    for (size_t i = 0; i < size; ++i) {
      EncodeBlock(f, b);
      std::memmove(f, f + 1, s - 1);
      f[s - 1] = source[i] ^ b[0];
    }
    return;
  }
  Block t;
  for (; size >= s; size -= s, source += s) {
    XorTo(t.data(), source, f, s);
    EncodeBlock(t.data(), b);
    if (mode_ == TCipherMode::CBCMAC) {
      std::memcpy(f, b, s);
    } else {
      XorInto(f, b, s);
    }
  }
  if (size > 0) {
    EncodeBlock(f, b);
    XorInto(f, b, s);
  }
}

}  // namespace qdx
