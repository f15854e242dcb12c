// The dataset framework's error: the base of every error a dataset or database component
// raises. A component that raises it for itself puts its name, a colon and a blank first.
#pragma once

#include <string>
#include <string_view>

#include "engine/foundation/except.h"

namespace qdx {

class EDatabaseError : public EFrameworkException {
 public:
  explicit EDatabaseError(std::string message) : EFrameworkException(std::move(message)) {}
};

// Raises EDatabaseError with `message`, preceded by "<componentName>: " when a name is given.
[[noreturn]] void DatabaseError(std::string_view message, std::string_view componentName = {});

}  // namespace qdx
