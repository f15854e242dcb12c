#include "engine/foundation/platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
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

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
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
