#include "engine/disk/free_space_format.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/foundation/except.h"

namespace qdx {
namespace {

TEST(FreeSpaceGeometryTest, DefaultGeometry) {
  const TQDXFreeSpaceGeometry g(4096, 8);
  EXPECT_EQ(g.PagesPerPfsPage(), 32448);
  EXPECT_EQ(g.ExtentsPerEamPage(), 16224);
  EXPECT_EQ(g.PagesPerEamPage(), 129792);
  // Every EAM page position falls on a PFS page, so each EAM page sits one page later.
  EXPECT_EQ(g.EamPageNo(0), 1);
  EXPECT_EQ(g.EamPageNo(1), 129793);
  EXPECT_EQ(g.EamPageNo(2), 259585);
  EXPECT_EQ(g.PfsPageNo(1), 32448);
  EXPECT_EQ(g.PfsPageNo(2), 64896);
}

TEST(FreeSpaceGeometryTest, OddExtentSizeShiftsOnlyEvenEamPages) {
  const TQDXFreeSpaceGeometry g(4096, 3);
  EXPECT_EQ(g.PagesPerEamPage(), 48672);
  EXPECT_EQ(g.EamPageNo(1), 48672);
  EXPECT_EQ(g.EamPageNo(2), 97345);
  EXPECT_EQ(g.EamPageNo(3), 146016);
  EXPECT_TRUE(g.IsSystemPage(48672));
  EXPECT_FALSE(g.IsSystemPage(48673));
  EXPECT_TRUE(g.IsSystemPage(97344));  // a PFS page
  EXPECT_TRUE(g.IsSystemPage(97345));
}

TEST(FreeSpaceGeometryTest, SystemPages) {
  const TQDXFreeSpaceGeometry g(4096, 8);
  struct Case {
    int64_t pageNo;
    bool system;
  } cases[] = {{0, true},      {1, true},       {2, false},     {32447, false},
               {32448, true},  {32449, false},  {64896, true},  {129792, true},
               {129793, true}, {129794, false}, {259584, true}, {259585, true}};
  for (const Case& c : cases) EXPECT_EQ(g.IsSystemPage(c.pageNo), c.system) << c.pageNo;
}

// Every page against the definition: a page is a system page exactly when it is the PFS page or
// the EAM page of some index. Small pages put many map pages, and both kinds of EAM position,
// within a few thousand pages.
TEST(FreeSpaceGeometryTest, SystemPagesAreExactlyTheMapPages) {
  for (auto [pageSize, extent] :
       {std::pair<uint16_t, uint16_t>{48, 1}, {48, 2}, {48, 3}, {56, 5}, {44, 8}}) {
    const TQDXFreeSpaceGeometry g(pageSize, extent);
    std::set<int64_t> maps;
    for (int64_t k = 0; k < 200; ++k) {
      maps.insert(g.PfsPageNo(k));
      maps.insert(g.EamPageNo(k));
    }
    for (int64_t n = -2; n < 3000; ++n) {
      ASSERT_EQ(g.IsSystemPage(n), maps.count(n) > 0) << pageSize << "/" << extent << ": " << n;
    }
  }
}

TEST(FreeSpaceGeometryTest, MapSlots) {
  const TQDXFreeSpaceGeometry g(4096, 8);
  TQDXMapSlot s = g.PfsSlot(4);
  EXPECT_EQ(s.MapPageNo, 0);
  EXPECT_EQ(s.ByteOffset, 0);
  EXPECT_EQ(s.Shift, 4);
  s = g.PfsSlot(32448 + 9);
  EXPECT_EQ(s.MapPageNo, 32448);
  EXPECT_EQ(s.ByteOffset, 1);
  EXPECT_EQ(s.Shift, 1);

  EXPECT_EQ(g.ExtentOf(47), 5);
  s = g.EamSlot(5);
  EXPECT_EQ(s.MapPageNo, 1);
  EXPECT_EQ(s.ByteOffset, 1);
  EXPECT_EQ(s.Shift, 2);
  s = g.EamSlot(16224 + 7);
  EXPECT_EQ(s.MapPageNo, 129793);
  EXPECT_EQ(s.ByteOffset, 1);
  EXPECT_EQ(s.Shift, 6);
}

TEST(FreeSpaceGeometryTest, DamagedHeaderValuesAreRefused) {
  for (auto [pageSize, extent] : {std::pair<uint16_t, uint16_t>{40, 8}, {0, 8}, {4096, 0}}) {
    try {
      TQDXFreeSpaceGeometry g(pageSize, extent);
      FAIL() << pageSize << " " << extent;
    } catch (const EQDXException& e) {
      EXPECT_EQ(e.ErrorCode(), 20237);
    }
  }
}

}  // namespace
}  // namespace qdx
