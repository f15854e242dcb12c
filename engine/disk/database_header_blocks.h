// TQDXDatabaseHeaderBlocks: the three blocks of a database file's header area as this process
// last read or will write them: the main header, the password block and the lock block.
//
// Reads decode the stored bytes into the images kept here; writes encode the images at the
// positions of the manager's layout (read anew at each call). Every call attaches the file for
// its duration, for design-time mode. In design-time mode a header write first compares the
// stored header with the image: another program that left the file in the middle of a commit
// after this one read it makes the write fail (when asked to check).
//
// The disk page manager owns one; its header operations check that the file is open and
// forward here.
//
// Not safe for concurrent use: it runs under its database's critical section.
#pragma once

#include <cstdint>

#include "engine/disk/database_file.h"
#include "engine/disk/database_header.h"

namespace qdx {

class TQDXDatabaseHeaderBlocks {
 public:
  TQDXDatabaseHeaderBlocks(TQDXDatabaseFile& file, const TQDXDatabaseLayout& layout)
      : file_(file), layout_(layout) {}
  TQDXDatabaseHeaderBlocks(const TQDXDatabaseHeaderBlocks&) = delete;
  TQDXDatabaseHeaderBlocks& operator=(const TQDXDatabaseHeaderBlocks&) = delete;

  // The images of a database without pages and without a password.
  void Reset();

  // The header image is cleared before the read, so a failed read leaves no stale values.
  void ReadHeader();
  void WriteHeader(bool checkExternalChange);
  void ReadPasswordBlock();
  void WritePasswordBlock();
  // Only the lock block's size is read: the rest of it is lock bytes.
  void ReadLockBlockSize();
  void WriteLockBlock();

  TQDXDatabaseHeader& Header() { return header_; }
  const TQDXDatabaseHeader& Header() const { return header_; }
  TQDXPasswordBlock& PasswordBlock() { return passwordBlock_; }
  const TQDXPasswordBlock& PasswordBlock() const { return passwordBlock_; }
  int16_t LockBlockSize() const { return lockBlockSize_; }

 private:
  TQDXDatabaseFile& file_;
  const TQDXDatabaseLayout& layout_;
  TQDXDatabaseHeader header_;
  TQDXPasswordBlock passwordBlock_;
  int16_t lockBlockSize_ = kLockBlockSize;
};

}  // namespace qdx
