// TQDXCommitJournal: the rollback journal of a commit, a file beside the database file
// ("<database>-journal") that holds the images the commit overwrites, so that a commit cut off
// by a crash, a power cut or an I/O error can be undone and the file is again as it was before.
//
// The disk page manager writes a journal at the start of every commit that has pages to write:
// the main header and the file size as they were, then the original image of every page the
// commit will overwrite. The journal is made durable before the database file is touched, and
// given up only after the commit is durable: its header is cleared, and the file keeps its
// length for the next commit (cut to zero bytes once it is longer than kKeptJournalSize).
// docs/ARCHITECTURE.md draws the states ("The commit and its journal").
//
// A journal is hot, and rolled back by RollBackJournal, when the database header still carries
// the commit marker (FileState 1) and the journal's header is whole and names the database's
// ChangeCounter and header position. Everything else about it is checked too: a journal whose
// header checksum fails, or that belongs to another ChangeCounter, is stale or torn and left
// alone. Every record the header counts was sealed, and flushed, before the page it covers was
// overwritten: a record that is short or fails its checksum means damage, and the journal is not
// used at all.
//
// Byte layout, little-endian:
//
//   Journal header, at offset 0 (kJournalHeaderSize bytes; records start at kRecordsOffset):
//   offset  size  field
//   0       8     Magic            "QDXJRNL" and 0x1A
//   8       2     Version          1
//   10      2     PageSize         of the database, unsigned
//   12      4     Salt             random per journal; taken into every record's checksum
//   16      4     ChangeCounter    of the database header the commit started from
//   20      4     RecordCount      page records that follow
//   24      8     FileSize         of the database file before the commit, bytes
//   32      8     HeaderPosition   of the main header in the database file
//   40      76    HeaderImage      the main header before the commit
//   116     4     HeaderCRC        RawCRC32 of bytes 0..115
//
//   Page record n, at kRecordsOffset + n * (12 + PageSize):
//   0       8     Position         of the page in the database file
//   8       P     Image            the page's bytes before the commit (as stored: enciphered)
//   8 + P   4     RecordCRC        RawCRC32 of Salt, Position and Image, in that order
//
// Not safe for concurrent use: the page manager writes it under the database lock.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/disk/database_file.h"
#include "engine/disk/database_header.h"

namespace qdx {

class TQDXCommitJournal {
 public:
  static constexpr int32_t kJournalHeaderSize = 120;
  static constexpr int64_t kRecordsOffset = 512;
  // A journal up to this long is kept for the next commit when given up. Flushing a file that
  // grew also waits for the file system's own journal (its size and blocks changed); flushing
  // bytes written over a file's existing blocks does not: a journal cut to nothing at every
  // commit made the first of a durable commit's flushes cost more than the other three.
  static constexpr int64_t kKeptJournalSize = int64_t{1} << 20;

  // What the journal's header holds besides its count of records.
  struct Start {
    uint16_t PageSize = 0;
    int32_t ChangeCounter = 0;
    int64_t FileSize = 0;
    int64_t HeaderPosition = 0;
    std::span<const uint8_t> HeaderImage;  // kMainHeaderSize bytes
  };

  // The journal's path for a database file.
  static std::string PathFor(const std::string& databaseFile) { return databaseFile + "-journal"; }

  TQDXCommitJournal() = default;
  TQDXCommitJournal(const TQDXCommitJournal&) = delete;
  TQDXCommitJournal& operator=(const TQDXCommitJournal&) = delete;

  // Opens (or creates) the journal of `databaseFile` and starts it over with no records. The
  // header reaches the file with the first Seal. `durable`: the folder is flushed when the file
  // was created, so that its name survives a power cut. I/O failures raise (3056x).
  void Begin(const std::string& databaseFile, const Start& start, bool durable);
  bool IsOpen() const { return file_.IsOpen(); }
  // The file system of the journal file; null for the current one. Set while it is closed.
  void SetFileSystem(platform::FileSystem* fileSystem) { file_.SetFileSystem(fileSystem); }
  // Appends the original image of the page at `position` (PageSize bytes).
  void AddPage(int64_t position, std::span<const uint8_t> image);
  // Writes the header with the records added so far, flushed when `durable`: from here on the
  // journal covers them.
  void Seal(bool durable);
  // Gives the journal up after a commit is durable: its header cleared (or the file cut to
  // zero bytes when longer than kKeptJournalSize) and closed. A failure is swallowed: the
  // journal names a ChangeCounter the file has left behind, so it is stale.
  void End();
  // Closes the journal as it is, for the next open's rollback.
  void Abandon();

 private:
  void WriteHeader();

  TQDXDatabaseFile file_;
  std::vector<uint8_t> header_;
  std::vector<uint8_t> record_;
  uint32_t salt_ = 0;
  int32_t recordCount_ = 0;
  uint16_t pageSize_ = 0;
};

// Rolls back the hot journal of `database` (open for writing, laid out as `layout`, which gives
// the header position, the page area and the page size), when there is one: the file size, the
// page images and the header image are written back, the file is flushed and the journal cut to
// zero bytes. The caller holds the database lock and has seen the commit marker on disk.
// Answers false, and changes nothing, when there is no journal or it is stale, torn or does not
// fit the database: another page size, a file size that would cut pages its old header counts,
// a record that is short, fails its checksum or names no page. Such a journal stays, and the
// file keeps asking for a repair. The size written back is never below the old header's pages
// nor above the larger of those and the file as it is. `restoredPositions` receives the
// positions of the pages written back. `ownCommit`: the journal is the one of the caller's
// commit that just failed (it may have raised the ChangeCounter already). I/O failures of the
// database file raise; the journal then stays.
bool RollBackJournal(TQDXDatabaseFile& database, const TQDXDatabaseLayout& layout,
                     std::vector<int64_t>* restoredPositions = nullptr, bool ownCommit = false);

}  // namespace qdx
