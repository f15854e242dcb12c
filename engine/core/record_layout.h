// The record layout: where each field of a table lives in a record buffer and in a stored
// record, and how single values are read from and written into a record buffer.
//
// Both layouts are a null bitmap followed by the field slots in definition order, packed
// without alignment:
//
//   offset                 size                 content
//   0                      ceil(F / 8)          null bitmap: field i is bit (i mod 8) of byte
//                                               (i div 8), bit 0 least significant; set = NULL
//   NullBitmapSize(F)      MemorySize of field 0 (buffer) / StoredSize (stored record)
//   ...                    each further field at its MemoryOffset / StoredOffset
//
// Slot sizes (MemorySize; StoredSize is the same except for the BLOB types):
//
//   CHAR, STRING                 Size + 1           WIDECHAR, WIDESTRING   (Size + 1) * 2
//   SHORTINT, BYTE               1                  SMALLINT, WORD, LOGICAL 2
//   INTEGER, CARDINAL, SINGLE,   4                  LARGEINT, FLOAT,        8
//   DATE, TIME                                      DATETIME, CURRENCY
//   EXTENDED                     10                 BYTES, VARBYTES         Size + 1
//   BLOB, MEMO, WIDEMEMO         10 in a buffer: the 6-byte BLOB reference (int32, uint16) that
//                                is also the whole stored slot (StoredSize 6), then a 4-byte
//                                handle of the BLOB storage's cached value (never stored)
//
// A cursor's buffer appends a 6-byte record ID and a flag byte behind these; the layout holds
// no ID. Record buffers are plain bytes at any address: every access here is byte-wise.
//
// Every function takes the table's field definitions with their offsets computed
// (TQDXFieldDefs::CalculateOffsets) and a buffer of at least MemoryRecordSize bytes (stored
// records: StoredRecordSize bytes). None keeps state; all are safe for concurrent use on
// distinct buffers.
#pragma once

#include <cstdint>

#include "engine/core/field_def.h"
#include "engine/foundation/types/data_types.h"
#include "engine/foundation/types/variant.h"

namespace qdx {

inline constexpr int32_t kBlobReferenceSize = 6;
inline constexpr int32_t kBlobSlotSize = 10;

constexpr int32_t NullBitmapSize(int32_t fieldCount) {
  return fieldCount <= 0 ? 0 : (fieldCount + 7) / 8;
}

// Slot sizes of a field of `dataType` and declared `size`; an unknown data type fails with
// 30050.
int32_t FieldMemorySize(TQDXDataType dataType, int32_t size);
int32_t FieldStoredSize(TQDXDataType dataType, int32_t size);

// ---- The null bitmap
// ------------------------------------------------------------------------------- Requires: fieldNo
// is a field of the record.
inline bool IsNull(int32_t fieldNo, const uint8_t* buffer) {
  return (buffer[fieldNo >> 3] >> (fieldNo & 7)) & 1;
}
inline void SetNull(bool isNull, int32_t fieldNo, uint8_t* buffer) {
  const uint8_t bit = static_cast<uint8_t>(1u << (fieldNo & 7));
  if (isNull) {
    buffer[fieldNo >> 3] |= bit;
  } else {
    buffer[fieldNo >> 3] &= static_cast<uint8_t>(~bit);
  }
}

// ---- Whole records
// --------------------------------------------------------------------------------- A new record:
// every field NULL (bitmap all ones), every slot zero.
void InitRecordBuffer(const TQDXFieldDefs& defs, uint8_t* buffer);
// Zeroes the buffer, then copies the bitmap and each field's stored bytes; a BLOB slot gets its
// reference and a zero handle.
void StoredToMemory(const TQDXFieldDefs& defs, const uint8_t* stored, uint8_t* buffer);
// Zeroes the stored record, then copies the bitmap and each field's stored bytes (no handles).
void MemoryToStored(const TQDXFieldDefs& defs, const uint8_t* buffer, uint8_t* stored);
// Equal bitmaps, and equal stored bytes of every field at its memory offset (BLOB handles do not
// count).
bool RecordsEqual(const TQDXFieldDefs& defs, const uint8_t* a, const uint8_t* b);
// For the string types: a NULL field's slot is zeroed, a non-NULL one's bytes behind its
// terminator, so that byte-wise comparisons of key buffers see equal values as equal.
void ClearStringTails(const TQDXFieldDefs& defs, uint8_t* buffer);

// ---- Single fields, in the dataset layer's form
// --------------------------------------------------- The dataset layer's form differs from the
// slot for SHORTINT (a 16-bit integer), CARDINAL (a 64-bit integer), SINGLE and EXTENDED (a
// double); every other type is its slot's bytes. BLOB field types carry no data here (their values
// travel through BLOB streams).

// False for a NULL field (destination untouched); else true, copying the value when a
// destination is given. A field number outside the list fails with 10000, a missing buffer with
// 10003. Requires: the destination holds the dataset form of the field.
bool GetFieldData(int32_t fieldNo, const TQDXFieldDefs& defs, void* destination,
                  const uint8_t* buffer);
// Without a source, or with an empty text for the string and GUID types, the field becomes
// NULL; else the value is written and the null bit cleared. A field number outside the list
// fails with 10004, a missing buffer with 10003. A text slot always keeps its terminator.
// Requires: the source holds the dataset form of the field (texts: MemorySize bytes).
void SetFieldData(int32_t fieldNo, const TQDXFieldDefs& defs, const void* source, uint8_t* buffer);

// ---- Single fields as engine values -------------------------------------------------------------
// NULL: the variant becomes null; else it holds a copy of the slot as the field's data type.
void GetFieldValue(TQDXVariant& value, int32_t fieldNo, const TQDXFieldDefs& defs,
                   const uint8_t* buffer);
// A null variant sets the null bit; else the value is converted to the field's data type and
// written, the rest of a text slot zeroed. A value whose encoding is longer than the slot fails
// with 20056 and leaves the buffer unchanged, as does a failed conversion (30051, 30052).
void SetFieldValue(const TQDXVariant& value, int32_t fieldNo, const TQDXFieldDefs& defs,
                   uint8_t* buffer);

}  // namespace qdx
