// The commands of the qdx utility: create, info and check of database files; tables, schema
// and export of their tables; import of expense records.
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

// Writes an output file (-o) whole; EQdxToolFault when it cannot.
void WriteOutputFile(const std::string& path, std::string_view bytes);

int RunQdx(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Prints the database's header, cipher, page count, system directory and table list.
void PrintInfo(const std::string& fileName, const std::string& password, std::ostream& out);
// Verifies the database; throws on the first fault (EQDXException from the engine, or a check
// fault with a message of the utility).
void CheckDatabase(const std::string& fileName, const std::string& password);
// Verifies every table: record pages against the record page index and the table header, every
// index's tree and its entries against the records, every BLOB value read whole through its
// pages, and no BLOB page leaked or shared wrongly (qdx_blob_check.h). Throws on the first fault.
void CheckTables(const std::string& fileName, const std::string& password);

// One line per table: name, record count, stored record size, indexes.
void PrintTables(const std::string& fileName, const std::string& password, std::ostream& out);
// The table's fields, indexes and constraints.
void PrintSchema(const std::string& fileName, const std::string& password,
                 const std::string& tableName, std::ostream& out);
// The table as CSV: a header row of the field names, then the records in physical order, or
// in the order of the index `indexName` when it is not empty. BLOB fields are read as their
// fields hold them (decompressed): memo fields as text, binary and graphic fields as base64.
void ExportTable(const std::string& fileName, const std::string& password,
                 const std::string& tableName, const std::string& indexName, std::ostream& out);

}  // namespace qdx::tools
