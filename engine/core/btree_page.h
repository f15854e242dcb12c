// TQDXBTreePage: the view of one B-tree index page (page type 12) over the data area of a held
// page, shared by the record indexes and the page indexes.
//
// The B-tree header starts at the first byte of the data area (behind the 40-byte page header):
//
//   offset  size   content
//   0       1      is root (1 for the root page)
//   1       1      is leaf
//   2       4      previous page on the same level (-1 none)
//   6       4      next page on the same level (-1 none)
//   10      1      1 in the root page created with the index; copied by splits; never read
//   11      1      0 (a non-zero value would widen every entry; nothing sets it)
//   12      2      key size K
//   14      2      entry count N
//   16      2      extra header bytes E, 0
//   18 + E  N x S  entries: a K-byte key, then the reference
//
// The reference is the leaf reference in a leaf (6-byte record ID in a record index, 2-byte value
// in a page index) and a 4-byte child page number in a node, so S = K + R or K + 4. In a node,
// entry 0 leads to the leftmost child and its key bytes are zero and never compared; entry i
// (i >= 1) separates: every key of child i - 1 is at most its key, every key of child i at least.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/foundation/little_endian.h"

namespace qdx {

inline constexpr int32_t kBTreeHeaderSize = 18;
inline constexpr int32_t kBTreeNodeRefSize = 4;

class TQDXBTreePage {
 public:
  // Requires: `data` is the data area (dataSize bytes) of a held page.
  TQDXBTreePage(uint8_t* data, int32_t dataSize, int32_t leafRefSize)
      : data_(data), dataSize_(dataSize), leafRefSize_(leafRefSize) {}

  // An empty page: no links, byte 10 as given, no entries.
  void Init(bool root, bool leaf, int32_t keySize, uint8_t createdFlag) {
    std::memset(data_, 0, kBTreeHeaderSize);
    data_[0] = root ? 1 : 0;
    data_[1] = leaf ? 1 : 0;
    SetPrevPageNo(-1);
    SetNextPageNo(-1);
    data_[10] = createdFlag;
    le::Store<uint16_t>(data_ + 12, static_cast<uint16_t>(keySize));
  }

  bool IsRoot() const { return data_[0] != 0; }
  void SetRoot(bool root) { data_[0] = root ? 1 : 0; }
  bool IsLeaf() const { return data_[1] != 0; }
  void SetLeaf(bool leaf) { data_[1] = leaf ? 1 : 0; }
  int32_t PrevPageNo() const { return le::Load<int32_t>(data_ + 2); }
  void SetPrevPageNo(int32_t pageNo) { le::Store(data_ + 2, pageNo); }
  int32_t NextPageNo() const { return le::Load<int32_t>(data_ + 6); }
  void SetNextPageNo(int32_t pageNo) { le::Store(data_ + 6, pageNo); }
  uint8_t CreatedFlag() const { return data_[10]; }
  uint8_t WideEntries() const { return data_[11]; }
  int32_t KeySize() const { return le::Load<uint16_t>(data_ + 12); }
  int32_t EntryCount() const { return le::Load<uint16_t>(data_ + 14); }
  void SetEntryCount(int32_t count) { le::Store(data_ + 14, static_cast<uint16_t>(count)); }
  int32_t ExtraSize() const { return le::Load<uint16_t>(data_ + 16); }

  int32_t RefSize() const { return IsLeaf() ? leafRefSize_ : kBTreeNodeRefSize; }
  int32_t EntrySize() const { return KeySize() + RefSize(); }
  int32_t DataSize() const { return dataSize_; }
  // The most entries the page can hold.
  int32_t Capacity() const { return (dataSize_ - kBTreeHeaderSize - ExtraSize()) / EntrySize(); }

  uint8_t* Entry(int32_t i) const {
    return data_ + kBTreeHeaderSize + ExtraSize() + static_cast<ptrdiff_t>(i) * EntrySize();
  }
  uint8_t* Key(int32_t i) const { return Entry(i); }
  uint8_t* Ref(int32_t i) const { return Entry(i) + KeySize(); }
  // Requires: a node.
  int32_t Child(int32_t i) const { return le::Load<int32_t>(Ref(i)); }
  void SetChild(int32_t i, int32_t pageNo) { le::Store(Ref(i), pageNo); }

  // Whether the header can be trusted: the key size the index expects, no widened entries and no
  // more entries than fit.
  bool IsSound(int32_t keySize) const {
    if (KeySize() != keySize || WideEntries() != 0) return false;
    if (kBTreeHeaderSize + ExtraSize() + EntrySize() > dataSize_) return false;
    return EntryCount() <= Capacity();
  }

 private:
  uint8_t* data_;
  int32_t dataSize_;
  int32_t leafRefSize_;
};

}  // namespace qdx
