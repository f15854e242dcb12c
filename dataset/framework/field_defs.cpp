#include "dataset/framework/field_defs.h"

#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "dataset/framework/index_defs.h"
#include "engine/foundation/format.h"

namespace qdx {

TFieldDef& TFieldDefs::Add(std::string name, TFieldType dataType, int32_t size, bool required) {
  if (Find(name) != nullptr) {
    DatabaseError(dsmsg::Format(dsmsg::kDuplicateFieldName, {name}));
  }
  const int32_t fieldNo = Count() + 1;
  items_.push_back(std::make_unique<TFieldDef>(std::move(name), dataType, size, required, fieldNo));
  return *items_.back();
}

const TFieldDef* TFieldDefs::Find(std::string_view name) const {
  const int32_t i = IndexOf(name);
  return i < 0 ? nullptr : items_[static_cast<size_t>(i)].get();
}

int32_t TFieldDefs::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (SameFieldName(items_[i]->Name(), name)) return static_cast<int32_t>(i);
  }
  return -1;
}

}  // namespace qdx
