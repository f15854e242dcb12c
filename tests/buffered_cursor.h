// TBufferedCursor: a table cursor with record buffers of its own that has its table open from
// construction to destruction, for test programs that drive a table data object without the
// engine session (the crash workloads, the fuzz target's walk, the fuzz seed writer). Walk
// visits every record in physical order or in the order of one index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/database_data.h"
#include "engine/core/field_def.h"
#include "engine/core/index.h"
#include "engine/core/table_cursor.h"
#include "engine/core/table_data.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/except.h"

namespace qdx::testing {

class TBufferedCursor : public TQDXTableCursor {
 public:
  TBufferedCursor(TQDXDatabaseData& database, TQDXBaseSession& session, const std::string& table) {
    Session = &session;
    TableName = table;
    data_ = database.GetTableData(*this);
    data_->RegisterCursor(*this);
    buffer_.assign(static_cast<size_t>(data_->MemoryRecordSize()), 0);
    key_.assign(static_cast<size_t>(data_->MemoryRecordSize()), 0);
    Buffer = buffer_.data();
    KeyBuffer = key_.data();
  }
  // The BLOB values its buffer holds are let go first: closing the table with any still held
  // is refused.
  ~TBufferedCursor() override {
    data_->FreeBlobCaches(Buffer);
    try {
      data_->UnregisterCursor(*this);
    } catch (const EQDXException&) {  // a value a failed step still held: the storage went anyway
    }
  }
  TBufferedCursor(const TBufferedCursor&) = delete;
  TBufferedCursor& operator=(const TBufferedCursor&) = delete;

  TQDXTableData& Table() const { return *data_; }
  const TQDXFieldDefs& Defs() const { return data_->FieldManager().FieldDefs(); }

  // The object IDs of the table's indexes; -1 when there is no index of that name.
  std::vector<int32_t> IndexIDs() const {
    std::vector<int32_t> ids;
    const TQDXIndexDefs& defs = data_->IndexManager().IndexDefs();
    for (int32_t i = 0; i < defs.Count(); ++i) ids.push_back(defs.GetIndexDef(i).ObjectID());
    return ids;
  }
  int32_t IndexID(const std::string& name) const {
    const TQDXIndexDef* def = data_->IndexManager().IndexDefs().FindIndex(name);
    return def != nullptr ? def->ObjectID() : -1;
  }

  // Calls `visit` on every record in the order of `indexID` (-1: physical order) until it
  // answers false; the cursor is left in physical order.
  template <typename Visit>
  void Walk(int32_t indexID, Visit visit) {
    CurrentIndexID = indexID;
    AtBOF = true;
    AtEOF = false;
    while (data_->GetRecord(*this, grmNext) == grOK) {
      if (!visit()) break;
    }
    CurrentIndexID = -1;
  }

 private:
  TQDXTableData* data_;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> key_;
};

}  // namespace qdx::testing
