// TQDXFileStream: a stream over an operating-system file.
//
// Mode 0xFFFF creates the file (replacing one of that name) for reading and writing; any other
// mode opens the existing file, its two low bits choosing read (0), write (1) or read-write (2).
// The share bits of the mode have no meaning here: exclusion between processes is the database
// file's byte-range locks, not the stream's. A temporary file stream's file has no name from
// the start, so the system deletes it when the stream closes it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/foundation/platform/file.h"
#include "engine/foundation/stream.h"

namespace qdx {

inline constexpr uint16_t fmCreate = 0xFFFF;
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;

class TQDXFileStream : public TQDXStream {
 public:
  // Creates or opens `fileName` as the mode says; with `temporary`, a created file is removed
  // from its folder at once. Fails with 10104 (create) or 10105 (open).
  TQDXFileStream(const std::string& fileName, bool temporary, uint16_t mode);
  // Takes over an open file, as made by platform::File::CreateTemporary.
  TQDXFileStream(platform::File file, std::string fileName, bool temporary);

  void SetSize(int32_t newSize) override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, uint16_t origin) override;

  const std::string& FileName() const { return fileName_; }
  bool IsTemporary() const { return temporary_; }
  uint16_t Mode() const { return mode_; }

 private:
  platform::File file_;
  std::string fileName_;
  uint16_t mode_;
  bool temporary_;
};

}  // namespace qdx
