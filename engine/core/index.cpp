#include "engine/core/index.h"

#include "engine/core/table_index_def.h"

namespace qdx {

TQDXIndex::TQDXIndex(TQDXIndexOwner& owner) : owner_(&owner) {}

TQDXIndex::~TQDXIndex() = default;

void TQDXIndex::SetDefinition(const TQDXIndexDef& definition) {
  auto copy = std::make_unique<TQDXIndexDef>();
  copy->Assign(definition);
  definition_ = std::move(copy);
}

}  // namespace qdx
