#include "engine/disk/active_sessions_file.h"

#include <algorithm>

#include "engine/core/page_format.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/clock.h"

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

void TQDXActiveSessionsFile::LockFileWithRetry() {
  for (int32_t i = 0; i < pageManager_.LockRetryCount(); ++i) {
    if (file_.LockFile()) return;
    platform::Sleep(pageManager_.LockRetryPause());
  }
}

void TQDXActiveSessionsFile::UnlockFileOrRaise(const msg::Message& failure) {
  if (!file_.UnlockFile()) Raise(failure);
}

int32_t TQDXActiveSessionsFile::Connect() {
  LockFileWithRetry();
  int32_t number = -1;
  for (int32_t slot = 0; slot < slotCount_ && number == -1; ++slot) {
    if (file_.LockByte(slot)) number = slot;
  }
  UnlockFileOrRaise(msg::kUnlockSessionsAfterConnect);
  if (number == -1) Raise(msg::kCannotConnectSession);
  return number;
}

void TQDXActiveSessionsFile::Disconnect(int32_t sessionNumber) {
  LockFileWithRetry();
  const bool freed =
      sessionNumber >= 0 && sessionNumber < slotCount_ && file_.UnlockByte(sessionNumber);
  UnlockFileOrRaise(msg::kUnlockSessionsAfterDisconnect);
  if (!freed) Raise(msg::kCannotDisconnectSession);
}

bool TQDXActiveSessionsFile::LockAllSlots() {
  LockFileWithRetry();
  bool locked = false;
  // One lock per page part of the slots instead of one per slot: other processes still see
  // (and are refused) every single slot byte.
  if (slotCount_ > 0 && !file_.IsRegionLocked(0, slotCount_)) {
    // All or nothing, so a process that connected meanwhile keeps its slot.
    locked = file_.LockRegion(0, slotCount_);
  }
  UnlockFileOrRaise(msg::kUnlockSessionsAfterTakeAll);
  return locked;
}

void TQDXActiveSessionsFile::UnlockAllSlots() {
  LockFileWithRetry();
  file_.UnlockRegion(0, slotCount_);
  UnlockFileOrRaise(msg::kUnlockSessionsAfterFreeAll);
}

}  // namespace qdx
