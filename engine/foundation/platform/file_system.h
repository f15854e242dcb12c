// FileSystem: the operating system's file operations behind one interface, so that a test can
// stand between the engine and the disk and make any call fail on demand.
//
// platform::File and the free file functions of file.h call nothing but this interface; the
// engine and its tools reach files only through them. The default is PosixFileSystem. A test
// installs a wrapper of its own for a while with FileSystemScope (tests/fault_file_system.h
// fails the N-th call of a kind with a chosen errno).
//
// The calls keep the system's conventions: a descriptor or count on success, -1 (or false)
// with errno set on failure. They make exactly one system call each, without retrying EINTR or
// short transfers: the callers in file.cpp loop, so a wrapper sees every call the engine makes.
//
// Invariants:
//  1. Descriptors are the system's: a wrapper passes them through unchanged, so a File opened
//     under one file system can be used and closed after its scope has ended.
//  2. The current file system is process-wide. Scopes nest and must end in reverse order of
//     construction; a test installs one while no other thread uses files.
//  3. A database can be given a file system of its own (TQDXDiskDatabaseData's constructor): its
//     files then call that one whatever is current, so tests that give each database its own
//     wrapper can run side by side. Such a file system must outlive the database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qdx::platform {

// How an open call opens a file.
enum class OpenMode {
  Read,            // an existing file, for reading
  Write,           // an existing file, for writing
  ReadWrite,       // an existing file, for reading and writing
  CreateReadWrite  // created or emptied, for reading and writing
};

// What a path names.
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

// What stat tells of a path or a descriptor.
struct FileStatus {
  bool IsRegular = false;  // a regular file (not a folder, device, pipe or socket)
  PathKind Kind = PathKind::Missing;
  int64_t Size = 0;
};

// The kinds of byte-range lock call.
enum class LockKind { Shared, Exclusive, Unlock };

class FileSystem {
 public:
  // The largest transfer a single read or write call asks of the system; larger requests are
  // split by the callers.
  static constexpr int64_t kMaxTransfer = int64_t{1} << 30;

  virtual ~FileSystem() = default;

  virtual int Open(const std::string& path, OpenMode mode) = 0;
  // Creates a file with a unique name from `pattern` (ending in XXXXXX, replaced in place).
  virtual int CreateUnique(std::string& pattern) = 0;
  virtual int Close(int fd) = 0;

  // One transfer of at most kMaxTransfer bytes; at the current position, or at `offset`
  // without moving it. Answer the bytes moved (0 at the end of the file for reads), or -1.
  virtual int64_t Read(int fd, void* buffer, int64_t count) = 0;
  virtual int64_t Write(int fd, const void* buffer, int64_t count) = 0;
  virtual int64_t ReadAt(int fd, int64_t offset, void* buffer, int64_t count) = 0;
  virtual int64_t WriteAt(int fd, int64_t offset, const void* buffer, int64_t count) = 0;

  // SEEK_SET / SEEK_CUR / SEEK_END as 0 / 1 / 2; answers the new position or -1.
  virtual int64_t Seek(int fd, int64_t offset, int whence) = 0;
  virtual bool Stat(int fd, FileStatus& status) = 0;
  virtual bool StatPath(const std::string& path, FileStatus& status) = 0;
  virtual bool Truncate(int fd, int64_t size) = 0;
  // Writes the file's data to the device.
  virtual bool Flush(int fd) = 0;

  // Sets or clears a non-waiting open-file-description lock on `count` bytes at `offset`.
  virtual bool SetLock(int fd, LockKind kind, int64_t offset, int64_t count) = 0;
  // Whether a description other than `fd`'s holds a lock on any byte of the range (false when
  // the system cannot tell).
  virtual bool OthersHoldLock(int fd, int64_t offset, int64_t count) = 0;
  // The share-mode locks of file.h: a shared lock set on (or taken off) `count` bytes at
  // `offset`, and whether another description holds a lock there. Apart from the byte-range lock
  // calls above, which tests count and fail, so that such a test still opens its files; by
  // default they go straight to the system.
  virtual bool SetShareLock(int fd, bool on, int64_t offset, int64_t count);
  virtual bool OthersHoldShareLock(int fd, int64_t offset, int64_t count);

  virtual bool Exists(const std::string& path) = 0;
  // Whether the process may write to the file.
  virtual bool IsWritable(const std::string& path) = 0;
  virtual bool Delete(const std::string& path) = 0;
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // Bytes free for an unprivileged user on the file system holding `path`, or -1.
  virtual int64_t FreeSpace(const std::string& path) = 0;
  // Folders (backups are kept in one beside the database). By default straight to the system:
  // a wrapper that does not override them passes them on. MakeDirectory fails with EEXIST for a
  // path that exists; ListDirectory gives the names of a folder's entries without "." and "..".
  virtual bool MakeDirectory(const std::string& path);
  virtual bool ListDirectory(const std::string& path, std::vector<std::string>& names);
};

// The operating system itself.
class PosixFileSystem final : public FileSystem {
 public:
  int Open(const std::string& path, OpenMode mode) override;
  int CreateUnique(std::string& pattern) override;
  int Close(int fd) override;
  int64_t Read(int fd, void* buffer, int64_t count) override;
  int64_t Write(int fd, const void* buffer, int64_t count) override;
  int64_t ReadAt(int fd, int64_t offset, void* buffer, int64_t count) override;
  int64_t WriteAt(int fd, int64_t offset, const void* buffer, int64_t count) override;
  int64_t Seek(int fd, int64_t offset, int whence) override;
  bool Stat(int fd, FileStatus& status) override;
  bool StatPath(const std::string& path, FileStatus& status) override;
  bool Truncate(int fd, int64_t size) override;
  bool Flush(int fd) override;
  bool SetLock(int fd, LockKind kind, int64_t offset, int64_t count) override;
  bool OthersHoldLock(int fd, int64_t offset, int64_t count) override;
  bool Exists(const std::string& path) override;
  bool IsWritable(const std::string& path) override;
  bool Delete(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  int64_t FreeSpace(const std::string& path) override;
};

// The process's POSIX file system, which wrappers pass their calls on to.
FileSystem& DefaultFileSystem();
// The file system every File and file function uses now.
FileSystem& CurrentFileSystem();

// Makes `fileSystem` the current one for the scope's lifetime (invariant 2).
class FileSystemScope {
 public:
  explicit FileSystemScope(FileSystem& fileSystem);
  ~FileSystemScope();
  FileSystemScope(const FileSystemScope&) = delete;
  FileSystemScope& operator=(const FileSystemScope&) = delete;

 private:
  FileSystem* previous_;
};

}  // namespace qdx::platform
