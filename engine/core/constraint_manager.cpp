#include "engine/core/constraint_manager.h"

#include <string>
#include <vector>

#include "engine/core/field_manager.h"
#include "engine/core/index_manager.h"
#include "engine/core/record_layout.h"
#include "engine/core/record_manager.h"
#include "engine/core/table_data.h"
#include "engine/foundation/except.h"
#include "engine/foundation/platform/random.h"
#include "engine/foundation/types/compare.h"

namespace qdx {

namespace {

// A violation: raised, or reported as false.
bool Violated(bool raise, const msg::Message& message, FormatArgs args) {
  if (raise) Raise(message, args);
  return false;
}

}  // namespace

TQDXBaseConstraintManager::TQDXBaseConstraintManager(TQDXTableData& table)
    : table_(&table), constraintDefs_(std::make_unique<TQDXConstraintDefs>()) {}

TQDXBaseConstraintManager::~TQDXBaseConstraintManager() = default;

void TQDXBaseConstraintManager::LoadDefinitions(TStream& stream) {
  constraintDefs_->LoadFromStream(stream);
}

void TQDXBaseConstraintManager::SaveDefinitions(TStream& stream) const {
  constraintDefs_->SaveToStream(stream);
}

void TQDXBaseConstraintManager::Resolve(TQDXConstraintDef& constraint) {
  const TQDXFieldDefs& fields = table_->FieldManager().FieldDefs();
  switch (constraint.ConstraintType()) {
    case ctPrimaryKey:
    case ctUnique: {
      auto& unique = static_cast<TQDXConstraintDefUnique&>(constraint);
      const bool primary = constraint.ConstraintType() == ctPrimaryKey;
      const TQDXIndexDef* index =
          table_->IndexManager().IndexDefs().FindIndex(unique.TargetRef.Name);
      if (index == nullptr) {
        Raise(primary ? msg::kConstraintPrimaryIndexMissing : msg::kConstraintUniqueIndexMissing,
              {unique.TargetRef.Name});
      }
      unique.TargetRef.ID = index->ObjectID();
      for (TQDXConstraintColumn& column : unique.Columns) {
        const TQDXFieldDef* field = fields.FindField(column.FieldName);
        if (field == nullptr) {
          Raise(primary ? msg::kConstraintPrimaryFieldMissing : msg::kConstraintUniqueFieldMissing,
                {column.FieldName});
        }
        column.FieldID = field->ObjectID();
      }
      break;
    }
    case ctNotNull:
    case ctCheck: {
      auto& notNull = static_cast<TQDXConstraintDefNotNull&>(constraint);
      const TQDXFieldDef* field = fields.FindField(notNull.TargetRef.Name);
      if (field == nullptr) Raise(msg::kConstraintTargetFieldMissing, {notNull.TargetRef.Name});
      notNull.TargetRef.ID = field->ObjectID();
      break;
    }
    default:
      Raise(msg::kConstraintResolveNotImplemented);
  }
}

void TQDXBaseConstraintManager::ResolveReferences() {
  for (int32_t i = 0; i < constraintDefs_->Count(); ++i) {
    Resolve(constraintDefs_->GetConstraintDef(i));
  }
}

void TQDXBaseConstraintManager::GenerateNames() {
  for (int32_t i = 0; i < constraintDefs_->Count(); ++i) {
    TQDXConstraintDef& constraint = constraintDefs_->GetConstraintDef(i);
    if (!constraint.Name().empty()) continue;
    const char* kind = nullptr;
    if (constraint.ConstraintType() == ctNotNull) kind = "C_NotNull";
    if (constraint.ConstraintType() == ctCheck) kind = "C_Check";
    if (kind == nullptr) Raise(msg::kConstraintNamingNotImplemented);
    const auto& target = static_cast<const TQDXConstraintDefNotNull&>(constraint).TargetRef;
    const std::string base = std::string("$") + kind + "$" + table_->Name() + "$" + target.Name;
    std::string name = base;
    while (constraintDefs_->FindByName(name) != nullptr) {
      name = base + std::to_string(platform::RandomBelow(65535));
    }
    constraint.SetName(name);
  }
}

void TQDXBaseConstraintManager::AddForIndex(const TQDXIndexDef& index) {
  std::unique_ptr<TQDXConstraintDefUnique> constraint = MakeIndexConstraint(index);
  if (constraint == nullptr) return;
  constraint->TableRef.SetName(table_->Name());
  Resolve(*constraint);
  constraintDefs_->Add(std::move(constraint));
}

void TQDXBaseConstraintManager::DeleteForIndex(int32_t indexID) {
  for (int32_t i = constraintDefs_->Count() - 1; i >= 0; --i) {
    const TQDXConstraintDef& constraint = constraintDefs_->GetConstraintDef(i);
    const uint8_t type = constraint.ConstraintType();
    if ((type == ctUnique || type == ctPrimaryKey) &&
        static_cast<const TQDXConstraintDefUnique&>(constraint).TargetRef.ID == indexID) {
      constraintDefs_->Delete(i);
    }
  }
}

int32_t TQDXBaseConstraintManager::RequireFieldNo(int32_t fieldID) const {
  const int32_t fieldNo = table_->FieldManager().FieldDefs().IndexOfID(fieldID);
  if (fieldNo < 0) Raise(msg::kConstraintFieldNumberMissing, {fieldID});
  return fieldNo;
}

bool TQDXBaseConstraintManager::CheckNotNull(const TQDXConstraintDefNotNull& constraint,
                                             const uint8_t* record, bool raise) const {
  const int32_t fieldNo = RequireFieldNo(constraint.TargetRef.ID);
  if (!IsNull(fieldNo, record)) return true;
  const TQDXFieldDef& field = table_->FieldManager().FieldDefs().GetFieldDef(fieldNo);
  return Violated(raise, msg::kConstraintNotNullViolated, {constraint.Name(), field.Name()});
}

bool TQDXBaseConstraintManager::CheckBounds(const TQDXConstraintDefCheck& constraint,
                                            const uint8_t* record, bool raise) const {
  const int32_t fieldNo = RequireFieldNo(constraint.TargetRef.ID);
  if (IsNull(fieldNo, record)) return true;
  const TQDXFieldDefs& fields = table_->FieldManager().FieldDefs();
  TQDXVariant value;
  GetFieldValue(value, fieldNo, fields, record);
  const std::string& fieldName = fields.GetFieldDef(fieldNo).Name();
  if (!constraint.MinValue.IsNull() &&
      value.Compare(constraint.MinValue, false, false, false) == kCompareLess) {
    return Violated(raise, msg::kConstraintMinValue,
                    {constraint.Name(), fieldName, constraint.MinValue.AsString()});
  }
  if (!constraint.MaxValue.IsNull() &&
      value.Compare(constraint.MaxValue, false, false, false) == kCompareGreater) {
    return Violated(raise, msg::kConstraintMaxValue,
                    {constraint.Name(), fieldName, constraint.MaxValue.AsString()});
  }
  return true;
}

bool TQDXBaseConstraintManager::CheckUnique(const TQDXConstraintDefUnique& constraint,
                                            int32_t sessionID, const uint8_t* record, bool raise,
                                            TQDXRecordID currentID, bool inserting,
                                            const uint8_t* oldRecord) {
  const bool primary = constraint.ConstraintType() == ctPrimaryKey;
  if (primary) {
    bool allNull = true;
    std::string names;
    for (const TQDXConstraintColumn& column : constraint.Columns) {
      if (!IsNull(RequireFieldNo(column.FieldID), record)) allNull = false;
      if (!names.empty()) names += ",";
      names += column.FieldName;
    }
    if (allNull) return Violated(raise, msg::kConstraintPrimaryKeyNull, {constraint.Name(), names});
  }
  if (table_->RecordManager().RecordCount == 0) return true;
  TQDXBTreeRecordIndex& index = table_->IndexManager().GetIndex(constraint.TargetRef.ID);
  bool free;
  if (inserting) {
    free = index.IsKeyFree(sessionID, record);
  } else {
    std::vector<uint8_t> stored;
    if (oldRecord == nullptr) {
      stored.resize(static_cast<size_t>(table_->MemoryRecordSize()));
      if (!table_->ReadRecordByID(sessionID, currentID, stored.data())) {
        Raise(msg::kCannotRetrieveRecordForIndex);
      }
      oldRecord = stored.data();
    }
    free = index.IsKeyFreeForUpdate(sessionID, oldRecord, record);
  }
  if (free) return true;
  return Violated(raise, primary ? msg::kPrimaryKeyViolated : msg::kUniqueViolated,
                  {constraint.Name()});
}

bool TQDXBaseConstraintManager::CheckRecord(int32_t sessionID, const uint8_t* record,
                                            bool checkUniqueness, bool raise,
                                            TQDXRecordID currentID, bool inserting,
                                            const uint8_t* oldRecord) {
  for (int32_t i = 0; i < constraintDefs_->Count(); ++i) {
    const TQDXConstraintDef& constraint = constraintDefs_->GetConstraintDef(i);
    bool holds = true;
    switch (constraint.ConstraintType()) {
      case ctNotNull:
        holds =
            CheckNotNull(static_cast<const TQDXConstraintDefNotNull&>(constraint), record, raise);
        break;
      case ctCheck:
        holds = CheckBounds(static_cast<const TQDXConstraintDefCheck&>(constraint), record, raise);
        break;
      case ctUnique:
      case ctPrimaryKey:
        if (checkUniqueness) {
          holds = CheckUnique(static_cast<const TQDXConstraintDefUnique&>(constraint), sessionID,
                              record, raise, currentID, inserting, oldRecord);
        }
        break;
      default:
        Raise(msg::kConstraintCheckNotImplemented);
    }
    if (!holds) return false;
  }
  return true;
}

}  // namespace qdx
