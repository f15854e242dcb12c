// The record layout: slot sizes, offsets, layout conversion and single-field access.
#include "engine/core/record_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/foundation/except.h"

namespace qdx {
namespace {

TEST(RecordLayoutTest, BitmapAndRecordSizes) {
  struct Case {
    int fields;
    int bitmap;
  };
  for (const Case c : {Case{0, 0}, Case{1, 1}, Case{8, 1}, Case{9, 2}, Case{16, 2}, Case{17, 3}}) {
    TQDXFieldDefs defs;
    for (int i = 0; i < c.fields; ++i) defs.AddField("F" + std::to_string(i), TQDXFieldType::Byte);
    defs.CalculateOffsets();
    EXPECT_EQ(NullBitmapSize(c.fields), c.bitmap);
    EXPECT_EQ(defs.MemoryRecordSize(), c.bitmap + c.fields) << c.fields;
    EXPECT_EQ(defs.StoredRecordSize(), c.bitmap + c.fields) << c.fields;
    if (c.fields > 0) {
      EXPECT_EQ(defs.GetFieldDef(0).MemoryOffset, c.bitmap);
    }
  }
}

}  // namespace
}  // namespace qdx
