#include "dataset/table_copy.h"

#include <memory>
#include <vector>
#include <span>

#include "dataset/dataset_messages.h"
#include "dataset/engine_error.h"
#include "dataset/local_engine/local_cursor.h"
#include "dataset/local_engine/local_session.h"
#include "engine/core/constraint_def.h"
#include "engine/core/field_def.h"
#include "engine/core/table_index_def.h"
#include "engine/disk/disk_table_data.h"
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

// A record buffer of the cursor's, its current buffer while the guard lives.
class CurrentBuffer {
 public:
  explicit CurrentBuffer(TQDXLocalCursor& cursor)
      : cursor_(cursor), buffer_(cursor.AllocRecordBuffer()) {
    cursor_.Buffer = buffer_.get();
  }
  ~CurrentBuffer() {
    cursor_.Buffer = nullptr;
    try {
      cursor_.FreeRecordBuffer(buffer_);
    } catch (...) {
      // The memory goes with the unique pointer all the same.
    }
  }
  CurrentBuffer(const CurrentBuffer&) = delete;
  CurrentBuffer& operator=(const CurrentBuffer&) = delete;

 private:
  TQDXLocalCursor& cursor_;
  RecordBuffer buffer_;
};

// Copies the current record of `source` into `target`'s buffer; a field that fails is NULL.
void CopyRecordFields(TQDXLocalCursor& source, TQDXLocalCursor& target,
                      std::span<const TQDXFieldPair> fields, std::string_view table,
                      int64_t recordNo, std::string& errors) {
  for (const TQDXFieldPair& pair : fields) {
    try {
      source.CopyFieldValue(pair.Source, /*useTableDefs=*/true, target, pair.Target);
    } catch (const std::exception& e) {
      target.SetFieldValue(pair.Target, TQDXVariant());
      errors += Text(dsmsg::kCopyFieldNulled,
                     {table, recordNo, source.TableFieldDefs->GetFieldDef(pair.Source).Name(),
                      e.what()});
      errors += "\n";
    }
  }
}

// The next record of `from` in physical order into its buffer, the one after the record at
// physical number `position`. After a record that could not be read the walk picks up at the
// following number, so that one damaged record or page costs only what it holds.
class SalvagingWalk {
 public:
  explicit SalvagingWalk(TQDXLocalCursor& from) : from_(from), total_(from.GetRecordCount()) {
    from_.First();
  }

  int64_t Total() const { return total_; }
  int64_t Position() const { return position_; }

  // grOK with the record in the buffer, grEOF at the end, or grError with `reason` when the
  // record at the next position cannot be read.
  uint8_t Next(std::string& reason) {
    uint8_t got = grError;
    try {
      if (lost_) {
        if (position_ >= total_) return grEOF;
        from_.SetRecNo(position_ + 1);
        got = from_.GetRecord(grmCurrent);
      } else {
        got = from_.GetRecord(grmNext);
        if (got == grEOF || got == grBOF) return grEOF;
      }
    } catch (const std::exception& e) {
      reason = e.what();
      got = grError;
    }
    ++position_;
    lost_ = got != grOK;
    if (lost_ && reason.empty()) reason = dsmsg::kRecordUnreadable;
    return got;
  }

 private:
  TQDXLocalCursor& from_;
  const int64_t total_;
  int64_t position_ = 0;
  bool lost_ = false;  // the last record could not be read: the walk goes on by number
};

}  // namespace

TQDXTableCopyResult CopyRecords(TQDXLocalCursor& from, TQDXLocalCursor& to,
                                std::span<const TQDXFieldPair> fields, std::string_view tableName,
                                const TQDXCopyProgress& progress) {
  TQDXTableCopyResult result;
  const CurrentBuffer fromBuffer(from);
  const CurrentBuffer toBuffer(to);

  SalvagingWalk walk(from);
  const int64_t total = walk.Total();
  int lastPercent = -1;
  to.BeginImplicitChange();
  for (;;) {
    std::string unreadable;
    const uint8_t got = walk.Next(unreadable);
    if (got == grEOF) break;
    const int64_t recordNo = walk.Position();
    if (got != grOK) {
      ++result.RecordsSkipped;
      result.Errors += Text(dsmsg::kCopyRecordSkipped, {tableName, recordNo, unreadable});
      result.Errors += "\n";
    } else {
      to.InitRecord(to.Buffer, /*applyDefaults=*/false);
      CopyRecordFields(from, to, fields, tableName, recordNo, result.Errors);
      // An engine error of the target (a full disk) stops the copy: going on would lose every
      // record after it.
      to.PostRecord(/*isInsert=*/true);
      if (to.ResultCode == crOK) {
        ++result.RecordsCopied;
      } else {
        ++result.RecordsSkipped;
        result.Errors += Text(dsmsg::kCopyRecordSkipped,
                              {tableName, recordNo, EngineResultText(to.ResultCode, to.ResultMessage)});
        result.Errors += "\n";
      }
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
  return result;
}

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
  TQDXLocalCursor from(source);
  from.TableName = std::string(tableName);
  from.Exclusive = true;
  from.ReadOnly = true;
  from.TableDataFlag = repairMode ? kTableDataFlagRepair : 0;
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

  std::vector<TQDXFieldPair> fields;
  for (int32_t i = 0; i < from.TableFieldDefs->Count(); ++i) fields.push_back({i, i});
  TQDXTableCopyResult result = CopyRecords(from, to, fields, tableName, progress);
  to.CloseTable();
  from.CloseTable();
  return result;
}

}  // namespace qdx
