// The dataset base: opening and closing, the buffer window, moves, the edit cycle, settling a
// pending change, field value access, controls suspension and notifications.
#include "dataset/framework/data_set.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "dataset/framework/data_link.h"
#include "dataset/framework/data_source.h"
#include "dataset/framework/index_defs.h"

namespace qdx {

namespace {

std::function<void(const std::exception&)>& ExceptionHandler() {
  static std::function<void(const std::exception&)> handler;
  return handler;
}

bool IsEditState(TDataSetState s) {
  return s == TDataSetState::Editing || s == TDataSetState::Inserting;
}

}  // namespace

void SetDataSetExceptionHandler(std::function<void(const std::exception&)> handler) {
  ExceptionHandler() = std::move(handler);
}

TDataSet::TDataSet() : fields_(this) {}

TDataSet::~TDataSet() {
  // A descendant closes in its own destructor: the window's buffers are its to free.
  for (TDataSource* source : std::vector<TDataSource*>(dataSources_)) source->DataSetDestroyed();
}

void TDataSet::Error(std::string_view text) const { DatabaseError(text, name_); }

void TDataSet::CheckActive() const {
  if (!Active()) Error(dsmsg::kDataSetClosed);
}

void TDataSet::CheckInactive() const {
  if (Active()) Error(dsmsg::kDataSetOpen);
}

void TDataSet::CheckCanModify() const {
  if (!CanModify()) Error(dsmsg::kDataSetReadOnly);
}

// ---- Opening and closing -------------------------------------------------------------------

void TDataSet::SetActive(bool active) {
  if (active == Active()) return;
  if (active) {
    Fire(BeforeOpen);
    OpenCursor();
    Fire(AfterOpen);
  } else {
    Fire(BeforeClose);
    if (IsEditState(state_)) {
      // The pending change is dropped, not posted; the storage's failure to cancel it must not
      // keep the dataset open, since closing drops the change anyway.
      try {
        InternalCancel();
      } catch (const std::exception& error) {
        InternalHandleException(error);
      }
    }
    SetState(TDataSetState::Inactive);
    CloseCursor();
    Fire(AfterClose);
  }
}

void TDataSet::OpenCursor() {
  try {
    InternalOpen();
    AllocateWindow(bufferCount_);
  } catch (...) {
    FreeWindow();
    InternalClose();
    throw;
  }
  state_ = TDataSetState::Browse;
  modified_ = false;
  InternalFirst();
  ReadFromStart();
  bof_ = true;
  eof_ = recordCount_ == 0;
  DataEvent(TDataEvent::UpdateState);
  DataEvent(TDataEvent::DataSetChanged);
}

void TDataSet::CloseCursor() {
  FreeWindow();
  InternalClose();
  ClearWindow();
  bof_ = eof_ = true;
}

void TDataSet::AllocateWindow(int32_t count) {
  buffers_.assign(static_cast<size_t>(count) + 1, nullptr);
  for (uint8_t*& buffer : buffers_) buffer = AllocRecordBuffer();
  tempBuffer_ = AllocRecordBuffer();
  ClearWindow();
}

void TDataSet::FreeWindow() {
  for (uint8_t*& buffer : buffers_) {
    if (buffer != nullptr) FreeRecordBuffer(buffer);
  }
  buffers_.clear();
  if (tempBuffer_ != nullptr) FreeRecordBuffer(tempBuffer_);
  tempBuffer_ = nullptr;
  stateBuffer_ = nullptr;
}

// ---- Fields --------------------------------------------------------------------------------

void TDataSet::CreateFields() {
  if (fields_.Count() != 0) return;
  for (int32_t i = 0; i < fieldDefs_.Count(); ++i) {
    const TFieldDef& def = fieldDefs_[i];
    std::unique_ptr<TField> field = CreateFieldForType(def.DataType(), def.Size());
    if (field == nullptr) continue;
    field->SetFieldName(def.Name());
    field->SetRequired(def.Required());
    field->SetReadOnly(def.ReadOnly());
    createdFields_.push_back(&fields_.Add(std::move(field)));
  }
}

void TDataSet::BindFields() {
  int32_t offset = 0;
  hasCalcFields_ = false;
  for (const auto& field : fields_) {
    if (field->FieldKind() == TFieldKind::fkData) {
      const TFieldDef* def = fieldDefs_.Find(field->FieldName());
      if (def == nullptr) Error(dsmsg::Format(dsmsg::kFieldNotFound, {field->FieldName()}));
      field->SetFieldNo(def->FieldNo());
    } else {
      field->SetFieldNo(0);
      field->SetOffset(offset);
      offset += 1 + field->DataSize();
      hasCalcFields_ = true;
    }
  }
  calcFieldsSize_ = offset;
}

void TDataSet::DestroyCreatedFields() {
  for (TField* field : createdFields_) fields_.Remove(*field);
  createdFields_.clear();
}

void TDataSet::ClearCalcFields(uint8_t* buffer) {
  if (calcFieldsSize_ > 0) std::memset(buffer + CalcAreaOffset(), 0, static_cast<size_t>(calcFieldsSize_));
}

void TDataSet::CalculateFields(uint8_t* buffer) {
  if (!hasCalcFields_) return;
  TempState calculating(*this, TDataSetState::Calculating, buffer);
  ClearCalcFields(buffer);
  for (const auto& field : fields_) {
    if (field->FieldKind() != TFieldKind::fkLookup || field->LookupDataSet == nullptr) continue;
    std::vector<Variant> keys;
    for (TField* key : FieldList(field->KeyFields)) keys.push_back(key->AsVariant());
    const std::vector<Variant> result =
        field->LookupDataSet->Lookup(field->LookupKeyFields, keys, field->LookupResultField);
    if (!result.empty() && !result[0].IsNull()) field->SetAsVariant(result[0]);
  }
  if (autoCalcFields_) Fire(OnCalcFields);
}

TGetResult TDataSet::FetchRecord(uint8_t* buffer, TGetMode mode, bool doCheck) {
  const TGetResult result = GetRecord(buffer, mode, doCheck);
  if (result == TGetResult::Ok) CalculateFields(buffer);
  return result;
}

// ---- States --------------------------------------------------------------------------------

TDataSet::TempState::TempState(TDataSet& dataSet, TDataSetState state, uint8_t* buffer)
    : dataSet_(dataSet), state_(dataSet.state_), buffer_(dataSet.stateBuffer_) {
  dataSet.state_ = state;
  dataSet.stateBuffer_ = buffer;
}

TDataSet::TempState::~TempState() {
  dataSet_.state_ = state_;
  dataSet_.stateBuffer_ = buffer_;
}

void TDataSet::SetState(TDataSetState state, uint8_t* stateBuffer) {
  stateBuffer_ = stateBuffer;
  if (state == state_) return;
  state_ = state;
  modified_ = false;
  DataEvent(TDataEvent::UpdateState);
}

bool TDataSet::RecordAccepted(uint8_t* buffer) {
  if (!filtered_ || !onFilterRecord_) return true;
  TempState filtering(*this, TDataSetState::Filtering, buffer);
  bool accept = true;
  try {
    onFilterRecord_(*this, accept);
  } catch (const std::exception& error) {
    InternalHandleException(error);
  }
  return accept;
}

void TDataSet::InternalHandleException(const std::exception& error) {
  if (ExceptionHandler()) ExceptionHandler()(error);
}

void TDataSet::RunWithErrorEvent(const TDataSetErrorEvent& event,
                                 const std::function<void()>& operation) {
  while (true) {
    try {
      operation();
      return;
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception& error) {
      TDataAction action = TDataAction::Fail;
      if (event) event(*this, error, action);
      if (action == TDataAction::Retry) continue;
      if (action == TDataAction::Abort) throw EAbort();
      throw;
    }
  }
}

// ---- The window ----------------------------------------------------------------------------

void TDataSet::ClearWindow() {
  recordCount_ = 0;
  activeRecord_ = 0;
  currentRecord_ = -1;
}

void TDataSet::MoveBufferToEnd() {
  std::rotate(buffers_.begin(), buffers_.begin() + 1, buffers_.end());
}

void TDataSet::MoveBufferToStart() {
  std::rotate(buffers_.rbegin(), buffers_.rbegin() + 1, buffers_.rend());
}

bool TDataSet::GetNextRecord() {
  if (recordCount_ > 0 && currentRecord_ != recordCount_ - 1) {
    InternalSetToRecord(buffers_[static_cast<size_t>(recordCount_ - 1)]);
    currentRecord_ = recordCount_ - 1;
  }
  // Slot recordCount_ is free, or the spare after a full window.
  uint8_t* target = buffers_[static_cast<size_t>(recordCount_)];
  if (FetchRecord(target, TGetMode::Next) != TGetResult::Ok) {
    currentRecord_ = -1;
    return false;
  }
  if (recordCount_ == bufferCount_) {
    MoveBufferToEnd();  // the first record leaves; the fetched one is now the last
    activeRecord_ = std::max(activeRecord_ - 1, 0);
  } else {
    ++recordCount_;
  }
  currentRecord_ = recordCount_ - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (recordCount_ > 0 && currentRecord_ != 0) {
    InternalSetToRecord(buffers_[0]);
    currentRecord_ = 0;
  }
  uint8_t* target = buffers_[static_cast<size_t>(bufferCount_)];
  if (FetchRecord(target, TGetMode::Prior) != TGetResult::Ok) {
    currentRecord_ = -1;
    return false;
  }
  MoveBufferToStart();  // the spare comes first; the slot after the window becomes the spare
  if (recordCount_ > 0) activeRecord_ = std::min(activeRecord_ + 1, bufferCount_ - 1);
  recordCount_ = std::min(recordCount_ + 1, bufferCount_);
  currentRecord_ = 0;
  return true;
}

int32_t TDataSet::GetNextRecords() {
  int32_t count = 0;
  while (recordCount_ < bufferCount_ && GetNextRecord()) ++count;
  return count;
}

int32_t TDataSet::GetPriorRecords() {
  int32_t count = 0;
  while (recordCount_ < bufferCount_ && GetPriorRecord()) ++count;
  return count;
}

void TDataSet::ReadFromStart() {
  ClearWindow();
  if (GetNextRecord()) GetNextRecords();
  activeRecord_ = 0;
}

void TDataSet::ReadFromEnd() {
  ClearWindow();
  if (GetPriorRecord()) GetPriorRecords();
  activeRecord_ = std::max(recordCount_ - 1, 0);
}

void TDataSet::Resync(bool centre) {
  const int32_t wanted = centre ? (bufferCount_ - 1) / 2 : std::min(activeRecord_, bufferCount_ - 1);
  ClearWindow();
  uint8_t* first = buffers_[0];
  // The record the storage is on; when it is gone, the next one, else the one before.
  if (FetchRecord(first, TGetMode::Current, false) != TGetResult::Ok &&
      FetchRecord(first, TGetMode::Next, false) != TGetResult::Ok &&
      FetchRecord(first, TGetMode::Prior, false) != TGetResult::Ok) {
    bof_ = eof_ = true;
    return;
  }
  recordCount_ = 1;
  currentRecord_ = 0;
  activeRecord_ = 0;
  while (activeRecord_ < wanted && GetPriorRecord()) {
  }
  GetNextRecords();
  GetPriorRecords();
  bof_ = eof_ = false;
}

void TDataSet::UpdateCursorPos() {
  if (recordCount_ > 0 && currentRecord_ != activeRecord_) {
    InternalSetToRecord(buffers_[static_cast<size_t>(activeRecord_)]);
    currentRecord_ = activeRecord_;
  }
}

int32_t TDataSet::SetActiveRecord(int32_t index) {
  const int32_t old = activeRecord_;
  if (index >= 0 && index < std::max(recordCount_, 1)) activeRecord_ = index;
  return old;
}

void TDataSet::UpdateBufferCount() {
  int32_t count = 1;
  for (TDataSource* source : dataSources_) {
    for (TDataLink* link : source->DataLinks()) count = std::max(count, link->BufferCount());
  }
  if (count == bufferCount_) return;
  if (!Active()) {
    bufferCount_ = count;
    return;
  }
  if (state_ != TDataSetState::Browse) return;  // applied at the next change in Browse
  UpdateCursorPos();
  const bool hadRecords = recordCount_ > 0;
  FreeWindow();
  bufferCount_ = count;
  AllocateWindow(count);
  if (hadRecords) {
    Resync();
  } else {
    bof_ = eof_ = true;
  }
  DataEvent(TDataEvent::DataSetChanged);
}

uint8_t* TDataSet::ActiveBuffer() const {
  switch (state_) {
    case TDataSetState::Browse:
    case TDataSetState::Editing:
    case TDataSetState::Inserting:
      return recordCount_ > 0 ? buffers_[static_cast<size_t>(activeRecord_)] : nullptr;
    case TDataSetState::Inactive:
      return nullptr;
    default:
      return stateBuffer_;
  }
}

bool TDataSet::IsEmpty() const { return recordCount_ == 0 && !IsEditState(state_); }

// ---- Moving --------------------------------------------------------------------------------

void TDataSet::NotifyScrolled(int32_t distance) {
  DataEvent(TDataEvent::DataSetScrolled, {nullptr, distance});
}

void TDataSet::First() {
  CheckBrowseMode();
  Fire(BeforeScroll);
  InternalFirst();
  ReadFromStart();
  bof_ = true;
  eof_ = recordCount_ == 0;
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterScroll);
}

void TDataSet::Last() {
  CheckBrowseMode();
  Fire(BeforeScroll);
  InternalLast();
  ReadFromEnd();
  eof_ = true;
  bof_ = recordCount_ == 0;
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterScroll);
}

int32_t TDataSet::MoveBy(int32_t distance) {
  CheckBrowseMode();
  if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_)) return 0;
  Fire(BeforeScroll);
  bof_ = eof_ = false;
  int32_t moved = 0;
  while (distance > 0) {
    if (activeRecord_ < recordCount_ - 1) {
      ++activeRecord_;
    } else if (GetNextRecord()) {
      activeRecord_ = recordCount_ - 1;
    } else {
      eof_ = true;
      break;
    }
    --distance;
    ++moved;
  }
  while (distance < 0) {
    if (activeRecord_ > 0) {
      --activeRecord_;
    } else if (GetPriorRecord()) {
      activeRecord_ = 0;
    } else {
      bof_ = true;
      break;
    }
    ++distance;
    --moved;
  }
  if (moved != 0) NotifyScrolled(moved);
  Fire(AfterScroll);
  return moved;
}

// ---- Changing ------------------------------------------------------------------------------

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(TDataEvent::CheckBrowseMode);
  switch (state_) {
    case TDataSetState::Editing:
    case TDataSetState::Inserting:
      UpdateRecord();
      if (modified_) {
        Post();
      } else {
        Cancel();
      }
      break;
    case TDataSetState::KeyEntry:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (IsEditState(state_) || state_ == TDataSetState::KeyEntry) DataEvent(TDataEvent::UpdateRecord);
}

void TDataSet::Edit() {
  if (IsEditState(state_)) return;
  CheckActive();
  if (recordCount_ == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeEdit);
  RunWithErrorEvent(OnEditError, [this] {
    UpdateCursorPos();
    InternalEdit();
  });
  CalculateFields(ActiveBuffer());
  SetState(TDataSetState::Editing);
  DataEvent(TDataEvent::RecordChanged);
  Fire(AfterEdit);
}

void TDataSet::Insert() { DoInsertAppend(false); }
void TDataSet::Append() { DoInsertAppend(true); }

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeInsert);
  Fire(BeforeScroll);
}

void TDataSet::DoInsertAppend(bool append) {
  BeginInsertAppend();
  uint8_t* buffer = nullptr;
  if (!append) {
    UpdateCursorPos();
    if (recordCount_ == 0) {
      recordCount_ = 1;
      activeRecord_ = 0;
      currentRecord_ = -1;
    } else {
      // The spare buffer goes in before the current record; a full window drops its last.
      std::rotate(buffers_.begin() + activeRecord_, buffers_.end() - 1, buffers_.end());
      recordCount_ = std::min(recordCount_ + 1, bufferCount_);
      currentRecord_ = activeRecord_ + 1 < recordCount_ ? activeRecord_ + 1 : -1;
    }
    buffer = buffers_[static_cast<size_t>(activeRecord_)];
    InternalInitRecord(buffer);
    SetBookmarkFlag(buffer, TBookmarkFlag::Inserted);
  } else {
    // The window shows the last records with the new one after them.
    ClearWindow();
    InternalLast();
    while (recordCount_ < bufferCount_ - 1 && GetPriorRecord()) {
    }
    activeRecord_ = recordCount_;
    ++recordCount_;
    buffer = buffers_[static_cast<size_t>(activeRecord_)];
    InternalInitRecord(buffer);
    SetBookmarkFlag(buffer, TBookmarkFlag::Eof);
  }
  ClearCalcFields(buffer);
  bof_ = eof_ = false;
  try {
    InternalInsert();
  } catch (...) {
    // Nothing was started: show the records as they were.
    CursorPosChanged();
    RemoveNewBuffer();
    throw;
  }
  SetState(TDataSetState::Inserting);
  try {
    DoOnNewRecord();
  } catch (...) {
    Cancel();
    throw;
  }
  modified_ = false;
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterInsert);
  Fire(AfterScroll);
}

void TDataSet::RemoveNewBuffer() {
  // The new record's buffer leaves the window. An insert left the storage on the record that
  // was current before it (a full window may have dropped that one from its end), so the window
  // is read again around it; an append left the window's records as they were, and the last
  // one becomes current.
  const bool appended = GetBookmarkFlag(buffers_[static_cast<size_t>(activeRecord_)]) == TBookmarkFlag::Eof;
  std::rotate(buffers_.begin() + activeRecord_, buffers_.begin() + activeRecord_ + 1, buffers_.end());
  --recordCount_;
  if (appended && recordCount_ > 0) {
    activeRecord_ = recordCount_ - 1;
    UpdateCursorPos();
  }
  currentRecord_ = -1;
  Resync();
}

void TDataSet::CheckRequiredFields() {
  for (const auto& field : fields_) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == TFieldKind::fkData &&
        field->IsNull()) {
      Error(dsmsg::Format(dsmsg::kFieldRequired, {field->DisplayName()}));
    }
  }
}

void TDataSet::Post() {
  UpdateRecord();
  if (state_ == TDataSetState::KeyEntry) {
    InternalPostKey();
    return;
  }
  if (!IsEditState(state_)) return;
  CheckRequiredFields();
  Fire(BeforePost);
  RunWithErrorEvent(OnPostError, [this] { InternalPost(); });
  // The storage is on the posted record, which the order may have moved.
  SetState(TDataSetState::Browse);
  CursorPosChanged();
  Resync();
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterPost);
}

void TDataSet::Cancel() {
  if (state_ == TDataSetState::KeyEntry) {
    InternalCancelKey();
    return;
  }
  if (!IsEditState(state_)) return;
  const bool wasInsert = state_ == TDataSetState::Inserting;
  Fire(BeforeCancel);
  if (wasInsert) Fire(BeforeScroll);
  InternalCancel();
  SetState(TDataSetState::Browse);
  if (wasInsert) {
    RemoveNewBuffer();
  } else {
    // Read the record again over the changed buffer.
    currentRecord_ = -1;
    UpdateCursorPos();
    Resync();
  }
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterCancel);
  if (wasInsert) Fire(AfterScroll);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == TDataSetState::Inserting || state_ == TDataSetState::KeyEntry) {
    Cancel();
    return;
  }
  if (recordCount_ == 0) Error(dsmsg::kDataSetEmpty);
  if (state_ == TDataSetState::Editing) {
    // The record goes: its pending change with it.
    InternalCancel();
    SetState(TDataSetState::Browse);
  }
  CheckCanModify();
  Fire(BeforeDelete);
  Fire(BeforeScroll);
  RunWithErrorEvent(OnDeleteError, [this] {
    UpdateCursorPos();
    InternalDelete();
  });
  CursorPosChanged();
  Resync();
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterDelete);
  Fire(AfterScroll);
}

void TDataSet::Refresh() {
  CheckActive();
  Fire(BeforeRefresh);
  CheckBrowseMode();
  UpdateCursorPos();
  InternalRefresh();
  if (recordCount_ == 0) {
    InternalFirst();
    ReadFromStart();
    bof_ = true;
    eof_ = recordCount_ == 0;
  } else {
    CursorPosChanged();
    Resync();
  }
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterRefresh);
}

void TDataSet::InsertRecord(std::span<const Variant> values) {
  Insert();
  AddRecordValues(values, false);
}

void TDataSet::AppendRecord(std::span<const Variant> values) {
  Append();
  AddRecordValues(values, true);
}

void TDataSet::AddRecordValues(std::span<const Variant> values, bool append) {
  try {
    for (size_t i = 0; i < values.size() && i < static_cast<size_t>(fields_.Count()); ++i) {
      TField& field = fields_[static_cast<int32_t>(i)];
      if (field.FieldKind() == TFieldKind::fkData && !values[i].IsEmpty()) field.SetAsVariant(values[i]);
    }
    CheckRequiredFields();
    Fire(BeforePost);
    InternalAddRecord(ActiveBuffer(), append);
  } catch (...) {
    Cancel();
    throw;
  }
  SetState(TDataSetState::Browse);
  CursorPosChanged();
  Resync();
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterPost);
}

// ---- Field values --------------------------------------------------------------------------

bool TDataSet::GetFieldData(const TField& field, std::span<uint8_t> out) const {
  const uint8_t* buffer = ActiveBuffer();
  if (buffer == nullptr) return false;
  if (field.FieldKind() == TFieldKind::fkData) return GetDataFieldData(field, buffer, out);
  const uint8_t* value = buffer + CalcAreaOffset() + field.Offset();
  if (value[0] == 0) return false;
  const size_t n = std::min(out.size(), static_cast<size_t>(field.DataSize()));
  if (n > 0) std::memcpy(out.data(), value + 1, n);
  return true;
}

void TDataSet::CheckFieldWritable(const TField& /*field*/) const {
  if (!IsWritableState(state_)) Error(dsmsg::kNotEditing);
}

void TDataSet::SetFieldData(TField& field, std::span<const uint8_t> value) {
  CheckFieldWritable(field);
  const bool calculating = state_ == TDataSetState::Calculating ||
                           state_ == TDataSetState::InternalCalc ||
                           state_ == TDataSetState::Filtering;
  if (!calculating && (field.ReadOnly() || field.FieldKind() == TFieldKind::fkLookup)) {
    Error(dsmsg::Format(dsmsg::kFieldReadOnly, {field.DisplayName()}));
  }
  if (!calculating) field.Validate();
  uint8_t* buffer = ActiveBuffer();
  if (buffer == nullptr) Error(dsmsg::kNotEditing);
  if (field.FieldKind() == TFieldKind::fkData) {
    SetDataFieldData(field, buffer, value);
  } else {
    uint8_t* slot = buffer + CalcAreaOffset() + field.Offset();
    const size_t size = static_cast<size_t>(field.DataSize());
    std::memset(slot, 0, size + 1);
    if (!value.empty()) {
      slot[0] = 1;
      std::memcpy(slot + 1, value.data(), std::min(size, value.size()));
    }
  }
  if (calculating) return;
  modified_ = true;
  field.Change();
  DataEvent(TDataEvent::FieldChanged, {&field, 0});
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField& field, TBlobStreamMode /*mode*/) {
  Error(dsmsg::Format(dsmsg::kFieldAccessAs, {field.DisplayName(), "BLOB"}));
}

// ---- Bookmarks -----------------------------------------------------------------------------

TBookmark TDataSet::GetBookmark() {
  if (!Active() || recordCount_ == 0 || state_ == TDataSetState::Inserting) return {};
  const uint8_t* buffer = buffers_[static_cast<size_t>(activeRecord_)];
  if (GetBookmarkFlag(buffer) != TBookmarkFlag::Current) return {};
  return GetBookmarkData(buffer);
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  Fire(BeforeScroll);
  InternalGotoBookmark(bookmark);
  CursorPosChanged();
  Resync(true);
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterScroll);
}

int32_t TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() && b.empty()) return 0;
  if (a.empty()) return 1;
  if (b.empty()) return -1;
  if (a < b) return -1;
  return b < a ? 1 : 0;
}

// ---- Locating ------------------------------------------------------------------------------

std::vector<TField*> TDataSet::FieldList(std::string_view names) const {
  std::vector<TField*> result;
  for (const std::string& name : SplitFieldNames(names)) result.push_back(&fields_.FieldByName(name));
  return result;
}

bool TDataSet::ScanForMatch(std::span<TField* const> fields, std::span<const Variant> values,
                            TLocateOptions options, uint8_t* buffer) {
  if (fields.size() != values.size()) {
    Error(dsmsg::Format(dsmsg::kFieldCountMismatch,
                        {static_cast<int64_t>(fields.size()), static_cast<int64_t>(values.size())}));
  }
  const bool caseInsensitive = options.Contains(TLocateOption::loCaseInsensitive);
  const bool partial = options.Contains(TLocateOption::loPartialKey);
  CursorPosChanged();
  InternalFirst();
  while (FetchRecord(buffer, TGetMode::Next) == TGetResult::Ok) {
    TempState filtering(*this, TDataSetState::Filtering, buffer);
    bool all = true;
    for (size_t i = 0; i < fields.size() && all; ++i) {
      all = fields[i]->ValueMatches(values[i], caseInsensitive, partial);
    }
    if (all) return true;
  }
  return false;
}

bool TDataSet::Locate(std::string_view keyFields, std::span<const Variant> values,
                      TLocateOptions options) {
  CheckBrowseMode();
  const std::vector<TField*> fields = FieldList(keyFields);
  Fire(BeforeScroll);
  const bool found = ScanForMatch(fields, values, options, tempBuffer_);
  CursorPosChanged();
  if (!found) return false;
  InternalGotoBookmark(GetBookmarkData(tempBuffer_));
  Resync(true);
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterScroll);
  return true;
}

std::vector<Variant> TDataSet::Lookup(std::string_view keyFields, std::span<const Variant> values,
                                      std::string_view resultFields) {
  CheckBrowseMode();
  const std::vector<TField*> fields = FieldList(keyFields);
  const std::vector<TField*> results = FieldList(resultFields);
  std::vector<Variant> answer;
  const bool found = ScanForMatch(fields, values, {}, tempBuffer_);
  CursorPosChanged();
  if (!found) return {Variant::Null()};
  TempState reading(*this, TDataSetState::Filtering, tempBuffer_);
  for (TField* field : results) answer.push_back(field->AsVariant());
  return answer;
}

// ---- Filtering -----------------------------------------------------------------------------

void TDataSet::ReapplyFilter(bool moveFirst) {
  if (!Active()) return;
  CheckBrowseMode();
  ApplyFilter();
  if (moveFirst) {
    First();
  } else {
    Refresh();
  }
}

void TDataSet::SetFilter(std::string text) {
  if (text == filterText_) return;
  filterText_ = std::move(text);
  if (filtered_) ReapplyFilter(true);
}

void TDataSet::SetFiltered(bool filtered) {
  if (filtered == filtered_) return;
  filtered_ = filtered;
  ReapplyFilter(filtered);
}

void TDataSet::SetFilterOptions(TFilterOptions options) {
  if (options == filterOptions_) return;
  filterOptions_ = options;
  if (filtered_) ReapplyFilter(true);
}

void TDataSet::SetOnFilterRecord(TFilterRecordEvent event) {
  onFilterRecord_ = std::move(event);
  if (filtered_) ReapplyFilter(true);
}

// ---- Controls ------------------------------------------------------------------------------

void TDataSet::DisableControls() {
  if (disableCount_ == 0) disableState_ = state_;
  ++disableCount_;
}

void TDataSet::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ != 0) return;
  if (disableState_ != state_) DataEvent(TDataEvent::UpdateState);
  if (disableState_ != TDataSetState::Inactive && state_ != TDataSetState::Inactive) {
    DataEvent(TDataEvent::DataSetChanged);
  }
}

void TDataSet::AttachDataSource(TDataSource& source) {
  if (std::find(dataSources_.begin(), dataSources_.end(), &source) == dataSources_.end()) {
    dataSources_.push_back(&source);
  }
}

void TDataSet::DetachDataSource(TDataSource& source) {
  std::erase(dataSources_, &source);
}

void TDataSet::DataEvent(TDataEvent event, TDataEventInfo info) {
  if (disableCount_ != 0) return;
  for (TDataSource* source : std::vector<TDataSource*>(dataSources_)) source->DataEvent(event, info);
}

}  // namespace qdx
