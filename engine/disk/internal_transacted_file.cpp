#include "engine/disk/internal_transacted_file.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "engine/disk/internal_file_format.h"
#include "engine/foundation/compression/compression.h"
#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/scope_guard.h"

namespace qdx {

namespace {

// The first page's data area, where the content header starts: a page too small for the
// header fails to decode (20056) instead of being read past its end.
std::span<uint8_t> ContentHeader(TQDXPage& page) {
  return page.DataArea();
}

}  // namespace

void TQDXInternalDBTransactedAccessFile::RequireOpen(const char* operation) const {
  if (!IsOpen()) Raise(msg::kTransactedFileClosed, {operation});
}

TQDXPageHandle TQDXInternalDBTransactedAccessFile::GetChainPage(int32_t sessionID, int32_t pageNo,
                                                                bool synchronize) {
  return TQDXPageHandle::Get(pageManager_, sessionID, pageNo, synchronize, pageType_);
}

TQDXPageHandle TQDXInternalDBTransactedAccessFile::WalkTo(int32_t sessionID, int64_t position) {
  TQDXPageHandle page = GetChainPage(sessionID, startPageNo_, true);
  for (int64_t step = 1; step <= position; ++step) {
    const int32_t next = page->NextPageNo();
    if (next == -1) Raise(msg::kErrorGettingTableFilePage, {step});
    page = GetChainPage(sessionID, next, true);
  }
  return page;
}

void TQDXInternalDBTransactedAccessFile::Open(int32_t startPageNo) {
  if (startPageNo != -1) startPageNo_ = startPageNo;
}

void TQDXInternalDBTransactedAccessFile::Create(int32_t sessionID) {
  if (IsOpen()) Raise(msg::kTransactedFileExists, {startPageNo_});
  TQDXPageHandle page = TQDXPageHandle::Add(pageManager_, sessionID, pageType_);
  TQDXTransactedFileHeader{}.Encode(ContentHeader(*page));
  page->Dirty = true;
  startPageNo_ = page->PageNo;
}

void TQDXInternalDBTransactedAccessFile::Delete(int32_t sessionID, int32_t startPageNo) {
  Open(startPageNo);
  std::unordered_set<int32_t> seen;
  int32_t pageNo = startPageNo_;
  while (pageNo != -1 && seen.insert(pageNo).second) {
    int32_t next;
    {
      TQDXPageHandle page = GetChainPage(sessionID, pageNo, true);
      next = page->NextPageNo();
    }
    pageManager_.RemovePage(sessionID, pageNo);
    pageNo = next;
  }
  startPageNo_ = -1;
}

void TQDXInternalDBTransactedAccessFile::Reset(int32_t sessionID) {
  if (!IsOpen()) Raise(msg::kRepairClosedTransactedFile);
  const bool typeCheckWasOff = pageManager_.TypeCheckOff();
  pageManager_.SetTypeCheckOff(true);
  const ScopeExit restoreTypeCheck([&] { pageManager_.SetTypeCheckOff(typeCheckWasOff); });
  TQDXPageHandle page = GetChainPage(sessionID, startPageNo_, true);
  // The write counter survives: other processes tell stale copies by it.
  const int32_t version = page->PageVersion();
  page->InitHeader();
  page->SetPageVersion(version);
  page->SetPageType(pageType_);
  TQDXTransactedFileHeader header = TQDXTransactedFileHeader::Decode(ContentHeader(*page));
  header.FileRecordSize = 0;
  header.FileCompression = 0;
  header.Encode(ContentHeader(*page));
  page->Dirty = true;
}

TQDXInternalDBTransactedAccessFile::Info TQDXInternalDBTransactedAccessFile::GetInfo(
    int32_t sessionID, bool synchronize) {
  TQDXPageHandle page = GetChainPage(sessionID, startPageNo_, synchronize);
  const TQDXTransactedFileHeader header = TQDXTransactedFileHeader::Decode(ContentHeader(*page));
  return {header.FileRecordSize, header.FileUncompressedSize, header.FileCompression,
          page->ReadFromDisk};
}

int32_t TQDXInternalDBTransactedAccessFile::GetSize(int32_t sessionID) {
  RequireOpen("GetSize");
  return GetInfo(sessionID, true).UncompressedSize;
}

void TQDXInternalDBTransactedAccessFile::SetSize(int32_t sessionID, int32_t storedSize,
                                                 uint8_t compression, int32_t uncompressedSize) {
  RequireOpen("SetSize");
  const int32_t dataSize = pageManager_.PageDataSize();
  TQDXPageHandle first = GetChainPage(sessionID, startPageNo_, true);
  TQDXTransactedFileHeader header = TQDXTransactedFileHeader::Decode(ContentHeader(*first));
  const int32_t oldSize = header.FileRecordSize < 0 ? storedSize : header.FileRecordSize;
  const int64_t oldPages = ChainPageCount(oldSize, dataSize);
  const int64_t newPages = ChainPageCount(storedSize, dataSize);

  if (newPages > oldPages) {
    TQDXPageHandle last = WalkTo(sessionID, oldPages - 1);
    for (int64_t i = oldPages; i < newPages; ++i) {
      TQDXPageHandle added = TQDXPageHandle::Add(pageManager_, sessionID, pageType_);
      last->SetNextPageNo(added->PageNo);
      last->Dirty = true;
      last = std::move(added);
    }
  } else if (newPages < oldPages) {
    int32_t cut;
    {
      TQDXPageHandle last = WalkTo(sessionID, newPages - 1);
      cut = last->NextPageNo();
      last->SetNextPageNo(-1);
      last->Dirty = true;
    }
    // The pages cut off belong to nothing any more.
    for (int64_t i = newPages; i < oldPages && cut != -1 && cut != startPageNo_; ++i) {
      int32_t next;
      {
        TQDXPageHandle page = GetChainPage(sessionID, cut, true);
        next = page->NextPageNo();
      }
      pageManager_.RemovePage(sessionID, cut);
      cut = next;
    }
  }

  header.FileRecordSize = storedSize;
  header.FileUncompressedSize = uncompressedSize;
  header.FileCompression = compression;
  header.Encode(ContentHeader(*first));
  first->Dirty = true;
}

void TQDXInternalDBTransactedAccessFile::WriteFile(int32_t sessionID, const void* buffer,
                                                   int32_t level, uint8_t compression,
                                                   int32_t size) {
  RequireOpen("WriteFile");
  std::span<const uint8_t> stored(static_cast<const uint8_t*>(buffer), static_cast<size_t>(size));
  TQDXMemBlock compressed;
  if (size == 0) compression = 0;
  if (compression != 0) {
    TQDXCompressedBlockHeader blockHeader;
    if (!CompressBuffer(compression, level, stored, blockHeader, compressed)) {
      Raise(msg::kTableFileCompressionError);
    }
    stored = {compressed.data(), static_cast<size_t>(blockHeader.CompressedSize)};
  }
  const int32_t storedSize = static_cast<int32_t>(stored.size());
  SetSize(sessionID, storedSize, compression, size);

  const int32_t dataSize = pageManager_.PageDataSize();
  const int64_t pages = ChainPageCount(storedSize, dataSize);
  size_t done = 0;
  int32_t pageNo = startPageNo_;
  for (int64_t i = 0; i < pages; ++i) {
    if (pageNo == -1) Raise(msg::kErrorGettingTableFilePage, {i});
    TQDXPageHandle page = GetChainPage(sessionID, pageNo, true);
    const int32_t offset = i == 0 ? kInternalFileHeaderSize : 0;
    const size_t part = std::min<size_t>(stored.size() - done, dataSize - offset);
    if (part > 0) std::memcpy(page->Data() + offset, stored.data() + done, part);
    done += part;
    page->Dirty = true;
    pageNo = page->NextPageNo();
  }
}

int64_t TQDXInternalDBTransactedAccessFile::ReadChain(int32_t sessionID, bool synchronize,
                                                      int64_t wanted, uint8_t* out,
                                                      TQDXMemBlock* grown) {
  const int32_t dataSize = pageManager_.PageDataSize();
  std::unordered_set<int32_t> seen;
  int64_t done = 0;
  int32_t pageNo = startPageNo_;
  for (int64_t step = 0; pageNo != -1 && done < wanted; ++step) {
    if (!seen.insert(pageNo).second) {
      Raise(msg::kErrorGettingTableFilePage, {step});
    }
    TQDXPageHandle page = GetChainPage(sessionID, pageNo, synchronize);
    const int32_t offset = step == 0 ? kInternalFileHeaderSize : 0;
    const int64_t part = std::min<int64_t>(wanted - done, dataSize - offset);
    if (part <= 0) break;
    if (out == nullptr) {
      if (grown->size() < done + part) {
        grown->Resize(std::min(wanted, std::max<int64_t>(grown->size() * 2, done + part)));
      }
      std::memcpy(grown->data() + done, page->Data() + offset, static_cast<size_t>(part));
    } else {
      std::memcpy(out + done, page->Data() + offset, static_cast<size_t>(part));
    }
    done += part;
    pageNo = page->NextPageNo();
  }
  return done;
}

TQDXMemBlock TQDXInternalDBTransactedAccessFile::ReadDecompressed(int32_t sessionID,
                                                                  bool synchronize,
                                                                  const Info& info) {
  const int64_t wanted = std::max<int32_t>(info.StoredSize, 0);
  TQDXMemBlock stored;
  const int64_t read = ReadChain(sessionID, synchronize, wanted, nullptr, &stored);
  if (read < wanted || wanted == 0) {
    Raise(msg::kCannotReadInternalFileBytes, {wanted, read, wanted});
  }
  int64_t produced = info.UncompressedSize;
  TQDXMemBlock plain;
  if (!DecompressBuffer(info.Compression, {stored.data(), static_cast<size_t>(read)}, produced,
                        plain) ||
      produced < info.UncompressedSize) {
    Raise(msg::kTableFileDecompressionError);
  }
  return plain;
}

void TQDXInternalDBTransactedAccessFile::ReadFile(int32_t sessionID, void* buffer, bool synchronize,
                                                  int32_t count) {
  RequireOpen("ReadFile");
  const Info info = GetInfo(sessionID, synchronize);
  if (info.UncompressedSize < count) {
    Raise(msg::kCannotReadInternalFile, {info.UncompressedSize, count});
  }
  if (count <= 0) return;
  if (info.Compression == 0) {
    const int64_t read =
        ReadChain(sessionID, synchronize, count, static_cast<uint8_t*>(buffer), nullptr);
    if (read < count) {
      Raise(msg::kCannotReadInternalFileBytes, {count, read, count});
    }
    return;
  }
  TQDXMemBlock plain = ReadDecompressed(sessionID, synchronize, info);
  std::memcpy(buffer, plain.data(), static_cast<size_t>(count));
}

TQDXMemBlock TQDXInternalDBTransactedAccessFile::ReadAll(int32_t sessionID, bool synchronize,
                                                         int32_t& size) {
  RequireOpen("ReadFile");
  const Info info = GetInfo(sessionID, synchronize);
  size = std::max<int32_t>(info.UncompressedSize, 0);
  if (size == 0) return {};
  if (info.Compression != 0) return ReadDecompressed(sessionID, synchronize, info);
  // Plain content is its stored bytes: the buffer grows with the chain actually found.
  TQDXMemBlock content;
  const int64_t read = ReadChain(sessionID, synchronize, size, nullptr, &content);
  if (read < size) Raise(msg::kCannotReadInternalFileBytes, {size, read, size});
  return content;
}

}  // namespace qdx
