#include "engine/core/record_layout.h"

#include <cstring>

#include "engine/foundation/except.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/types/convert.h"
#include "engine/foundation/types/encoding.h"

namespace qdx {

namespace {

// The largest declared size: (size + 1) * 2 stays far below 2 GB, and no page could hold more.
constexpr int32_t kMaxFieldSize = (1 << 28) - 1;

bool IsSizedDataType(TQDXDataType t) {
  return IsStringDataType(t) || t == TQDXDataType::Bytes || t == TQDXDataType::VarBytes;
}

const TQDXFieldDef& CheckedField(const TQDXFieldDefs& defs, int32_t fieldNo,
                                 const msg::Message& failure) {
  if (fieldNo < 0 || fieldNo >= defs.Count()) Raise(failure, {fieldNo, defs.Count()});
  return defs.GetFieldDef(fieldNo);
}

void CheckBuffer(const void* buffer) {
  if (buffer == nullptr) Raise(msg::kRecordBufferNil);
}

// Zeroes a text slot behind its terminator (the whole slot when it has none).
void ClearTextTail(const TQDXFieldDef& field, uint8_t* slot) {
  if (IsWideStringDataType(field.DataType)) {
    const int64_t units = field.MemorySize / 2;
    const size_t length = WideTextLength(slot, units);
    const size_t end = length < static_cast<size_t>(units) ? length + 1 : length;
    std::memset(slot + 2 * end, 0, static_cast<size_t>(field.MemorySize) - 2 * end);
  } else {
    const size_t length = LoadAnsiText(slot, field.MemorySize).size();
    const size_t end = length < static_cast<size_t>(field.MemorySize) ? length + 1 : length;
    std::memset(slot + end, 0, static_cast<size_t>(field.MemorySize) - end);
  }
}

}  // namespace

int32_t FieldMemorySize(TQDXDataType dataType, int32_t size) {
  if (IsSizedDataType(dataType) && (size < 0 || size > kMaxFieldSize))
    Raise(msg::kInvalidFieldSize, {DataTypeName(dataType), size});
  return DataSize(dataType, IsSizedDataType(dataType) ? size : 0);
}

int32_t FieldStoredSize(TQDXDataType dataType, int32_t size) {
  return IsBlobDataType(dataType) ? kBlobReferenceSize : FieldMemorySize(dataType, size);
}

// ---- Whole records -----------------------------------------------------------------------------

void InitRecordBuffer(const TQDXFieldDefs& defs, uint8_t* buffer) {
  const int32_t bitmap = NullBitmapSize(defs.Count());
  std::memset(buffer, 0xFF, static_cast<size_t>(bitmap));
  std::memset(buffer + bitmap, 0, static_cast<size_t>(defs.MemoryRecordSize() - bitmap));
}

void StoredToMemory(const TQDXFieldDefs& defs, const uint8_t* stored, uint8_t* buffer) {
  // The slots lie end to end behind the bitmap, so copying each stored slot and zeroing the
  // part of a slot the stored form lacks (a BLOB's) writes every byte of the buffer once.
  const int32_t count = defs.Count();
  std::memcpy(buffer, stored, static_cast<size_t>(NullBitmapSize(count)));
  for (int32_t i = 0; i < count; ++i) {
    const TQDXFieldDef& f = defs.GetFieldDef(i);
    uint8_t* slot = buffer + f.MemoryOffset;
    std::memcpy(slot, stored + f.StoredOffset, static_cast<size_t>(f.StoredSize));
    if (f.MemorySize > f.StoredSize) {
      std::memset(slot + f.StoredSize, 0, static_cast<size_t>(f.MemorySize - f.StoredSize));
    }
  }
}

void MemoryToStored(const TQDXFieldDefs& defs, const uint8_t* buffer, uint8_t* stored) {
  std::memset(stored, 0, static_cast<size_t>(defs.StoredRecordSize()));
  std::memcpy(stored, buffer, static_cast<size_t>(NullBitmapSize(defs.Count())));
  for (int32_t i = 0; i < defs.Count(); ++i) {
    const TQDXFieldDef& f = defs.GetFieldDef(i);
    std::memcpy(stored + f.StoredOffset, buffer + f.MemoryOffset,
                static_cast<size_t>(f.StoredSize));
  }
}

bool RecordsEqual(const TQDXFieldDefs& defs, const uint8_t* a, const uint8_t* b) {
  if (std::memcmp(a, b, static_cast<size_t>(NullBitmapSize(defs.Count()))) != 0) return false;
  for (int32_t i = 0; i < defs.Count(); ++i) {
    const TQDXFieldDef& f = defs.GetFieldDef(i);
    if (std::memcmp(a + f.MemoryOffset, b + f.MemoryOffset, static_cast<size_t>(f.StoredSize)) != 0)
      return false;
  }
  return true;
}

void ClearStringTails(const TQDXFieldDefs& defs, uint8_t* buffer) {
  for (int32_t i = 0; i < defs.Count(); ++i) {
    const TQDXFieldDef& f = defs.GetFieldDef(i);
    if (!IsStringDataType(f.DataType)) continue;
    uint8_t* slot = buffer + f.MemoryOffset;
    if (IsNull(i, buffer)) {
      std::memset(slot, 0, static_cast<size_t>(f.MemorySize));
    } else {
      ClearTextTail(f, slot);
    }
  }
}

// ---- Single fields, in the dataset layer's form ------------------------------------------------

bool GetFieldData(int32_t fieldNo, const TQDXFieldDefs& defs, void* destination,
                  const uint8_t* buffer) {
  // The field number and buffer are checked before the null bit is read from them.
  const TQDXFieldDef& f = CheckedField(defs, fieldNo, msg::kGetFieldNumberInvalid);
  CheckBuffer(buffer);
  if (IsNull(fieldNo, buffer)) return false;
  if (destination == nullptr || IsBlobFieldType(f.FieldType)) return true;
  const uint8_t* slot = buffer + f.MemoryOffset;
  auto* out = static_cast<uint8_t*>(destination);
  switch (f.FieldType) {
    case TQDXFieldType::ShortInt:
    case TQDXFieldType::AutoIncShortInt:
      le::Store<int16_t>(out, le::Load<int8_t>(slot));
      break;
    case TQDXFieldType::Cardinal:
      le::Store<int64_t>(out, le::Load<uint32_t>(slot));
      break;
    case TQDXFieldType::Single:
      le::Store<double>(out, le::Load<float>(slot));
      break;
    case TQDXFieldType::Extended:
      le::Store<double>(out, static_cast<double>(LoadExtended(slot)));
      break;
    default:
      std::memcpy(out, slot, static_cast<size_t>(f.MemorySize));
      break;
  }
  return true;
}

void SetFieldData(int32_t fieldNo, const TQDXFieldDefs& defs, const void* source, uint8_t* buffer) {
  const TQDXFieldDef& f = CheckedField(defs, fieldNo, msg::kSetFieldNumberInvalid);
  CheckBuffer(buffer);
  const auto* in = static_cast<const uint8_t*>(source);
  bool empty = in == nullptr;
  if (!empty) {
    if (IsStringOrGuidFieldType(f.FieldType) && !IsWideFieldType(f.FieldType)) {
      empty = in[0] == 0;
    } else if (IsWideFieldType(f.FieldType)) {
      empty = (in[0] | in[1]) == 0;
    }
  }
  if (empty) {
    SetNull(true, fieldNo, buffer);
    return;
  }
  SetNull(false, fieldNo, buffer);
  uint8_t* slot = buffer + f.MemoryOffset;
  switch (f.FieldType) {
    case TQDXFieldType::ShortInt:
    case TQDXFieldType::AutoIncShortInt:
      slot[0] = in[0];  // the low byte of the 16-bit value
      break;
    case TQDXFieldType::Cardinal:
      std::memcpy(slot, in, 4);  // the low half of the 64-bit value
      break;
    case TQDXFieldType::Single:
      le::Store<float>(slot, static_cast<float>(le::Load<double>(in)));
      break;
    case TQDXFieldType::Extended:
      StoreExtended(slot, static_cast<long double>(le::Load<double>(in)));
      break;
    default:
      std::memcpy(slot, in, static_cast<size_t>(f.MemorySize));
      break;
  }
  // A text slot keeps its terminator whatever the source held in its last position.
  if (IsWideStringDataType(f.DataType)) {
    slot[f.MemorySize - 1] = 0;
    slot[f.MemorySize - 2] = 0;
  } else if (IsStringDataType(f.DataType)) {
    slot[f.MemorySize - 1] = 0;
  }
}

// ---- Single fields as engine values ------------------------------------------------------------

void GetFieldValue(TQDXVariant& value, int32_t fieldNo, const TQDXFieldDefs& defs,
                   const uint8_t* buffer) {
  const TQDXFieldDef& f = CheckedField(defs, fieldNo, msg::kGetFieldNumberInvalid);
  CheckBuffer(buffer);
  if (IsNull(fieldNo, buffer)) {
    value.Clear(f.DataType);
    return;
  }
  const uint8_t* slot = buffer + f.MemoryOffset;
  if (!IsStringDataType(f.DataType)) {
    value.SetData(slot, f.MemorySize, true, f.DataType);
    return;
  }
  // A damaged slot without its terminator is read through a copy that has one, so that the
  // variant never reads past the slot.
  const int32_t unit = IsWideStringDataType(f.DataType) ? 2 : 1;
  const uint8_t* last = slot + f.MemorySize - unit;
  if (last[0] == 0 && last[unit - 1] == 0) {
    value.SetData(slot, f.MemorySize, true, f.DataType);
    return;
  }
  TQDXMemBlock text(f.MemorySize);
  std::memcpy(text.data(), slot, static_cast<size_t>(f.MemorySize - unit));
  std::memset(text.data() + f.MemorySize - unit, 0, static_cast<size_t>(unit));
  value.SetData(text.data(), f.MemorySize, true, f.DataType);
}

void SetFieldValue(const TQDXVariant& value, int32_t fieldNo, const TQDXFieldDefs& defs,
                   uint8_t* buffer) {
  const TQDXFieldDef& f = CheckedField(defs, fieldNo, msg::kSetFieldNumberInvalid);
  CheckBuffer(buffer);
  if (value.IsNull()) {
    SetNull(true, fieldNo, buffer);
    return;
  }
  // Convert and check first, so that a failure leaves the buffer as it was.
  TQDXVariant converted;
  converted.Assign(value, false);
  if (converted.DataType() != f.DataType) converted.ChangeDataType(f.DataType);
  if (converted.IsNull()) {  // an empty text converts to null
    SetNull(true, fieldNo, buffer);
    return;
  }
  if (converted.Size() > f.MemorySize) Raise(msg::kBufferSizeExceeded);
  uint8_t* slot = buffer + f.MemoryOffset;
  std::memset(slot, 0, static_cast<size_t>(f.MemorySize));
  converted.CopyDataTo(slot, f.MemorySize);
  SetNull(false, fieldNo, buffer);
}

}  // namespace qdx
