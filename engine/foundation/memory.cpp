#include "engine/foundation/memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/system_memory.h"

namespace qdx {
namespace {

enum AllocationMethod : uint8_t { kRuntimeHeap = 0, kVirtualMemory = 1, kGlobalHeap = 2 };

// (largest total block size, method) pairs tried in order, then the default.
struct MethodRule {
  int64_t maxBlockSize;
  AllocationMethod method;
};
constexpr MethodRule kMethodTable[] = {{2147483647, kRuntimeHeap}};
constexpr AllocationMethod kDefaultMethod = kRuntimeHeap;

AllocationMethod ChooseMethod(int64_t blockSize) {
  for (const MethodRule& rule : kMethodTable)
    if (blockSize <= rule.maxBlockSize) return rule.method;
  return kDefaultMethod;
}

uint8_t* AllocateBlock(int64_t blockSize, AllocationMethod method) {
  void* block = nullptr;
  switch (method) {
    case kRuntimeHeap:
    case kGlobalHeap:
      block = std::malloc(static_cast<size_t>(blockSize));
      break;
    case kVirtualMemory:
      block = platform::AllocateVirtualMemory(blockSize);
      break;
    default:
      Raise(msg::kUnknownGetMemMethodType, {static_cast<int>(method)});
  }
  if (block == nullptr) throw std::bad_alloc();
  return static_cast<uint8_t*>(block);
}

void ReleaseBlock(uint8_t* block, int64_t blockSize, uint8_t method) {
  if (method == kVirtualMemory)
    platform::ReleaseVirtualMemory(block, blockSize);
  else
    std::free(block);
}

uint8_t* BlockStart(const void* user) {
  return static_cast<uint8_t*>(const_cast<void*>(user)) - TQDXMemoryManager::kHeaderSize;
}

bool HasBeginGuard(const void* user) {
  return le::Load<uint32_t>(static_cast<const uint8_t*>(user) - 4) ==
         TQDXMemoryManager::kBeginGuard;
}

}  // namespace

TQDXMemoryManager& QDXMemoryManager() {
  // Never destroyed, so that blocks released during static destruction still find it.
  static TQDXMemoryManager* manager = new TQDXMemoryManager();
  return *manager;
}

void* TQDXMemoryManager::GetMemUnwrapped(int64_t size) {
  const int64_t blockSize = size + kFrameSize;
  const AllocationMethod method = ChooseMethod(blockSize);
  uint8_t* block = AllocateBlock(blockSize, method);
  le::Store<int32_t>(block, static_cast<int32_t>(size));
  block[4] = method;
  le::Store<uint32_t>(block + 5, kBeginGuard);
  le::Store<uint32_t>(block + kHeaderSize + size, kEndGuard);
  allocated_.fetch_add(size, std::memory_order_relaxed);
  return block + kHeaderSize;
}

void* TQDXMemoryManager::GetMem(int64_t size) {
  if (size == 0) Raise(msg::kCannotAllocateZeroBytes);
  if (limit_ > 0 && Allocated() + size > limit_) Raise(msg::kMemoryLimitExceeded, {limit_});
  try {
    // A block records its user size in 32 bits.
    if (size < 0 || size > INT32_MAX - kFrameSize) throw std::bad_alloc();
    return GetMemUnwrapped(size);
  } catch (const std::exception& e) {
    Raise(msg::kGetMemError, {e.what()});
  }
}

void* TQDXMemoryManager::AllocMem(int64_t size) {
  void* p = GetMem(size);
  std::memset(p, 0, static_cast<size_t>(size));
  return p;
}

void TQDXMemoryManager::FreeAndNillMem(void*& p) {
  if (p == nullptr) return;
  if (!HasBeginGuard(p)) Raise(msg::kFreeMemInvalidPointer);
  uint8_t* block = BlockStart(p);
  const int64_t size = le::Load<int32_t>(block);
  const uint8_t method = block[4];
  const bool endGuardIntact = le::Load<uint32_t>(block + kHeaderSize + size) == kEndGuard;
  allocated_.fetch_sub(size, std::memory_order_relaxed);
  ReleaseBlock(block, size + kFrameSize, method);
  p = nullptr;
  if (!endGuardIntact) Raise(msg::kMemoryOverrunDetected);
}

void TQDXMemoryManager::ReallocMem(void*& p, int64_t size, bool zeroFill) {
  try {
    if (p == nullptr || !HasBeginGuard(p)) Raise(msg::kReallocMemInvalidPointer);
    const int64_t oldSize = le::Load<int32_t>(BlockStart(p));
    void* fresh = GetMem(size);
    std::memcpy(fresh, p, static_cast<size_t>(std::min(oldSize, size)));
    if (zeroFill && size > oldSize)
      std::memset(static_cast<uint8_t*>(fresh) + oldSize, 0, static_cast<size_t>(size - oldSize));
    try {
      FreeAndNillMem(p);
    } catch (...) {
      p = fresh;  // the old block is gone either way; the caller keeps the new one
      throw;
    }
    p = fresh;
  } catch (const std::exception& e) {
    Raise(msg::kReallocMemError, {e.what()});
  }
}

int64_t TQDXMemoryManager::GetBlockSize(const void* p) const {
  if (p == nullptr) return 0;
  if (!HasBeginGuard(p)) Raise(msg::kBlockSizeInvalidPointer);
  return le::Load<int32_t>(BlockStart(p));
}

int64_t TQDXMemoryManager::GetAvailableMemory() {
  available_ = platform::AvailablePhysicalMemory();
  if (limit_ > 0 && limit_ < available_) return limit_;
  return available_;
}

TQDXMemBlock::TQDXMemBlock(int64_t size, bool zeroed)
    : data_(zeroed ? QDXMemoryManager().AllocMem(size) : QDXMemoryManager().GetMem(size)),
      size_(size) {}

TQDXMemBlock::~TQDXMemBlock() {
  try {
    Release();
  } catch (const EQDXException&) {
    // An overrun found here cannot be raised from a destructor; the block is released.
  }
}

TQDXMemBlock& TQDXMemBlock::operator=(TQDXMemBlock&& other) noexcept {
  if (this != &other) {
    TQDXMemBlock old(std::move(*this));
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void TQDXMemBlock::Resize(int64_t size, bool zeroFill) {
  if (data_ == nullptr) {
    *this = TQDXMemBlock(size, zeroFill);
    return;
  }
  QDXMemoryManager().ReallocMem(data_, size, zeroFill);
  size_ = size;
}

void TQDXMemBlock::Release() {
  size_ = 0;
  QDXMemoryManager().FreeAndNillMem(data_);
}

}  // namespace qdx
