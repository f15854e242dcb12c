#include "tools/qdx/qdx_import.h"

#include <algorithm>

#include "wagenlog/interchange/csv_writer.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "wagenlog/interchange/number_text.h"
#include "wagenlog/interchange/whole_file.h"
#include "engine/foundation/format.h"
#include "engine/foundation/platform/locale.h"
#include "tools/qdx/qdx_commands.h"
#include "tools/qdx/qdx_expense_table.h"

namespace qdx::tools {
namespace {

using namespace interchange;

std::string Text(const char* format, FormatArgs args) {
  return FormatOrFallback(format, std::span<const FormatArg>(args.begin(), args.size()));
}

void SetFormat(ImportCommand& command, const std::string& name) {
  struct Entry {
    std::string_view name;
    ImportLayout layout;
    std::optional<LubeLoggerKind> kind;
  };
  static constexpr Entry kFormats[] = {
      {"generic", ImportLayout::Generic, std::nullopt},
      {"fuelio", ImportLayout::Fuelio, std::nullopt},
      {"lubelogger", ImportLayout::LubeLogger, std::nullopt},
      {"lubelogger-gas", ImportLayout::LubeLogger, LubeLoggerKind::Gas},
      {"lubelogger-service", ImportLayout::LubeLogger, LubeLoggerKind::Service},
      {"lubelogger-repair", ImportLayout::LubeLogger, LubeLoggerKind::Service},
      {"lubelogger-tax", ImportLayout::LubeLogger, LubeLoggerKind::Tax},
  };
  for (const Entry& entry : kFormats) {
    if (EqualsNoCase(name, entry.name)) {
      command.Options.Layout = entry.layout;
      command.Options.Kind = entry.kind;
      return;
    }
  }
  throw EQdxImportUsage(Text(kQdxUnknownFormat, {name}));
}

void KindFromFileName(ImportCommand& command) {
  if (command.Options.Layout != ImportLayout::LubeLogger || command.Options.Kind) return;
  command.Options.Kind = LubeLoggerKindFromFileName(command.CsvFile);
}

std::string ReadInputFile(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) throw EQdxToolFault(ToolText(kQdxCannotReadInput, {path}));
  return text;
}

std::string DescribeRecord(const ExpenseRecord& r) {
  const auto number = [](const auto& value) {
    return value ? WriteDecimal(static_cast<double>(*value)) : std::string();
  };
  std::string line = r.Datum ? DatePattern::Iso().Format(*r.Datum) : std::string();
  for (const std::string& cell : {AnsiToUtf8(r.Omschrijving), AnsiToUtf8(r.Bedrijf),
                                  number(r.KMStand), number(r.Liters), number(r.bedrag)}) {
    line += '\t';
    line += PrintableText(cell);
  }
  return line;
}

}  // namespace

ImportCommand ParseImportCommand(const std::vector<std::string>& args) {
  ImportCommand command;
  command.Options.Read.Formats = platform::UserFormatSettings();
  command.Options.Read.PivotYear = CurrentYear();
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.starts_with("--")) {
      if (positional.size() == 3) throw EQdxImportUsage(Text(kQdxImportExtra, {arg}));
      positional.push_back(arg);
      continue;
    }
    if (arg == "--dry-run") {
      command.Options.DryRun = true;
      continue;
    }
    if (arg == "--skip-bad") {
      command.Options.SkipBad = true;
      continue;
    }
    if (arg == "--allow-duplicates") {
      command.Options.AllowDuplicates = true;
      continue;
    }
    static constexpr std::string_view kValued[] = {"--map", "--date-format", "--decimal",
                                                   "--format", "--password"};
    if (std::find(std::begin(kValued), std::end(kValued), arg) == std::end(kValued)) {
      throw EQdxImportUsage(Text(kQdxImportOption, {arg}));
    }
    if (i + 1 >= args.size()) throw EQdxImportUsage(Text(kQdxOptionNeedsValue, {arg}));
    const std::string& value = args[++i];
    if (arg == "--map") {
      command.Options.Read.Map = value;
    } else if (arg == "--date-format") {
      command.Options.Read.DateFormat = DatePattern::Parse(value);
      if (!command.Options.Read.DateFormat) throw EQdxImportUsage(Text(kDateFormatBad, {value}));
    } else if (arg == "--decimal") {
      if (value != "," && value != ".") throw EQdxImportUsage(Text(kQdxBadDecimal, {value}));
      command.Options.Read.DecimalSeparator = value[0];
    } else if (arg == "--format") {
      SetFormat(command, value);
    } else {
      command.Password = value;
    }
  }
  if (positional.size() != 3) throw EQdxImportUsage(kQdxImportArguments);
  command.DatabaseFile = positional[0];
  command.TableName = positional[1];
  command.CsvFile = positional[2];
  KindFromFileName(command);
  return command;
}

int RunImport(const ImportCommand& command, std::string_view csvText, ExpenseStore& store,
              std::ostream& out, std::ostream& err) {
  const ImportOutcome outcome = ImportExpenses(csvText, store, command.Options);
  const ImportReport report =
      DescribeImport(outcome, command.CsvFile, command.TableName, command.Options.DryRun);
  for (const std::string& line : report.Problems) err << line << "\n";
  if (outcome.Refused) {
    err << "qdx: " << report.Refusal << "\n";
    return 1;
  }
  if (command.Options.DryRun) {
    out << "line\tDatum\tOmschrijving\tBedrijf\tKMStand\tLiters\tbedrag\n";
    for (const ReadRecord& r : outcome.Accepted) {
      out << r.Line << '\t' << DescribeRecord(r.Record) << "\n";
    }
  }
  for (const std::string& line : report.Summary) out << line << "\n";
  return 0;
}

int ImportFile(const ImportCommand& command, std::ostream& out, std::ostream& err) {
  const std::string text = ReadInputFile(command.CsvFile);
  ExpenseTableAccess table(command.DatabaseFile, command.Password, command.TableName,
                           /*readOnly=*/command.Options.DryRun);
  return RunImport(command, text, table.Store(), out, err);
}

}  // namespace qdx::tools
