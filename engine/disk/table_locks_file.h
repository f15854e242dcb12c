// TQDXTableLocksFile: the lock slot file of one table, a direct-access internal file whose bytes
// carry the table and record locks of every session of every process (multi-user mode). A
// lock is an operating-system byte-range lock on one content byte, so a crashed process's
// locks vanish with its file handle.
//
// Content of a file of N slots (12 × N bytes; N is MaxConnections when the table was created):
//
//   | Position              | Size | Meaning                                                    |
//   |-----------------------|------|------------------------------------------------------------|
//   | k × N + s, k = 0..5   | 1    | locked while session s holds a table lock of kind k; kind |
//   |                       |      | 5: while it holds a record lock on the table               |
//   | 6 × N + 6 × s         | 6    | record ID (page i32, slot u16) of the record session s    |
//   |                       |      | locked; meaningful only while byte 5 × N + s is locked     |
//
// Kind 6 (exclusive) has no byte: it is the file lock itself (byte 0 of the first page), kept
// for as long as the exclusive lock lasts. Otherwise the file lock is held only for a moment,
// around a compatibility test and the locking or unlocking of a byte, which makes the test and
// the lock one step between processes. The lock manager (table_lock_manager.h) keeps the
// protocol; this class only reaches the bytes.
#pragma once

#include <cstdint>

#include "engine/core/index.h"
#include "engine/disk/internal_direct_file.h"
#include "engine/foundation/messages.h"

namespace qdx {

class TQDXDiskPageManager;

// The seven kinds of table lock.
enum class TQDXTableLockKind : uint8_t {
  Open = 0,             // a cursor has the table open (shared)
  Read = 1,             // around every read operation of the table data
  Edit = 2,             // editing outside a transaction; record locks kept past a transaction
  TransactionEdit = 3,  // editing inside a transaction: the table is modified by it
  Commit = 4,           // a transaction's changes of the table are being written
  Records = 5,          // the session holds a record lock on the table
  Exclusive = 6,        // exclusive open
};
inline constexpr int kTableLockKindCount = 7;

class TQDXTableLocksFile {
 public:
  explicit TQDXTableLocksFile(TQDXDiskPageManager& pageManager);

  // A new file of `slotCount` slots, as the system session; it stays open. Answers its start
  // page.
  int32_t Create(int32_t slotCount);
  void Open(int32_t startPageNo);
  void Close();
  // Frees the pages of the open file; it is closed after.
  void Delete();
  bool IsOpen() const { return file_.IsOpen(); }
  // The first page: the table's identity in the lock protocol. 10483 when closed.
  int32_t StartPage() const;
  int32_t SlotCount() const { return slotCount_; }

  // The file lock. 10489 / 10490 when closed.
  bool LockFile();
  bool UnlockFile();

  // The kind byte of `session`; kind 6 has none (both answer false). 10491 / 10492 when
  // closed; 20200 for a session outside the slots.
  bool LockKind(int32_t session, TQDXTableLockKind kind);
  bool UnlockKind(int32_t session, TQDXTableLockKind kind);
  // Whether a session other than `session` holds its byte of `kind`; false for kind 6 (whoever
  // holds it holds the file lock). 10493 when closed; 20200.
  bool IsKindHeldByOthers(int32_t session, TQDXTableLockKind kind);

  // The record ID slot of `session`. 10494 when closed; 20200.
  void WriteRecordID(int32_t session, TQDXRecordID id);
  TQDXRecordID ReadRecordID(int32_t session);
  // Whether a session other than `session` holds its record lock byte on the record `id`.
  // 10494 when closed; 20200.
  bool IsRecordLockedByOthers(int32_t session, TQDXRecordID id);

 private:
  void RequireOpen(const msg::Message& message) const;
  void RequireSlot(int32_t session) const;
  int32_t KindPosition(int32_t session, TQDXTableLockKind kind) const;
  int32_t RecordIDPosition(int32_t session) const;
  // Whether a byte of the row of `kind` is locked, the byte of `session` left out.
  bool IsRowLockedBesides(int32_t session, TQDXTableLockKind kind);

  TQDXInternalDBDirectAccessFile file_;
  int32_t slotCount_ = 0;
};

}  // namespace qdx
