#include "tools/qdx/qdx_blob_check.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "engine/core/page_format.h"
#include "engine/core/page_handle.h"
#include "engine/core/record_layout.h"
#include "engine/disk/blob_format.h"
#include "engine/disk/blob_page.h"
#include "engine/disk/free_space_manager.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "tools/qdx/qdx_commands.h"
#include "tools/qdx/qdx_messages.h"

namespace qdx::tools {

namespace {

std::string SharedOwner(const std::string& tableName) {
  return "the shared BLOB page of table '" + tableName + "'";
}

}  // namespace

void TBlobPageAccount::TableFault(const std::string& text) const {
  throw EQdxToolFault("Table '" + tableName_ + "': " + text);
}

void TBlobPageAccount::Claim(int32_t pageNo, const std::string& owner) {
  const auto [at, added] = owners_.emplace(pageNo, owner);
  if (!added) {
    if (at->second != owner) {
      TableFault(ToolText(msg::kQdxBlobPageShared, {pageNo, at->second, owner}));
    }
    return;
  }
  // A page the free-space map calls free would be handed out again while a value still uses it.
  if (!pages_.FreeSpaceManager()->IsPageUsed(pageNo)) {
    TableFault(ToolText(msg::kQdxBlobPageFree, {pageNo, owner}));
  }
}

void TBlobPageAccount::CheckTable(TQDXDiskTableData& table, const std::string& tableName) {
  tableName_ = tableName;
  shared_.clear();
  const TQDXFieldDefs& fields = table.FieldManager().FieldDefs();
  std::vector<int32_t> blobFields;
  for (int32_t i = 0; i < fields.Count(); ++i) {
    if (fields.GetFieldDef(i).IsBlob()) blobFields.push_back(i);
  }
  if (blobFields.empty()) return;

  std::vector<uint8_t> record(static_cast<size_t>(table.MemoryRecordSize()));
  table.ForEachRecord(sessionID_, record.data(), [&](TQDXRecordID at) {
    for (const int32_t fieldNo : blobFields) {
      if (IsNull(fieldNo, record.data())) continue;
      const std::string owner =
          ToolText(msg::kQdxBlobValueOwner, {tableName, at.PageNo, at.SlotNo,
                                             PrintableText(fields.GetFieldDef(fieldNo).Name())});
      CheckValue(table, record.data(), fieldNo, owner);
    }
  });
  CheckSharedPages(table);
}

void TBlobPageAccount::CheckValue(TQDXDiskTableData& table, uint8_t* buffer, int32_t fieldNo,
                                  const std::string& owner) {
  TQDXDiskBlobManager& blobs = table.Blobs();
  const TQDXFieldDef& field = table.FieldManager().FieldDefs().GetFieldDef(fieldNo);
  const TQDXBlobRef ref = TQDXBlobRef::Decode({buffer + field.MemoryOffset, kBlobReferenceSize});
  std::vector<int32_t> pages;
  try {
    pages = blobs.Store().ValuePages(sessionID_, ref);
    ReadWholeValue(table, buffer, fieldNo);
  } catch (const EQDXException& e) {
    TableFault(ToolText(msg::kQdxBlobValueUnreadable, {owner, ref.PageNo, ref.BlobID, e.Message()}));
  }
  // A large value takes at least two pages (its data does not fit beside the header); one page
  // is the shared page of a small value.
  if (pages.size() != 1) {
    for (const int32_t pageNo : pages) Claim(pageNo, owner);
    return;
  }
  Claim(ref.PageNo, SharedOwner(tableName_));
  SharedPage& page = shared_[ref.PageNo];
  const auto [entry, added] = page.Entries.emplace(ref.BlobID, owner);
  if (!added) {
    TableFault(ToolText(msg::kQdxBlobValueNamedTwice,
                        {ref.PageNo, ref.BlobID, entry->second, owner}));
  }
}

void TBlobPageAccount::ReadWholeValue(TQDXDiskTableData& table, uint8_t* buffer,
                                      int32_t fieldNo) {
  TQDXDiskBlobManager& blobs = table.Blobs();
  try {
    const std::unique_ptr<TQDXBlobValueStream> stream =
        blobs.OpenBlob(sessionID_, buffer, fieldNo, /*loadValue=*/true, /*keepInMemory=*/true);
    std::vector<uint8_t> chunk(64 * 1024);
    int64_t left = stream->Size();
    while (left > 0) {
      const auto count = static_cast<int32_t>(std::min<int64_t>(left, chunk.size()));
      if (stream->Read(chunk.data(), count) != count) Raise(msg::kCannotOpenBlobValue);
      left -= count;
    }
  } catch (...) {
    blobs.FreeBlobCache(buffer, fieldNo, /*force=*/true);
    throw;
  }
  blobs.FreeBlobCache(buffer, fieldNo, /*force=*/true);
}

// Every entry of a shared page is a value some record names, and the BLOB page index records
// each shared page with the room its entries take, and no other page.
void TBlobPageAccount::CheckSharedPages(TQDXDiskTableData& table) {
  TQDXBTreeBlobPageIndex& index = table.Blobs().Index();
  std::map<int32_t, int32_t> indexed;
  if (index.RootPageNo() < 0) {
    if (!shared_.empty()) TableFault(msg::kQdxBlobPageIndexMissing);
  } else {
    try {
      index.CheckIntegrity(sessionID_);
      TQDXKeyPath path;
      if (index.GoFirst(sessionID_, path)) {
        TQDXLeafWalkGuard guard;
        do {
          guard.Visit(path);
          indexed[index.PageAt(sessionID_, path)] = index.GetValue(sessionID_, path);
        } while (index.Next(sessionID_, path));
      }
    } catch (const EQDXException& e) {
      TableFault(ToolText(msg::kQdxBlobPageIndexDamaged, {index.RootPageNo(), e.Message()}));
    }
  }

  for (const auto& [pageNo, page] : shared_) {
    int32_t used = 0;
    {
      TQDXPageHandle handle =
          TQDXPageHandle::Get(pages_, sessionID_, pageNo, /*synchronize=*/true, ptTableBlob);
      const TQDXSmallBlobPage view(*handle);
      for (int32_t i = 0; i < view.EntryCount(); ++i) {
        const int16_t id = view.EntryHeader(i).BlobID;
        if (!page.Entries.contains(id)) {
          TableFault(ToolText(msg::kQdxBlobEntryLeaked, {pageNo, id}));
        }
      }
      used = view.EntriesEnd() - kBlobPageEntriesOffset;
    }
    const auto listed = indexed.find(pageNo);
    const int32_t recorded = listed == indexed.end() ? 0 : listed->second;
    if (recorded != used) TableFault(ToolText(msg::kQdxBlobPageUsage, {recorded, pageNo, used}));
  }
  for (const auto& [pageNo, usage] : indexed) {
    if (!shared_.contains(pageNo)) {
      TableFault(ToolText(msg::kQdxBlobPageIndexStray, {pageNo, usage}));
    }
  }
}

// A page in use that says it holds BLOB data and that no value reached. Pages in use that were
// never written, or still carry the mark of a freed page, belong to a transaction that has not
// committed (or died): they are not BLOB pages yet.
void TBlobPageAccount::CheckLeakedPages() {
  TQDXDatabaseFreeSpaceManager& freeSpace = *pages_.FreeSpaceManager();
  const int32_t count = pages_.GetPageCount();
  int32_t first = -1;
  int32_t leaked = 0;
  for (int32_t pageNo = 1; pageNo < count; ++pageNo) {
    if (pages_.IsSystemPage(pageNo) || owners_.contains(pageNo) || !freeSpace.IsPageUsed(pageNo)) {
      continue;
    }
    std::array<uint8_t, kPageHeaderSize> header{};
    pages_.ReadPagePart(header.data(), pageNo, kPageHeaderSize, 0);
    const uint16_t type = le::Load<uint16_t>(header.data() + page_header::kTypeOffset);
    const int32_t version = le::Load<int32_t>(header.data() + page_header::kVersionOffset);
    if (type != ptTableBlob || version == kFreedPageVersion) continue;
    if (first < 0) first = pageNo;
    ++leaked;
  }
  if (leaked > 0) throw EQdxToolFault(ToolText(msg::kQdxBlobPageLeaked, {first, leaked}));
}

}  // namespace qdx::tools
