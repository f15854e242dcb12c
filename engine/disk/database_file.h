// TQDXDatabaseFile: the one operating-system handle of an open database file.
//
// It creates, opens and closes the file with the database's access and share modes, reads and
// writes at positions, changes the size, flushes, and takes exclusive non-waiting byte-range
// locks. Every system failure becomes an EQDXException naming the file, the position, the sizes
// and the system's error code (errno) and text (strerror).
//
// Invariants:
//  1. Every operation that fails is tried exactly once more when the reconnect check answers
//     that a valid handle exists: a handle whose size query fails is considered lost and the
//     file is reopened by name (three attempts, one second apart), so that a database on a
//     network share survives a dropped handle. Nothing else waits. The reopened handle takes
//     back every byte-range lock the lost one held, or the reconnect fails.
//  2. Byte-range locks belong to this object's handle: another handle, in this process or
//     another, cannot take them, and neither can this one a second time (platform/file.h).
//  3. LocksUnsupported is sticky: once a lock call on a valid handle failed because the file
//     system cannot lock, every lock answers success, so that a database on such a file system
//     stays usable. A lost handle is reconnected instead.
//
// Not safe for concurrent use: the page manager calls it under its database's critical section.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "engine/foundation/platform/file_system.h"

namespace qdx {

// The process-wide design-time mode: set by the dataset layer when a database component is used
// inside a form designer. In this mode the file is kept closed between page-manager operations
// (TQDXDatabaseFile::Attach / Detach).
bool QDXDesignTimeMode();
void SetQDXDesignTimeMode(bool on);

// Refuses a path that names a folder, a named pipe, a device or a socket before it is opened:
// opening a pipe would wait for a writer, and none of them is a database. A missing path is left
// to the open, which names the system's error.
void RequireRegularFile(platform::FileSystem& fs, const std::string& fileName);

class TQDXDatabaseFile {
 public:
  static constexpr uint8_t kAccessReadOnly = 0;
  static constexpr uint8_t kAccessReadWrite = 1;
  static constexpr uint8_t kShareExclusive = 0;
  static constexpr uint8_t kShareReadWrite = 1;
  static constexpr uint8_t kShareRead = 2;
  // FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN; kept for the record, no meaning here.
  static constexpr uint32_t kDefaultFlagsAndAttributes = 0x08000080;

  TQDXDatabaseFile() = default;
  // Closes an open file; a failure to close is swallowed.
  ~TQDXDatabaseFile();
  TQDXDatabaseFile(const TQDXDatabaseFile&) = delete;
  TQDXDatabaseFile& operator=(const TQDXDatabaseFile&) = delete;

  const std::string& FileName() const { return fileName_; }
  // The file system the file's calls go to; null (the default) for the current one. Set while
  // the file is closed.
  void SetFileSystem(platform::FileSystem* fileSystem) { file_.SetFileSystem(fileSystem); }
  platform::FileSystem* GivenFileSystem() const { return file_.GivenFileSystem(); }
  platform::FileSystem& FileSystemInUse() const {
    return GivenFileSystem() != nullptr ? *GivenFileSystem() : platform::CurrentFileSystem();
  }
  uint8_t AccessMode() const { return accessMode_; }
  uint8_t ShareMode() const { return shareMode_; }
  uint32_t FlagsAndAttributes() const { return flagsAndAttributes_; }
  void SetFlagsAndAttributes(uint32_t flags) { flagsAndAttributes_ = flags; }
  // The system descriptor, -1 when there is none.
  int Handle() const { return file_.Descriptor(); }
  bool IsOpen() const { return isOpen_; }
  int32_t OpenCount() const { return openCount_; }
  bool LocksUnsupported() const { return locksUnsupported_; }
  // Whether this handle holds a lock on any byte of the range (one whose unlock failed too).
  bool HoldsLock(int64_t count, int64_t position) const { return file_.HoldsLock(position, count); }

  // Creates or replaces the file (a read-only file of that name too) for reading and writing.
  // ShareMode reads 0, but the new file is shared: it is a new file that no other handle has
  // open, and creating a database closes it before anyone opens it for use. Needs a closed file.
  // 30374 for an empty name, 30361 when the system fails.
  void CreateFile(const std::string& fileName);
  // Opens an existing file. Needs a closed file. 30366 / 30367 for unknown modes, 30364 when the
  // system fails, a sharing violation (EBUSY) included: the share mode is the platform file's
  // (platform/file.h), so another handle that denies what this one does, or does what this one
  // denies, keeps it out, in this process or another.
  void OpenFile(const std::string& fileName, uint8_t accessMode, uint8_t shareMode);
  // Closes the handle; afterwards the file is closed even when the system reports 30365.
  void CloseFile();

  // Moves the file pointer; true when it ended exactly at `position`.
  bool Seek(int64_t position);
  // Seek, raising `failure` when it fails.
  void SetPosition(int64_t position, const msg::Message& failure = msg::kCannotSetFilePosition);
  int64_t GetPosition();  // 30373
  // Ends the file at `size` (growing or truncating) and moves the pointer there. 30370.
  void SetSize(int64_t size);
  int64_t GetSize();  // 30371

  // Reads up to `count` bytes at `position`; true when the system read succeeded (a read that
  // meets the end of the file early succeeds). `bytesRead` receives the count read.
  bool ReadBuffer(void* buffer, int64_t position, int32_t count, int32_t* bytesRead = nullptr);
  // ReadBuffer, raising `failure` ("Cannot Read from file: ...") when it fails. Answers
  // the bytes read.
  int32_t CheckedReadBuffer(void* buffer, const msg::Message& failure, int64_t position,
                            int32_t count);
  // Writes `count` bytes at `position`, raising `failure` ("Cannot Write to file: ...").
  void WriteBuffer(const void* buffer, const msg::Message& failure, int64_t position,
                   int32_t count);
  void FlushFileBuffers();  // 30379
  // The first position at or after `position` that holds data rather than a hole of a sparse
  // file; -1 when only a hole follows. `position` itself where the system cannot tell.
  int64_t NextDataPosition(int64_t position) const;

  // Locks `count` bytes at `position`, without waiting; false when any of them is held by
  // another handle or already by this one (true on a file system that cannot lock).
  bool LockByte(int64_t count, int64_t position);
  // Releases a range locked with exactly this count and position.
  bool UnlockByte(int64_t count, int64_t position);
  // True when the byte is locked by anyone, this handle included. Leaves it as it was.
  bool IsByteLocked(int64_t position);
  bool IsRegionLocked(int64_t count, int64_t position);

  // The reference-counted open and close of design-time mode; nothing outside that mode.
  void Attach();
  void Detach();

 private:
  // Opens the handle with the stored name and access and the share of the last create or open.
  bool OpenHandle();
  // Locks the ranges again on a reopened handle; false when one of them is held elsewhere.
  bool RetakeLocks(const std::vector<std::pair<int64_t, int64_t>>& ranges);
  bool ReconnectCheck();
  void RequireOpen(std::string_view operation) const;
  void RequireClosed(std::string_view operation) const;
  bool TrySeek(int64_t position);
  bool TryRead(void* buffer, int64_t position, int32_t count, int32_t* bytesRead);
  bool HandleIsValid();
  bool LockCallSucceeded(platform::LockResult result);
  bool TryLock(int64_t count, int64_t position);
  bool TryUnlock(int64_t count, int64_t position);
  // Reads and writes are positioned calls that leave the system's file pointer alone; the file
  // keeps the pointer a seek and a transfer would leave, as its position and its messages give.
  void TransferredAt(int64_t position, int64_t done);
  // The pointer and the size for messages; -1 where the system cannot tell.
  int64_t CurrentPosition();
  int64_t CurrentSize();

  std::string fileName_;
  uint8_t accessMode_ = kAccessReadWrite;
  uint8_t shareMode_ = kShareExclusive;
  uint32_t flagsAndAttributes_ = kDefaultFlagsAndAttributes;
  platform::File file_;
  // What the handle lets other handles do: the share mode of an open, everything after a create.
  platform::FileShare share_ = platform::FileShare::ReadWrite;
  int64_t position_ = 0;
  bool isOpen_ = false;
  int32_t openCount_ = 0;
  bool locksUnsupported_ = false;
  // The ranges a lost handle held that no reopened handle has taken back yet: every later
  // reconnect must take them back before it may succeed.
  std::vector<std::pair<int64_t, int64_t>> locksToRetake_;
};

// Attaches a database file for the lifetime of the guard (design-time mode).
class TQDXFileAttachment {
 public:
  explicit TQDXFileAttachment(TQDXDatabaseFile& file) : file_(file) { file_.Attach(); }
  ~TQDXFileAttachment() {
    try {
      file_.Detach();
    } catch (...) {  // a failing close must not end the process from a destructor
    }
  }
  TQDXFileAttachment(const TQDXFileAttachment&) = delete;
  TQDXFileAttachment& operator=(const TQDXFileAttachment&) = delete;

 private:
  TQDXDatabaseFile& file_;
};

}  // namespace qdx
