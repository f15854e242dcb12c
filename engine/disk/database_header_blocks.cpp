// The header area's blocks of a database file (database_header_blocks.h).
#include "engine/disk/database_header_blocks.h"

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

void TQDXDatabaseHeaderBlocks::Reset() {
  header_ = TQDXDatabaseHeader{};
  passwordBlock_ = TQDXPasswordBlock{};
  lockBlockSize_ = kLockBlockSize;
}

void TQDXDatabaseHeaderBlocks::ReadHeader() {
  TQDXFileAttachment attachment(file_);
  uint8_t bytes[kMainHeaderSize] = {};
  // A failed read keeps the last image: a zeroed one would take an enciphered file for a plain
  // one and its pages for pages beyond the end.
  file_.CheckedReadBuffer(bytes, msg::kReadFileHeader, layout_.HeaderPosition(), kMainHeaderSize);
  header_ = TQDXDatabaseHeader::Decode(bytes);
}

void TQDXDatabaseHeaderBlocks::WriteHeader(bool checkExternalChange) {
  TQDXFileAttachment attachment(file_);
  if (QDXDesignTimeMode()) {
    uint8_t stored[kMainHeaderSize] = {};
    file_.CheckedReadBuffer(stored, msg::kReadFileHeaderForChangeCheck, layout_.HeaderPosition(),
                            kMainHeaderSize);
    const TQDXDatabaseHeader onDisk = TQDXDatabaseHeader::Decode(stored);
    if (checkExternalChange && onDisk.ChangeCounter != header_.ChangeCounter &&
        onDisk.FileState == kFileStateWriting) {
      Raise(msg::kFileModifiedExternally);
    }
  }
  uint8_t bytes[kMainHeaderSize];
  header_.Encode(bytes);
  file_.WriteBuffer(bytes, msg::kWriteFileHeader, layout_.HeaderPosition(), kMainHeaderSize);
}

void TQDXDatabaseHeaderBlocks::ReadPasswordBlock() {
  TQDXFileAttachment attachment(file_);
  uint8_t bytes[kPasswordBlockSize] = {};
  file_.CheckedReadBuffer(bytes, msg::kReadFilePasswordBlock, layout_.PasswordBlockPosition(),
                          kPasswordBlockSize);
  passwordBlock_ = TQDXPasswordBlock::Decode(bytes);
}

void TQDXDatabaseHeaderBlocks::WritePasswordBlock() {
  TQDXFileAttachment attachment(file_);
  uint8_t bytes[kPasswordBlockSize];
  passwordBlock_.Encode(bytes);
  file_.WriteBuffer(bytes, msg::kWriteFilePasswordBlock, layout_.PasswordBlockPosition(),
                    kPasswordBlockSize);
}

void TQDXDatabaseHeaderBlocks::ReadLockBlockSize() {
  TQDXFileAttachment attachment(file_);
  uint8_t bytes[2] = {};
  file_.CheckedReadBuffer(bytes, msg::kReadFileLockBlockSize, layout_.LockBlockPosition(),
                          sizeof bytes);
  lockBlockSize_ = DecodeLockBlockSize(bytes);
}

void TQDXDatabaseHeaderBlocks::WriteLockBlock() {
  TQDXFileAttachment attachment(file_);
  uint8_t bytes[kLockBlockSize];
  EncodeLockBlock(bytes);
  file_.WriteBuffer(bytes, msg::kWriteFileLockBlock, layout_.LockBlockPosition(), kLockBlockSize);
}

}  // namespace qdx
