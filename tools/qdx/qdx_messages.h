// The texts of the qdx utility: its usage, bad usage, and the faults its check reports. These
// are not engine errors and carry no native code; arguments follow the engine's format ("%s",
// "%d", through ToolText). The texts of the import and the formatted exports are with the
// interchange code (wagenlog/interchange/interchange_messages.h).
#pragma once

#include "wagenlog/interchange/interchange_messages.h"

namespace qdx::msg {

// Usage, and the faults check reports.
inline constexpr const char* kQdxUsage =
    "Usage: qdx COMMAND FILE [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  create FILE [--page-size N] [--pages-per-extent N] [--max-connections N]\n"
    "              [--password TEXT] [--cipher NAME]\n"
    "      creates an empty database (defaults: 4096, 8, 500; cipher Rijndael_128)\n"
    "  info FILE [--password TEXT]\n"
    "      prints the header, the cipher, the page count, the system directory and the\n"
    "      table list as 'name: value' lines\n"
    "  check FILE [--password TEXT]\n"
    "      verifies the file and its tables and reports the first fault\n"
    "  tables FILE [--password TEXT]\n"
    "      one line per table: name, record count, record size, indexes\n"
    "  schema FILE TABLE [--password TEXT]\n"
    "      the table's fields, indexes and constraints\n"
    "  export FILE TABLE [--index NAME] [-o OUT] [--password TEXT]\n"
    "      the table's records as CSV (RFC 4180, UTF-8), in physical or index order\n"
    "  create FILE --schema wagenlog [--password TEXT] [--cipher NAME]\n"
    "      creates a database with the two tables of the car-cost program\n"
    "  repair FILE [--password TEXT]\n"
    "      rebuilds the database table by table into a new file that replaces it, and\n"
    "      reports what could not be copied\n"
    "  compact FILE [--password TEXT]\n"
    "      releases the unused pages at the end of the file and prints its size before\n"
    "      and after\n"
    "  backup FILE DEST\n"
    "      copies the database to DEST as one committed state, also while another\n"
    "      program has it open; DEST must not exist yet\n"
    "\n"
    "Ciphers: Rijndael_128, Rijndael_256, DES_Single, DES_Triple, Blowfish, Twofish_128,\n"
    "Twofish_256, Square.\n"
    "Exit status: 0 success, 1 database error (message on stderr), 2 bad usage.\n";
inline constexpr const char* kQdxUnknownCommand = "Unknown command '%s'";
inline constexpr const char* kQdxUnknownOption = "Unknown option '%s' for %s";
inline constexpr const char* kQdxMissingValue = "Option %s needs a value";
inline constexpr const char* kQdxInvalidNumber = "Option %s needs a number from %d to %d, not '%s'";
inline constexpr const char* kQdxUnknownCipher = "Unknown cipher '%s'";
inline constexpr const char* kQdxCipherWithoutPassword = "Option --cipher needs --password";
inline constexpr const char* kQdxFileNameMissing = "No database file given";
inline constexpr const char* kQdxFileExists = "Cannot create database. File '%s' already exists";
inline constexpr const char* kQdxCheckPassed = "No faults found";
inline constexpr const char* kQdxNeedsRepair = "Database needs repair. FileState=%d, Version=%s";
inline constexpr const char* kQdxPageCountMismatch =
    "File size does not match the header. TotalPageCount=%d, pages in file=%d";
inline constexpr const char* kQdxLastUsedPageBeyondEnd =
    "Last used page beyond the end of the file. LastUsedPageNo=%d, TotalPageCount=%d";
inline constexpr const char* kQdxMapPageType = "Free space map page %d has type %d, expecting %d";
inline constexpr const char* kQdxPageOutsideFile =
    "Page %d of the %s is outside the file. TotalPageCount=%d";
inline constexpr const char* kQdxChainLoops = "The %s comes back to page %d";
inline constexpr const char* kQdxChainPageFree =
    "Page %d of the %s is marked free in the page free space map";
inline constexpr const char* kQdxPageShared = "Page %d belongs to the %s and to the %s";
inline constexpr const char* kQdxUnreachedPage =
    "Page %d (%s) is in use but no structure reaches it";
inline constexpr const char* kQdxMapBeyondEnd =
    "The page free space map marks page %d in use beyond the end of the file. TotalPageCount=%d";
inline constexpr const char* kQdxExtentMarkedFull = "Extent %d is marked full but page %d is free";
inline constexpr const char* kQdxDirectoryEntryUnknown =
    "System directory entry %d has the unknown kind %d";
inline constexpr const char* kQdxDirectoryEntryMissing =
    "The system directory has no entry of kind %d";

// qdx: bad usage, a password missing, and an engine error behind the structure it met.
inline constexpr const char* kQdxUnexpectedArgument =
    "Unexpected argument '%s' for %s: it takes one database file";
inline constexpr const char* kQdxPasswordNeeded =
    "The database is encrypted: give its password with --password";
inline constexpr const char* kQdxStructureUnreadable = "Cannot read the %s at page %d: %s";

// qdx: the table commands and the table part of check.
inline constexpr const char* kQdxArgumentMissing = "Missing %s for %s";
inline constexpr const char* kQdxTableNotFound = "Table '%s' not found";
inline constexpr const char* kQdxIndexNotFound = "Index '%s' not found in table '%s'";
inline constexpr const char* kQdxCannotWriteOutput = interchange::kCannotWriteOutputFile;
inline constexpr const char* kQdxTableUnreadable = "Cannot read table '%s': %s";
inline constexpr const char* kQdxRecordPageIndexDamaged =
    "the record page index (root page %d) is damaged: %s";
inline constexpr const char* kQdxRecordPageOutsideFile =
    "the record page index lists page %d, which is outside the file";
inline constexpr const char* kQdxNotARecordPage =
    "the record page index lists page %d, which is no record page of the table (type %d, "
    "owner %d)";
inline constexpr const char* kQdxRecordCountOnPage =
    "page %d holds %d records, the record page index says %d";
inline constexpr const char* kQdxRecordCountMismatch =
    "the record page index lists %d records, the table header says %d";
inline constexpr const char* kQdxIndexDamaged = "index '%s' (root page %d) is damaged: %s";
inline constexpr const char* kQdxIndexEntryTwice =
    "index '%s' lists record (page %d, slot %d) twice";
inline constexpr const char* kQdxIndexEntryWithoutRecord =
    "index '%s' lists record (page %d, slot %d), which does not exist";
inline constexpr const char* kQdxRecordWithoutIndexEntry =
    "record (page %d, slot %d) has no entry in index '%s'";
inline constexpr const char* kQdxIndexEntryCount =
    "index '%s' has %d entries for %d records";
inline constexpr const char* kQdxBlobValueOwner = "table '%s' record (page %d, slot %d) field '%s'";
inline constexpr const char* kQdxBlobValueUnreadable =
    "the BLOB value of %s (page %d, ID %d) cannot be read: %s";
inline constexpr const char* kQdxBlobValueNamedTwice =
    "the BLOB value at page %d, ID %d is named by %s and by %s";
inline constexpr const char* kQdxBlobPageShared = "page %d holds BLOB data of %s and of %s";
inline constexpr const char* kQdxBlobPageFree = "page %d holds BLOB data of %s but is marked free";
inline constexpr const char* kQdxBlobPageIndexMissing =
    "the table has shared BLOB pages but no BLOB page index";
inline constexpr const char* kQdxBlobPageIndexDamaged =
    "the BLOB page index (root page %d) is damaged: %s";
inline constexpr const char* kQdxBlobEntryLeaked =
    "shared BLOB page %d holds a value (ID %d) that no record names";
inline constexpr const char* kQdxBlobPageUsage =
    "the BLOB page index records %d bytes used in page %d, its values take %d";
inline constexpr const char* kQdxBlobPageIndexStray =
    "the BLOB page index lists page %d (%d bytes used), which holds no value of the table";
inline constexpr const char* kQdxBlobPageLeaked =
    "BLOB page %d is in use but no record's value reaches it (%d such pages in all)";

// qdx: create --schema, repair and compact.
inline constexpr const char* kQdxUnknownSchema = "Unknown schema '%s' (known: wagenlog)";
inline constexpr const char* kQdxCannotStat = "Cannot read the size of '%s'";
inline constexpr const char* kQdxCompactNeedsRepair =
    "Cannot compact '%s': the database needs repair first (qdx repair)";
inline constexpr const char* kQdxCompactSizes = "Size before: %d bytes\nSize after: %d bytes";
// qdx backup.
inline constexpr const char* kQdxBackupExists = "Cannot back up to '%s': the file already exists";
inline constexpr const char* kQdxBackupWritten = "Backup written: %s (%d bytes, ChangeCounter=%d)";
inline constexpr const char* kQdxBackupRolledBack =
    "The database was left in the middle of a commit; the backup holds the state before it";
inline constexpr const char* kQdxRepairProgress = "Repairing: %d%%";
inline constexpr const char* kQdxRepairDone = "Repaired '%s'";
inline constexpr const char* kQdxRepairNotCopied = "Not copied:";
// A command that changes the database, refused because another program has it open for writing.
inline constexpr const char* kQdxDatabaseInUse =
    "The database '%s' is in use by another program; nothing was changed";

}  // namespace qdx::msg
