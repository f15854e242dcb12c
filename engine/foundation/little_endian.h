// Little-endian byte layouts: the one way the engine reads and writes stored forms.
//
// Every integer in the database file and in every stored or streamed form is little-endian.
// le::Load / le::Store read and write one value at a byte address; ByteReader and ByteWriter
// walk a buffer field by field and raise 20056 "Buffer size exceeded" instead of reading or
// writing past its end, so a damaged length in a file cannot run off a buffer.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace qdx {

namespace le {

template <typename T>
concept Storable = std::is_arithmetic_v<T> &&(sizeof(T) <= 8);

template <Storable T>
T Load(const uint8_t* p) {
  using U = std::conditional_t<
      sizeof(T) == 1, uint8_t,
      std::conditional_t<sizeof(T) == 2, uint16_t,
                         std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
  U raw = 0;
  for (size_t i = 0; i < sizeof(T); ++i) raw |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
  return std::bit_cast<T>(raw);
}

template <Storable T>
void Store(uint8_t* p, T value) {
  using U = std::conditional_t<
      sizeof(T) == 1, uint8_t,
      std::conditional_t<sizeof(T) == 2, uint16_t,
                         std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
  const U raw = std::bit_cast<U>(value);
  for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(raw >> (8 * i));
}

}  // namespace le

// Raises 20056 "Buffer size exceeded".
[[noreturn]] void RaiseBufferSizeExceeded();

// Reads fields in order from a borrowed buffer.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  template <le::Storable T>
  T Read() {
    const uint8_t* p = Take(sizeof(T));
    return le::Load<T>(p);
  }
  uint8_t U8() { return Read<uint8_t>(); }
  int8_t I8() { return Read<int8_t>(); }
  uint16_t U16() { return Read<uint16_t>(); }
  int16_t I16() { return Read<int16_t>(); }
  uint32_t U32() { return Read<uint32_t>(); }
  int32_t I32() { return Read<int32_t>(); }
  uint64_t U64() { return Read<uint64_t>(); }
  int64_t I64() { return Read<int64_t>(); }
  double F64() { return Read<double>(); }

  std::span<const uint8_t> Bytes(size_t count) { return {Take(count), count}; }
  void CopyTo(void* out, size_t count) { std::memcpy(out, Take(count), count); }
  std::string Text(size_t count) {
    const uint8_t* p = Take(count);
    return std::string(reinterpret_cast<const char*>(p), count);
  }
  void Skip(size_t count) { Take(count); }
  void Seek(size_t position) {
    if (position > bytes_.size()) RaiseBufferSizeExceeded();
    pos_ = position;
  }

  size_t Position() const { return pos_; }
  size_t Remaining() const { return bytes_.size() - pos_; }

 private:
  const uint8_t* Take(size_t count) {
    if (count > bytes_.size() - pos_) RaiseBufferSizeExceeded();
    const uint8_t* p = bytes_.data() + pos_;
    pos_ += count;
    return p;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

// Writes fields in order into a borrowed buffer.
class ByteWriter {
 public:
  explicit ByteWriter(std::span<uint8_t> bytes) : bytes_(bytes) {}

  template <le::Storable T>
  void Write(T value) {
    le::Store<T>(Take(sizeof(T)), value);
  }
  void U8(uint8_t v) { Write(v); }
  void I8(int8_t v) { Write(v); }
  void U16(uint16_t v) { Write(v); }
  void I16(int16_t v) { Write(v); }
  void U32(uint32_t v) { Write(v); }
  void I32(int32_t v) { Write(v); }
  void U64(uint64_t v) { Write(v); }
  void I64(int64_t v) { Write(v); }
  void F64(double v) { Write(v); }

  void Bytes(std::span<const uint8_t> data) {
    if (!data.empty()) std::memcpy(Take(data.size()), data.data(), data.size());
  }
  void Text(std::string_view text) {
    if (!text.empty()) std::memcpy(Take(text.size()), text.data(), text.size());
  }
  void Zeros(size_t count) { std::memset(Take(count), 0, count); }
  void Seek(size_t position) {
    if (position > bytes_.size()) RaiseBufferSizeExceeded();
    pos_ = position;
  }

  size_t Position() const { return pos_; }
  size_t Remaining() const { return bytes_.size() - pos_; }

 private:
  uint8_t* Take(size_t count) {
    if (count > bytes_.size() - pos_) RaiseBufferSizeExceeded();
    uint8_t* p = bytes_.data() + pos_;
    pos_ += count;
    return p;
  }

  std::span<uint8_t> bytes_;
  size_t pos_ = 0;
};

}  // namespace qdx
