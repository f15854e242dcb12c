// TIndexDef / TIndexDefs: the definitions of a table's indexes (name, the field list as
// "A;B;C", options), read from the cursor or handed to it when a table is created.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/framework/data_set_types.h"

namespace qdx {

enum class TIndexOption : uint8_t {
  ixPrimary,
  ixUnique,
  ixDescending,
  ixCaseInsensitive,
  ixExpression,
  ixNonMaintained,
};
using TIndexOptions = TSet<TIndexOption>;

class TIndexDef {
 public:
  TIndexDef(std::string name, std::string fields, TIndexOptions options)
      : name_(std::move(name)), fields_(std::move(fields)), options_(options) {}

  const std::string& Name() const { return name_; }
  // Field names separated by ";".
  const std::string& Fields() const { return fields_; }
  TIndexOptions Options() const { return options_; }
  // Fields sorted descending or ignoring case, when only some of them are.
  const std::string& DescFields() const { return descFields_; }
  void SetDescFields(std::string fields) { descFields_ = std::move(fields); }
  const std::string& CaseInsFields() const { return caseInsFields_; }
  void SetCaseInsFields(std::string fields) { caseInsFields_ = std::move(fields); }

 private:
  std::string name_;
  std::string fields_;
  TIndexOptions options_;
  std::string descFields_;
  std::string caseInsFields_;
};

class TIndexDefs {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  TIndexDef& operator[](int32_t index) { return *items_.at(static_cast<size_t>(index)); }
  const TIndexDef& operator[](int32_t index) const { return *items_.at(static_cast<size_t>(index)); }

  TIndexDef& Add(std::string name, std::string fields, TIndexOptions options = {});
  void Clear() { items_.clear(); }

  // The index of that name, ignoring case; null when none.
  const TIndexDef* Find(std::string_view name) const;
  // The index whose field list is exactly `fields` (names compared ignoring case, ";"-separated,
  // blanks around names ignored); null when none.
  const TIndexDef* FindForFields(std::string_view fields) const;

  // Set by the owner when the list must be read again before its next use.
  bool Updated() const { return updated_; }
  void SetUpdated(bool updated) { updated_ = updated; }

 private:
  std::vector<std::unique_ptr<TIndexDef>> items_;
  bool updated_ = false;
};

// Splits "A; B;C" at ";" into trimmed names (empty names dropped).
std::vector<std::string> SplitFieldNames(std::string_view names);
// Equal ignoring letter case under the user's locale.
bool SameFieldName(std::string_view a, std::string_view b);

}  // namespace qdx
