// The workloads that the crash loop, the fault sweep and the out-of-memory sweep drive.
//
// A workload is a deterministic sequence of steps per worker: step n of worker w under seed s is
// always the same change, whatever happened to the database, because it is computed from the
// model state after n - 1 steps (never from what the file holds). Each step ends with a durable
// commit; a step that returned is acknowledged.
//
// What a worker's part of the database must hold is a TState: its keys (table names, record
// keys) mapped to a text that stands for their whole content. After a crash the database must
// hold Expected(acknowledged) or Expected(acknowledged + 1) for every worker (the step in flight
// either landed whole or not at all), and nothing else of that worker.
//
// The layers below the workloads grow: the first works on the internal files of the disk engine,
// the second on table records; one through the engine session and cursor plugs in beside them
// (MakeWorkload).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qdx::reliability {

using TState = std::map<std::string, std::string>;

// A fault of the workload itself (a record it wrote is not found), not of the engine.
class EQdxWorkloadFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One process's connection to the database, used by one worker.
class TWorkloadSession {
 public:
  virtual ~TWorkloadSession() = default;
  // The open found the file left in the middle of a commit.
  virtual bool RepairNeeded() const = 0;
  // Runs the worker's next step and commits it durably; raises what the engine raises.
  virtual void Step() = 0;
  // Steps done by this worker, counting those before the connection.
  virtual int64_t StepsDone() const = 0;
  // What the database holds of `worker`'s keys.
  virtual TState Read(int worker) = 0;
  // The step that failed landed whole after all: the worker goes on after step `stepsDone`.
  virtual void Resume(int64_t stepsDone) {
    (void)stepsDone;
    throw EQdxWorkloadFault("this workload cannot go on after a failed step");
  }
};

class TWorkload {
 public:
  virtual ~TWorkload() = default;
  // The lock waits of the connections made (fault tests shorten them).
  int32_t LockRetryCount = 500;
  uint32_t LockRetryPause = 2;
  // Each step's commit is flushed to the disk, as the program's commits are. The in-process
  // sweeps turn it off where they do not fail the flush: the file stays in the page cache.
  bool Durable = true;
  // After a failed step the session rolls back whatever the step left and opens its table
  // again. Off, it does what the program does: a failed transaction is rolled back (the
  // program's transaction object does that), a failed change outside a transaction is left as
  // the engine left it, and the next step follows on the same table.
  bool SelfRollback = true;

  virtual std::string Name() const = 0;
  // A new database at `path` that the steps start from (replacing a file there).
  virtual void CreateDatabase(const std::string& path) const = 0;
  // Connects worker `worker` whose first `stepsDone` steps under `seed` are in the file.
  virtual std::unique_ptr<TWorkloadSession> Connect(const std::string& path, bool multiUser,
                                                    int worker, uint64_t seed,
                                                    int64_t stepsDone) const = 0;
  // The worker's part of the database after `steps` steps.
  virtual TState Expected(uint64_t seed, int worker, int64_t steps) const = 0;
  // Repairs a file left in the middle of a commit as the program would; false while this
  // workload's layer has no repair.
  virtual bool Repair(const std::string& path) const = 0;
};

// The engine answered a record change with false: the table data reports failures of the
// record manager that way, without their cause (the session turns it into an error).
class EQdxWorkloadRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The workloads by name ("files": internal files of the disk engine; "records": records of disk
// tables); null for an unknown name.
std::unique_ptr<TWorkload> MakeWorkload(const std::string& name);
std::vector<std::string> WorkloadNames();
std::unique_ptr<TWorkload> MakeRecordsWorkload();

// A 64-bit mix of its arguments (splitmix64), the seed of every step and payload.
uint64_t Mix(uint64_t a, uint64_t b);

}  // namespace qdx::reliability
