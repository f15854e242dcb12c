#include "engine/core/field_manager.h"

#include <algorithm>
#include <cstring>

#include "engine/core/record_layout.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

// Copies a value into its slot, cut to the slot; a text keeps its terminator.
void WriteCutToSlot(const TQDXVariant& value, const TQDXFieldDef& field, uint8_t* slot) {
  std::memset(slot, 0, static_cast<size_t>(field.MemorySize));
  const int32_t size = std::min(value.Size(), field.MemorySize);
  std::memcpy(slot, value.Data(), static_cast<size_t>(size));
  if (value.Size() <= field.MemorySize) return;
  if (IsWideStringDataType(field.DataType)) {
    slot[field.MemorySize - 2] = 0;
    slot[field.MemorySize - 1] = 0;
  } else if (IsStringDataType(field.DataType)) {
    slot[field.MemorySize - 1] = 0;
  }
}

}  // namespace

// ---- Autoinc values ---------------------------------------------------------------------------

const TQDXFieldDef& TQDXBaseFieldManager::CheckedAutoincField(int32_t fieldNo) const {
  if (fieldNo < 0 || fieldNo >= fieldDefs_->Count()) Raise(msg::kFieldDefNotFound, {fieldNo});
  if (static_cast<size_t>(fieldNo) >= counters_.size())
    Raise(msg::kFieldCounterNotFound, {fieldNo});
  return fieldDefs_->GetFieldDef(fieldNo);
}

int64_t TQDXBaseFieldManager::NextAutoincValue(int32_t fieldNo) {
  const TQDXFieldDef& field = CheckedAutoincField(fieldNo);
  int64_t& counter = counters_[static_cast<size_t>(fieldNo)];
  const int64_t step = field.AutoincIncrement == 0 ? 1 : field.AutoincIncrement;
  int64_t next = 0;
  const bool overflow = __builtin_add_overflow(counter, step, &next);
  if (overflow || (field.AutoincMaxValue != 0 && next > field.AutoincMaxValue)) {
    if (!field.AutoincCycled) {
      if (!overflow) counter = next;
      Raise(msg::kAutoincMaxValueExceeded, {field.Name()});
    }
    next = field.AutoincMinValue;
  }
  counter = next;
  return counter;
}

void TQDXBaseFieldManager::RecordLastValue(TQDXBaseSession* session, const TQDXFieldDef& field,
                                           int64_t value) {
  if (session == nullptr) return;
  session->AddNamedObject(
      std::make_unique<TQDXSessionNamedObjectSequenceValue>(field.ObjectID(), field.Name(), value));
}

int64_t TQDXBaseFieldManager::GenerateAutoincValue(TQDXBaseSession* session, int32_t fieldNo) {
  const int64_t value = NextAutoincValue(fieldNo);
  RecordLastValue(session, fieldDefs_->GetFieldDef(fieldNo), value);
  return value;
}

int64_t TQDXBaseFieldManager::LastAutoincValue(TQDXBaseSession* session, int32_t fieldNo) {
  if (fieldNo < 0 || fieldNo >= fieldDefs_->Count()) Raise(msg::kFieldDefNotFound, {fieldNo});
  const TQDXFieldDef& field = fieldDefs_->GetFieldDef(fieldNo);
  if (session != nullptr) {
    const auto* recorded = dynamic_cast<const TQDXSessionNamedObjectSequenceValue*>(
        session->FindNamedObjectByID(field.ObjectID()));
    if (recorded != nullptr) return recorded->Value;
    if (session->MultiUser()) Raise(msg::kNoSequenceLastValue, {field.Name()});
  }
  if (field.IsAutoinc() && static_cast<size_t>(fieldNo) < counters_.size())
    return counters_[static_cast<size_t>(fieldNo)];
  return 0;
}

void TQDXBaseFieldManager::AssignAutoincValues(TQDXBaseSession* session, uint8_t* buffer) {
  for (int32_t i = 0; i < fieldDefs_->Count(); ++i) {
    const TQDXFieldDef& field = fieldDefs_->GetFieldDef(i);
    if (!field.IsAutoinc()) continue;
    uint8_t* slot = buffer + field.MemoryOffset;
    const size_t width = static_cast<size_t>(std::clamp(field.MemorySize, 0, 8));
    if (IsNull(i, buffer)) {
      const int64_t value = GenerateAutoincValue(session, i);
      uint8_t bytes[8];
      le::Store<int64_t>(bytes, value);
      std::memcpy(slot, bytes, width);
      SetNull(false, i, buffer);
    } else {
      CheckedAutoincField(i);
      uint8_t bytes[8] = {};
      std::memcpy(bytes, slot, width);
      const int64_t value = le::Load<int64_t>(bytes);
      int64_t& counter = counters_[static_cast<size_t>(i)];
      if (value > counter) {
        counter = value;
        RecordLastValue(session, field, value);
      }
    }
  }
}

// ---- Defaults -----------------------------------------------------------------------------------

void TQDXBaseFieldManager::ApplyDefaults(TQDXBaseSession* /*session*/, uint8_t* buffer) {
  for (int32_t i = 0; i < fieldDefs_->Count(); ++i) {
    const TQDXFieldDef& field = fieldDefs_->GetFieldDef(i);
    if (field.IsBlob() || field.DefaultValue().IsNull()) continue;
    const TQDXVariant value = field.EvaluateDefault();
    if (value.IsNull()) continue;
    WriteCutToSlot(value, field, buffer + field.MemoryOffset);
    SetNull(false, i, buffer);
  }
}

// ---- Definitions --------------------------------------------------------------------------------

void TQDXBaseFieldManager::SetDefinitions(const TQDXFieldDefs& defs) {
  auto copy = std::make_unique<TQDXFieldDefs>();
  copy->Assign(defs);
  for (int32_t i = 0; i < copy->Count(); ++i) copy->GetFieldDef(i).CheckDefaultFits();
  copy->CalculateOffsets();
  AdoptDefinitions(std::move(copy));
}

void TQDXBaseFieldManager::LoadDefinitions(TStream& stream) {
  auto defs = std::make_unique<TQDXFieldDefs>();
  defs->LoadFromStream(stream);
  defs->CalculateOffsets();
  AdoptDefinitions(std::move(defs));
}

void TQDXBaseFieldManager::AdoptDefinitions(std::unique_ptr<TQDXFieldDefs> defs) {
  RecordLayout layout;
  layout.memoryRecordSize = defs->MemoryRecordSize();
  layout.storedRecordSize = defs->StoredRecordSize();
  for (int32_t i = 0; i < defs->Count(); ++i) {
    const TQDXFieldDef& field = defs->GetFieldDef(i);
    if (field.StoredOffset != field.MemoryOffset || field.StoredSize != field.MemorySize) {
      layout.storedIsMemory = false;
    }
  }
  fieldDefs_ = std::move(defs);
  layout_ = layout;
  ResetAutoincCounters();
}

void TQDXBaseFieldManager::SaveDefinitions(TStream& stream) const {
  fieldDefs_->SaveToStream(stream);
}

// ---- Autoinc state ------------------------------------------------------------------------------

void TQDXBaseFieldManager::LoadAutoincState(std::span<const uint8_t> bytes, int32_t& position) {
  ByteReader reader(bytes);
  reader.Seek(static_cast<size_t>(std::max(position, 0)));
  const int32_t count = reader.I32();
  if (count < 0 || static_cast<size_t>(count) > reader.Remaining() / 8)
    Raise(msg::kBufferSizeExceeded);
  std::vector<int64_t> counters(static_cast<size_t>(count));
  for (int64_t& counter : counters) counter = reader.I64();
  counters_ = std::move(counters);
  position = static_cast<int32_t>(reader.Position());
}

void TQDXBaseFieldManager::SaveAutoincState(std::span<uint8_t> bytes, int32_t& position) const {
  ByteWriter writer(bytes);
  writer.Seek(static_cast<size_t>(std::max(position, 0)));
  if (writer.Remaining() < static_cast<size_t>(AutoincStateSize())) Raise(msg::kBufferSizeExceeded);
  writer.I32(static_cast<int32_t>(counters_.size()));
  for (int64_t counter : counters_) writer.I64(counter);
  position = static_cast<int32_t>(writer.Position());
}

void TQDXBaseFieldManager::ResetAutoincCounters() {
  counters_.assign(static_cast<size_t>(fieldDefs_->Count()), 0);
  for (int32_t i = 0; i < fieldDefs_->Count(); ++i) {
    const TQDXFieldDef& field = fieldDefs_->GetFieldDef(i);
    if (field.IsAutoinc()) counters_[static_cast<size_t>(i)] = field.AutoincInitialValue;
  }
}

// ---- Record layout ------------------------------------------------------------------------------

void TQDXBaseFieldManager::StoredToMemory(const uint8_t* stored, uint8_t* buffer) const {
  if (layout_.storedIsMemory) {
    std::memcpy(buffer, stored, static_cast<size_t>(layout_.memoryRecordSize));
  } else {
    qdx::StoredToMemory(*fieldDefs_, stored, buffer);
  }
}

void TQDXBaseFieldManager::MemoryToStored(const uint8_t* buffer, uint8_t* stored) const {
  if (layout_.storedIsMemory) {
    std::memcpy(stored, buffer, static_cast<size_t>(layout_.storedRecordSize));
  } else {
    qdx::MemoryToStored(*fieldDefs_, buffer, stored);
  }
}

bool TQDXBaseFieldManager::RecordsEqual(const uint8_t* a, const uint8_t* b) const {
  return qdx::RecordsEqual(*fieldDefs_, a, b);
}

bool TQDXBaseFieldManager::HasBlobFields() const {
  bool hasBlobs = false;
  for (int32_t i = 0; i < fieldDefs_->Count(); ++i) {
    const TQDXFieldDef& field = fieldDefs_->GetFieldDef(i);
    if (!field.IsBlob()) continue;
    // A negative size could cut a value into no blocks at all, so it is refused like 0.
    if (field.BlobBlockSize <= 0) Raise(msg::kBlobBlockSizeZero, {field.Name()});
    hasBlobs = true;
  }
  return hasBlobs;
}

}  // namespace qdx
