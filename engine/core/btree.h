// The B+ tree shared by the record indexes and the page indexes: TQDXBTreeKeyRef (how keys
// compare), TQDXKeyPath (the route from the root to one entry) and TQDXBTree (search, insert with
// splits, delete with merges, navigation and condition searches over index pages).
//
// Design notes:
//  1. Pages are held only for the length of one operation (TQDXPageHandle); the tree keeps its
//     root page number and nothing else between operations.
//  2. The root keeps its page number for the life of the tree: a root split moves both halves
//     into two new pages, and a root node left with one child takes that child's entries.
//  3. Node key i separates child i - 1 from child i (keys of child i - 1 <= key i <= keys of
//     child i). A split and a merge keep key i equal to the first key of child i; a deletion may
//     leave it below that first key, which the searches tolerate.
//  4. All pages of one level are linked in key order through their previous and next fields.
//  5. Merges join a page under half with a sibling under the same parent (the previous first,
//     then the next); a page left empty is always removed, so only the root can be empty.
//  6. Equal keys are kept in ascending reference order when the references are record IDs; a
//     search for a (key, record ID) pair picks between children with equal separators by the
//     first entry of each child's subtree.
//
// Not safe for concurrent use: callers hold the database's critical section.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "engine/core/btree_page.h"
#include "engine/core/page_manager.h"

namespace qdx {

class TQDXPageHandle;

// How the keys of one tree compare. The record index's key layout derives from it; the page
// index uses int32 keys.
class TQDXBTreeKeyRef {
 public:
  virtual ~TQDXBTreeKeyRef() = default;

  // Slot 0: the number of columns the comparisons use.
  virtual void SetColumnCount(int32_t count) { ColumnCount = count; }
  // Slot 1: -1, 0 or 1 for compact keys A and B. `refB` / `refA` are the record IDs of the keys'
  // records or null; `exact` asks for the order of the whole values behind truncated columns.
  // Key A may be written to during the call but is restored before it returns.
  virtual int CompareKeys(uint8_t* keyA, const uint8_t* keyB, const uint8_t* refB,
                          const uint8_t* refA, int32_t sessionID, bool exact) = 0;
  // Slot 2: -1, 0 or 1 for full keys.
  virtual int CompareFullKeys(const uint8_t* keyA, const uint8_t* keyB) = 0;

  // Whether some column's compact slot holds a cut value (equal compact keys then need not have
  // increasing record IDs).
  virtual bool HasTruncatedColumns() const { return false; }

  int32_t KeySize = 0;        // the compact key length
  int32_t LeafRefSize = 6;    // 6 for a record ID, 2 for a page index value
  bool RefIsRecordID = true;  // leaf references are record IDs and order equal keys
  int32_t ColumnCount = 0;
};

// -1, 0 or 1 for two 6-byte record IDs: page number as signed int32, then slot as unsigned.
int CompareRecordIDBytes(const uint8_t* a, const uint8_t* b);

// The route from the root (level 0) to one entry.
struct TQDXKeyPath {
  static constexpr int32_t kMaxLevels = 32;
  struct Level {
    int32_t PageNo = -1;
    int32_t EntryNo = 0;
    int32_t EntryCount = 0;
  };
  Level Levels[kMaxLevels];
  int32_t LevelCount = 0;
  int32_t CurrentLevel = 0;
  int32_t Reserved[2] = {0, 0};

  const Level& Leaf() const { return Levels[LevelCount - 1]; }
};

// Raises 20032 when a walk along the leaf level comes back to a page it has left (pages linked
// in a circle). Call Visit after every step.
class TQDXLeafWalkGuard {
 public:
  void Visit(const TQDXKeyPath& path);

 private:
  int32_t last_ = -1;
  std::unordered_set<int32_t> seen_;
};

// Condition kinds of searches and scans.
enum TQDXConditionKind : int32_t {
  ckEqual = 1,
  ckLess = 2,
  ckGreater = 3,
  ckLessOrEqual = 4,
  ckGreaterOrEqual = 5,
};

class TQDXBTree {
 public:
  TQDXBTree(TQDXPageManager& pageManager, TQDXBTreeKeyRef& keyRef)
      : pageManager_(&pageManager), keyRef_(&keyRef) {}

  int32_t RootPageNo = -1;

  TQDXPageManager& PageManager() const { return *pageManager_; }
  TQDXBTreeKeyRef& KeyRef() const { return *keyRef_; }
  int32_t PageDataSize() const { return pageManager_->PageDataSize(); }

  // Adds a root page initialised as an empty leaf root and makes it the tree's root. 20078 when
  // a page cannot hold three entries.
  int32_t CreateRoot(int32_t sessionID);
  // Frees every page but the root (keepRoot, which becomes an empty leaf again) or all of them.
  void FreePages(int32_t sessionID, bool keepRoot);

  // Inserts the entry (key, ref); ref has LeafRefSize bytes.
  void InsertEntry(int32_t sessionID, const uint8_t* key, const uint8_t* ref);
  // Removes the entry whose key equals `key` and whose reference is `ref` (record IDs) or, for
  // other references, the first entry equal to `key`. False when there is none.
  bool DeleteEntry(int32_t sessionID, const uint8_t* key, const uint8_t* ref);
  // The leaf path of the entry (key, ref) when it is in the tree.
  bool FindEntry(int32_t sessionID, const uint8_t* key, const uint8_t* ref, TQDXKeyPath& path);

  // Position on the first or last entry; false for an empty tree.
  bool GoFirst(int32_t sessionID, TQDXKeyPath& path);
  bool GoLast(int32_t sessionID, TQDXKeyPath& path);
  // Step to the following or preceding entry; false (path unchanged) beyond the end.
  bool Next(int32_t sessionID, TQDXKeyPath& path);
  bool Prior(int32_t sessionID, TQDXKeyPath& path);
  // The first (forward) or last entry meeting `kind` against `key`; a null key matches all.
  bool FindCondition(int32_t sessionID, bool forward, TQDXKeyPath& path, int32_t kind,
                     const uint8_t* key);

  // Copies the key and/or the leaf reference of the entry the path ends at (either may be null).
  void ReadEntry(int32_t sessionID, const TQDXKeyPath& path, uint8_t* key, uint8_t* ref);
  // Overwrites the leaf reference of the entry the path ends at.
  void WriteRef(int32_t sessionID, const TQDXKeyPath& path, const uint8_t* ref);

  // The leaf page numbers in key order, through the sibling links.
  int32_t FirstLeafPageNo(int32_t sessionID);
  int32_t LastLeafPageNo(int32_t sessionID);

  // Checks the order of neighbouring leaf entries (20028) and, unless `leavesOnly`, the sibling
  // links, node separators and depths of the whole tree.
  void CheckIntegrity(int32_t sessionID, bool leavesOnly = false);

  // PageDataSize div (K + 4), and the remainder.
  int32_t KeysPerPage(int32_t* remainder = nullptr) const;

  // A held index page whose header was checked. 20029 when it is damaged.
  TQDXPageHandle GetIndexPage(int32_t sessionID, int32_t pageNo);
  TQDXBTreePage View(const TQDXPageHandle& page) const;

 private:
  struct SearchBounds {
    int32_t lower;  // first entry not below the key
    int32_t upper;  // first entry above the key
  };

  int CompareWithEntry(int32_t sessionID, uint8_t* key, const uint8_t* ref,
                       const TQDXBTreePage& page, int32_t i, bool exact);
  SearchBounds Bounds(int32_t sessionID, uint8_t* key, const uint8_t* ref,
                      const TQDXBTreePage& page, bool exact);
  // The child of a node to descend into for (key, ref).
  int32_t ChooseChild(int32_t sessionID, uint8_t* key, const uint8_t* ref,
                      const TQDXBTreePage& page);
  // Descends to the leaf for (key, ref); the leaf level's EntryNo is the insertion point. Answers
  // the leaf's search bounds.
  SearchBounds Descend(int32_t sessionID, uint8_t* key, const uint8_t* ref, TQDXKeyPath& path);
  void ReadSubtreeFirst(int32_t sessionID, int32_t pageNo, uint8_t* key, uint8_t* ref);
  bool FindConditionIn(int32_t sessionID, bool forward, TQDXKeyPath& path, int32_t level,
                       int32_t pageNo, int32_t kind, uint8_t* key);

  void InsertAt(int32_t sessionID, TQDXKeyPath& path, int32_t level, const uint8_t* key,
                const uint8_t* ref);
  void SplitRoot(int32_t sessionID, TQDXPageHandle& root, std::vector<uint8_t>& entries,
                 int32_t count);
  void RemoveAt(int32_t sessionID, TQDXKeyPath& path, int32_t level);
  void CollapseRoot(int32_t sessionID);
  void Unlink(int32_t sessionID, const TQDXBTreePage& page);
  void PushLevel(TQDXKeyPath& path, int32_t level, int32_t pageNo, int32_t entryNo,
                 int32_t count) const;
  void StepPages(int32_t sessionID, TQDXKeyPath& path, int32_t fromLevel, bool forward);
  void CheckLevel(int32_t sessionID, int32_t firstPageNo, int32_t depth, int32_t levels);
  void FreeSubtree(int32_t sessionID, int32_t pageNo, int32_t depth);
  void RequireRoot() const;
  // 20078 when a page cannot hold three entries of this key size.
  void CheckKeySize() const;

  // ---- btree_invariants.cpp: debug-build checks of the pages a split or a merge changed
  // (engine/foundation/invariants.h); the notes cost nothing when the checks are off.
  void NoteChanged(int32_t pageNo);
  // A page that went back to the page manager is not checked.
  void ForgetChanged(int32_t pageNo);
  // Checks each noted page, then forgets the notes: 20390 unless its entries are ordered, a page
  // other than the root holds at least one, its sibling links agree with its neighbours', and a
  // node's children are linked in order, on one level, with their keys between the separators
  // around them.
  void CheckChangedPages(int32_t sessionID);
  void CheckPageEntries(int32_t sessionID, int32_t pageNo, TQDXBTreePage& view);
  void CheckChildren(int32_t sessionID, int32_t pageNo, TQDXBTreePage& view);

  TQDXPageManager* pageManager_;
  TQDXBTreeKeyRef* keyRef_;
  std::vector<uint8_t> scratchKey_;
  std::vector<int32_t> changedPages_;
};

}  // namespace qdx
