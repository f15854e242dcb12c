#include "engine/disk/record_page.h"

#include <bit>
#include <cstring>

#include "engine/core/page_format.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

int32_t RecordsPerPage(int32_t pageDataSize, int32_t recordSize) {
  // (D - 1) / (S + 1/8) = 8 (D - 1) / (8 S + 1); both sides are exact integers in 64 bits.
  const int64_t numerator = 8 * (static_cast<int64_t>(pageDataSize) - 1);
  const int64_t denominator = 8 * static_cast<int64_t>(recordSize) + 1;
  return static_cast<int32_t>(numerator / denominator);
}

int64_t RecordPosition(TQDXRecordID id, int32_t recordsPerPage) {
  return static_cast<int64_t>(id.PageNo) * recordsPerPage + id.SlotNo;
}

TQDXRecordID RecordIDOfPosition(int64_t position, int32_t recordsPerPage) {
  return {static_cast<int32_t>(position / recordsPerPage),
          static_cast<uint16_t>(position % recordsPerPage)};
}

bool IsRecordPageOf(std::span<const uint8_t> pageHeader, int32_t tableID) {
  if (pageHeader.size() < kPageHeaderSize) return false;
  const uint8_t* header = pageHeader.data();
  return page_header::PageVersion(header) <= kPageVersionWrap &&
         page_header::PageType(header) == ptTableRecord &&
         page_header::OwnerObjectID(header) == tableID;
}

TQDXSmallRecordPage::TQDXSmallRecordPage(std::span<uint8_t> data, int32_t recordsPerPage,
                                         int32_t recordSize)
    : data_(data),
      recordsPerPage_(recordsPerPage),
      recordSize_(recordSize),
      bitmapSize_(RecordBitmapSize(recordsPerPage)) {
  if (recordsPerPage < 0 || recordSize < 0 || recordsPerPage > kMaxRecordsPerPage) {
    Raise(msg::kInvalidNumberOfRecordsOnPage);
  }
  const int64_t needed = static_cast<int64_t>(recordsPerPage) * recordSize + bitmapSize_;
  if (needed > static_cast<int64_t>(data.size())) Raise(msg::kInvalidNumberOfRecordsOnPage);
}

void TQDXSmallRecordPage::CheckSlot(int32_t slot) const {
  if (slot < 0 || slot >= recordsPerPage_) Raise(msg::kInvalidRecordSlot, {slot, recordsPerPage_});
}

uint8_t TQDXSmallRecordPage::BitmapByte(int32_t index) const {
  const uint8_t byte = data_[static_cast<size_t>(index)];
  const int32_t slotsInByte = recordsPerPage_ - index * 8;
  return slotsInByte >= 8 ? byte : static_cast<uint8_t>(byte & ((1u << slotsInByte) - 1));
}

bool TQDXSmallRecordPage::IsUsed(int32_t slot) const {
  if (slot < 0 || slot >= recordsPerPage_) return false;
  return (data_[static_cast<size_t>(slot / 8)] >> (slot % 8) & 1) != 0;
}

void TQDXSmallRecordPage::SetUsed(int32_t slot, bool used) {
  CheckSlot(slot);
  uint8_t& byte = data_[static_cast<size_t>(slot / 8)];
  const auto bit = static_cast<uint8_t>(1u << (slot % 8));
  byte = used ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
}

int32_t TQDXSmallRecordPage::RecordCount() const {
  int32_t count = 0;
  for (int32_t i = 0; i < bitmapSize_; ++i) count += std::popcount(BitmapByte(i));
  return count;
}

int32_t TQDXSmallRecordPage::FindFreeSlot() const {
  for (int32_t i = 0; i < bitmapSize_; ++i) {
    const uint8_t byte = data_[static_cast<size_t>(i)];
    if (byte == 0xFF) continue;
    const int32_t slot = i * 8 + std::countr_one(byte);
    return slot < recordsPerPage_ ? slot : -1;
  }
  return -1;
}

int32_t TQDXSmallRecordPage::NextUsedSlot(int32_t from) const {
  for (int32_t slot = from < 0 ? 0 : from; slot < recordsPerPage_; ++slot) {
    if ((slot % 8) == 0 && BitmapByte(slot / 8) == 0) {
      slot += 7;  // skip an empty byte
      continue;
    }
    if (IsUsed(slot)) return slot;
  }
  return -1;
}

int32_t TQDXSmallRecordPage::PriorUsedSlot(int32_t from) const {
  for (int32_t slot = from >= recordsPerPage_ ? recordsPerPage_ - 1 : from; slot >= 0; --slot) {
    if (IsUsed(slot)) return slot;
  }
  return -1;
}

int32_t TQDXSmallRecordPage::NthUsedSlot(int32_t n) const {
  if (n < 0) return -1;
  for (int32_t i = 0; i < bitmapSize_; ++i) {
    uint8_t byte = BitmapByte(i);
    const int32_t inByte = std::popcount(byte);
    if (n >= inByte) {
      n -= inByte;
      continue;
    }
    for (; n > 0; --n) byte = static_cast<uint8_t>(byte & (byte - 1));  // drop the lowest bits
    return i * 8 + std::countr_zero(byte);
  }
  return -1;
}

int32_t TQDXSmallRecordPage::UsedSlotsBefore(int32_t slot) const {
  if (slot > recordsPerPage_) slot = recordsPerPage_;
  int32_t count = 0;
  for (int32_t i = 0; i < slot / 8; ++i) count += std::popcount(BitmapByte(i));
  if (slot > 0 && slot % 8 != 0) {
    const auto below = static_cast<uint8_t>((1u << (slot % 8)) - 1);
    count += std::popcount(static_cast<uint8_t>(data_[static_cast<size_t>(slot / 8)] & below));
  }
  return count;
}

std::span<const uint8_t> TQDXSmallRecordPage::Record(int32_t slot) const {
  CheckSlot(slot);
  return data_.subspan(static_cast<size_t>(SlotOffset(slot)), static_cast<size_t>(recordSize_));
}

void TQDXSmallRecordPage::WriteRecord(int32_t slot, std::span<const uint8_t> record) {
  CheckSlot(slot);
  if (record.size() != static_cast<size_t>(recordSize_)) RaiseBufferSizeExceeded();
  if (!record.empty()) {
    std::memcpy(data_.data() + SlotOffset(slot), record.data(), record.size());
  }
  SetUsed(slot, true);
}

int32_t TQDXSmallRecordPage::InsertRecord(std::span<const uint8_t> record) {
  const int32_t slot = FindFreeSlot();
  if (slot < 0) Raise(msg::kRecordPageFull);
  WriteRecord(slot, record);
  return slot;
}

bool TQDXSmallRecordPage::DeleteRecord(int32_t slot) {
  if (!IsUsed(slot)) return false;
  SetUsed(slot, false);
  return true;
}

}  // namespace qdx
