// TQDXBitsArray, a growable array of bits with counting and searching, and TQDXRecordBitmap, the
// set of records that pass one cursor's filters, indexed by record position.
//
// A record bitmap belongs to a cursor. It is valid (Active) for the table's ChangeStamp it was
// built at; any insert, update or delete of any session bumps the stamp and makes it stale, and
// the table data rebuilds a stale bitmap before it trusts it. Its set bits are the filtered
// record count.
//
// Not safe for concurrent use: the table data uses it under its database's critical section.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/core/index.h"

namespace qdx {

class TQDXTableData;

class TQDXBitsArray {
 public:
  static constexpr int64_t kNone = -1;

  int64_t Size() const { return size_; }
  // Keeps the bits below `size`; new bits are clear.
  void Resize(int64_t size);
  // All bits clear, size kept.
  void ClearAll();
  // A bit at or beyond Size grows the array when set; reads beyond Size answer false.
  void Set(int64_t bit, bool value);
  bool Get(int64_t bit) const {
    return bit >= 0 && bit < size_ &&
           ((words_[static_cast<size_t>(bit >> 6)] >> (bit & 63)) & 1) != 0;
  }
  // The number of set bits.
  int64_t Count() const;
  // The number of set bits at positions 0..bit.
  int64_t CountThrough(int64_t bit) const;
  // The first set bit at or after `from`, the last at or before `from`; kNone when none.
  int64_t NextSet(int64_t from) const;
  int64_t PriorSet(int64_t from) const;
  // The position of the n-th (1-based) set bit; kNone when fewer are set.
  int64_t NthSet(int64_t n) const;

 private:
  std::vector<uint64_t> words_;
  int64_t size_ = 0;
};

class TQDXRecordBitmap : public TQDXIndexRecordSet {
 public:
  // 10425 without a table.
  explicit TQDXRecordBitmap(TQDXTableData* table);

  // Not active, or built at another ChangeStamp than the table's.
  bool IsStale() const;
  // The bits become valid for the table's current ChangeStamp.
  void MarkCurrent();
  // The bits become invalid (a filter changed).
  void Invalidate() { Active = false; }

  bool Contains(TQDXRecordID id) override;
  void Remove(TQDXRecordID id) override;
  bool Contains(TQDXRecordID id) const;
  void Set(TQDXRecordID id, bool value);

  TQDXTableData& Table() const { return *table_; }

  TQDXBitsArray Bits;
  bool Active = false;
  bool AllRecords = false;  // the last build found every record passing
  int32_t ChangeStamp = -1;

 private:
  TQDXTableData* table_;
};

}  // namespace qdx
