// TQDXDiskBlobStore: the stored BLOB values of one disk table, written, read and deleted through
// the page manager in a session's changes.
//
// A value arrives and leaves in its compressed form (the bytes a compressed BLOB stream keeps in
// its underlying stream) with its uncompressed and stored sizes. Small values (blob_format.h,
// IsSmallBlobValue) become an entry of a shared BLOB page found through the table's BLOB page
// index; large ones take a header page, data pages and a page list of their own. The reference
// a record keeps is (page, ID) for a small value and (header page, -1) for a large one; ID 255
// is read both ways, in the order the shape of its page suggests (BlobReadOrder).
//
// Damaged pages give EQDXException: a shared page's entries are walked with every step checked
// (blob_page.h), and a large value's head, page list and page numbers are checked in full before
// a byte is gathered or a page removed (20312), so a damaged list never frees a page the value
// does not own.
//
// Not safe for concurrent use: callers hold the database's critical section.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/core/page_index.h"
#include "engine/core/page_manager.h"
#include "engine/disk/blob_format.h"

namespace qdx {

// A stored value as its reader gets it.
struct TQDXStoredBlobValue {
  int32_t UncompressedSize = 0;
  int64_t StoredSize = 0;
  std::vector<uint8_t> Data;  // the compressed form: data length bytes
};

// The pages a large value holds: its data pages in order (the header page first) and the pages
// of its page list (the first of them is the last data page unless the list starts a new page).
struct TQDXLargeBlobPages {
  TQDXLargeBlobHead Head;
  TQDXLargeBlobPlan Plan;
  std::vector<int32_t> DataPages;
  std::vector<int32_t> ListPages;
  // Every page the value owns, each once.
  std::vector<int32_t> OwnedPages() const;
};

class TQDXDiskBlobStore {
 public:
  TQDXDiskBlobStore(TQDXPageManager& pages, TQDXBTreeBlobPageIndex& index)
      : pages_(&pages), index_(&index) {}

  // Stores a value of `data.size()` bytes small or large and answers its reference.
  TQDXBlobRef Write(int32_t sessionID, int32_t uncompressedSize, int64_t storedSize,
                    std::span<const uint8_t> data);
  // The value the reference names; none for a reference without a value or a small ID missing
  // from its page.
  std::optional<TQDXStoredBlobValue> Read(int32_t sessionID, TQDXBlobRef ref);
  // Removes the value: 20171 for a small ID missing from its page. A page left without values
  // is removed.
  void Delete(int32_t sessionID, TQDXBlobRef ref);

  // The pages that hold the value: its shared page, or every page of a large value (for the
  // file check's account of BLOB pages). Fails as Read does; 20171 for a missing small ID.
  std::vector<int32_t> ValuePages(int32_t sessionID, TQDXBlobRef ref);

  // The checked layout of the large value whose header page is `headerPageNo` (20312 when its
  // head, list or page numbers do not fit together).
  TQDXLargeBlobPages ReadLargePages(int32_t sessionID, int32_t headerPageNo);

 private:
  TQDXBlobRef WriteSmall(int32_t sessionID, int32_t uncompressedSize, int64_t storedSize,
                         std::span<const uint8_t> data);
  TQDXBlobRef WriteLarge(int32_t sessionID, int32_t uncompressedSize, int64_t storedSize,
                         std::span<const uint8_t> data);
  // Writes the pages of a large value, recording every page it adds in `added` as it goes.
  int32_t WriteLargePages(int32_t sessionID, const TQDXBlobValueHeader& header,
                          std::span<const uint8_t> data, std::vector<int32_t>& added);
  std::optional<TQDXStoredBlobValue> ReadSmall(int32_t sessionID, TQDXBlobRef ref);
  TQDXStoredBlobValue ReadLarge(int32_t sessionID, int32_t headerPageNo);
  void DeleteSmall(int32_t sessionID, TQDXBlobRef ref);
  void DeleteLarge(int32_t sessionID, int32_t headerPageNo);
  // The usage the index records for a page (0 when it lists none).
  int32_t IndexedUsage(int32_t sessionID, int32_t pageNo);
  TQDXBlobReadOrder ReadOrder(int32_t sessionID, TQDXBlobRef ref);
  int32_t PageDataSize() const { return pages_->PageDataSize(); }

  TQDXPageManager* pages_;
  TQDXBTreeBlobPageIndex* index_;
};

}  // namespace qdx
