// The engine memory manager: every engine buffer comes from here.
//
// Each block is framed so that a wrong pointer or a write past the end is caught when the
// block is released:
//
//   offset  size  content
//   0       4     user size n (int32)
//   4       1     allocation method (0 runtime heap, 1 virtual memory, 2 global heap)
//   5       4     begin guard 0xACCACCAC
//   9       n     user area (the pointer handed out)
//   9 + n   4     end guard 0xACCEACCE
//
// The manager keeps the total of the user sizes of all live blocks and may enforce a limit on
// it. It is safe for concurrent use: only the total is shared, and it is an atomic counter (the
// lock-free form of a total kept under a lock).
// TQDXMemBlock owns one block and releases it on every path.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace qdx {

class TQDXMemoryManager {
 public:
  static constexpr uint32_t kBeginGuard = 0xACCACCACu;
  static constexpr uint32_t kEndGuard = 0xACCEACCEu;
  static constexpr int64_t kFrameSize = 13;
  static constexpr int64_t kHeaderSize = 9;

  TQDXMemoryManager() = default;
  TQDXMemoryManager(const TQDXMemoryManager&) = delete;
  TQDXMemoryManager& operator=(const TQDXMemoryManager&) = delete;

  // A new user area of `size` bytes, contents undefined. Fails with 30286 for 0, 30004 past the
  // limit, 30015 wrapping any failure of the allocation itself.
  void* GetMem(int64_t size);
  // GetMem, then the user area zero-filled.
  void* AllocMem(int64_t size);
  // Releases the block and sets `p` to null; null does nothing. Fails with 30001 for a pointer
  // without the begin guard (nothing changes) and 30137 after releasing an overrun block.
  void FreeAndNillMem(void*& p);
  // Replaces the block by one of `size` bytes holding the old contents up to the smaller size;
  // with `zeroFill` the part beyond the old size is zeroed. Any failure becomes 30014.
  void ReallocMem(void*& p, int64_t size, bool zeroFill = false);
  // The user size of a block; 0 for null; 30005 for a pointer without the begin guard.
  int64_t GetBlockSize(const void* p) const;
  // Free physical memory, or the limit when one is set and smaller.
  int64_t GetAvailableMemory();

  int64_t Allocated() const { return allocated_.load(std::memory_order_relaxed); }
  int64_t Limit() const { return limit_; }
  // 0 removes the limit.
  void SetLimit(int64_t limit) { limit_ = limit; }

  template <typename T>
  void FreeAndNil(T*& p) {
    void* raw = p;
    p = nullptr;
    FreeAndNillMem(raw);
  }

 private:
  void* GetMemUnwrapped(int64_t size);

  int64_t limit_ = 0;
  std::atomic<int64_t> allocated_ = 0;
  int64_t available_ = 0;
};

// The engine's single memory manager; lives from first use to the end of the process.
TQDXMemoryManager& QDXMemoryManager();

// Owns one block of the engine memory manager. Move-only; releases the block on destruction.
// An overrun found by the destructor cannot be raised there, so code that wants to learn of it
// calls Release() first.
class TQDXMemBlock {
 public:
  TQDXMemBlock() = default;
  explicit TQDXMemBlock(int64_t size, bool zeroed = false);
  ~TQDXMemBlock();
  TQDXMemBlock(TQDXMemBlock&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  TQDXMemBlock& operator=(TQDXMemBlock&& other) noexcept;
  TQDXMemBlock(const TQDXMemBlock&) = delete;
  TQDXMemBlock& operator=(const TQDXMemBlock&) = delete;

  uint8_t* data() const { return static_cast<uint8_t*>(data_); }
  int64_t size() const { return size_; }
  std::span<uint8_t> span() const { return {data(), static_cast<size_t>(size_)}; }
  explicit operator bool() const { return data_ != nullptr; }

  // Reallocates, keeping the contents up to the smaller size.
  void Resize(int64_t size, bool zeroFill = false);
  // Releases the block now; raises what FreeAndNillMem raises.
  void Release();
  // Gives up ownership: the caller now releases the block.
  void* Detach() {
    size_ = 0;
    return std::exchange(data_, nullptr);
  }

 private:
  void* data_ = nullptr;
  int64_t size_ = 0;
};

}  // namespace qdx
