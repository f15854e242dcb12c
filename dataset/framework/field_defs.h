// TFieldDef / TFieldDefs: the definitions of a dataset's fields (name, field type, size,
// required), from which field objects are created when the application declares none. A table
// dataset fills them from its cursor at open; a dataset that creates a table hands them over.
//
// Names are unique per list and found ignoring letter case under the user's locale.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/foundation/types/data_types.h"

namespace qdx {

class TFieldDef {
 public:
  TFieldDef(std::string name, TFieldType dataType, int32_t size, bool required, int32_t fieldNo)
      : name_(std::move(name)), dataType_(dataType), size_(size), required_(required),
        fieldNo_(fieldNo) {}

  const std::string& Name() const { return name_; }
  TFieldType DataType() const { return dataType_; }
  // Characters of a string, bytes of a byte field; 0 for fixed-size types.
  int32_t Size() const { return size_; }
  void SetSize(int32_t size) { size_ = size; }
  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }
  // 1-based position in the record.
  int32_t FieldNo() const { return fieldNo_; }
  // Set a field of this definition cannot be written (an autoincrement field, for one).
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

 private:
  std::string name_;
  TFieldType dataType_;
  int32_t size_;
  bool required_;
  int32_t fieldNo_;
  bool readOnly_ = false;
};

class TFieldDefs {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TFieldDef& operator[](int32_t index) { return *items_.at(static_cast<size_t>(index)); }
  const TFieldDef& operator[](int32_t index) const { return *items_.at(static_cast<size_t>(index)); }

  // Appends a definition numbered after the last one. Fails with "Duplicate field name '%s'".
  TFieldDef& Add(std::string name, TFieldType dataType, int32_t size = 0, bool required = false);
  void Clear() { items_.clear(); }

  // The definition of that name, ignoring case; null when none.
  const TFieldDef* Find(std::string_view name) const;
  // -1 when none.
  int32_t IndexOf(std::string_view name) const;

  // Set by the owner when the definitions no longer match the table (its name changed).
  bool Updated() const { return updated_; }
  void SetUpdated(bool updated) { updated_ = updated; }

 private:
  std::vector<std::unique_ptr<TFieldDef>> items_;
  bool updated_ = false;
};

}  // namespace qdx
