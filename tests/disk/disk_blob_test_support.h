// Helpers of the BLOB storage tests: a database file with a BLOB manager over a table of three
// fields (an integer, a memo, a binary field), record buffers kept in memory as the records of
// the table, and the count of the BLOB pages the file holds.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/core/record_layout.h"
#include "engine/disk/disk_blob_manager.h"
#include "engine/disk/free_space_manager.h"
#include "tests/disk/disk_test_support.h"

namespace qdx::testing {

inline constexpr int32_t kSession = 0;
inline constexpr int32_t kMemoField = 1;
inline constexpr int32_t kBinaryField = 2;

// Record buffers standing in for a table's records, walked in key order.
class TBufferRecords : public TQDXIndexRecordSource {
 public:
  explicit TBufferRecords(const TQDXBaseFieldManager& fields) : fields_(&fields) {}
  bool ReadRecordByID(int32_t, TQDXRecordID id, uint8_t* buffer) override {
    const auto found = records.find(id.PageNo);
    if (found == records.end()) return false;
    std::copy(found->second.begin(), found->second.end(), buffer);
    return true;
  }
  void ForEachRecord(int32_t, uint8_t* buffer,
                     const std::function<void(TQDXRecordID)>& visit) override {
    for (const auto& [key, record] : records) {
      std::copy(record.begin(), record.end(), buffer);
      visit({key, 0});
    }
  }
  int32_t MemoryRecordSize() const override { return fields_->MemoryRecordSize(); }

  std::map<int32_t, std::vector<uint8_t>> records;

 private:
  const TQDXBaseFieldManager* fields_;
};

class BlobTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    TQDXFieldDefs defs;
    defs.AddField("Id", TQDXFieldType::Integer);
    defs.AddField("Note", TQDXFieldType::Memo);
    defs.AddField("Data", TQDXFieldType::Blob);
    fields.SetDefinitions(defs);
    SetCompression(kCompressionNone, 0, 4096);
    CreateDatabase();
    Open();
    blobs->CreateIndex(kSystemSessionID);
    pages->ApplyChanges(kSystemSessionID);
    basePagesInUse = PagesInUse();
  }
  void TearDown() override {
    Close();
    TempDirTest::TearDown();
  }

  void SetCompression(uint8_t algorithm, uint8_t mode, int32_t blockSize) {
    for (int32_t fieldNo : {kMemoField, kBinaryField}) {
      TQDXFieldDef& field = fields.FieldDefs().GetFieldDef(fieldNo);
      field.BlobCompressionAlgorithm = algorithm;
      field.BlobCompressionMode = mode;
      field.BlobBlockSize = blockSize;
    }
  }

  void CreateDatabase() {
    THeldDiskPageManager pm;
    pm.SetLockRetry(3, 1);
    pm.CreateDatabaseFile(path, {});
    for (uint16_t type : {ptFileSystemDirectory, ptActiveSessionList, ptTableList}) {
      TQDXPageHandle page = TQDXPageHandle::Add(pm, kSystemSessionID, type);
    }
    pm.ApplyChanges(kSystemSessionID);
    pm.CloseDatabaseFile();
  }

  void Open() {
    pages = std::make_unique<THeldDiskPageManager>();
    pages->SetLockRetry(3, 1);
    bool multiUser = false, repair = false, readOnly = false;
    pages->OpenDatabaseFile(path, {}, multiUser, /*exclusive=*/false, repair, readOnly);
    blobs = std::make_unique<TQDXDiskBlobManager>(*pages, fields);
    blobs->AdoptIndex(indexRoot);
  }

  void Close() {
    if (blobs) {
      indexRoot = blobs->IndexRootPageNo();
      blobs.reset();
    }
    if (pages) {
      pages->CancelChanges(kSession);
      pages->FreePages();
      pages->CloseDatabaseFile();
      pages.reset();
    }
  }

  void Reopen() {
    for (auto& [key, record] : records.records) ClearHandles(record.data());
    ASSERT_NO_THROW(blobs->CheckCacheReleased());
    Close();
    Open();
  }

  void Commit() { pages->ApplyChanges(kSession); }

  std::vector<uint8_t> NewRecord() const {
    std::vector<uint8_t> buffer(static_cast<size_t>(fields.MemoryRecordSize()));
    InitRecordBuffer(fields.FieldDefs(), buffer.data());
    return buffer;
  }

  // A stored record carries no cache handles.
  void ClearHandles(uint8_t* buffer) const {
    for (int32_t fieldNo : {kMemoField, kBinaryField}) {
      const TQDXFieldDef& field = fields.FieldDefs().GetFieldDef(fieldNo);
      std::fill_n(buffer + field.MemoryOffset + kBlobReferenceSize, 4, 0);
    }
  }

  // Writes `value` as the field's new value through a stream, as a cursor does.
  void Put(uint8_t* buffer, int32_t fieldNo, const std::vector<uint8_t>& value) {
    std::unique_ptr<TQDXBlobValueStream> stream =
        blobs->OpenBlob(kSession, buffer, fieldNo, /*loadValue=*/false, /*keepInMemory=*/true);
    if (value.empty()) {
      stream->SetSize(0);
    } else {
      ASSERT_EQ(stream->Write(value.data(), static_cast<int32_t>(value.size())),
                static_cast<int32_t>(value.size()));
    }
    blobs->CloseBlob(buffer, fieldNo, *stream);
  }

  // The field's value read through a stream; none for a NULL field.
  std::optional<std::vector<uint8_t>> Get(uint8_t* buffer, int32_t fieldNo) {
    if (IsNull(fieldNo, buffer)) return std::nullopt;
    std::unique_ptr<TQDXBlobValueStream> stream =
        blobs->OpenBlob(kSession, buffer, fieldNo, /*loadValue=*/true, /*keepInMemory=*/true);
    std::vector<uint8_t> value(static_cast<size_t>(stream->Size()));
    if (!value.empty()) {
      EXPECT_EQ(stream->Read(value.data(), static_cast<int32_t>(value.size())),
                static_cast<int32_t>(value.size()));
    }
    blobs->ClearBlobData(buffer, fieldNo);
    return value;
  }

  TQDXBlobRef Ref(const uint8_t* buffer, int32_t fieldNo) const {
    const TQDXFieldDef& field = fields.FieldDefs().GetFieldDef(fieldNo);
    return TQDXBlobRef::Decode({buffer + field.MemoryOffset, kBlobReferenceSize});
  }
  void SetRef(uint8_t* buffer, int32_t fieldNo, TQDXBlobRef ref) const {
    const TQDXFieldDef& field = fields.FieldDefs().GetFieldDef(fieldNo);
    ref.Encode({buffer + field.MemoryOffset, kBlobReferenceSize});
  }

  // Pages of the file in use (PFS bit set), by type.
  std::map<uint16_t, int32_t> PagesInUse() {
    std::map<uint16_t, int32_t> used;
    const int32_t count = pages->GetPageCount();
    for (int32_t pageNo = 2; pageNo < count; ++pageNo) {
      if (pages->IsSystemPage(pageNo) || !pages->FreeSpaceManager()->IsPageUsed(pageNo)) continue;
      TQDXPageHandle page = TQDXPageHandle::Get(*pages, kSession, pageNo, true, kAnyPageType);
      ++used[page->PageType()];
    }
    return used;
  }
  int32_t BlobPagesInUse() { return PagesInUse()[ptTableBlob]; }

  TQDXBaseFieldManager fields;
  std::unique_ptr<THeldDiskPageManager> pages;
  std::unique_ptr<TQDXDiskBlobManager> blobs;
  TBufferRecords records{fields};
  int32_t indexRoot = -1;
  std::map<uint16_t, int32_t> basePagesInUse;
};

}  // namespace qdx::testing
