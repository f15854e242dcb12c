// Helpers of the tests that keep BLOB values in disk tables (the disk tests and the qdx tests):
// value bytes, writing a field's value through the table's BLOB stream as a cursor does, finding
// a record by the name in its first field, and the pages of the file in use by type.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/free_space_manager.h"
#include "tests/disk/disk_table_support.h"

namespace qdx::testing {

// A field's value; none for NULL.
using TBlobValue = std::optional<std::vector<uint8_t>>;

// Random bytes, or text (Windows-1252, with quotes, a comma and line breaks) that compresses.
inline std::vector<uint8_t> BlobBytes(size_t size, uint32_t seed, bool text) {
  static const char kLetters[] = "Tanken \xD6l Reifen 12,50 \"Ost\"\r\n";
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& byte : bytes) {
    byte = text ? static_cast<uint8_t>(kLetters[random() % (sizeof kLetters - 1)])
                : static_cast<uint8_t>(random());
  }
  return bytes;
}

// Writes the field's new value through a stream; none or empty makes the field NULL.
inline void PutBlob(TDiskCursor& cursor, int32_t fieldNo, const TBlobValue& value) {
  std::unique_ptr<TQDXStream> stream = cursor.Table().OpenBlob(cursor, false, 0, fieldNo);
  if (value && !value->empty()) {
    ASSERT_EQ(stream->Write(value->data(), static_cast<int32_t>(value->size())),
              static_cast<int32_t>(value->size()));
  } else {
    stream->SetSize(0);
  }
  cursor.Table().CloseBlob(cursor, fieldNo, *stream);
}

// Positions the cursor on the record whose first field (a string) holds the name.
inline void FindByName(TDiskCursor& cursor, const std::string& name) {
  cursor.AtBOF = true;
  cursor.AtEOF = false;
  while (cursor.Table().GetRecord(cursor, grmNext) == grOK) {
    char text[256] = {};
    GetFieldData(0, cursor.Fields(), text, cursor.Buffer);
    if (name == text) return;
  }
  FAIL() << name;
}

// Pages of the file in use (their PFS bit set), by page type.
inline std::map<uint16_t, int32_t> PagesInUse(TQDXDiskDatabaseData& database) {
  const platform::CriticalSectionGuard held(database.Lock());
  TQDXDiskPageManager& pages = *database.PageManager();
  std::map<uint16_t, int32_t> used;
  for (int32_t pageNo = 2; pageNo < pages.GetPageCount(); ++pageNo) {
    if (pages.IsSystemPage(pageNo) || !pages.FreeSpaceManager()->IsPageUsed(pageNo)) continue;
    TQDXPageHandle page = TQDXPageHandle::Get(pages, kSystemSessionID, pageNo, true, kAnyPageType);
    ++used[page->PageType()];
  }
  return used;
}

}  // namespace qdx::testing
