#include "engine/core/constraint_def.h"

#include <algorithm>

#include "engine/core/table_index_def.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

constexpr TQDXConstraintDefNotNull::RefCodes kNotNullWrite{
    {10240, 10241, 10242}, {10243, 10244, 10245, 10246, 10247, 10248}};
constexpr TQDXConstraintDefNotNull::RefCodes kNotNullRead{
    {10249, 10250, 10251}, {10252, 10253, 10254, 10255, 10256, 10257}};
constexpr TQDXConstraintDefNotNull::RefCodes kCheckWrite{
    {10227, 10228, 10229}, {10221, 10222, 10223, 10224, 10225, 10226}};
constexpr TQDXConstraintDefNotNull::RefCodes kCheckRead{{10230, 10231, 10232},
                                                        {10233, 10234, 10235, 10236, 10237, 10238}};
constexpr TQDXConstraintDefNotNull::RefCodes kUniqueWrite{
    {30313, 30314, 30318}, {30315, 30316, 30317, 30318, 30323, 30324}};
constexpr TQDXConstraintDefNotNull::RefCodes kUniqueRead{
    {30303, 30304, 30317}, {30305, 30306, 30307, 30308, 30321, 30322}};

// A name as n = L + 1 (one or four bytes), then the length byte L and the L characters.
void WriteRefName(TStream& stream, std::string_view name, int lengthBytes, int32_t lengthCode,
                  int32_t textCode) {
  name = name.substr(0, kMaxShortNameLength);
  const int32_t n = static_cast<int32_t>(name.size()) + 1;
  if (lengthBytes == 1) {
    CheckedWriteValue<uint8_t>(stream, static_cast<uint8_t>(n), lengthCode);
  } else {
    CheckedWriteValue<int32_t>(stream, n, lengthCode);
  }
  std::string bytes(1, static_cast<char>(name.size()));
  bytes.append(name);
  CheckedWrite(bytes.data(), n, stream, textCode);
}

// The name of n bytes. A length byte that disagrees with n is taken only as far as the n bytes
// reach, so damaged data never reads past its item.
std::string ReadRefName(TStream& stream, int lengthBytes, int32_t lengthCode, int32_t textCode) {
  const int64_t n = lengthBytes == 1 ? int64_t{CheckedReadValue<uint8_t>(stream, lengthCode)}
                                     : int64_t{CheckedReadValue<int32_t>(stream, lengthCode)};
  const std::string bytes = ReadStoredText(stream, n, textCode);
  if (bytes.empty()) return {};
  const size_t length = std::min<size_t>(static_cast<uint8_t>(bytes[0]), bytes.size() - 1);
  return bytes.substr(1, length);
}

}  // namespace

// ---- TQDXConstraintDef ------------------------------------------------------------------------

void TQDXConstraintDef::Assign(const TQDXMetaObjectDef& source) {
  TQDXMetaObjectDef::Assign(source);
  constraintType_ = static_cast<const TQDXConstraintDef&>(source).constraintType_;
}

// ---- TQDXConstraintDefNotNull -----------------------------------------------------------------

void TQDXConstraintDefNotNull::SaveRefs(TStream& stream, const RefCodes& codes,
                                        int lengthBytes) const {
  CheckedWriteValue<int32_t>(stream, FirstRef.ID, codes.Ids[0]);
  CheckedWriteValue<int32_t>(stream, TableRef.ID, codes.Ids[1]);
  CheckedWriteValue<int32_t>(stream, TargetRef.ID, codes.Ids[2]);
  WriteRefName(stream, FirstRef.Name, lengthBytes, codes.Names[0], codes.Names[1]);
  WriteRefName(stream, TableRef.Name, lengthBytes, codes.Names[2], codes.Names[3]);
  WriteRefName(stream, TargetRef.Name, lengthBytes, codes.Names[4], codes.Names[5]);
}

void TQDXConstraintDefNotNull::LoadRefs(TStream& stream, const RefCodes& codes, int lengthBytes) {
  FirstRef.ID = CheckedReadValue<int32_t>(stream, codes.Ids[0]);
  TableRef.ID = CheckedReadValue<int32_t>(stream, codes.Ids[1]);
  TargetRef.ID = CheckedReadValue<int32_t>(stream, codes.Ids[2]);
  FirstRef.Name = ReadRefName(stream, lengthBytes, codes.Names[0], codes.Names[1]);
  TableRef.Name = ReadRefName(stream, lengthBytes, codes.Names[2], codes.Names[3]);
  TargetRef.Name = ReadRefName(stream, lengthBytes, codes.Names[4], codes.Names[5]);
}

void TQDXConstraintDefNotNull::Assign(const TQDXMetaObjectDef& source) {
  TQDXConstraintDef::Assign(source);
  const auto& other = static_cast<const TQDXConstraintDefNotNull&>(source);
  FirstRef = other.FirstRef;
  TableRef = other.TableRef;
  TargetRef = other.TargetRef;
}

void TQDXConstraintDefNotNull::LoadFromStream(TStream& stream) {
  TQDXMetaObjectDef::LoadFromStream(stream);
  LoadRefs(stream, kNotNullRead, 1);
}

void TQDXConstraintDefNotNull::SaveToStream(TStream& stream) const {
  TQDXMetaObjectDef::SaveToStream(stream);
  SaveRefs(stream, kNotNullWrite, 1);
}

// ---- TQDXConstraintDefCheck -------------------------------------------------------------------

void TQDXConstraintDefCheck::Assign(const TQDXMetaObjectDef& source) {
  TQDXConstraintDefNotNull::Assign(source);
  const auto& other = static_cast<const TQDXConstraintDefCheck&>(source);
  MinValue.Assign(other.MinValue, true);
  MaxValue.Assign(other.MaxValue, true);
}

void TQDXConstraintDefCheck::LoadFromStream(TStream& stream) {
  TQDXMetaObjectDef::LoadFromStream(stream);
  LoadRefs(stream, kCheckRead, 1);
  MinValue.LoadFromStream(stream);
  MaxValue.LoadFromStream(stream);
}

void TQDXConstraintDefCheck::SaveToStream(TStream& stream) const {
  TQDXMetaObjectDef::SaveToStream(stream);
  SaveRefs(stream, kCheckWrite, 1);
  MinValue.SaveToStream(stream);
  MaxValue.SaveToStream(stream);
}

// ---- TQDXConstraintDefUnique ------------------------------------------------------------------

void TQDXConstraintDefUnique::Assign(const TQDXMetaObjectDef& source) {
  TQDXConstraintDefNotNull::Assign(source);
  Columns = static_cast<const TQDXConstraintDefUnique&>(source).Columns;
}

void TQDXConstraintDefUnique::LoadFromStream(TStream& stream) {
  TQDXMetaObjectDef::LoadFromStream(stream);
  LoadRefs(stream, kUniqueRead, 4);
  const int32_t count = CheckedReadValue<int32_t>(stream, 30309);
  Columns.clear();
  for (int32_t i = 0; i < count; ++i) {
    TQDXConstraintColumn column;
    column.FieldID = CheckedReadValue<int32_t>(stream, 30310);
    column.FieldName = ReadRefName(stream, 4, 30311, 30312);
    Columns.push_back(std::move(column));
  }
}

void TQDXConstraintDefUnique::SaveToStream(TStream& stream) const {
  TQDXMetaObjectDef::SaveToStream(stream);
  SaveRefs(stream, kUniqueWrite, 4);
  CheckedWriteValue<int32_t>(stream, static_cast<int32_t>(Columns.size()), 30319);
  for (const TQDXConstraintColumn& column : Columns) {
    CheckedWriteValue<int32_t>(stream, column.FieldID, 30320);
    WriteRefName(stream, column.FieldName, 4, 30321, 30322);
  }
}

// ---- TQDXConstraintDefs -----------------------------------------------------------------------

namespace {
template <typename T>
T& AppendNew(TQDXConstraintDefs& defs) {
  auto def = std::make_unique<T>();
  T& result = *def;
  defs.Add(std::move(def));
  return result;
}
}  // namespace

TQDXConstraintDefNotNull& TQDXConstraintDefs::AddNotNull() {
  return AppendNew<TQDXConstraintDefNotNull>(*this);
}
TQDXConstraintDefCheck& TQDXConstraintDefs::AddCheck() {
  return AppendNew<TQDXConstraintDefCheck>(*this);
}
TQDXConstraintDefPrimary& TQDXConstraintDefs::AddPrimary() {
  return AppendNew<TQDXConstraintDefPrimary>(*this);
}
TQDXConstraintDefUnique& TQDXConstraintDefs::AddUnique() {
  return AppendNew<TQDXConstraintDefUnique>(*this);
}

void TQDXConstraintDefs::LoadFromStream(TStream& stream) {
  Clear();
  TQDXMetaObjectDefs::LoadFromStream(stream);
  for (int32_t i = 0; i < StoredCount(); ++i) {
    const uint8_t type = CheckedReadValue<uint8_t>(stream, 10220);
    std::unique_ptr<TQDXConstraintDef> def;
    switch (type) {
      case ctPrimaryKey:
        def = std::make_unique<TQDXConstraintDefPrimary>();
        break;
      case ctUnique:
        def = std::make_unique<TQDXConstraintDefUnique>();
        break;
      case ctNotNull:
        def = std::make_unique<TQDXConstraintDefNotNull>();
        break;
      case ctCheck:
        def = std::make_unique<TQDXConstraintDefCheck>();
        break;
      default:
        throw EQDXException(30316, msg::kUnknownConstraintType, {type});
    }
    def->LoadFromStream(stream);
    Add(std::move(def));
  }
}

void TQDXConstraintDefs::SaveToStream(TStream& stream) const {
  TQDXMetaObjectDefs::SaveToStream(stream);
  for (int32_t i = 0; i < Count(); ++i) {
    const TQDXConstraintDef& def = GetConstraintDef(i);
    CheckedWriteValue<uint8_t>(stream, def.ConstraintType(), 10219);
    def.SaveToStream(stream);
  }
}

void TQDXConstraintDefs::Assign(const TQDXMetaObjectDefs& source) {
  if (&source == this) return;
  Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const auto& def = static_cast<const TQDXConstraintDef&>(source.GetDef(i));
    switch (def.ConstraintType()) {
      case ctPrimaryKey:
        AddPrimary().Assign(def);
        break;
      case ctUnique:
        AddUnique().Assign(def);
        break;
      case ctNotNull:
        AddNotNull().Assign(def);
        break;
      case ctCheck:
        AddCheck().Assign(def);
        break;
      default:
        throw EQDXException(30035, msg::kNotImplementedYet);
    }
  }
}

std::unique_ptr<TQDXConstraintDefUnique> MakeIndexConstraint(const TQDXIndexDef& index) {
  std::unique_ptr<TQDXConstraintDefUnique> constraint;
  std::string name;
  if (index.Primary) {
    constraint = std::make_unique<TQDXConstraintDefPrimary>();
    name = "C_PK";
  } else if (index.Unique) {
    constraint = std::make_unique<TQDXConstraintDefUnique>();
    name = "C_Unique";
  } else {
    return nullptr;
  }
  constraint->TargetRef.SetName(index.Name());
  constraint->TargetRef.ID = index.ObjectID();
  for (int32_t i = 0; i < index.ColumnCount(); ++i) {
    const std::string& fieldName = index.Column(i).FieldName;
    constraint->Columns.push_back({fieldName, 0});
    name += "$";
    name += fieldName;
  }
  constraint->SetName(name);
  return constraint;
}

}  // namespace qdx
