// The engine's type codes, the type table that links them, their storage sizes and classes.
//
// A field is declared with a field type (1..36: what a user or SQL names, "CHAR", "AUTOINCWORD",
// "MONEY" ...); the engine stores and compares values by a data type (1..24: the physical
// representation). Both codes are stored in database files, so their numbers are fixed. One
// table of 62 rows links field types, data types, type names and the dataset framework's field
// types; every look-up scans it from the first row and takes the first match, so the first row
// of a code is its canonical row.
//
// Storage encodings, all little-endian (size is the declared size in characters or bytes):
//
//   data type        bytes            encoding
//   1  CHAR          size + 1         8-bit characters (Windows-1252), zero-terminated
//   2  WIDECHAR      (size + 1) * 2   UTF-16 code units, zero-terminated
//   3  STRING        size + 1         as CHAR
//   4  WIDESTRING    (size + 1) * 2   as WIDECHAR
//   5  SHORTINT      1                signed
//   6  SMALLINT      2                signed
//   7  INTEGER       4                signed
//   8  LARGEINT      8                signed
//   9  BYTE          1                unsigned
//   10 WORD          2                unsigned
//   11 CARDINAL      4                unsigned
//   12 SINGLE        4                IEEE single
//   13 FLOAT         8                IEEE double
//   14 EXTENDED      10               x87 80-bit extended (64-bit mantissa, 15-bit exponent)
//   15 DATE          4                signed day number, day 1 = 0001-01-01
//   16 TIME          4                signed milliseconds since midnight
//   17 DATETIME      8                DATE (int32) then TIME (int32)
//   18 BLOB          10               reference into BLOB storage (a stored record keeps 6)
//   19 MEMO          10               as BLOB; the value is 8-bit text without terminator
//   20 WIDEMEMO      10               as BLOB; the value is UTF-16 text without terminator
//   21 LOGICAL       2                16-bit boolean: 0 false, any other true; true is written -1
//   22 CURRENCY      8                IEEE double holding the amount itself (not scaled)
//   23 BYTES         size + 1         raw bytes
//   24 VARBYTES      size + 1         raw bytes
#pragma once

#include <cstdint>
#include <string_view>

namespace qdx {

// Storage types. The numbers are stored in files.
enum class TQDXDataType : uint8_t {
  None = 0,  // a variant that has no type yet
  Char = 1,
  WideChar = 2,
  String = 3,
  WideString = 4,
  ShortInt = 5,
  SmallInt = 6,
  Integer = 7,
  LargeInt = 8,
  Byte = 9,
  Word = 10,
  Cardinal = 11,
  Single = 12,
  Float = 13,
  Extended = 14,
  Date = 15,
  Time = 16,
  DateTime = 17,
  Blob = 18,
  Memo = 19,
  WideMemo = 20,
  Logical = 21,
  Currency = 22,
  Bytes = 23,
  VarBytes = 24,
};

// Declared types of fields. The numbers are stored in files.
enum class TQDXFieldType : uint8_t {
  None = 0,  // what a look-up without a match answers
  Char = 1,
  String = 2,
  WideChar = 3,
  WideString = 4,
  ShortInt = 5,
  SmallInt = 6,
  Integer = 7,
  LargeInt = 8,
  Byte = 9,
  Word = 10,
  Cardinal = 11,
  AutoInc = 12,
  AutoIncShortInt = 13,
  AutoIncSmallInt = 14,
  AutoIncInteger = 15,
  AutoIncLargeInt = 16,
  AutoIncByte = 17,
  AutoIncWord = 18,
  AutoIncCardinal = 19,
  Single = 20,
  Float = 21,
  Extended = 22,
  Logical = 23,
  Currency = 24,
  Date = 25,
  Time = 26,
  DateTime = 27,
  TimeStamp = 28,
  Bytes = 29,
  VarBytes = 30,
  Blob = 31,
  Graphic = 32,
  Memo = 33,
  FormattedMemo = 34,
  WideMemo = 35,
  Guid = 36,
};

// The dataset framework's field types, in the framework's order (the ordinal is what an error
// about an unknown one shows).
enum TFieldType : uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
};

// ---- Look-ups of the type table --------------------------------------------------------------

// 0 (None) when no row matches.
TQDXDataType FieldTypeToDataType(TQDXFieldType fieldType);
TQDXFieldType DataTypeToFieldType(TQDXDataType dataType);
// ftUnknown when no row matches.
TFieldType FieldTypeToDatasetFieldType(TQDXFieldType fieldType);
// Fails with 30289 for a dataset field type in no row (the ordinal as text).
TQDXFieldType DatasetFieldTypeToFieldType(TFieldType datasetFieldType);
// "Unknown" when no row matches.
std::string_view FieldTypeName(TQDXFieldType fieldType);
std::string_view DataTypeName(TQDXDataType dataType);
// The field type of a type name (exact, upper-case as in the table); None when unknown.
TQDXFieldType FieldTypeFromName(std::string_view name);

// ---- Sizes -----------------------------------------------------------------------------------

// Bytes of a value of `dataType`; `declaredSize` (characters or bytes) matters for data types 1..4,
// 23 and 24. Fails with 30050 for an unknown data type.
int32_t DataSize(TQDXDataType dataType, int32_t declaredSize = 0);

// ---- Type classes ----------------------------------------------------------------------------

constexpr bool IsStringFieldType(TQDXFieldType t) {
  return t >= TQDXFieldType::Char && t <= TQDXFieldType::WideString;
}
constexpr bool IsStringOrGuidFieldType(TQDXFieldType t) {
  return IsStringFieldType(t) || t == TQDXFieldType::Guid;
}
// The declared size matters.
constexpr bool IsSizedFieldType(TQDXFieldType t) {
  return IsStringFieldType(t) || t == TQDXFieldType::Bytes || t == TQDXFieldType::VarBytes;
}
constexpr bool IsAutoIncFieldType(TQDXFieldType t) {
  return t >= TQDXFieldType::AutoInc && t <= TQDXFieldType::AutoIncCardinal;
}
constexpr bool IsBlobFieldType(TQDXFieldType t) {
  return t >= TQDXFieldType::Blob && t <= TQDXFieldType::WideMemo;
}
constexpr bool IsBytesFieldType(TQDXFieldType t) {
  return t == TQDXFieldType::Bytes || t == TQDXFieldType::VarBytes;
}
constexpr bool IsWideFieldType(TQDXFieldType t) {
  return t == TQDXFieldType::WideChar || t == TQDXFieldType::WideString;
}
constexpr bool IsStringDataType(TQDXDataType t) {
  return t >= TQDXDataType::Char && t <= TQDXDataType::WideString;
}
constexpr bool IsWideStringDataType(TQDXDataType t) {
  return t == TQDXDataType::WideChar || t == TQDXDataType::WideString;
}
constexpr bool IsBlobDataType(TQDXDataType t) {
  return t >= TQDXDataType::Blob && t <= TQDXDataType::WideMemo;
}
constexpr bool IsNumericDataType(TQDXDataType t) {
  return (t >= TQDXDataType::ShortInt && t <= TQDXDataType::Extended) ||
         t == TQDXDataType::Currency;
}
constexpr bool IsDateTimeDataType(TQDXDataType t) {
  return t >= TQDXDataType::Date && t <= TQDXDataType::DateTime;
}

}  // namespace qdx
