#include "engine/core/session_named_object.h"

#include <algorithm>

namespace qdx {

void TQDXSessionNamedObjects::AddNamedObject(std::unique_ptr<TQDXSessionNamedObject> object) {
  const int32_t id = object->ID();
  const std::string& name = object->Name();
  std::erase_if(objects_, [&](const std::unique_ptr<TQDXSessionNamedObject>& o) {
    return id == -1 ? SameNameIgnoringCase(o->Name(), name) : o->ID() == id;
  });
  objects_.push_back(std::move(object));
}

TQDXSessionNamedObject* TQDXSessionNamedObjects::FindNamedObjectByName(
    std::string_view name) const {
  for (const auto& o : objects_) {
    if (SameNameIgnoringCase(o->Name(), name)) return o.get();
  }
  return nullptr;
}

TQDXSessionNamedObject* TQDXSessionNamedObjects::FindNamedObjectByID(int32_t id) const {
  for (const auto& o : objects_) {
    if (o->ID() == id) return o.get();
  }
  return nullptr;
}

void TQDXSessionNamedObjects::DeleteNamedObject(int32_t id) {
  const auto it =
      std::find_if(objects_.begin(), objects_.end(), [id](const auto& o) { return o->ID() == id; });
  if (it != objects_.end()) objects_.erase(it);
}

}  // namespace qdx
