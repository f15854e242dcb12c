// FaultFileSystem: a file system for tests that passes every call on to the real one, counts
// the calls of each kind and fails the ones a test chooses with the errno it chooses.
//
// A fault test runs its workload once to count the calls, then once for each N with the N-th
// call of a kind failing:
//
//   FaultFileSystem faults;
//   platform::FileSystemScope scope(faults);
//   Workload();
//   const int64_t writes = faults.Count(FileCall::Write);
//   for (int64_t n = 1; n <= writes; ++n) {
//     faults.Reset();
//     faults.Fail(FileCall::Write, n, EIO, FaultFileSystem::kForever);
//     ...
//   }
//
// Calls are numbered from 1 since construction or the last Reset. Descriptors are the real
// ones, so files opened here stay usable after the scope ends.
#pragma once

#include <cerrno>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/foundation/platform/file_system.h"

namespace qdx::testing {

// The kinds of call a fault can hit. Read and Write count transfers at the position and at an
// offset alike; Stat counts the size query of a descriptor and the stat of a path.
enum class FileCall { Open, Read, Write, Truncate, Flush, Lock, Unlock, Stat };
inline constexpr int kFileCallKinds = 8;

inline const char* FileCallName(FileCall call) {
  static constexpr const char* kNames[kFileCallKinds] = {"open",  "read", "write",  "truncate",
                                                         "flush", "lock", "unlock", "stat"};
  return kNames[static_cast<int>(call)];
}

class FaultFileSystem : public platform::FileSystem {
 public:
  static constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

  explicit FaultFileSystem(platform::FileSystem& inner = platform::DefaultFileSystem())
      : inner_(inner) {}

  // The `nth` call of `call` and the `times` - 1 calls of that kind after it fail with `error`.
  // One fault per kind; a later one replaces it.
  void Fail(FileCall call, int64_t nth, int error, int64_t times = 1) {
    std::lock_guard lock(mutex_);
    faults_[Index(call)] = {nth, times, error, false};
  }
  // The `nth` write moves only the first half of its bytes, and the `failuresAfter` writes after
  // it (the caller's attempt at the rest, and retries) fail with `error`: a torn write on a disk
  // that filled up.
  void ShortWrite(int64_t nth, int error = ENOSPC, int64_t failuresAfter = 1) {
    std::lock_guard lock(mutex_);
    const int64_t times = failuresAfter == kForever ? kForever : failuresAfter + 1;
    faults_[Index(FileCall::Write)] = {nth, times, error, true};
  }
  // From now on every call on `fd` fails with EBADF, as on a handle a network drop took away;
  // closing it really closes it.
  void Lose(int fd) {
    std::lock_guard lock(mutex_);
    lost_.insert(fd);
  }

  // From now on reads of bytes `offset` .. `offset` + `count` - 1 of the file at `path` (opened
  // from now on) fail with `error`, as on a disk with a bad sector; other files read as ever.
  void FailReadsOf(const std::string& path, int64_t offset, int64_t count, int error = EIO) {
    std::lock_guard lock(mutex_);
    badSector_ = {path, offset, count, error};
  }

  // Runs `observer` before each counted call is passed on or failed (outside the wrapper's
  // lock: it may look at the file, but not through this file system).
  void Observe(std::function<void(FileCall)> observer) { observer_ = std::move(observer); }

  // The calls of `call` since construction or the last Reset.
  int64_t Count(FileCall call) const {
    std::lock_guard lock(mutex_);
    return counts_[Index(call)];
  }
  // The calls failed or cut on purpose since construction or the last Reset.
  int64_t Failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
  }
  // Forgets the counts and the faults (lost descriptors stay lost).
  void Reset() {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < kFileCallKinds; ++i) {
      counts_[i] = 0;
      faults_[i] = {};
    }
    failures_ = 0;
  }

  int Open(const std::string& path, platform::OpenMode mode) override {
    if (Fails(FileCall::Open)) return -1;
    const int fd = inner_.Open(path, mode);
    std::lock_guard lock(mutex_);
    if (fd >= 0 && !badSector_.path.empty() && path == badSector_.path) badSectorFds_.insert(fd);
    return fd;
  }
  int CreateUnique(std::string& pattern) override {
    if (Fails(FileCall::Open)) return -1;
    return inner_.CreateUnique(pattern);
  }
  int Close(int fd) override {
    {
      std::lock_guard lock(mutex_);
      lost_.erase(fd);
      badSectorFds_.erase(fd);
    }
    return inner_.Close(fd);
  }
  int64_t Read(int fd, void* buffer, int64_t count) override {
    if (Fails(FileCall::Read, fd)) return -1;
    if (HitsBadSector(fd, inner_.Seek(fd, 0, SEEK_CUR), count)) return -1;
    return inner_.Read(fd, buffer, count);
  }
  int64_t Write(int fd, const void* buffer, int64_t count) override {
    int64_t moved = count;
    if (Fails(FileCall::Write, fd, &moved)) return -1;
    return inner_.Write(fd, buffer, moved);
  }
  int64_t ReadAt(int fd, int64_t offset, void* buffer, int64_t count) override {
    if (Fails(FileCall::Read, fd)) return -1;
    if (HitsBadSector(fd, offset, count)) return -1;
    return inner_.ReadAt(fd, offset, buffer, count);
  }
  int64_t WriteAt(int fd, int64_t offset, const void* buffer, int64_t count) override {
    int64_t moved = count;
    if (Fails(FileCall::Write, fd, &moved)) return -1;
    return inner_.WriteAt(fd, offset, buffer, moved);
  }
  int64_t Seek(int fd, int64_t offset, int whence) override {
    if (IsLost(fd)) return -1;
    return inner_.Seek(fd, offset, whence);
  }
  bool Stat(int fd, platform::FileStatus& status) override {
    if (Fails(FileCall::Stat, fd)) return false;
    return inner_.Stat(fd, status);
  }
  bool StatPath(const std::string& path, platform::FileStatus& status) override {
    if (Fails(FileCall::Stat)) return false;
    return inner_.StatPath(path, status);
  }
  bool Truncate(int fd, int64_t size) override {
    if (Fails(FileCall::Truncate, fd)) return false;
    return inner_.Truncate(fd, size);
  }
  bool Flush(int fd) override {
    if (Fails(FileCall::Flush, fd)) return false;
    return inner_.Flush(fd);
  }
  bool SetLock(int fd, platform::LockKind kind, int64_t offset, int64_t count) override {
    const FileCall call = kind == platform::LockKind::Unlock ? FileCall::Unlock : FileCall::Lock;
    if (Fails(call, fd)) return false;
    return inner_.SetLock(fd, kind, offset, count);
  }
  bool OthersHoldLock(int fd, int64_t offset, int64_t count) override {
    if (IsLost(fd)) return false;
    return inner_.OthersHoldLock(fd, offset, count);
  }
  bool Exists(const std::string& path) override { return inner_.Exists(path); }
  bool IsWritable(const std::string& path) override { return inner_.IsWritable(path); }
  bool Delete(const std::string& path) override { return inner_.Delete(path); }
  bool Rename(const std::string& from, const std::string& to) override {
    return inner_.Rename(from, to);
  }
  int64_t FreeSpace(const std::string& path) override { return inner_.FreeSpace(path); }

 private:
  struct Fault {
    int64_t nth = 0;  // 0: none
    int64_t times = 0;
    int error = 0;
    bool shortWrite = false;
  };

  struct BadSector {
    std::string path;
    int64_t offset = 0;
    int64_t count = 0;
    int error = 0;
  };

  static int Index(FileCall call) { return static_cast<int>(call); }

  bool HitsBadSector(int fd, int64_t offset, int64_t count) {
    std::lock_guard lock(mutex_);
    if (badSectorFds_.count(fd) == 0 || offset < 0) return false;
    if (offset + count <= badSector_.offset || offset >= badSector_.offset + badSector_.count) {
      return false;
    }
    ++failures_;
    errno = badSector_.error;
    return true;
  }

  bool IsLost(int fd) {
    std::lock_guard lock(mutex_);
    if (lost_.count(fd) == 0) return false;
    errno = EBADF;
    return true;
  }

  // Counts a call of `call` and answers whether it fails (errno set). A short write instead
  // cuts `*count` in half, failing only when nothing would move.
  bool Fails(FileCall call, int fd = -1, int64_t* count = nullptr) {
    if (observer_) observer_(call);
    std::lock_guard lock(mutex_);
    const int64_t number = ++counts_[Index(call)];
    if (fd >= 0 && lost_.count(fd) != 0) {
      errno = EBADF;
      return true;
    }
    const Fault& fault = faults_[Index(call)];
    if (fault.nth == 0 || number < fault.nth || number - fault.nth >= fault.times) return false;
    if (fault.shortWrite && number == fault.nth && count != nullptr && *count / 2 > 0) {
      *count /= 2;
      ++failures_;
      return false;
    }
    ++failures_;
    errno = fault.error;
    return true;
  }

  platform::FileSystem& inner_;
  mutable std::mutex mutex_;
  int64_t counts_[kFileCallKinds] = {};
  Fault faults_[kFileCallKinds] = {};
  std::set<int> lost_;
  BadSector badSector_;
  std::set<int> badSectorFds_;
  int64_t failures_ = 0;
  std::function<void(FileCall)> observer_;
};

}  // namespace qdx::testing

namespace qdx::testing {

// PowerCutFileSystem: a file system for tests that remembers what a power cut could take back.
// Every write since a file's last flush is kept in the page cache only: when the test cuts the
// power, every call from then on fails with EIO (the program is gone), and Settle then decides,
// sector by sector and at random, which of those writes reached the disk. A write that spans
// sectors can land in part (torn); sectors written before the last flush always stay. Size
// changes count as done at once. The model of the disk is the one of crash tests that rewrite
// unsynced sectors at random after the fact.
//
//   PowerCutFileSystem power(seed);
//   {
//     platform::FileSystemScope scope(power);
//     power.CutAfterWrites(n);   // the n-th write and everything after it fail
//     RunWorkload();
//   }
//   power.Settle();              // the disk as the next boot finds it
class PowerCutFileSystem : public FaultFileSystem {
 public:
  static constexpr int64_t kSectorSize = 512;

  explicit PowerCutFileSystem(uint64_t seed,
                              platform::FileSystem& inner = platform::DefaultFileSystem())
      : FaultFileSystem(inner), inner_(inner), random_(seed) {}

  // The `nth` write from now on and every call after it fail: the power is gone.
  void CutAfterWrites(int64_t nth) {
    std::lock_guard lock(powerMutex_);
    cutAt_ = writes_ + nth;
  }
  bool PowerCut() const {
    std::lock_guard lock(powerMutex_);
    return cut_;
  }
  int64_t Writes() const {
    std::lock_guard lock(powerMutex_);
    return writes_;
  }
  // Writes back, at random, the flushed content of sectors written since their file's last
  // flush; answers the sectors taken back. Call it after the cut, outside the scope.
  int64_t Settle() {
    std::lock_guard lock(powerMutex_);
    int64_t reverted = 0;
    for (auto& [path, file] : files_) {
      const int fd = inner_.Open(path, platform::OpenMode::ReadWrite);
      if (fd < 0) continue;
      platform::FileStatus status;
      const int64_t size = inner_.Stat(fd, status) ? status.Size : 0;
      for (const auto& [sector, old] : file.flushed) {
        if (random_() % 2 == 0) continue;
        const int64_t offset = sector * kSectorSize;
        if (offset >= size) continue;
        const int64_t count = std::min<int64_t>(kSectorSize, size - offset);
        if (inner_.WriteAt(fd, offset, old.data(), count) == count) ++reverted;
      }
      inner_.Close(fd);
    }
    files_.clear();
    cut_ = false;
    cutAt_ = 0;
    return reverted;
  }

  int Open(const std::string& path, platform::OpenMode mode) override {
    if (Dead()) return -1;
    const int fd = FaultFileSystem::Open(path, mode);
    if (fd >= 0) {
      std::lock_guard lock(powerMutex_);
      paths_[fd] = path;
      if (mode == platform::OpenMode::CreateReadWrite) files_[path].flushed.clear();
    }
    return fd;
  }
  int Close(int fd) override {
    {
      std::lock_guard lock(powerMutex_);
      paths_.erase(fd);
    }
    return FaultFileSystem::Close(fd);
  }
  int64_t Write(int fd, const void* buffer, int64_t count) override {
    const int64_t position = inner_.Seek(fd, 0, 1);
    if (!BeforeWrite(fd, position, count)) return -1;
    return FaultFileSystem::Write(fd, buffer, count);
  }
  int64_t WriteAt(int fd, int64_t offset, const void* buffer, int64_t count) override {
    if (!BeforeWrite(fd, offset, count)) return -1;
    return FaultFileSystem::WriteAt(fd, offset, buffer, count);
  }
  int64_t Read(int fd, void* buffer, int64_t count) override {
    if (Dead()) return -1;
    return FaultFileSystem::Read(fd, buffer, count);
  }
  int64_t ReadAt(int fd, int64_t offset, void* buffer, int64_t count) override {
    if (Dead()) return -1;
    return FaultFileSystem::ReadAt(fd, offset, buffer, count);
  }
  bool Truncate(int fd, int64_t size) override {
    if (Dead()) return false;
    if (!FaultFileSystem::Truncate(fd, size)) return false;
    std::lock_guard lock(powerMutex_);
    if (auto it = paths_.find(fd); it != paths_.end()) {
      auto& flushed = files_[it->second].flushed;
      flushed.erase(flushed.lower_bound((size + kSectorSize - 1) / kSectorSize), flushed.end());
    }
    return true;
  }
  bool Flush(int fd) override {
    if (Dead()) return false;
    if (!FaultFileSystem::Flush(fd)) return false;
    std::lock_guard lock(powerMutex_);
    if (auto it = paths_.find(fd); it != paths_.end()) files_[it->second].flushed.clear();
    return true;
  }
  bool SetLock(int fd, platform::LockKind kind, int64_t offset, int64_t count) override {
    // Locks still work after the cut, so that the dead program's handles close cleanly.
    return FaultFileSystem::SetLock(fd, kind, offset, count);
  }

 private:
  struct TrackedFile {
    // The content each sector written since the last flush had at that flush.
    std::map<int64_t, std::vector<uint8_t>> flushed;
  };

  bool Dead() {
    std::lock_guard lock(powerMutex_);
    if (cut_) errno = EIO;
    return cut_;
  }

  // Counts the write, cuts the power at the chosen one, and keeps the flushed content of the
  // sectors it is about to change.
  bool BeforeWrite(int fd, int64_t offset, int64_t count) {
    std::lock_guard lock(powerMutex_);
    if (cut_) {
      errno = EIO;
      return false;
    }
    ++writes_;
    if (cutAt_ > 0 && writes_ >= cutAt_) {
      cut_ = true;
      errno = EIO;
      return false;
    }
    auto it = paths_.find(fd);
    if (it == paths_.end() || offset < 0 || count <= 0) return true;
    auto& flushed = files_[it->second].flushed;
    for (int64_t sector = offset / kSectorSize; sector <= (offset + count - 1) / kSectorSize;
         ++sector) {
      if (flushed.contains(sector)) continue;
      std::vector<uint8_t> old(kSectorSize, 0);
      const int64_t got = inner_.ReadAt(fd, sector * kSectorSize, old.data(), kSectorSize);
      if (got < 0) return true;
      flushed.emplace(sector, std::move(old));
    }
    return true;
  }

  platform::FileSystem& inner_;
  std::mt19937_64 random_;
  mutable std::mutex powerMutex_;
  std::map<int, std::string> paths_;
  std::map<std::string, TrackedFile> files_;
  int64_t writes_ = 0;
  int64_t cutAt_ = 0;
  bool cut_ = false;
};

}  // namespace qdx::testing
