#include "tools/qdx/qdx_commands.h"

#include <charconv>
#include <cstdint>
#include <exception>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string_view>

#include "wagenlog/interchange/expense_export.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "wagenlog/interchange/whole_file.h"
#include "engine/disk/active_sessions_file.h"
#include "engine/disk/commit_journal.h"
#include "engine/disk/database_copy.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/system_directory.h"
#include "engine/disk/table_list_file.h"
#include "engine/foundation/cipher/engine_cipher.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "engine/foundation/platform/terminal.h"
#include "tools/qdx/qdx_database_commands.h"
#include "tools/qdx/qdx_expense_table.h"
#include "tools/qdx/qdx_import.h"
#include "tools/qdx/qdx_messages.h"

namespace qdx::tools {

namespace {

// Bad usage: reported with exit status 2.
struct UsageError {
  std::string Message;
};

std::string Text(std::string_view format, FormatArgs args) {
  return ToolText(format, args);
}

// The parsed command line: the command, the file, further arguments and the options given
// with their values.
struct CommandLine {
  std::string Command;
  std::string FileName;
  std::vector<std::string> Arguments;
  std::map<std::string, std::string> Options;
};

// `arguments` names what the command takes after the file (for the usage messages).
CommandLine Parse(const std::vector<std::string>& args,
                  const std::vector<std::string_view>& allowed,
                  const std::vector<std::string_view>& arguments = {}) {
  CommandLine line;
  line.Command = args[0];
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.starts_with("-") && arg.size() > 1) {
      if (std::find(allowed.begin(), allowed.end(), arg) == allowed.end()) {
        throw UsageError{Text(msg::kQdxUnknownOption, {arg, line.Command})};
      }
      if (i + 1 >= args.size()) throw UsageError{Text(msg::kQdxMissingValue, {arg})};
      line.Options[arg] = args[++i];
    } else if (line.FileName.empty()) {
      line.FileName = arg;
    } else if (line.Arguments.size() < arguments.size()) {
      line.Arguments.push_back(arg);
    } else {
      throw UsageError{Text(msg::kQdxUnexpectedArgument, {arg, line.Command})};
    }
  }
  if (line.FileName.empty()) throw UsageError{msg::kQdxFileNameMissing};
  if (line.Arguments.size() < arguments.size()) {
    throw UsageError{Text(msg::kQdxArgumentMissing, {arguments[line.Arguments.size()],
                                                     line.Command})};
  }
  return line;
}

int64_t Number(const CommandLine& line, const std::string& option, int64_t fallback, int64_t low,
               int64_t high) {
  const auto it = line.Options.find(option);
  if (it == line.Options.end()) return fallback;
  const std::string& text = it->second;
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    throw UsageError{Text(msg::kQdxInvalidNumber, {option, low, high, text})};
  }
  return value;
}

std::string Option(const CommandLine& line, const std::string& option) {
  const auto it = line.Options.find(option);
  return it == line.Options.end() ? std::string() : it->second;
}

uint8_t CipherCode(const std::string& name) {
  for (uint8_t code = 0; code < kCryptoAlgorithmCount; ++code) {
    const std::string_view known = CryptoAlgorithm(code)->Name;
    if (std::equal(known.begin(), known.end(), name.begin(), name.end(),
                   [](char a, char b) { return std::tolower(a) == std::tolower(b); })) {
      return code;
    }
  }
  throw UsageError{Text(msg::kQdxUnknownCipher, {name})};
}

void Create(const CommandLine& line) {
  TQDXDiskDatabaseData data(line.FileName);
  // Any 16-bit size is taken here; the engine refuses one too small for a page, before it
  // creates anything, with the smallest size it accepts.
  data.PageSize =
      static_cast<uint16_t>(Number(line, "--page-size", kDefaultPageSize, 1, UINT16_MAX));
  data.PagesPerExtent = static_cast<uint16_t>(
      Number(line, "--pages-per-extent", kDefaultPagesPerExtent, 1, UINT16_MAX));
  data.MaxConnections = static_cast<int32_t>(
      Number(line, "--max-connections", TQDXDiskDatabaseData::kDefaultMaxConnections, 1, 1000000));
  data.Password.Password = Option(line, "--password");
  if (line.Options.contains("--cipher")) {
    if (data.Password.Password.empty()) throw UsageError{msg::kQdxCipherWithoutPassword};
    data.Password.CryptoAlgorithm = CipherCode(line.Options.at("--cipher"));
  }
  const std::string schema = Option(line, "--schema");
  if (line.Options.contains("--schema") && !IsKnownSchema(schema)) {
    throw UsageError{Text(msg::kQdxUnknownSchema, {schema})};
  }
  if (platform::FileExists(line.FileName)) {
    throw EQdxToolFault(Text(msg::kQdxFileExists, {line.FileName}));
  }
  try {
    data.CreateDatabase();
    if (!schema.empty()) CreateSchemaTables(line.FileName, data.Password.Password, schema);
  } catch (...) {
    // No half-made database is left behind, nor the journal of its failed commit, which would
    // wait for the next database of that name.
    platform::DeleteFile(line.FileName);
    platform::DeleteFile(TQDXCommitJournal::PathFor(line.FileName));
    throw;
  }
}

// Writes the CSV to `out`, or to the file of -o, which is written only once the whole export
// succeeded. --format names a layout of another program for an expense table.
void Export(const CommandLine& line, std::ostream& out) {
  const std::string output = Option(line, "-o");
  const std::string format = Option(line, "--format");
  if (IsExpenseExportFormat(format)) {
    ExportExpenses(line.FileName, Option(line, "--password"), line.Arguments[0],
                   Option(line, "--index"), format, output, out);
    return;
  }
  if (!format.empty() && interchange::ExportLayoutByName(format) != interchange::ExportLayout::Generic) {
    throw UsageError{Text(interchange::kQdxUnknownFormat, {format})};
  }
  if (output.empty()) {
    ExportTable(line.FileName, Option(line, "--password"), line.Arguments[0],
                Option(line, "--index"), out);
    return;
  }
  std::ostringstream text;
  ExportTable(line.FileName, Option(line, "--password"), line.Arguments[0],
              Option(line, "--index"), text);
  WriteOutputFile(output, text.str());
}

// ---- The commands ----------------------------------------------------------------------------
// Each takes the whole argument list (the command's name first) and answers the exit status.

int RunCreateCommand(const std::vector<std::string>& args, std::ostream&, std::ostream&) {
  Create(Parse(args, {"--page-size", "--pages-per-extent", "--max-connections", "--password",
                      "--cipher", "--schema"}));
  return kExitSuccess;
}

int RunInfoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const CommandLine line = Parse(args, {"--password"});
  PrintInfo(line.FileName, Option(line, "--password"), out);
  return kExitSuccess;
}

int RunCheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const CommandLine line = Parse(args, {"--password"});
  CheckDatabase(line.FileName, Option(line, "--password"));
  CheckTables(line.FileName, Option(line, "--password"));
  out << msg::kQdxCheckPassed << "\n";
  return kExitSuccess;
}

int RunTablesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const CommandLine line = Parse(args, {"--password"});
  PrintTables(line.FileName, Option(line, "--password"), out);
  return kExitSuccess;
}

int RunSchemaCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const CommandLine line = Parse(args, {"--password"}, {"TABLE"});
  PrintSchema(line.FileName, Option(line, "--password"), line.Arguments[0], out);
  return kExitSuccess;
}

int RunExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const CommandLine line = Parse(args, {"--password", "--index", "-o", "--format"}, {"TABLE"});
  Export(line, out);
  return kExitSuccess;
}

int RunImportCommand(const std::vector<std::string>& args, std::ostream& out,
                     std::ostream& err) {
  return ImportFile(ParseImportCommand({args.begin() + 1, args.end()}), out, err);
}

int RunRepairCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const CommandLine line = Parse(args, {"--password"});
  RepairProgressPrinter progress(out, &out == &std::cout && platform::StandardOutputIsTerminal());
  const std::string errors = RepairDatabase(line.FileName, Option(line, "--password"), progress);
  out << Text(msg::kQdxRepairDone, {line.FileName}) << "\n";
  if (!errors.empty()) out << msg::kQdxRepairNotCopied << "\n" << PrintableText(errors);
  return kExitSuccess;
}

int RunCompactCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const CommandLine line = Parse(args, {"--password"});
  PrintCompact(CompactDatabase(line.FileName, Option(line, "--password")), out);
  return kExitSuccess;
}

int RunBackupCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  const CommandLine line = Parse(args, {}, {"DEST"});
  const std::string& destination = line.Arguments[0];
  // A backup never replaces a file: the name may be an older backup or another database.
  if (platform::FileExists(destination)) {
    throw EQdxToolFault(Text(msg::kQdxBackupExists, {destination}));
  }
  const TQDXDatabaseCopy copy = CopyDatabaseFile(line.FileName, destination);
  if (copy.RolledBack) out << msg::kQdxBackupRolledBack << "\n";
  out << Text(msg::kQdxBackupWritten, {destination, copy.Size, copy.ChangeCounter}) << "\n";
  return kExitSuccess;
}

// The table RunQdx looks a command up in: a new command is a function and a row here.
struct Command {
  std::string_view Name;
  int (*Run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

constexpr Command kCommands[] = {
    {"create", RunCreateCommand},   {"info", RunInfoCommand},     {"check", RunCheckCommand},
    {"tables", RunTablesCommand},   {"schema", RunSchemaCommand}, {"export", RunExportCommand},
    {"import", RunImportCommand},   {"repair", RunRepairCommand}, {"compact", RunCompactCommand},
    {"backup", RunBackupCommand},
};

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.Name == name) return &command;
  }
  return nullptr;
}

}  // namespace

std::string ToolText(std::string_view format, FormatArgs args) {
  return FormatOrFallback(format, std::span<const FormatArg>(args.begin(), args.size()));
}

void WriteOutputFile(const std::string& path, std::string_view bytes) {
  if (!interchange::WriteWholeFile(path, bytes)) {
    throw EQdxToolFault(Text(msg::kQdxCannotWriteOutput, {path}));
  }
}

int RunQdx(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << msg::kQdxUsage << interchange::kQdxExpenseUsage;
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    out << msg::kQdxUsage << interchange::kQdxExpenseUsage;
    return kExitSuccess;
  }
  try {
    const Command* command = FindCommand(args[0]);
    if (command == nullptr) throw UsageError{Text(msg::kQdxUnknownCommand, {args[0]})};
    return command->Run(args, out, err);
  } catch (const UsageError& e) {
    err << "qdx: " << PrintableText(e.Message) << "\nTry 'qdx --help'.\n";
    return kExitUsage;
  } catch (const EQdxImportUsage& e) {
    err << "qdx: " << PrintableText(e.what()) << "\n" << interchange::kQdxImportUsage << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    // Messages may carry bytes of the file (names, signatures): no control byte reaches the
    // terminal.
    err << "qdx: " << PrintableText(e.what()) << "\n";
    return kExitDatabaseError;
  }
}

}  // namespace qdx::tools
