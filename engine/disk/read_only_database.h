// A database file opened for reading only by code beside the dataset layer (the tool's table
// commands, counting a backup's records): one read-only session that ends with the object, and a
// cursor that keeps one table open, with its record buffer, while it lives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/table_cursor.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_table_data.h"

namespace qdx {

class TQDXReadOnlyDatabase {
 public:
  // Waits up to about a second for a commit of another program to end.
  TQDXReadOnlyDatabase(const std::string& fileName, const std::string& password);
  ~TQDXReadOnlyDatabase();
  TQDXReadOnlyDatabase(const TQDXReadOnlyDatabase&) = delete;
  TQDXReadOnlyDatabase& operator=(const TQDXReadOnlyDatabase&) = delete;

  TQDXDiskDatabaseData& Data() { return data_; }
  TQDXBaseSession& Session() { return session_; }
  std::vector<std::string> TableNames();

 private:
  TQDXDiskDatabaseData data_;
  TQDXBaseSession session_;
};

class TQDXTableReader : public TQDXTableCursor {
 public:
  TQDXTableReader(TQDXReadOnlyDatabase& database, const std::string& table);
  ~TQDXTableReader() override;
  TQDXTableReader(const TQDXTableReader&) = delete;
  TQDXTableReader& operator=(const TQDXTableReader&) = delete;

  TQDXDiskTableData& Table() const { return *data_; }

 private:
  TQDXDiskTableData* data_;
  std::vector<uint8_t> buffer_;
};

}  // namespace qdx
