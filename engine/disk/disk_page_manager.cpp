#include "engine/disk/disk_page_manager.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/core/btree_page.h"
#include "engine/core/page.h"
#include "engine/core/page_format.h"
#include "engine/disk/allocation_check.h"
#include "engine/disk/commit_journal.h"
#include "engine/disk/free_space_manager.h"
#include "engine/foundation/cipher/password_check.h"
#include "engine/foundation/crc32.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/invariants.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/clock.h"
#include "engine/foundation/platform/file.h"

namespace qdx {
namespace {

// The signature search: the first read covers the signature and a main header; the scan reads
// windows of this many bytes, large so that a big file that is no database is refused in few
// system calls.
constexpr int32_t kFirstSignatureRead = static_cast<int32_t>(kDatabaseSignature.size()) + 76;
constexpr int32_t kSignatureWindow = 1 << 20;
// A window starts this far before the end of the previous one, so that a signature and its
// HeaderSize cut by a window's end are found whole in the next window.
constexpr int32_t kSignatureOverlap = static_cast<int32_t>(kDatabaseSignature.size()) + 2 - 1;
// The lock block must at least reach its two lock bytes.
constexpr int16_t kMinLockBlockSize = kDatabaseLockByteOffset + 1;
constexpr int32_t kMaxObjectIDSpread = 9999;

static_assert(kMinPageSize == kPageHeaderSize + kBTreeHeaderSize + 3 * (4 + kBTreeNodeRefSize));

// Refuses a page size too small for the layouts a page must hold.
void CheckPageSize(uint16_t pageSize) {
  if (pageSize < kMinPageSize) Raise(msg::kPageSizeTooSmall, {pageSize, kMinPageSize});
}

}  // namespace

TQDXDiskPageManager::TQDXDiskPageManager() : random_(std::random_device{}()) {
  ResetToNewFile();
}

TQDXDiskPageManager::~TQDXDiskPageManager() {
  try {
    CloseDatabaseFile();
  } catch (...) {  // a destructor cannot report a failing close
  }
}

void TQDXDiskPageManager::ResetToNewFile() {
  blocks_.Reset();
  layout_ = TQDXDatabaseLayout{};
  lockBytes_.Forget();
  SetPageGeometry(Header().PageSize, kPageHeaderSize);
}

void TQDXDiskPageManager::RequireOpen(const msg::Message& failure) const {
  if (!isOpen_) Raise(failure);
}

// --- Create, open, close ---------------------------------------------------------------------

void TQDXDiskPageManager::CreateDatabaseFile(const std::string& fileName,
                                             const TQDXPassword& password, uint16_t pagesPerExtent,
                                             uint16_t pageSize) {
  if (file_.IsOpen() || isOpen_) Raise(msg::kCreateDatabaseFileInUse, {fileName});
  // A geometry the maps cannot use, or a password that would encipher nothing, is refused
  // before anything is created.
  CheckPageSize(pageSize);
  TQDXFreeSpaceGeometry(pageSize, pagesPerExtent);
  if (!password.Password.empty() && CryptoAlgorithm(password.CryptoAlgorithm) == nullptr) {
    Raise(msg::kUnknownCryptoAlgorithm, {password.CryptoAlgorithm});
  }
  ResetToNewFile();
  SetPageGeometry(pageSize, kPageHeaderSize);
  password_ = password;
  file_.CreateFile(fileName);
  isOpen_ = true;
  readOnly_ = false;
  exclusive_ = false;
  try {
    // In design-time mode every operation attaches the file itself (design note 5).
    if (QDXDesignTimeMode()) file_.CloseFile();
    Header().Encrypted = password.Password.empty() ? 0 : kEncryptedMark;
    Header().PageSize = pageSize;
    Header().PagesPerExtent = pagesPerExtent;
    layout_ = TQDXDatabaseLayout(0, Header().HeaderSize, kLockBlockSize, pageSize);
    if (Header().IsEncrypted()) {
      const TQDXPasswordCheck check = MakePasswordCheck(password);
      blocks_.PasswordBlock().CryptoAlgorithm = password.CryptoAlgorithm;
      blocks_.PasswordBlock().PasswordCheckData = check.Data;
      blocks_.PasswordBlock().PasswordCheckCRC = check.CRC;
    }
    WriteHeader(/*checkExternalChange=*/true);
    WritePasswordBlock();
    WriteLockBlock();
    // Another process that holds the counter's lock keeps it; a new file starts at 0 anyway.
    TQDXFileAttachment attachment(file_);
    if (const TQDXObjectIDLockGuard lock(lockBytes_, TQDXObjectIDLockGuard::Wait::WithRetry);
        lock.Held()) {
      uint8_t zero[kNextObjectIDSlotSize] = {};
      file_.WriteBuffer(zero, msg::kInitFileNextObjectID, layout_.NextObjectIDPosition(),
                        sizeof zero);
    }
    freeSpace_ = std::make_unique<TQDXDatabaseFreeSpaceManager>(*this);
  } catch (...) {
    // What was written is no database: it goes, so that nobody takes it for one.
    CloseDatabaseFile();
    platform::DeleteFile(FileSystemInUse(), fileName);
    throw;
  }
}

bool TQDXDiskPageManager::IsFileReadOnly(const std::string& fileName, bool& multiUser) {
  if (platform::IsFileReadOnly(FileSystemInUse(), fileName)) {
    multiUser = false;
    return true;
  }
  // Single-user denies other handles writing while it probes: a file another handle writes to
  // (the same program started twice) opens read-only.
  platform::File probe;
  probe.SetFileSystem(file_.GivenFileSystem());
  if (!probe.Open(fileName, platform::FileAccess::ReadWrite,
                  multiUser ? platform::FileShare::ReadWrite : platform::FileShare::Read)) {
    return true;
  }
  uint8_t byte = 0;
  if (probe.ReadAt(0, &byte, 1) == 1 && probe.WriteAt(0, &byte, 1) != 1) return true;
  return false;
}

void TQDXDiskPageManager::OpenDatabaseFile(const std::string& fileName,
                                           const TQDXPassword& password, bool& multiUser,
                                           bool exclusive, bool& repairNeeded, bool& readOnly) {
  if (file_.IsOpen() || isOpen_) Raise(msg::kOpenDatabaseFileInUse, {fileName});
  RequireRegularFile(FileSystemInUse(), fileName);
  ResetToNewFile();
  password_ = password;
  if (!readOnly && platform::FileExists(FileSystemInUse(), fileName)) {
    readOnly = IsFileReadOnly(fileName, multiUser);
  }
  MultiUser = multiUser;
  exclusive_ = exclusive;
  readOnly_ = readOnly;

  uint8_t access = TQDXDatabaseFile::kAccessReadWrite;
  uint8_t share = TQDXDatabaseFile::kShareReadWrite;
  if (readOnly) {
    access = TQDXDatabaseFile::kAccessReadOnly;
  } else if (exclusive) {
    share = TQDXDatabaseFile::kShareExclusive;
    MultiUser = false;
  }
  file_.OpenFile(fileName, access, share);
  isOpen_ = true;
  try {
    if (QDXDesignTimeMode()) file_.CloseFile();
    OpenSteps(repairNeeded);
  } catch (...) {
    CloseDatabaseFile();
    throw;
  }
}

void TQDXDiskPageManager::OpenSteps(bool& repairNeeded) {
  TQDXFileAttachment attachment(file_);
  // The search and the header read are guarded by the database lock at base offset 0: a file
  // whose database lies further in is only found by reading.
  layout_ = TQDXDatabaseLayout{};
  {
    const TQDXDatabaseLockGuard lock(lockBytes_, TQDXDatabaseLockGuard::Wait::WithRetry);
    if (!lock.Held()) Raise(msg::kDatabaseLockedForOpen);
    layout_ =
        TQDXDatabaseLayout(SearchSignature(), kMainHeaderSize, kLockBlockSize, Header().PageSize);
    ReadHeader();
    // A commit cut off by a crash is rolled back before any page is read.
    if (Header().HasValidSignature() && Header().HeaderSize == kMainHeaderSize) {
      RollBackInterruptedCommit();
    }
    repairNeeded = !Header().IsConsistent() || Header().IsOldFormat();
  }

  if (!Header().HasValidSignature()) RaiseInvalidSignature();
  // Positions are computed from HeaderSize: a damaged value would move every block.
  if (Header().HeaderSize != kMainHeaderSize) {
    Raise(msg::kInvalidDatabaseFormat);
  }
  CheckPageSize(Header().PageSize);
  SetPageGeometry(Header().PageSize, kPageHeaderSize);
  layout_ = TQDXDatabaseLayout(layout_.BaseOffset(), Header().HeaderSize, kLockBlockSize,
                               Header().PageSize);
  ReadPasswordBlock();
  if (Header().IsEncrypted()) CheckPassword();
  if (!blocks_.PasswordBlock().HasValidSize()) Raise(msg::kInvalidDatabaseFormat);
  ReadLockBlockSize();
  if (blocks_.LockBlockSize() < kMinLockBlockSize) {
    Raise(msg::kInvalidDatabaseFormat);
  }
  layout_ = TQDXDatabaseLayout(layout_.BaseOffset(), Header().HeaderSize, blocks_.LockBlockSize(),
                               Header().PageSize);
  freeSpace_ = std::make_unique<TQDXDatabaseFreeSpaceManager>(*this);
}

void TQDXDiskPageManager::RaiseInvalidSignature() {
  // The bytes found are shown escaped: a message is cut at a zero byte, and control bytes of a
  // hostile file must not reach a terminal. Bytes past the end of a short file are not shown.
  const int64_t size = file_.GetSize();
  if (size == 0) Raise(msg::kInvalidFileFormatEmpty);
  const size_t shown = static_cast<size_t>(
      std::clamp<int64_t>(size - layout_.BaseOffset(), 0, Header().Signature.size()));
  const std::string found = PrintableBytes(
      {reinterpret_cast<const char*>(Header().Signature.data()), shown});
  const std::string expected(kDatabaseSignature.begin(), kDatabaseSignature.end());
  Raise(msg::kInvalidFileFormat, {found, expected});
}

void TQDXDiskPageManager::CheckPassword() {
  password_.CryptoAlgorithm = blocks_.PasswordBlock().CryptoAlgorithm;
  if (!PasswordCheckMatches(blocks_.PasswordBlock().PasswordCheckData,
                            blocks_.PasswordBlock().PasswordCheckCRC, password_)) {
    Raise(msg::kIncorrectPassword);
  }
}

int64_t TQDXDiskPageManager::SearchSignature() {
  constexpr int32_t kNeeded = static_cast<int32_t>(kDatabaseSignature.size()) + 2;
  std::array<uint8_t, kFirstSignatureRead> first{};
  int32_t got = 0;
  if (file_.ReadBuffer(first.data(), 0, kFirstSignatureRead, &got) && got >= kNeeded &&
      FindDatabaseSignature({first.data(), kNeeded}) == size_t{0}) {
    return 0;
  }
  // A small file is scanned in one window of its own size.
  const int32_t windowSize = static_cast<int32_t>(
      std::clamp<int64_t>(file_.GetSize(), kSignatureOverlap + 1, kSignatureWindow));
  std::vector<uint8_t> window(static_cast<size_t>(windowSize));
  int64_t position = 0;
  for (;;) {
    // Holes read as zeros and hold no signature: a sparse file is passed over without reading
    // them. No signature starts in a hole, and one that starts before the next window's start
    // lies whole in this window.
    position = file_.NextDataPosition(position);
    if (position < 0) return 0;
    if (!file_.ReadBuffer(window.data(), position, windowSize, &got)) return 0;
    if (const auto offset = FindDatabaseSignature({window.data(), static_cast<size_t>(got)})) {
      return position + static_cast<int64_t>(*offset);
    }
    if (got < windowSize) return 0;
    position += windowSize - kSignatureOverlap;
  }
}

void TQDXDiskPageManager::CloseDatabaseFile() {
  freeSpace_.reset();
  tablePagesCache_.Clear();
  lockBytes_.Forget();
  isOpen_ = false;
  if (!file_.IsOpen()) return;
  try {
    file_.CloseFile();
  } catch (const EQDXException&) {  // the file counts as closed whatever the system says
  }
}

// --- Header blocks ---------------------------------------------------------------------------

void TQDXDiskPageManager::ReadHeader() {
  RequireOpen(msg::kReadOnClosedDatabaseFile);
  blocks_.ReadHeader();
  // Held free-space maps (free_space_manager.h) keep the page counts their next commit writes.
  if (freeSpace_ != nullptr) freeSpace_->PublishCounts();
}

void TQDXDiskPageManager::WriteHeader(bool checkExternalChange) {
  RequireOpen(msg::kWriteOnClosedDatabaseFile);
  blocks_.WriteHeader(checkExternalChange);
}

void TQDXDiskPageManager::ReadPasswordBlock() {
  RequireOpen(msg::kReadPasswordBlockOnClosedFile);
  blocks_.ReadPasswordBlock();
}

void TQDXDiskPageManager::WritePasswordBlock() {
  RequireOpen(msg::kWritePasswordBlockOnClosedFile);
  blocks_.WritePasswordBlock();
}

void TQDXDiskPageManager::ReadLockBlockSize() {
  RequireOpen(msg::kReadLockBlockOnClosedFile);
  blocks_.ReadLockBlockSize();
}

void TQDXDiskPageManager::WriteLockBlock() {
  RequireOpen(msg::kWriteLockBlockOnClosedFile);
  blocks_.WriteLockBlock();
}

// --- Page I/O --------------------------------------------------------------------------------

namespace {

bool FitsInPage(int32_t count, int32_t offset, uint16_t pageSize) {
  return count >= 0 && offset >= 0 && int64_t{offset} + count <= pageSize;
}

}  // namespace

void TQDXDiskPageManager::ReadPagePart(void* buffer, int32_t pageNo, int32_t count,
                                       int32_t offset) {
  if (!FitsInPage(count, offset, PageSize())) {
    Raise(msg::kReadPageOffsetInvalid, {int64_t{offset} + count, int32_t{PageSize()}});
  }
  TQDXFileAttachment attachment(file_);
  file_.CheckedReadBuffer(buffer, msg::kReadFilePageBytes, PagePosition(pageNo) + offset, count);
}

void TQDXDiskPageManager::WritePagePart(const void* buffer, int32_t pageNo, int32_t count,
                                        int32_t offset) {
  if (!FitsInPage(count, offset, PageSize())) {
    Raise(msg::kWritePageOffsetInvalid, {int64_t{offset} + count, int32_t{PageSize()}});
  }
  TQDXFileAttachment attachment(file_);
  JournalBeforeWrite(pageNo);
  file_.WriteBuffer(buffer, msg::kWriteFilePageBytes, PagePosition(pageNo) + offset, count);
}

int32_t TQDXDiskPageManager::ReadPageVersion(int32_t pageNo) {
  if (!isOpen_ || pageNo < 0) return kFreedPageVersion;
  TQDXFileAttachment attachment(file_);
  uint8_t bytes[4];
  int32_t got = 0;
  if (!file_.ReadBuffer(bytes, PagePosition(pageNo) + page_header::kVersionOffset, 4, &got) ||
      got != 4) {
    return kFreedPageVersion;
  }
  return le::Load<int32_t>(bytes);
}

void TQDXDiskPageManager::WritePageVersion(int32_t pageNo, int32_t version) {
  TQDXFileAttachment attachment(file_);
  JournalBeforeWrite(pageNo);
  uint8_t bytes[4];
  le::Store(bytes, version);
  file_.WriteBuffer(bytes, msg::kWriteFilePageVersion,
                    PagePosition(pageNo) + page_header::kVersionOffset, 4);
}

uint8_t* TQDXDiskPageManager::WriteScratch() {
  if (writeScratch_.size() < PageSize()) writeScratch_ = TQDXMemBlock(PageSize());
  return writeScratch_.data();
}

uint8_t* TQDXDiskPageManager::ReadScratch() {
  if (readScratch_.size() < PageSize()) readScratch_ = TQDXMemBlock(PageSize());
  return readScratch_.data();
}

bool TQDXDiskPageManager::IsSystemPage(int32_t pageNo) const {
  return freeSpace_ != nullptr && freeSpace_->IsSystemPage(pageNo);
}

bool TQDXDiskPageManager::InternalReadPage(TQDXPage& page) {
  if (page.Buffer() == nullptr) page.AllocateBuffer();
  page.ReadFromDisk = true;
  const int64_t position = PagePosition(page.PageNo);
  TQDXFileAttachment attachment(file_);
  const int32_t pageSize = PageSize();
  const bool decipher = IsEncrypted() && !IsSystemPage(page.PageNo);
  // An enciphered page is read beside the cached content, which stays intact when the page
  // turns out to be damaged.
  uint8_t* target = decipher ? ReadScratch() : page.Buffer();
  int32_t got = 0;
  // A page that lies beyond the end of the file (a short read) cannot be read either.
  if (!file_.ReadBuffer(target, position, pageSize, &got) || got != pageSize) {
    page.SetPageVersion(kFreedPageVersion);
    return false;
  }
  if (decipher) {
    const std::span<uint8_t> data(target + kPageHeaderSize, PageDataSize());
    DecryptBufferOrRaise(page_header::PageCryptoAlgorithm(target), data, password_.Password);
    if (!TypeCheckOff() && RawCRC32(data) != page_header::PageCRC(target)) {
      page.SetPageVersion(kFreedPageVersion);
      Raise(msg::kDecryptPageCRCFailed, {page.PageNo});
    }
    std::memcpy(page.Buffer(), target, static_cast<size_t>(pageSize));
  }
  return true;
}

void TQDXDiskPageManager::InternalWritePage(TQDXPage& page) {
  const int32_t version = page.PageVersion();
  if (version >= kPageVersionWrap) {
    Raise(msg::kPageVersionNotWritable, {page.PageNo, version});
  }
  const int64_t position = PagePosition(page.PageNo);
  TQDXFileAttachment attachment(file_);
  JournalBeforeWrite(page.PageNo);
  const int32_t pageSize = PageSize();
  if (!IsEncrypted() || IsSystemPage(page.PageNo) || !page.Encrypt) {
    page.SetPageVersion(NextPageVersion(version));
    try {
      file_.WriteBuffer(page.Buffer(), msg::kWriteFilePage, position, pageSize);
    } catch (...) {
      page.SetPageVersion(version);
      throw;
    }
    return;
  }
  // The page is enciphered in a copy (design note 2): the cached page stays plain, and when
  // the cipher fails nothing is written and the page is as it was. An algorithm code without
  // a cipher would "encipher" by leaving the data plain.
  if (CryptoAlgorithm(password_.CryptoAlgorithm) == nullptr) {
    Raise(msg::kCannotEncipherPage, {page.PageNo, password_.CryptoAlgorithm});
  }
  uint8_t* copy = WriteScratch();
  std::memcpy(copy, page.Buffer(), static_cast<size_t>(pageSize));
  const std::span<uint8_t> data(copy + kPageHeaderSize, PageDataSize());
  page_header::SetPageVersion(copy, NextPageVersion(version));
  page_header::SetPageCryptoAlgorithm(copy, password_.CryptoAlgorithm);
  page_header::SetPageCRC(copy, RawCRC32(data));
  EncryptBufferOrRaise(password_.CryptoAlgorithm, data, password_.Password);
  file_.WriteBuffer(copy, msg::kWriteFilePage, position, pageSize);
  std::memcpy(page.Buffer(), copy, kPageHeaderSize);
}

void TQDXDiskPageManager::ReopenReadOnly() {
  if (readOnly_) return;
  readOnly_ = true;
  const std::string fileName = file_.FileName();
  if (file_.IsOpen()) file_.CloseFile();
  lockBytes_.Forget();
  try {
    file_.OpenFile(fileName, TQDXDatabaseFile::kAccessReadOnly,
                   TQDXDatabaseFile::kShareReadWrite);
    if (QDXDesignTimeMode()) file_.CloseFile();
  } catch (...) {
    CloseDatabaseFile();
    throw;
  }
}

// --- Object IDs, file size -------------------------------------------------------------------

int32_t TQDXDiskPageManager::GetNextObjectID() {
  AssertDatabaseLockHeld();
  RequireOpen(msg::kNextObjectIDOnClosedFile);
  TQDXFileAttachment attachment(file_);
  const TQDXObjectIDLockGuard lock(lockBytes_, TQDXObjectIDLockGuard::Wait::WithRetry);
  if (!lock.Held()) Raise(msg::kNextObjectIDLocked);
  uint8_t bytes[kNextObjectIDSlotSize] = {};
  file_.CheckedReadBuffer(bytes, msg::kReadFileNextObjectID, layout_.NextObjectIDPosition(),
                          sizeof bytes);
  // Unsigned arithmetic: a damaged counter at the top of the range wraps instead of
  // overflowing.
  uint32_t next = le::Load<uint32_t>(bytes) + 1;
  if (!readOnly_) {
    le::Store(bytes, next);
    file_.WriteBuffer(bytes, msg::kWriteFileNextObjectID, layout_.NextObjectIDPosition(),
                      sizeof bytes);
  } else {
    next += static_cast<uint32_t>(
        std::uniform_int_distribution<int32_t>(0, kMaxObjectIDSpread)(random_));
  }
  return static_cast<int32_t>(next);
}

void TQDXDiskPageManager::GrowFile(int32_t count) {
  TQDXFileAttachment attachment(file_);
  // The file ends where the header says the pages end, whatever it held before.
  file_.SetSize(layout_.FileSizeFor(Header().TotalPageCount + count));
  Header().TotalPageCount += count;
}

void TQDXDiskPageManager::CoverPages(int32_t count) {
  TQDXFileAttachment attachment(file_);
  const int64_t size = layout_.FileSizeFor(count);
  if (file_.GetSize() < size) file_.SetSize(size);
}

void TQDXDiskPageManager::ShrinkFile(int32_t count) {
  if (count < 1 || count > Header().TotalPageCount) return;
  TQDXFileAttachment attachment(file_);
  Header().TotalPageCount -= count;
  WriteHeader(/*checkExternalChange=*/true);
  // Inside a commit the journal holds the header and the size; outside one a power cut may
  // keep the shorter file and lose the header.
  if (!journaling_) file_.FlushFileBuffers();
  file_.SetSize(layout_.FileSizeFor(Header().TotalPageCount));
}

void TQDXDiskPageManager::FlushFile() {
  TQDXFileAttachment attachment(file_);
  file_.FlushFileBuffers();
}

void TQDXDiskPageManager::TruncateFreeTail() {
  AssertDatabaseLockHeld();
  RequireOpen(msg::kReadOnClosedDatabaseFile);
  TQDXFileAttachment attachment(file_);
  // The header is read afresh under the lock: another process may have allocated pages.
  const TQDXDatabaseLockGuard lock(lockBytes_, TQDXDatabaseLockGuard::Wait::WithRetry);
  if (!lock.Held()) Raise(msg::kDatabaseLockedForUpdate);
  ReadHeader();
  // Changes held for the next commit are not to be cut under it.
  if (freeSpace_ != nullptr && !freeSpace_->ChangedMapPages().empty()) return;
  const int32_t freeTail = Header().TotalPageCount - 1 - Header().LastUsedPageNo;
  if (freeTail <= 0) return;
  ShrinkFile(freeTail);
  if (freeSpace_ != nullptr) freeSpace_->Reload();
}

// --- Slots -----------------------------------------------------------------------------------

int32_t TQDXDiskPageManager::GetPageCount() {
  TQDXFileAttachment attachment(file_);
  {
    const TQDXDatabaseLockGuard lock(lockBytes_, TQDXDatabaseLockGuard::Wait::Once);
    if (!lock.Held()) Raise(msg::kDatabaseLockedForPageCount);
    ReadHeader();
  }
  return Header().TotalPageCount;
}

bool TQDXDiskPageManager::IsCachedPageCurrent(int32_t sessionID, TQDXPage& page) {
  if (!MultiUser) return true;
  const std::optional<int32_t> version = tablePagesCache_.CurrentVersion(sessionID);
  if (!version) return false;
  const TQDXPage::SessionVersion seen = page.GetSessionVersion(sessionID);
  return seen.Present && seen.Version == *version;
}

void TQDXDiskPageManager::SetCachedPageCurrent(int32_t sessionID, TQDXPage& page) {
  if (!MultiUser) return;
  if (const std::optional<int32_t> version = tablePagesCache_.CurrentVersion(sessionID)) {
    page.SetSessionVersion(sessionID, {*version, true});
  }
}

void TQDXDiskPageManager::InternalAddPage(TQDXPage& page) {
  if (freeSpace_ == nullptr) Raise(msg::kReadOnClosedDatabaseFile);
  page.PageNo = freeSpace_->AllocatePage();
  if constexpr (kCheckInvariants) CheckAllocationAgainstHeader(*freeSpace_, Header(), page.PageNo);
  page.AllocateBuffer();
}

void TQDXDiskPageManager::InternalRemovePage(int32_t pageNo) {
  if (freeSpace_ == nullptr) Raise(msg::kReadOnClosedDatabaseFile);
  // Marking a page beyond the end as freed would extend the file past its pages. The header
  // image is current here: the commit reads it first, and a rollback gives back pages this
  // manager allocated.
  if (pageNo < 0 || pageNo >= Header().TotalPageCount) {
    Raise(msg::kPageBeyondFile, {pageNo, Header().TotalPageCount});
  }
  // Outside a commit, held maps give back a page allocated since the last commit, which was
  // never written: the file is not touched.
  if (journaling_ || !freeSpace_->HoldsMaps()) WritePageVersion(pageNo, kFreedPageVersion);
  freeSpace_->FreePage(pageNo);
}

void TQDXDiskPageManager::RemovePage(int32_t sessionID, int32_t pageNo) {
  if (freeSpace_ != nullptr) freeSpace_->CheckNotSystemPage(pageNo);
  TQDXPageManager::RemovePage(sessionID, pageNo);
}

TQDXPage* TQDXDiskPageManager::GetPage(int32_t sessionID, int32_t pageNo, bool synchronize,
                                       uint16_t pageType) {
  if (freeSpace_ != nullptr) freeSpace_->CheckNotSystemPage(pageNo);
  return TQDXPageManager::GetPage(sessionID, pageNo, synchronize, pageType);
}

void TQDXDiskPageManager::CheckWritableVersions(int32_t sessionID) const {
  const TQDXSortedPageList* dirty = DirtyList(sessionID);
  if (dirty == nullptr) return;
  for (int32_t i = 0; i < dirty->Count(); ++i) {
    const TQDXPage* page = dirty->Page(i);
    if (page->PageVersion() >= kPageVersionWrap) {
      Raise(msg::kPageVersionNotWritable, {page->PageNo, page->PageVersion()});
    }
  }
}

void TQDXDiskPageManager::ApplyChanges(int32_t sessionID) {
  CommitChanges(sessionID, SyncAutoCommits);
}

void TQDXDiskPageManager::CommitChanges(int32_t sessionID, bool durable) {
  if (!HasPendingChanges(sessionID)) return;
  // Everything that can refuse the commit is checked before FileState 1 reaches the file.
  CheckCommitPreconditions(sessionID);
  CheckWritableVersions(sessionID);
  RequireOpen(msg::kWriteOnClosedDatabaseFile);
  TQDXFileAttachment attachment(file_);
  const TQDXDatabaseLockGuard lock(lockBytes_, TQDXDatabaseLockGuard::Wait::WithRetry);
  if (!lock.Held()) Raise(msg::kDatabaseLockedForUpdate);
  ReadHeader();
  // Writing over the marker of an unfinished commit would hide a torn file.
  if (Header().FileState == kFileStateWriting && !RollBackInterruptedCommit()) {
    Raise(msg::kCommitOverUnfinishedCommit);
  }
  // A release the file cannot take is refused before anything reaches it.
  if (freeSpace_ != nullptr) freeSpace_->CheckFreeable(RemovedPages(sessionID));
  // The held maps are remembered first: nothing of the file has changed if that fails.
  if (freeSpace_ != nullptr) freeSpace_->BeginCommit();
  try {
    BeginJournal(sessionID, durable);
  } catch (...) {
    if (freeSpace_ != nullptr) freeSpace_->EndCommit(/*committed=*/false);
    throw;
  }
  try {
    Header().FileState = kFileStateWriting;
    WriteHeader(/*checkExternalChange=*/true);
    FlushIf(durable);
    TQDXPageManager::ApplyChanges(sessionID);
    // Held map changes are pages of this commit, written after the pages they describe.
    if (freeSpace_ != nullptr) freeSpace_->WriteChanges();
    FlushIf(durable);
    Header().ChangeCounter =
        static_cast<int32_t>(static_cast<uint32_t>(Header().ChangeCounter) + 1);
    Header().FileState = kFileStateConsistent;
    WriteHeader(/*checkExternalChange=*/false);
    FlushIf(durable);
  } catch (...) {
    RollBackFailedCommit();
    if (freeSpace_ != nullptr) freeSpace_->EndCommit(/*committed=*/false);
    throw;
  }
  if (freeSpace_ != nullptr) freeSpace_->EndCommit(/*committed=*/true);
  journaling_ = false;
  journaled_.clear();
  journal_.End();
}

void TQDXDiskPageManager::FlushIf(bool durable) {
  if (durable) file_.FlushFileBuffers();
}

void TQDXDiskPageManager::BeginJournal(int32_t sessionID, bool durable) {
  std::array<uint8_t, kMainHeaderSize> headerImage{};
  file_.CheckedReadBuffer(headerImage.data(), msg::kReadFileHeader, layout_.HeaderPosition(),
                          kMainHeaderSize);
  fileSizeBeforeCommit_ = file_.GetSize();
  journalDurable_ = durable;
  journaled_.clear();
  try {
    journal_.Begin(file_.FileName(),
                   {PageSize(), Header().ChangeCounter, fileSizeBeforeCommit_,
                    layout_.HeaderPosition(), headerImage},
                   durable);
    if (const TQDXSortedPageList* dirty = DirtyList(sessionID)) {
      for (int32_t i = 0; i < dirty->Count(); ++i) JournalPage(dirty->Page(i)->PageNo);
    }
    // Map pages changed by allocations since the last commit are written by this one.
    if (freeSpace_ != nullptr) {
      for (const int32_t pageNo : freeSpace_->ChangedMapPages()) JournalPage(pageNo);
    }
    // Freeing a page writes its PageVersion and its bits in the free-space maps.
    for (const int32_t pageNo : RemovedPages(sessionID)) {
      JournalPage(pageNo);
      if (freeSpace_ == nullptr || pageNo < 0) continue;
      const TQDXFreeSpaceGeometry& geometry = freeSpace_->Geometry();
      JournalPage(static_cast<int32_t>(geometry.PfsSlot(pageNo).MapPageNo));
      JournalPage(static_cast<int32_t>(geometry.EamSlot(geometry.ExtentOf(pageNo)).MapPageNo));
    }
    journal_.Seal(durable);
  } catch (...) {
    // Nothing of the file was written: the journal is given up as it is.
    journal_.Abandon();
    journaled_.clear();
    throw;
  }
  journaling_ = true;
}

void TQDXDiskPageManager::JournalPage(int32_t pageNo) {
  if (!journaled_.insert(pageNo).second) return;
  const int64_t position = PagePosition(pageNo);
  // A page past the file's end before the commit has no image: the rollback cuts it off.
  if (position + PageSize() > fileSizeBeforeCommit_) return;
  if (journalScratch_.size() < PageSize()) journalScratch_ = TQDXMemBlock(PageSize());
  file_.CheckedReadBuffer(journalScratch_.data(), msg::kReadPageForJournal, position, PageSize());
  journal_.AddPage(position, {journalScratch_.data(), PageSize()});
}

void TQDXDiskPageManager::JournalBeforeWrite(int32_t pageNo) {
  if (!journaling_ || journaled_.contains(pageNo)) return;
  JournalPage(pageNo);
  journal_.Seal(journalDurable_);
}

void TQDXDiskPageManager::RollBackFailedCommit() noexcept {
  journaling_ = false;
  journaled_.clear();
  journal_.Abandon();
  try {
    std::vector<int64_t> restored;
    if (RollBackJournal(file_, layout_, &restored, /*ownCommit=*/true)) {
      ForgetRestoredPages(restored);
    }
    ReadHeader();
  } catch (...) {  // the journal stays for whoever takes the database lock next
  }
}

bool TQDXDiskPageManager::RollBackInterruptedCommit() {
  if (journaling_ || readOnly_ || Header().FileState != kFileStateWriting) return false;
  TQDXFileAttachment attachment(file_);
  // At the open the layout is not complete yet: the page area follows the lock block, whose
  // size the file holds.
  uint8_t lockBlockSize[2] = {};
  int32_t got = 0;
  if (!file_.ReadBuffer(lockBlockSize, layout_.LockBlockPosition(), sizeof lockBlockSize, &got) ||
      got != sizeof lockBlockSize || DecodeLockBlockSize(lockBlockSize) < kMinLockBlockSize) {
    return false;
  }
  const TQDXDatabaseLayout layout(layout_.BaseOffset(), kMainHeaderSize,
                                  DecodeLockBlockSize(lockBlockSize), Header().PageSize);
  std::vector<int64_t> restored;
  if (!RollBackJournal(file_, layout, &restored)) return false;
  ForgetRestoredPages(restored);
  ReadHeader();
  return true;
}

void TQDXDiskPageManager::ForgetRestoredPages(const std::vector<int64_t>& positions) {
  // At the open nothing is cached, and the layout is not yet complete.
  if (SharedList().Count() == 0 || PageSize() == 0) return;
  const int64_t first = PagePosition(0);
  for (const int64_t position : positions) {
    if (position >= first) ForgetCachedPage(static_cast<int32_t>((position - first) / PageSize()));
  }
}

void TQDXDiskPageManager::RecoverBeforeRead() {
  if (!MultiUser || readOnly_ || !isOpen_ || journaling_) return;
  TQDXFileAttachment attachment(file_);
  uint8_t state = 0;
  int32_t got = 0;
  if (!file_.ReadBuffer(&state, layout_.HeaderPosition() + kFileStateOffset, 1, &got) ||
      got != 1 || state != kFileStateWriting) {
    return;
  }
  // The marker is also there while another process commits: its lock is waited for.
  const TQDXDatabaseLockGuard lock(lockBytes_, TQDXDatabaseLockGuard::Wait::WithRetry);
  if (!lock.Held()) return;
  ReadHeader();
  RollBackInterruptedCommit();
}

}  // namespace qdx
