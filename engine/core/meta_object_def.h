// The base of every table definition (field, index, constraint) and of their collections.
//
// A definition has a short name (at most 255 characters; a longer name is cut when assigned) and
// a database-wide object ID (-1 until the table gives it one). A collection owns its definitions
// in insertion order and never sorts them; names are looked up after upper-casing both sides
// with the 8-bit (Windows-1252) rules, so "DATUM" finds "Datum" and of two names that differ
// only in case the first one wins.
//
// Stored form of the base (first in every stored definition), little-endian:
//
//   offset  size  content          write / read code
//   0       1     name length L    10164 / 10166
//   1       L     name characters  10165 / 10167
//   1+L     4     ObjectID         10168 / 10169
//
// Definitions and collections are not safe for concurrent use; their owners lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/foundation/stream.h"

namespace qdx {

inline constexpr size_t kMaxShortNameLength = 255;

// Cuts a name to a short name.
inline std::string ShortName(std::string_view name) {
  return std::string(name.substr(0, kMaxShortNameLength));
}

// True when the two names are equal after both are upper-cased (8-bit rules).
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// Short-name helpers of the stored forms: a length byte, then the characters.
void WriteShortName(TStream& stream, std::string_view name, const msg::Message& lengthFailure,
                    const msg::Message& textFailure);
std::string ReadShortName(TStream& stream, const msg::Message& lengthFailure,
                          const msg::Message& textFailure);
// Reads `count` bytes as text; a negative count, or one beyond the rest of the stream, fails
// with `failure` without reading or allocating anything.
std::string ReadStoredText(TStream& stream, int64_t count, const msg::Message& failure);

class TQDXMetaObjectDef {
 public:
  TQDXMetaObjectDef() = default;
  virtual ~TQDXMetaObjectDef() = default;
  TQDXMetaObjectDef(const TQDXMetaObjectDef&) = delete;
  TQDXMetaObjectDef& operator=(const TQDXMetaObjectDef&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string_view name) { name_ = ShortName(name); }
  int32_t ObjectID() const { return objectID_; }
  void SetObjectID(int32_t id) { objectID_ = id; }

  // Slot 0: copies every member from `source`. Requires: `source` is of this class.
  virtual void Assign(const TQDXMetaObjectDef& source);
  // Slots 1, 2: the stored form.
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;

  // The class name, for messages.
  virtual std::string_view ClassName() const { return "TQDXMetaObjectDef"; }

 private:
  std::string name_;
  int32_t objectID_ = -1;
};

// An owned, ordered list of definitions of one class.
class TQDXMetaObjectDefs {
 public:
  TQDXMetaObjectDefs() = default;
  virtual ~TQDXMetaObjectDefs() = default;
  TQDXMetaObjectDefs(const TQDXMetaObjectDefs&) = delete;
  TQDXMetaObjectDefs& operator=(const TQDXMetaObjectDefs&) = delete;

  // ---- Virtual operations, in slot order -------------------------------------------------------
  // 0
  virtual int32_t Count() const { return static_cast<int32_t>(defs_.size()); }
  // 1: appends and takes ownership; answers the index.
  virtual int32_t Add(std::unique_ptr<TQDXMetaObjectDef> def);
  // 2: creates a definition of the collection's class and appends it. The base fails with 30339.
  virtual TQDXMetaObjectDef& AddCreated();
  // 3, 4: the count (int32, codes 10159 / 10158); subclasses read and write the definitions.
  virtual void LoadFromStream(TStream& stream);
  virtual void SaveToStream(TStream& stream) const;
  // 5: Clear, then a copy of each source definition in order; a name that was already copied
  // (ignoring case) fails with 10424 before anything of that definition is added.
  virtual void Assign(const TQDXMetaObjectDefs& source);
  // 6..9
  virtual void Delete(int32_t index);
  virtual void Insert(int32_t index, std::unique_ptr<TQDXMetaObjectDef> def);
  virtual void Move(int32_t fromIndex, int32_t toIndex);
  virtual void Clear();

  // ---- Non-virtual
  // ------------------------------------------------------------------------------- An index
  // outside the list fails with 10413.
  TQDXMetaObjectDef& GetDef(int32_t index) const { return *defs_[CheckedIndex(index)]; }
  // Frees the old definition.
  void Replace(int32_t index, std::unique_ptr<TQDXMetaObjectDef> def);
  int32_t IndexOfName(std::string_view name) const;
  TQDXMetaObjectDef* FindByName(std::string_view name) const;
  int32_t IndexOfID(int32_t id) const;
  TQDXMetaObjectDef* FindByID(int32_t id) const;
  // The count last read from a stream.
  int32_t StoredCount() const { return storedCount_; }

  virtual std::string_view ClassName() const { return "TQDXMetaObjectDefs"; }

 protected:
  void SetStoredCount(int32_t count) { storedCount_ = count; }
  // Inline: every field access of a record walk passes here.
  size_t CheckedIndex(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= defs_.size()) [[unlikely]] RaiseInvalidIndex(index);
    return static_cast<size_t>(index);
  }

 private:
  [[noreturn]] void RaiseInvalidIndex(int32_t index) const;

  std::vector<std::unique_ptr<TQDXMetaObjectDef>> defs_;
  int32_t storedCount_ = 0;
};

}  // namespace qdx
