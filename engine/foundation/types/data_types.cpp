#include "engine/foundation/types/data_types.h"

#include <array>
#include <string>

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {
namespace {

struct TypeRow {
  std::string_view name;
  uint8_t fieldType;
  uint8_t dataType;
  TFieldType datasetFieldType;
};

// Rows in their fixed order: the first row of a code is its canonical row.
constexpr std::array<TypeRow, 62> kTypeTable = {{
    {"CHAR", 1, 1, ftFixedChar},
    {"FIXEDCHAR", 1, 1, ftFixedChar},
    {"STRING", 2, 3, ftString},
    {"VARCHAR", 2, 3, ftString},
    {"VARCHAR2", 2, 3, ftString},
    {"WIDECHAR", 3, 2, ftWideString},
    {"FIXEDWIDECHAR", 3, 2, ftWideString},
    {"WIDESTRING", 4, 4, ftWideString},
    {"WIDEVARCHAR", 4, 4, ftWideString},
    {"SMALLINT", 6, 6, ftSmallint},
    {"SIGNEDINT16", 6, 6, ftSmallint},
    {"SHORTINT", 5, 5, ftSmallint},
    {"SIGNEDINT8", 5, 5, ftSmallint},
    {"INTEGER", 7, 7, ftInteger},
    {"SIGNEDINT32", 7, 7, ftInteger},
    {"LARGEINT", 8, 8, ftLargeint},
    {"INT64", 8, 8, ftLargeint},
    {"SIGNEDINT64", 8, 8, ftLargeint},
    {"WORD", 10, 10, ftWord},
    {"UNSIGNEDINT16", 10, 10, ftWord},
    {"BYTE", 9, 9, ftWord},
    {"UNSIGNEDINT8", 9, 9, ftWord},
    {"CARDINAL", 11, 11, ftLargeint},
    {"UNSIGNEDINT32", 11, 11, ftLargeint},
    {"AUTOINC", 12, 7, ftAutoInc},
    {"AUTOINCSHORTINT", 13, 5, ftAutoInc},
    {"AUTOINCSMALLINT", 14, 6, ftAutoInc},
    {"AUTOINCINTEGER", 15, 7, ftAutoInc},
    {"AUTOINCLARGEINT", 16, 8, ftLargeint},
    {"AUTOINCBYTE", 17, 9, ftAutoInc},
    {"AUTOINCWORD", 18, 10, ftAutoInc},
    {"AUTOINCCARDINAL", 19, 11, ftAutoInc},
    {"FLOAT", 21, 13, ftFloat},
    {"FLOAT", 21, 13, ftBCD},
    {"SINGLE", 20, 12, ftFloat},
    {"DOUBLE", 21, 13, ftFloat},
    {"EXTENDED", 22, 14, ftFloat},
    {"LOGICAL", 23, 21, ftBoolean},
    {"BOOLEAN", 23, 21, ftBoolean},
    {"BOOL", 23, 21, ftBoolean},
    {"BIT", 23, 21, ftBoolean},
    {"CURRENCY", 24, 22, ftCurrency},
    {"MONEY", 24, 22, ftCurrency},
    {"DATE", 25, 15, ftDate},
    {"TIME", 26, 16, ftTime},
    {"DATETIME", 27, 17, ftDateTime},
    {"TIMESTAMP", 28, 17, ftUnknown},
    {"BYTES", 29, 23, ftBytes},
    {"VARBYTES", 30, 24, ftVarBytes},
    {"BLOB", 31, 18, ftBlob},
    {"BLOB", 31, 18, ftParadoxOle},
    {"BLOB", 31, 18, ftTypedBinary},
    {"BLOB", 31, 18, ftDBaseOle},
    {"BLOB", 31, 18, ftOraBlob},
    {"BLOB", 31, 18, ftOraClob},
    {"GRAPHIC", 32, 18, ftGraphic},
    {"MEMO", 33, 19, ftMemo},
    {"CLOB", 33, 19, ftMemo},
    {"FORMATTEDMEMO", 34, 19, ftFmtMemo},
    {"WIDEMEMO", 35, 20, ftBlob},
    {"WIDECLOB", 35, 20, ftBlob},
    {"GUID", 36, 1, ftGuid},
}};

constexpr std::string_view kUnknownName = "Unknown";

template <typename Match>
const TypeRow* FindRow(Match match) {
  for (const TypeRow& row : kTypeTable) {
    if (match(row)) return &row;
  }
  return nullptr;
}

}  // namespace

TQDXDataType FieldTypeToDataType(TQDXFieldType fieldType) {
  const auto code = static_cast<uint8_t>(fieldType);
  const TypeRow* row = FindRow([code](const TypeRow& r) { return r.fieldType == code; });
  return row ? static_cast<TQDXDataType>(row->dataType) : TQDXDataType::None;
}

TQDXFieldType DataTypeToFieldType(TQDXDataType dataType) {
  const auto code = static_cast<uint8_t>(dataType);
  const TypeRow* row = FindRow([code](const TypeRow& r) { return r.dataType == code; });
  return row ? static_cast<TQDXFieldType>(row->fieldType) : TQDXFieldType::None;
}

TFieldType FieldTypeToDatasetFieldType(TQDXFieldType fieldType) {
  const auto code = static_cast<uint8_t>(fieldType);
  const TypeRow* row = FindRow([code](const TypeRow& r) { return r.fieldType == code; });
  return row ? row->datasetFieldType : ftUnknown;
}

TQDXFieldType DatasetFieldTypeToFieldType(TFieldType datasetFieldType) {
  const TypeRow* row = FindRow(
      [datasetFieldType](const TypeRow& r) { return r.datasetFieldType == datasetFieldType; });
  if (!row) {
    Raise(msg::kUnknownDatasetFieldType, {std::to_string(static_cast<int>(datasetFieldType))});
  }
  return static_cast<TQDXFieldType>(row->fieldType);
}

std::string_view FieldTypeName(TQDXFieldType fieldType) {
  const auto code = static_cast<uint8_t>(fieldType);
  const TypeRow* row = FindRow([code](const TypeRow& r) { return r.fieldType == code; });
  return row ? row->name : kUnknownName;
}

std::string_view DataTypeName(TQDXDataType dataType) {
  const auto code = static_cast<uint8_t>(dataType);
  const TypeRow* row = FindRow([code](const TypeRow& r) { return r.dataType == code; });
  return row ? row->name : kUnknownName;
}

TQDXFieldType FieldTypeFromName(std::string_view name) {
  const TypeRow* row = FindRow([name](const TypeRow& r) { return r.name == name; });
  return row ? static_cast<TQDXFieldType>(row->fieldType) : TQDXFieldType::None;
}

int32_t DataSize(TQDXDataType dataType, int32_t declaredSize) {
  switch (dataType) {
    case TQDXDataType::Char:
    case TQDXDataType::String:
    case TQDXDataType::Bytes:
    case TQDXDataType::VarBytes:
      return declaredSize + 1;
    case TQDXDataType::WideChar:
    case TQDXDataType::WideString:
      return (declaredSize + 1) * 2;
    case TQDXDataType::ShortInt:
    case TQDXDataType::Byte:
      return 1;
    case TQDXDataType::SmallInt:
    case TQDXDataType::Word:
    case TQDXDataType::Logical:
      return 2;
    case TQDXDataType::Integer:
    case TQDXDataType::Cardinal:
    case TQDXDataType::Single:
    case TQDXDataType::Date:
    case TQDXDataType::Time:
      return 4;
    case TQDXDataType::LargeInt:
    case TQDXDataType::Float:
    case TQDXDataType::DateTime:
    case TQDXDataType::Currency:
      return 8;
    case TQDXDataType::Extended:
    case TQDXDataType::Blob:
    case TQDXDataType::Memo:
    case TQDXDataType::WideMemo:
      return 10;
    case TQDXDataType::None:
      break;
  }
  Raise(msg::kSizeOfUnknownDataType, {DataTypeName(dataType)});
}

}  // namespace qdx
