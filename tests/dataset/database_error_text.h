// The message of the EDatabaseError an action raises, so that a test compares the whole text a
// user would see, component prefix included.
#pragma once

#include <string>

#include "dataset/database_error.h"

namespace qdx::testing {

template <typename Action>
std::string DatabaseErrorText(Action&& action) {
  try {
    action();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "(no EDatabaseError)";
}

}  // namespace qdx::testing
