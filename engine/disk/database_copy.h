// CopyDatabaseFile: a copy of a database file as one committed state, taken while other
// handles (this program's own, another program's, writers in multi-user mode) keep the file
// open.
//
// Every commit and every allocation of pages holds the database lock byte from its first write
// to its last (disk_page_manager.h, note 1), so a handle that holds that byte sees no write
// under way. The copy opens the file read-only, sharing it with everyone, takes the byte with
// the same retries a commit uses (a read-only handle takes it shared, which keeps writers out
// just as well), and reads the whole file. A commit cut off by a crash is not rolled back in the
// source (a read-only handle must not write, and the owner rolls it back at its next commit):
// the copy is rolled back instead, from the source's hot journal. A copy of a file left in the
// middle of a commit without a journal that can undo it would need repair, and is refused.
//
// The copy is written to "<destination>.part" (the journal of a rollback beside it), flushed,
// and renamed over `destination`, so that a failure or a crash leaves the destination as it
// was. Enciphered pages are copied as stored: no password is needed. Passwords, cipher and
// page size of the copy are those of the source.
//
// Safe to call from several threads on different destinations; each call has its own handles.
#pragma once

#include <cstdint>
#include <string>

namespace qdx {

struct TQDXDatabaseCopy {
  int64_t Size = 0;            // bytes copied
  int32_t ChangeCounter = 0;   // of the copy's header: the commits it holds
  bool RolledBack = false;     // the source was left in the middle of a commit; the copy is not
};

struct TQDXDatabaseCopyOptions {
  // How long the database lock is waited for: the commit's own 4500 tries 20 ms apart.
  int32_t LockRetryCount = 4500;
  uint32_t LockRetryPauseMs = 20;
};

// Copies `source` to `destination` (replaced when it exists). Failures: 30471 for a source that
// is no regular file; 30364 when it cannot be opened; 10470 / 30485 for a file without a
// database signature at its start; 30650 when the database stays locked; 30651 when the source
// needs repair; the file errors of reads (30652), writes and flushes of the copy (30653,
// 30361, 30379) and 30654 when the copy cannot be renamed into place. After a failure the
// destination is as it was and no ".part" file is left.
TQDXDatabaseCopy CopyDatabaseFile(const std::string& source, const std::string& destination,
                                  const TQDXDatabaseCopyOptions& options = {});

// The ChangeCounter in the header of a database file, read without a session and without
// locks (the 76-byte header is written whole): it moves on with every commit, so comparing two
// readings tells whether anything was committed in between. Raises as CopyDatabaseFile's open.
int32_t ReadDatabaseChangeCounter(const std::string& fileName);

}  // namespace qdx
