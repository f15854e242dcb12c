// The dataset over an engine cursor: attaching to the database, the cursor's buffers and
// fetches, the engine part of the edit cycle with its result codes, field values in the
// framework's native forms, filters, Locate, record numbers, bookmarks and BLOB streams.
#include "dataset/qdx_dataset.h"

#include <algorithm>
#include <cstring>

#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "dataset/engine_error.h"
#include "dataset/framework/index_defs.h"
#include "dataset/local_engine/local_blob_stream.h"
#include "dataset/process_lock.h"
#include "dataset/qdx_session.h"
#include "engine/core/record_layout.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/date_time.h"
#include "engine/foundation/types/variant.h"

namespace qdx {

namespace {

constexpr int32_t kBookmarkSize = TQDXCursor::kBookmarkSize;

// Integers in the engine's dataset form: their width there.
int32_t EngineIntegerWidth(TQDXDataType type) {
  switch (type) {
    case TQDXDataType::ShortInt:
    case TQDXDataType::SmallInt:
    case TQDXDataType::Word:
    case TQDXDataType::Logical:
      return 2;
    case TQDXDataType::Byte:
      return 1;
    case TQDXDataType::Integer:
      return 4;
    case TQDXDataType::LargeInt:
    case TQDXDataType::Cardinal:
      return 8;
    default:
      return 0;
  }
}

int64_t LoadInteger(TQDXDataType type, const uint8_t* p) {
  switch (type) {
    case TQDXDataType::Byte: return p[0];
    case TQDXDataType::Word: return le::Load<uint16_t>(p);
    case TQDXDataType::ShortInt:
    case TQDXDataType::SmallInt:
    case TQDXDataType::Logical: return le::Load<int16_t>(p);
    case TQDXDataType::Integer: return le::Load<int32_t>(p);
    default: return le::Load<int64_t>(p);
  }
}

void StoreInteger(TQDXDataType type, int64_t v, uint8_t* p) {
  switch (type) {
    case TQDXDataType::Byte: p[0] = static_cast<uint8_t>(v); break;
    case TQDXDataType::Word: le::Store<uint16_t>(p, static_cast<uint16_t>(v)); break;
    case TQDXDataType::ShortInt:
    case TQDXDataType::SmallInt:
    case TQDXDataType::Logical: le::Store<int16_t>(p, static_cast<int16_t>(v)); break;
    case TQDXDataType::Integer: le::Store<int32_t>(p, static_cast<int32_t>(v)); break;
    default: le::Store<int64_t>(p, v); break;
  }
}

// The framework's width of an integer field's native form.
int64_t LoadNativeInteger(int32_t width, const uint8_t* p, bool isWord) {
  switch (width) {
    case 2: return isWord ? le::Load<uint16_t>(p) : le::Load<int16_t>(p);
    case 4: return le::Load<int32_t>(p);
    default: return le::Load<int64_t>(p);
  }
}

void StoreNativeInteger(int32_t width, int64_t v, uint8_t* p) {
  switch (width) {
    case 2: le::Store<int16_t>(p, static_cast<int16_t>(v)); break;
    case 4: le::Store<int32_t>(p, static_cast<int32_t>(v)); break;
    default: le::Store<int64_t>(p, v); break;
  }
}

// Whether a value of the engine's dataset form differs from the framework's native form: dates
// and times are day numbers and milliseconds there, integers have the width of their slot.
bool NeedsNativeConversion(TQDXDataType type) {
  switch (type) {
    case TQDXDataType::Date:
    case TQDXDataType::Time:
    case TQDXDataType::DateTime:
      return true;
    default:
      return EngineIntegerWidth(type) != 0 && type != TQDXDataType::Logical;
  }
}

// Bytes of a field's value in the engine's dataset form.
size_t EngineFormSize(const TQDXFieldDef& def) {
  if (EngineIntegerWidth(def.DataType) != 0) return static_cast<size_t>(EngineIntegerWidth(def.DataType));
  switch (def.DataType) {
    case TQDXDataType::Single:
    case TQDXDataType::Extended: return 8;
    default: return static_cast<size_t>(std::max(def.MemorySize, 0));
  }
}

// Converts a value from the engine's dataset form into the field's native form in `out`.
void NativeFromEngineForm(TQDXDataType type, const uint8_t* engineForm, size_t formSize,
                          std::span<uint8_t> out) {
  switch (type) {
    case TQDXDataType::Date:
      le::Store<double>(out.data(), DayNumberToDateValue(le::Load<int32_t>(engineForm)));
      return;
    case TQDXDataType::Time:
      le::Store<double>(out.data(), MillisecondsToDateValue(le::Load<int32_t>(engineForm)));
      return;
    case TQDXDataType::DateTime:
      le::Store<double>(out.data(), QDXToDateTime({le::Load<int32_t>(engineForm),
                                                   le::Load<int32_t>(engineForm + 4)}));
      return;
    default:
      break;
  }
  if (EngineIntegerWidth(type) != 0 && type != TQDXDataType::Logical) {
    StoreNativeInteger(static_cast<int32_t>(out.size()), LoadInteger(type, engineForm), out.data());
    return;
  }
  std::memcpy(out.data(), engineForm, std::min(out.size(), formSize));
}

}  // namespace

namespace {

// Every dataset of the process, for the sessions that look them up by owner.
std::vector<TQDXDataSet*>& AllDataSets() {
  static std::vector<TQDXDataSet*> dataSets;
  return dataSets;
}

}  // namespace

TQDXDataSet::TQDXDataSet(std::string name, const void* owner) : owner_(owner) {
  SetName(std::move(name));
  const platform::CriticalSectionGuard lock(ProcessLock());
  AllDataSets().push_back(this);
}

TQDXDataSet::~TQDXDataSet() {
  {
    const platform::CriticalSectionGuard lock(ProcessLock());
    std::erase(AllDataSets(), this);
  }
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; closing drops a pending change and frees what it can.
  }
  DetachDatabase();
}

std::vector<TQDXDataSet*> TQDXDataSet::DataSetsOf(const void* owner) {
  const platform::CriticalSectionGuard lock(ProcessLock());
  std::vector<TQDXDataSet*> found;
  if (owner == nullptr) return found;
  for (TQDXDataSet* dataSet : AllDataSets()) {
    if (dataSet->owner_ == owner) found.push_back(dataSet);
  }
  return found;
}

// ---- Naming the database -------------------------------------------------------------------

void TQDXDataSet::SetDatabaseName(std::string name) {
  if (name == databaseName_) return;
  CheckInactive();
  if (database_ != nullptr) Error(dsmsg::kDatabaseOpen);
  // "memory" in any case is kept in its one spelling, so every later comparison agrees.
  if (SameDatabaseName(name, kMemoryDatabaseName)) {
    inMemory_ = true;
    name = std::string(kMemoryDatabaseName);
  }
  databaseName_ = std::move(name);
}

void TQDXDataSet::SetSessionName(std::string name) {
  CheckInactive();
  if (database_ != nullptr) Error(dsmsg::kDatabaseOpen);
  sessionName_ = std::move(name);
}

void TQDXDataSet::SetInMemory(bool inMemory) {
  if (inMemory == inMemory_) return;
  CheckInactive();
  if (database_ != nullptr) Error(dsmsg::kDatabaseOpen);
  inMemory_ = inMemory;
  if (inMemory) databaseName_ = std::string(kMemoryDatabaseName);
}

void TQDXDataSet::AttachDatabase() {
  if (database_ != nullptr) return;
  TQDXSession& session = Sessions().OpenSession(sessionName_);
  TQDXDatabase& database = session.OpenDatabase(databaseName_, owner_);
  session_ = &session;
  database_ = &database;
  database.AddDataSet(*this);
}

void TQDXDataSet::DetachDatabase() {
  if (database_ == nullptr) return;
  TQDXDatabase* database = database_;
  TQDXSession* session = session_;
  database_ = nullptr;
  session_ = nullptr;
  database->RemoveDataSet(*this);
  if (session != nullptr) session->CloseDatabase(*database);
}

// ---- Opening and closing -------------------------------------------------------------------

void TQDXDataSet::InternalOpen() {
  if (databaseName_.empty()) Error(dsmsg::kDatabaseNameBlank);
  AttachDatabase();
  try {
    cursor_ = CreateHandle();
    if (cursor_ == nullptr) Raise(msg::kErrorCreatingTableHandle);
    if (cursor_->ReadOnly) SetReadOnly(true);
    OpenIndex();
    cursor_->InitFieldDefs();
    LoadFieldDefs();
    PlanFieldReads();
    BuildIndexFieldList();
    CreateFields();
    BindFields();
    recordBufferSize_ = cursor_->RecordBufferSize + CalcFieldsSize();
    cursor_->FilterCallback = nullptr;
    OpenExtras();
    ApplyFilter();
  } catch (...) {
    InternalClose();
    throw;
  }
}

void TQDXDataSet::InternalClose() {
  FreeOldRecord();
  CloseExtras();
  DestroyCreatedFields();
  // FieldDefs keep describing the table: CreateTable and RestructureTable of a closed table start
  // from them, and the next open reads them again.
  indexFieldNos_.clear();
  fieldReads_.clear();
  indexKeySize_ = 0;
  if (cursor_ != nullptr) {
    std::unique_ptr<TQDXLocalCursor> cursor = std::move(cursor_);
    cursor->CloseTable();
  }
  DetachDatabase();
}

void TQDXDataSet::LoadFieldDefs() {
  LoadFieldDefsFrom(*cursor_);
}

void TQDXDataSet::LoadFieldDefsFrom(const TQDXLocalCursor& cursor) {
  TFieldDefs& defs = TDataSet::FieldDefs();
  defs.Clear();
  const TQDXFieldDefs& visible = *cursor.VisibleFieldDefs;
  for (int32_t i = 0; i < visible.Count(); ++i) {
    const TQDXFieldDef& def = visible.GetFieldDef(i);
    const TFieldType type = FieldTypeToDatasetFieldType(def.FieldType);
    int32_t size = 0;
    if (type == ftGuid) {
      size = 38;
    } else if (IsSizedFieldType(def.FieldType)) {
      size = def.Size;
    }
    TFieldDef& added = defs.Add(def.Name(), type, size);
    if (def.IsAutoinc()) added.SetReadOnly(true);
  }
  // A field is required when the table holds a not null constraint on it.
  const TQDXConstraintDefs* constraints = cursor.ConstraintDefs.get();
  for (int32_t i = 0; constraints != nullptr && i < constraints->Count(); ++i) {
    const TQDXConstraintDef& constraint = constraints->GetConstraintDef(i);
    if (constraint.ConstraintType() != ctNotNull) continue;
    const auto& notNull = static_cast<const TQDXConstraintDefNotNull&>(constraint);
    const int32_t field = defs.IndexOf(notNull.TargetRef.Name);
    if (field >= 0) defs[field].SetRequired(true);
  }
}

void TQDXDataSet::BuildIndexFieldList() {
  indexFieldNos_.clear();
  indexKeySize_ = 0;
  const std::string& name = cursor_->CurrentIndexName;
  if (name.empty()) return;
  const TQDXMetaObjectDef* found =
      cursor_->IndexDefs != nullptr ? cursor_->IndexDefs->FindByName(name) : nullptr;
  if (found == nullptr) Raise(msg::kCannotFindIndex, {name});
  const auto& index = static_cast<const TQDXIndexDef&>(*found);
  const TQDXFieldDefs& visible = *cursor_->VisibleFieldDefs;
  for (int32_t c = 0; c < index.ColumnCount(); ++c) {
    const std::string& fieldName = index.Column(c).FieldName;
    for (int32_t i = 0; i < visible.Count(); ++i) {
      if (SameFieldName(visible.GetFieldDef(i).Name(), fieldName)) {
        indexFieldNos_.push_back(i + 1);
        indexKeySize_ += visible.GetFieldDef(i).MemorySize;
        break;
      }
    }
  }
}

bool TQDXDataSet::IsIndexField(const TField& field) const {
  return field.FieldKind() == TFieldKind::fkData &&
         std::find(indexFieldNos_.begin(), indexFieldNos_.end(), field.FieldNo()) != indexFieldNos_.end();
}

// ---- Buffers -------------------------------------------------------------------------------

uint8_t* TQDXDataSet::NewBuffer(int32_t size) {
  return new uint8_t[static_cast<size_t>(size)]();
}

void TQDXDataSet::DeleteBuffer(uint8_t*& buffer) {
  delete[] buffer;
  buffer = nullptr;
}

uint8_t* TQDXDataSet::AllocRecordBuffer() { return NewBuffer(recordBufferSize_); }

void TQDXDataSet::FreeRecordBuffer(uint8_t*& buffer) {
  if (buffer == nullptr) return;
  if (cursor_ != nullptr) {
    // The table data drops what it cached for the buffer (BLOB values); the memory is ours.
    RecordBuffer owned(buffer);
    buffer = nullptr;
    try {
      cursor_->FreeRecordBuffer(owned);
    } catch (...) {
    }
    return;
  }
  DeleteBuffer(buffer);
}

void TQDXDataSet::FreeOldRecord() {
  if (oldRecord_ != nullptr) FreeRecordBuffer(oldRecord_);
  if (cursor_ != nullptr) cursor_->OldRecord = nullptr;
}

int32_t TQDXDataSet::GetRecordSize() const { return cursor_ != nullptr ? cursor_->RecordDataSize : 0; }

int32_t TQDXDataSet::CalcAreaOffset() const {
  return cursor_ != nullptr ? cursor_->CalculatedAreaOffset : 0;
}

TBookmarkFlag TQDXDataSet::GetBookmarkFlag(const uint8_t* buffer) const {
  return static_cast<TBookmarkFlag>(cursor_->RecordFlag(buffer));
}

void TQDXDataSet::SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) {
  cursor_->SetRecordFlag(buffer, static_cast<RecordPositionFlag>(flag));
}

TBookmark TQDXDataSet::GetBookmarkData(const uint8_t* buffer) const {
  const uint8_t* p = buffer + cursor_->BookmarkOffset;
  return TBookmark(p, p + kBookmarkSize);
}

void TQDXDataSet::SetBookmarkData(uint8_t* buffer, const TBookmark& bookmark) {
  if (bookmark.size() >= static_cast<size_t>(kBookmarkSize)) {
    std::memcpy(buffer + cursor_->BookmarkOffset, bookmark.data(), kBookmarkSize);
  }
}

// ---- Fetching and moving -------------------------------------------------------------------

TGetResult TQDXDataSet::GetRecord(uint8_t* buffer, TGetMode mode, bool doCheck) {
  cursor_->Buffer = buffer;
  const uint8_t result = cursor_->GetRecord(static_cast<TQDXGetRecordMode>(mode));
  switch (result) {
    case grOK:
      cursor_->SetBookmark(buffer, cursor_->RecordID);
      cursor_->SetRecordFlag(buffer, RecordPositionFlag::Current);
      ClearCalcFields(buffer);
      return TGetResult::Ok;
    case grBOF:
      return TGetResult::Bof;
    case grEOF:
      return TGetResult::Eof;
    default:
      if (doCheck) Raise(msg::kCannotRetrieveRecord);
      return TGetResult::Error;
  }
}

void TQDXDataSet::InternalFirst() { cursor_->First(); }
void TQDXDataSet::InternalLast() { cursor_->Last(); }

void TQDXDataSet::InternalSetToRecord(uint8_t* buffer) {
  cursor_->RecordID = cursor_->Bookmark(buffer);
  cursor_->AtBOF = false;
  cursor_->AtEOF = false;
}

void TQDXDataSet::InternalGotoBookmark(const TBookmark& bookmark) {
  if (bookmark.size() < static_cast<size_t>(kBookmarkSize)) Error(dsmsg::kRecordNotFound);
  const CursorPosition saved = cursor_->SavePosition();
  cursor_->RecordID = TQDXRecordID::Load(bookmark.data());
  cursor_->AtBOF = false;
  cursor_->AtEOF = false;
  cursor_->Buffer = TempBuffer();
  if (cursor_->GetRecord(grmCurrent) != grOK) {
    cursor_->RestorePosition(saved);
    Error(dsmsg::kRecordNotFound);
  }
}

bool TQDXDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (cursor_ == nullptr || bookmark.size() < static_cast<size_t>(kBookmarkSize)) return false;
  const CursorPosition saved = cursor_->SavePosition();
  uint8_t* savedBuffer = cursor_->Buffer;
  cursor_->RecordID = TQDXRecordID::Load(bookmark.data());
  cursor_->AtBOF = false;
  cursor_->AtEOF = false;
  cursor_->Buffer = TempBuffer();
  bool valid = false;
  try {
    valid = cursor_->GetRecord(grmCurrent) == grOK;
  } catch (...) {
    valid = false;
  }
  cursor_->RestorePosition(saved);
  cursor_->Buffer = savedBuffer;
  CursorPosChanged();
  return valid;
}

int32_t TQDXDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() || b.empty() || cursor_ == nullptr) return TDataSet::CompareBookmarks(a, b);
  return cursor_->CompareBookmarks(a.data(), b.data());
}

int32_t TQDXDataSet::RecordCount() {
  if (!Active() || cursor_ == nullptr) return 0;
  return static_cast<int32_t>(cursor_->GetRecordCount());
}

int32_t TQDXDataSet::RecNo() {
  if (!Active() || State() == TDataSetState::Inserting) return -1;
  const uint8_t* buffer = ActiveBuffer();
  if (buffer == nullptr || GetBookmarkFlag(buffer) != TBookmarkFlag::Current) return -1;
  const CursorPosition saved = cursor_->SavePosition();
  InternalSetToRecord(const_cast<uint8_t*>(buffer));
  const int64_t recNo = cursor_->GetRecNo();
  cursor_->RestorePosition(saved);
  return static_cast<int32_t>(recNo);
}

void TQDXDataSet::SetRecNo(int32_t recNo) {
  CheckBrowseMode();
  Fire(BeforeScroll);
  cursor_->SetRecNo(recNo);
  CursorPosChanged();
  Resync(true);
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterScroll);
}

void TQDXDataSet::InternalRefresh() {
  // A filter event's answers may have changed: the cursor's set of passing records is redone.
  if (Filtered() && OnFilterRecord()) cursor_->InvalidateFilter();
}

// ---- Record changes ------------------------------------------------------------------------

void TQDXDataSet::CheckCursorResult() {
  CheckEngineResult(cursor_->ResultCode, cursor_->ResultMessage);
}

void TQDXDataSet::InternalInitRecord(uint8_t* buffer) {
  cursor_->InitRecord(buffer, true);
  TQDXRecordID none{-1, 0xFFFF};
  cursor_->SetBookmark(buffer, none);
}

void TQDXDataSet::InternalInsert() {
  cursor_->Buffer = ActiveBuffer();
  if (!ReadOnly()) cursor_->InsertRecord();
}

void TQDXDataSet::InternalEdit() {
  if (ReadOnly()) return;
  uint8_t* active = ActiveBuffer();
  oldRecord_ = AllocRecordBuffer();
  std::memcpy(oldRecord_, active, static_cast<size_t>(recordBufferSize_));
  cursor_->Buffer = active;
  try {
    cursor_->EditRecord();
    CheckCursorResult();
  } catch (...) {
    FreeOldRecord();
    throw;
  }
}

void TQDXDataSet::InternalCancel() {
  const bool wasInsert = State() == TDataSetState::Inserting;
  FreeOldRecord();
  if (cursor_ == nullptr) return;
  cursor_->Buffer = ActiveBuffer();
  cursor_->CancelRecord(wasInsert);
  CheckCursorResult();
}

void TQDXDataSet::InternalPost() {
  if (!Active()) Raise(msg::kDatasetPostNotOpened);
  const bool inserting = State() == TDataSetState::Inserting;
  if (!inserting && State() != TDataSetState::Editing) Raise(msg::kDatasetPostWrongState);
  if (ReadOnly()) Raise(msg::kDatasetPostReadOnly);
  cursor_->Buffer = ActiveBuffer();
  cursor_->OldRecord = inserting ? nullptr : oldRecord_;
  cursor_->PostRecord(inserting);
  cursor_->OldRecord = nullptr;
  CheckCursorResult();
  if (!inserting) FreeOldRecord();
  // The window is read again from the posted record.
  InternalSetToRecord(ActiveBuffer());
}

void TQDXDataSet::InternalAddRecord(uint8_t* buffer, bool /*append*/) {
  if (!Active()) Raise(msg::kDatasetAddNotOpened);
  if (State() != TDataSetState::Inserting) Raise(msg::kDatasetAddWrongState);
  if (ReadOnly()) Raise(msg::kDatasetAddReadOnly);
  cursor_->Buffer = buffer;
  cursor_->PostRecord(true);
  CheckCursorResult();
  InternalSetToRecord(buffer);
}

void TQDXDataSet::InternalDelete() {
  if (!Active()) Raise(msg::kDatasetDeleteNotOpened);
  if (ReadOnly()) Raise(msg::kDatasetDeleteReadOnly);
  cursor_->Buffer = ActiveBuffer();
  InternalSetToRecord(ActiveBuffer());
  cursor_->DeleteRecord();
  CheckCursorResult();
}

// ---- Filters and Locate ----------------------------------------------------------------------

void TQDXDataSet::ApplyFilter() {
  if (cursor_ == nullptr) return;
  if (Filtered() && !Filter().empty()) {
    cursor_->SetFilter(Filter(), FilterOptions().Contains(TFilterOption::foCaseInsensitive),
                       !FilterOptions().Contains(TFilterOption::foNoPartialCompare));
  } else {
    cursor_->ClearFilter();
  }
  if (Filtered() && OnFilterRecord()) {
    cursor_->FilterCallback = [this](const uint8_t* record) {
      return RecordAccepted(const_cast<uint8_t*>(record));
    };
  } else {
    cursor_->FilterCallback = nullptr;
  }
  cursor_->InvalidateFilter();
}

bool TQDXDataSet::Locate(std::string_view keyFields, std::span<const Variant> values,
                         TLocateOptions options) {
  if (!Active()) Raise(msg::kCannotLocateOnClosedDataset);
  CheckBrowseMode();
  Fire(BeforeScroll);
  std::vector<TQDXVariant> keys(values.size());
  for (size_t i = 0; i < values.size(); ++i) keys[i].SetFromVariant(values[i]);
  bool found = false;
  {
    TempState filtering(*this, TDataSetState::Filtering, TempBuffer());
    cursor_->Buffer = TempBuffer();
    found = cursor_->Locate(keyFields, keys, options.Contains(TLocateOption::loCaseInsensitive),
                            options.Contains(TLocateOption::loPartialKey));
  }
  CursorPosChanged();
  if (!found) return false;
  Resync(true);
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterScroll);
  return true;
}

// ---- Field values --------------------------------------------------------------------------

const TQDXFieldDef& TQDXDataSet::EngineField(const TField& field) const {
  return cursor_->VisibleFieldDefs->GetFieldDef(field.FieldNo() - 1);
}

void TQDXDataSet::PlanFieldReads() {
  fieldReads_.clear();
  const TQDXFieldDefs& tableFields = *cursor_->TableFieldDefs;
  const TQDXFieldDefs& visible = *cursor_->VisibleFieldDefs;
  for (int32_t i = 0; i < visible.Count(); ++i) {
    FieldRead read;
    read.source = visible.GetFieldDef(i).SourceFieldNo;
    const TQDXFieldDef& def = tableFields.GetFieldDef(read.source);
    read.offset = def.MemoryOffset;
    read.size = def.MemorySize;
    // The field types the engine's field read converts (record_layout.h) are left to it.
    switch (def.FieldType) {
      case TQDXFieldType::ShortInt:
      case TQDXFieldType::AutoIncShortInt:
      case TQDXFieldType::Cardinal:
      case TQDXFieldType::Single:
      case TQDXFieldType::Extended:
        break;
      default:
        if (IsBlobFieldType(def.FieldType) || read.size <= 0) break;
        read.direct = !NeedsNativeConversion(def.DataType);
        // Dates, times and integers convert from the slot itself when it is exactly their
        // engine form.
        read.convertedFromSlot = !read.direct && EngineFormSize(def) == static_cast<size_t>(read.size);
        break;
    }
    read.dataType = def.DataType;
    fieldReads_.push_back(read);
  }
}

bool TQDXDataSet::GetDataFieldData(const TField& field, const uint8_t* buffer,
                                   std::span<uint8_t> out) const {
  // Field access goes to the buffer directly, never through the cursor's current buffer: a
  // filter callback reads a record while the table data is moving the cursor.
  const auto readNo = static_cast<size_t>(field.FieldNo() - 1);
  if (readNo < fieldReads_.size() && buffer != nullptr && !out.empty()) {
    const FieldRead& read = fieldReads_[readNo];
    if (read.direct && out.size() >= static_cast<size_t>(read.size) && field.DataSize() != 0) {
      if (IsNull(read.source, buffer)) return false;
      std::memcpy(out.data(), buffer + read.offset, static_cast<size_t>(read.size));
      return true;
    }
    if (read.convertedFromSlot && field.DataSize() != 0) {
      if (IsNull(read.source, buffer)) return false;
      NativeFromEngineForm(read.dataType, buffer + read.offset, static_cast<size_t>(read.size), out);
      return true;
    }
  }
  const TQDXFieldDefs& tableFields = *cursor_->TableFieldDefs;
  const int32_t source = cursor_->SourceFieldNo(field.FieldNo() - 1);
  if (out.empty() || field.DataSize() == 0) return qdx::GetFieldData(source, tableFields, nullptr, buffer);
  const TQDXFieldDef& def = EngineField(field);
  const size_t formSize = EngineFormSize(def);
  // A value whose engine form is its native form (texts, floats, currency, BLOB-free bytes) goes
  // straight into `out`.
  if (!NeedsNativeConversion(def.DataType) && out.size() >= formSize) {
    return qdx::GetFieldData(source, tableFields, out.data(), buffer);
  }
  uint8_t small[16] = {};
  std::vector<uint8_t> large;
  uint8_t* engineForm = small;
  if (formSize > sizeof small) {
    large.assign(formSize, 0);
    engineForm = large.data();
  }
  if (!qdx::GetFieldData(source, tableFields, engineForm, buffer)) return false;
  NativeFromEngineForm(def.DataType, engineForm, formSize, out);
  return true;
}

void TQDXDataSet::SetDataFieldData(const TField& field, uint8_t* buffer,
                                   std::span<const uint8_t> value) {
  const TQDXFieldDefs& tableFields = *cursor_->TableFieldDefs;
  const int32_t source = cursor_->SourceFieldNo(field.FieldNo() - 1);
  if (value.empty()) {
    qdx::SetFieldData(source, tableFields, nullptr, buffer);
    return;
  }
  const TQDXFieldDef& def = EngineField(field);
  const size_t formSize = EngineFormSize(def);
  std::vector<uint8_t> engineForm(std::max<size_t>(formSize, 8), 0);
  switch (def.DataType) {
    case TQDXDataType::Date:
      le::Store<int32_t>(engineForm.data(), DateValueToDayNumber(le::Load<double>(value.data())));
      break;
    case TQDXDataType::Time:
      le::Store<int32_t>(engineForm.data(), DateValueToMilliseconds(le::Load<double>(value.data())));
      break;
    case TQDXDataType::DateTime: {
      const TQDXDateTime dt = DateTimeToQDX(le::Load<double>(value.data()));
      le::Store<int32_t>(engineForm.data(), dt.Date);
      le::Store<int32_t>(engineForm.data() + 4, dt.Time);
      break;
    }
    default:
      if (EngineIntegerWidth(def.DataType) != 0 && def.DataType != TQDXDataType::Logical) {
        const bool isWord = field.DataType() == ftWord;
        StoreInteger(def.DataType,
                     LoadNativeInteger(static_cast<int32_t>(value.size()), value.data(), isWord),
                     engineForm.data());
      } else {
        std::memcpy(engineForm.data(), value.data(), std::min(value.size(), formSize));
      }
      break;
  }
  // An empty text becomes NULL there, as the engine stores it.
  qdx::SetFieldData(source, tableFields, engineForm.data(), buffer);
}

void TQDXDataSet::CheckFieldWritable(const TField& field) const {
  if (!IsWritableState(State())) Raise(msg::kDatasetFieldWriteState);
  (void)field;
}

// ---- BLOB streams --------------------------------------------------------------------------

namespace {

// The dataset's stream over a BLOB field: passes through to the cursor's stream and closes it
// with the cursor when it goes, marking the record modified after a write.
class TQDXDataSetBlobStream : public TStream {
 public:
  TQDXDataSetBlobStream(TQDXLocalCursor& cursor, TQDXLocalBLOBStream& stream, int32_t fieldNo,
                        std::function<void()> onModified)
      : cursor_(cursor), stream_(stream), fieldNo_(fieldNo), onModified_(std::move(onModified)) {}
  ~TQDXDataSetBlobStream() override {
    try {
      const bool modified = stream_.Modified;
      cursor_.CloseBlob(fieldNo_);
      if (modified && onModified_) onModified_();
    } catch (...) {
    }
  }
  void SetSize(int32_t newSize) override { stream_.SetSize(newSize); }
  int32_t Read(void* buffer, int32_t count) override { return stream_.Read(buffer, count); }
  int32_t Write(const void* buffer, int32_t count) override { return stream_.Write(buffer, count); }
  int32_t Seek(int32_t offset, uint16_t origin) override { return stream_.Seek(offset, origin); }
  int32_t Size() override { return stream_.Size(); }

 private:
  TQDXLocalCursor& cursor_;
  TQDXLocalBLOBStream& stream_;
  int32_t fieldNo_;
  std::function<void()> onModified_;
};

}  // namespace

std::unique_ptr<TStream> TQDXDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  CheckActive();
  const bool writing = mode != TBlobStreamMode::bmRead;
  if (writing && ReadOnly()) Raise(msg::kDatasetBlobReadOnly);
  if (writing && State() != TDataSetState::Editing && State() != TDataSetState::Inserting) {
    Raise(msg::kDatasetBlobWriteState);
  }
  const BlobMode engineMode = mode == TBlobStreamMode::bmRead    ? BlobMode::bmRead
                              : mode == TBlobStreamMode::bmWrite ? BlobMode::bmWrite
                                                                 : BlobMode::bmReadWrite;
  cursor_->Buffer = ActiveBuffer();
  TQDXLocalBLOBStream* stream =
      cursor_->OpenBlob(State() == TDataSetState::Inserting, State() == TDataSetState::Editing,
                        State() == TDataSetState::Browse, engineMode, field.FieldNo() - 1);
  if (stream == nullptr) Raise(msg::kCannotRetrieveRecord);
  TField* target = &field;
  return std::make_unique<TQDXDataSetBlobStream>(*cursor_, *stream, field.FieldNo() - 1, [this, target] {
    SetModified(true);
    target->Change();
    DataEvent(TDataEvent::FieldChanged, {target, 0});
  });
}

}  // namespace qdx
