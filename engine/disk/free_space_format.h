// Where the free-space maps of a database are and which bit or entry describes a page.
//
// PFS pages (type 3) hold one bit per page, set while the page is in use. With
// P = PageDataSize * 8, PFS page k is page k * P and describes pages k * P .. k * P + P - 1;
// the bit of page n is bit (n mod P) mod 8 (0 = least significant) of data byte (n mod P) div 8.
//
// EAM pages (type 2) hold two bits per extent of PagesPerExtent (E) pages. With
// X = PageDataSize * 4 and G = X * E, EAM page k describes extents k * X .. k * X + X - 1; the
// entry of extent e sits in data byte (e mod X) div 4 at shift 2 * ((e mod X) mod 4). EAM page k
// is page k * G, or k * G + 1 when a PFS page is already there. Entry values: 3 every page of the
// extent in use, 1 the extent has a free page, 0 nothing known.
//
// PFS and EAM pages are the "system pages": never handed out, freed or enciphered.
#pragma once

#include <cstdint>

namespace qdx {

inline constexpr uint8_t kEamExtentFull = 3;
inline constexpr uint8_t kEamExtentHasFree = 1;
inline constexpr uint8_t kEamExtentUnknown = 0;

// The position of a bit field inside a map page's data area.
struct TQDXMapSlot {
  int32_t MapPageNo;   // the PFS or EAM page that holds it
  int32_t ByteOffset;  // in the data area
  uint8_t Shift;       // bit number of the field's lowest bit
};

class TQDXFreeSpaceGeometry {
 public:
  // Fails with 20237 "Invalid database format" when the page holds no data area or an extent
  // has no pages, so that a damaged header cannot divide by zero.
  TQDXFreeSpaceGeometry(uint16_t pageSize, uint16_t pagesPerExtent);

  int64_t PagesPerPfsPage() const { return pagesPerPfs_; }      // P
  int64_t ExtentsPerEamPage() const { return extentsPerEam_; }  // X
  int64_t PagesPerEamPage() const { return pagesPerEam_; }      // G
  int32_t PagesPerExtent() const { return pagesPerExtent_; }

  // Page numbers are not negative in all of these.
  int64_t PfsPageNo(int64_t pfsIndex) const { return pfsIndex * pagesPerPfs_; }
  int64_t EamPageNo(int64_t eamIndex) const;
  int64_t ExtentOf(int64_t pageNo) const { return pageNo / pagesPerExtent_; }
  // The bit of `pageNo` in its PFS page.
  TQDXMapSlot PfsSlot(int64_t pageNo) const;
  // The two-bit entry of `extent` in its EAM page.
  TQDXMapSlot EamSlot(int64_t extent) const;
  bool IsSystemPage(int64_t pageNo) const {
    // Asked on every page fetch. Between page 1 and the first map page after it there are none,
    // and most files end before that page: one comparison instead of four divisions.
    if (pageNo > 1 && pageNo < firstMapPageAfterStart_) return false;
    return IsSystemPageSlow(pageNo);
  }

 private:
  bool IsSystemPageSlow(int64_t pageNo) const;

  int64_t pagesPerPfs_;
  int64_t extentsPerEam_;
  int64_t pagesPerEam_;
  int32_t pagesPerExtent_;
  int64_t firstMapPageAfterStart_;  // min(P, G): the second PFS or EAM page
};

}  // namespace qdx
