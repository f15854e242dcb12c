// TQDXDiskRecordManager: the records of one disk table, in record pages (record_page.h) listed
// by the table's record page index (a B-tree of page numbers whose value is the number of
// records on the page).
//
// A record ID is (page number, slot); physical order is page-number order, then slot order, so
// a walk goes through the pages of the index and the occupied slots of each. An insert takes
// the lowest free slot of a page the index offers (or a new page); a page is released as soon
// as its last record goes. RecordCount and ChangeStamp are the table header's: the table data
// reads and writes them with the MostUpdated file.
//
// Pages read during walks are accepted only when they are live record pages of the table
// (IsRecordPageOf), except inside a transaction and in files of the old format, where every
// page read is taken as it is. Every page goes back to the page manager on every path.
//
// Not safe for concurrent use: the table data calls it under its database's critical section.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/core/page_index.h"
#include "engine/core/record_manager.h"
#include "engine/disk/record_page.h"

namespace qdx {

class TQDXDiskPageManager;

class TQDXDiskRecordManager : public TQDXBaseRecordManager {
 public:
  TQDXDiskRecordManager(TQDXTableData& table, TQDXDiskPageManager& pageManager, int32_t tableID);

  // R from the stored record size S; 20174 when not one record fits a page. RecordCount and
  // ChangeStamp start at 0.
  void Setup(int32_t storedSize);
  int32_t RecordsPerPage() const { return recordsPerPage_; }
  int32_t StoredSize() const { return storedSize_; }
  int32_t TableID() const { return tableID_; }
  TQDXBTreeRecordPageIndex& PageIndex() { return *pageIndex_; }

  // ---- Slots ----------------------------------------------------------------------------------
  void EmptyRecords(int32_t sessionID) override;
  // Raises the engine error when the record cannot be stored.
  bool InsertRecord(int32_t sessionID, const uint8_t* buffer, TQDXRecordID& id) override;
  bool UpdateRecord(int32_t sessionID, const uint8_t* buffer, TQDXRecordID id) override;
  bool DeleteRecord(int32_t sessionID, TQDXRecordID id) override;
  void ReadRecord(int32_t sessionID, TQDXNavigationRequest& request) override;
  // RecordCount div 2.
  int64_t GetRecordCountEstimate(int32_t sessionID) const override;

  // ---- Physical positions -------------------------------------------------------------------
  // The record with `index` records before it in physical order (0-based). 20113 beyond the
  // records, 20146 when the page holds fewer than its index entry says.
  TQDXRecordID RecordAtPhysicalIndex(int32_t sessionID, int64_t index);
  // The 1-based number of the record in physical order; -1 when its page is not listed.
  int64_t PhysicalNumberOf(int32_t sessionID, TQDXRecordID id);
  // (last listed page + 1) * R; 1 when no page is listed.
  int64_t MaxRecordPosition(int32_t sessionID);

  // ---- Repair -------------------------------------------------------------------------------
  // The sum of the record counts of the index.
  int64_t SumPageIndex(int32_t sessionID);
  // A new index of every live record page of the table found in the file, with the slots they
  // really hold; RecordCount becomes their sum. `tableName` names the table in 10512 (a stored
  // record of PageDataSize bytes or more).
  void RebuildPageIndex(int32_t sessionID, const std::string& tableName);
  // Whether the header of a page read for a walk makes it one of the table's record pages.
  bool AcceptsPage(const TQDXPage& page) const;

 private:
  // The record page, fetched with type 255; an empty handle when it is not the table's.
  TQDXPageHandle FetchPage(int32_t sessionID, int32_t pageNo);
  TQDXSmallRecordPage View(const TQDXPageHandle& page) const {
    return TQDXSmallRecordPage(*page, recordsPerPage_, storedSize_);
  }
  // Reads slot `slot` of the page into the request and answers OK.
  void Arrive(TQDXNavigationRequest& request, const TQDXPageHandle& page, int32_t slot);
  // The first (forward) or last record of the listed page; 20143 when it holds none.
  bool ArriveAtPageEnd(int32_t sessionID, TQDXNavigationRequest& request, int32_t pageNo,
                       bool forward);
  // Continues the walk on the listed page after (forward) or before `pageNo`.
  void StepToNeighbourPage(int32_t sessionID, TQDXNavigationRequest& request, int32_t pageNo,
                           bool forward);
  static void AtEnd(TQDXNavigationRequest& request, bool forward);

  TQDXDiskPageManager& pageManager_;
  int32_t tableID_;
  int32_t recordsPerPage_ = 0;
  int32_t storedSize_ = 0;
  std::unique_ptr<TQDXBTreeRecordPageIndex> pageIndex_;
  std::vector<uint8_t> work_;
};

}  // namespace qdx
