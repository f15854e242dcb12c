#include "engine/disk/system_directory.h"

#include "engine/core/page_format.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXSystemDirectory::TQDXSystemDirectory(TQDXPageManager& pageManager)
    : file_(pageManager, ptFileSystemDirectory) {}

void TQDXSystemDirectory::Create() {
  file_.Create(kSystemSessionID);
  if (file_.StartPageNo() != kSystemDirectoryPageNo) {
    Raise(msg::kErrorCreatingSystemDirectory, {file_.StartPageNo(), kSystemDirectoryPageNo});
  }
  entries_.clear();
}

void TQDXSystemDirectory::Load() {
  file_.Open(kSystemDirectoryPageNo);
  int32_t size = 0;
  TQDXMemBlock content = file_.ReadAll(kSystemSessionID, true, size);
  // Through a reader over the buffer held: a size the content does not have fails (20056).
  ByteReader reader({content.data(), static_cast<size_t>(content.size())});
  std::vector<TQDXSystemDirectoryEntry> entries;
  for (int32_t i = 0; i < size / static_cast<int32_t>(kSystemDirectoryEntrySize); ++i) {
    entries.push_back(TQDXSystemDirectoryEntry::Decode(reader.Bytes(kSystemDirectoryEntrySize)));
  }
  entries_ = std::move(entries);
}

void TQDXSystemDirectory::Save() {
  const int32_t size = static_cast<int32_t>(entries_.size() * kSystemDirectoryEntrySize);
  TQDXMemBlock content(std::max(size, 1));
  for (size_t i = 0; i < entries_.size(); ++i) {
    entries_[i].Encode({content.data() + i * kSystemDirectoryEntrySize, kSystemDirectoryEntrySize});
  }
  file_.WriteFile(kSystemSessionID, content.data(), 0, 0, size);
}

void TQDXSystemDirectory::AddEntry(uint8_t kind, int32_t startPageNo) {
  entries_.push_back({kind, startPageNo});
}

int32_t TQDXSystemDirectory::FindEntry(uint8_t kind) const {
  for (const TQDXSystemDirectoryEntry& entry : entries_) {
    if (entry.Kind == kind) return entry.FirstPageNo;
  }
  return -1;
}

}  // namespace qdx
