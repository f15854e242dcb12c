#include "engine/core/field_def.h"

#include "engine/core/record_layout.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {
TQDXDefaultExpressionParser defaultExpressionParser = nullptr;
}  // namespace

void SetDefaultExpressionParser(TQDXDefaultExpressionParser parser) {
  defaultExpressionParser = parser;
}

// ---- TQDXFieldDef -----------------------------------------------------------------------------

void TQDXFieldDef::SetFieldType(TQDXFieldType fieldType, int32_t size) {
  const TQDXDataType dataType = FieldTypeToDataType(fieldType);
  if (dataType == TQDXDataType::None) Raise(msg::kUnsupportedDataType, {FieldTypeName(fieldType)});
  const int32_t memorySize = FieldMemorySize(dataType, size);
  const int32_t storedSize = FieldStoredSize(dataType, size);
  FieldType = fieldType;
  Size = size;
  DataType = dataType;
  MemorySize = memorySize;
  StoredSize = storedSize;
  if (defaultValue_.IsNull() && defaultValue_.DataType() != dataType) defaultValue_.Clear(dataType);
}

void TQDXFieldDef::RecomputeSizes() {
  MemorySize = FieldMemorySize(DataType, Size);
  StoredSize = FieldStoredSize(DataType, Size);
}

void TQDXFieldDef::SetDefaultValue(const TQDXVariant& value) {
  defaultValue_.Assign(value, true);
  RebuildDefaultExpression();
}

void TQDXFieldDef::RebuildDefaultExpression() {
  defaultExpression_.reset();
  if (defaultExpressionParser == nullptr || defaultValue_.IsNull()) return;
  if (!IsStringDataType(defaultValue_.DataType())) return;
  if (defaultValue_.StringLength() <= 0) return;
  defaultExpression_ = defaultExpressionParser(defaultValue_);
}

TQDXVariant TQDXFieldDef::EvaluateDefault() const {
  TQDXVariant value;
  if (defaultExpression_) {
    value = defaultExpression_->Evaluate();
  } else {
    value.Assign(defaultValue_, true);
  }
  if (value.DataType() != DataType) value.ChangeDataType(DataType);
  return value;
}

void TQDXFieldDef::CheckDefaultFits() const {
  if (IsBlob() || defaultValue_.IsNull() || defaultExpression_) return;
  TQDXVariant value;
  value.Assign(defaultValue_, false);
  if (value.DataType() != DataType) value.ChangeDataType(DataType);
  if (!value.IsNull() && value.Size() > MemorySize) Raise(msg::kBufferSizeExceeded);
}

void TQDXFieldDef::Assign(const TQDXMetaObjectDef& source) {
  if (&source == this) return;
  TQDXMetaObjectDef::Assign(source);
  const auto& field = static_cast<const TQDXFieldDef&>(source);
  DataType = field.DataType;
  FieldType = field.FieldType;
  Size = field.Size;
  StoredSize = field.StoredSize;
  MemorySize = field.MemorySize;
  StoredOffset = field.StoredOffset;
  MemoryOffset = field.MemoryOffset;
  SourceFieldNo = field.SourceFieldNo;
  BlobCompressionAlgorithm = field.BlobCompressionAlgorithm;
  BlobCompressionMode = field.BlobCompressionMode;
  BlobBlockSize = field.BlobBlockSize;
  AutoincIncrement = field.AutoincIncrement;
  AutoincInitialValue = field.AutoincInitialValue;
  AutoincMinValue = field.AutoincMinValue;
  AutoincMaxValue = field.AutoincMaxValue;
  AutoincCycled = field.AutoincCycled;
  SetDefaultValue(field.defaultValue_);
}

void TQDXFieldDef::LoadFromStream(TStream& stream) {
  TQDXMetaObjectDef::LoadFromStream(stream);
  DataType = static_cast<TQDXDataType>(CheckedReadValue<uint8_t>(stream, msg::kReadFieldDataType));
  FieldType = static_cast<TQDXFieldType>(CheckedReadValue<uint8_t>(stream, msg::kReadFieldType));
  // Values are copied with the width of the field type into a slot sized by the data type, so
  // a pair that the type table does not join would let an edit write past the slot.
  if (FieldTypeToDataType(FieldType) != DataType) {
    Raise(msg::kFieldTypeMismatch, {Name(), FieldTypeName(FieldType), DataTypeName(DataType)});
  }
  Size = CheckedReadValue<int32_t>(stream, msg::kReadFieldSize);
  BlobCompressionAlgorithm = 0;
  BlobCompressionMode = 0;
  BlobBlockSize = kDefaultBlobBlockSize;
  if (IsBlob()) {
    BlobCompressionAlgorithm =
        CheckedReadValue<uint8_t>(stream, msg::kReadFieldBlobCompressionAlgorithm);
    BlobCompressionMode = CheckedReadValue<uint8_t>(stream, msg::kReadFieldBlobCompressionMode);
    BlobBlockSize = CheckedReadValue<int32_t>(stream, msg::kReadFieldBlobBlockSize);
  }
  AutoincIncrement = CheckedReadValue<int64_t>(stream, msg::kReadFieldAutoincIncrement);
  AutoincInitialValue = CheckedReadValue<int64_t>(stream, msg::kReadFieldAutoincInitialValue);
  AutoincMinValue = CheckedReadValue<int64_t>(stream, msg::kReadFieldAutoincMinValue);
  AutoincMaxValue = CheckedReadValue<int64_t>(stream, msg::kReadFieldAutoincMaxValue);
  AutoincCycled = CheckedReadValue<uint8_t>(stream, msg::kReadFieldAutoincCycled) != 0;
  defaultValue_.Clear(DataType);
  defaultValue_.LoadFromStream(stream);
  RebuildDefaultExpression();
  RecomputeSizes();
}

void TQDXFieldDef::SaveToStream(TStream& stream) const {
  TQDXMetaObjectDef::SaveToStream(stream);
  CheckedWriteValue<uint8_t>(stream, static_cast<uint8_t>(DataType), msg::kWriteFieldDataType);
  CheckedWriteValue<uint8_t>(stream, static_cast<uint8_t>(FieldType), msg::kWriteFieldType);
  CheckedWriteValue<int32_t>(stream, Size, msg::kWriteFieldSize);
  if (IsBlob()) {
    CheckedWriteValue<uint8_t>(stream, BlobCompressionAlgorithm,
                               msg::kWriteFieldBlobCompressionAlgorithm);
    CheckedWriteValue<uint8_t>(stream, BlobCompressionMode, msg::kWriteFieldBlobCompressionMode);
    CheckedWriteValue<int32_t>(stream, BlobBlockSize, msg::kWriteFieldBlobBlockSize);
  }
  CheckedWriteValue<int64_t>(stream, AutoincIncrement, msg::kWriteFieldAutoincIncrement);
  CheckedWriteValue<int64_t>(stream, AutoincInitialValue, msg::kWriteFieldAutoincInitialValue);
  CheckedWriteValue<int64_t>(stream, AutoincMinValue, msg::kWriteFieldAutoincMinValue);
  CheckedWriteValue<int64_t>(stream, AutoincMaxValue, msg::kWriteFieldAutoincMaxValue);
  CheckedWriteValue<uint8_t>(stream, AutoincCycled ? 1 : 0, msg::kWriteFieldAutoincCycled);
  defaultValue_.SaveToStream(stream);
}

// ---- TQDXFieldDefs ----------------------------------------------------------------------------

TQDXMetaObjectDef& TQDXFieldDefs::AddCreated() {
  auto def = std::make_unique<TQDXFieldDef>();
  TQDXFieldDef& field = *def;
  Add(std::move(def));
  return field;
}

TQDXFieldDef& TQDXFieldDefs::AddField(std::string_view name, TQDXFieldType fieldType,
                                      int32_t size) {
  auto def = std::make_unique<TQDXFieldDef>();
  def->SetName(name);
  def->SetFieldType(fieldType, size);
  TQDXFieldDef& field = *def;
  Add(std::move(def));
  return field;
}

void TQDXFieldDefs::LoadFromStream(TStream& stream) {
  Clear();
  TQDXMetaObjectDefs::LoadFromStream(stream);
  // Definitions are appended as they are read, so a damaged count costs no memory up front.
  for (int32_t i = 0; i < StoredCount(); ++i) {
    auto def = std::make_unique<TQDXFieldDef>();
    def->LoadFromStream(stream);
    Add(std::move(def));
  }
}

void TQDXFieldDefs::SaveToStream(TStream& stream) const {
  TQDXMetaObjectDefs::SaveToStream(stream);
  for (int32_t i = 0; i < Count(); ++i) GetFieldDef(i).SaveToStream(stream);
}

void TQDXFieldDefs::CalculateOffsets() {
  MemoryRecordSize();  // refuses a record that would pass 2 GB before any offset overflows
  int32_t storedOffset = NullBitmapSize(Count());
  int32_t memoryOffset = storedOffset;
  for (int32_t i = 0; i < Count(); ++i) {
    TQDXFieldDef& field = GetFieldDef(i);
    field.StoredOffset = storedOffset;
    field.MemoryOffset = memoryOffset;
    storedOffset += field.StoredSize;
    memoryOffset += field.MemorySize;
  }
}

namespace {
// Sums in 64 bits: field sizes are bounded, but many large fields could pass 2 GB.
template <typename SizeOf>
int32_t RecordSize(const TQDXFieldDefs& defs, SizeOf sizeOf) {
  int64_t size = NullBitmapSize(defs.Count());
  for (int32_t i = 0; i < defs.Count(); ++i) size += sizeOf(defs.GetFieldDef(i));
  if (size > std::numeric_limits<int32_t>::max()) Raise(msg::kRecordSizeTooLarge, {defs.Count()});
  return static_cast<int32_t>(size);
}
}  // namespace

int32_t TQDXFieldDefs::MemoryRecordSize() const {
  return RecordSize(*this, [](const TQDXFieldDef& f) { return f.MemorySize; });
}

int32_t TQDXFieldDefs::StoredRecordSize() const {
  return RecordSize(*this, [](const TQDXFieldDef& f) { return f.StoredSize; });
}

}  // namespace qdx
