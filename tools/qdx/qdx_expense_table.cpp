#include "tools/qdx/qdx_expense_table.h"

#include <array>
#include <utility>

#include "wagenlog/interchange/expense_export.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "tools/qdx/qdx_commands.h"
#include "tools/qdx/qdx_messages.h"

namespace qdx::tools {
namespace {

// The component names of one command; the database name is the one the table resolves.
constexpr const char* kDatabaseName = "qdx_expenses";

// "out.csv" with "-gas" before its extension.
std::string KindFileName(const std::string& output, std::string_view kind) {
  const size_t slash = output.find_last_of('/');
  const size_t dot = output.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  const size_t at = hasExtension ? dot : output.size();
  std::string name = output.substr(0, at);
  name += '-';
  name += kind;
  name += output.substr(at);
  return name;
}

}  // namespace

ExpenseTableAccess::ExpenseTableAccess(const std::string& fileName, const std::string& password,
                                       const std::string& tableName, bool readOnly,
                                       const std::string& indexName)
    : database_("qdx"), table_(tableName), transaction_(database_), store_(table_, transaction_) {
  database_.SetDatabaseName(kDatabaseName);
  database_.SetDatabaseFileName(fileName);
  database_.Password = password;
  database_.SilentMode = true;
  database_.ReadOnly = readOnly;
  table_.SetDatabaseName(kDatabaseName);
  table_.SetTableName(tableName);
  table_.SetReadOnly(readOnly);
  if (!indexName.empty()) table_.SetIndexName(indexName);
  table_.Open();
  // A writable file opened read-only is one another program writes: say so before anything is
  // tried, rather than fail at the first record.
  if (!readOnly && database_.ReadOnly && !platform::IsFileReadOnly(fileName)) {
    table_.Close();
    database_.Close();
    throw EQdxToolFault(ToolText(msg::kQdxDatabaseInUse, {fileName}));
  }
}

ExpenseTableAccess::~ExpenseTableAccess() {
  try {
    table_.Close();
    database_.Close();
  } catch (...) {  // closing cannot be refused; the components close again as they go
  }
}

bool IsExpenseExportFormat(const std::string& format) {
  if (interchange::EqualsNoCase(format, "lubelogger")) return true;
  const auto layout = interchange::ExportLayoutByName(format);
  return layout && *layout != interchange::ExportLayout::Generic;
}

void ExportExpenses(const std::string& fileName, const std::string& password,
                    const std::string& tableName, const std::string& indexName,
                    const std::string& format, const std::string& output, std::ostream& out) {
  using interchange::ExportLayout;
  std::vector<interchange::ExpenseRecord> records;
  {
    ExpenseTableAccess table(fileName, password, tableName, /*readOnly=*/true, indexName);
    records = table.Store().ReadAll();
  }
  if (interchange::EqualsNoCase(format, "lubelogger")) {
    if (output.empty()) throw EQdxToolFault(interchange::kQdxLubeLoggerNeedsOutput);
    static constexpr std::array<std::pair<std::string_view, ExportLayout>, 3> kKinds = {{
        {"gas", ExportLayout::LubeLoggerGas},
        {"service", ExportLayout::LubeLoggerService},
        {"tax", ExportLayout::LubeLoggerTax},
    }};
    for (const auto& [kind, layout] : kKinds) {
      WriteOutputFile(KindFileName(output, kind), interchange::ExpenseFileText(records, layout));
    }
    return;
  }
  const std::string text =
      interchange::ExpenseFileText(records, *interchange::ExportLayoutByName(format));
  if (output.empty()) {
    out << text;
  } else {
    WriteOutputFile(output, text);
  }
}

}  // namespace qdx::tools
