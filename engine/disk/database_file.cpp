#include "engine/disk/database_file.h"

#include <algorithm>
#include <atomic>

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/clock.h"
#include "engine/foundation/platform/file_info.h"
#include "engine/foundation/platform/system_error.h"

namespace qdx {
namespace {

std::atomic<bool> designTimeMode{false};

constexpr int kReconnectAttempts = 3;
constexpr uint32_t kReconnectPauseMs = 1000;

// EINVAL: the argument a lower layer could not take (a negative count or position).
constexpr int kInvalidArgument = 22;

struct SystemError {
  int code;
  std::string text;
};

SystemError LastError() {
  const int code = platform::LastSystemError();
  return {code, platform::SystemErrorMessage(code)};
}

const char* PathKindText(platform::PathKind kind) {
  switch (kind) {
    case platform::PathKind::Directory:
      return msg::kPathIsDirectory;
    case platform::PathKind::Fifo:
      return msg::kPathIsFifo;
    case platform::PathKind::CharacterDevice:
      return msg::kPathIsCharacterDevice;
    case platform::PathKind::BlockDevice:
      return msg::kPathIsBlockDevice;
    case platform::PathKind::Socket:
      return msg::kPathIsSocket;
    default:
      return msg::kPathIsOther;
  }
}

}  // namespace

void RequireRegularFile(platform::FileSystem& fs, const std::string& fileName) {
  const platform::PathInfo info = platform::StatPath(fs, fileName);
  if (info.Kind == platform::PathKind::Missing || info.Kind == platform::PathKind::Regular) return;
  Raise(msg::kNotARegularFile, {fileName, PathKindText(info.Kind)});
}

bool QDXDesignTimeMode() {
  return designTimeMode.load(std::memory_order_relaxed);
}

void SetQDXDesignTimeMode(bool on) {
  designTimeMode.store(on, std::memory_order_relaxed);
}

TQDXDatabaseFile::~TQDXDatabaseFile() {
  if (!isOpen_) return;
  try {
    CloseFile();
  } catch (...) {  // the handle is released whatever the system reports
  }
}

void TQDXDatabaseFile::RequireOpen(std::string_view operation) const {
  if (!isOpen_) Raise(msg::kOperationOnClosedFile, {operation});
}

void TQDXDatabaseFile::RequireClosed(std::string_view operation) const {
  if (isOpen_) Raise(msg::kOperationOnOpenedFile, {operation});
}

void TQDXDatabaseFile::CreateFile(const std::string& fileName) {
  RequireClosed("CreateFile");
  if (fileName.empty()) Raise(msg::kBlankFileName);
  // Removing the name first replaces a file this process may not write to, as clearing its
  // read-only attribute does on Windows.
  platform::FileSystem& fs = FileSystemInUse();
  if (platform::FileExists(fs, fileName)) platform::DeleteFile(fs, fileName);
  fileName_ = fileName;
  accessMode_ = kAccessReadWrite;
  shareMode_ = kShareExclusive;
  locksUnsupported_ = false;
  locksToRetake_.clear();
  position_ = 0;
  share_ = platform::FileShare::ReadWrite;
  if (!file_.Create(fileName, share_)) {
    const SystemError error = LastError();
    Raise(msg::kCannotCreateFile, {fileName, error.code, error.text});
  }
  isOpen_ = true;
}

void TQDXDatabaseFile::OpenFile(const std::string& fileName, uint8_t accessMode,
                                uint8_t shareMode) {
  RequireClosed("OpenFile");
  fileName_ = fileName;
  accessMode_ = accessMode;
  shareMode_ = shareMode;
  locksUnsupported_ = false;
  locksToRetake_.clear();
  if (accessMode > kAccessReadWrite) Raise(msg::kUnknownAccessMode, {accessMode});
  if (shareMode > kShareRead) Raise(msg::kUnknownShareMode, {shareMode});
  share_ = shareMode == kShareExclusive ? platform::FileShare::None
           : shareMode == kShareRead    ? platform::FileShare::Read
                                        : platform::FileShare::ReadWrite;
  if (!OpenHandle()) {
    const SystemError error = LastError();
    Raise(msg::kCannotOpenFile, {fileName, error.code, error.text});
  }
  isOpen_ = true;
}

bool TQDXDatabaseFile::OpenHandle() {
  position_ = 0;
  return file_.Open(fileName_,
                    accessMode_ == kAccessReadOnly ? platform::FileAccess::Read
                                                   : platform::FileAccess::ReadWrite,
                    share_);
}

bool TQDXDatabaseFile::RetakeLocks(const std::vector<std::pair<int64_t, int64_t>>& ranges) {
  for (const auto& [position, count] : ranges) {
    if (file_.LockRange(position, count) != platform::LockResult::Done) return false;
  }
  return true;
}

void TQDXDatabaseFile::CloseFile() {
  RequireOpen("CloseFile");
  isOpen_ = false;
  locksToRetake_.clear();
  if (!file_.Close()) {
    const SystemError error = LastError();
    Raise(msg::kCannotCloseFile, {fileName_, error.code, error.text});
  }
}

bool TQDXDatabaseFile::ReconnectCheck() {
  if (file_.IsOpen() && file_.Size() >= 0) return true;
  const int lostError = platform::LastSystemError();
  // The system dropped the locks with the handle; the new handle takes them back before anybody
  // relies on them, or the file stays closed: a handle without the locks its callers believe
  // they hold would let another process change what they guard.
  if (file_.IsOpen()) locksToRetake_ = file_.HeldRanges();
  file_.Close();
  for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
    if (attempt > 0) platform::Sleep(kReconnectPauseMs);
    if (!OpenHandle()) continue;
    if (RetakeLocks(locksToRetake_)) {
      locksToRetake_.clear();
      return true;
    }
    file_.Close();
  }
  // The caller reports the failure that brought it here, not the reopen's.
  platform::SetLastSystemError(lostError);
  return false;
}

void TQDXDatabaseFile::TransferredAt(int64_t position, int64_t done) {
  // A negative position fails as its seek would have, leaving the pointer where it was.
  if (position >= 0) position_ = position + std::max<int64_t>(done, 0);
}

int64_t TQDXDatabaseFile::CurrentPosition() {
  // The system is still asked, so that a lost handle shows here as it does in every call.
  if (!file_.IsOpen() || file_.Position() < 0) return -1;
  return position_;
}

int64_t TQDXDatabaseFile::CurrentSize() {
  return file_.IsOpen() ? file_.Size() : -1;
}

bool TQDXDatabaseFile::TrySeek(int64_t position) {
  if (!file_.IsOpen()) return false;
  const int64_t reached = file_.Seek(position, platform::SeekOrigin::Begin);
  if (reached < 0 || reached != position) return false;
  position_ = position;
  return true;
}

bool TQDXDatabaseFile::Seek(int64_t position) {
  RequireOpen("Seek");
  if (TrySeek(position)) return true;
  return ReconnectCheck() && TrySeek(position);
}

void TQDXDatabaseFile::SetPosition(int64_t position, const msg::Message& failure) {
  RequireOpen("SetPosition");
  if (Seek(position)) return;
  const int64_t current = CurrentPosition();
  const int64_t size = CurrentSize();
  Raise(failure, {position, fileName_, current, size});
}

int64_t TQDXDatabaseFile::GetPosition() {
  RequireOpen("GetPosition");
  int64_t position = CurrentPosition();
  if (position < 0 && ReconnectCheck()) position = CurrentPosition();
  if (position < 0) {
    const SystemError error = LastError();
    Raise(msg::kCannotGetFilePosition, {fileName_, error.code, error.text});
  }
  return position;
}

void TQDXDatabaseFile::SetSize(int64_t size) {
  RequireOpen("SetSize");
  auto trySetSize = [&] { return file_.IsOpen() && file_.Truncate(size) && TrySeek(size); };
  if (trySetSize()) return;
  if (ReconnectCheck() && trySetSize()) return;
  const SystemError error = LastError();
  Raise(msg::kCannotTruncateFile, {fileName_, size, error.code, error.text});
}

int64_t TQDXDatabaseFile::GetSize() {
  RequireOpen("GetSize");
  int64_t size = CurrentSize();
  if (size < 0 && ReconnectCheck()) size = CurrentSize();
  if (size < 0) {
    const SystemError error = LastError();
    Raise(msg::kCannotGetFileSize, {fileName_, error.code, error.text});
  }
  return size;
}

bool TQDXDatabaseFile::TryRead(void* buffer, int64_t position, int32_t count, int32_t* bytesRead) {
  if (count < 0) {
    platform::SetLastSystemError(kInvalidArgument);
    return false;
  }
  if (!file_.IsOpen()) return false;
  // One positioned call: a page read is the engine's most frequent system call.
  const int64_t done = file_.ReadAt(position, buffer, count);
  TransferredAt(position, done);
  if (done < 0) return false;
  if (bytesRead != nullptr) *bytesRead = static_cast<int32_t>(done);
  return true;
}

bool TQDXDatabaseFile::ReadBuffer(void* buffer, int64_t position, int32_t count,
                                  int32_t* bytesRead) {
  RequireOpen("ReadBuffer");
  if (bytesRead != nullptr) *bytesRead = 0;
  if (TryRead(buffer, position, count, bytesRead)) return true;
  return ReconnectCheck() && TryRead(buffer, position, count, bytesRead);
}

int32_t TQDXDatabaseFile::CheckedReadBuffer(void* buffer, const msg::Message& failure,
                                            int64_t position, int32_t count) {
  RequireOpen("ReadBuffer");
  int32_t bytesRead = 0;
  int lastError = 0;
  // One round: the read, and when it fails a probe of the region's locks and a second read.
  auto round = [&] {
    if (TryRead(buffer, position, count, &bytesRead)) return true;
    lastError = platform::LastSystemError();
    IsRegionLocked(count, position);
    if (TryRead(buffer, position, count, &bytesRead)) return true;
    lastError = platform::LastSystemError();
    return false;
  };
  if (round()) return bytesRead;
  if (ReconnectCheck() && round()) return bytesRead;
  const int64_t current = CurrentPosition();
  const int64_t size = CurrentSize();
  Raise(failure, {fileName_, position, count, current, size, lastError,
                  platform::SystemErrorMessage(lastError)});
}

void TQDXDatabaseFile::WriteBuffer(const void* buffer, const msg::Message& failure,
                                   int64_t position, int32_t count) {
  RequireOpen("WriteBuffer");
  auto tryWrite = [&] {
    if (count < 0) {
      platform::SetLastSystemError(kInvalidArgument);
      return false;
    }
    if (!file_.IsOpen()) return false;
    const int64_t done = file_.WriteAt(position, buffer, count);
    TransferredAt(position, done);
    return done == count;
  };
  if (tryWrite()) return;
  const int firstError = platform::LastSystemError();
  if (ReconnectCheck() && tryWrite()) return;
  // A failed reconnect check leaves the first failure as the last system error.
  const int lastError = file_.IsOpen() ? platform::LastSystemError() : firstError;
  const int64_t current = CurrentPosition();
  const int64_t size = CurrentSize();
  Raise(failure, {fileName_, position, count, current, size, lastError,
                  platform::SystemErrorMessage(lastError)});
}

void TQDXDatabaseFile::FlushFileBuffers() {
  RequireOpen("FlushFileBuffers");
  auto tryFlush = [&] { return file_.IsOpen() && file_.Flush(); };
  if (tryFlush()) return;
  if (ReconnectCheck() && tryFlush()) return;
  const SystemError error = LastError();
  Raise(msg::kCannotFlushFile, {fileName_, error.code, error.text});
}

bool TQDXDatabaseFile::LockCallSucceeded(platform::LockResult result) {
  if (result == platform::LockResult::Done) return true;
  // Another handle holds the range. A file system without locks never answers so: the answer
  // stands even after a call that failed otherwise switched this handle to working without.
  if (result == platform::LockResult::Refused) return false;
  // A lost handle also fails with "cannot lock" errors; it is not a file system without locks,
  // and taking it for one would let every later lock succeed without excluding anybody. The
  // caller's reconnect check deals with it.
  const bool cannotLock = result == platform::LockResult::Unsupported && HandleIsValid();
  if (!locksUnsupported_) locksUnsupported_ = cannotLock;
  return locksUnsupported_;
}

bool TQDXDatabaseFile::HandleIsValid() {
  const int error = platform::LastSystemError();
  const bool valid = file_.IsOpen() && file_.Size() >= 0;
  platform::SetLastSystemError(error);
  return valid;
}

bool TQDXDatabaseFile::TryLock(int64_t count, int64_t position) {
  return LockCallSucceeded(file_.LockRange(position, count));
}

bool TQDXDatabaseFile::TryUnlock(int64_t count, int64_t position) {
  // Without locks nothing was locked, so there is nothing to unlock. A range the handle does
  // hold shows that the system locks; its unlock failing leaves the lock in place, which the
  // caller must hear of, or the range stays locked to everybody else while the file is open.
  if (locksUnsupported_ && !file_.HoldsLock(position, count)) return true;
  return file_.UnlockRange(position, count) == platform::LockResult::Done;
}

bool TQDXDatabaseFile::LockByte(int64_t count, int64_t position) {
  RequireOpen("LockByte");
  if (TryLock(count, position)) return true;
  if (!ReconnectCheck()) return false;
  locksUnsupported_ = false;
  return TryLock(count, position);
}

bool TQDXDatabaseFile::UnlockByte(int64_t count, int64_t position) {
  RequireOpen("UnlockByte");
  bool result = TryUnlock(count, position);
  if (!result && ReconnectCheck()) {
    locksUnsupported_ = false;
    result = TryUnlock(count, position);
  }
  return result || QDXDesignTimeMode();
}

bool TQDXDatabaseFile::IsByteLocked(int64_t position) {
  return IsRegionLocked(1, position);
}

bool TQDXDatabaseFile::IsRegionLocked(int64_t count, int64_t position) {
  RequireOpen("IsRegionLocked");
  if (!LockByte(count, position)) return true;
  UnlockByte(count, position);
  return false;
}

void TQDXDatabaseFile::Attach() {
  if (!QDXDesignTimeMode()) return;
  if (openCount_ == 0) OpenFile(fileName_, accessMode_, shareMode_);
  ++openCount_;
}

void TQDXDatabaseFile::Detach() {
  if (!QDXDesignTimeMode() || openCount_ < 1) return;
  if (--openCount_ == 0) CloseFile();
}

int64_t TQDXDatabaseFile::NextDataPosition(int64_t position) const {
  return platform::NextDataOffset(file_, position);
}

}  // namespace qdx
