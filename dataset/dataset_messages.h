// The dataset layer's texts that carry no native code: EDatabaseError messages, prompts and the
// captions of the dataset dialogs. Formats are for the safe formatter (engine/foundation/format.h).
#pragma once

namespace qdx::msg {

// ---- Database component and session ----
inline constexpr const char* kDatabaseNameMissing = "Database name missing";
inline constexpr const char* kDatabaseIsOpen = "Cannot perform this operation on an open database";
inline constexpr const char* kDatabaseIsClosed =
    "Cannot perform this operation on a closed database";
inline constexpr const char* kDatabaseFileMissing = "Database file '%s' does not exist";
inline constexpr const char* kDatabaseOpenError = "Database open error";
inline constexpr const char* kAlreadyInTransaction = "Database is already within a transaction";
inline constexpr const char* kDuplicateDatabaseName = "Duplicate database name '%s'";
inline constexpr const char* kCannotCreateDatabase = "Cannot create database";
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
// The stem of the temporary component a rebuild writes the new file through.
inline constexpr const char* kRebuildDatabaseStem = "TempDatabase";
// The rebuilt file could not be made durable or put in place; the original is untouched.
inline constexpr const char* kRebuiltFileNotFlushed =
    "Cannot write the rebuilt database file '%s' to disk; '%s' is unchanged: %s";
inline constexpr const char* kRebuiltFileNotRenamed =
    "Cannot put the rebuilt database file '%s' in place of '%s', which is unchanged: %s";

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

}  // namespace qdx::msg
