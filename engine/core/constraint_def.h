// Constraint definitions and the constraint collection TQDXConstraintDefs.
//
// Kinds (ConstraintType, stored): 0 primary key, 2 unique, 3 not null, 4 check. Type 1 exists in
// no class and is refused wherever a constraint is read or copied. Every kind carries three
// references (a short name and an int32 ID): FirstRef (reserved, always empty and 0), TableRef
// (the owning table's name) and TargetRef (the field of a not null or check constraint, the
// index of a unique or primary one).
//
// Stored form of a not null or check constraint (after the definition base), little-endian;
// a name is written as n = L + 1 and then n bytes: the length byte L and the L characters.
//
//   size   content               not null write / read   check write / read
//   4      FirstRef ID           10240 / 10249           10227 / 10230
//   4      TableRef ID           10241 / 10250           10228 / 10231
//   4      TargetRef ID          10242 / 10251           10229 / 10232
//   1      n of FirstRef name    10243 / 10252           10221 / 10233
//   n      FirstRef name         10244 / 10253           10222 / 10234
//   1 + n  TableRef n, name      10245, 10246 / 10254,   10223, 10224 / 10235, 10236
//                                10255
//   1 + n  TargetRef n, name     10247, 10248 / 10256,   10225, 10226 / 10237, 10238
//                                10257
//   check only: MinValue, then MaxValue, each a variant's stored form (10179.. / 10183..)
//
// Stored form of a unique or primary constraint: the same references, but n is an int32.
//
//   size   content                                  write / read
//   4      FirstRef ID                              30313 / 30303
//   4      TableRef ID                              30314 / 30304
//   4      TargetRef ID                             30318 / 30317
//   4      n of FirstRef name                       30315 / 30305
//   n      FirstRef name                            30316 / 30306
//   4 + n  TableRef n, name                         30317, 30318 / 30307, 30308
//   4 + n  TargetRef n, name                        30323, 30324 / 30321, 30322
//   4      column count K                           30319 / 30309
//   K x    field ID (4), n (4), name (n)            30320, 30321, 30322 / 30310, 30311, 30312
//
// Stored form of the collection: int32 count (10158 / 10159), then per constraint its type
// byte (10219 / 10220) and the constraint; an unknown type fails with 30316.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/meta_object_def.h"
#include "engine/foundation/types/variant.h"

namespace qdx {

class TQDXIndexDef;

enum TQDXConstraintType : uint8_t {
  ctPrimaryKey = 0,
  ctUnique = 2,
  ctNotNull = 3,
  ctCheck = 4,
};

// A reference to another object by name and ID.
struct TQDXObjectRef {
  std::string Name;  // a short name
  int32_t ID = 0;

  void SetName(std::string_view name) { Name = ShortName(name); }
  bool operator==(const TQDXObjectRef&) const = default;
};

class TQDXConstraintDef : public TQDXMetaObjectDef {
 public:
  uint8_t ConstraintType() const { return constraintType_; }

  void Assign(const TQDXMetaObjectDef& source) override;
  std::string_view ClassName() const override { return "TQDXConstraintDef"; }

 protected:
  explicit TQDXConstraintDef(uint8_t constraintType) : constraintType_(constraintType) {}

 private:
  uint8_t constraintType_;
};

class TQDXConstraintDefNotNull : public TQDXConstraintDef {
 public:
  // The failures of the reference items: the three IDs, then n and the name of each reference.
  struct RefMessages {
    msg::Message Ids[3];
    msg::Message Names[6];
  };

  TQDXConstraintDefNotNull() : TQDXConstraintDef(ctNotNull) {}

  void Assign(const TQDXMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  std::string_view ClassName() const override { return "TQDXConstraintDefNotNull"; }

  TQDXObjectRef FirstRef;
  TQDXObjectRef TableRef;
  TQDXObjectRef TargetRef;

 protected:
  explicit TQDXConstraintDefNotNull(uint8_t constraintType) : TQDXConstraintDef(constraintType) {}

  // The three IDs, then the three names; n is one byte (not null, check) or four (unique).
  void SaveRefs(TStream& stream, const RefMessages& failures, int lengthBytes) const;
  void LoadRefs(TStream& stream, const RefMessages& failures, int lengthBytes);
};

class TQDXConstraintDefCheck : public TQDXConstraintDefNotNull {
 public:
  TQDXConstraintDefCheck() : TQDXConstraintDefNotNull(ctCheck) {}

  void Assign(const TQDXMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  std::string_view ClassName() const override { return "TQDXConstraintDefCheck"; }

  TQDXVariant MinValue;  // null: no lower bound
  TQDXVariant MaxValue;  // null: no upper bound
};

struct TQDXConstraintColumn {
  std::string FieldName;  // a short name
  int32_t FieldID = 0;

  bool operator==(const TQDXConstraintColumn&) const = default;
};

class TQDXConstraintDefUnique : public TQDXConstraintDefNotNull {
 public:
  TQDXConstraintDefUnique() : TQDXConstraintDefNotNull(ctUnique) {}

  void Assign(const TQDXMetaObjectDef& source) override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  std::string_view ClassName() const override { return "TQDXConstraintDefUnique"; }

  std::vector<TQDXConstraintColumn> Columns;

 protected:
  explicit TQDXConstraintDefUnique(uint8_t constraintType)
      : TQDXConstraintDefNotNull(constraintType) {}
};

class TQDXConstraintDefPrimary : public TQDXConstraintDefUnique {
 public:
  TQDXConstraintDefPrimary() : TQDXConstraintDefUnique(ctPrimaryKey) {}
  std::string_view ClassName() const override { return "TQDXConstraintDefPrimary"; }
};

class TQDXConstraintDefs : public TQDXMetaObjectDefs {
 public:
  TQDXConstraintDef& GetConstraintDef(int32_t index) const {
    return static_cast<TQDXConstraintDef&>(GetDef(index));
  }

  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  // Clear, then a copy of each source constraint made by the Add operation of its kind; names
  // are not checked. A constraint of another type fails with 30035, keeping those copied.
  void Assign(const TQDXMetaObjectDefs& source) override;

  TQDXConstraintDefNotNull& AddNotNull();
  TQDXConstraintDefCheck& AddCheck();
  TQDXConstraintDefPrimary& AddPrimary();
  TQDXConstraintDefUnique& AddUnique();

  std::string_view ClassName() const override { return "TQDXConstraintDefs"; }
};

// The constraint an index implies: a primary index yields a primary key constraint named
// "C_PK", a unique index a unique constraint named "C_Unique", each followed by "$" and the
// field name of every column ("C_PK$Datum"), with the columns' field names and TargetRef the
// index; any other index yields none.
std::unique_ptr<TQDXConstraintDefUnique> MakeIndexConstraint(const TQDXIndexDef& index);

}  // namespace qdx
