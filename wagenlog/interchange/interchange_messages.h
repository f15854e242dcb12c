// Texts of the import and export of expense records: the reasons a report gives for a line that
// cannot be read, and the faults that stop an import before any line is read. Arguments follow
// the engine's format ("%s", "%d").
#pragma once

namespace qdx::interchange {

// ---- Reading CSV text ----
inline constexpr const char* kCsvQuoteNotClosed = "quoted field not closed";
inline constexpr const char* kCsvTextAfterQuote = "text after the closing quote of a field";
inline constexpr const char* kCsvNotUtf8 = "not valid UTF-8 text";
inline constexpr const char* kCsvFieldCount = "%d fields where the header has %d";

// ---- Values of a line ----
inline constexpr const char* kValueNotADate = "not a date in the form %s";
inline constexpr const char* kValueNotANumber = "not a number";
inline constexpr const char* kValueOutOfRange = "out of range";
inline constexpr const char* kValueTextTooLong = "longer than %d characters";
inline constexpr const char* kValueNotStorable = "holds a character the table cannot store";
inline constexpr const char* kValueNotACategory =
    "not one of Brandstof, Onderhoud, Verzekering, Wegenbelasting, Afschrijving";
inline constexpr const char* kValueMissing = "no value for %s";

// ---- Faults that stop an import ----
inline constexpr const char* kMapEntryBad = "--map entry '%s' is not FIELD=COLUMN";
inline constexpr const char* kMapFieldUnknown = "--map names no field of the expense table: '%s'";
inline constexpr const char* kMapColumnUnknown = "--map names a column the file does not have: '%s'";
inline constexpr const char* kMapFieldTwice = "field %s is given two columns";
inline constexpr const char* kColumnMissing = "no column for the field %s (name one with --map)";
inline constexpr const char* kFileEmpty = "the file holds no header line";
inline constexpr const char* kDateFormatBad = "date format '%s' needs d, M and y (as in dd-MM-yyyy)";
inline constexpr const char* kFuelioNoLog = "not a Fuelio backup: no '## Log' or '## Costs' section";
inline constexpr const char* kLubeLoggerKindUnknown =
    "not a LubeLogger export of gas, service, repair or tax records";
inline constexpr const char* kImportRefused =
    "%d line(s) could not be read; nothing was imported (--skip-bad imports the others)";
// An export whose file cannot be written.
inline constexpr const char* kCannotWriteOutputFile = "Cannot write the output file '%s'";

// ---- The import and export commands of qdx ----
inline constexpr const char* kQdxImportUsage =
    "usage: qdx import FILE TABLE CSV [--map FIELD=COLUMN,...] [--date-format PATTERN]\n"
    "                  [--decimal , | .] [--dry-run] [--skip-bad] [--allow-duplicates]\n"
    "                  [--format generic | fuelio | lubelogger | lubelogger-gas |\n"
    "                   lubelogger-service | lubelogger-tax] [--password TEXT]";
// Follows the utility's general usage text.
inline constexpr const char* kQdxExpenseUsage =
    "\n"
    "Expense records (a table with the fields of Brandstofkosten):\n"
    "  import FILE TABLE CSV [--map FIELD=COLUMN,...] [--date-format PATTERN]\n"
    "         [--decimal , | .] [--dry-run] [--skip-bad] [--allow-duplicates]\n"
    "         [--format generic | fuelio | lubelogger[-gas | -service | -tax]]\n"
    "      reads the CSV file into the table in one transaction; reports every line\n"
    "      that cannot be read and then inserts nothing, unless --skip-bad\n"
    "  export FILE TABLE --format fuelio | lubelogger-gas | lubelogger-service |\n"
    "         lubelogger-tax | lubelogger [-o OUT] [--index NAME]\n"
    "      the records in another program's layout; lubelogger writes three files\n"
    "      named after OUT (out.csv: out-gas.csv, out-service.csv, out-tax.csv)\n";
inline constexpr const char* kQdxImportArguments = "import needs FILE, TABLE and CSV";
inline constexpr const char* kQdxUnknownFormat = "unknown format '%s'";
inline constexpr const char* kQdxBadDecimal = "--decimal takes ',' or '.', not '%s'";
inline constexpr const char* kQdxOptionNeedsValue = "option %s needs a value";
inline constexpr const char* kQdxImportOption = "unknown option '%s' for import";
inline constexpr const char* kQdxImportExtra = "unexpected argument '%s' for import";
inline constexpr const char* kQdxDuplicateSkipped = "line %d: the table holds this expense already; skipped";
inline constexpr const char* kQdxImported = "%d record(s) imported into %s";
inline constexpr const char* kQdxWouldImport = "dry run: %d record(s) would be imported into %s";
inline constexpr const char* kQdxImportCounts = "%d duplicate(s) skipped, %d bad line(s) skipped";
inline constexpr const char* kQdxCannotReadInput = "Cannot read the file '%s'";
inline constexpr const char* kQdxLubeLoggerNeedsOutput =
    "--format lubelogger writes three files: name them with -o (out.csv gives out-gas.csv, "
    "out-service.csv, out-tax.csv)";

}  // namespace qdx::interchange
