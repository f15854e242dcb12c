// What the engine-level workloads share: a connection of their own to the database file, as one
// process has (its own database data object and one session), with the lock waits the workload
// asks for; and the look at the header that tells a file left in the middle of a commit.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/base_session.h"
#include "engine/disk/disk_database_data.h"
#include "tests/reliability/workload.h"

namespace qdx::reliability {

// Whether the header carries the commit marker, read as `qdx info` reads it.
bool LeftInCommit(const std::string& path);

// A worker's connection: opens the file (or joins it in multi-user mode) on construction and
// leaves it on destruction. The worker's steps live in the derived class.
class TEngineWorkloadSession : public TWorkloadSession {
 public:
  bool RepairNeeded() const override { return session_.RepairNeeded; }
  int64_t StepsDone() const override { return steps_; }

 protected:
  TEngineWorkloadSession(const TWorkload& workload, const std::string& path, bool multiUser,
                         int worker, uint64_t seed, int64_t stepsDone);
  // A failing close still closes; the fault tests look at the file afterwards.
  ~TEngineWorkloadSession() override;

  TQDXDiskDatabaseData data_;
  TQDXBaseSession session_;
  const int worker_;
  const uint64_t seed_;
  int64_t steps_;
  const bool multiUser_;
  const bool durable_;
};

}  // namespace qdx::reliability
