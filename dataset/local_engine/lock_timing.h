// LocalLockTiming: how long the local session and its cursors wait for the table and record
// locks of a shared (multi-user) database before they give up.
//
// The defaults are the engine's: an edit or a delete waits for its table lock up to 900 tries
// 100 ms apart, a post (and a BLOB stream's read lock) up to 2250 tries 40 ms apart, and every
// record lock up to 100 tries 15 ms apart. The database waits (the page manager's lock retry and
// the commit locks) are handed to the disk database data when the session creates it. Tests
// shorten all of them so that a refused lock is reported in milliseconds.
#pragma once

#include <cstdint>

#include "engine/disk/table_lock_manager.h"

namespace qdx {

struct LocalLockTiming {
  // EditRecord and DeleteRecord: the table lock of kind 2, 3 or 4.
  int32_t EditTableTries = 900;
  uint32_t EditTablePauseMs = 100;
  // PostRecord and OpenBlob: the table lock, one try at a time with the database left between.
  int32_t PostTableTries = 2250;
  uint32_t PostTablePauseMs = 40;
  // EditRecord and DeleteRecord: the record lock.
  int32_t RecordTries = 100;
  uint32_t RecordPauseMs = 15;
  // The page manager's lock retry (0 keeps the page manager's own defaults) and the commit locks
  // of the disk database data the session creates.
  int32_t DatabaseRetryCount = 0;
  uint32_t DatabaseRetryPauseMs = 0;
  TQDXLockTiming Commit;
};

}  // namespace qdx
