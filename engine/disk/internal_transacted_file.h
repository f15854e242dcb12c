// TQDXInternalDBTransactedAccessFile: an internal file read and written whole through the page
// cache, so that its changes belong to the session that made them and reach the database file
// with that session's commit.
//
// The file is a chain of pages of one type (internal_file_format.h): the first page's data
// area starts with the 10-byte content header (stored size, uncompressed size, compression),
// then the stored bytes run on through the chain. Content may be compressed as a whole.
//
// Choices:
//  - When the file shrinks, the pages cut off the end of its chain are released with
//    RemovePage, so no page stays in use without belonging to anything.
//  - Stored bytes are gathered in a buffer that grows with the pages actually found, and a
//    chain that comes back to one of its pages fails with 20300, so a damaged size or chain
//    never makes the file ask for gigabytes or loop.
#pragma once

#include <cstdint>
#include <span>

#include "engine/core/page_handle.h"
#include "engine/core/page_manager.h"
#include "engine/foundation/memory.h"

namespace qdx {

class TQDXInternalDBTransactedAccessFile {
 public:
  struct Info {
    int32_t StoredSize = 0;        // FileRecordSize
    int32_t UncompressedSize = 0;  // FileUncompressedSize
    uint8_t Compression = 0;       // FileCompression
    bool ReadFromDisk = false;     // the first page was just read from storage
  };

  TQDXInternalDBTransactedAccessFile(TQDXPageManager& pageManager, uint16_t pageType)
      : pageManager_(pageManager), pageType_(pageType) {}

  int32_t StartPageNo() const { return startPageNo_; }
  uint16_t PageType() const { return pageType_; }
  bool IsOpen() const { return startPageNo_ != -1; }

  // Sets StartPageNo; -1 leaves it unchanged.
  void Open(int32_t startPageNo);
  void Close() { startPageNo_ = -1; }
  // A new one-page file with an empty content header. 30383 when the file is open.
  void Create(int32_t sessionID);
  // Frees every page of the chain (opening it at `startPageNo` first unless that is -1); the
  // file is closed afterwards.
  void Delete(int32_t sessionID, int32_t startPageNo = -1);
  // Rewrites the first page's header and empties the content header (repair). 20301 when closed.
  void Reset(int32_t sessionID);

  Info GetInfo(int32_t sessionID, bool synchronize);
  int32_t GetSize(int32_t sessionID);  // 30389 when closed
  // Makes the chain fit `storedSize` bytes and writes the content header. 30389 when closed.
  void SetSize(int32_t sessionID, int32_t storedSize, uint8_t compression,
               int32_t uncompressedSize);
  // The first `count` content bytes. 30389 when closed; 30387 when the file is smaller; 30388
  // when the chain holds fewer bytes than its header says; 20189 when decompression fails.
  void ReadFile(int32_t sessionID, void* buffer, bool synchronize, int32_t count);
  // Replaces the content by `size` bytes, compressed with `compression` at `level` unless
  // `compression` is 0 (20187 when compression fails). An empty content is stored plain.
  void WriteFile(int32_t sessionID, const void* buffer, int32_t level, uint8_t compression,
                 int32_t size);
  // The whole content (GetSize bytes); a size the file cannot hold fails with 30388.
  TQDXMemBlock ReadAll(int32_t sessionID, bool synchronize, int32_t& size);

 private:
  void RequireOpen(const char* operation) const;
  TQDXPageHandle GetChainPage(int32_t sessionID, int32_t pageNo, bool synchronize);
  // The page at `position` (0 = first) of the chain; 20300 when the chain ends before.
  TQDXPageHandle WalkTo(int32_t sessionID, int64_t position);
  // Copies up to `wanted` stored bytes of the chain into `out` (plain content: the caller's
  // buffer) or, when `out` is null, into `grown`, which grows with the pages found. Answers the
  // bytes read.
  int64_t ReadChain(int32_t sessionID, bool synchronize, int64_t wanted, uint8_t* out,
                    TQDXMemBlock* grown);
  // The stored bytes of a compressed file, decompressed; `size` gives the uncompressed size.
  TQDXMemBlock ReadDecompressed(int32_t sessionID, bool synchronize, const Info& info);

  TQDXPageManager& pageManager_;
  uint16_t pageType_;
  int32_t startPageNo_ = -1;
};

}  // namespace qdx
