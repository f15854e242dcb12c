#include "dataset/rebuild_file.h"

#include <span>

#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "engine/foundation/platform/system_error.h"

namespace qdx {

namespace {

[[noreturn]] void ReplaceError(const char* format, const std::string& rebuiltFile,
                               const std::string& originalFile, const std::string& componentName) {
  const std::string reason = platform::SystemErrorMessage(platform::LastSystemError());
  const FormatArgs args = {rebuiltFile, originalFile, reason};
  DatabaseError(FormatOrFallback(format, std::span<const FormatArg>(args.begin(), args.size())),
                componentName);
}

// The directory part of a path ("." for a bare name), where the free space is asked.
std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

void ReplaceWithRebuiltFile(const std::string& rebuiltFile, const std::string& originalFile,
                            const std::string& componentName) {
  platform::File file;
  if (!file.Open(rebuiltFile, platform::FileAccess::ReadWrite) || !file.Flush()) {
    ReplaceError(dsmsg::kRebuiltFileNotFlushed, rebuiltFile, originalFile, componentName);
  }
  if (!file.Close()) {
    ReplaceError(dsmsg::kRebuiltFileNotFlushed, rebuiltFile, originalFile, componentName);
  }
  if (!platform::RenameFile(rebuiltFile, originalFile)) {
    ReplaceError(dsmsg::kRebuiltFileNotRenamed, rebuiltFile, originalFile, componentName);
  }
}

void CheckFreeSpaceFor(const std::string& targetFile, int64_t neededBytes) {
  const int64_t free = platform::FreeDiskSpace(DirectoryOf(targetFile));
  if (free >= 0 && free < neededBytes) Raise(msg::kNotEnoughDiskSpace);
}

}  // namespace qdx
