// The "records" workload: records of disk tables, through the table data as the engine session
// drives it.
//
// Each worker owns a table T<worker> (Key STRING(20), Amount INTEGER, Note STRING(200), Memo MEMO
// compressed, Data BLOB plain; indexes ByKey and ByAmount), made with the database. A step is
// either one insert, update or delete applied at once (autocommit), or a transaction of two to
// five of them committed together. Inserts and updates store memo texts and binary values of up
// to several pages each, or none; a third of the updates leave the stored values alone. Reading a
// worker's part walks the table in physical order, reading every BLOB value whole, and through
// both indexes; an index that disagrees with the records shows up as a key of its own, so the
// comparison fails.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/constraint_def.h"
#include "engine/core/field_def.h"
#include "engine/core/record_layout.h"
#include "engine/core/table_index_def.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_table_data.h"
#include "engine/disk/disk_table_locks.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/compression/compression.h"
#include "engine/foundation/except.h"
#include "engine/foundation/stream.h"
#include "tests/buffered_cursor.h"
#include "tests/reliability/engine_session.h"
#include "tests/reliability/workload.h"

namespace qdx::reliability {

namespace {

constexpr int kTables = 4;  // the most workers the database is made for
constexpr int32_t kKeySize = 20;
constexpr int32_t kNoteSize = 200;
constexpr int32_t kMemo = 3;
constexpr int32_t kData = 4;
// Up to six pages of 1024 bytes; a size of 0 stores no value (the field is null).
constexpr int32_t kMaxBlobSize = 6000;

struct TRecord {
  int32_t Amount = 0;
  uint64_t NoteSeed = 0;
  int32_t NoteSize = 0;
  uint64_t MemoSeed = 0;
  int32_t MemoSize = 0;
  uint64_t DataSeed = 0;
  int32_t DataSize = 0;
};
using TModel = std::map<std::string, TRecord>;

enum class TOpKind { Insert, Update, Delete };
struct TOp {
  TOpKind Kind;
  std::string Key;
  TRecord Record;
  bool StoreBlobs = true;  // an update that leaves them keeps the record's stored values
};

struct TStepPlan {
  bool Transaction = false;
  std::vector<TOp> Ops;
};

// GCC 12 at -O3 warns falsely (-Wrestrict) about the memcpy of "T" + std::string inlined
// from the standard library; the concatenation is sound.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
std::string TableName(int worker) { return "T" + std::to_string(worker); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

std::string Note(uint64_t seed, int32_t size) {
  std::string note(static_cast<size_t>(size), ' ');
  uint64_t state = seed;
  for (int32_t i = 0; i < size; ++i) {
    state = Mix(state, static_cast<uint64_t>(i));
    note[i] = static_cast<char>('a' + state % 26);
  }
  return note;
}

// A memo text (words, compressible) or binary noise.
std::vector<uint8_t> BlobBytes(uint64_t seed, int32_t size, bool text) {
  constexpr std::string_view kWords = "Tanken 61,3 l; Oelwechsel; Reifen\r\n";
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  uint64_t state = seed;
  for (int32_t i = 0; i < size; ++i) {
    if (i % 8 == 0) state = Mix(state, static_cast<uint64_t>(i));
    const uint8_t byte = static_cast<uint8_t>(state >> (8 * (i % 8)));
    bytes[i] = text ? static_cast<uint8_t>(kWords[byte % kWords.size()]) : byte;
  }
  return bytes;
}

uint64_t Digest(const std::vector<uint8_t>& bytes) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001B3ull;
  return hash;
}

// A BLOB value as the comparison sees it: null, or its size and a digest of its bytes.
std::string BlobText(const std::optional<std::vector<uint8_t>>& value) {
  if (!value) return "null";
  char text[48];
  std::snprintf(text, sizeof text, "%zu bytes %016llx", value->size(),
                static_cast<unsigned long long>(Digest(*value)));
  return text;
}

std::optional<std::vector<uint8_t>> ModelBlob(uint64_t seed, int32_t size, bool text) {
  if (size == 0) return std::nullopt;
  return BlobBytes(seed, size, text);
}

std::string ValueText(int32_t amount, const std::string& note, const std::string& memo,
                      const std::string& data) {
  return "amount " + std::to_string(amount) + ", note " + note + ", memo " + memo + ", data " +
         data;
}

TStepPlan PlanStep(uint64_t seed, int worker, int64_t step, const TModel& model, int32_t& nextKey) {
  uint64_t state = Mix(seed, Mix(static_cast<uint64_t>(worker) + 1000, static_cast<uint64_t>(step)));
  const auto below = [&](uint64_t n) { return (state = Mix(state, 7)) % n; };
  TStepPlan plan;
  plan.Transaction = below(2) == 0;
  const int count = plan.Transaction ? 2 + static_cast<int>(below(4)) : 1;
  TModel untouched = model;
  for (int i = 0; i < count; ++i) {
    TOp op;
    const uint64_t roll = below(100);
    if (untouched.empty() || roll < 45) {
      op.Kind = TOpKind::Insert;
      // GCC 12 at -O3 warns falsely (-Wrestrict) about the memcpy of "k" + std::string inlined
      // from the standard library; the concatenation is sound.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
      op.Key = "k" + std::to_string(nextKey++);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    } else {
      auto it = std::next(untouched.begin(), static_cast<long>(below(untouched.size())));
      op.Key = it->first;
      op.Kind = roll < 80 ? TOpKind::Update : TOpKind::Delete;
      untouched.erase(it);
    }
    op.Record.Amount = static_cast<int32_t>(below(2000)) - 1000;
    op.Record.NoteSeed = state;
    op.Record.NoteSize = static_cast<int32_t>(below(kNoteSize + 1));
    // A quarter of the values are none; the others up to a few pages.
    const auto blobSize = [&] {
      return below(4) == 0 ? 0 : static_cast<int32_t>(below(kMaxBlobSize) + 1);
    };
    op.Record.MemoSize = blobSize();
    op.Record.MemoSeed = state;
    op.Record.DataSize = blobSize();
    op.Record.DataSeed = Mix(state, 3);
    if (op.Kind == TOpKind::Update && below(3) == 0) {
      op.StoreBlobs = false;
      const TRecord& stored = model.at(op.Key);
      op.Record.MemoSeed = stored.MemoSeed;
      op.Record.MemoSize = stored.MemoSize;
      op.Record.DataSeed = stored.DataSeed;
      op.Record.DataSize = stored.DataSize;
    }
    plan.Ops.push_back(std::move(op));
  }
  return plan;
}

void ApplyToModel(const TStepPlan& plan, TModel& model) {
  for (const TOp& op : plan.Ops) {
    if (op.Kind == TOpKind::Delete) {
      model.erase(op.Key);
    } else {
      model[op.Key] = op.Record;
    }
  }
}

TModel Replay(uint64_t seed, int worker, int64_t steps, int32_t& nextKey) {
  TModel model;
  nextKey = 0;
  for (int64_t n = 1; n <= steps; ++n) ApplyToModel(PlanStep(seed, worker, n, model, nextKey), model);
  return model;
}

std::unique_ptr<TQDXFieldDefs> Fields() {
  auto fields = std::make_unique<TQDXFieldDefs>();
  fields->AddField("Key", TQDXFieldType::String, kKeySize);
  fields->AddField("Amount", TQDXFieldType::Integer);
  fields->AddField("Note", TQDXFieldType::String, kNoteSize);
  TQDXFieldDef& memo = fields->AddField("Memo", TQDXFieldType::Memo);
  memo.BlobCompressionAlgorithm = kCompressionZlib;
  memo.BlobCompressionMode = 6;
  // Small blocks: a value spans several blocks as well as several pages.
  memo.BlobBlockSize = 2000;
  fields->AddField("Data", TQDXFieldType::Blob).BlobCompressionAlgorithm = kCompressionNone;
  return fields;
}

std::unique_ptr<TQDXIndexDefs> Indexes() {
  auto indexes = std::make_unique<TQDXIndexDefs>();
  auto& byKey = static_cast<TQDXIndexDef&>(indexes->AddCreated());
  byKey.SetName("ByKey");
  byKey.SetColumnsFromLists({"Key"}, {"ASC"}, {""});
  auto& byAmount = static_cast<TQDXIndexDef&>(indexes->AddCreated());
  byAmount.SetName("ByAmount");
  byAmount.SetColumnsFromLists({"Amount"}, {"ASC"}, {""});
  return indexes;
}

// A table lock of a disk table, taken as the program's cursor takes it: a read lock over a whole
// read, the commit lock around a change outside a transaction, the transaction's edit lock
// before its first change (kept: the transaction's commit or rollback gives it back). A lock
// that cannot be had raises as a locked table does. No-op without other processes.
class TTableLock {
 public:
  TTableLock(TQDXTableData& table, int32_t sessionID, TQDXTableLockKind kind, bool keep = false)
      : sessionID_(sessionID), kind_(kind) {
    auto* disk = dynamic_cast<TQDXDiskTableData*>(&table);
    locks_ = disk != nullptr ? disk->Locks() : nullptr;
    if (locks_ == nullptr) return;
    if (!locks_->LockTable(sessionID_, kind_, false, false, kPauseMs, kTries)) {
      Raise(msg::kCannotOpenLockedTable, {table.Name()});
    }
    if (keep) locks_ = nullptr;
  }
  ~TTableLock() {
    if (locks_ == nullptr) return;
    try {
      locks_->UnlockTable(sessionID_, kind_, false, true);
    } catch (...) {  // the operation's own failure, if any, is the one to report
    }
  }
  TTableLock(const TTableLock&) = delete;
  TTableLock& operator=(const TTableLock&) = delete;

 private:
  static constexpr uint32_t kPauseMs = 20;
  static constexpr int32_t kTries = 250;
  int32_t sessionID_;
  TQDXTableLockKind kind_;
  TQDXDiskTableLocks* locks_ = nullptr;
};

// The workload's view of a record: its key and a text of its whole content.
class TCursor : public testing::TBufferedCursor {
 public:
  using TBufferedCursor::TBufferedCursor;

  // The record's fields; the BLOB values only with `storeBlobs`. An insert starts from a new
  // buffer, an update from the record found.
  void Fill(const std::string& key, const TRecord& record, bool storeBlobs) {
    char keyText[kKeySize + 1] = {};
    key.copy(keyText, kKeySize);
    SetFieldData(0, Defs(), keyText, Buffer);
    SetFieldData(1, Defs(), &record.Amount, Buffer);
    // The field's whole size is copied from the source.
    char note[kNoteSize + 1] = {};
    Note(record.NoteSeed, record.NoteSize).copy(note, kNoteSize);
    SetFieldData(2, Defs(), note, Buffer);
    if (!storeBlobs) return;
    PutBlob(kMemo, ModelBlob(record.MemoSeed, record.MemoSize, true));
    PutBlob(kData, ModelBlob(record.DataSeed, record.DataSize, false));
  }
  std::string Key() const {
    char text[kKeySize + 1] = {};
    GetFieldData(0, Defs(), text, Buffer);
    return text;
  }
  std::string Value() {
    int32_t amount = 0;
    GetFieldData(1, Defs(), &amount, Buffer);
    char note[kNoteSize + 1] = {};
    GetFieldData(2, Defs(), note, Buffer);
    const std::string memo = BlobText(GetBlob(kMemo));
    return ValueText(amount, note, memo, BlobText(GetBlob(kData)));
  }
  // Every record in the order of `indexName` ("" for physical order): key to value.
  std::vector<std::pair<std::string, std::string>> ReadAll(const std::string& indexName) {
    std::vector<std::pair<std::string, std::string>> rows;
    Walk(indexName.empty() ? -1 : IndexID(indexName), [&] {
      rows.emplace_back(Key(), Value());
      return true;
    });
    return rows;
  }
  void PutBlob(int32_t fieldNo, const std::optional<std::vector<uint8_t>>& value) {
    std::unique_ptr<TQDXStream> stream = Table().OpenBlob(*this, false, 0, fieldNo);
    if (value) {
      const int32_t size = static_cast<int32_t>(value->size());
      if (stream->Write(value->data(), size) != size) {
        throw EQdxWorkloadFault("a BLOB value was written short");
      }
    } else {
      stream->SetSize(0);
    }
    Table().CloseBlob(*this, fieldNo, *stream);
  }
  // The whole stored value; its cache is freed again, as a walk over many records needs.
  std::optional<std::vector<uint8_t>> GetBlob(int32_t fieldNo) {
    if (IsNull(fieldNo, Buffer)) return std::nullopt;
    std::vector<uint8_t> value;
    {
      std::unique_ptr<TQDXStream> stream = Table().OpenBlob(*this, true, 1, fieldNo);
      value.resize(static_cast<size_t>(stream->Size()));
      const int32_t size = static_cast<int32_t>(value.size());
      if (size > 0 && stream->Read(value.data(), size) != size) {
        Table().ClearBlobData(*this, fieldNo, Buffer);
        return std::vector<uint8_t>{};  // a short value, which no model holds
      }
    }
    Table().ClearBlobData(*this, fieldNo, Buffer);
    return value;
  }
  // Positions on the record with `key` (physical scan); false when there is none.
  bool Seek(const std::string& key) {
    bool found = false;
    Walk(-1, [&] { return !(found = Key() == key); });
    return found;
  }
};

class TRecordsSession : public TEngineWorkloadSession {
 public:
  TRecordsSession(const TWorkload& workload, const std::string& path, bool multiUser,
                  int worker, uint64_t seed, int64_t stepsDone)
      : TEngineWorkloadSession(workload, path, multiUser, worker, seed, stepsDone),
        selfRollback_(workload.SelfRollback) {
    model_ = Replay(seed, worker, stepsDone, nextKey_);
  }
  // The table goes before the connection.
  ~TRecordsSession() override { cursor_.reset(); }

  void Step() override {
    int32_t nextKey = nextKey_;
    const TStepPlan plan = PlanStep(seed_, worker_, steps_ + 1, model_, nextKey);
    TCursor& cursor = Cursor();
    session_.InTransaction = plan.Transaction;
    try {
      // The locks that keep readers in other processes away from a change until its commit.
      const TTableLock writeLock(
          cursor.Table(), session_.SessionID(),
          plan.Transaction ? TQDXTableLockKind::TransactionEdit : TQDXTableLockKind::Commit,
          /*keep=*/plan.Transaction);
      for (const TOp& op : plan.Ops) Apply(cursor, op);
      if (plan.Transaction) {
        data_.CommitTransaction(session_.SessionID(), durable_);
      } else if (durable_) {
        data_.FlushToDisk();
      }
    } catch (...) {
      session_.InTransaction = false;
      if (!selfRollback_) {
        if (plan.Transaction) RollbackQuietly();
        throw;
      }
      try {
        // A refused change outside a transaction leaves its pages with the session as well.
        data_.RollbackTransaction(session_.SessionID());
      } catch (...) {
        // The first failure is the one to report.
      }
      // The table is opened again for the next step, from what the file holds.
      cursor_.reset();
      throw;
    }
    session_.InTransaction = false;
    ApplyToModel(plan, model_);
    nextKey_ = nextKey;
    ++steps_;
  }

  void Resume(int64_t stepsDone) override {
    model_ = Replay(seed_, worker_, stepsDone, nextKey_);
    steps_ = stepsDone;
  }

  TState Read(int worker) override {
    TCursor cursor(data_, session_, TableName(worker));
    // One read lock over the table and each index: a commit of another process lands before
    // or after the whole read, never between two of its walks.
    const TTableLock readLock(cursor.Table(), session_.SessionID(), TQDXTableLockKind::Read);
    auto physical = cursor.ReadAll("");
    TState state(physical.begin(), physical.end());
    if (state.size() != physical.size()) state["!duplicate keys"] = std::to_string(physical.size());
    std::sort(physical.begin(), physical.end());
    for (const char* index : {"ByKey", "ByAmount"}) {
      auto rows = cursor.ReadAll(index);
      std::sort(rows.begin(), rows.end());
      if (rows != physical) {
        state[std::string("!index ") + index] = std::to_string(rows.size()) + " entries";
      }
    }
    return state;
  }

 private:
  TCursor& Cursor() {
    if (!cursor_) cursor_ = std::make_unique<TCursor>(data_, session_, TableName(worker_));
    return *cursor_;
  }

  static void Apply(TCursor& cursor, const TOp& op) {
    TQDXTableData& table = cursor.Table();
    if (op.Kind == TOpKind::Insert) {
      InitRecordBuffer(cursor.Defs(), cursor.Buffer);
      cursor.Fill(op.Key, op.Record, true);
      if (!table.InsertRecord(cursor)) throw EQdxWorkloadRefused("insert of " + op.Key + " refused");
      return;
    }
    if (!cursor.Seek(op.Key)) throw EQdxWorkloadFault("record " + op.Key + " not found");
    if (op.Kind == TOpKind::Update) {
      cursor.Fill(op.Key, op.Record, op.StoreBlobs);
      if (!table.UpdateRecord(cursor)) throw EQdxWorkloadRefused("update of " + op.Key + " refused");
    } else if (!table.DeleteRecord(cursor)) {
      throw EQdxWorkloadRefused("delete of " + op.Key + " refused");
    }
  }

  void RollbackQuietly() {
    try {
      data_.RollbackTransaction(session_.SessionID());
    } catch (...) {
      // The first failure is the one to report.
    }
  }

  const bool selfRollback_;
  std::unique_ptr<TCursor> cursor_;
  TModel model_;
  int32_t nextKey_ = 0;
};

class TRecordsWorkload : public TWorkload {
 public:
  std::string Name() const override { return "records"; }

  void CreateDatabase(const std::string& path) const override {
    std::remove(path.c_str());
    {
      TQDXDiskDatabaseData creator(path);
      // Small pages: records spread over many pages and the B-trees grow several levels.
      creator.PageSize = 1024;
      creator.PagesPerExtent = 4;
      creator.MaxConnections = 8;
      creator.CreateDatabase();
    }
    TQDXDiskDatabaseData data(path);
    TQDXBaseSession session;
    data.AddSession(session);
    try {
      for (int w = 0; w < kTables; ++w) {
        TQDXTableCursor creator;
        creator.Session = &session;
        creator.TableName = TableName(w);
        data.GetTableData(creator)->CreateTable(creator, *Fields(), TQDXConstraintDefs(),
                                                *Indexes());
      }
    } catch (...) {
      data.RemoveSession(session);
      throw;
    }
    data.RemoveSession(session);
  }

  std::unique_ptr<TWorkloadSession> Connect(const std::string& path, bool multiUser, int worker,
                                            uint64_t seed, int64_t stepsDone) const override {
    if (worker >= kTables) throw EQdxWorkloadFault("the records workload has " + std::to_string(kTables) + " tables");
    return std::make_unique<TRecordsSession>(*this, path, multiUser, worker, seed, stepsDone);
  }

  TState Expected(uint64_t seed, int worker, int64_t steps) const override {
    int32_t nextKey = 0;
    TState state;
    for (const auto& [key, record] : Replay(seed, worker, steps, nextKey)) {
      state[key] = ValueText(record.Amount, Note(record.NoteSeed, record.NoteSize),
                             BlobText(ModelBlob(record.MemoSeed, record.MemoSize, true)),
                             BlobText(ModelBlob(record.DataSeed, record.DataSize, false)));
    }
    return state;
  }

  // The rebuild of a damaged file belongs to the database component, which is not there yet.
  bool Repair(const std::string&) const override { return false; }
};

}  // namespace

std::unique_ptr<TWorkload> MakeRecordsWorkload() { return std::make_unique<TRecordsWorkload>(); }

}  // namespace qdx::reliability
