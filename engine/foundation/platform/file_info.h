// What a path names and where a file holds data, asked of the system without opening or
// reading the file.
//
// Opening a named pipe for reading waits for a writer, and a device or a directory reads as
// something other than a file; a caller that wants a regular file asks StatPath first.
// NextDataOffset lets a scan skip the holes of a sparse file, which read as zeros.
#pragma once

#include <cstdint>
#include <string>

#include "engine/foundation/platform/file.h"

namespace qdx::platform {

enum class PathKind {
  Missing,  // the path names nothing that can be asked about (the system error is recorded)
  Regular,
  Directory,
  Fifo,
  CharacterDevice,
  BlockDevice,
  Socket,
  Other,
};

struct PathInfo {
  PathKind Kind = PathKind::Missing;
  int64_t Size = -1;  // bytes of a regular file; -1 otherwise
};

// The kind and size of what `path` names, following symbolic links.
PathInfo StatPath(const std::string& path);

// The first position at or after `offset` where `file` holds data rather than a hole; -1 when
// only a hole (or nothing) follows. A file system that cannot tell answers `offset`, so a
// caller reads on as if everything were data. The file position is left where it was.
int64_t NextDataOffset(const File& file, int64_t offset);

}  // namespace qdx::platform
