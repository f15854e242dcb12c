// The table dataset: opening a table by name, the current index, key entry and key search,
// ranges and master-detail linking. The table operations are in table_operations.cpp.
#include "dataset/qdx_table.h"

#include <cstring>

#include "dataset/adv_defs.h"
#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "dataset/framework/data_source.h"
#include "dataset/qdx_session.h"
#include "dataset/table_maintenance.h"
#include "engine/core/btree.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/locale.h"

namespace qdx {

namespace {

std::string Trimmed(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return std::string(s);
}

// Key buffer trailer: modified (1 byte), exclusive (1 byte), index fields used (int32, 0 = all).
constexpr int32_t kTrailerModified = 0;
constexpr int32_t kTrailerExclusive = 1;
constexpr int32_t kTrailerFieldCount = 2;

}  // namespace

// Follows the master dataset: every change of its current record re-applies the link.
class TQDXTable::MasterLink : public TDataLink {
 public:
  explicit MasterLink(TQDXTable& detail) : detail_(detail) {}

 protected:
  void ActiveChanged() override { Follow(); }
  void DataSetChanged() override { Follow(); }
  void DataSetScrolled(int32_t) override { Follow(); }
  void RecordChanged(TField* field) override {
    if (field == nullptr) Follow();
  }

 private:
  void Follow() {
    if (Active() && detail_.Active()) detail_.ApplyMasterLink();
  }
  TQDXTable& detail_;
};

TQDXTable::TQDXTable(std::string name, const void* owner) : TQDXDataSet(std::move(name), owner) {}

TQDXTable::~TQDXTable() {
  try {
    Close();
  } catch (...) {
  }
  masterLink_.reset();
}

// ---- Table and index -----------------------------------------------------------------------

void TQDXTable::SetTableName(std::string name) {
  if (name == tableName_) return;
  CheckInactive();
  tableName_ = std::move(name);
  indexDefs_.SetUpdated(true);
  TQDXDataSet::FieldDefs().SetUpdated(true);
}

TFieldDefs& TQDXTable::FieldDefs() {
  TFieldDefs& defs = TQDXDataSet::FieldDefs();
  const std::string name = Trimmed(tableName_);
  if (Active() || !defs.Updated() || name.empty() || DatabaseName().empty()) return defs;
  // Cleared first: opening the cursor below must not come back here.
  defs.SetUpdated(false);
  const bool wasAttached = Database() != nullptr;
  try {
    AttachDatabase();
    // A table not created yet has only the definitions given for its creation.
    TQDXLocalSession* session = Database()->EngineSession();
    if (session == nullptr || session->TableExists(name)) {
      std::unique_ptr<TQDXLocalCursor> cursor = CreateHandle();
      cursor->InitFieldDefs();
      LoadFieldDefsFrom(*cursor);
      LoadOpenedAdvDefs(*cursor);
      cursor->CloseTable();
    }
  } catch (...) {
    defs.SetUpdated(true);
    if (!wasAttached && Database() != nullptr) DetachDatabase();
    throw;
  }
  if (!wasAttached) DetachDatabase();
  return defs;
}

void TQDXTable::LoadOpenedAdvDefs(TQDXLocalCursor& cursor) {
  AdvFieldDefsFromEngine(*cursor.TableFieldDefs, openedAdvFieldDefs_, cursor.ConstraintDefs.get());
  AdvIndexDefsFromEngine(cursor.GetIndexDefs(), openedAdvIndexDefs_);
}

void TQDXTable::SetExclusive(bool exclusive) {
  CheckInactive();
  exclusive_ = exclusive;
}

std::unique_ptr<TQDXLocalCursor> TQDXTable::CreateHandle() {
  const std::string name = Trimmed(tableName_);
  if (name.empty()) Error(dsmsg::kTableNameMissing);
  TQDXLocalSession* session = Database()->EngineSession();
  if (session == nullptr) Raise(msg::kErrorCreatingTableHandle);
  auto cursor = std::make_unique<TQDXLocalCursor>(*session);
  cursor->TableName = name;
  cursor->Exclusive = exclusive_;
  cursor->ReadOnly = ReadOnly() || Database()->ReadOnly;
  cursor->InMemory = InMemory();
  if (InMemory() || session->IsMemoryDatabase() || session->IsTemporaryDatabase()) {
    HandOverDefinitions(*cursor);
  }
  cursor->OpenTable();
  return cursor;
}

// The in-memory and temporary engines keep a table only while it is open: a cursor that is to
// make one from nothing needs the definitions this dataset was given.
void TQDXTable::HandOverDefinitions(TQDXLocalCursor& cursor) {
  // The definitions as given: reading them from the table is what this cursor is opened for.
  const TFieldDefs& given = TQDXDataSet::FieldDefs();
  if (given.Count() == 0) return;
  TQDXAdvFieldDefs fields;
  TQDXAdvIndexDefs indexes;
  AdvFieldDefsFromFieldDefs(given, fields);
  AdvIndexDefsFromIndexDefs(indexDefs_, indexes);
  TQDXTableDefinitions definitions;
  BuildTableDefinitions(cursor.TableName, fields, indexes, cursor.Temporary, definitions);
  cursor.TableFieldDefs = std::make_unique<TQDXFieldDefs>();
  cursor.TableFieldDefs->Assign(definitions.Fields);
  cursor.IndexDefs = std::make_unique<TQDXIndexDefs>();
  cursor.IndexDefs->Assign(definitions.Indexes);
  cursor.ConstraintDefs = std::make_unique<TQDXConstraintDefs>();
  cursor.ConstraintDefs->Assign(definitions.Constraints);
}

bool TQDXTable::Exists() {
  if (Active()) return true;
  const std::string name = Trimmed(tableName_);
  if (name.empty() || DatabaseName().empty()) return false;
  // A question, never a failure: whatever goes wrong (no such database, a file that cannot be
  // opened, a damaged table list) answers false.
  const bool wasAttached = Database() != nullptr;
  bool exists = false;
  try {
    AttachDatabase();
    exists = Database()->EngineSession() != nullptr && Database()->EngineSession()->TableExists(name);
  } catch (...) {
    exists = false;
  }
  if (!wasAttached && Database() != nullptr) {
    try {
      DetachDatabase();
    } catch (...) {
    }
  }
  return exists;
}

std::string TQDXTable::ResolveIndexName(const std::string& slot, bool fieldList) {
  if (!fieldList || slot.empty()) return slot;
  // The index defined on exactly these fields.
  const std::vector<std::string> wanted = SplitFieldNames(slot);
  const TQDXIndexDefs* defs = Cursor()->IndexDefs.get();
  for (int32_t i = 0; defs != nullptr && i < defs->Count(); ++i) {
    const auto& index = static_cast<const TQDXIndexDef&>(defs->GetDef(i));
    if (index.ColumnCount() != static_cast<int32_t>(wanted.size())) continue;
    bool same = true;
    for (int32_t c = 0; c < index.ColumnCount() && same; ++c) {
      same = SameFieldName(index.Column(c).FieldName, wanted[static_cast<size_t>(c)]);
    }
    if (same) return index.Name();
  }
  Raise(msg::kCannotFindIndex, {slot});
}

void TQDXTable::OpenIndex() {
  Cursor()->SetCurrentIndexName(ResolveIndexName(indexSlot_, indexIsFieldList_));
}

void TQDXTable::SetIndexName(std::string name) { SwitchIndex(std::move(name), false); }

void TQDXTable::SetIndexFieldNames(std::string fieldNames) { SwitchIndex(std::move(fieldNames), true); }

void TQDXTable::SwitchIndex(std::string slot, bool fieldList) {
  if (!Active()) {
    indexSlot_ = std::move(slot);
    indexIsFieldList_ = fieldList;
    return;
  }
  CheckBrowseMode();
  const std::string previous = Cursor()->CurrentIndexName;
  try {
    Cursor()->SetCurrentIndexName(ResolveIndexName(slot, fieldList));
    BuildIndexFieldList();
  } catch (...) {
    // The previous index stays current, as IndexName still names it.
    Cursor()->SetCurrentIndexName(previous);
    BuildIndexFieldList();
    throw;
  }
  indexSlot_ = std::move(slot);
  indexIsFieldList_ = fieldList;
  if (masterLink_ != nullptr && !masterFields_.empty()) ApplyMasterLink();
  CursorPosChanged();
  UpdateCursorPos();
  Resync();
  DataEvent(TDataEvent::DataSetChanged);
}

TIndexDefs& TQDXTable::IndexDefs() {
  auto fill = [this](const TQDXIndexDefs& source) {
    indexDefs_.Clear();
    for (int32_t i = 0; i < source.Count(); ++i) {
      const auto& index = static_cast<const TQDXIndexDef&>(source.GetDef(i));
      std::string fields, desc, caseIns;
      bool allDescending = index.ColumnCount() > 0;
      bool allCaseIns = index.ColumnCount() > 0;
      for (int32_t c = 0; c < index.ColumnCount(); ++c) {
        const TQDXIndexColumn& column = index.Column(c);
        const std::string sep = c > 0 ? ";" : "";
        fields += sep + column.FieldName;
        allDescending = allDescending && column.Descending;
        allCaseIns = allCaseIns && column.CaseInsensitive;
        if (column.Descending) desc += (desc.empty() ? "" : ";") + column.FieldName;
        if (column.CaseInsensitive) caseIns += (caseIns.empty() ? "" : ";") + column.FieldName;
      }
      TIndexOptions options;
      if (index.Primary) options.Include(TIndexOption::ixPrimary);
      if (index.Unique) options.Include(TIndexOption::ixUnique);
      if (allDescending) options.Include(TIndexOption::ixDescending);
      if (allCaseIns) options.Include(TIndexOption::ixCaseInsensitive);
      TIndexDef& def = indexDefs_.Add(index.Name(), fields, options);
      if (!allDescending) def.SetDescFields(desc);
      if (!allCaseIns) def.SetCaseInsFields(caseIns);
    }
    indexDefs_.SetUpdated(false);
  };
  if (Active()) {
    fill(Cursor()->GetIndexDefs());
  } else if (indexDefs_.Updated() && !Trimmed(tableName_).empty() && !DatabaseName().empty()) {
    const bool wasAttached = Database() != nullptr;
    AttachDatabase();
    try {
      // A table not created yet has only the definitions given for its creation.
      TQDXLocalSession* session = Database()->EngineSession();
      if (session != nullptr && !session->TableExists(Trimmed(tableName_))) {
        indexDefs_.SetUpdated(false);
      } else {
        std::unique_ptr<TQDXLocalCursor> cursor = CreateHandle();
        fill(cursor->GetIndexDefs());
        cursor->CloseTable();
      }
    } catch (...) {
      if (!wasAttached) DetachDatabase();
      throw;
    }
    if (!wasAttached) DetachDatabase();
  }
  return indexDefs_;
}

// ---- Key buffers ---------------------------------------------------------------------------

void TQDXTable::OpenExtras() {
  // Opening read the field definitions from the table.
  TQDXDataSet::FieldDefs().SetUpdated(false);
  LoadOpenedAdvDefs(*Cursor());
  for (uint8_t*& key : keyBuffers_) {
    key = Cursor()->AllocKeyBuffer().release();
    Cursor()->InitKeyBuffer(key);
  }
  rangeApplied_ = false;
  if (masterLink_ != nullptr && !masterFields_.empty() && masterLink_->Active()) ApplyMasterLink();
}

void TQDXTable::CloseExtras() {
  if (Cursor() != nullptr) Cursor()->ClearRange();
  rangeApplied_ = false;
  for (uint8_t*& key : keyBuffers_) {
    delete[] key;
    key = nullptr;
  }
}

uint8_t* TQDXTable::KeyTrailer(TKeyIndex which) const {
  return KeyBuffer(which) + Cursor()->RecordDataSize;
}

void TQDXTable::EnterKeyState(TKeyIndex which, bool clear) {
  CheckBrowseMode();
  uint8_t* key = KeyBuffer(which);
  if (clear) Cursor()->InitKeyBuffer(key);
  std::memcpy(KeyBuffer(TKeyIndex::Save), key, static_cast<size_t>(Cursor()->KeyBufferSize));
  keyEntry_ = which;
  SetState(TDataSetState::KeyEntry, key);
  DataEvent(TDataEvent::DataSetChanged);
}

void TQDXTable::InternalPostKey() {
  KeyTrailer(keyEntry_)[kTrailerModified] = Modified() ? 1 : 0;
  SetState(TDataSetState::Browse);
  DataEvent(TDataEvent::DataSetChanged);
}

void TQDXTable::InternalCancelKey() {
  std::memcpy(KeyBuffer(keyEntry_), KeyBuffer(TKeyIndex::Save),
              static_cast<size_t>(Cursor()->KeyBufferSize));
  SetState(TDataSetState::Browse);
  DataEvent(TDataEvent::DataSetChanged);
}

void TQDXTable::CheckFieldWritable(const TField& field) const {
  TQDXDataSet::CheckFieldWritable(field);
  if (State() == TDataSetState::KeyEntry && !IsIndexField(field)) {
    Raise(msg::kFieldIsNotInTheCurrentIndex, {field.DisplayName()});
  }
}

void TQDXTable::SetKey() { EnterKeyState(TKeyIndex::Lookup, true); }
void TQDXTable::EditKey() { EnterKeyState(TKeyIndex::Lookup, false); }

bool TQDXTable::KeyExclusive() const {
  return State() == TDataSetState::KeyEntry && KeyTrailer(keyEntry_)[kTrailerExclusive] != 0;
}

void TQDXTable::SetKeyExclusive(bool exclusive) {
  if (State() != TDataSetState::KeyEntry) Raise(msg::kDatasetFieldWriteState);
  KeyTrailer(keyEntry_)[kTrailerExclusive] = exclusive ? 1 : 0;
}

int32_t TQDXTable::KeyFieldCount() const {
  if (State() != TDataSetState::KeyEntry) return 0;
  return le::Load<int32_t>(KeyTrailer(keyEntry_) + kTrailerFieldCount);
}

void TQDXTable::SetKeyFieldCount(int32_t count) {
  if (State() != TDataSetState::KeyEntry) Raise(msg::kDatasetFieldWriteState);
  le::Store<int32_t>(KeyTrailer(keyEntry_) + kTrailerFieldCount, count);
}

void TQDXTable::SetKeyValues(std::span<const Variant> values) {
  const std::vector<int32_t>& fieldNos = IndexFieldNos();
  for (size_t i = 0; i < values.size(); ++i) {
    if (i >= fieldNos.size()) Error(dsmsg::kFieldIndexOutOfRange);
    TField* field = Fields().FieldByNumber(fieldNos[i]);
    if (field == nullptr) {
      const std::string name = Cursor()->VisibleFieldDefs->GetFieldDef(fieldNos[i] - 1).Name();
      Error(dsmsg::Format(dsmsg::kIndexFieldNotInDataSet, {name}));
    }
    field->SetAsVariant(values[i]);
  }
  le::Store<int32_t>(KeyTrailer(keyEntry_) + kTrailerFieldCount, static_cast<int32_t>(values.size()));
}

bool TQDXTable::SearchKey(int32_t kind) {
  CheckBrowseMode();
  if (Cursor()->CurrentIndexName.empty()) Error(dsmsg::Format(dsmsg::kIndexNotFound, {""}));
  uint8_t* key = KeyBuffer(TKeyIndex::Lookup);
  Cursor()->ClearStringTails(key);
  Fire(BeforeScroll);
  const CursorPosition saved = Cursor()->SavePosition();
  Cursor()->KeyBuffer = key;
  Cursor()->KeyColumnCount = le::Load<int32_t>(KeyTrailer(TKeyIndex::Lookup) + kTrailerFieldCount);
  Cursor()->Buffer = TempBuffer();
  const bool found = Cursor()->FindKey(kind);
  Cursor()->KeyBuffer = nullptr;
  CursorPosChanged();
  if (!found) {
    Cursor()->RestorePosition(saved);
    return false;
  }
  Resync(true);
  DataEvent(TDataEvent::DataSetChanged);
  Fire(AfterScroll);
  return true;
}

bool TQDXTable::GotoKey() { return SearchKey(ckEqual); }

void TQDXTable::GotoNearest() {
  if (!SearchKey(ckGreaterOrEqual)) Last();
}

bool TQDXTable::FindKey(std::span<const Variant> values) {
  SetKey();
  SetKeyValues(values);
  return GotoKey();
}

void TQDXTable::FindNearest(std::span<const Variant> values) {
  SetKey();
  SetKeyValues(values);
  GotoNearest();
}

// ---- Ranges --------------------------------------------------------------------------------

void TQDXTable::SetRangeStart() { EnterKeyState(TKeyIndex::RangeStart, true); }
void TQDXTable::SetRangeEnd() { EnterKeyState(TKeyIndex::RangeEnd, true); }
void TQDXTable::EditRangeStart() { EnterKeyState(TKeyIndex::RangeStart, false); }
void TQDXTable::EditRangeEnd() { EnterKeyState(TKeyIndex::RangeEnd, false); }

void TQDXTable::ApplyRange() {
  CheckBrowseMode();
  const size_t size = static_cast<size_t>(Cursor()->KeyBufferSize);
  const bool same =
      rangeApplied_ &&
      std::memcmp(KeyBuffer(TKeyIndex::RangeStart), KeyBuffer(TKeyIndex::CurrentRangeStart), size) == 0 &&
      std::memcmp(KeyBuffer(TKeyIndex::RangeEnd), KeyBuffer(TKeyIndex::CurrentRangeEnd), size) == 0;
  if (!same) {
    std::memcpy(KeyBuffer(TKeyIndex::CurrentRangeStart), KeyBuffer(TKeyIndex::RangeStart), size);
    std::memcpy(KeyBuffer(TKeyIndex::CurrentRangeEnd), KeyBuffer(TKeyIndex::RangeEnd), size);
    const uint8_t* low = KeyBuffer(TKeyIndex::CurrentRangeStart);
    const uint8_t* high = KeyBuffer(TKeyIndex::CurrentRangeEnd);
    const uint8_t* lowTrailer = KeyTrailer(TKeyIndex::CurrentRangeStart);
    const uint8_t* highTrailer = KeyTrailer(TKeyIndex::CurrentRangeEnd);
    Cursor()->ClearStringTails(KeyBuffer(TKeyIndex::CurrentRangeStart));
    Cursor()->ClearStringTails(KeyBuffer(TKeyIndex::CurrentRangeEnd));
    // A bound that was never entered does not restrict.
    Cursor()->SetRange(lowTrailer[kTrailerModified] != 0 ? low : nullptr,
                       highTrailer[kTrailerModified] != 0 ? high : nullptr,
                       lowTrailer[kTrailerExclusive] != 0, highTrailer[kTrailerExclusive] != 0,
                       le::Load<int32_t>(lowTrailer + kTrailerFieldCount),
                       le::Load<int32_t>(highTrailer + kTrailerFieldCount));
    rangeApplied_ = true;
  }
  First();
}

void TQDXTable::CancelRange() {
  CheckBrowseMode();
  if (!rangeApplied_) return;
  Cursor()->ClearRange();
  rangeApplied_ = false;
  UpdateCursorPos();
  CursorPosChanged();
  UpdateCursorPos();
  Resync();
  DataEvent(TDataEvent::DataSetChanged);
}

void TQDXTable::SetRange(std::span<const Variant> startValues, std::span<const Variant> endValues) {
  SetRangeStart();
  SetKeyValues(startValues);
  SetRangeEnd();
  SetKeyValues(endValues);
  ApplyRange();
}

// ---- Master-detail -------------------------------------------------------------------------

TDataSource* TQDXTable::MasterSource() const {
  return masterLink_ != nullptr ? masterLink_->DataSource() : nullptr;
}

void TQDXTable::SetMasterSource(TDataSource* source) {
  if (source != nullptr && source->DataSet() == this) Error(dsmsg::kCircularDataLink);
  if (masterLink_ == nullptr) masterLink_ = std::make_unique<MasterLink>(*this);
  masterLink_->SetDataSource(source);
}

void TQDXTable::SetMasterFields(std::string fields) {
  masterFields_ = std::move(fields);
  if (Active() && masterLink_ != nullptr && masterLink_->Active()) ApplyMasterLink();
}

void TQDXTable::ApplyMasterLink() {
  TDataSet* master = masterLink_ != nullptr ? masterLink_->DataSet() : nullptr;
  if (master == nullptr || !master->Active() || masterFields_.empty() || !Active()) return;
  CheckBrowseMode();
  const std::vector<std::string> names = SplitFieldNames(masterFields_);
  std::vector<Variant> values;
  for (const std::string& name : names) values.push_back(master->FieldByName(name).AsVariant());
  for (TKeyIndex bound : {TKeyIndex::RangeStart, TKeyIndex::RangeEnd}) {
    uint8_t* key = KeyBuffer(bound);
    Cursor()->InitKeyBuffer(key);
    {
      TempState entering(*this, TDataSetState::KeyEntry, key);
      const TKeyIndex previous = keyEntry_;
      keyEntry_ = bound;
      SetKeyValues(values);
      keyEntry_ = previous;
    }
    KeyTrailer(bound)[kTrailerModified] = 1;
  }
  ApplyRange();
}

void TQDXTable::FillLinkFields() {
  TDataSet* master = masterLink_ != nullptr ? masterLink_->DataSet() : nullptr;
  if (master == nullptr || !master->Active() || masterFields_.empty()) return;
  const std::vector<std::string> names = SplitFieldNames(masterFields_);
  const std::vector<int32_t>& fieldNos = IndexFieldNos();
  for (size_t i = 0; i < names.size() && i < fieldNos.size(); ++i) {
    if (TField* field = Fields().FieldByNumber(fieldNos[i])) {
      field->SetAsVariant(master->FieldByName(names[i]).AsVariant());
    }
  }
}

void TQDXTable::DoOnNewRecord() {
  FillLinkFields();
  TQDXDataSet::DoOnNewRecord();
  WriteBlobDefaults();
}

void TQDXTable::WriteBlobDefaults() {
  // The cursor fills the other defaults into the new buffer; a BLOB or MEMO value lives beside
  // the buffer, so its declared default is written through the field, as text.
  const TQDXFieldDefs& visible = *Cursor()->VisibleFieldDefs;
  for (int32_t i = 0; i < visible.Count(); ++i) {
    const TQDXFieldDef& def = visible.GetFieldDef(i);
    if (!def.IsBlob() || def.DefaultValue().IsNull()) continue;
    TField* field = Fields().FieldByNumber(i + 1);
    if (field != nullptr) field->SetAsString(platform::AnsiToWide(def.DefaultValue().AsString()));
  }
}

}  // namespace qdx
