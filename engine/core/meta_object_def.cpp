#include "engine/core/meta_object_def.h"

#include <algorithm>
#include <cassert>

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/types/strings.h"

namespace qdx {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AnsiUpperChar(static_cast<uint8_t>(a[i])) != AnsiUpperChar(static_cast<uint8_t>(b[i])))
      return false;
  }
  return true;
}

void WriteShortName(TStream& stream, std::string_view name, const msg::Message& lengthFailure,
                    const msg::Message& textFailure) {
  name = name.substr(0, kMaxShortNameLength);
  CheckedWriteValue<uint8_t>(stream, static_cast<uint8_t>(name.size()), lengthFailure);
  CheckedWrite(name.data(), static_cast<int32_t>(name.size()), stream, textFailure);
}

std::string ReadShortName(TStream& stream, const msg::Message& lengthFailure,
                          const msg::Message& textFailure) {
  const uint8_t length = CheckedReadValue<uint8_t>(stream, lengthFailure);
  return ReadStoredText(stream, length, textFailure);
}

std::string ReadStoredText(TStream& stream, int64_t count, const msg::Message& failure) {
  const int32_t position = stream.Position();
  const int64_t remaining = std::max<int64_t>(0, int64_t{stream.Size()} - position);
  if (count < 0 || count > remaining) {
    Raise(failure, {position, stream.Size(), count, count < 0 ? 0 : remaining});
  }
  std::string text(static_cast<size_t>(count), '\0');
  CheckedRead(text.data(), static_cast<int32_t>(count), stream, failure);
  return text;
}

// ---- TQDXMetaObjectDef --------------------------------------------------------------------------

void TQDXMetaObjectDef::Assign(const TQDXMetaObjectDef& source) {
  name_ = source.name_;
  objectID_ = source.objectID_;
}

void TQDXMetaObjectDef::LoadFromStream(TStream& stream) {
  name_ = ReadShortName(stream, msg::kReadDefNameLength, msg::kReadDefName);
  objectID_ = CheckedReadValue<int32_t>(stream, msg::kReadDefObjectID);
}

void TQDXMetaObjectDef::SaveToStream(TStream& stream) const {
  WriteShortName(stream, name_, msg::kWriteDefNameLength, msg::kWriteDefName);
  CheckedWriteValue<int32_t>(stream, objectID_, msg::kWriteDefObjectID);
}

// ---- TQDXMetaObjectDefs -------------------------------------------------------------------------

int32_t TQDXMetaObjectDefs::Add(std::unique_ptr<TQDXMetaObjectDef> def) {
  assert(def);
  defs_.push_back(std::move(def));
  return static_cast<int32_t>(defs_.size()) - 1;
}

TQDXMetaObjectDef& TQDXMetaObjectDefs::AddCreated() {
  Raise(msg::kMethodNotOverridden, {"InternalAddCreated", ClassName()});
}

void TQDXMetaObjectDefs::LoadFromStream(TStream& stream) {
  storedCount_ = CheckedReadValue<int32_t>(stream, msg::kReadDefCount);
}

void TQDXMetaObjectDefs::SaveToStream(TStream& stream) const {
  CheckedWriteValue<int32_t>(stream, Count(), msg::kWriteDefCount);
}

void TQDXMetaObjectDefs::Assign(const TQDXMetaObjectDefs& source) {
  if (&source == this) return;
  Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const TQDXMetaObjectDef& def = source.GetDef(i);
    if (IndexOfName(def.Name()) >= 0) Raise(msg::kDuplicateFieldName, {def.Name()});
    AddCreated().Assign(def);
  }
}

void TQDXMetaObjectDefs::Delete(int32_t index) {
  defs_.erase(defs_.begin() + CheckedIndex(index));
}

void TQDXMetaObjectDefs::Insert(int32_t index, std::unique_ptr<TQDXMetaObjectDef> def) {
  assert(def);
  if (index < 0 || index > Count()) Raise(msg::kInvalidItemNumber, {index, Count()});
  defs_.insert(defs_.begin() + index, std::move(def));
}

void TQDXMetaObjectDefs::Move(int32_t fromIndex, int32_t toIndex) {
  const size_t from = CheckedIndex(fromIndex);
  const size_t to = CheckedIndex(toIndex);
  if (from < to) {
    std::rotate(defs_.begin() + from, defs_.begin() + from + 1, defs_.begin() + to + 1);
  } else if (to < from) {
    std::rotate(defs_.begin() + to, defs_.begin() + from, defs_.begin() + from + 1);
  }
}

void TQDXMetaObjectDefs::Clear() {
  while (Count() > 0) Delete(0);
}

void TQDXMetaObjectDefs::Replace(int32_t index, std::unique_ptr<TQDXMetaObjectDef> def) {
  assert(def);
  defs_[CheckedIndex(index)] = std::move(def);
}

int32_t TQDXMetaObjectDefs::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < defs_.size(); ++i) {
    if (SameNameIgnoringCase(defs_[i]->Name(), name)) return static_cast<int32_t>(i);
  }
  return -1;
}

TQDXMetaObjectDef* TQDXMetaObjectDefs::FindByName(std::string_view name) const {
  const int32_t i = IndexOfName(name);
  return i < 0 ? nullptr : defs_[static_cast<size_t>(i)].get();
}

int32_t TQDXMetaObjectDefs::IndexOfID(int32_t id) const {
  for (size_t i = 0; i < defs_.size(); ++i) {
    if (defs_[i]->ObjectID() == id) return static_cast<int32_t>(i);
  }
  return -1;
}

TQDXMetaObjectDef* TQDXMetaObjectDefs::FindByID(int32_t id) const {
  const int32_t i = IndexOfID(id);
  return i < 0 ? nullptr : defs_[static_cast<size_t>(i)].get();
}

void TQDXMetaObjectDefs::RaiseInvalidIndex(int32_t index) const {
  Raise(msg::kInvalidItemNumber, {index, Count()});
}

}  // namespace qdx
