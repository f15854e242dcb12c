// The advanced field and index definitions of a table (TQDXAdvFieldDefs, TQDXAdvIndexDefs): what
// the engine stores of a field and an index, as the table dataset gives them when it creates or
// restructures a table, and their conversion into the engine's definitions.
//
// A table dataset describes a table twice: with the framework's FieldDefs and IndexDefs (name,
// dataset type, size, required; name, field list, options), and with these, which add what only
// the engine knows (field type codes, defaults and bounds, autoinc settings, BLOB compression,
// per-column descending, case and indexed-size lists). BuildTableDefinitions validates them and
// makes the engine's field, index and constraint definitions a cursor creates a table from.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/framework/index_defs.h"
#include "engine/core/constraint_def.h"
#include "engine/core/field_def.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/types/data_types.h"
#include "engine/foundation/types/variant.h"

namespace qdx {

class TQDXAdvFieldDef {
 public:
  TQDXAdvFieldDef() = default;
  TQDXAdvFieldDef(std::string name, TQDXFieldType fieldType, int32_t size = 0,
                  bool required = false)
      : Name(std::move(name)), FieldType(fieldType), Required(required), Size(size) {}

  std::string Name;
  int32_t FieldNo = -1;
  TQDXFieldType FieldType = TQDXFieldType::None;
  bool Required = false;
  // Characters of text types, bytes of byte types, 0 where the type has no size.
  int32_t Size = 0;
  // Null when not set.
  TQDXVariant DefaultValue;
  TQDXVariant MinValue;
  TQDXVariant MaxValue;
  int64_t AutoincIncrement = 1;
  int64_t AutoincInitialValue = 0;
  int64_t AutoincMinValue = 0;
  int64_t AutoincMaxValue = std::numeric_limits<int64_t>::max();
  bool AutoincCycled = false;
  bool BlobCompression = false;
  uint8_t BlobCompressionLevel = 0;
  // The engine default at creation; not positive means the default too.
  int32_t BlobCompressionAlgorithm = kDefaultBlobCompressionAlgorithm;

  static constexpr int32_t kDefaultBlobCompressionAlgorithm = 1;  // ZLIB
};

class TQDXAdvFieldDefs {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TQDXAdvFieldDef& operator[](int32_t index) { return items_.at(static_cast<size_t>(index)); }
  const TQDXAdvFieldDef& operator[](int32_t index) const {
    return items_.at(static_cast<size_t>(index));
  }
  TQDXAdvFieldDef& Add(TQDXAdvFieldDef def);
  void Clear() { items_.clear(); }
  // Ignoring case; null when none.
  TQDXAdvFieldDef* Find(std::string_view name);
  // Ignoring case; fails with "Field '%s' not found" (EDatabaseError).
  TQDXAdvFieldDef& FieldByName(std::string_view name);

 private:
  std::vector<TQDXAdvFieldDef> items_;
};

class TQDXAdvIndexDef {
 public:
  std::string Name;
  // Field names separated by ";".
  std::string Fields;
  std::string DescFields;
  std::string CaseInsFields;
  TIndexOptions Options;
  // Per column, separated by ";": the bytes of a string kept in the key.
  std::string MaxIndexedSizes;
  bool Temporary = false;
};

class TQDXAdvIndexDefs {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TQDXAdvIndexDef& operator[](int32_t index) { return items_.at(static_cast<size_t>(index)); }
  const TQDXAdvIndexDef& operator[](int32_t index) const {
    return items_.at(static_cast<size_t>(index));
  }
  TQDXAdvIndexDef& Add(TQDXAdvIndexDef def);
  void Clear() { items_.clear(); }
  // A copy for another table: temporary definitions, and those whose upper-cased name contains
  // "TEMPORARY", are left out.
  void AssignForCopy(const TQDXAdvIndexDefs& source);

 private:
  std::vector<TQDXAdvIndexDef> items_;
};

// What a cursor creates a table from.
struct TQDXTableDefinitions {
  TQDXFieldDefs Fields;
  TQDXIndexDefs Indexes;
  TQDXConstraintDefs Constraints;
};

// Validates the advanced field definitions for `tableName`: a missing name (30499), a text or
// byte type without a positive size (30453), a compressed BLOB with a level outside 1..9 (20257).
void ValidateAdvFieldDefs(std::string_view tableName, const TQDXAdvFieldDefs& fields);

// Gives the advanced definitions the sizes their types take: 0 for types without a size (byte
// types keep theirs), 38 for GUID; an empty-text default, minimum or maximum becomes null.
void PrepareAdvFieldDefs(TQDXAdvFieldDefs& fields);

// The engine index definition of an advanced one: 20048 for an empty name, 20049 for an empty
// field list, 20050 for a name that is no field of `fields`; columns descending and
// case-insensitive by the lists or the options; MaxIndexedSize by the size list (20 when none,
// when not positive, or when the field is not a string or byte type). `invalidName`,
// `emptyFields` and `unknownField` are the entries to raise (AddIndex raises its own codes).
std::unique_ptr<TQDXIndexDef> MakeEngineIndexDef(const TQDXAdvIndexDef& index,
                                                 const TQDXAdvFieldDefs& fields,
                                                 const msg::Message& invalidName,
                                                 const msg::Message& emptyFields,
                                                 const msg::Message& unknownField);

// Validates, then converts into the engine's definitions (`result` starts empty). Unless
// `temporaryTable`, required fields add not null constraints, bounded fields check constraints,
// primary and unique indexes their constraints.
void BuildTableDefinitions(std::string_view tableName, const TQDXAdvFieldDefs& fields,
                           const TQDXAdvIndexDefs& indexes, bool temporaryTable,
                           TQDXTableDefinitions& result);

// The advanced definitions of a table as the engine stores it (a restructure or copy starts
// from them).
void AdvFieldDefsFromEngine(const TQDXFieldDefs& source, TQDXAdvFieldDefs& target,
                            const TQDXConstraintDefs* constraints = nullptr);
void AdvIndexDefsFromEngine(const TQDXIndexDefs& source, TQDXAdvIndexDefs& target);

}  // namespace qdx
