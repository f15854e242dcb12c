// qdx import: expense records from a CSV file (a spreadsheet's, a Fuelio backup, a LubeLogger
// export) into a table of a database, in one transaction.
//
// The command line is parsed here and the import run over an ExpenseStore, so that tests run it
// on any store, or on the files as `qdx import` does; the report goes to the streams: every line that could not be read and every
// duplicate on `err`, the records of a dry run and the summary on `out`.
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "wagenlog/interchange/expense_import.h"

namespace qdx::tools {

// Bad usage of the import command (exit status 2).
class EQdxImportUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ImportCommand {
  std::string DatabaseFile;
  std::string TableName;
  std::string CsvFile;
  std::string Password;
  interchange::ImportOptions Options;
};

// Parses the arguments after "import"; the user's formats and this year fill the read options.
ImportCommand ParseImportCommand(const std::vector<std::string>& args);

// Runs the import of `csvText` into `store` and reports it. Answers the exit status: 0 when the
// import (or the dry run) went through, 1 when bad lines stopped it. Throws what the store and
// the reading of the file throw (EInterchangeError for a fault of the whole file).
int RunImport(const ImportCommand& command, std::string_view csvText,
              interchange::ExpenseStore& store, std::ostream& out, std::ostream& err);

// Runs the command on its files: the CSV file is read whole, the table opened (read-only for a
// dry run, so the database file keeps every byte) and RunImport run over it.
int ImportFile(const ImportCommand& command, std::ostream& out, std::ostream& err);

}  // namespace qdx::tools
