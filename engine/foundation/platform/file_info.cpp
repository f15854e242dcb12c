#include "engine/foundation/platform/file_info.h"

#include <unistd.h>

#include <cerrno>

#include "engine/foundation/platform/system_error.h"

namespace qdx::platform {

PathInfo StatPath(FileSystem& fs, const std::string& path) {
  FileStatus status;
  if (!fs.StatPath(path, status)) {
    SetLastSystemError(errno);
    return {};
  }
  return {status.Kind, status.Kind == PathKind::Regular ? status.Size : -1};
}

PathInfo StatPath(const std::string& path) {
  return StatPath(CurrentFileSystem(), path);
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
