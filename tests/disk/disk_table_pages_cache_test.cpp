#include "engine/disk/disk_table_pages_cache.h"

#include <gtest/gtest.h>

#include "engine/foundation/except.h"

namespace qdx {
namespace {

// Only the addresses of table data objects are used.
const auto* const kTableA = reinterpret_cast<const TQDXTableData*>(0x1000);
const auto* const kTableB = reinterpret_cast<const TQDXTableData*>(0x2000);
constexpr auto kRead = TQDXTableLockUse::Read;
constexpr auto kWrite = TQDXTableLockUse::Write;

TEST(DiskTablePagesCacheTest, VersionLivesWhileTheSessionHoldsALock) {
  TQDXDiskTablePagesCacheManager cache;
  cache.PushTable(3, kTableA);
  EXPECT_FALSE(cache.CurrentVersion(3));
  cache.TableLocked(3, kTableA, kRead);
  cache.SetVersion(3, kTableA, 17);
  cache.SetVersion(3, kTableA, 18);  // a version once set stays
  EXPECT_EQ(cache.CurrentVersion(3), 17);

  cache.TableLocked(3, kTableA, kWrite);
  cache.TableUnlocked(3, kTableA, kRead);
  EXPECT_EQ(cache.CurrentVersion(3), 17) << "one lock is still held";
  cache.TableUnlocked(3, kTableA, kRead);  // no read lock left: counts stay
  EXPECT_EQ(cache.CurrentVersion(3), 17);
  cache.TableUnlocked(3, kTableA, kWrite);
  EXPECT_FALSE(cache.CurrentVersion(3));
  EXPECT_FALSE(cache.HasVersion(3, kTableA));

  // The first lock of a new epoch forgets a version set without a lock.
  cache.SetVersion(3, kTableA, 5);
  cache.TableLocked(3, kTableA, kRead);
  EXPECT_FALSE(cache.HasVersion(3, kTableA));
}

TEST(DiskTablePagesCacheTest, CurrentVersionIsTheTopTablesOfItsSession) {
  TQDXDiskTablePagesCacheManager cache;
  for (const auto* table : {kTableA, kTableB}) cache.TableLocked(-2, table, kRead);
  cache.SetVersion(-2, kTableA, 1);
  cache.SetVersion(-2, kTableB, 2);
  cache.PushTable(-2, kTableA);
  cache.PushTable(-2, kTableB);
  EXPECT_EQ(cache.CurrentVersion(-2), 2);
  EXPECT_FALSE(cache.CurrentVersion(0)) << "another session";
  cache.PopTable(-2);
  EXPECT_EQ(cache.CurrentVersion(-2), 1);
  cache.PopTable(-2);
  cache.PopTable(-2);
  EXPECT_FALSE(cache.CurrentVersion(-2));
  EXPECT_THROW(cache.PushTable(-3, kTableA), EQDXException);
}

}  // namespace
}  // namespace qdx
