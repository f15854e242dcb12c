// The table commands: tables, schema and export read a database through the engine's disk
// tables (opened read-only, single-user), and the table part of check verifies every table's
// record pages, table header and indexes against each other.
#include <algorithm>
#include <initializer_list>
#include <string_view>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "wagenlog/interchange/csv_writer.h"
#include "engine/core/base_session.h"
#include "engine/core/btree.h"
#include "engine/core/record_layout.h"
#include "engine/core/table_cursor.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/disk_table_data.h"
#include "engine/disk/read_only_database.h"
#include "engine/disk/record_page.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"
#include "tools/qdx/qdx_blob_check.h"
#include "tools/qdx/qdx_commands.h"
#include "tools/qdx/qdx_messages.h"

namespace qdx::tools {

namespace {

[[noreturn]] void Fault(std::string_view format, FormatArgs args) {
  throw EQdxToolFault(ToolText(format, args));
}

// The database opened read-only for one session of this process; a password-protected file
// opened without a password asks for one.
class ReadOnlyDatabase : public TQDXReadOnlyDatabase {
 public:
  ReadOnlyDatabase(const std::string& fileName, const std::string& password) try
      : TQDXReadOnlyDatabase(fileName, password) {
  } catch (const EQDXException& e) {
    if (e.ErrorCode() == msg::kIncorrectPassword.Code && password.empty()) {
      throw EQdxToolFault(msg::kQdxPasswordNeeded);
    }
    throw;
  }
};

// A cursor that has one table open while it lives, with its record buffer.
class TableReader : public TQDXTableReader {
 public:
  TableReader(ReadOnlyDatabase& database, const std::string& table)
      : TQDXTableReader(database, Existing(database, table)) {}

  const TQDXFieldDefs& Fields() const { return Table().FieldManager().FieldDefs(); }
  const TQDXIndexDefs& Indexes() const { return Table().IndexManager().IndexDefs(); }
  const TQDXConstraintDefs& Constraints() const {
    return Table().ConstraintManager().ConstraintDefs();
  }

 private:
  static const std::string& Existing(ReadOnlyDatabase& database, const std::string& table) {
    if (!database.Data().TableExists(table)) Fault(msg::kQdxTableNotFound, {table});
    return table;
  }
};

// Joins texts; spelled out because GCC 12 mistakes chains of + on strings for overlapping copies
// at -O3 (-Wrestrict).
std::string Concat(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text.append(part);
  return text;
}

std::string FieldTypeText(const TQDXFieldDef& field) {
  std::string text(FieldTypeName(field.FieldType));
  if (field.Size > 0 && !IsBlobDataType(field.DataType)) text += Concat({"(", std::to_string(field.Size), ")"});
  return text;
}

// The columns with their options; a text column indexed on fewer characters than it holds
// shows how many.
std::string IndexColumnsText(const TQDXIndexDef& index, const TQDXFieldDefs& fields) {
  std::string text;
  for (int32_t i = 0; i < index.ColumnCount(); ++i) {
    const TQDXIndexColumn& column = index.Column(i);
    if (i > 0) text += ", ";
    text += PrintableText(column.FieldName);
    if (column.Descending) text += " DESC";
    if (column.CaseInsensitive) text += " NOCASE";
    const TQDXFieldDef* field = fields.FindField(column.FieldName);
    if (field != nullptr && IsStringDataType(field->DataType) && column.MaxIndexedSize > 0 &&
        column.MaxIndexedSize < field->Size) {
      text += Concat({" (first ", std::to_string(column.MaxIndexedSize), ")"});
    }
  }
  return text;
}

// The fields a not null constraint (or a primary key) makes required.
std::set<std::string> RequiredFields(const TableReader& reader) {
  std::set<std::string> names;
  const TQDXConstraintDefs& constraints = reader.Constraints();
  for (int32_t i = 0; i < constraints.Count(); ++i) {
    const TQDXConstraintDef& constraint = constraints.GetConstraintDef(i);
    if (constraint.ConstraintType() == ctNotNull) {
      names.insert(static_cast<const TQDXConstraintDefNotNull&>(constraint).TargetRef.Name);
    } else if (constraint.ConstraintType() == ctPrimaryKey) {
      for (const auto& column : static_cast<const TQDXConstraintDefUnique&>(constraint).Columns) {
        names.insert(column.FieldName);
      }
    }
  }
  return names;
}

std::string ConstraintText(const TQDXConstraintDef& constraint) {
  const auto& common = static_cast<const TQDXConstraintDefNotNull&>(constraint);
  std::string text = Concat({PrintableText(constraint.Name()), " "});
  switch (constraint.ConstraintType()) {
    case ctNotNull:
      return Concat({text, "NOT NULL (", PrintableText(common.TargetRef.Name), ")"});
    case ctCheck: {
      const auto& check = static_cast<const TQDXConstraintDefCheck&>(constraint);
      text += Concat({"CHECK (", PrintableText(common.TargetRef.Name)});
      if (!check.MinValue.IsNull()) {
        text += Concat({" >= ", interchange::FormatCsvValue(check.MinValue)});
      }
      if (!check.MaxValue.IsNull()) {
        text += Concat({" <= ", interchange::FormatCsvValue(check.MaxValue)});
      }
      return Concat({text, ")"});
    }
    case ctUnique:
    case ctPrimaryKey: {
      const auto& unique = static_cast<const TQDXConstraintDefUnique&>(constraint);
      text += constraint.ConstraintType() == ctPrimaryKey ? "PRIMARY KEY (" : "UNIQUE (";
      for (size_t i = 0; i < unique.Columns.size(); ++i) {
        text += (i > 0 ? ", " : "") + PrintableText(unique.Columns[i].FieldName);
      }
      return Concat({text, ") index ", PrintableText(unique.TargetRef.Name)});
    }
    default:
      return Concat({text, "type ", std::to_string(constraint.ConstraintType())});
  }
}

// The value of a BLOB field of the reader's record as the field holds it (decompressed); the
// value is not kept cached afterwards.
std::vector<uint8_t> ReadBlobValue(TableReader& reader, int32_t fieldNo) {
  TQDXDiskTableData& table = reader.Table();
  std::vector<uint8_t> bytes;
  {
    const std::unique_ptr<TQDXStream> stream = table.OpenBlob(reader, /*readOnly=*/true, 1, fieldNo);
    bytes.resize(static_cast<size_t>(stream->Size()));
    if (!bytes.empty() &&
        stream->Read(bytes.data(), static_cast<int32_t>(bytes.size())) !=
            static_cast<int32_t>(bytes.size())) {
      Raise(msg::kCannotOpenBlobValue);
    }
  }
  table.FreeBlobCache(reader.Buffer, fieldNo);
  return bytes;
}

// ---- check -----------------------------------------------------------------------------------

class TableChecker {
 public:
  static constexpr int32_t kSession = 0;

  TableChecker(TableReader& reader, TQDXDiskPageManager& pages, TBlobPageAccount& blobs)
      : reader_(reader),
        table_(reader.Table()),
        pages_(pages),
        blobs_(blobs),
        name_(PrintableText(reader.TableName)) {}

  void Run() {
    CheckRecordPages();
    for (int32_t i = 0; i < reader_.Indexes().Count(); ++i) {
      CheckIndex(reader_.Indexes().GetIndexDef(i));
    }
    blobs_.CheckTable(table_, name_);
  }

 private:
  [[noreturn]] void TableFault(std::string_view format, FormatArgs args) {
    throw EQdxToolFault(Concat({"Table '", name_, "': ", ToolText(format, args)}));
  }

  // Every listed page is a record page of the table holding as many records as the index
  // says; the sum is the table header's count.
  void CheckRecordPages() {
    TQDXDiskRecordManager& records = table_.DiskRecords();
    TQDXBTreeRecordPageIndex& index = records.PageIndex();
    try {
      index.CheckIntegrity(kSession);
    } catch (const EQDXException& e) {
      TableFault(msg::kQdxRecordPageIndexDamaged, {index.RootPageNo(), e.Message()});
    }
    TQDXKeyPath path;
    int64_t sum = 0;
    if (index.GoFirst(kSession, path)) {
      TQDXLeafWalkGuard guard;
      do {
        guard.Visit(path);
        const int32_t pageNo = index.PageAt(kSession, path);
        const int32_t listed = index.GetValue(kSession, path);
        if (pageNo < 0 || pageNo >= pages_.Header().TotalPageCount) {
          TableFault(msg::kQdxRecordPageOutsideFile, {pageNo});
        }
        TQDXPageHandle page = TQDXPageHandle::Get(pages_, kSession, pageNo, true, kAnyPageType);
        if (!IsRecordPageOf(page->Header(), table_.TableID())) {
          TableFault(msg::kQdxNotARecordPage, {pageNo, page->PageType(), page->OwnerObjectID()});
        }
        const TQDXSmallRecordPage view(*page, records.RecordsPerPage(), records.StoredSize());
        if (view.RecordCount() != listed) {
          TableFault(msg::kQdxRecordCountOnPage, {pageNo, view.RecordCount(), listed});
        }
        sum += listed;
      } while (index.Next(kSession, path));
    }
    if (sum != records.RecordCount) {
      TableFault(msg::kQdxRecordCountMismatch, {sum, records.RecordCount});
    }
  }

  // The tree is sound, and its entries and the records match one to one.
  void CheckIndex(const TQDXIndexDef& definition) {
    const std::string indexName = PrintableText(definition.Name());
    TQDXBTreeRecordIndex& index = table_.IndexManager().GetIndex(definition.ObjectID());
    try {
      index.Tree().CheckIntegrity(kSession);
    } catch (const EQDXException& e) {
      TableFault(msg::kQdxIndexDamaged, {indexName, definition.RootPageNo, e.Message()});
    }
    std::vector<uint8_t> record(static_cast<size_t>(table_.MemoryRecordSize()));
    std::set<std::pair<int32_t, uint16_t>> entries;
    std::unique_ptr<TQDXIndexScanState> state = index.NewScanState({}, {}, true, nullptr);
    TQDXRecordID id;
    while (index.ScanNext(kSession, *state, id)) {
      if (!entries.emplace(id.PageNo, id.SlotNo).second) {
        TableFault(msg::kQdxIndexEntryTwice, {indexName, id.PageNo, id.SlotNo});
      }
      if (!table_.ReadRecordByID(kSession, id, record.data())) {
        TableFault(msg::kQdxIndexEntryWithoutRecord, {indexName, id.PageNo, id.SlotNo});
      }
    }
    int64_t count = 0;
    TQDXKeyPath path;
    table_.ForEachRecord(kSession, record.data(), [&](TQDXRecordID at) {
      ++count;
      if (!entries.contains({at.PageNo, at.SlotNo}) ||
          !index.FindRecord(kSession, at, path, record.data())) {
        TableFault(msg::kQdxRecordWithoutIndexEntry, {at.PageNo, at.SlotNo, indexName});
      }
    });
    if (count != static_cast<int64_t>(entries.size())) {
      TableFault(msg::kQdxIndexEntryCount, {indexName, static_cast<int64_t>(entries.size()), count});
    }
  }

  TableReader& reader_;
  TQDXDiskTableData& table_;
  TQDXDiskPageManager& pages_;
  TBlobPageAccount& blobs_;
  std::string name_;
};

}  // namespace

void PrintTables(const std::string& fileName, const std::string& password, std::ostream& out) {
  ReadOnlyDatabase database(fileName, password);
  for (const std::string& name : database.TableNames()) {
    TableReader reader(database, name);
    std::string indexes;
    for (int32_t i = 0; i < reader.Indexes().Count(); ++i) {
      const TQDXIndexDef& index = reader.Indexes().GetIndexDef(i);
      indexes += Concat({i > 0 ? ", " : "", PrintableText(index.Name()), " (",
                         IndexColumnsText(index, reader.Fields()), ")"});
    }
    out << PrintableText(name) << ": " << reader.Table().GetPhysicalRecordCount(reader)
        << " records of " << reader.Table().FieldManager().StoredRecordSize() << " bytes; indexes: "
        << (indexes.empty() ? "none" : indexes) << "\n";
  }
}

void PrintSchema(const std::string& fileName, const std::string& password,
                 const std::string& tableName, std::ostream& out) {
  ReadOnlyDatabase database(fileName, password);
  TableReader reader(database, tableName);
  const std::set<std::string> required = RequiredFields(reader);
  out << "Table: " << PrintableText(reader.TableName) << "\n";
  const TQDXFieldDefs& fields = reader.Fields();
  out << "Fields: " << fields.Count() << "\n";
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TQDXFieldDef& field = fields.GetFieldDef(i);
    out << "  " << PrintableText(field.Name()) << " " << FieldTypeText(field)
        << (required.contains(field.Name()) ? " NOT NULL" : " NULL");
    if (!field.DefaultValue().IsNull()) {
      out << " DEFAULT " << PrintableText(interchange::FormatCsvValue(field.DefaultValue()));
    }
    if (field.IsAutoinc()) {
      out << " AUTOINC (from " << field.AutoincInitialValue << " by " << field.AutoincIncrement
          << ")";
    }
    out << "\n";
  }
  const TQDXIndexDefs& indexes = reader.Indexes();
  out << "Indexes: " << indexes.Count() << "\n";
  for (int32_t i = 0; i < indexes.Count(); ++i) {
    const TQDXIndexDef& index = indexes.GetIndexDef(i);
    out << "  " << PrintableText(index.Name()) << " (" << IndexColumnsText(index, fields) << ")"
        << (index.Primary ? " PRIMARY" : "") << (index.Unique ? " UNIQUE" : "") << "\n";
  }
  const TQDXConstraintDefs& constraints = reader.Constraints();
  out << "Constraints: " << constraints.Count() << "\n";
  for (int32_t i = 0; i < constraints.Count(); ++i) {
    out << "  " << ConstraintText(constraints.GetConstraintDef(i)) << "\n";
  }
}

void ExportTable(const std::string& fileName, const std::string& password,
                 const std::string& tableName, const std::string& indexName, std::ostream& out) {
  ReadOnlyDatabase database(fileName, password);
  TableReader reader(database, tableName);
  TQDXDiskTableData& table = reader.Table();
  if (!indexName.empty()) {
    const TQDXIndexDef* index = reader.Indexes().FindIndex(indexName);
    if (index == nullptr) Fault(msg::kQdxIndexNotFound, {indexName, tableName});
    reader.CurrentIndexID = index->ObjectID();
  }
  const TQDXFieldDefs& fields = reader.Fields();
  interchange::TCsvWriter csv(out);
  std::vector<std::optional<std::string>> cells(static_cast<size_t>(fields.Count()));
  for (int32_t i = 0; i < fields.Count(); ++i) {
    cells[static_cast<size_t>(i)] = interchange::AnsiToUtf8(fields.GetFieldDef(i).Name());
  }
  csv.WriteLine(cells);
  // One variant per field: a field's value has the same size in every record, so its variant
  // keeps its block instead of making one per value.
  std::vector<TQDXVariant> values(static_cast<size_t>(fields.Count()));
  std::vector<uint8_t> blob;  // the variant borrows a BLOB value's bytes from here
  while (table.GetRecord(reader, grmNext) == grOK) {
    for (int32_t i = 0; i < fields.Count(); ++i) {
      const TQDXFieldDef& field = fields.GetFieldDef(i);
      TQDXVariant& value = values[static_cast<size_t>(i)];
      std::optional<std::string>& cell = cells[static_cast<size_t>(i)];
      cell.reset();
      if (IsNull(i, reader.Buffer)) continue;
      if (field.IsBlob()) {
        blob = ReadBlobValue(reader, i);
        value.SetData(blob.data(), static_cast<int32_t>(blob.size()), false, field.DataType);
      } else {
        GetFieldValue(value, i, fields, reader.Buffer);
      }
      cell = interchange::FormatCsvValue(value);
    }
    csv.WriteLine(cells);
  }
}

void CheckTables(const std::string& fileName, const std::string& password) {
  ReadOnlyDatabase database(fileName, password);
  TQDXDiskPageManager& pages = *database.Data().PageManager();
  TBlobPageAccount blobs(pages, TableChecker::kSession);
  for (const std::string& name : database.TableNames()) {
    std::optional<TableReader> reader;
    try {
      reader.emplace(database, name);
    } catch (const EQDXException& e) {
      Fault(msg::kQdxTableUnreadable, {PrintableText(name), e.Message()});
    }
    const platform::CriticalSectionGuard held(database.Data().Lock());
    try {
      TableChecker(*reader, pages, blobs).Run();
    } catch (const EQDXException& e) {
      Fault(msg::kQdxTableUnreadable, {PrintableText(name), e.Message()});
    }
  }
  const platform::CriticalSectionGuard held(database.Data().Lock());
  blobs.CheckLeakedPages();
}

}  // namespace qdx::tools
