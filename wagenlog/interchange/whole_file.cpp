#include "wagenlog/interchange/whole_file.h"

#include <cstdint>

#include "engine/foundation/platform/file.h"

namespace qdx::interchange {

bool ReadWholeFile(const std::string& path, std::string& text) {
  platform::File file;
  if (!file.Open(path, platform::FileAccess::Read)) return false;
  const int64_t size = file.Size();
  if (size < 0) return false;
  text.resize(static_cast<size_t>(size));
  return file.Read(text.data(), size) == size && file.Close();
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  platform::File file;
  const auto size = static_cast<int64_t>(bytes.size());
  return file.Create(path) && file.Write(bytes.data(), size) == size && file.Close();
}

}  // namespace qdx::interchange
