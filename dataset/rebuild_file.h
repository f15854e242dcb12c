// Putting a rebuilt database file in place of the original, so that a crash or a failure at any
// moment leaves one whole database under the original name: the original until the rebuilt
// file has reached the disk, the rebuilt file after.
//
// The rebuilt file is written completely and flushed to the device first; then one rename
// replaces the original (a rename over an existing name is atomic). Nothing deletes the
// original before that, so there is no moment without a database under its name. Every call
// goes through the platform's file-system seam.
#pragma once

#include <cstdint>
#include <string>

namespace qdx {

// Flushes `rebuiltFile` to the device and renames it over `originalFile`. On failure raises
// EDatabaseError (with `componentName` in front when given); the original is then untouched and
// the rebuilt file is left for the caller to delete.
void ReplaceWithRebuiltFile(const std::string& rebuiltFile, const std::string& originalFile,
                            const std::string& componentName = {});

// Raises error 20303 unless the drive holding `targetFile` has at least `neededBytes` free. A
// drive whose free space cannot be told is not refused.
void CheckFreeSpaceFor(const std::string& targetFile, int64_t neededBytes);

}  // namespace qdx
