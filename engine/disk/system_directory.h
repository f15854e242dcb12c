// TQDXSystemDirectory: the database's directory of its system files, a plain transacted
// internal file that always starts at page 2. Its entries (internal_file_format.h) give the
// first page of the session slot file (kind 2) and of the table list (kind 1).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/disk/internal_file_format.h"
#include "engine/disk/internal_transacted_file.h"

namespace qdx {

class TQDXSystemDirectory {
 public:
  explicit TQDXSystemDirectory(TQDXPageManager& pageManager);

  // The directory of a new database, as the system session; its first page must be page 2,
  // else 30392.
  void Create();
  // Opens the directory at page 2 and reads all its entries.
  void Load();
  // Writes all entries, as the system session, uncompressed.
  void Save();
  void AddEntry(uint8_t kind, int32_t startPageNo);
  // The start page of the first entry of `kind`; -1 when there is none.
  int32_t FindEntry(uint8_t kind) const;
  const std::vector<TQDXSystemDirectoryEntry>& Entries() const { return entries_; }

 private:
  TQDXInternalDBTransactedAccessFile file_;
  std::vector<TQDXSystemDirectoryEntry> entries_;
};

}  // namespace qdx
