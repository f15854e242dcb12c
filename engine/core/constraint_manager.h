// TQDXBaseConstraintManager: the constraints of one table and the checks run on a record before
// it is inserted or updated.
//
// Constraints refer to fields and indexes by name in their definitions and by ObjectID once the
// table resolves them (ResolveReferences); the checks use only the IDs, so renaming a field does
// not break them. Unnamed not null and check constraints are named after their table and field
// ("$C_NotNull$Kosten$Datum"), with a random number appended while that name is taken.
//
// Not safe for concurrent use: the table data calls it under its database's critical section.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/core/constraint_def.h"
#include "engine/core/index.h"

namespace qdx {

class TQDXTableData;
class TQDXIndexDef;
class TStream;

class TQDXBaseConstraintManager {
 public:
  explicit TQDXBaseConstraintManager(TQDXTableData& table);
  ~TQDXBaseConstraintManager();
  TQDXBaseConstraintManager(const TQDXBaseConstraintManager&) = delete;
  TQDXBaseConstraintManager& operator=(const TQDXBaseConstraintManager&) = delete;

  TQDXConstraintDefs& ConstraintDefs() const { return *constraintDefs_; }

  void LoadDefinitions(TStream& stream);
  void SaveDefinitions(TStream& stream) const;

  // Fills the IDs from the names: a primary or unique constraint's index (30325 / 30326) and
  // column fields (30331 / 30332), a not null or check constraint's field (30027). 30037 for
  // another type.
  void ResolveReferences();
  // Names every unnamed not null and check constraint; 30038 for an unnamed one of another type.
  void GenerateNames();
  // Adds and resolves the constraint the index implies (MakeIndexConstraint), if any.
  void AddForIndex(const TQDXIndexDef& index);
  // Removes the unique and primary constraints whose TargetRef is the index.
  void DeleteForIndex(int32_t indexID);

  // Runs every constraint, in collection order, on the record buffer. Unique and primary key
  // duplicates are looked for only with `checkUniqueness` (against `oldRecord` on an update; a
  // null old record is read by `currentID`). The first violation raises, or answers false
  // without `raise`.
  bool CheckRecord(int32_t sessionID, const uint8_t* record, bool checkUniqueness, bool raise,
                   TQDXRecordID currentID, bool inserting, const uint8_t* oldRecord);

 private:
  bool CheckNotNull(const TQDXConstraintDefNotNull& constraint, const uint8_t* record,
                    bool raise) const;
  bool CheckBounds(const TQDXConstraintDefCheck& constraint, const uint8_t* record,
                   bool raise) const;
  bool CheckUnique(const TQDXConstraintDefUnique& constraint, int32_t sessionID,
                   const uint8_t* record, bool raise, TQDXRecordID currentID, bool inserting,
                   const uint8_t* oldRecord);
  int32_t RequireFieldNo(int32_t fieldID) const;
  void Resolve(TQDXConstraintDef& constraint);

  TQDXTableData* table_;
  std::unique_ptr<TQDXConstraintDefs> constraintDefs_;
};

}  // namespace qdx
