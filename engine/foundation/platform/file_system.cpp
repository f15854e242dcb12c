// The POSIX file system and the process-wide choice of file system.
#include "engine/foundation/platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace qdx::platform {
namespace {

size_t Transfer(int64_t count) {
  return static_cast<size_t>(std::clamp<int64_t>(count, 0, FileSystem::kMaxTransfer));
}

PathKind KindOf(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG:
      return PathKind::Regular;
    case S_IFDIR:
      return PathKind::Directory;
    case S_IFIFO:
      return PathKind::Fifo;
    case S_IFCHR:
      return PathKind::CharacterDevice;
    case S_IFBLK:
      return PathKind::BlockDevice;
    case S_IFSOCK:
      return PathKind::Socket;
    default:
      return PathKind::Other;
  }
}

void ToStatus(const struct stat& info, FileStatus& status) {
  status.IsRegular = S_ISREG(info.st_mode);
  status.Kind = KindOf(info.st_mode);
  status.Size = static_cast<int64_t>(info.st_size);
}

std::atomic<FileSystem*> current{nullptr};

// Opens without updating the access time where the system allows it (to the file's owner): the
// engine reads a page per call, and the access-time check is a measurable part of every read.
int OpenWithoutAccessTime(const std::string& path, int flags, mode_t mode = 0) {
  const int fd = ::open(path.c_str(), flags | O_NOATIME, mode);
  if (fd >= 0 || errno != EPERM) return fd;
  return ::open(path.c_str(), flags, mode);
}

}  // namespace

int PosixFileSystem::Open(const std::string& path, OpenMode mode) {
  switch (mode) {
    case OpenMode::Read:
      return OpenWithoutAccessTime(path, O_RDONLY | O_CLOEXEC);
    case OpenMode::Write:
      return ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    case OpenMode::ReadWrite:
      return OpenWithoutAccessTime(path, O_RDWR | O_CLOEXEC);
    case OpenMode::CreateReadWrite:
      return OpenWithoutAccessTime(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  }
  errno = EINVAL;
  return -1;
}

int PosixFileSystem::CreateUnique(std::string& pattern) {
  return ::mkostemp(pattern.data(), O_CLOEXEC);
}

int PosixFileSystem::Close(int fd) {
  return ::close(fd);
}

int64_t PosixFileSystem::Read(int fd, void* buffer, int64_t count) {
  return ::read(fd, buffer, Transfer(count));
}

int64_t PosixFileSystem::Write(int fd, const void* buffer, int64_t count) {
  return ::write(fd, buffer, Transfer(count));
}

int64_t PosixFileSystem::ReadAt(int fd, int64_t offset, void* buffer, int64_t count) {
  return ::pread(fd, buffer, Transfer(count), static_cast<off_t>(offset));
}

int64_t PosixFileSystem::WriteAt(int fd, int64_t offset, const void* buffer, int64_t count) {
  return ::pwrite(fd, buffer, Transfer(count), static_cast<off_t>(offset));
}

int64_t PosixFileSystem::Seek(int fd, int64_t offset, int whence) {
  return ::lseek(fd, static_cast<off_t>(offset), whence);
}

bool PosixFileSystem::Stat(int fd, FileStatus& status) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return false;
  ToStatus(info, status);
  return true;
}

bool PosixFileSystem::StatPath(const std::string& path, FileStatus& status) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  ToStatus(info, status);
  return true;
}

bool PosixFileSystem::Truncate(int fd, int64_t size) {
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

bool PosixFileSystem::Flush(int fd) {
  return ::fdatasync(fd) == 0;
}

bool PosixFileSystem::SetLock(int fd, LockKind kind, int64_t offset, int64_t count) {
  struct flock lock {};
  lock.l_type = kind == LockKind::Shared      ? F_RDLCK
                : kind == LockKind::Exclusive ? F_WRLCK
                                              : F_UNLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(offset);
  lock.l_len = static_cast<off_t>(count);
  lock.l_pid = 0;  // required for open-file-description locks
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool PosixFileSystem::OthersHoldLock(int fd, int64_t offset, int64_t count) {
  struct flock probe {};
  probe.l_type = F_WRLCK;  // conflicts with every lock, shared ones included
  probe.l_whence = SEEK_SET;
  probe.l_start = static_cast<off_t>(offset);
  probe.l_len = static_cast<off_t>(count);
  probe.l_pid = 0;
  if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;
  return probe.l_type != F_UNLCK;
}

bool FileSystem::SetShareLock(int fd, bool on, int64_t offset, int64_t count) {
  return DefaultFileSystem().SetLock(fd, on ? LockKind::Shared : LockKind::Unlock, offset, count);
}

bool FileSystem::OthersHoldShareLock(int fd, int64_t offset, int64_t count) {
  return DefaultFileSystem().OthersHoldLock(fd, offset, count);
}

bool FileSystem::MakeDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool FileSystem::ListDirectory(const std::string& path, std::vector<std::string>& names) {
  DIR* folder = ::opendir(path.c_str());
  if (folder == nullptr) return false;
  names.clear();
  errno = 0;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  const int readError = errno;
  ::closedir(folder);
  errno = readError;
  return readError == 0;
}

bool PosixFileSystem::Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool PosixFileSystem::IsWritable(const std::string& path) {
  return ::access(path.c_str(), W_OK) == 0;
}

bool PosixFileSystem::Delete(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool PosixFileSystem::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

int64_t PosixFileSystem::FreeSpace(const std::string& path) {
  struct statvfs info {};
  if (::statvfs(path.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

FileSystem& DefaultFileSystem() {
  static PosixFileSystem posix;
  return posix;
}

FileSystem& CurrentFileSystem() {
  FileSystem* installed = current.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : DefaultFileSystem();
}

FileSystemScope::FileSystemScope(FileSystem& fileSystem)
    : previous_(current.exchange(&fileSystem, std::memory_order_acq_rel)) {}

FileSystemScope::~FileSystemScope() {
  current.store(previous_, std::memory_order_release);
}

}  // namespace qdx::platform
