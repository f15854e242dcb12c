// The PPM coder's carry-less range coder.
//
// 32-bit low and range. After each symbol both sides renormalise: while the top 8 bits of low
// and low + range agree, or range has fallen below 2^15 (then range first becomes
// (-low) mod 2^15, giving up the rest of the interval), the top byte of low is shifted out.
// Frequencies are coded against a total (range / total), binary symbols against 2^14
// (range >> 14). The encoder ends with the 4 bytes of low.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace qdx::ppm {

inline constexpr uint32_t kRangeTop = 1u << 24;
inline constexpr uint32_t kRangeBottom = 1u << 15;

// Writes into a fixed output area; running past it is remembered, not an error at once.
class PpmRangeEncoder {
 public:
  explicit PpmRangeEncoder(std::span<uint8_t> output) : output_(output) {}

  void Encode(uint32_t lowCount, uint32_t highCount, uint32_t total) {
    range_ /= total;
    low_ += lowCount * range_;
    range_ *= highCount - lowCount;
  }
  void EncodeShift(uint32_t lowCount, uint32_t highCount, int totalBits) {
    range_ >>= totalBits;
    low_ += lowCount * range_;
    range_ *= highCount - lowCount;
  }
  void Normalize() {
    for (;;) {
      if ((low_ ^ (low_ + range_)) >= kRangeTop) {
        if (range_ >= kRangeBottom) break;
        range_ = (0u - low_) & (kRangeBottom - 1);
      }
      Put(static_cast<uint8_t>(low_ >> 24));
      range_ <<= 8;
      low_ <<= 8;
    }
  }
  void Flush() {
    for (int i = 0; i < 4; ++i) {
      Put(static_cast<uint8_t>(low_ >> 24));
      low_ <<= 8;
    }
  }

  size_t size() const { return size_; }
  bool overflowed() const { return overflowed_; }

 private:
  void Put(uint8_t byte) {
    if (size_ < output_.size())
      output_[size_++] = byte;
    else
      overflowed_ = true;
  }

  std::span<uint8_t> output_;
  size_t size_ = 0;
  bool overflowed_ = false;
  uint32_t low_ = 0;
  uint32_t range_ = 0xFFFFFFFFu;
};

// Reads a coded stream. Past its end it reads zero bytes and remembers the overrun; a total
// larger than the range (only in damaged data) is remembered as well and never divides by 0.
class PpmRangeDecoder {
 public:
  explicit PpmRangeDecoder(std::span<const uint8_t> input) : input_(input) {
    for (int i = 0; i < 4; ++i) code_ = (code_ << 8) | Get();
  }

  // The count of the next symbol in 0..total-1 (larger only in damaged data).
  uint32_t GetCount(uint32_t total) {
    range_ /= total;
    if (range_ == 0) {
      damaged_ = true;
      range_ = 1;
    }
    return (code_ - low_) / range_;
  }
  uint32_t GetCountShift(int totalBits) {
    range_ >>= totalBits;
    if (range_ == 0) {
      damaged_ = true;
      range_ = 1;
    }
    return (code_ - low_) / range_;
  }
  // Takes the symbol [lowCount, highCount) out of the range GetCount divided.
  void Remove(uint32_t lowCount, uint32_t highCount) {
    low_ += lowCount * range_;
    range_ *= highCount - lowCount;
  }
  void Normalize() {
    // A sound stream needs at most 4 shifts; damaged counts can leave an empty range that
    // would shift forever.
    for (int shifts = 0;; ++shifts) {
      if ((low_ ^ (low_ + range_)) >= kRangeTop) {
        if (range_ >= kRangeBottom) break;
        range_ = (0u - low_) & (kRangeBottom - 1);
      }
      if (shifts == 8) {
        damaged_ = true;
        range_ = 0xFFFFFFFFu;
        break;
      }
      code_ = (code_ << 8) | Get();
      range_ <<= 8;
      low_ <<= 8;
    }
  }

  // True when the stream ran short or held an impossible count.
  bool damaged() const { return damaged_ || position_ > input_.size(); }

 private:
  uint32_t Get() {
    const size_t at = position_++;
    return at < input_.size() ? input_[at] : 0;
  }

  std::span<const uint8_t> input_;
  size_t position_ = 0;
  bool damaged_ = false;
  uint32_t low_ = 0;
  uint32_t code_ = 0;
  uint32_t range_ = 0xFFFFFFFFu;
};

}  // namespace qdx::ppm
