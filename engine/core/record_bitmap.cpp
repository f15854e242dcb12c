#include "engine/core/record_bitmap.h"

#include <bit>

#include "engine/core/record_manager.h"
#include "engine/core/table_data.h"
#include "engine/foundation/except.h"

namespace qdx {

void TQDXBitsArray::Resize(int64_t size) {
  if (size < 0) size = 0;
  words_.resize(static_cast<size_t>((size + 63) >> 6), 0);
  // Bits beyond the new size must read clear if the array grows again.
  if ((size & 63) != 0) words_.back() &= (uint64_t{1} << (size & 63)) - 1;
  size_ = size;
}

void TQDXBitsArray::ClearAll() {
  std::fill(words_.begin(), words_.end(), 0);
}

void TQDXBitsArray::Set(int64_t bit, bool value) {
  if (bit < 0) return;
  if (bit >= size_) {
    if (!value) return;
    Resize(bit + 1);
  }
  uint64_t& word = words_[static_cast<size_t>(bit >> 6)];
  const uint64_t mask = uint64_t{1} << (bit & 63);
  word = value ? (word | mask) : (word & ~mask);
}

int64_t TQDXBitsArray::Count() const {
  int64_t count = 0;
  for (uint64_t word : words_) count += std::popcount(word);
  return count;
}

int64_t TQDXBitsArray::CountThrough(int64_t bit) const {
  if (bit < 0) return 0;
  if (bit >= size_) return Count();
  const size_t last = static_cast<size_t>(bit >> 6);
  int64_t count = 0;
  for (size_t i = 0; i < last; ++i) count += std::popcount(words_[i]);
  const int shift = static_cast<int>(bit & 63);
  const uint64_t mask = shift == 63 ? ~uint64_t{0} : (uint64_t{1} << (shift + 1)) - 1;
  return count + std::popcount(words_[last] & mask);
}

int64_t TQDXBitsArray::NextSet(int64_t from) const {
  if (from < 0) from = 0;
  if (from >= size_) return kNone;
  size_t i = static_cast<size_t>(from >> 6);
  uint64_t word = words_[i] & (~uint64_t{0} << (from & 63));
  for (;;) {
    if (word != 0) return static_cast<int64_t>(i) * 64 + std::countr_zero(word);
    if (++i == words_.size()) return kNone;
    word = words_[i];
  }
}

int64_t TQDXBitsArray::PriorSet(int64_t from) const {
  if (from < 0) return kNone;
  if (from >= size_) from = size_ - 1;
  if (from < 0) return kNone;
  size_t i = static_cast<size_t>(from >> 6);
  const int shift = static_cast<int>(from & 63);
  uint64_t word = words_[i] & (shift == 63 ? ~uint64_t{0} : (uint64_t{1} << (shift + 1)) - 1);
  for (;;) {
    if (word != 0) return static_cast<int64_t>(i) * 64 + 63 - std::countl_zero(word);
    if (i == 0) return kNone;
    word = words_[--i];
  }
}

int64_t TQDXBitsArray::NthSet(int64_t n) const {
  if (n < 1) return kNone;
  for (size_t i = 0; i < words_.size(); ++i) {
    const int count = std::popcount(words_[i]);
    if (n > count) {
      n -= count;
      continue;
    }
    uint64_t word = words_[i];
    while (--n > 0) word &= word - 1;  // drop the lower set bits
    return static_cast<int64_t>(i) * 64 + std::countr_zero(word);
  }
  return kNone;
}

TQDXRecordBitmap::TQDXRecordBitmap(TQDXTableData* table) : table_(table) {
  if (table == nullptr) Raise(msg::kRecordBitmapWithoutTable);
}

bool TQDXRecordBitmap::IsStale() const {
  return !Active || ChangeStamp != table_->RecordManager().ChangeStamp;
}

void TQDXRecordBitmap::MarkCurrent() {
  Active = true;
  ChangeStamp = table_->RecordManager().ChangeStamp;
}

bool TQDXRecordBitmap::Contains(TQDXRecordID id) const {
  return Bits.Get(table_->RecordIDToPosition(id));
}

bool TQDXRecordBitmap::Contains(TQDXRecordID id) {
  return static_cast<const TQDXRecordBitmap&>(*this).Contains(id);
}

void TQDXRecordBitmap::Set(TQDXRecordID id, bool value) {
  Bits.Set(table_->RecordIDToPosition(id), value);
}

void TQDXRecordBitmap::Remove(TQDXRecordID id) {
  Set(id, false);
}

}  // namespace qdx
