// The commands of the qdx utility: create, info and check of database files.
//
// RunQdx takes the arguments after the program name and writes to the given streams, so that
// tests run the commands without a process. Exit status: 0 success, 1 a database error or a
// fault found by check (the message on `err`), 2 bad usage.
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/foundation/format.h"

namespace qdx::tools {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitDatabaseError = 1;
inline constexpr int kExitUsage = 2;

// A fault that the utility itself finds (no engine error, no native code).
class EQdxToolFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A message of the utility with its arguments.
std::string ToolText(std::string_view format, FormatArgs args);

int RunQdx(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Prints the database's header, cipher, page count, system directory and table list.
void PrintInfo(const std::string& fileName, const std::string& password, std::ostream& out);
// Verifies the database; throws on the first fault (EQDXException from the engine, or a check
// fault with a message of the utility).
void CheckDatabase(const std::string& fileName, const std::string& password);

}  // namespace qdx::tools
