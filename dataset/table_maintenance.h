// The whole-table operations as they run on the engine: each creates a transient cursor of its
// own on a connected database, calls one cursor operation and frees the cursor, also on error.
// TQDXTable's CreateTable, EmptyTable, DeleteTable and RenameTable check the dataset's state and
// attach to the database, then call these; tools call them directly.
//
// Also the conversion of the framework's field and index definitions into the advanced ones
// (the type mapping of the dataset field types).
#pragma once

#include <string>
#include <string_view>

#include "dataset/adv_defs.h"

namespace qdx {

class TFieldDefs;
class TIndexDefs;
class TQDXDatabase;

// How a table operation's cursor sees its table.
struct TQDXTableTarget {
  std::string TableName;
  bool InMemory = false;
  bool Temporary = false;
};

// Creates (or replaces) the table from the advanced definitions, validated and converted first.
// 20182 when the database is within a transaction.
void CreateDatabaseTable(TQDXDatabase& database, const TQDXTableTarget& table,
                         const TQDXAdvFieldDefs& fields, const TQDXAdvIndexDefs& indexes);
// Removes every record; the structure and indexes stay.
void EmptyDatabaseTable(TQDXDatabase& database, const TQDXTableTarget& table);
// 20183 within a transaction.
void DeleteDatabaseTable(TQDXDatabase& database, const TQDXTableTarget& table);
// 20181 within a transaction.
void RenameDatabaseTable(TQDXDatabase& database, const TQDXTableTarget& table,
                         std::string_view newName);

// The advanced field definitions of framework field definitions: the dataset type mapped to the
// first field type of the type table that lists it (30289 for one it does not), GUID fields
// with size 38.
void AdvFieldDefsFromFieldDefs(const TFieldDefs& source, TQDXAdvFieldDefs& target);
void AdvIndexDefsFromIndexDefs(const TIndexDefs& source, TQDXAdvIndexDefs& target);
// The framework's definitions of advanced ones: name, dataset type (by the first row of the
// type table listing the field type), size and required flag; name, field lists and options.
void FieldDefsFromAdvFieldDefs(const TQDXAdvFieldDefs& source, TFieldDefs& target);
void IndexDefsFromAdvIndexDefs(const TQDXAdvIndexDefs& source, TIndexDefs& target);

}  // namespace qdx
