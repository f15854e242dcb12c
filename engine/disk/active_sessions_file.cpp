#include "engine/disk/active_sessions_file.h"

#include <algorithm>

#include "engine/core/page_format.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXActiveSessionsFile::TQDXActiveSessionsFile(TQDXDiskPageManager& pageManager)
    : pageManager_(pageManager), file_(pageManager, ptActiveSessionList) {}

int32_t TQDXActiveSessionsFile::Create(int32_t slotCount) {
  TQDXInternalDBDirectAccessFile created(pageManager_, ptActiveSessionList);
  created.Create(slotCount);
  return created.StartPageNo();
}

void TQDXActiveSessionsFile::Open(int32_t startPageNo) {
  file_.Open(startPageNo);
  slotCount_ = std::max(0, std::min(file_.GetSize(), file_.UsableSize()));
}

// The file lock for one operation: waited for as every lock with retry, its outcome not
// checked (a slot byte lock is atomic by itself). Release gives it back and raises the
// operation's code when it cannot; an exception path gives it back without raising.
class TQDXActiveSessionsFile::FileLock {
 public:
  explicit FileLock(TQDXActiveSessionsFile& owner) : owner_(owner) {
    owner_.pageManager_.LockBytes().WithRetry([this] { return owner_.file_.LockFile(); });
  }
  ~FileLock() {
    if (released_) return;
    try {
      owner_.file_.UnlockFile();
    } catch (...) {  // the failure being reported matters more than this one
    }
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  void Release(const msg::Message& failure) {
    released_ = true;
    if (!owner_.file_.UnlockFile()) Raise(failure);
  }

 private:
  TQDXActiveSessionsFile& owner_;
  bool released_ = false;
};

int32_t TQDXActiveSessionsFile::Connect() {
  FileLock lock(*this);
  int32_t number = -1;
  for (int32_t slot = 0; slot < slotCount_ && number == -1; ++slot) {
    if (file_.LockByte(slot)) number = slot;
  }
  lock.Release(msg::kUnlockSessionsAfterConnect);
  if (number == -1) Raise(msg::kCannotConnectSession);
  return number;
}

void TQDXActiveSessionsFile::Disconnect(int32_t sessionNumber) {
  FileLock lock(*this);
  const bool freed =
      sessionNumber >= 0 && sessionNumber < slotCount_ && file_.UnlockByte(sessionNumber);
  lock.Release(msg::kUnlockSessionsAfterDisconnect);
  if (!freed) Raise(msg::kCannotDisconnectSession);
}

bool TQDXActiveSessionsFile::LockAllSlots() {
  FileLock lock(*this);
  bool locked = false;
  // One lock per page part of the slots instead of one per slot: other processes still see
  // (and are refused) every single slot byte.
  if (slotCount_ > 0 && !file_.IsRegionLocked(0, slotCount_)) {
    // All or nothing, so a process that connected meanwhile keeps its slot.
    locked = file_.LockRegion(0, slotCount_);
  }
  lock.Release(msg::kUnlockSessionsAfterTakeAll);
  return locked;
}

void TQDXActiveSessionsFile::UnlockAllSlots() {
  FileLock lock(*this);
  file_.UnlockRegion(0, slotCount_);
  lock.Release(msg::kUnlockSessionsAfterFreeAll);
}

}  // namespace qdx
