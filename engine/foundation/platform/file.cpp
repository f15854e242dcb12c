#include "engine/foundation/platform/file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "engine/foundation/platform/clock.h"
#include "engine/foundation/platform/file_system.h"
#include "engine/foundation/platform/system_error.h"

namespace qdx::platform {
namespace {

template <typename T>
T Failed(T value) {
  SetLastSystemError(errno);
  return value;
}

FileSystem& Fs() {
  return CurrentFileSystem();
}

// Repeats `transfer(done)` until `count` bytes moved, the end of the file (reads) or a failure;
// an interrupted call is repeated. A write that moves nothing fails with errno as it left it.
template <typename Transfer>
int64_t TransferAll(int64_t count, bool isWrite, Transfer transfer) {
  int64_t done = 0;
  while (done < count) {
    const int64_t n = transfer(done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (n == 0 && isWrite)) return Failed<int64_t>(-1);
    if (n == 0) break;
    done += n;
  }
  return done;
}

// The share bytes (file.h), as offsets from kShareBytesPosition.
enum ShareByte : int64_t { kReads = 0, kWrites = 1, kDeniesRead = 2, kDeniesWrite = 3 };

// An open racing another one for the share bytes tries this often, pausing between tries.
constexpr int kShareAttempts = 6;

struct ShareBytes {
  bool reads;
  bool writes;
  bool deniesRead;
  bool deniesWrite;

  bool Holds(int64_t byte) const {
    switch (byte) {
      case kReads: return reads;
      case kWrites: return writes;
      case kDeniesRead: return deniesRead;
      default: return deniesWrite;
    }
  }
};

ShareBytes ShareBytesOf(FileAccess access, FileShare share) {
  return {access != FileAccess::Write, access != FileAccess::Read, share == FileShare::None,
          share != FileShare::ReadWrite};
}

bool OthersHold(FileSystem& fs, int fd, int64_t byte) {
  return fs.OthersHoldShareLock(fd, kShareBytesPosition + byte, 1);
}

// Whether a handle other than `fd`'s denies what `mine` does, or does what `mine` denies.
bool ShareConflict(FileSystem& fs, int fd, const ShareBytes& mine) {
  return (mine.reads && OthersHold(fs, fd, kDeniesRead)) ||
         (mine.writes && OthersHold(fs, fd, kDeniesWrite)) ||
         (mine.deniesRead && OthersHold(fs, fd, kReads)) ||
         (mine.deniesWrite && OthersHold(fs, fd, kWrites));
}

void ReleaseShareBytes(FileSystem& fs, int fd, const ShareBytes& mine) {
  for (int64_t byte = kReads; byte <= kDeniesWrite; ++byte) {
    if (mine.Holds(byte)) fs.SetShareLock(fd, false, kShareBytesPosition + byte, 1);
  }
}

// Takes the bytes of `mine`; false when the system cannot lock them here at all.
bool SetShareBytes(FileSystem& fs, int fd, const ShareBytes& mine) {
  for (int64_t byte = kReads; byte <= kDeniesWrite; ++byte) {
    if (mine.Holds(byte) && !fs.SetShareLock(fd, true, kShareBytesPosition + byte, 1)) {
      ReleaseShareBytes(fs, fd, mine);
      return false;
    }
  }
  return true;
}

// The pause before the next try of a raced open, different for each process so that two
// openers that backed off together do not meet again.
uint32_t SharePause(int attempt) {
  return 1 + static_cast<uint32_t>((::getpid() + attempt * 3) % 7);
}

}  // namespace

bool File::TakeShareBytes(FileAccess access, FileShare share) {
  const ShareBytes mine = ShareBytesOf(access, share);
  for (int attempt = 0; attempt < kShareAttempts; ++attempt) {
    if (attempt > 0) Sleep(SharePause(attempt));
    // Only shared locks are taken here, and nobody takes another kind on these bytes: a
    // refusal means a descriptor (one opened for writing only) or a file system that cannot
    // lock, where share modes are not enforced.
    if (!SetShareBytes(Sys(), fd_, mine)) return true;
    if (!ShareConflict(Sys(), fd_, mine)) return true;
    ReleaseShareBytes(Sys(), fd_, mine);
  }
  Sys().Close(std::exchange(fd_, -1));
  readOnly_ = false;
  SetLastSystemError(EBUSY);
  return false;
}

File::~File() {
  Close();
}

File::File(File&& other) noexcept
    : fileSystem_(other.fileSystem_),
      fd_(std::exchange(other.fd_, -1)),
      readOnly_(std::exchange(other.readOnly_, false)),
      held_(std::exchange(other.held_, {})) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fileSystem_ = other.fileSystem_;
    fd_ = std::exchange(other.fd_, -1);
    readOnly_ = std::exchange(other.readOnly_, false);
    held_ = std::exchange(other.held_, {});
  }
  return *this;
}

bool File::Create(const std::string& path, FileShare share) {
  Close();
  fd_ = Sys().Open(path, OpenMode::CreateReadWrite);
  if (fd_ < 0) return Failed(false);
  return TakeShareBytes(FileAccess::ReadWrite, share);
}

bool File::Open(const std::string& path, FileAccess access, FileShare share) {
  Close();
  const OpenMode mode = access == FileAccess::Read    ? OpenMode::Read
                        : access == FileAccess::Write ? OpenMode::Write
                                                      : OpenMode::ReadWrite;
  fd_ = Sys().Open(path, mode);
  if (fd_ < 0) return Failed(false);
  readOnly_ = access == FileAccess::Read;
  return TakeShareBytes(access, share);
}

bool File::CreateTemporary(const std::string& prefix, std::string* path) {
  Close();
  std::string name = TemporaryDirectory() + "/" + prefix + "XXXXXX";
  fd_ = Sys().CreateUnique(name);
  if (fd_ < 0) return Failed(false);
  Sys().Delete(name);
  if (path != nullptr) *path = std::move(name);
  return true;
}

bool File::Close() {
  held_.clear();
  readOnly_ = false;
  if (fd_ < 0) return true;
  const int result = Sys().Close(std::exchange(fd_, -1));
  return result == 0 || Failed(false);
}

int64_t File::Read(void* buffer, int64_t count) {
  return TransferAll(count, false, [&](int64_t done) {
    return Sys().Read(fd_, static_cast<char*>(buffer) + done, count - done);
  });
}

int64_t File::Write(const void* buffer, int64_t count) {
  return TransferAll(count, true, [&](int64_t done) {
    return Sys().Write(fd_, static_cast<const char*>(buffer) + done, count - done);
  });
}

int64_t File::ReadAt(int64_t offset, void* buffer, int64_t count) {
  return TransferAll(count, false, [&](int64_t done) {
    return Sys().ReadAt(fd_, offset + done, static_cast<char*>(buffer) + done, count - done);
  });
}

int64_t File::WriteAt(int64_t offset, const void* buffer, int64_t count) {
  return TransferAll(count, true, [&](int64_t done) {
    return Sys().WriteAt(fd_, offset + done, static_cast<const char*>(buffer) + done, count - done);
  });
}

int64_t File::Seek(int64_t offset, SeekOrigin origin) {
  const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                     : origin == SeekOrigin::Current ? SEEK_CUR
                                                     : SEEK_END;
  const int64_t result = Sys().Seek(fd_, offset, whence);
  return result >= 0 ? result : Failed<int64_t>(-1);
}

int64_t File::Size() {
  FileStatus status;
  if (!Sys().Stat(fd_, status)) return Failed<int64_t>(-1);
  return status.Size;
}

bool File::Truncate(int64_t size) {
  return Sys().Truncate(fd_, size) || Failed(false);
}

bool File::Flush() {
  return Sys().Flush(fd_) || Failed(false);
}

namespace {

// Errors of a lock call that mean "this descriptor or file system cannot lock", as opposed to
// "someone holds it".
bool MeansLocksUnsupported(int error) {
  switch (error) {
    case ENOLCK:
    case EOPNOTSUPP:
#if ENOTSUP != EOPNOTSUPP
    case ENOTSUP:
#endif
    case EINVAL:
    case ENOSYS:
    case EBADF:
    case EIO:
    case EROFS:
    case ENETDOWN:
    case ENETUNREACH:
    case ENETRESET:
    case ECONNRESET:
    case ENOTCONN:
    case ESTALE:
    case ENXIO:
    case ENODEV:
      return true;
    default:
      return false;
  }
}

LockResult SetOfdLock(FileSystem& fs, int fd, LockKind kind, int64_t offset, int64_t count) {
  bool done;
  do {
    done = fs.SetLock(fd, kind, offset, count);
  } while (!done && errno == EINTR);
  if (done) return LockResult::Done;
  const int error = errno;
  SetLastSystemError(error);
  return MeansLocksUnsupported(error) ? LockResult::Unsupported : LockResult::Refused;
}

// The exclusive lock of a read-only description, which the system allows only shared locks:
// take a shared lock (refused while anyone holds an exclusive one), then give it back when
// another description holds any lock on the range. Two readers racing for one range may both
// back off; neither ever believes it holds a range the other holds.
LockResult LockShared(FileSystem& fs, int fd, int64_t offset, int64_t count) {
  const LockResult result = SetOfdLock(fs, fd, LockKind::Shared, offset, count);
  if (result != LockResult::Done) return result;
  if (!fs.OthersHoldLock(fd, offset, count)) return LockResult::Done;
  SetOfdLock(fs, fd, LockKind::Unlock, offset, count);
  SetLastSystemError(EAGAIN);
  return LockResult::Refused;
}

bool Overlaps(int64_t offset1, int64_t count1, int64_t offset2, int64_t count2) {
  return offset1 < offset2 + count2 && offset2 < offset1 + count1;
}

}  // namespace

LockResult File::LockRange(int64_t offset, int64_t count) {
  if (fd_ < 0) {
    SetLastSystemError(EBADF);
    return LockResult::Unsupported;
  }
  if (offset < 0 || count <= 0 || offset > INT64_MAX - count) {
    SetLastSystemError(EINVAL);
    return LockResult::Refused;
  }
  if (HoldsLock(offset, count)) {
    SetLastSystemError(EAGAIN);
    return LockResult::Refused;
  }
  const LockResult result = readOnly_ ? LockShared(Sys(), fd_, offset, count)
                                      : SetOfdLock(Sys(), fd_, LockKind::Exclusive, offset, count);
  if (result == LockResult::Done) held_.push_back({offset, count});
  return result;
}

LockResult File::UnlockRange(int64_t offset, int64_t count) {
  if (fd_ < 0) {
    SetLastSystemError(EBADF);
    return LockResult::Unsupported;
  }
  auto it = std::find_if(held_.begin(), held_.end(), [&](const HeldRange& range) {
    return range.offset == offset && range.count == count;
  });
  if (it == held_.end()) {
    SetLastSystemError(ENOLCK);
    return LockResult::Refused;
  }
  const LockResult result = SetOfdLock(Sys(), fd_, LockKind::Unlock, offset, count);
  if (result == LockResult::Done) held_.erase(it);
  return result;
}

bool File::HoldsLock(int64_t offset, int64_t count) const {
  return std::any_of(held_.begin(), held_.end(), [&](const HeldRange& range) {
    return Overlaps(range.offset, range.count, offset, count);
  });
}

std::vector<std::pair<int64_t, int64_t>> File::HeldRanges() const {
  std::vector<std::pair<int64_t, int64_t>> ranges;
  for (const HeldRange& range : held_) ranges.emplace_back(range.offset, range.count);
  return ranges;
}

bool FileExists(FileSystem& fs, const std::string& path) {
  return fs.Exists(path);
}

bool DeleteFile(FileSystem& fs, const std::string& path) {
  return fs.Delete(path) || Failed(false);
}

bool IsFileReadOnly(FileSystem& fs, const std::string& path) {
  return FileExists(fs, path) && !fs.IsWritable(path);
}

bool SyncDirectoryOf(FileSystem& fs, const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int fd = fs.Open(folder, OpenMode::Read);
  if (fd < 0) return Failed(false);
  const bool flushed = fs.Flush(fd);
  fs.Close(fd);
  return flushed || Failed(false);
}

bool FileExists(const std::string& path) {
  return FileExists(Fs(), path);
}

bool DeleteFile(const std::string& path) {
  return DeleteFile(Fs(), path);
}

bool RenameFile(const std::string& from, const std::string& to) {
  return Fs().Rename(from, to) || Failed(false);
}

bool IsFileReadOnly(const std::string& path) {
  return IsFileReadOnly(Fs(), path);
}

bool StatFile(const std::string& path, FileStatus& status) {
  return Fs().StatPath(path, status) || Failed(false);
}

bool SyncDirectoryOf(const std::string& path) {
  return SyncDirectoryOf(Fs(), path);
}

bool EnsureDirectory(const std::string& path) {
  if (Fs().MakeDirectory(path)) return true;
  if (errno != EEXIST) return Failed(false);
  FileStatus status;
  return Fs().StatPath(path, status) && !status.IsRegular;
}

bool ListDirectory(const std::string& path, std::vector<std::string>& names) {
  return Fs().ListDirectory(path, names) || Failed(false);
}

std::string TemporaryDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string result = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

int64_t FreeDiskSpace(const std::string& path) {
  const int64_t free = Fs().FreeSpace(path);
  return free >= 0 ? free : Failed<int64_t>(-1);
}

}  // namespace qdx::platform
