// qdx create --schema, repair and compact. Compaction works at the engine level, through the
// disk database data of the file; creating tables and repairing go through the database
// component and the table operations, as a program would.
#include "tools/qdx/qdx_database_commands.h"

#include <algorithm>
#include <string>

#include "dataset/qdx_database.h"
#include "engine/core/base_session.h"
#include "engine/disk/disk_database_data.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "engine/foundation/scope_guard.h"
#include "tools/qdx/qdx_commands.h"
#include "tools/qdx/qdx_messages.h"

namespace qdx::tools {

namespace {

int64_t FileSize(const std::string& fileName) {
  platform::FileStatus status;
  if (!platform::StatFile(fileName, status)) {
    throw EQdxToolFault(ToolText(msg::kQdxCannotStat, {fileName}));
  }
  return status.Size;
}

// Adds a session to the database data for the duration of one command; the guard returned
// removes it on every path.
auto Connected(TQDXDiskDatabaseData& data, TQDXBaseSession& session) {
  data.AddSession(session);
  return ScopeExit([&data, &session] {
    try {
      data.RemoveSession(session);
    } catch (...) {
      // The file is closed by the database data's destructor all the same.
    }
  });
}

}  // namespace

void RepairProgressPrinter::Report(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (terminal_) {
    if (percent == last_) return;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    out_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
         << std::string(static_cast<size_t>(kWidth - filled), ' ') << "] " << percent << "%"
         << std::flush;
  } else {
    // A line at every tenth, so that a log shows the repair moving without a line per percent.
    if (percent / 10 == last_ / 10 && last_ >= 0) return;
    out_ << ToolText(msg::kQdxRepairProgress, {percent / 10 * 10}) << "\n";
  }
  last_ = percent;
}

void RepairProgressPrinter::Finish() {
  if (terminal_ && last_ >= 0) out_ << "\n";
}

std::string RepairDatabase(const std::string& fileName, const std::string& password,
                           RepairProgressPrinter& progress) {
  if (!platform::FileExists(fileName)) {
    throw EQdxToolFault(ToolText(msg::kQdxCannotStat, {fileName}));
  }
  TQDXDatabase database("qdx");
  database.SetDatabaseName("qdx_repair");
  database.SetDatabaseFileName(fileName);
  database.Password = password;
  database.SilentMode = true;
  database.OnRepairProgress = [&](TQDXDatabase&, int percent, bool&) { progress.Report(percent); };
  const std::string errors = database.Rebuild();
  progress.Finish();
  return errors;
}

CompactResult CompactDatabase(const std::string& fileName, const std::string& password) {
  CompactResult result;
  result.SizeBefore = FileSize(fileName);
  {
    TQDXDiskDatabaseData data(fileName);
    TQDXBaseSession session;
    session.Exclusive = true;
    session.Password.Password = password;
    const auto connected = Connected(data, session);
    if (session.RepairNeeded) throw EQdxToolFault(ToolText(msg::kQdxCompactNeedsRepair, {fileName}));
    // The exclusive open found the file open elsewhere and fell back to reading it.
    if (data.ReadOnly && !platform::IsFileReadOnly(fileName)) {
      throw EQdxToolFault(ToolText(msg::kQdxDatabaseInUse, {fileName}));
    }
    data.TruncateFreeTail();
  }
  result.SizeAfter = FileSize(fileName);
  return result;
}

void PrintCompact(const CompactResult& result, std::ostream& out) {
  out << ToolText(msg::kQdxCompactSizes, {result.SizeBefore, result.SizeAfter}) << "\n";
}

}  // namespace qdx::tools
