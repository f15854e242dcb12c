// Per-session named objects: values a session keeps between statements, such as the last
// autoinc value it was handed for a field.
//
// A named object is known by an int32 ID (-1 when it is known by name only) and a short name.
// A session owns a list of them (TQDXSessionNamedObjects); adding an object frees and replaces
// one with the same ID (for ID -1: the same name, ignoring case).
//
// Not safe for concurrent use: a session is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/meta_object_def.h"

namespace qdx {

class TQDXSessionNamedObject {
 public:
  TQDXSessionNamedObject(int32_t id, std::string_view name) : name_(ShortName(name)), id_(id) {}
  virtual ~TQDXSessionNamedObject() = default;

  int32_t ID() const { return id_; }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  int32_t id_;
};

// The last autoinc value handed to the session for a field; the ID is the field's ObjectID.
class TQDXSessionNamedObjectSequenceValue : public TQDXSessionNamedObject {
 public:
  TQDXSessionNamedObjectSequenceValue(int32_t fieldID, std::string_view fieldName, int64_t value)
      : TQDXSessionNamedObject(fieldID, fieldName), Value(value) {}

  int64_t Value;
};

// The named objects of one session, owned, in the order they were added.
class TQDXSessionNamedObjects {
 public:
  // Removes and frees an object with the same ID (ID -1: the same name ignoring case), then
  // appends `object`.
  void AddNamedObject(std::unique_ptr<TQDXSessionNamedObject> object);
  // The first object whose name equals `name` after both are upper-cased; none when absent.
  TQDXSessionNamedObject* FindNamedObjectByName(std::string_view name) const;
  // The first object with the ID; none when absent.
  TQDXSessionNamedObject* FindNamedObjectByID(int32_t id) const;
  // Frees and removes the object with the ID, if any.
  void DeleteNamedObject(int32_t id);

  int32_t Count() const { return static_cast<int32_t>(objects_.size()); }
  void Clear() { objects_.clear(); }

 private:
  std::vector<std::unique_ptr<TQDXSessionNamedObject>> objects_;
};

}  // namespace qdx
