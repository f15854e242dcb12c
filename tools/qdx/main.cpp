// qdx: a command-line utility for database files (see qdx_commands.h and `qdx --help`).
#include <iostream>
#include <string>
#include <vector>

#include "tools/qdx/qdx_commands.h"
#include "wagenlog/startup.h"

int main(int argc, char** argv) {
  qdx::wagenlog::Startup();
  std::vector<std::string> args(argv + 1, argv + argc);
  return qdx::tools::RunQdx(args, std::cout, std::cerr);
}
