// Files as the engine sees them: a handle with a position, whole-file operations by name, the
// temporary folder and free disk space.
//
// A File owns one open file description. Calls answer a failure value (false, -1) and record
// errno as the thread's last system error (system_error.h); they never throw.
//
// Byte-range locks behave like Windows handle locks: exclusive, non-waiting, owned by the handle.
// They are open-file-description locks (F_OFD_SETLK), so two Files of one process exclude each
// other as two processes do, and they vanish when the File is closed or its process ends. POSIX
// lets a description re-lock its own bytes; Windows does not, so each File keeps the ranges it
// holds and refuses a range that overlaps one of them, and unlocks only a range it locked
// exactly. A File opened for reading only may take only shared locks from the system; it takes
// one and keeps it only when no other description holds a lock on the range, so its locks are
// exclusive as well.
//
// Share modes behave like Windows share modes: a File says at Create or Open what it does (read,
// write) and what it denies other handles (nothing, writing, or both), and an open whose access
// or denial conflicts with a handle already open on the file fails with EBUSY, the sharing
// violation. Each File records both as shared open-file-description locks on the share bytes,
// four bytes at kShareBytesPosition, far beyond any data the file can hold:
//   +0 reads, +1 writes: held by every File that reads (writes) the file;
//   +2 denies reading, +3 denies writing: held by every File that denies it to others.
// An opener first takes its own bytes, then looks for a conflicting byte held by another
// description (F_OFD_GETLK); two openers racing each see the other at least once, and both
// give back and try again after a short pause, a few times, before the open fails. Only
// shared locks are used there, so a File opened for reading takes part as well; the byte-range
// locks below never reach those positions. Where the file system cannot lock at all (some
// network file systems answer ENOLCK or EINVAL), share modes are not enforced and the open
// succeeds; NFS and SMB mounts that forward byte-range locks enforce them between the clients
// of one server as well.
//
// Every operating-system call goes through a platform::FileSystem (file_system.h): the one given
// to the File, else the current one, so that tests can make any of them fail. The table of held ranges stays here: it is the
// handle's behaviour, not the system's.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/foundation/platform/file_system.h"

namespace qdx::platform {

enum class FileAccess { Read, Write, ReadWrite };

// What other handles may do with a file while a File has it open.
enum class FileShare {
  None,      // nothing: the file is the File's alone
  Read,      // read it, not write it
  ReadWrite  // read and write it
};

// The first of the four share bytes (above). Beyond the largest file the engine can address
// (2^31 pages of at most 64 KiB), and below the largest lock offset the system takes.
inline constexpr int64_t kShareBytesPosition = int64_t{0x7FFFFFFFFFFFFF00};

// The answer of a byte-range lock or unlock.
enum class LockResult {
  Done,         // the range is now locked (or unlocked)
  Refused,      // held by another handle, already held by this one, or (unlock) not held here
  Unsupported,  // the file system or descriptor cannot lock (ENOLCK, EOPNOTSUPP, EINVAL, ...)
};

// Origins of Seek, with the values the engine's streams use.
enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

// An open file. Move-only; closes on destruction. Not safe for concurrent use of its position.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Creates `path` (replacing any file of that name) for reading and writing.
  bool Create(const std::string& path, FileShare share = FileShare::ReadWrite);
  // Opens an existing file. Fails with EBUSY when the share modes conflict.
  bool Open(const std::string& path, FileAccess access, FileShare share = FileShare::ReadWrite);
  // Creates a new file with a unique name starting with `prefix` in the temporary folder and
  // removes its name at once, so that the system deletes it when it is closed. `path` receives
  // the name it had.
  bool CreateTemporary(const std::string& prefix, std::string* path = nullptr);
  bool Close();

  // The file system this File's calls go to; null (the default) for the current one of each
  // call (file_system.h). Set before the File is opened.
  void SetFileSystem(FileSystem* fileSystem) { fileSystem_ = fileSystem; }
  FileSystem* GivenFileSystem() const { return fileSystem_; }

  bool IsOpen() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }

  // Transfers at the current position; answer the bytes moved, or -1. Counts of any size: the
  // transfer is made in as many system calls as it takes.
  int64_t Read(void* buffer, int64_t count);
  int64_t Write(const void* buffer, int64_t count);
  // Transfers at an absolute offset without moving the position; answer the bytes moved, or -1.
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count);
  int64_t WriteAt(int64_t offset, const void* buffer, int64_t count);

  // Answers the new position, or -1.
  int64_t Seek(int64_t offset, SeekOrigin origin);
  int64_t Position() { return Seek(0, SeekOrigin::Current); }
  // Answers the size, or -1.
  int64_t Size();
  // Cuts or extends the file to `size` bytes; the position is not moved.
  bool Truncate(int64_t size);
  // Writes the file's data to the device.
  bool Flush();

  // Locks `count` bytes at `offset`, without waiting. A range overlapping one this File already
  // holds is refused without asking the system. `count` must be positive.
  LockResult LockRange(int64_t offset, int64_t count);
  // Releases a range locked by LockRange with exactly this offset and count.
  LockResult UnlockRange(int64_t offset, int64_t count);
  // True when this File holds a lock on any byte of the range.
  bool HoldsLock(int64_t offset, int64_t count) const;
  // The ranges this File holds locked (offset, count), in the order they were taken.
  std::vector<std::pair<int64_t, int64_t>> HeldRanges() const;

 private:
  struct HeldRange {
    int64_t offset;
    int64_t count;
  };

  // Takes the share bytes of `access` and `share` on the new descriptor; false (errno EBUSY)
  // when another handle's bytes conflict with them.
  bool TakeShareBytes(FileAccess access, FileShare share);
  FileSystem& Sys() const { return fileSystem_ != nullptr ? *fileSystem_ : CurrentFileSystem(); }

  FileSystem* fileSystem_ = nullptr;
  int fd_ = -1;
  bool readOnly_ = false;
  // The ranges this descriptor holds; the system forgets them all when the descriptor closes.
  std::vector<HeldRange> held_;
};

bool FileExists(const std::string& path);
bool DeleteFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);
// True when the file exists and the process may not write to it.
bool IsFileReadOnly(const std::string& path);
// What the system tells of `path` (following links); false when it cannot be told.
bool StatFile(const std::string& path, FileStatus& status);
// Flushes the folder that holds `path`, so that a file created there keeps its name after a
// power cut; false when the system refuses.
bool SyncDirectoryOf(const std::string& path);
// Creates the folder `path` when it does not exist yet; false when it cannot (or `path` is no
// folder).
bool EnsureDirectory(const std::string& path);
// The names of the entries of the folder `path`; false when it cannot be read.
bool ListDirectory(const std::string& path, std::vector<std::string>& names);
// The same through a given file system rather than the current one.
bool FileExists(FileSystem& fs, const std::string& path);
bool DeleteFile(FileSystem& fs, const std::string& path);
bool IsFileReadOnly(FileSystem& fs, const std::string& path);
bool SyncDirectoryOf(FileSystem& fs, const std::string& path);

// $TMPDIR when set and not empty, else /tmp; without a trailing slash.
std::string TemporaryDirectory();

// Bytes free for an unprivileged user on the file system holding `path`, or -1.
int64_t FreeDiskSpace(const std::string& path);

}  // namespace qdx::platform
