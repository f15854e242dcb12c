// Texts of the dataset layer that carry no native code: the dataset framework's own errors and
// the table dataset's errors that the framework raises as EDatabaseError. Those with a native
// code live in the engine's catalogue (engine/foundation/messages.h).
//
// A text that names a component is raised through DatabaseError(text, componentName), which puts
// the component's name, a colon and a blank first.
#pragma once

#include <string>
#include <string_view>

#include "engine/foundation/format.h"

namespace qdx::dsmsg {

// A text with its arguments (the bare format and " Arguments are invalid!" when they do not fit).
inline std::string Format(std::string_view format, FormatArgs args) {
  return FormatOrFallback(format, {args.begin(), args.size()});
}

// ---- Dataset state ----
inline constexpr const char* kDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* kNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* kRecordNotFound = "Record not found";
inline constexpr const char* kCircularDataLink = "Circular datalinks are not allowed";

// ---- Fields ----
inline constexpr const char* kFieldNotFound = "Field '%s' not found";
inline constexpr const char* kDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* kFieldRequired = "Field '%s' must have a value";
inline constexpr const char* kFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* kFieldTypeMismatch = "Type mismatch for field '%s'";
inline constexpr const char* kFieldAccessAs = "Cannot access field '%s' as type %s";
inline constexpr const char* kFieldRangeError = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* kInvalidIntegerValue = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* kInvalidFloatValue = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* kInvalidDateValue = "'%s' is not a valid date";
inline constexpr const char* kInvalidTimeValue = "'%s' is not a valid time";
inline constexpr const char* kInvalidDateTimeValue = "'%s' is not a valid date and time";
inline constexpr const char* kInvalidBooleanValue = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* kFieldIndexOutOfRange = "Field index out of range";
inline constexpr const char* kIndexFieldNotInDataSet = "Cannot access index field '%s'";
inline constexpr const char* kIndexNotFound = "Index '%s' not found";
inline constexpr const char* kNoFieldsForLookup = "Lookup information for field '%s' is incomplete";
inline constexpr const char* kFieldCountMismatch = "Count of field names (%d) not equal to count of values (%d)";

// ---- Table dataset ----
inline constexpr const char* kDatabaseNameBlank = "DatabaseName property is blank";
inline constexpr const char* kTableNameMissing = "Missing TableName property";
inline constexpr const char* kDatabaseOpen = "Cannot perform this operation on an open database";

// ---- Database component and session ----
inline constexpr const char* kDatabaseNameMissing = "Database name missing";
inline constexpr const char* kDatabaseIsClosed =
    "Cannot perform this operation on a closed database";
inline constexpr const char* kDatabaseFileMissing = "Database file '%s' does not exist";
// No engine session could be had for connecting or creating (the session is not active).
inline constexpr const char* kDatabaseOpenError = "Database open error";
inline constexpr const char* kCannotCreateDatabase = "Cannot create database";
inline constexpr const char* kAlreadyInTransaction = "Database is already within a transaction";
inline constexpr const char* kDuplicateDatabaseName = "Duplicate database name '%s'";
// DeleteDatabase could not delete the file.
inline constexpr const char* kCannotDeleteDatabaseFile = "Cannot delete database file '%s'";
inline constexpr const char* kSessionNameMissing = "Session name missing";
inline constexpr const char* kSessionIsActive = "Cannot perform this operation on an active session";
inline constexpr const char* kAutoSessionNameEnabled =
    "Cannot modify SessionName while AutoSessionName is enabled";
inline constexpr const char* kDuplicateSessionName = "Duplicate session name '%s'";
inline constexpr const char* kAutoSessionNameForm = "%s_%d";
inline constexpr const char* kAutoSessionNameWithOtherSessions =
    "Cannot enable AutoSessionName property with more than one session on a form or data-module";
inline constexpr const char* kSessionBesideAutoSessionName =
    "Cannot add a session to the form or data-module while session '%s' has AutoSessionName "
    "enabled";
inline constexpr const char* kRepairQuestion =
    "Database file was not correctly closed last time. Do you want to repair it?";
inline constexpr const char* kOldFormatNotice =
    "Database file you are opening is of old format. It will be converted to the current "
    "Quendrix Database format now. It is recommended to make a backup of the database before "
    "continuing.";
inline constexpr const char* kRepairingDatabase = "Repairing Database...";
inline constexpr const char* kCompactingDatabase = "Compacting Database...";
inline constexpr const char* kChangingDatabasePassword = "Changing Database Password...";
inline constexpr const char* kChangingDatabaseSettings = "Changing Database Settings...";
// The stem of the temporary component a rebuild writes the new file through.
inline constexpr const char* kRebuildDatabaseStem = "TempDatabase";
// The rebuilt file could not be made durable or put in place; the original is untouched.
inline constexpr const char* kRebuiltFileNotFlushed =
    "Cannot write the rebuilt database file '%s' to disk; '%s' is unchanged: %s";
inline constexpr const char* kRebuiltFileNotRenamed =
    "Cannot put the rebuilt database file '%s' in place of '%s', which is unchanged: %s";

// ---- Copying tables ----
inline constexpr const char* kCopyFieldNulled =
    "Error copying table \"%s\". Record #%d, field '%s' was copied with Null value due to error: "
    "%s";
inline constexpr const char* kCopyRecordSkipped =
    "Error copying table \"%s\". Record #%d was not imported due to error: %s";
inline constexpr const char* kTerminatedByUser = "Terminated by User.";
inline constexpr const char* kRestructureCannotCreate =
    "Error restructuring table. Cannot create table due to error: %s";
inline constexpr const char* kRestructureCannotDelete =
    "Error restructuring table. Cannot delete table due to error: %s";
inline constexpr const char* kRestructureTableMessage = "Restructure Table...";
inline constexpr const char* kCopyTableMessage = "Copy Table...";
inline constexpr const char* kImportTableMessage = "Import Table...";
inline constexpr const char* kImportIndexSkipped =
    "Cannot import index '%s'. Index type is not supported, index skipped";
inline constexpr const char* kImportCannotCreate =
    "Error importing table. Cannot create table due to error: %s";
inline constexpr const char* kImportCannotCopy =
    "Error importing table. Cannot copy data due to error: %s";
// The stem of the temporary component a table is copied into another file through.
inline constexpr const char* kCopyDatabaseStem = "TempDb";
// A record the source cursor could not read (the copy cannot move past it).
inline constexpr const char* kRecordUnreadable = "the record cannot be read";

// ---- Dataset dialogs ----
inline constexpr const char* kPassDialogCaption = "Database authentication";
inline constexpr const char* kPassDialogPasswordLabel = "Password:";
inline constexpr const char* kOKButton = "OK";
inline constexpr const char* kCancelButton = "Cancel";
inline constexpr const char* kWaitDialogCaption = "Please Wait...";
inline constexpr const char* kWaitDialogDefaultMessage = "Wait...";
inline constexpr const char* kAbortButton = "Abort";
inline constexpr const char* kBackgroundModeButton = "Background Mode";
// Captions of the message boxes the prompts show.
inline constexpr const char* kConfirmCaption = "Confirm";
inline constexpr const char* kInformationCaption = "Information";
inline constexpr const char* kWarningCaption = "Warning";

}  // namespace qdx::dsmsg
