// TQDXActiveSessionsFile: the session slots of a database. The session slot file is a
// direct-access internal file of MaxConnections bytes; content byte i is the slot of session
// number i and is taken while some process holds the byte-range lock on it, so a crashed
// process's slots free themselves. The file's own lock byte makes each scan of the slots one
// step between processes.
#pragma once

#include <cstdint>

#include "engine/disk/internal_direct_file.h"
#include "engine/foundation/messages.h"

namespace qdx {

class TQDXDiskPageManager;

class TQDXActiveSessionsFile {
 public:
  explicit TQDXActiveSessionsFile(TQDXDiskPageManager& pageManager);

  // A new slot file of `slotCount` bytes, as the system session; answers its start page and
  // leaves it closed.
  int32_t Create(int32_t slotCount);
  void Open(int32_t startPageNo);
  void Close() { file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }
  int32_t StartPageNo() const { return file_.StartPageNo(); }
  // The smaller of the stored size and the usable size.
  int32_t SlotCount() const { return slotCount_; }

  // Takes the first free slot and answers its number. 20094 when none is free; 20093 when the
  // file cannot be unlocked.
  int32_t Connect();
  // Frees the slot. 20095 when it cannot; 20096 when the file cannot be unlocked.
  void Disconnect(int32_t sessionNumber);
  // Takes every slot when none is taken (single-user open); answers whether it did. 20240 when
  // the file cannot be unlocked.
  bool LockAllSlots();
  // Frees every slot. 20241 when the file cannot be unlocked.
  void UnlockAllSlots();

 private:
  // The file lock, waited for as every lock with retry; the outcome is not checked: a slot
  // byte lock is atomic by itself.
  void LockFileWithRetry();
  void UnlockFileOrRaise(const msg::Message& failure);

  TQDXDiskPageManager& pageManager_;
  TQDXInternalDBDirectAccessFile file_;
  int32_t slotCount_ = 0;
};

}  // namespace qdx
