// The local cursor's moves and searches: counting, reading, record numbers, bookmarks, filters,
// Locate and key search. Each runs on the table data inside the database's critical section.
#include <algorithm>
#include <vector>

#include "dataset/local_engine/local_cursor.h"
#include "dataset/local_engine/local_cursor_section.h"
#include "engine/core/expr/expression.h"
#include "engine/core/table_data.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

int64_t TQDXLocalCursor::GetRecordCount() {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  return table.GetRecordCount(*this);
}

uint8_t TQDXLocalCursor::GetRecord(TQDXGetRecordMode mode) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  return table.GetRecord(*this, mode);
}

void TQDXLocalCursor::SetRecNo(int64_t recNo) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  table.SetRecNo(*this, recNo);
}

int64_t TQDXLocalCursor::GetRecNo() {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  return table.GetRecNo(*this);
}

void TQDXLocalCursor::First() {
  AtBOF = true;
  AtEOF = false;
}

void TQDXLocalCursor::Last() {
  AtBOF = false;
  AtEOF = true;
}

namespace {

int32_t Sign(int value) {
  return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

int32_t CompareRecordIDs(TQDXRecordID a, TQDXRecordID b) {
  if (a.PageNo != b.PageNo) return a.PageNo < b.PageNo ? -1 : 1;
  if (a.SlotNo != b.SlotNo) return a.SlotNo < b.SlotNo ? -1 : 1;
  return 0;
}

}  // namespace

// The records are read into buffers of the cursor's own, so its position and current buffer
// stay as they were.
int32_t TQDXLocalCursor::CompareBookmarks(const uint8_t* a, const uint8_t* b) {
  const TQDXRecordID idA = TQDXRecordID::Load(a);
  const TQDXRecordID idB = TQDXRecordID::Load(b);
  if (CurrentIndexID >= 0 && tableData_ != nullptr) {
    TQDXTableData& table = *tableData_;
    DatabaseSection section(table.Database());
    std::vector<uint8_t> recordA(static_cast<size_t>(CompareSize));
    std::vector<uint8_t> recordB(static_cast<size_t>(CompareSize));
    if (!table.ReadRecordByID(SessionID(), idA, recordA.data())) return -1;
    if (!table.ReadRecordByID(SessionID(), idB, recordB.data())) return 1;
    const int order = table.IndexManager().GetIndex(CurrentIndexID).CompareRecords(
        recordA.data(), recordB.data(), 0);
    if (order != 0) return Sign(order);
  }
  return CompareRecordIDs(idA, idB);
}

// ---- Filters and searches -------------------------------------------------------------------

void TQDXLocalCursor::SetFilter(std::string_view text, bool caseInsensitive, bool partialCompare) {
  Table(msg::kCursorLockNoData);
  TQDXFilterOptions options;
  options.CaseInsensitive = caseInsensitive;
  options.NoPartialCompare = !partialCompare;
  // Compiled before the old filter goes, so that a bad text leaves the cursor as it was.
  std::unique_ptr<TQDXFilterExpression> expression =
      CompileFilterExpression(text, *TableFieldDefs, options);
  FilterExpression = std::move(expression);
  InvalidateFilter();
}

void TQDXLocalCursor::ClearFilter() {
  FilterExpression.reset();
  InvalidateFilter();
}

bool TQDXLocalCursor::Locate(std::string_view keyFields, std::span<const TQDXVariant> values,
                             bool caseInsensitive, bool partial) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  const std::vector<std::string> names = SplitLocateFieldNames(keyFields);
  if (names.size() != values.size()) {
    Raise(msg::kLocateCountMismatch, {names.size(), values.size()});
  }
  std::unique_ptr<TQDXFilterExpression> expression =
      BuildLocateExpression(names, values, *TableFieldDefs, caseInsensitive, partial);
  DatabaseSection section(table.Database());
  return table.LocateRecord(*this, expression.get());
}

bool TQDXLocalCursor::LocateValue(std::string_view fieldName, const TQDXVariant& value,
                                  bool caseInsensitive, bool partial) {
  return Locate(fieldName, std::span<const TQDXVariant>(&value, 1), caseInsensitive, partial);
}

bool TQDXLocalCursor::FindKey(int32_t kind) {
  TQDXTableData& table = Table(msg::kCursorLockNoData);
  DatabaseSection section(table.Database());
  return table.FindKey(*this, kind);
}

}  // namespace qdx
