#include "dataset/database_error.h"

namespace qdx {

void DatabaseError(std::string_view message, std::string_view componentName) {
  std::string text;
  if (!componentName.empty()) {
    text.append(componentName);
    text += ": ";
  }
  text.append(message);
  throw EDatabaseError(std::move(text));
}

}  // namespace qdx
