// The cursor operations every engine shares: the buffer layout, field access on the current
// buffer by visible field number, buffers, positions, ranges and the projection.
#include "dataset/local_engine/cursor.h"

#include <cstring>

#include "dataset/local_engine/local_blob_stream.h"
#include "engine/core/record_layout.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXCursor::TQDXCursor() = default;
TQDXCursor::~TQDXCursor() = default;

void TQDXCursor::BuildLayout() {
  TQDXFieldDefs& table = *TableFieldDefs;
  table.CalculateOffsets();
  RecordDataSize = table.MemoryRecordSize();
  FirstFieldOffset = NullBitmapSize(table.Count());
  BookmarkOffset = RecordDataSize;
  CompareSize = RecordDataSize + kRecordTrailerSize;
  CalculatedAreaOffset = RecordDataSize + kRecordTrailerSize;
  RecordBufferSize = RecordDataSize + kRecordTrailerSize;
  KeyBufferSize = RecordDataSize + kKeyTrailerSize;
  if (Projected && VisibleFieldDefs != nullptr) return;
  auto visible = std::make_unique<TQDXFieldDefs>();
  visible->Assign(table);
  for (int32_t i = 0; i < visible->Count(); ++i) visible->GetFieldDef(i).SourceFieldNo = i;
  visible->CalculateOffsets();
  VisibleFieldDefs = std::move(visible);
}

int32_t TQDXCursor::SourceFieldNo(int32_t visibleFieldNo) const {
  return VisibleFieldDefs->GetFieldDef(visibleFieldNo).SourceFieldNo;
}

const TQDXFieldDef& TQDXCursor::VisibleField(int32_t fieldNo, const msg::Message& failure) const {
  const int32_t count = VisibleFieldCount();
  if (fieldNo < 0 || fieldNo >= count) Raise(failure, {fieldNo, count});
  return VisibleFieldDefs->GetFieldDef(fieldNo);
}

void TQDXCursor::SetCurrentIndexName(std::string_view name) {
  CurrentIndexName = std::string(name);
  const TQDXMetaObjectDef* index =
      IndexDefs != nullptr && !name.empty() ? IndexDefs->FindByName(name) : nullptr;
  CurrentIndexID = index != nullptr ? index->ObjectID() : -1;
  PositionCache = {};
}

// The null bit of a field is the table field's, so a visible field is read and written through
// the table definitions with its source field number.
bool TQDXCursor::GetFieldData(int32_t fieldNo, void* destination) const {
  const TQDXFieldDef& field = VisibleField(fieldNo, msg::kCursorGetFieldDataNumber);
  return qdx::GetFieldData(field.SourceFieldNo, *TableFieldDefs, destination, Buffer);
}

void TQDXCursor::SetFieldData(int32_t fieldNo, const void* source) {
  const TQDXFieldDef& field = VisibleField(fieldNo, msg::kCursorSetFieldDataNumber);
  qdx::SetFieldData(field.SourceFieldNo, *TableFieldDefs, source, Buffer);
}

void TQDXCursor::GetFieldValue(int32_t fieldNo, TQDXVariant& value) const {
  const TQDXFieldDef& field = VisibleField(fieldNo, msg::kCursorGetFieldValueNumber);
  if (Buffer == nullptr) Raise(msg::kRecordBufferNil);
  qdx::GetFieldValue(value, field.SourceFieldNo, *TableFieldDefs, Buffer);
}

void TQDXCursor::SetFieldValue(int32_t fieldNo, const TQDXVariant& value) {
  const TQDXFieldDef& field = VisibleField(fieldNo, msg::kCursorSetFieldValueNumber);
  if (Buffer == nullptr) Raise(msg::kRecordBufferNil);
  qdx::SetFieldValue(value, field.SourceFieldNo, *TableFieldDefs, Buffer);
}

void TQDXCursor::ClearStringTails(uint8_t* buffer) const {
  qdx::ClearStringTails(*TableFieldDefs, buffer);
}

RecordBuffer TQDXCursor::AllocRecordBuffer() const {
  return RecordBuffer(new uint8_t[static_cast<size_t>(RecordBufferSize)]());
}

RecordBuffer TQDXCursor::AllocKeyBuffer() const {
  return RecordBuffer(new uint8_t[static_cast<size_t>(KeyBufferSize)]());
}

void TQDXCursor::InitKeyBuffer(uint8_t* buffer) {
  std::memset(buffer, 0, static_cast<size_t>(KeyBufferSize));
  InitRecord(buffer, false);
}

void TQDXCursor::RestorePosition(const CursorPosition& position) {
  AtBOF = position.AtBOF;
  AtEOF = position.AtEOF;
  RecordID = position.RecordID;
}

void TQDXCursor::InvalidateFilter() {
  if (FilterBitmap != nullptr) FilterBitmap->Active = false;
}

void TQDXCursor::SetRange(const uint8_t* lowKey, const uint8_t* highKey, bool lowExclusive,
                          bool highExclusive, int32_t lowColumnCount, int32_t highColumnCount) {
  Range = {lowKey, highKey, lowExclusive, highExclusive, lowColumnCount, highColumnCount};
  InvalidateFilter();
}

void TQDXCursor::ClearRange() {
  Range = {};
  InvalidateFilter();
}

void TQDXCursor::SetProjection(const std::vector<std::string>& fieldNames) {
  if (fieldNames.empty()) Raise(msg::kNoProjectionFields);
  auto visible = std::make_unique<TQDXFieldDefs>();
  for (const std::string& name : fieldNames) {
    const int32_t source = TableFieldDefs->IndexOfName(name);
    if (source < 0) Raise(msg::kCannotFindField, {name});
    auto copy = std::make_unique<TQDXFieldDef>();
    copy->Assign(TableFieldDefs->GetFieldDef(source));
    copy->SourceFieldNo = source;
    visible->Add(std::move(copy));
  }
  VisibleFieldDefs = std::move(visible);
  Projected = true;
}

TQDXRecordID TQDXCursor::Bookmark(const uint8_t* buffer) const {
  return TQDXRecordID::Load(buffer + BookmarkOffset);
}

void TQDXCursor::SetBookmark(uint8_t* buffer, TQDXRecordID id) const {
  id.Store(buffer + BookmarkOffset);
}

RecordPositionFlag TQDXCursor::RecordFlag(const uint8_t* buffer) const {
  return static_cast<RecordPositionFlag>(buffer[BookmarkOffset + kBookmarkSize]);
}

void TQDXCursor::SetRecordFlag(uint8_t* buffer, RecordPositionFlag flag) const {
  buffer[BookmarkOffset + kBookmarkSize] = static_cast<uint8_t>(flag);
}

}  // namespace qdx
