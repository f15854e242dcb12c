#include "engine/foundation/temporary_stream.h"

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXTemporaryStream::TQDXTemporaryStream(bool memoryOnly)
    : memoryOnly_(memoryOnly), memory_(std::make_unique<TQDXMemoryStream>()) {
  SetBlockSize(kTemporaryStreamBlockSize);
}

int32_t TQDXTemporaryStream::Write(const void* buffer, int32_t count) {
  if (memory_ && !memoryOnly_ &&
      static_cast<int64_t>(memory_->Size()) + count > kTemporaryStreamThreshold)
    SpillToFile();
  return Current().Write(buffer, count);
}

void TQDXTemporaryStream::SpillToFile() {
  platform::File file;
  std::string name;
  if (!file.CreateTemporary("QDX", &name)) Raise(msg::kCannotCreateStreamFile, {name});
  auto fileStream = std::make_unique<TQDXFileStream>(std::move(file), name, true);
  fileStream->LoadFromStream(*memory_);
  fileStream->SetPosition(memory_->Position());
  file_ = std::move(fileStream);
  tempFileName_ = std::move(name);
  memory_.reset();
}

}  // namespace qdx
