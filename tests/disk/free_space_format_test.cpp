#include "engine/disk/free_space_format.h"

#include <gtest/gtest.h>

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
