#include "engine/foundation/platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "engine/foundation/platform/system_error.h"

namespace qdx::platform {
namespace {

template <typename T>
T Failed(T value) {
  SetLastSystemError(errno);
  return value;
}

}  // namespace

File::~File() {
  Close();
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      readOnly_(std::exchange(other.readOnly_, false)),
      held_(std::exchange(other.held_, {})) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    readOnly_ = std::exchange(other.readOnly_, false);
    held_ = std::exchange(other.held_, {});
  }
  return *this;
}

bool File::Create(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd_ >= 0 || Failed(false);
}

bool File::Open(const std::string& path, FileAccess access) {
  Close();
  int flags = O_CLOEXEC;
  switch (access) {
    case FileAccess::Read:
      flags |= O_RDONLY;
      break;
    case FileAccess::Write:
      flags |= O_WRONLY;
      break;
    case FileAccess::ReadWrite:
      flags |= O_RDWR;
      break;
  }
  fd_ = ::open(path.c_str(), flags);
  readOnly_ = access == FileAccess::Read;
  return fd_ >= 0 || Failed(false);
}

bool File::CreateTemporary(const std::string& prefix, std::string* path) {
  Close();
  std::string pattern = TemporaryDirectory() + "/" + prefix + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) return Failed(false);
  ::unlink(name.data());
  if (path != nullptr) *path = name.data();
  return true;
}

bool File::Close() {
  held_.clear();
  readOnly_ = false;
  if (fd_ < 0) return true;
  const int result = ::close(std::exchange(fd_, -1));
  return result == 0 || Failed(false);
}

int64_t File::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed<int64_t>(-1);
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t File::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Failed<int64_t>(-1);
    done += n;
  }
  return done;
}

int64_t File::ReadAt(int64_t offset, void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, count - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed<int64_t>(-1);
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t File::WriteAt(int64_t offset, const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n =
        ::pwrite(fd_, static_cast<const char*>(buffer) + done, count - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Failed<int64_t>(-1);
    done += n;
  }
  return done;
}

int64_t File::Seek(int64_t offset, SeekOrigin origin) {
  const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                     : origin == SeekOrigin::Current ? SEEK_CUR
                                                     : SEEK_END;
  const off_t result = ::lseek(fd_, offset, whence);
  return result >= 0 ? static_cast<int64_t>(result) : Failed<int64_t>(-1);
}

int64_t File::Size() {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return Failed<int64_t>(-1);
  return static_cast<int64_t>(info.st_size);
}

bool File::Truncate(int64_t size) {
  return ::ftruncate(fd_, size) == 0 || Failed(false);
}

bool File::Flush() {
  return ::fdatasync(fd_) == 0 || Failed(false);
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

LockResult SetOfdLock(int fd, short type, int64_t offset, int64_t count) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(count);
  lock.l_pid = 0;  // required for open-file-description locks
  int result;
  do {
    result = ::fcntl(fd, F_OFD_SETLK, &lock);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return LockResult::Done;
  const int error = errno;
  SetLastSystemError(error);
  return MeansLocksUnsupported(error) ? LockResult::Unsupported : LockResult::Refused;
}

// True when a description other than `fd`'s holds a lock on any byte of the range.
bool OthersHoldLock(int fd, int64_t offset, int64_t count) {
  struct flock probe {};
  probe.l_type = F_WRLCK;  // conflicts with every lock, shared ones included
  probe.l_whence = SEEK_SET;
  probe.l_start = static_cast<off_t>(offset);
  probe.l_len = static_cast<off_t>(count);
  probe.l_pid = 0;
  if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

// The exclusive lock of a read-only description, which the system allows only shared locks:
// take a shared lock (refused while anyone holds an exclusive one), then give it back when
// another description holds any lock on the range. Two readers racing for one range may both
// back off; neither ever believes it holds a range the other holds.
LockResult LockShared(int fd, int64_t offset, int64_t count) {
  const LockResult result = SetOfdLock(fd, F_RDLCK, offset, count);
  if (result != LockResult::Done) return result;
  if (!OthersHoldLock(fd, offset, count)) return LockResult::Done;
  SetOfdLock(fd, F_UNLCK, offset, count);
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
  const LockResult result =
      readOnly_ ? LockShared(fd_, offset, count) : SetOfdLock(fd_, F_WRLCK, offset, count);
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
  const LockResult result = SetOfdLock(fd_, F_UNLCK, offset, count);
  if (result == LockResult::Done) held_.erase(it);
  return result;
}

bool File::HoldsLock(int64_t offset, int64_t count) const {
  return std::any_of(held_.begin(), held_.end(), [&](const HeldRange& range) {
    return Overlaps(range.offset, range.count, offset, count);
  });
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool DeleteFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || Failed(false);
}

bool RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 || Failed(false);
}

bool IsFileReadOnly(const std::string& path) {
  return FileExists(path) && ::access(path.c_str(), W_OK) != 0;
}

std::string TemporaryDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string result = (dir != nullptr && *dir != '\0') ? dir : "/tmp";
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

int64_t FreeDiskSpace(const std::string& path) {
  struct statvfs info {};
  if (::statvfs(path.c_str(), &info) != 0) return Failed<int64_t>(-1);
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

}  // namespace qdx::platform
