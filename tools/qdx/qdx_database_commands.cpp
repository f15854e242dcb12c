// qdx create --schema, repair and compact. Compaction works at the engine level, through the
// disk database data of the file; creating tables and repairing go through the database
// component and the table operations, as a program would.
#include "tools/qdx/qdx_database_commands.h"

#include "engine/core/base_session.h"
#include "engine/disk/disk_database_data.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "tools/qdx/qdx_commands.h"

namespace qdx::tools {

namespace {

int64_t FileSize(const std::string& fileName) {
  platform::FileStatus status;
  if (!platform::StatFile(fileName, status)) {
    throw EQdxToolFault(ToolText(msg::kQdxCannotStat, {fileName}));
  }
  return status.Size;
}

// A session of the database data for the duration of one command; leaves on every path.
class EngineSessionScope {
 public:
  EngineSessionScope(TQDXDiskDatabaseData& data, TQDXBaseSession& session) : data_(data) {
    data_.AddSession(session);
    session_ = &session;
  }
  ~EngineSessionScope() {
    try {
      data_.RemoveSession(*session_);
    } catch (...) {
      // The file is closed by the database data's destructor all the same.
    }
  }
  EngineSessionScope(const EngineSessionScope&) = delete;
  EngineSessionScope& operator=(const EngineSessionScope&) = delete;

 private:
  TQDXDiskDatabaseData& data_;
  TQDXBaseSession* session_ = nullptr;
};

}  // namespace

CompactResult CompactDatabase(const std::string& fileName, const std::string& password) {
  CompactResult result;
  result.SizeBefore = FileSize(fileName);
  {
    TQDXDiskDatabaseData data(fileName);
    TQDXBaseSession session;
    session.Exclusive = true;
    session.Password.Password = password;
    const EngineSessionScope connected(data, session);
    if (session.RepairNeeded) throw EQdxToolFault(ToolText(msg::kQdxCompactNeedsRepair, {fileName}));
    data.TruncateFreeTail();
  }
  result.SizeAfter = FileSize(fileName);
  return result;
}

void PrintCompact(const CompactResult& result, std::ostream& out) {
  out << ToolText(msg::kQdxCompactSizes, {result.SizeBefore, result.SizeAfter}) << "\n";
}

}  // namespace qdx::tools
