// The metadata file's content: the definitions and the two first pages in their order, back
// through a compressed transacted file, and streams that end early.
#include "engine/disk/table_metadata_format.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/core/page_handle.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/internal_file_format.h"
#include "engine/disk/internal_transacted_file.h"
#include "engine/foundation/memory_stream.h"
#include "tests/disk/disk_test_support.h"

namespace qdx {
namespace {

using ::qdx::testing::QdxErrorCode;
using Bytes = std::vector<uint8_t>;

// A table of three fields, a primary index (and a temporary one, never stored) and two
// constraints.
struct Table {
  Table() {
    TQDXFieldDefs defs;
    defs.AddField("Nr", TQDXFieldType::AutoInc).SetObjectID(11);
    defs.AddField("Naam", TQDXFieldType::String, 20).SetObjectID(12);
    defs.AddField("Foto", TQDXFieldType::Blob).SetObjectID(13);
    fields.SetDefinitions(defs);

    auto& primary = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    primary.SetName("PK");
    primary.Primary = primary.Unique = true;
    primary.RootPageNo = 40;
    primary.SetColumnCount(1);
    primary.Column(0).SetFieldName("Nr");
    auto& temporary = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    temporary.SetName("Tmp");
    temporary.Temporary = true;

    constraints.AddNotNull().SetName("NN$Naam");
    constraints.AddPrimary().SetName("C_PK$Nr");
  }

  Bytes Write(TQDXTableMetadataPages pages) const {
    TQDXMemoryStream stream;
    WriteTableMetadata(stream, fields, indexes, constraints, pages);
    return {stream.Memory(), stream.Memory() + stream.Size()};
  }

  TQDXBaseFieldManager fields;
  TQDXIndexDefs indexes;
  TQDXConstraintDefs constraints;
};

template <typename Save>
Bytes Saved(Save save) {
  TQDXMemoryStream stream;
  save(stream);
  return {stream.Memory(), stream.Memory() + stream.Size()};
}

TEST(TableMetadataFormat, DefinitionsThenTheTwoFirstPages) {
  const Table table;
  const Bytes content = table.Write({0x0C, 0x22});

  Bytes expected = Saved([&](TStream& s) { table.fields.SaveDefinitions(s); });
  for (const Bytes& part : {Saved([&](TStream& s) { table.indexes.SaveToStream(s); }),
                            Saved([&](TStream& s) { table.constraints.SaveToStream(s); }),
                            Bytes{0x0C, 0x00, 0x00, 0x00, 0x22, 0x00, 0x00, 0x00}}) {
    expected.insert(expected.end(), part.begin(), part.end());
  }
  EXPECT_EQ(content, expected);
}

// What a reader gets from `size` bytes of a content (all of it by default).
struct ReadBack {
  explicit ReadBack(const uint8_t* content, int32_t size) {
    TQDXMemoryStream stream;
    stream.Write(content, size);
    stream.SetPosition(0);
    pages = ReadTableMetadata(stream, fields, indexes, constraints);
  }
  explicit ReadBack(const Bytes& content)
      : ReadBack(content.data(), static_cast<int32_t>(content.size())) {}

  TQDXBaseFieldManager fields;
  TQDXIndexDefs indexes;
  TQDXConstraintDefs constraints;
  TQDXTableMetadataPages pages;
};

TEST(TableMetadataFormat, ReadsBackWhatWasWritten) {
  const ReadBack back(Table().Write({17, -1}));
  EXPECT_EQ(back.pages.RecordPageIndexFirstPage, 17);
  EXPECT_EQ(back.pages.BlobPageIndexFirstPage, -1);
  ASSERT_EQ(back.fields.FieldDefs().Count(), 3);
  EXPECT_EQ(back.fields.FieldDefs().GetFieldDef(2).Name(), "Foto");
  EXPECT_EQ(back.fields.FieldDefs().GetFieldDef(2).StoredOffset, 1 + 4 + 21);  // offsets computed
  EXPECT_EQ(back.fields.AutoincCounters().size(), 3u);
  ASSERT_EQ(back.indexes.Count(), 1);  // the temporary index stayed behind
  EXPECT_EQ(back.indexes.GetIndexDef(0).RootPageNo, 40);
  EXPECT_EQ(back.indexes.GetIndexDef(0).Column(0).FieldName, "Nr");
  ASSERT_EQ(back.constraints.Count(), 2);
  EXPECT_EQ(back.constraints.GetConstraintDef(1).Name(), "C_PK$Nr");
}

TEST(TableMetadataFormat, EveryStreamThatEndsEarlyFailsWithAnEngineError) {
  const Bytes content = Table().Write({17, 18});
  for (size_t size = 0; size < content.size(); ++size) {
    const int32_t code =
        QdxErrorCode([&] { ReadBack(content.data(), static_cast<int32_t>(size)); });
    EXPECT_NE(code, 0) << size;
    if (size >= content.size() - 8) {
      EXPECT_EQ(code, 20314) << size;  // inside the first pages
    }
  }
}

// Through the transacted file the table data stores it in, compressed as the format asks.
class TableMetadataFileTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    pm.CreateDatabaseFile(path, {});
  }

  testing::THeldDiskPageManager pm;
};

TEST_F(TableMetadataFileTest, StoredCompressedInTheMetadataFile) {
  const Table table;
  TQDXMemoryStream stream;
  WriteTableMetadata(stream, table.fields, table.indexes, table.constraints, {21, 22});

  TQDXInternalDBTransactedAccessFile file(pm, ptTableMetaData);
  file.Create(kSystemSessionID);
  file.WriteFile(kSystemSessionID, stream.Memory(), kMetadataCompressionLevel, kMetadataCompression,
                 stream.Size());
  pm.ApplyChanges(kSystemSessionID);
  {
    TQDXPageHandle first =
        TQDXPageHandle::Get(pm, kSystemSessionID, file.StartPageNo(), true, ptTableMetaData);
    const TQDXTransactedFileHeader header =
        TQDXTransactedFileHeader::Decode({first->Data(), kInternalFileHeaderSize});
    EXPECT_EQ(header.FileCompression, 1);
    EXPECT_EQ(header.FileUncompressedSize, stream.Size());
  }

  int32_t size = 0;
  const TQDXMemBlock block = file.ReadAll(kSystemSessionID, true, size);
  ASSERT_EQ(size, stream.Size());
  const ReadBack back(block.data(), size);
  EXPECT_EQ(back.pages.RecordPageIndexFirstPage, 21);
  EXPECT_EQ(back.pages.BlobPageIndexFirstPage, 22);
  EXPECT_EQ(back.fields.FieldDefs().Count(), 3);
}

}  // namespace
}  // namespace qdx
