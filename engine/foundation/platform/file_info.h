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
#include "engine/foundation/platform/file_system.h"

namespace qdx::platform {

struct PathInfo {
  PathKind Kind = PathKind::Missing;
  int64_t Size = -1;  // bytes of a regular file; -1 otherwise
};

// The kind and size of what `path` names, following symbolic links, asked of `fs` (or of the
// current file system).
PathInfo StatPath(FileSystem& fs, const std::string& path);
PathInfo StatPath(const std::string& path);

// The first position at or after `offset` where `file` holds data rather than a hole; -1 when
// only a hole (or nothing) follows. A file system that cannot tell answers `offset`, so a
// caller reads on as if everything were data. The file position is left where it was.
int64_t NextDataOffset(const File& file, int64_t offset);

}  // namespace qdx::platform
