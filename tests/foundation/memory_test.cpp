#include "engine/foundation/memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/foundation/except.h"

namespace qdx {
namespace {

// Runs `action` and answers the code of the EQDXException it raises (0 when none).
template <typename Action>
std::pair<int32_t, std::string> Raised(Action action) {
  try {
    action();
  } catch (const EQDXException& e) {
    return {e.ErrorCode(), e.Message()};
  }
  return {0, {}};
}

class MemoryManagerTest : public ::testing::Test {
 protected:
  TQDXMemoryManager manager;
};

TEST_F(MemoryManagerTest, AllocatedTotalFollowsLiveBlocks) {
  void* a = manager.GetMem(10);
  void* b = manager.GetMem(20);
  EXPECT_EQ(manager.Allocated(), 30);
  EXPECT_EQ(manager.GetBlockSize(b), 20);
  manager.FreeAndNillMem(a);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(manager.Allocated(), 20);
  manager.FreeAndNillMem(b);
  EXPECT_EQ(manager.Allocated(), 0);
  EXPECT_EQ(manager.GetBlockSize(nullptr), 0);
}

TEST_F(MemoryManagerTest, BlockIsFramedWithSizeMethodAndGuards) {
  uint8_t* p = static_cast<uint8_t*>(manager.AllocMem(3));
  const uint8_t expectedHeader[] = {3, 0, 0, 0, 0, 0xAC, 0xCC, 0xCA, 0xAC};
  EXPECT_EQ(std::memcmp(p - 9, expectedHeader, 9), 0);
  const uint8_t expectedTail[] = {0, 0, 0, 0xCE, 0xAC, 0xCE, 0xAC};
  EXPECT_EQ(std::memcmp(p, expectedTail, 7), 0);
  void* raw = p;
  manager.FreeAndNillMem(raw);
}

TEST_F(MemoryManagerTest, OverrunIsReportedAfterRelease) {
  void* p = manager.GetMem(16);
  static_cast<uint8_t*>(p)[16] = 0;  // one byte past the user area
  EXPECT_EQ(Raised([&] { manager.FreeAndNillMem(p); }).first, 30137);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(manager.Allocated(), 0);
}

TEST_F(MemoryManagerTest, ForeignPointersAreRefused) {
  alignas(8) uint8_t foreign[32] = {};
  void* p = foreign + 16;
  EXPECT_EQ(Raised([&] { manager.FreeAndNillMem(p); }).first, 30001);
  EXPECT_EQ(p, foreign + 16);
  EXPECT_EQ(Raised([&] { manager.GetBlockSize(p); }).first, 30005);

  const auto [code, message] = Raised([&] { manager.ReallocMem(p, 8); });
  EXPECT_EQ(code, 30014);
  EXPECT_NE(message.find("Invalid pointer - Native error: 30002"), std::string::npos) << message;
}

TEST_F(MemoryManagerTest, ZeroBytesAndTheLimit) {
  EXPECT_EQ(Raised([&] { manager.GetMem(0); }).first, 30286);
  manager.SetLimit(100);
  void* p = manager.GetMem(60);
  const auto [code, message] = Raised([&] { manager.GetMem(41); });
  EXPECT_EQ(code, 30004);
  EXPECT_EQ(message, "Memory limit exceeded (Limit = 100 bytes) - Native error: 30004");
  EXPECT_EQ(manager.GetAvailableMemory(), 100);

  // A reallocation past the limit is wrapped, and the block is kept.
  const auto realloc = Raised([&] { manager.ReallocMem(p, 80); });
  EXPECT_EQ(realloc.first, 30014);
  EXPECT_NE(realloc.second.find("30004"), std::string::npos);
  EXPECT_EQ(manager.GetBlockSize(p), 60);
  manager.FreeAndNillMem(p);
}

TEST_F(MemoryManagerTest, ReallocKeepsContentsAndZeroFillsOnRequest) {
  void* p = manager.GetMem(4);
  std::memcpy(p, "abcd", 4);
  manager.ReallocMem(p, 8, true);
  EXPECT_EQ(std::memcmp(p, "abcd\0\0\0\0", 8), 0);
  manager.ReallocMem(p, 2);
  EXPECT_EQ(std::memcmp(p, "ab", 2), 0);
  EXPECT_EQ(manager.Allocated(), 2);
  manager.FreeAndNillMem(p);
}

TEST_F(MemoryManagerTest, ReallocOfAnOverrunBlockKeepsTheNewBlock) {
  void* p = manager.GetMem(4);
  static_cast<uint8_t*>(p)[4] = 0;
  const auto [code, message] = Raised([&] { manager.ReallocMem(p, 8); });
  EXPECT_EQ(code, 30014);
  EXPECT_NE(message.find("Memory overrun detected - Native error: 30137"), std::string::npos);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(manager.GetBlockSize(p), 8);
  manager.FreeAndNillMem(p);
  EXPECT_EQ(manager.Allocated(), 0);
}

TEST(MemBlockTest, ReleasesOnEveryPath) {
  const int64_t before = QDXMemoryManager().Allocated();
  try {
    TQDXMemBlock block(100, true);
    EXPECT_EQ(block.span()[99], 0);
    block.Resize(200);
    EXPECT_EQ(QDXMemoryManager().Allocated(), before + 200);
    throw std::runtime_error("leave");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(QDXMemoryManager().Allocated(), before);
}

}  // namespace
}  // namespace qdx
