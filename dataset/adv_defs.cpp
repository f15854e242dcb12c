#include "dataset/adv_defs.h"

#include <charconv>

#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/types/strings.h"

namespace qdx {

namespace {

constexpr int32_t kGuidSize = 38;

bool SameText(std::string_view a, std::string_view b) {
  return AnsiUpperCase(a) == AnsiUpperCase(b);
}

bool ListContains(const std::vector<std::string>& names, std::string_view name) {
  for (const std::string& item : names) {
    if (SameText(item, name)) return true;
  }
  return false;
}

// The per-column sizes of a ";" list; 0 where a value is missing or not a number.
std::vector<int32_t> SizeList(std::string_view text) {
  std::vector<int32_t> sizes;
  for (const std::string& item : SplitFieldNames(text)) {
    int32_t value = 0;
    std::from_chars(item.data(), item.data() + item.size(), value);
    sizes.push_back(value);
  }
  return sizes;
}

bool KeepsIndexedSize(TQDXFieldType type) {
  return (IsStringFieldType(type) || IsBytesFieldType(type)) && type != TQDXFieldType::Guid;
}

}  // namespace

// ---- Collections --------------------------------------------------------------------------------

TQDXAdvFieldDef& TQDXAdvFieldDefs::Add(TQDXAdvFieldDef def) {
  items_.push_back(std::move(def));
  return items_.back();
}

TQDXAdvFieldDef* TQDXAdvFieldDefs::Find(std::string_view name) {
  for (TQDXAdvFieldDef& def : items_) {
    if (SameText(def.Name, name)) return &def;
  }
  return nullptr;
}

TQDXAdvFieldDef& TQDXAdvFieldDefs::FieldByName(std::string_view name) {
  TQDXAdvFieldDef* def = Find(name);
  if (def == nullptr) DatabaseError(dsmsg::Format(dsmsg::kFieldNotFound, {name}));
  return *def;
}

TQDXAdvIndexDef& TQDXAdvIndexDefs::Add(TQDXAdvIndexDef def) {
  items_.push_back(std::move(def));
  return items_.back();
}

void TQDXAdvIndexDefs::AssignForCopy(const TQDXAdvIndexDefs& source) {
  items_.clear();
  for (const TQDXAdvIndexDef& def : source.items_) {
    if (def.Temporary) continue;
    if (AnsiUpperCase(def.Name).find("TEMPORARY") != std::string::npos) continue;
    items_.push_back(def);
  }
}

// ---- Validation -----------------------------------------------------------------------------------

void ValidateAdvFieldDefs(std::string_view tableName, const TQDXAdvFieldDefs& fields) {
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TQDXAdvFieldDef& field = fields[i];
    if (field.Name.empty()) Raise(msg::kMissingFieldName, {i, tableName});
    if (IsSizedFieldType(field.FieldType) && field.Size <= 0) {
      Raise(msg::kCannotCreateTableWithField,
            {tableName, field.Name, FieldTypeName(field.FieldType), field.Size});
    }
    if (IsBlobFieldType(field.FieldType) && field.BlobCompression &&
        (field.BlobCompressionLevel == 0 || field.BlobCompressionLevel > 9)) {
      Raise(msg::kInvalidBlobCompressionMode, {field.Name, tableName});
    }
  }
}

void PrepareAdvFieldDefs(TQDXAdvFieldDefs& fields) {
  for (int32_t i = 0; i < fields.Count(); ++i) {
    TQDXAdvFieldDef& field = fields[i];
    const TQDXDataType dataType = FieldTypeToDataType(field.FieldType);
    for (TQDXVariant* value : {&field.DefaultValue, &field.MinValue, &field.MaxValue}) {
      if (value->IsNull()) continue;
      if (IsStringDataType(value->DataType()) && value->AsString().empty()) {
        *value = TQDXVariant();
        continue;
      }
      if (dataType == TQDXDataType::None || value->DataType() == dataType) continue;
      try {
        value->ChangeDataType(dataType);
      } catch (const EQDXException&) {
        // A value that cannot be converted is given up: the conversion left it null.
      }
    }
    if (field.FieldType == TQDXFieldType::Guid) {
      field.Size = kGuidSize;
    } else if (!IsSizedFieldType(field.FieldType)) {
      field.Size = 0;
    }
  }
}

// ---- Conversion ------------------------------------------------------------------------------------

std::unique_ptr<TQDXIndexDef> MakeEngineIndexDef(const TQDXAdvIndexDef& index,
                                                 const TQDXAdvFieldDefs& fields,
                                                 const msg::Message& invalidName,
                                                 const msg::Message& emptyFields,
                                                 const msg::Message& unknownField) {
  if (index.Name.empty()) Raise(invalidName, {index.Name});
  const std::vector<std::string> names = SplitFieldNames(index.Fields);
  if (names.empty()) Raise(emptyFields, {index.Fields});
  const std::vector<std::string> descending = SplitFieldNames(index.DescFields);
  const std::vector<std::string> caseInsensitive = SplitFieldNames(index.CaseInsFields);
  const std::vector<int32_t> sizes = SizeList(index.MaxIndexedSizes);

  auto def = std::make_unique<TQDXIndexDef>();
  def->SetName(index.Name);
  def->Unique = index.Options.Contains(TIndexOption::ixUnique);
  def->Primary = index.Options.Contains(TIndexOption::ixPrimary);
  def->Temporary = index.Temporary;
  def->SetColumnCount(static_cast<int32_t>(names.size()));
  for (size_t i = 0; i < names.size(); ++i) {
    auto* field = const_cast<TQDXAdvFieldDefs&>(fields).Find(names[i]);
    if (field == nullptr) Raise(unknownField, {names[i]});
    TQDXIndexColumn& column = def->Column(static_cast<int32_t>(i));
    column.SetFieldName(field->Name);
    column.Descending = descending.empty() ? index.Options.Contains(TIndexOption::ixDescending)
                                           : ListContains(descending, names[i]);
    column.CaseInsensitive = caseInsensitive.empty()
                                 ? index.Options.Contains(TIndexOption::ixCaseInsensitive)
                                 : ListContains(caseInsensitive, names[i]);
    column.MaxIndexedSize = i < sizes.size() ? sizes[i] : kDefaultMaxIndexedSize;
    if (column.MaxIndexedSize <= 0 || !KeepsIndexedSize(field->FieldType)) {
      column.MaxIndexedSize = kDefaultMaxIndexedSize;
    }
  }
  return def;
}

void BuildTableDefinitions(std::string_view tableName, const TQDXAdvFieldDefs& fields,
                           const TQDXAdvIndexDefs& indexes, bool temporaryTable,
                           TQDXTableDefinitions& result) {
  ValidateAdvFieldDefs(tableName, fields);
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TQDXAdvFieldDef& field = fields[i];
    TQDXFieldDef& def = result.Fields.AddField(field.Name, field.FieldType, field.Size);
    if (field.BlobCompression) {
      def.BlobCompressionAlgorithm = static_cast<uint8_t>(
          field.BlobCompressionAlgorithm > 0 ? field.BlobCompressionAlgorithm
                                             : TQDXAdvFieldDef::kDefaultBlobCompressionAlgorithm);
      def.BlobCompressionMode = field.BlobCompressionLevel;
    }
    def.AutoincIncrement = field.AutoincIncrement;
    def.AutoincInitialValue = field.AutoincInitialValue;
    def.AutoincMinValue = field.AutoincMinValue;
    def.AutoincMaxValue = field.AutoincMaxValue;
    def.AutoincCycled = field.AutoincCycled;
    if (!field.DefaultValue.IsNull()) def.SetDefaultValue(field.DefaultValue);
    if (temporaryTable) continue;
    if (field.Required) {
      TQDXConstraintDefNotNull& notNull = result.Constraints.AddNotNull();
      notNull.TableRef.SetName(tableName);
      notNull.TargetRef.SetName(field.Name);
    }
    if (!field.MinValue.IsNull() || !field.MaxValue.IsNull()) {
      TQDXConstraintDefCheck& check = result.Constraints.AddCheck();
      check.TableRef.SetName(tableName);
      check.TargetRef.SetName(field.Name);
      check.MinValue.Assign(field.MinValue, /*deep=*/true);
      check.MaxValue.Assign(field.MaxValue, /*deep=*/true);
    }
  }
  for (int32_t i = 0; i < indexes.Count(); ++i) {
    std::unique_ptr<TQDXIndexDef> index =
        MakeEngineIndexDef(indexes[i], fields, msg::kCreateTableIndexNameInvalid,
                           msg::kCreateTableIndexFieldsEmpty, msg::kCreateTableIndexFieldUnknown);
    result.Indexes.Add(std::move(index));
  }
  if (!temporaryTable) {
    for (int32_t i = 0; i < result.Indexes.Count(); ++i) {
      std::unique_ptr<TQDXConstraintDefUnique> constraint =
          MakeIndexConstraint(result.Indexes.GetIndexDef(i));
      if (constraint == nullptr) continue;
      constraint->TableRef.SetName(tableName);
      result.Constraints.Add(std::move(constraint));
    }
  }
}

void AdvFieldDefsFromEngine(const TQDXFieldDefs& source, TQDXAdvFieldDefs& target,
                            const TQDXConstraintDefs* constraints) {
  target.Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const TQDXFieldDef& field = source.GetFieldDef(i);
    TQDXAdvFieldDef& def = target.Add(TQDXAdvFieldDef(field.Name(), field.FieldType, field.Size));
    def.FieldNo = i;
    def.DefaultValue.Assign(field.DefaultValue(), /*deep=*/true);
    def.AutoincIncrement = field.AutoincIncrement;
    def.AutoincInitialValue = field.AutoincInitialValue;
    def.AutoincMinValue = field.AutoincMinValue;
    def.AutoincMaxValue = field.AutoincMaxValue;
    def.AutoincCycled = field.AutoincCycled;
    def.BlobCompression = field.BlobCompressionAlgorithm != 0;
    def.BlobCompressionLevel = field.BlobCompressionMode;
    if (def.BlobCompression) def.BlobCompressionAlgorithm = field.BlobCompressionAlgorithm;
  }
  if (constraints == nullptr) return;
  for (int32_t i = 0; i < constraints->Count(); ++i) {
    const TQDXConstraintDef& constraint = constraints->GetConstraintDef(i);
    if (constraint.ConstraintType() != ctNotNull && constraint.ConstraintType() != ctCheck) {
      continue;
    }
    const auto& ref = static_cast<const TQDXConstraintDefNotNull&>(constraint);
    TQDXAdvFieldDef* field = target.Find(ref.TargetRef.Name);
    if (field == nullptr) continue;
    if (constraint.ConstraintType() == ctNotNull) {
      field->Required = true;
    } else {
      const auto& check = static_cast<const TQDXConstraintDefCheck&>(constraint);
      field->MinValue.Assign(check.MinValue, /*deep=*/true);
      field->MaxValue.Assign(check.MaxValue, /*deep=*/true);
    }
  }
}

void AdvIndexDefsFromEngine(const TQDXIndexDefs& source, TQDXAdvIndexDefs& target) {
  target.Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const TQDXIndexDef& index = source.GetIndexDef(i);
    TQDXAdvIndexDef def;
    def.Name = index.Name();
    def.Temporary = index.Temporary;
    if (index.Primary) def.Options.Include(TIndexOption::ixPrimary);
    if (index.Unique) def.Options.Include(TIndexOption::ixUnique);
    for (int32_t c = 0; c < index.ColumnCount(); ++c) {
      const TQDXIndexColumn& column = index.Column(c);
      const std::string separator = c == 0 ? "" : ";";
      def.Fields += separator + column.FieldName;
      def.MaxIndexedSizes += separator + std::to_string(column.MaxIndexedSize);
      if (column.Descending) def.DescFields += (def.DescFields.empty() ? "" : ";") + column.FieldName;
      if (column.CaseInsensitive) {
        def.CaseInsFields += (def.CaseInsFields.empty() ? "" : ";") + column.FieldName;
      }
    }
    target.Add(std::move(def));
  }
}

}  // namespace qdx
