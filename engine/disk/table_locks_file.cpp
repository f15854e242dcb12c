#include "engine/disk/table_locks_file.h"

#include <algorithm>
#include <array>

#include "engine/core/page_format.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

// Kind bytes, one row of N per kind 0..5, then one 6-byte record ID per slot.
constexpr int32_t kKindRows = 6;
constexpr int32_t kBytesPerSlot = kKindRows + TQDXRecordID::kSize;

}  // namespace

TQDXTableLocksFile::TQDXTableLocksFile(TQDXDiskPageManager& pageManager)
    : file_(pageManager, ptTableLocks) {}

int32_t TQDXTableLocksFile::Create(int32_t slotCount) {
  file_.Create(slotCount * kBytesPerSlot);
  slotCount_ = slotCount;
  return file_.StartPageNo();
}

void TQDXTableLocksFile::Open(int32_t startPageNo) {
  file_.Open(startPageNo);
  // A stored size beyond the pages of the chain must not let a slot address past them.
  slotCount_ = std::max(0, std::min(file_.GetSize(), file_.UsableSize())) / kBytesPerSlot;
}

void TQDXTableLocksFile::Close() {
  file_.Close();
  slotCount_ = 0;
}

void TQDXTableLocksFile::Delete() {
  RequireOpen(msg::kTableLocksStartPageNil);
  file_.Delete(file_.StartPageNo());
  slotCount_ = 0;
}

void TQDXTableLocksFile::RequireOpen(const msg::Message& message) const {
  if (!file_.IsOpen()) Raise(message);
}

void TQDXTableLocksFile::RequireSlot(int32_t session) const {
  if (session < 0 || session >= slotCount_) Raise(msg::kCannotSetTableLockNoSlot);
}

int32_t TQDXTableLocksFile::StartPage() const {
  RequireOpen(msg::kTableLocksStartPageNil);
  return file_.StartPageNo();
}

int32_t TQDXTableLocksFile::KindPosition(int32_t session, TQDXTableLockKind kind) const {
  return static_cast<int32_t>(kind) * slotCount_ + session;
}

int32_t TQDXTableLocksFile::RecordIDPosition(int32_t session) const {
  return kKindRows * slotCount_ + TQDXRecordID::kSize * session;
}

bool TQDXTableLocksFile::LockFile() {
  RequireOpen(msg::kTableLocksFileLockNil);
  return file_.LockFile();
}

bool TQDXTableLocksFile::UnlockFile() {
  RequireOpen(msg::kTableLocksFileUnlockNil);
  return file_.UnlockFile();
}

bool TQDXTableLocksFile::LockKind(int32_t session, TQDXTableLockKind kind) {
  RequireOpen(msg::kTableLocksKindLockNil);
  RequireSlot(session);
  if (kind == TQDXTableLockKind::Exclusive) return false;
  return file_.LockByte(KindPosition(session, kind));
}

bool TQDXTableLocksFile::UnlockKind(int32_t session, TQDXTableLockKind kind) {
  RequireOpen(msg::kTableLocksKindUnlockNil);
  RequireSlot(session);
  if (kind == TQDXTableLockKind::Exclusive) return false;
  return file_.UnlockByte(KindPosition(session, kind));
}

bool TQDXTableLocksFile::IsRowLockedBesides(int32_t session, TQDXTableLockKind kind) {
  const int32_t row = KindPosition(0, kind);
  return file_.IsRegionLocked(row, session) ||
         file_.IsRegionLocked(row + session + 1, slotCount_ - session - 1);
}

bool TQDXTableLocksFile::IsKindHeldByOthers(int32_t session, TQDXTableLockKind kind) {
  RequireOpen(msg::kTableLocksKindTestNil);
  RequireSlot(session);
  if (kind == TQDXTableLockKind::Exclusive) return false;
  return IsRowLockedBesides(session, kind);
}

void TQDXTableLocksFile::WriteRecordID(int32_t session, TQDXRecordID id) {
  RequireOpen(msg::kTableLocksRecordNil);
  RequireSlot(session);
  std::array<uint8_t, TQDXRecordID::kSize> bytes{};
  id.Store(bytes.data());
  file_.DirectWriteBuffer(bytes.data(), TQDXRecordID::kSize, RecordIDPosition(session));
}

TQDXRecordID TQDXTableLocksFile::ReadRecordID(int32_t session) {
  RequireOpen(msg::kTableLocksRecordNil);
  RequireSlot(session);
  std::array<uint8_t, TQDXRecordID::kSize> bytes{};
  file_.DirectReadBuffer(bytes.data(), TQDXRecordID::kSize, RecordIDPosition(session));
  return TQDXRecordID::Load(bytes.data());
}

bool TQDXTableLocksFile::IsRecordLockedByOthers(int32_t session, TQDXRecordID id) {
  RequireOpen(msg::kTableLocksRecordNil);
  RequireSlot(session);
  // One test of the whole row first: usually nobody else holds a record lock.
  if (!IsRowLockedBesides(session, TQDXTableLockKind::Records)) return false;
  for (int32_t other = 0; other < slotCount_; ++other) {
    if (other == session) continue;
    if (file_.IsByteLocked(KindPosition(other, TQDXTableLockKind::Records)) &&
        ReadRecordID(other) == id) {
      return true;
    }
  }
  return false;
}

}  // namespace qdx
