// Writes the seed databases with tables for the fuzz corpus (scripts/fuzz seeds): small pages,
// a table with two indexes whose records were inserted, updated and deleted, the same table in
// an encrypted file, and a table with BLOB fields (their values empty).
//   qdx_fuzz_seeds DIR
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "engine/core/base_session.h"
#include "engine/core/constraint_def.h"
#include "engine/core/field_def.h"
#include "engine/core/record_layout.h"
#include "engine/core/table_index_def.h"
#include "engine/disk/disk_database_data.h"
#include "engine/foundation/except.h"
#include "tests/buffered_cursor.h"

namespace qdx {
namespace {

constexpr int32_t kNameSize = 20;

struct TSeed {
  const char* FileName;
  const char* Password;
  bool BlobFields;
};

void AddIndex(TQDXIndexDefs& indexes, const char* name, const char* column) {
  auto& index = static_cast<TQDXIndexDef&>(indexes.AddCreated());
  index.SetName(name);
  index.SetColumnsFromLists({column}, {"ASC"}, {""});
}

void WriteSeed(const std::string& path, const TSeed& seed) {
  std::filesystem::remove(path);
  {
    TQDXDiskDatabaseData creator(path);
    creator.PageSize = 512;
    creator.PagesPerExtent = 2;
    creator.MaxConnections = 2;
    creator.Password.Password = seed.Password;
    creator.CreateDatabase();
  }
  TQDXDiskDatabaseData data(path);
  TQDXBaseSession session;
  session.Password.Password = seed.Password;
  data.AddSession(session);
  {
    TQDXFieldDefs fields;
    fields.AddField("Name", TQDXFieldType::String, kNameSize);
    fields.AddField("Amount", TQDXFieldType::Integer);
    fields.AddField("Serial", TQDXFieldType::AutoInc);
    if (seed.BlobFields) {
      fields.AddField("Notes", TQDXFieldType::Memo);
      fields.AddField("Photo", TQDXFieldType::Graphic);
    }
    TQDXIndexDefs indexes;
    AddIndex(indexes, "ByAmount", "Amount");
    AddIndex(indexes, "ByName", "Name");
    TQDXTableCursor creator;
    creator.Session = &session;
    creator.TableName = "Kosten";
    data.GetTableData(creator)->CreateTable(creator, fields, TQDXConstraintDefs(), indexes);
  }
  {
    testing::TBufferedCursor cursor(data, session, "Kosten");
    const auto fill = [&](int i) {
      InitRecordBuffer(cursor.Defs(), cursor.Buffer);
      char name[kNameSize + 1] = {};
      std::snprintf(name, sizeof name, "Tanken %d", i);
      const int32_t amount = (i * 37) % 101;
      SetFieldData(0, cursor.Defs(), name, cursor.Buffer);
      SetFieldData(1, cursor.Defs(), &amount, cursor.Buffer);
    };
    for (int i = 0; i < 16; ++i) {
      fill(i);
      cursor.Table().InsertRecord(cursor);
    }
    for (int64_t recNo : {12, 9, 5, 2}) {
      cursor.Table().SetPhysicalRecNo(cursor, recNo);
      cursor.Table().DeleteRecord(cursor);
    }
    cursor.Table().SetPhysicalRecNo(cursor, 3);
    fill(100);
    cursor.Table().UpdateRecord(cursor);
  }
  data.RemoveSession(session);
}

}  // namespace
}  // namespace qdx

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qdx_fuzz_seeds DIR\n";
    return 2;
  }
  const qdx::TSeed seeds[] = {
      {"tables.qdx", "", false},
      {"tables-encrypted.qdx", "fuzz", false},
      {"tables-blob-fields.qdx", "", true},
  };
  try {
    for (const qdx::TSeed& seed : seeds) {
      qdx::WriteSeed((std::filesystem::path(argv[1]) / seed.FileName).string(), seed);
    }
  } catch (const qdx::EQDXException& e) {
    std::cerr << "qdx_fuzz_seeds: " << e.Message() << "\n";
    return 1;
  }
  return 0;
}
