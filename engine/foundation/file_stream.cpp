#include "engine/foundation/file_stream.h"

#include <algorithm>

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {
namespace {

platform::FileAccess AccessOfMode(uint16_t mode) {
  switch (mode & 3) {
    case fmOpenWrite:
      return platform::FileAccess::Write;
    case fmOpenReadWrite:
      return platform::FileAccess::ReadWrite;
    default:
      return platform::FileAccess::Read;
  }
}

}  // namespace

TQDXFileStream::TQDXFileStream(const std::string& fileName, bool temporary, uint16_t mode)
    : fileName_(fileName), mode_(mode), temporary_(temporary) {
  SetBlockSize(kFileStreamBlockSize);
  if (mode == fmCreate) {
    if (!file_.Create(fileName)) Raise(msg::kCannotCreateStreamFile, {fileName});
    if (temporary) platform::DeleteFile(fileName);
  } else if (!file_.Open(fileName, AccessOfMode(mode))) {
    Raise(msg::kCannotOpenStreamFile, {fileName, mode});
  }
}

TQDXFileStream::TQDXFileStream(platform::File file, std::string fileName, bool temporary)
    : file_(std::move(file)),
      fileName_(std::move(fileName)),
      mode_(fmCreate),
      temporary_(temporary) {
  SetBlockSize(kFileStreamBlockSize);
}

void TQDXFileStream::SetSize(int32_t newSize) {
  const int64_t position = file_.Position();
  if (position < 0 || !file_.Truncate(newSize)) RaiseLastOSError();
  file_.Seek(std::min<int64_t>(position, newSize), platform::SeekOrigin::Begin);
}

int32_t TQDXFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int64_t n = file_.Read(buffer, count);
  return n < 0 ? 0 : static_cast<int32_t>(n);
}

int32_t TQDXFileStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int64_t n = file_.Write(buffer, count);
  return n < 0 ? 0 : static_cast<int32_t>(n);
}

int32_t TQDXFileStream::Seek(int32_t offset, uint16_t origin) {
  const auto whence = origin == soFromCurrent ? platform::SeekOrigin::Current
                      : origin == soFromEnd   ? platform::SeekOrigin::End
                                              : platform::SeekOrigin::Begin;
  return static_cast<int32_t>(file_.Seek(offset, whence));
}

}  // namespace qdx
