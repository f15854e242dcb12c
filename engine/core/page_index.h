// TQDXBTreePageIndex: a B-tree of page numbers (int32 keys) with a 2-byte value each, which the
// disk engine uses to list a table's record pages (value: records stored in the page) and BLOB
// pages (value: bytes used), with TQDXBTreeRecordPageIndex and TQDXBTreeBlobPageIndex.
//
// A leaf entry is the 4-byte page number followed by the 2-byte value (btree_page.h). A page is
// listed while its value is above 0: RemoveFromPage drops the entry when the value reaches 0.
//
// Not safe for concurrent use: callers hold the database's critical section.
#pragma once

#include <cstdint>

#include "engine/core/btree.h"

namespace qdx {

// Keys are int32 page numbers; values are not part of the order.
class TQDXPageIndexKeyRef : public TQDXBTreeKeyRef {
 public:
  TQDXPageIndexKeyRef() {
    KeySize = 4;
    LeafRefSize = 2;
    RefIsRecordID = false;
    ColumnCount = 1;
  }
  int CompareKeys(uint8_t* keyA, const uint8_t* keyB, const uint8_t*, const uint8_t*, int32_t,
                  bool) override {
    return CompareFullKeys(keyA, keyB);
  }
  int CompareFullKeys(const uint8_t* keyA, const uint8_t* keyB) override {
    const int32_t a = le::Load<int32_t>(keyA), b = le::Load<int32_t>(keyB);
    return a < b ? -1 : (a > b ? 1 : 0);
  }
};

class TQDXBTreePageIndex {
 public:
  explicit TQDXBTreePageIndex(TQDXPageManager& pageManager)
      : pageManager_(&pageManager), tree_(pageManager, keyRef_) {}
  virtual ~TQDXBTreePageIndex() = default;
  TQDXBTreePageIndex(const TQDXBTreePageIndex&) = delete;
  TQDXBTreePageIndex& operator=(const TQDXBTreePageIndex&) = delete;

  // The root page number, -1 when none.
  int32_t RootPageNo() const { return tree_.RootPageNo; }

  // Adds an empty root page and answers its number.
  int32_t CreateRoot(int32_t sessionID) { return tree_.CreateRoot(sessionID); }
  // Frees every page, root included (20119 without a root).
  void DropAll(int32_t sessionID);
  // Frees every page but the root, which becomes an empty leaf (20120 without a root).
  void EmptyAll(int32_t sessionID);
  // Adopts an existing tree.
  void SetRoot(int32_t rootPageNo) { tree_.RootPageNo = rootPageNo; }

  bool GoFirst(int32_t sessionID, TQDXKeyPath& path) { return tree_.GoFirst(sessionID, path); }
  bool GoLast(int32_t sessionID, TQDXKeyPath& path) { return tree_.GoLast(sessionID, path); }
  bool Next(int32_t sessionID, TQDXKeyPath& path) { return tree_.Next(sessionID, path); }
  bool Prior(int32_t sessionID, TQDXKeyPath& path) { return tree_.Prior(sessionID, path); }
  // Positions on the entry of `pageNo`; false when the page is not listed.
  bool FindPage(int32_t sessionID, int32_t pageNo, TQDXKeyPath& path);
  uint16_t GetValue(int32_t sessionID, const TQDXKeyPath& path);
  void SetValue(int32_t sessionID, const TQDXKeyPath& path, uint16_t value);
  // The page number of the entry the path ends at.
  int32_t PageAt(int32_t sessionID, const TQDXKeyPath& path);

  // A listed page with room for `needed` (see HasRoom), searched from the last entry backwards
  // and then from the first forwards, one leaf page's entries each way; -1 when none. `found`,
  // when given, is left on the page's entry.
  int32_t FindPageWithRoom(int32_t sessionID, int32_t needed, TQDXKeyPath* found = nullptr);
  // Lists the page with `amount`, or adds `amount` to its value (20106 when it has no room).
  // `at`, when given, is the page's entry as FindPageWithRoom found it, the tree unchanged since,
  // which spares the search.
  void AddToPage(int32_t sessionID, int32_t pageNo, int32_t amount,
                 const TQDXKeyPath* at = nullptr);
  // Sets the value to `newValue` (when >= 0) or subtracts `amount`; the entry goes when the
  // value reaches 0. 20111 for a page not listed, 20112 for a value already 0.
  void RemoveFromPage(int32_t sessionID, int32_t pageNo, int32_t newValue, int32_t amount);
  // The page in which the running sum of the values in page order passes `position` (0-based),
  // and the offset in it. 20113 beyond the end.
  int32_t PageOfPosition(int32_t sessionID, int64_t position, int32_t& offset);

  void CheckIntegrity(int32_t sessionID) { tree_.CheckIntegrity(sessionID); }
  TQDXBTree& Tree() { return tree_; }

 protected:
  // Whether a page with `value` can take `amount` more: every value below RoomLimit has room.
  bool HasRoom(int32_t value, int32_t amount) const { return value < RoomLimit(amount); }
  // The value from which on a page has no room for `amount` more. A search computes it once
  // and compares each entry with it, instead of a call per entry.
  virtual int32_t RoomLimit(int32_t amount) const = 0;
  // The first page with room for `needed` among the entries of the path's leaf, from the path's
  // entry towards the leaf's last (forward) or first entry, the path left on it; -1 when none.
  int32_t RoomInLeaf(int32_t sessionID, TQDXKeyPath& path, bool forward, int32_t needed);

  TQDXPageManager* pageManager_;

 private:
  TQDXPageIndexKeyRef keyRef_;
  TQDXBTree tree_;
};

// Record pages: the value is the number of records in the page.
class TQDXBTreeRecordPageIndex : public TQDXBTreePageIndex {
 public:
  TQDXBTreeRecordPageIndex(TQDXPageManager& pageManager, int32_t recordsPerPage)
      : TQDXBTreePageIndex(pageManager), RecordsPerPage(recordsPerPage) {}
  int32_t RecordsPerPage;

 protected:
  int32_t RoomLimit(int32_t) const override { return RecordsPerPage; }
};

// BLOB pages: the value is the number of bytes used in the page.
class TQDXBTreeBlobPageIndex : public TQDXBTreePageIndex {
 public:
  using TQDXBTreePageIndex::TQDXBTreePageIndex;

 protected:
  // value + amount < PageDataSize - 2
  int32_t RoomLimit(int32_t amount) const override {
    return pageManager_->PageDataSize() - 2 - amount;
  }
};

}  // namespace qdx
