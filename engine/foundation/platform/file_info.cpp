#include "engine/foundation/platform/file_info.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/foundation/platform/system_error.h"

namespace qdx::platform {

PathInfo StatPath(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    SetLastSystemError(errno);
    return {};
  }
  const mode_t type = info.st_mode & S_IFMT;
  switch (type) {
    case S_IFREG:
      return {PathKind::Regular, static_cast<int64_t>(info.st_size)};
    case S_IFDIR:
      return {PathKind::Directory, -1};
    case S_IFIFO:
      return {PathKind::Fifo, -1};
    case S_IFCHR:
      return {PathKind::CharacterDevice, -1};
    case S_IFBLK:
      return {PathKind::BlockDevice, -1};
    case S_IFSOCK:
      return {PathKind::Socket, -1};
    default:
      return {PathKind::Other, -1};
  }
}

int64_t NextDataOffset(const File& file, int64_t offset) {
  const int fd = file.Descriptor();
  const off_t saved = ::lseek(fd, 0, SEEK_CUR);
  if (saved < 0) return offset;
  const off_t data = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
  const int error = errno;
  ::lseek(fd, saved, SEEK_SET);
  if (data >= 0) return static_cast<int64_t>(data);
  return error == ENXIO ? -1 : offset;
}

}  // namespace qdx::platform
