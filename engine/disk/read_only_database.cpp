// The read-only database and its table reader.
#include "engine/disk/read_only_database.h"

namespace qdx {

TQDXReadOnlyDatabase::TQDXReadOnlyDatabase(const std::string& fileName,
                                           const std::string& password)
    : data_(fileName) {
  data_.ReadOnly = true;
  data_.LockRetryCount = 50;
  data_.LockRetryPause = 20;
  session_.ReadOnly = true;
  session_.Password.Password = password;
  data_.AddSession(session_);
}

TQDXReadOnlyDatabase::~TQDXReadOnlyDatabase() {
  try {
    data_.RemoveSession(session_);
  } catch (...) {  // closing cannot be refused
  }
}

std::vector<std::string> TQDXReadOnlyDatabase::TableNames() {
  std::vector<std::string> names;
  data_.GetTableNames(names);
  return names;
}

TQDXTableReader::TQDXTableReader(TQDXReadOnlyDatabase& database, const std::string& table) {
  Session = &database.Session();
  TableName = table;
  data_ = static_cast<TQDXDiskTableData*>(database.Data().GetTableData(*this));
  data_->RegisterCursor(*this);
  buffer_.assign(static_cast<size_t>(data_->MemoryRecordSize()), 0);
  Buffer = buffer_.data();
}

TQDXTableReader::~TQDXTableReader() {
  try {
    data_->UnregisterCursor(*this);
  } catch (...) {  // the table closes with the database anyway
  }
}

}  // namespace qdx
