// TQDXRecordKeyRef, the key layout of a record index (compact keys stored in the pages, full
// keys for the order behind cut values), and TQDXBTreeRecordIndex, the B-tree over record keys:
// insertion and deletion of a record's key, navigation in key order, record numbers and
// uniqueness tests.
//
// Key layout, per column in column order:
//   compact slot: null flag (1 = NULL, the rest never compared), then the value's bytes as they
//     stand in the record buffer; a string or byte column whose MaxIndexedSize is below the
//     field's MemorySize keeps only MaxIndexedSize bytes followed by 2 zero bytes (truncation 2).
//     Columns of fixed-size types are never cut.
//   full slot: null flag and all MemorySize bytes.
// Key buffers start zero-filled.
//
// Not safe for concurrent use: callers hold the database's critical section.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/btree.h"
#include "engine/core/index.h"
#include "engine/foundation/types/data_types.h"

namespace qdx {

// What the key layout needs of one index column and its field.
struct TQDXIndexColumnSpec {
  std::string FieldName;
  int32_t FieldNo = 0;  // 0-based: the field's bit in the null bitmap
  int32_t MemoryOffset = 0;
  int32_t MemorySize = 0;
  TQDXDataType DataType = TQDXDataType::None;
  int32_t MaxIndexedSize = 0;
  bool Descending = false;
  bool CaseInsensitive = false;
};

class TQDXIndexDef;
class TQDXFieldDefs;

// The column specs of an index definition over the table's fields (field number: the field's
// place in the collection). 20043 for a column naming no field, 20295 for a BLOB field.
std::vector<TQDXIndexColumnSpec> IndexColumnSpecs(const TQDXIndexDef& index,
                                                  const TQDXFieldDefs& fields);

// One column descriptor of the key layout.
struct TQDXIndexColumnLayout {
  int32_t CompactOffset = 0;
  int32_t FullOffset = 0;
  int32_t FieldOffset = 0;
  int32_t FieldNo = 0;
  int32_t CompactSize = 0;
  int32_t FullSize = 0;
  int32_t Truncation = 0;  // 2 when the compact slot holds a cut value
  TQDXDataType DataType = TQDXDataType::None;
  bool Descending = false;
  bool CaseInsensitive = false;
};

class TQDXRecordKeyRef : public TQDXBTreeKeyRef {
 public:
  // 20295 for a BLOB column. `records` reads records for full keys (may be null when no column
  // is cut).
  TQDXRecordKeyRef(const std::vector<TQDXIndexColumnSpec>& columns, TQDXIndexRecordSource* records,
                   int32_t leafRefSize = TQDXRecordID::kSize);

  void SetColumnCount(int32_t count) override;
  int CompareKeys(uint8_t* keyA, const uint8_t* keyB, const uint8_t* refB, const uint8_t* refA,
                  int32_t sessionID, bool exact) override;
  int CompareFullKeys(const uint8_t* keyA, const uint8_t* keyB) override;
  bool HasTruncatedColumns() const override { return truncated_; }

  const std::vector<TQDXIndexColumnLayout>& Columns() const { return columns_; }
  int32_t FullKeySize() const { return fullKeySize_; }

  // `key` has KeySize bytes and is zero-filled by the caller.
  void BuildCompactKey(const uint8_t* record, uint8_t* key);
  // `key` has FullKeySize bytes.
  void BuildFullKey(const uint8_t* record, uint8_t* key) const;
  // Reads the record and builds its full key; 20170 when it cannot be read.
  void BuildKeyFromRecordID(int32_t sessionID, TQDXRecordID id, uint8_t* key);
  // With `partial`, string columns compare only as many characters as the buffer's value has;
  // otherwise whole values.
  void SetPartialLengths(const uint8_t* record, bool partial);

 private:
  int CompareColumn(const TQDXIndexColumnLayout& column, size_t index, const uint8_t* a,
                    const uint8_t* b, int32_t sizeA, int32_t sizeB, int32_t cap) const;
  bool EndsWithinKeptBytes(const TQDXIndexColumnLayout& column, const uint8_t* value) const;

  // How a column of a fixed-size numeric type is compared in place, without the general value
  // comparison (its locale, conversions and six-way answer); General for every other column.
  // Both paths order alike: plain < on the stored value, a DateTime by date then time.
  enum class FixedKey : uint8_t {
    General,
    Int8,
    Int16,
    Int32,
    Int64,
    UInt8,
    UInt16,
    UInt32,
    Single,
    Double,
    DateTime
  };
  static FixedKey FixedKeyOf(TQDXDataType type);
  static int CompareFixedKey(FixedKey kind, const uint8_t* a, const uint8_t* b);

  std::vector<TQDXIndexColumnLayout> columns_;
  std::vector<FixedKey> fixed_;  // per column
  std::vector<int32_t> partial_;
  int32_t fullKeySize_ = 0;
  bool truncated_ = false;
  TQDXIndexRecordSource* records_;
  // The record the last compact key was built from (full key of a key A without record ID).
  const uint8_t* lastBuilt_ = nullptr;
  std::vector<uint8_t> scratchRecord_;
};

// The B-tree of one record index: TQDXIndex's 27 operations over a TQDXBTree whose keys are the
// compact keys of TQDXRecordKeyRef.
class TQDXBTreeRecordIndex : public TQDXIndex {
 public:
  explicit TQDXBTreeRecordIndex(TQDXIndexOwner& owner);
  ~TQDXBTreeRecordIndex() override;

  void Create(const TQDXIndexCursor* cursor, TQDXIndexDef& definition) override;
  // 20119 without a tree.
  void Drop(int32_t sessionID) override;
  // 20120 without a tree.
  void Empty(int32_t sessionID) override;
  void Open(const TQDXIndexDef& definition) override;
  void Rebuild(const TQDXIndexCursor& cursor) override;
  // 20053 for mode 0, 20123 without a tree. Next from BOF gives the first record, prior from EOF
  // the last; a step beyond the ends gives result 2 (EOF) or 1 (BOF); a current record that
  // is not found gives 3.
  void Navigate(int32_t sessionID, TQDXNavigationRequest& request, int32_t changeStamp,
                TQDXIndexPositionCache& cache) override;
  // Continues at the first greater (next) or last lower (prior) key than the buffer's values.
  void NavigateFromDeleted(int32_t sessionID, TQDXNavigationRequest& request, int32_t changeStamp,
                           TQDXIndexPositionCache& cache) override;
  std::unique_ptr<TQDXKeyPath> NewKeyPath() override { return std::make_unique<TQDXKeyPath>(); }
  void FreeKeyPath(std::unique_ptr<TQDXKeyPath>) override {}
  bool FindRecord(int32_t sessionID, TQDXRecordID id, TQDXKeyPath& path, uint8_t* scratch) override;
  // 20051 for different depths, 20052 for different pages on one level.
  int CompareKeyPaths(const TQDXKeyPath& a, const TQDXKeyPath& b) override;
  int64_t GetRecNo(int32_t sessionID, TQDXRecordID id, uint8_t* scratch) override;
  // 20074 for an empty index, 20075 beyond the last entry.
  void GetRecordIDByRecNo(int32_t sessionID, TQDXRecordID& id, int64_t recNo) override;
  void RemoveDuplicates(int32_t sessionID, TQDXIndexRecordSet& records,
                        int32_t keyColumnCount) override;
  std::unique_ptr<TQDXIndexScanState> NewScanState(const TQDXIndexCondition& start,
                                                   const TQDXIndexCondition& stop, bool forward,
                                                   const TQDXRecordID* resume) override;
  void FreeScanState(std::unique_ptr<TQDXIndexScanState>) override {}
  bool ScanNext(int32_t sessionID, TQDXIndexScanState& state, TQDXRecordID& id) override;
  int CompareRecords(const uint8_t* a, const uint8_t* b, int32_t columnCount) override;
  int32_t ConditionDirection(int32_t kind) override;
  int64_t EstimateRecordCount(int32_t sessionID, const TQDXIndexCondition& a,
                              const TQDXIndexCondition& b) override;
  // True for an index that is neither unique nor primary, else when no entry has the key.
  bool IsKeyFree(int32_t sessionID, const uint8_t* record) override;
  bool IsKeyFreeForUpdate(int32_t sessionID, const uint8_t* oldRecord,
                          const uint8_t* newRecord) override;
  void InsertKey(const TQDXIndexCursor& cursor) override;
  // Removes the key of the record in the cursor's buffer (its stored version); 20027 when the
  // entry is missing.
  void DeleteKey(const TQDXIndexCursor& cursor) override;
  // removing: takes out the stored record's entry unless its key equals the buffer's; otherwise
  // puts in the buffer's key unless the entry is already there.
  void UpdateKey(const TQDXIndexCursor& cursor, bool removing) override;
  int32_t GetKeysPerPage(int32_t* remainder) override;
  void GetRecordIDAtPath(int32_t sessionID, const TQDXKeyPath& path, TQDXRecordID& id) override;

  // Order-preserving numbers of paths, and back; and the relative position in [0, 1).
  int64_t PathToPosition(const TQDXKeyPath& path);
  TQDXKeyPath PositionToPath(int32_t sessionID, int64_t position);
  static double RelativePosition(const TQDXKeyPath& path);

  // -1 when the index has no tree.
  int32_t RootPageNo() const { return tree_ ? tree_->RootPageNo : -1; }
  // Require: Create or Open was called.
  TQDXRecordKeyRef& KeyRef() { return *keyRef_; }
  TQDXBTree& Tree() { return *tree_; }

 private:
  // The key layout and the tree of the definition.
  void Setup(const TQDXIndexDef& definition);
  TQDXBTree& RequireTree() const;
  std::vector<uint8_t> CompactKey(const uint8_t* record);
  void InsertAllRecords(int32_t sessionID);
  // FindCondition on the key of the condition's record over its column count.
  bool FindWithCondition(int32_t sessionID, bool forward, const TQDXIndexCondition& condition,
                         TQDXKeyPath& path);
  // The first and last entries meeting both conditions; false when none does.
  bool RangeOf(int32_t sessionID, const TQDXIndexCondition& a, const TQDXIndexCondition& b,
               TQDXKeyPath& first, TQDXKeyPath& last);
  void Arrive(int32_t sessionID, TQDXNavigationRequest& request, int32_t changeStamp,
              TQDXIndexPositionCache& cache, const TQDXKeyPath& path);
  static void Beyond(TQDXNavigationRequest& request, bool forward);

  std::unique_ptr<TQDXRecordKeyRef> keyRef_;
  std::unique_ptr<TQDXBTree> tree_;
  int32_t indexID_ = -1;
  bool unique_ = false;
  std::vector<uint8_t> compareKeyA_;
  std::vector<uint8_t> compareKeyB_;
};

}  // namespace qdx
