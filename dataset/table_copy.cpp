#include "dataset/table_copy.h"

#include <memory>
#include <span>

#include "dataset/dataset_messages.h"
#include "dataset/engine_error.h"
#include "dataset/local_engine/local_cursor.h"
#include "dataset/local_engine/local_session.h"
#include "engine/core/constraint_def.h"
#include "engine/core/field_def.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/types/strings.h"
#include "engine/foundation/types/variant.h"

namespace qdx {

namespace {

// Records stored in one batch of changes before they are written.
constexpr int64_t kRecordsPerCommit = 1000;

std::string Text(std::string_view format, FormatArgs args) {
  return FormatOrFallback(format, std::span<const FormatArg>(args.begin(), args.size()));
}

// Copies the current record of `source` into `target`'s buffer; a field that fails is NULL.
void CopyRecordFields(TQDXLocalCursor& source, TQDXLocalCursor& target, std::string_view table,
                      int64_t recordNo, std::string& errors) {
  const int32_t fieldCount = source.TableFieldDefs->Count();
  for (int32_t fieldNo = 0; fieldNo < fieldCount; ++fieldNo) {
    try {
      source.CopyFieldValue(fieldNo, /*useTableDefs=*/true, target, fieldNo);
    } catch (const std::exception& e) {
      target.SetFieldValue(fieldNo, TQDXVariant());
      errors += Text(dsmsg::kCopyFieldNulled,
                     {table, recordNo, source.TableFieldDefs->GetFieldDef(fieldNo).Name(),
                      e.what()});
      errors += "\n";
    }
  }
}

}  // namespace

void CopyIndexDefsForTable(const TQDXIndexDefs& source, TQDXIndexDefs& target) {
  target.Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const TQDXIndexDef& index = source.GetIndexDef(i);
    if (index.Temporary) continue;
    if (AnsiUpperCase(index.Name()).find("TEMPORARY") != std::string::npos) continue;
    auto copy = std::make_unique<TQDXIndexDef>();
    copy->Assign(index);
    target.Add(std::move(copy));
  }
}

TQDXTableCopyResult CopyTable(TQDXLocalSession& source, std::string_view tableName,
                              TQDXLocalSession& target, bool repairMode,
                              const TQDXCopyProgress& progress) {
  TQDXTableCopyResult result;
  TQDXLocalCursor from(source);
  from.TableName = std::string(tableName);
  from.Exclusive = true;
  from.ReadOnly = true;
  from.TableDataFlag = repairMode ? 1 : 0;
  from.OpenTable();
  from.InitFieldDefs();

  {
    TQDXIndexDefs indexes;
    CopyIndexDefsForTable(*from.IndexDefs, indexes);
    TQDXLocalCursor creator(target);
    creator.TableName = std::string(tableName);
    creator.Exclusive = true;
    creator.CreateTable(*from.TableFieldDefs, indexes, *from.ConstraintDefs);
  }

  TQDXLocalCursor to(target);
  to.TableName = std::string(tableName);
  to.Exclusive = true;
  to.OpenTable();
  to.InitFieldDefs();

  RecordBuffer fromBuffer = from.AllocRecordBuffer();
  RecordBuffer toBuffer = to.AllocRecordBuffer();
  from.Buffer = fromBuffer.get();
  to.Buffer = toBuffer.get();

  const int64_t total = from.GetRecordCount();
  from.First();
  int64_t recordNo = 0;
  int lastPercent = -1;
  to.BeginImplicitChange();
  for (;;) {
    const uint8_t got = from.GetRecord(grmNext);
    if (got == grEOF || got == grBOF) break;
    ++recordNo;
    if (got != grOK) {
      // The position cannot move past a record that cannot be read.
      result.Errors += Text(dsmsg::kCopyRecordSkipped, {tableName, recordNo, dsmsg::kRecordUnreadable});
      result.Errors += "\n";
      break;
    }
    to.InitRecord(toBuffer.get(), /*applyDefaults=*/false);
    CopyRecordFields(from, to, tableName, recordNo, result.Errors);
    to.PostRecord(/*isInsert=*/true);
    if (to.ResultCode == crOK) {
      ++result.RecordsCopied;
    } else {
      result.Errors += Text(dsmsg::kCopyRecordSkipped,
                            {tableName, recordNo, EngineResultText(to.ResultCode, to.ResultMessage)});
      result.Errors += "\n";
    }
    if (recordNo % kRecordsPerCommit == 0) {
      to.CommitImplicitChange();
      to.BeginImplicitChange();
    }
    if (progress && total > 0) {
      const int percent = static_cast<int>(std::min<int64_t>(recordNo * 100 / total, 100));
      if (percent != lastPercent) {
        lastPercent = percent;
        if (!progress(percent)) {
          result.Stopped = true;
          result.Errors += dsmsg::kTerminatedByUser;
          result.Errors += "\n";
          break;
        }
      }
    }
  }
  to.CommitImplicitChange();
  to.CloseTable();
  from.CloseTable();
  return result;
}

}  // namespace qdx
