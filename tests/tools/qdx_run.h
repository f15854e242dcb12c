// Runs the qdx commands in-process for the tools tests and keeps what they said.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "tools/qdx/qdx_commands.h"

namespace qdx::testing {

struct Outcome {
  int Status;
  std::string Out;
  std::string Err;
};

inline Outcome RunQdxInProcess(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = tools::RunQdx(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace qdx::testing
