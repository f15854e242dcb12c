// The table header (the MostUpdated file's content): to the byte, back, and content that does
// not fit or ends early.
#include "engine/disk/table_header_format.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using ::qdx::testing::QdxErrorCode;
using Bytes = std::vector<uint8_t>;

class TableHeaderFormatTest : public ::testing::Test {
 protected:
  // "Nr" AUTOINC starting at 100, "Naam" STRING(10).
  static void Define(TQDXBaseFieldManager& manager) {
    TQDXFieldDefs defs;
    defs.AddField("Nr", TQDXFieldType::AutoInc).AutoincInitialValue = 100;
    defs.AddField("Naam", TQDXFieldType::String, 10);
    manager.SetDefinitions(defs);
  }
  void SetUp() override { Define(manager_); }

  TQDXBaseFieldManager manager_;
};

TEST_F(TableHeaderFormatTest, AutoincStateThenStampThenCount) {
  manager_.NextAutoincValue(0);  // 101
  const Bytes content = EncodeTableHeader(manager_, {7, 3});
  EXPECT_EQ(content, (Bytes{0x02, 0x00, 0x00, 0x00,                          // two counters
                            0x65, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 101
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0
                            0x07, 0x00, 0x00, 0x00,                          // ChangeStamp
                            0x03, 0x00, 0x00, 0x00}));                       // RecordCount

  TQDXBaseFieldManager other;
  Define(other);
  const TQDXTableHeader header = DecodeTableHeader(content, other);
  EXPECT_EQ(header.ChangeStamp, 7);
  EXPECT_EQ(header.RecordCount, 3);
  EXPECT_EQ(other.AutoincCounters(), (std::vector<int64_t>{101, 0}));
}

TEST_F(TableHeaderFormatTest, RecordCountKeepsItsLow32BitsSignExtended) {
  for (const auto& [stored, readBack] : std::vector<std::pair<int64_t, int64_t>>{
           {0x7FFFFFFF, 0x7FFFFFFF},
           {0x80000000, -0x80000000LL},
           {0x1'00000005, 5},
       }) {
    const Bytes content = EncodeTableHeader(manager_, {0, stored});
    EXPECT_EQ(DecodeTableHeader(content, manager_).RecordCount, readBack) << stored;
  }
}

TEST_F(TableHeaderFormatTest, ContentThatEndsEarlyChangesNothing) {
  manager_.NextAutoincValue(0);
  const Bytes content = EncodeTableHeader(manager_, {7, 3});
  TQDXBaseFieldManager other;
  Define(other);
  for (size_t size = 0; size < content.size(); ++size) {
    const Bytes cut(content.begin(), content.begin() + static_cast<ptrdiff_t>(size));
    EXPECT_EQ(QdxErrorCode([&] { DecodeTableHeader(cut, other); }), 20164) << size;
    EXPECT_EQ(other.AutoincCounters(), (std::vector<int64_t>{100, 0})) << size;
  }
  Bytes negative = content;
  le::Store<int32_t>(negative.data(), -1);
  EXPECT_EQ(QdxErrorCode([&] { DecodeTableHeader(negative, other); }), 20164);

  Bytes longer = content;
  longer.resize(content.size() + 16, 0xEE);  // bytes behind the count are not read
  EXPECT_EQ(DecodeTableHeader(longer, other).ChangeStamp, 7);
}

TEST_F(TableHeaderFormatTest, StateLargerThanTheBufferIsRefused) {
  // Two fields give a buffer of (2 * 8 + 8) * 4 = 96 bytes: 4 + 8N + 8 fits up to N = 10.
  EXPECT_EQ(TableHeaderBufferSize(2), 96);
  for (const auto& [counters, code] :
       std::vector<std::pair<int32_t, int32_t>>{{10, 0}, {11, 20164}}) {
    Bytes state(4 + 8 * static_cast<size_t>(counters) + 8, 0);
    le::Store<int32_t>(state.data(), counters);
    DecodeTableHeader(state, manager_);
    EXPECT_EQ(QdxErrorCode([&] { EncodeTableHeader(manager_, {}); }), code) << counters;
  }
}

}  // namespace
}  // namespace qdx
