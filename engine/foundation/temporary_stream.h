// TQDXTemporaryStream: a stream that starts in memory and moves to a temporary file once it
// would grow past 1 048 576 bytes (never, when it is memory-only). The move happens once and
// keeps contents and position; the file has no name, so the system deletes it on close.
#pragma once

#include <memory>

#include "engine/foundation/file_stream.h"
#include "engine/foundation/memory_stream.h"

namespace qdx {

class TQDXTemporaryStream : public TQDXStream {
 public:
  explicit TQDXTemporaryStream(bool memoryOnly = false);

  void SetSize(int32_t newSize) override { Current().SetSize(newSize); }
  int32_t Read(void* buffer, int32_t count) override { return Current().Read(buffer, count); }
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, uint16_t origin) override { return Current().Seek(offset, origin); }
  int32_t Size() override { return Current().Size(); }

  bool InMemory() const { return memory_ != nullptr; }
  // The contents while in memory (Size() bytes), null otherwise; valid until the next change.
  const uint8_t* MemoryData() const { return memory_ ? memory_->Memory() : nullptr; }
  bool MemoryOnly() const { return memoryOnly_; }
  // The name the temporary file had when it was made; empty while in memory.
  const std::string& TempFileName() const { return tempFileName_; }

 private:
  TQDXStream& Current() { return memory_ ? static_cast<TQDXStream&>(*memory_) : *file_; }
  void SpillToFile();

  bool memoryOnly_;
  std::unique_ptr<TQDXMemoryStream> memory_;
  std::unique_ptr<TQDXFileStream> file_;
  std::string tempFileName_;
};

}  // namespace qdx
