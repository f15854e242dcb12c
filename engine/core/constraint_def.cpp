#include "engine/core/constraint_def.h"

#include <algorithm>

#include "engine/core/table_index_def.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

constexpr TQDXConstraintDefNotNull::RefMessages kNotNullWrite{
    {msg::kWriteNotNullFirstRefID, msg::kWriteNotNullTableRefID, msg::kWriteNotNullTargetRefID},
    {msg::kWriteNotNullFirstRefLength, msg::kWriteNotNullFirstRefName,
     msg::kWriteNotNullTableRefLength, msg::kWriteNotNullTableRefName,
     msg::kWriteNotNullTargetRefLength, msg::kWriteNotNullTargetRefName}};
constexpr TQDXConstraintDefNotNull::RefMessages kNotNullRead{
    {msg::kReadNotNullFirstRefID, msg::kReadNotNullTableRefID, msg::kReadNotNullTargetRefID},
    {msg::kReadNotNullFirstRefLength, msg::kReadNotNullFirstRefName,
     msg::kReadNotNullTableRefLength, msg::kReadNotNullTableRefName,
     msg::kReadNotNullTargetRefLength, msg::kReadNotNullTargetRefName}};
constexpr TQDXConstraintDefNotNull::RefMessages kCheckWrite{
    {msg::kWriteCheckFirstRefID, msg::kWriteCheckTableRefID, msg::kWriteCheckTargetRefID},
    {msg::kWriteCheckFirstRefLength, msg::kWriteCheckFirstRefName, msg::kWriteCheckTableRefLength,
     msg::kWriteCheckTableRefName, msg::kWriteCheckTargetRefLength, msg::kWriteCheckTargetRefName}};
constexpr TQDXConstraintDefNotNull::RefMessages kCheckRead{
    {msg::kReadCheckFirstRefID, msg::kReadCheckTableRefID, msg::kReadCheckTargetRefID},
    {msg::kReadCheckFirstRefLength, msg::kReadCheckFirstRefName, msg::kReadCheckTableRefLength,
     msg::kReadCheckTableRefName, msg::kReadCheckTargetRefLength, msg::kReadCheckTargetRefName}};
constexpr TQDXConstraintDefNotNull::RefMessages kUniqueWrite{
    {msg::kWriteUniqueFirstRefID, msg::kWriteUniqueTableRefID, msg::kWriteUniqueTargetRefID},
    {msg::kWriteUniqueFirstRefLength, msg::kWriteUniqueFirstRefName,
     msg::kWriteUniqueTableRefLength, msg::kWriteUniqueTableRefName,
     msg::kWriteUniqueTargetRefLength, msg::kWriteUniqueTargetRefName}};
constexpr TQDXConstraintDefNotNull::RefMessages kUniqueRead{
    {msg::kReadUniqueFirstRefID, msg::kReadUniqueTableRefID, msg::kReadUniqueTargetRefID},
    {msg::kReadUniqueFirstRefLength, msg::kReadUniqueFirstRefName, msg::kReadUniqueTableRefLength,
     msg::kReadUniqueTableRefName, msg::kReadUniqueTargetRefLength, msg::kReadUniqueTargetRefName}};

// A name as n = L + 1 (one or four bytes), then the length byte L and the L characters.
void WriteRefName(TStream& stream, std::string_view name, int lengthBytes,
                  const msg::Message& lengthFailure, const msg::Message& textFailure) {
  name = name.substr(0, kMaxShortNameLength);
  const int32_t n = static_cast<int32_t>(name.size()) + 1;
  if (lengthBytes == 1) {
    CheckedWriteValue<uint8_t>(stream, static_cast<uint8_t>(n), lengthFailure);
  } else {
    CheckedWriteValue<int32_t>(stream, n, lengthFailure);
  }
  std::string bytes(1, static_cast<char>(name.size()));
  bytes.append(name);
  CheckedWrite(bytes.data(), n, stream, textFailure);
}

// The name of n bytes. A length byte that disagrees with n is taken only as far as the n bytes
// reach, so damaged data never reads past its item.
std::string ReadRefName(TStream& stream, int lengthBytes, const msg::Message& lengthFailure,
                        const msg::Message& textFailure) {
  const int64_t n = lengthBytes == 1 ? int64_t{CheckedReadValue<uint8_t>(stream, lengthFailure)}
                                     : int64_t{CheckedReadValue<int32_t>(stream, lengthFailure)};
  const std::string bytes = ReadStoredText(stream, n, textFailure);
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

void TQDXConstraintDefNotNull::SaveRefs(TStream& stream, const RefMessages& failures,
                                        int lengthBytes) const {
  CheckedWriteValue<int32_t>(stream, FirstRef.ID, failures.Ids[0]);
  CheckedWriteValue<int32_t>(stream, TableRef.ID, failures.Ids[1]);
  CheckedWriteValue<int32_t>(stream, TargetRef.ID, failures.Ids[2]);
  WriteRefName(stream, FirstRef.Name, lengthBytes, failures.Names[0], failures.Names[1]);
  WriteRefName(stream, TableRef.Name, lengthBytes, failures.Names[2], failures.Names[3]);
  WriteRefName(stream, TargetRef.Name, lengthBytes, failures.Names[4], failures.Names[5]);
}

void TQDXConstraintDefNotNull::LoadRefs(TStream& stream, const RefMessages& failures,
                                        int lengthBytes) {
  FirstRef.ID = CheckedReadValue<int32_t>(stream, failures.Ids[0]);
  TableRef.ID = CheckedReadValue<int32_t>(stream, failures.Ids[1]);
  TargetRef.ID = CheckedReadValue<int32_t>(stream, failures.Ids[2]);
  FirstRef.Name = ReadRefName(stream, lengthBytes, failures.Names[0], failures.Names[1]);
  TableRef.Name = ReadRefName(stream, lengthBytes, failures.Names[2], failures.Names[3]);
  TargetRef.Name = ReadRefName(stream, lengthBytes, failures.Names[4], failures.Names[5]);
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
  const int32_t count = CheckedReadValue<int32_t>(stream, msg::kReadUniqueColumnCount);
  Columns.clear();
  for (int32_t i = 0; i < count; ++i) {
    TQDXConstraintColumn column;
    column.FieldID = CheckedReadValue<int32_t>(stream, msg::kReadUniqueColumnFieldID);
    column.FieldName =
        ReadRefName(stream, 4, msg::kReadUniqueColumnNameLength, msg::kReadUniqueColumnName);
    Columns.push_back(std::move(column));
  }
}

void TQDXConstraintDefUnique::SaveToStream(TStream& stream) const {
  TQDXMetaObjectDef::SaveToStream(stream);
  SaveRefs(stream, kUniqueWrite, 4);
  CheckedWriteValue<int32_t>(stream, static_cast<int32_t>(Columns.size()),
                             msg::kWriteUniqueColumnCount);
  for (const TQDXConstraintColumn& column : Columns) {
    CheckedWriteValue<int32_t>(stream, column.FieldID, msg::kWriteUniqueColumnFieldID);
    WriteRefName(stream, column.FieldName, 4, msg::kWriteUniqueColumnNameLength,
                 msg::kWriteUniqueColumnName);
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
    const uint8_t type = CheckedReadValue<uint8_t>(stream, msg::kReadConstraintType);
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
        Raise(msg::kUnknownConstraintType, {type});
    }
    def->LoadFromStream(stream);
    Add(std::move(def));
  }
}

void TQDXConstraintDefs::SaveToStream(TStream& stream) const {
  TQDXMetaObjectDefs::SaveToStream(stream);
  for (int32_t i = 0; i < Count(); ++i) {
    const TQDXConstraintDef& def = GetConstraintDef(i);
    CheckedWriteValue<uint8_t>(stream, def.ConstraintType(), msg::kWriteConstraintType);
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
        Raise(msg::kCopyConstraintNotImplemented);
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
