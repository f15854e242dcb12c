#include "engine/core/table_index_def.h"

#include "engine/core/field_def.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

void CheckListLengths(size_t a, size_t b, const msg::Message& failure) {
  if (a != b) Raise(failure, {static_cast<int64_t>(a), static_cast<int64_t>(b)});
}

bool ColumnServes(const TQDXIndexColumn& column, std::string_view fieldName, std::string_view order,
                  std::string_view caseText, const TQDXFieldDefs& tableFields) {
  if (!SameNameIgnoringCase(column.FieldName, fieldName)) return false;
  if (order == "ASC" && column.Descending) return false;
  if (order == "DESC" && !column.Descending) return false;
  if (caseText == "CASE" && column.CaseInsensitive) {
    const TQDXFieldDef* field = tableFields.FindField(fieldName);
    if (field != nullptr && IsStringDataType(field->DataType)) return false;
  }
  if (caseText == "NO_CASE" && !column.CaseInsensitive) return false;
  return true;
}

}  // namespace

// ---- TQDXIndexDef -----------------------------------------------------------------------------

void TQDXIndexDef::SetColumnCount(int32_t count) {
  columns_.resize(static_cast<size_t>(count < 0 ? 0 : count));
}

void TQDXIndexDef::SetColumnsFromLists(const std::vector<std::string>& fieldNames,
                                       const std::vector<std::string>& orderTexts,
                                       const std::vector<std::string>& caseTexts) {
  CheckListLengths(fieldNames.size(), orderTexts.size(), msg::kDefineIndexOrdersMismatch);
  CheckListLengths(fieldNames.size(), caseTexts.size(), msg::kDefineIndexCasesMismatch);
  std::vector<TQDXIndexColumn> columns(fieldNames.size());
  for (size_t i = 0; i < fieldNames.size(); ++i) {
    columns[i].SetFieldName(fieldNames[i]);
    columns[i].Descending = orderTexts[i] == "DESC";
    columns[i].CaseInsensitive = caseTexts[i] == "NO_CASE";
    columns[i].MaxIndexedSize = kDefaultMaxIndexedSize;
  }
  columns_ = std::move(columns);
}

void TQDXIndexDef::Assign(const TQDXMetaObjectDef& source) {
  TQDXMetaObjectDef::Assign(source);
  const auto& index = static_cast<const TQDXIndexDef&>(source);
  IndexKind = index.IndexKind;
  Unique = index.Unique;
  Primary = index.Primary;
  RootPageNo = index.RootPageNo;
  Temporary = index.Temporary;
  OwnerSessionID = index.OwnerSessionID;
  ChangeCount = index.ChangeCount;
  columns_ = index.columns_;
}

void TQDXIndexDef::LoadFromStream(TStream& stream) {
  TQDXMetaObjectDef::LoadFromStream(stream);
  IndexKind = CheckedReadValue<uint8_t>(stream, msg::kReadIndexKind);
  Unique = CheckedReadValue<uint8_t>(stream, msg::kReadIndexUnique) != 0;
  Primary = CheckedReadValue<uint8_t>(stream, msg::kReadIndexPrimary) != 0;
  const int32_t columnCount = CheckedReadValue<int32_t>(stream, msg::kReadIndexColumnCount);
  RootPageNo = CheckedReadValue<int32_t>(stream, msg::kReadIndexRootPageNo);
  Temporary = false;
  // Columns are appended as they are read, so a damaged count costs no memory up front.
  columns_.clear();
  for (int32_t i = 0; i < columnCount; ++i) {
    TQDXIndexColumn column;
    column.FieldName =
        ReadShortName(stream, msg::kReadIndexFieldNameLength, msg::kReadIndexFieldName);
    column.Descending = CheckedReadValue<uint8_t>(stream, msg::kReadIndexDescending) != 0;
    column.CaseInsensitive = CheckedReadValue<uint8_t>(stream, msg::kReadIndexCaseInsensitive) != 0;
    column.MaxIndexedSize = CheckedReadValue<int32_t>(stream, msg::kReadIndexMaxIndexedSize);
    columns_.push_back(std::move(column));
  }
}

void TQDXIndexDef::SaveToStream(TStream& stream) const {
  TQDXMetaObjectDef::SaveToStream(stream);
  CheckedWriteValue<uint8_t>(stream, IndexKind, msg::kWriteIndexKind);
  CheckedWriteValue<uint8_t>(stream, Unique ? 1 : 0, msg::kWriteIndexUnique);
  CheckedWriteValue<uint8_t>(stream, Primary ? 1 : 0, msg::kWriteIndexPrimary);
  CheckedWriteValue<int32_t>(stream, ColumnCount(), msg::kWriteIndexColumnCount);
  CheckedWriteValue<int32_t>(stream, RootPageNo, msg::kWriteIndexRootPageNo);
  for (const TQDXIndexColumn& column : columns_) {
    WriteShortName(stream, column.FieldName, msg::kWriteIndexFieldNameLength,
                   msg::kWriteIndexFieldName);
    CheckedWriteValue<uint8_t>(stream, column.Descending ? 1 : 0, msg::kWriteIndexDescending);
    CheckedWriteValue<uint8_t>(stream, column.CaseInsensitive ? 1 : 0,
                               msg::kWriteIndexCaseInsensitive);
    CheckedWriteValue<int32_t>(stream, column.MaxIndexedSize, msg::kWriteIndexMaxIndexedSize);
  }
}

// ---- TQDXIndexDefs ----------------------------------------------------------------------------

TQDXMetaObjectDef& TQDXIndexDefs::AddCreated() {
  auto def = std::make_unique<TQDXIndexDef>();
  TQDXIndexDef& index = *def;
  Add(std::move(def));
  return index;
}

void TQDXIndexDefs::LoadFromStream(TStream& stream) {
  Clear();
  TQDXMetaObjectDefs::LoadFromStream(stream);
  for (int32_t i = 0; i < StoredCount(); ++i) {
    auto def = std::make_unique<TQDXIndexDef>();
    def->LoadFromStream(stream);
    Add(std::move(def));
  }
}

void TQDXIndexDefs::SaveToStream(TStream& stream) const {
  int32_t stored = 0;
  for (int32_t i = 0; i < Count(); ++i) stored += GetIndexDef(i).Temporary ? 0 : 1;
  CheckedWriteValue<int32_t>(stream, stored, msg::kWriteIndexCount);
  for (int32_t i = 0; i < Count(); ++i) {
    const TQDXIndexDef& index = GetIndexDef(i);
    if (!index.Temporary) index.SaveToStream(stream);
  }
}

void TQDXIndexDefs::SetIndexDef(int32_t index, const TQDXIndexDef& def) {
  auto copy = std::make_unique<TQDXIndexDef>();
  copy->Assign(def);
  Replace(index, std::move(copy));
}

int32_t TQDXIndexDefs::FindIndexForFields(const std::vector<std::string>* fieldNames,
                                          const std::vector<std::string>* orderTexts,
                                          const std::vector<std::string>* caseTexts,
                                          const TQDXFieldDefs& tableFields,
                                          int32_t sessionID) const {
  if (fieldNames == nullptr) Raise(msg::kIndexFieldNamesNil);
  if (orderTexts == nullptr) Raise(msg::kIndexOrdersNil);
  if (caseTexts == nullptr) Raise(msg::kIndexCaseFlagsNil);
  CheckListLengths(fieldNames->size(), orderTexts->size(), msg::kFindIndexOrdersMismatch);
  CheckListLengths(fieldNames->size(), caseTexts->size(), msg::kFindIndexCasesMismatch);
  for (int32_t i = 0; i < Count(); ++i) {
    const TQDXIndexDef& index = GetIndexDef(i);
    if (static_cast<size_t>(index.ColumnCount()) < fieldNames->size()) continue;
    if (index.Temporary && index.OwnerSessionID != sessionID) continue;
    bool serves = true;
    for (size_t c = 0; serves && c < fieldNames->size(); ++c) {
      serves = ColumnServes(index.Column(static_cast<int32_t>(c)), (*fieldNames)[c],
                            (*orderTexts)[c], (*caseTexts)[c], tableFields);
    }
    if (serves) return index.ObjectID();
  }
  return -1;
}

}  // namespace qdx
