// The copy of a database file under its database lock (database_copy.h).
#include "engine/disk/database_copy.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "engine/disk/commit_journal.h"
#include "engine/disk/database_file.h"
#include "engine/disk/database_header.h"
#include "engine/disk/database_header_blocks.h"
#include "engine/disk/database_lock_bytes.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "engine/foundation/platform/system_error.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {
namespace {

constexpr int32_t kCopyChunk = 1 << 20;
// The signature is looked for at the start of the file only: a database stored behind other
// data is the open's business, not a backup's.
constexpr int32_t kSignatureSearch = 64 * 1024;

void OpenShared(TQDXDatabaseFile& file, const std::string& fileName) {
  file.OpenFile(fileName, TQDXDatabaseFile::kAccessReadOnly, TQDXDatabaseFile::kShareReadWrite);
}

// Where the database starts in the file.
int64_t FindBaseOffset(TQDXDatabaseFile& file) {
  std::vector<uint8_t> start(kSignatureSearch);
  const int32_t got =
      file.CheckedReadBuffer(start.data(), msg::kReadFileForCopy, 0, kSignatureSearch);
  if (got == 0) Raise(msg::kInvalidFileFormatEmpty);
  const auto offset = FindDatabaseSignature({start.data(), static_cast<size_t>(got)});
  if (!offset) {
    const size_t shown = std::min<size_t>(static_cast<size_t>(got), kDatabaseSignature.size());
    const std::string expected(kDatabaseSignature.begin(), kDatabaseSignature.end());
    Raise(msg::kInvalidFileFormat,
          {PrintableBytes({reinterpret_cast<const char*>(start.data()), shown}), expected});
  }
  return static_cast<int64_t>(*offset);
}

void CopyBytes(TQDXDatabaseFile& from, TQDXDatabaseFile& to, int64_t size) {
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(size, kCopyChunk)));
  for (int64_t position = 0; position < size;) {
    const auto count = static_cast<int32_t>(std::min<int64_t>(size - position, kCopyChunk));
    const int32_t got = from.CheckedReadBuffer(chunk.data(), msg::kReadFileForCopy, position, count);
    // The size was taken under the lock, so a short read is a file cut behind the lock's back.
    if (got != count) Raise(msg::kCopyNeedsRepair, {from.FileName()});
    to.WriteBuffer(chunk.data(), msg::kWriteFileForCopy, position, count);
    position += count;
  }
}

// The layout with the page area: it follows the lock block, whose size the file holds. None for
// a lock block too short to hold the database lock byte: a damaged file, not to be rolled back.
std::optional<TQDXDatabaseLayout> PageAreaLayout(TQDXDatabaseFile& file,
                                                 const TQDXDatabaseLayout& lockLayout,
                                                 uint16_t pageSize) {
  uint8_t lockBlockSize[2] = {};
  int32_t got = 0;
  if (!file.ReadBuffer(lockBlockSize, lockLayout.LockBlockPosition(), sizeof lockBlockSize, &got) ||
      got != sizeof lockBlockSize) {
    return std::nullopt;
  }
  const int16_t size = DecodeLockBlockSize(lockBlockSize);
  if (size <= kDatabaseLockByteOffset) return std::nullopt;
  return TQDXDatabaseLayout(lockLayout.BaseOffset(), kMainHeaderSize, size, pageSize);
}

// The copy of a file left in the middle of a commit, rolled back from the source's journal
// (copied beside it, so the source and its journal stay as they are for their owner).
bool RollBackCopy(const std::string& source, TQDXDatabaseFile& copy,
                  const TQDXDatabaseLayout& lockLayout, uint16_t pageSize) {
  const std::optional<TQDXDatabaseLayout> layout = PageAreaLayout(copy, lockLayout, pageSize);
  if (!layout) return false;
  const std::string sourceJournal = TQDXCommitJournal::PathFor(source);
  const std::string copyJournal = TQDXCommitJournal::PathFor(copy.FileName());
  if (!platform::FileExists(sourceJournal)) return false;
  const ScopeExit removeJournal([&] { platform::DeleteFile(copyJournal); });
  {
    TQDXDatabaseFile from;
    OpenShared(from, sourceJournal);
    TQDXDatabaseFile to;
    to.CreateFile(copyJournal);
    CopyBytes(from, to, from.GetSize());
  }
  return RollBackJournal(copy, *layout);
}

}  // namespace

TQDXDatabaseCopy CopyDatabaseFile(const std::string& source, const std::string& destination,
                                  const TQDXDatabaseCopyOptions& options) {
  RequireRegularFile(platform::CurrentFileSystem(), source);
  TQDXDatabaseFile file;
  OpenShared(file, source);
  // Only the base offset moves the database lock byte: header and password block have fixed
  // sizes, and the lock byte lies before the lock block's variable part.
  const TQDXDatabaseLayout layout(FindBaseOffset(file), kMainHeaderSize, kLockBlockSize,
                                  kDefaultPageSize);

  const std::string temporary = destination + ".part";
  TQDXDatabaseFile copy;
  ScopeExit removeTemporary([&] {
    if (copy.IsOpen()) copy.CloseFile();
    platform::DeleteFile(temporary);
  });
  TQDXDatabaseCopy result;
  {
    TQDXDatabaseLockBytes locks(file, layout);
    locks.SetRetry(options.LockRetryCount, options.LockRetryPauseMs);
    const TQDXDatabaseLockGuard lock(locks, TQDXDatabaseLockGuard::Wait::WithRetry);
    if (!lock.Held()) Raise(msg::kCopyDatabaseLocked, {source});
    TQDXDatabaseHeaderBlocks blocks(file, layout);
    blocks.ReadHeader();
    result.Size = file.GetSize();
    copy.CreateFile(temporary);
    CopyBytes(file, copy, result.Size);
    result.ChangeCounter = blocks.Header().ChangeCounter;
    if (blocks.Header().FileState == kFileStateWriting) {
      if (!RollBackCopy(source, copy, layout, blocks.Header().PageSize)) {
        Raise(msg::kCopyNeedsRepair, {source});
      }
      result.RolledBack = true;
      result.Size = copy.GetSize();
    }
  }
  file.CloseFile();
  copy.FlushFileBuffers();
  copy.CloseFile();
  if (!platform::RenameFile(temporary, destination)) {
    const int code = platform::LastSystemError();
    Raise(msg::kRenameCopy, {temporary, destination, code, platform::SystemErrorMessage(code)});
  }
  removeTemporary.Dismiss();
  // The new name must survive a power cut as well as the bytes behind it.
  platform::SyncDirectoryOf(destination);
  return result;
}

int32_t ReadDatabaseChangeCounter(const std::string& fileName) {
  RequireRegularFile(platform::CurrentFileSystem(), fileName);
  TQDXDatabaseFile file;
  OpenShared(file, fileName);
  const TQDXDatabaseLayout layout(FindBaseOffset(file), kMainHeaderSize, kLockBlockSize,
                                  kDefaultPageSize);
  TQDXDatabaseHeaderBlocks blocks(file, layout);
  blocks.ReadHeader();
  return blocks.Header().ChangeCounter;
}

}  // namespace qdx
