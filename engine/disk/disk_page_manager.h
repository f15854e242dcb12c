// TQDXDiskPageManager: the page manager of a database file.
//
// It creates and opens the file (signature search, header and password checks), maps page
// numbers to file positions, reads and writes pages with encryption and checksum, tells stale
// cached pages from current ones in multi-user mode, allocates and frees pages through its
// TQDXDatabaseFreeSpaceManager, commits a session's pages under the crash marker, takes the
// file's lock bytes and hands out database-wide object IDs. The header blocks and the lock bytes
// live in helpers of their own (database_header_blocks.h, database_lock_bytes.h) behind the
// manager's operations. One exists per open database per process; the disk database data
// creates it.
//
// Design notes:
//  1. The commit marker. A commit with something to write runs under the database lock:
//     FileState 1 is written, then the pages, then ChangeCounter + 1 with FileState 2.
//     Everything a commit can refuse (pages still held, a clean page in a dirty list, a page
//     version that no write may produce) is checked before FileState 1 is written. A commit
//     never writes over a FileState 1 it finds on disk: it rolls the unfinished commit back
//     first (note 6) or refuses (30563).
//  2. Encryption. In an encrypted database the data area of every page that is not a PFS or
//     EAM page and whose Encrypt flag is on is stored enciphered with the password's algorithm,
//     PageCRC holding the RawCRC32 of the plain data area and PageCryptoAlgorithm the cipher.
//     The header stays plain. A page is enciphered in a scratch buffer, so a cached page is
//     always plain and a failed encryption writes nothing and changes nothing. Reading
//     deciphers with the page's own algorithm and checks PageCRC (30446) unless the type check
//     is off.
//  3. In multi-user mode the free-space maps and the header's TotalPageCount and LastUsedPageNo
//     change straight in the file under the database lock, outside any session's commit. Where
//     no other process can change them the free-space manager holds them in memory, and the next
//     commit journals and writes the changed map pages with its own (free_space_manager.h).
//  4. Locks between processes are the lock block's bytes: TablesLockByte, DatabaseLockByte
//     (nested inside the process by a depth count), the first byte of the NextObjectID slot,
//     and bytes inside pages (session and table lock files). Locks taken "with retry" are tried
//     LockRetryCount times (4500) with LockRetryPause (20 ms) after each failure.
//  5. In design-time mode (database_file.h) every operation attaches the file for its duration.
//  6. The journal (commit_journal.h). Before FileState 1 is written, the original images of
//     the pages the commit overwrites (its dirty and freed pages and the map pages that free
//     them), the header and the file size go to the rollback journal beside the file; a page
//     written during the commit that the journal does not hold yet is added first. A durable
//     commit flushes the journal before FileState 1, the file after FileState 1, after the
//     pages and after FileState 2, and only then gives the journal up. A commit that fails rolls
//     the file back from the journal and drops the restored pages from the cache; when that
//     fails too, the journal stays for the next one to take the database lock. That one rolls
//     it back before it reads a page: the open (not a read-only one), a commit, an allocation
//     or release of pages, and in multi-user mode every table lock that sees FileState 1.
//     Without a hot journal FileState 1 still means "needs repair". docs/ARCHITECTURE.md has
//     the states.
//
// Not safe for concurrent use: it runs under its database's critical section.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/core/page_manager.h"
#include "engine/disk/commit_journal.h"
#include "engine/disk/database_file.h"
#include "engine/disk/database_header.h"
#include "engine/disk/database_header_blocks.h"
#include "engine/disk/database_lock_bytes.h"
#include "engine/disk/disk_table_pages_cache.h"
#include "engine/foundation/cipher/engine_cipher.h"
#include "engine/foundation/memory.h"

namespace qdx {

class TQDXDatabaseFreeSpaceManager;

class TQDXDiskPageManager : public TQDXPageManager {
 public:
  static constexpr int32_t kLockRetryCount = TQDXDatabaseLockBytes::kRetryCount;
  static constexpr uint32_t kLockRetryPauseMs = TQDXDatabaseLockBytes::kRetryPauseMs;

  TQDXDiskPageManager();
  // Closes an open file (without raising).
  ~TQDXDiskPageManager() override;

  // Creates (or replaces) the database file: the header area of a database without pages, and
  // the password check data when `password` has a text. 10461 when a file is open; 30470 for a
  // page size below kMinPageSize, 20237 for no pages per extent (nothing is created then). A
  // failure after the file was created removes it.
  void CreateDatabaseFile(const std::string& fileName, const TQDXPassword& password,
                          uint16_t pagesPerExtent = kDefaultPagesPerExtent,
                          uint16_t pageSize = kDefaultPageSize);
  // Opens an existing database file. `multiUser` and `readOnly` go in and come out: a file that
  // cannot be written is opened read-only, and one with the read-only attribute also single-
  // user. An exclusive open switches the MultiUser member off but leaves `multiUser` alone.
  // `repairNeeded` tells a header left by an unfinished commit (FileState not 2) or of an old
  // format (Version below 2.99). Failures, in the order checked: 10462 when a file is open; 30471
  // for a path that is no regular file (refused before it is opened); 30364 when it cannot be
  // opened; 20230 when the database stays locked; 10470 for a wrong signature (or an empty
  // file); 30470 for a page size below kMinPageSize; 30445 for a wrong password; 20237 for an
  // invalid header area. The file is closed again after a failure.
  void OpenDatabaseFile(const std::string& fileName, const TQDXPassword& password, bool& multiUser,
                        bool exclusive, bool& repairNeeded, bool& readOnly);
  // Closes the file (a failing close still leaves it closed) and drops the free space manager.
  void CloseDatabaseFile();
  // Opens the file again for reading only, sharing it, as an open forced read-only does: for a
  // database found read-only after its file was opened for writing (another program holds the
  // session slots). Requires: the file is open and no lock byte is held. 30364 when the file
  // cannot be opened again; it is closed then.
  void ReopenReadOnly();
  bool IsOpen() const { return isOpen_; }

  // The header blocks, kept by a TQDXDatabaseHeaderBlocks. ReadHeader: 10459 on a closed file,
  // 10464. WriteHeader: 10460, 10462; in design-time mode with `checkExternalChange`, 20196 when
  // another program left the file in the middle of a commit after this one read it.
  void ReadHeader();
  void WriteHeader(bool checkExternalChange);
  void ReadPasswordBlock();   // 30436, 30439
  void WritePasswordBlock();  // 30437, 30438
  void ReadLockBlockSize();   // 30441, 30442
  void WriteLockBlock();      // 30443, 30444

  TQDXDatabaseHeader& Header() { return blocks_.Header(); }
  const TQDXDatabaseHeader& Header() const { return blocks_.Header(); }
  const TQDXPasswordBlock& PasswordBlock() const { return blocks_.PasswordBlock(); }
  const TQDXPassword& GetPassword() const { return password_; }
  bool IsEncrypted() const { return Header().IsEncrypted(); }
  int16_t LockBlockSize() const { return blocks_.LockBlockSize(); }
  const TQDXDatabaseLayout& Layout() const { return layout_; }
  TQDXDatabaseFile& File() { return file_; }
  bool Exclusive() const { return exclusive_; }
  bool ReadOnly() const { return readOnly_; }
  int32_t DatabaseLockDepth() const { return lockBytes_.DatabaseLockDepth(); }
  TQDXDatabaseFreeSpaceManager* FreeSpaceManager() const { return freeSpace_.get(); }
  TQDXDiskTablePagesCacheManager& TablePagesCache() { return tablePagesCache_; }

  // Page -1 (any negative number) fails with 10471.
  int64_t PagePosition(int32_t pageNo) const { return layout_.PagePosition(pageNo); }
  // Direct I/O of `count` bytes at `offset` inside a page, for direct-access internal files.
  // 10476 / 10477 when the bytes do not lie inside the page; 10474 / 10475 for I/O.
  void ReadPagePart(void* buffer, int32_t pageNo, int32_t count, int32_t offset);
  void WritePagePart(const void* buffer, int32_t pageNo, int32_t count, int32_t offset);
  // The PageVersion stored for a page; kFreedPageVersion when it cannot be read.
  int32_t ReadPageVersion(int32_t pageNo) override;
  void WritePageVersion(int32_t pageNo, int32_t version);  // 20198

  // Lock bytes (design note 4), kept by LockBytes(). Each answers whether the lock was had;
  // none raises for a lock held elsewhere.
  TQDXDatabaseLockBytes& LockBytes() { return lockBytes_; }
  bool LockTables() { return lockBytes_.LockTables(); }
  bool UnlockTables() { return lockBytes_.UnlockTables(); }
  bool LockDatabase() { return lockBytes_.LockDatabase(); }
  bool UnlockDatabase() { return lockBytes_.UnlockDatabase(); }
  bool LockNextObjectID() { return lockBytes_.LockNextObjectID(); }
  bool UnlockNextObjectID() { return lockBytes_.UnlockNextObjectID(); }
  bool LockPageByte(int32_t pageNo, int32_t offset) {
    return lockBytes_.LockPageRegion(pageNo, offset, 1);
  }
  bool UnlockPageByte(int32_t pageNo, int32_t offset) {
    return lockBytes_.UnlockPageRegion(pageNo, offset, 1);
  }
  bool IsPageByteLocked(int32_t pageNo, int32_t offset) {
    return lockBytes_.IsPageRegionLocked(pageNo, offset, 1);
  }
  bool IsPageRegionLocked(int32_t pageNo, int32_t offset, int32_t count) {
    return lockBytes_.IsPageRegionLocked(pageNo, offset, count);
  }
  // `count` bytes locked or unlocked in one call (unlock only exactly a range locked so).
  bool LockPageRegion(int32_t pageNo, int32_t offset, int32_t count) {
    return lockBytes_.LockPageRegion(pageNo, offset, count);
  }
  bool UnlockPageRegion(int32_t pageNo, int32_t offset, int32_t count) {
    return lockBytes_.UnlockPageRegion(pageNo, offset, count);
  }
  // LockDatabase tried LockRetryCount times with LockRetryPause after each failure.
  bool LockDatabaseWithRetry() {
    return lockBytes_.WithRetry([this] { return lockBytes_.LockDatabase(); });
  }
  // Tests shorten the waits; the defaults are 4500 tries 20 ms apart.
  int32_t LockRetryCount() const { return lockBytes_.RetryCount(); }
  uint32_t LockRetryPause() const { return lockBytes_.RetryPause(); }
  void SetLockRetry(int32_t count, uint32_t pauseMs) { lockBytes_.SetRetry(count, pauseMs); }
  // The file system of the database file and its journal; null for the current one. Set while
  // the file is closed.
  void UseFileSystem(platform::FileSystem* fileSystem) {
    file_.SetFileSystem(fileSystem);
    journal_.SetFileSystem(fileSystem);
  }
  platform::FileSystem& FileSystemInUse() const { return file_.FileSystemInUse(); }

  // The next database-wide object ID: the stored counter + 1, written back. A read-only file
  // is not written; the answer then adds a random 0..9999 so that two readers seldom agree.
  // 30399 on a closed file, 30401 when the counter stays locked, 30400 / 30404 for I/O.
  int32_t GetNextObjectID();

  // The file grows by `count` pages: its size and the header image's TotalPageCount (the
  // caller writes the header).
  void GrowFile(int32_t count);
  // The file is made long enough for `count` pages (a rolled-back commit may have cut growth
  // that held free-space maps still count).
  void CoverPages(int32_t count);
  // The file shrinks by `count` pages (1..TotalPageCount): the header is written first, and
  // outside a commit flushed before the file is cut, so that it never counts pages the file
  // has lost.
  void ShrinkFile(int32_t count);
  // Makes everything written to the database file so far durable (10478 and the like for I/O).
  void FlushFile();
  // Cuts the free pages after LastUsedPageNo off the file, under the database lock (20213).
  void TruncateFreeTail();

  // Whether the page is a PFS or EAM page of this file (false while no file is open).
  bool IsSystemPage(int32_t pageNo) const;

  // The slots of TQDXPageManager.
  int32_t GetPageCount() override;  // 20236 when the database is locked
  bool IsCachedPageCurrent(int32_t sessionID, TQDXPage& page) override;
  void SetCachedPageCurrent(int32_t sessionID, TQDXPage& page) override;
  void InternalAddPage(TQDXPage& page) override;
  void InternalRemovePage(int32_t pageNo) override;
  bool InternalReadPage(TQDXPage& page) override;
  void InternalWritePage(TQDXPage& page) override;
  void RemovePage(int32_t sessionID, int32_t pageNo) override;  // 30434 for a PFS or EAM page
  TQDXPage* GetPage(int32_t sessionID, int32_t pageNo, bool synchronize,
                    uint16_t pageType) override;  // 30434 for a PFS or EAM page
  // The commit of design notes 1 and 6; `durable`: the journal and the file are flushed in
  // order, so that the commit is whole or absent after a power cut and durable on return.
  // 20213 when the database stays locked, 20280 for a page whose cached PageVersion no write
  // may produce (read as freed or unreadable), 30563 over an unfinished commit without a
  // journal; 30561 / 30562 for the journal's I/O.
  void CommitChanges(int32_t sessionID, bool durable);
  // The commit of a change made outside a transaction: CommitChanges, durable while
  // SyncAutoCommits is on (the program's own edits are on the disk when the call returns).
  void ApplyChanges(int32_t sessionID) override;
  bool SyncAutoCommits = true;
  // Requires: the database lock is held and the header was just read. Rolls back a commit left
  // unfinished (FileState 1 on disk) from its journal, when it has one and the file may be
  // written; answers whether it did (the header is then read again).
  bool RollBackInterruptedCommit();
  // Multi-user mode, before a session reads a table another process may have changed: a
  // FileState 1 on disk is rolled back under the database lock when its journal is hot.
  void RecoverBeforeRead();

 private:
  void ResetToNewFile();
  void RequireOpen(const msg::Message& failure) const;
  // The base offset of the database in the open file: the first signature followed by the
  // HeaderSize 76; 0 when there is none.
  int64_t SearchSignature();
  void OpenSteps(bool& repairNeeded);
  void CheckPassword();
  // 10470, the bytes found shown readably; for a file without bytes, that it is empty.
  [[noreturn]] void RaiseInvalidSignature();
  void CheckWritableVersions(int32_t sessionID) const;
  // The steps of CommitChanges (design note 6).
  void BeginJournal(int32_t sessionID, bool durable);
  void JournalPage(int32_t pageNo);
  // Before a write during the commit: a page the journal does not hold yet is added, and the
  // journal sealed (and flushed) before the page is overwritten.
  void JournalBeforeWrite(int32_t pageNo);
  void FinishCommit(bool durable);
  // After a failed commit: the file rolled back from the journal and the cache told.
  void RollBackFailedCommit() noexcept;
  void ForgetRestoredPages(const std::vector<int64_t>& positions);
  void FlushIf(bool durable);
  bool IsFileReadOnly(const std::string& fileName, bool& multiUser);
  uint8_t* WriteScratch();
  uint8_t* ReadScratch();

  TQDXDatabaseFile file_;
  TQDXCommitJournal journal_;
  // While a commit writes: the pages the journal holds (or that lie past the file's end before
  // the commit, which the rollback cuts off), and whether seals are flushed.
  bool journaling_ = false;
  bool journalDurable_ = false;
  int64_t fileSizeBeforeCommit_ = 0;
  std::unordered_set<int32_t> journaled_;
  TQDXPassword password_;
  TQDXDatabaseLayout layout_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool isOpen_ = false;
  std::unique_ptr<TQDXDatabaseFreeSpaceManager> freeSpace_;
  TQDXDiskTablePagesCacheManager tablePagesCache_;
  TQDXDatabaseHeaderBlocks blocks_{file_, layout_};
  TQDXDatabaseLockBytes lockBytes_{file_, layout_};
  // Page-sized buffers for enciphering a page before it is written and deciphering one before
  // it replaces a cached page's content.
  TQDXMemBlock writeScratch_;
  TQDXMemBlock readScratch_;
  // The original image of a page on its way to the journal.
  TQDXMemBlock journalScratch_;
  std::mt19937 random_;
};

}  // namespace qdx
