// Index definitions: TQDXIndexColumn, TQDXIndexDef and the index collection TQDXIndexDefs.
//
// An index is a B-tree (IndexKind 0) over one or more key columns, most significant first. A
// temporary index is built on demand for one session and is never stored.
//
// Stored form of an index (after the definition base of meta_object_def.h), little-endian:
//
//   size  content                       write / read code
//   1     IndexKind                     10344 / 10349
//   1     Unique                        10345 / 10350
//   1     Primary                       10346 / 10351
//   4     column count C                10347 / 10352
//   4     RootPageNo                    10348 / 10353
//   C x   column:
//     1     field name length L         10354 / 10358
//     L     field name                 10355 / 10359
//     1     Descending                  10356 / 10360
//     1     CaseInsensitive             10357 / 10361
//     4     MaxIndexedSize              20169 / 20168
//
// Stored form of the collection: int32 count of the indexes that are not temporary
// (10343 / 10159), then those indexes in collection order. Reading clears Temporary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/meta_object_def.h"

namespace qdx {

class TQDXFieldDefs;

// Bytes of a string value kept in a key, for indexes made by the dataset layer or by SQL.
inline constexpr int32_t kDefaultMaxIndexedSize = 20;

struct TQDXIndexColumn {
  std::string FieldName;  // a short name
  bool Descending = false;
  bool CaseInsensitive = false;
  int32_t MaxIndexedSize = 0;

  void SetFieldName(std::string_view name) { FieldName = ShortName(name); }
};

class TQDXIndexDef : public TQDXMetaObjectDef {
 public:
  int32_t ColumnCount() const { return static_cast<int32_t>(columns_.size()); }
  // Grows with default columns or drops the surplus from the end.
  void SetColumnCount(int32_t count);
  // Requires: 0 <= index < ColumnCount().
  TQDXIndexColumn& Column(int32_t index) { return columns_[static_cast<size_t>(index)]; }
  const TQDXIndexColumn& Column(int32_t index) const {
    return columns_[static_cast<size_t>(index)];
  }

  // One column per field name: Descending when the order text is exactly "DESC",
  // CaseInsensitive when the case text is exactly "NO_CASE", MaxIndexedSize 20. Lists of unequal
  // lengths fail with 10278 (names, orders) or 10279 (names, cases).
  void SetColumnsFromLists(const std::vector<std::string>& fieldNames,
                           const std::vector<std::string>& orderTexts,
                           const std::vector<std::string>& caseTexts);

  void Assign(const TQDXMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  std::string_view ClassName() const override { return "TQDXIndexDef"; }

  uint8_t IndexKind = 0;
  bool Unique = false;
  bool Primary = false;
  int32_t RootPageNo = -1;
  bool Temporary = false;
  int32_t OwnerSessionID = -1;
  int32_t ChangeCount = 0;

 private:
  std::vector<TQDXIndexColumn> columns_;
};

class TQDXIndexDefs : public TQDXMetaObjectDefs {
 public:
  TQDXMetaObjectDef& AddCreated() override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

  // After the base collection's operations.
  virtual TQDXIndexDef& GetIndexDef(int32_t index) const {
    return static_cast<TQDXIndexDef&>(GetDef(index));
  }
  // Replaces the definition at `index` by a copy of `def`.
  virtual void SetIndexDef(int32_t index, const TQDXIndexDef& def);

  TQDXIndexDef* FindIndex(std::string_view name) const {
    return static_cast<TQDXIndexDef*>(FindByName(name));
  }

  // The ObjectID of the first index, in collection order, that serves a sort or search on the
  // fields: at least as many columns as names, column i named like field i (ignoring case),
  // "ASC" / "DESC" requiring that direction, "CASE" a case-sensitive column (string fields
  // only), "NO_CASE" a case-insensitive one; any other text accepts either. A temporary index
  // serves only its own session. -1 when none does. A missing list fails with 10389 (names),
  // 10390 (orders) or 10391 (cases); unequal lengths with 10276 (names, orders) or 10277 (names,
  // cases).
  int32_t FindIndexForFields(const std::vector<std::string>* fieldNames,
                             const std::vector<std::string>* orderTexts,
                             const std::vector<std::string>* caseTexts,
                             const TQDXFieldDefs& tableFields, int32_t sessionID) const;

  std::string_view ClassName() const override { return "TQDXIndexDefs"; }
};

}  // namespace qdx
