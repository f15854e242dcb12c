// A fault that stops an import or export as a whole (a bad option, a file of another layout),
// as against a line that cannot be read, which the import report lists.
#pragma once

#include <stdexcept>
#include <string>

namespace qdx::interchange {

class EInterchangeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qdx::interchange
