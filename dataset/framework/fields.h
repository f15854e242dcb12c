// TFields: the ordered list of a dataset's field objects. Field names are unique per dataset
// and found ignoring letter case under the user's locale ("kmstand" finds "KMStand"). The list
// owns the fields the dataset created from its definitions; fields the application created and
// handed in are owned by the list as well (there is no other owner).
//
// A program looks its fields up by name on every record it visits, always with the same few
// spellings, so the list remembers the last names it found, spelled as asked. What it remembers
// is forgotten whenever a field comes, goes or is renamed, so a look-up answers what a search
// of the list would.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/framework/field.h"

namespace qdx {

class TFields {
 public:
  explicit TFields(TDataSet* dataSet) : dataSet_(dataSet) {}
  ~TFields() { Clear(); }
  // Fields point back at their list.
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TField& operator[](int32_t index) const;
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // Takes the field; fails with "Duplicate field name '%s'" when the name is taken.
  TField& Add(std::unique_ptr<TField> field);
  // Gives the field back to the caller; null when it is not in the list.
  std::unique_ptr<TField> Remove(TField& field);
  void Clear();

  // Null when no field has that name.
  TField* FindField(std::string_view name) const;
  // Fails with "Field '%s' not found", preceded by the dataset's name.
  TField& FieldByName(std::string_view name) const;
  // The data field with that 1-based number; null when none.
  TField* FieldByNumber(int32_t fieldNo) const;
  int32_t IndexOf(const TField& field) const;

 private:
  friend class TField;

  struct Lookup {
    std::string name;  // as the caller spelled it
    TField* field = nullptr;
  };
  static constexpr size_t kLookups = 8;

  TField* SearchField(std::string_view name) const;
  void ForgetLookups();

  TDataSet* dataSet_;
  std::vector<std::unique_ptr<TField>> items_;
  mutable std::array<Lookup, kLookups> lookups_;
  mutable size_t nextLookup_ = 0;  // the entry a new name replaces, in turn
};

// Creates the field object of a field type (TStringField for ftString, ...); null for a type
// without a field class.
std::unique_ptr<TField> CreateFieldForType(TFieldType dataType, int32_t size);

}  // namespace qdx
