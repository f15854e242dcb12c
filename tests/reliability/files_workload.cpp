// The "files" workload: the disk engine's internal files, as the table engine keeps them.
//
// Each key of a worker is an entry of the table list with the three files a table owns: a
// metadata file holding the entry's payload (plain or compressed, up to a few pages), a header
// file holding a stamp of the payload, and a lock slot file. A step adds, rewrites, renames or
// deletes one to three entries and commits them as one transaction of the system session, so a
// step is also a test that several files change together or not at all. In multi-user mode the
// tables lock is held from reading the list to the end of the commit.
//
// The pages come from the free-space maps, chains grow and shrink, pages are freed and reused:
// the page manager, the free-space manager and both kinds of internal file are all exercised.
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/page_format.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/internal_direct_file.h"
#include "engine/disk/internal_transacted_file.h"
#include "engine/disk/table_list_file.h"
#include "engine/foundation/compression/compression.h"
#include "engine/foundation/except.h"
#include "engine/foundation/platform/critical_section.h"
#include "tests/reliability/engine_session.h"
#include "tests/reliability/workload.h"

namespace qdx::reliability {

namespace {

constexpr int32_t kLockFileSize = 48;
constexpr int32_t kMaxPayload = 2500;
constexpr int32_t kZlibLevel = 6;

struct TEntry {
  int32_t TableID = 0;
  uint64_t PayloadSeed = 0;
  int32_t PayloadSize = 0;
  uint8_t Compression = kCompressionNone;
};

using TModel = std::map<std::string, TEntry>;

enum class TOpKind { Add, Rewrite, Rename, Delete };

struct TOp {
  TOpKind Kind;
  std::string Name;
  std::string NewName;  // Rename
  TEntry Entry;         // Add, Rewrite
};

// A random source for one step.
class TSteps {
 public:
  explicit TSteps(uint64_t seed) : state_(seed) {}
  uint64_t Next() { return state_ = Mix(state_, 0x9E3779B97F4A7C15ull); }
  int32_t Below(int32_t n) { return static_cast<int32_t>(Next() % static_cast<uint64_t>(n)); }

 private:
  uint64_t state_;
};

// Half the payloads repeat a short text (they compress well), half are noise.
std::vector<uint8_t> Payload(uint64_t seed, int32_t size) {
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  uint64_t state = seed;
  const bool text = (seed & 1) == 0;
  for (int32_t i = 0; i < size; ++i) {
    if (text) {
      bytes[i] = static_cast<uint8_t>("fuel 42.17 EUR; service; tyres; "[(i + seed % 7) % 32]);
    } else {
      if (i % 8 == 0) state = Mix(state, static_cast<uint64_t>(i));
      bytes[i] = static_cast<uint8_t>(state >> (8 * (i % 8)));
    }
  }
  return bytes;
}

// What the header file of an entry holds: the payload's seed, little-endian.
std::vector<uint8_t> HeadBytes(uint64_t payloadSeed) {
  std::vector<uint8_t> bytes(8);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(payloadSeed >> (8 * i));
  return bytes;
}

uint64_t Digest(const uint8_t* data, int64_t size) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (int64_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001B3ull;
  return hash;
}

std::string ValueText(int32_t tableID, uint64_t metaDigest, int64_t metaSize, uint64_t headDigest,
                      int32_t lockSize) {
  char text[160];
  std::snprintf(text, sizeof text, "id %d, metadata %lld bytes %016llx, header %016llx, locks %d",
                tableID, static_cast<long long>(metaSize),
                static_cast<unsigned long long>(metaDigest),
                static_cast<unsigned long long>(headDigest), lockSize);
  return text;
}

// GCC 12 at -O3 warns falsely (-Wrestrict) about the memcpy of "W" + std::string inlined
// from the standard library; the concatenation is sound.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
std::string Prefix(int worker) { return "W" + std::to_string(worker) + "_"; }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// The step's changes, computed from the model before it.
std::vector<TOp> PlanStep(uint64_t seed, int worker, int64_t step, const TModel& model,
                          int32_t& nextID) {
  TSteps random(Mix(seed, Mix(static_cast<uint64_t>(worker), static_cast<uint64_t>(step))));
  // Each op of a step works on an entry the step has not touched yet: the table engine never
  // opens a table's lock slot file before the commit that created it.
  TModel untouched = model;
  std::vector<TOp> ops;
  const int count = 1 + random.Below(3);
  for (int i = 0; i < count; ++i) {
    const int roll = random.Below(100);
    TOp op;
    if (untouched.empty() || roll < 35) {
      op.Kind = TOpKind::Add;
      op.Name = Prefix(worker) + std::to_string(nextID);
      op.Entry.TableID = worker * 1000000 + nextID;
      ++nextID;
    } else {
      auto it = untouched.begin();
      std::advance(it, random.Below(static_cast<int32_t>(untouched.size())));
      op.Name = it->first;
      op.Entry = it->second;
      untouched.erase(it);
      op.Kind = roll < 70 ? TOpKind::Rewrite : roll < 85 ? TOpKind::Rename : TOpKind::Delete;
      if (op.Kind == TOpKind::Rename) op.NewName = Prefix(worker) + std::to_string(nextID++) + "r";
    }
    if (op.Kind == TOpKind::Add || op.Kind == TOpKind::Rewrite) {
      op.Entry.PayloadSeed = random.Next();
      op.Entry.PayloadSize = random.Below(kMaxPayload + 1);
      op.Entry.Compression = random.Below(4) == 0 ? kCompressionZlib : kCompressionNone;
    }
    ops.push_back(std::move(op));
  }
  return ops;
}

void ApplyToModel(const std::vector<TOp>& ops, TModel& model) {
  for (const TOp& op : ops) {
    switch (op.Kind) {
      case TOpKind::Add:
      case TOpKind::Rewrite:
        model[op.Name] = op.Entry;
        break;
      case TOpKind::Rename:
        model[op.NewName] = model[op.Name];
        model.erase(op.Name);
        break;
      case TOpKind::Delete:
        model.erase(op.Name);
        break;
    }
  }
}

TModel Replay(uint64_t seed, int worker, int64_t steps, int32_t& nextID) {
  TModel model;
  nextID = 0;
  for (int64_t n = 1; n <= steps; ++n) ApplyToModel(PlanStep(seed, worker, n, model, nextID), model);
  return model;
}

class TFilesSession : public TEngineWorkloadSession {
 public:
  TFilesSession(const TWorkload& workload, const std::string& path, bool multiUser, int worker,
                uint64_t seed, int64_t stepsDone)
      : TEngineWorkloadSession(workload, path, multiUser, worker, seed, stepsDone) {
    model_ = Replay(seed, worker, stepsDone, nextID_);
  }

  void Step() override {
    int32_t nextID = nextID_;
    const std::vector<TOp> ops = PlanStep(seed_, worker_, steps_ + 1, model_, nextID);
    if (multiUser_) data_.LockTables();
    try {
      {
        const platform::CriticalSectionGuard held(data_.Lock());
        TQDXTableListFile& list = *data_.TableList();
        list.Load();
        for (const TOp& op : ops) Apply(op, list);
        list.Save();
      }
      data_.CommitTransaction(kSystemSessionID, durable_);
    } catch (...) {
      try {
        data_.RollbackTransaction(kSystemSessionID);
        if (multiUser_) data_.UnlockTables();
      } catch (...) {
        // The first failure is the one to report.
      }
      throw;
    }
    if (multiUser_) data_.UnlockTables();
    ApplyToModel(ops, model_);
    nextID_ = nextID;
    ++steps_;
  }

  TState Read(int worker) override {
    const platform::CriticalSectionGuard held(data_.Lock());
    TQDXDiskPageManager& pm = *data_.PageManager();
    TQDXTableListFile& list = *data_.TableList();
    list.Load();
    TState state;
    for (const TQDXTableListEntry& entry : list.Entries()) {
      if (entry.TableName.rfind(Prefix(worker), 0) != 0) continue;
      TQDXInternalDBTransactedAccessFile meta(pm, ptTableMetaData);
      meta.Open(entry.MetadataStartPage);
      int32_t metaSize = 0;
      const TQDXMemBlock metaBytes = meta.ReadAll(kSystemSessionID, true, metaSize);
      TQDXInternalDBTransactedAccessFile head(pm, ptTableMostUpdated);
      head.Open(entry.MostUpdatedStartPage);
      int32_t headSize = 0;
      const TQDXMemBlock headBytes = head.ReadAll(kSystemSessionID, true, headSize);
      TQDXInternalDBDirectAccessFile locks(pm, ptTableLocks);
      locks.Open(entry.LocksStartPage);
      const int32_t lockSize = locks.GetSize();
      locks.Close();
      state[entry.TableName] = ValueText(entry.TableID, Digest(metaBytes.data(), metaSize),
                                         metaSize, Digest(headBytes.data(), headSize), lockSize);
    }
    return state;
  }

 private:
  void Apply(const TOp& op, TQDXTableListFile& list) {
    TQDXDiskPageManager& pm = *data_.PageManager();
    TQDXInternalDBTransactedAccessFile meta(pm, ptTableMetaData);
    TQDXInternalDBTransactedAccessFile head(pm, ptTableMostUpdated);
    switch (op.Kind) {
      case TOpKind::Add: {
        meta.Create(kSystemSessionID);
        head.Create(kSystemSessionID);
        TQDXInternalDBDirectAccessFile locks(pm, ptTableLocks);
        locks.Create(kLockFileSize);
        Write(op.Entry, meta, head);
        list.AddTable(op.Entry.TableID, op.Name, locks.StartPageNo(), head.StartPageNo(),
                      meta.StartPageNo());
        break;
      }
      case TOpKind::Rewrite: {
        const TQDXTableListFile::TableInfo info = list.FindTable(op.Name);
        meta.Open(info.MetadataStartPage);
        head.Open(info.MostUpdatedStartPage);
        Write(op.Entry, meta, head);
        break;
      }
      case TOpKind::Rename:
        list.RenameTable(op.Name, op.NewName);
        break;
      case TOpKind::Delete: {
        const TQDXTableListFile::TableInfo info = list.FindTable(op.Name);
        meta.Delete(kSystemSessionID, info.MetadataStartPage);
        head.Delete(kSystemSessionID, info.MostUpdatedStartPage);
        TQDXInternalDBDirectAccessFile(pm, ptTableLocks).Delete(info.LocksStartPage);
        list.DeleteTable(op.Name);
        break;
      }
    }
  }

  static void Write(const TEntry& entry, TQDXInternalDBTransactedAccessFile& meta,
                    TQDXInternalDBTransactedAccessFile& head) {
    const std::vector<uint8_t> payload = Payload(entry.PayloadSeed, entry.PayloadSize);
    meta.WriteFile(kSystemSessionID, payload.data(), kZlibLevel, entry.Compression,
                   entry.PayloadSize);
    const std::vector<uint8_t> stamp = HeadBytes(entry.PayloadSeed);
    head.WriteFile(kSystemSessionID, stamp.data(), 0, kCompressionNone,
                   static_cast<int32_t>(stamp.size()));
  }

  TModel model_;
  int32_t nextID_ = 0;
};

class TFilesWorkload : public TWorkload {
 public:
  std::string Name() const override { return "files"; }

  void CreateDatabase(const std::string& path) const override {
    std::remove(path.c_str());
    TQDXDiskDatabaseData data(path);
    // Small pages: payloads span several pages and the file grows and shrinks often.
    data.PageSize = 256;
    data.PagesPerExtent = 4;
    data.MaxConnections = 8;
    data.CreateDatabase();
  }

  std::unique_ptr<TWorkloadSession> Connect(const std::string& path, bool multiUser, int worker,
                                            uint64_t seed, int64_t stepsDone) const override {
    return std::make_unique<TFilesSession>(*this, path, multiUser, worker, seed, stepsDone);
  }

  TState Expected(uint64_t seed, int worker, int64_t steps) const override {
    int32_t nextID = 0;
    TState state;
    for (const auto& [name, entry] : Replay(seed, worker, steps, nextID)) {
      const std::vector<uint8_t> payload = Payload(entry.PayloadSeed, entry.PayloadSize);
      const std::vector<uint8_t> head = HeadBytes(entry.PayloadSeed);
      state[name] = ValueText(entry.TableID, Digest(payload.data(), entry.PayloadSize),
                              entry.PayloadSize, Digest(head.data(), 8), kLockFileSize);
    }
    return state;
  }

  // The internal files have no repair of their own: the database's rebuild works table by table.
  bool Repair(const std::string&) const override { return false; }
};

}  // namespace

uint64_t Mix(uint64_t a, uint64_t b) {
  uint64_t z = a + 0x9E3779B97F4A7C15ull * (b + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::unique_ptr<TWorkload> MakeWorkload(const std::string& name) {
  if (name == "files") return std::make_unique<TFilesWorkload>();
  if (name == "records") return MakeRecordsWorkload();
  return nullptr;
}

std::vector<std::string> WorkloadNames() { return {"files", "records"}; }

}  // namespace qdx::reliability
