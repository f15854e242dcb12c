#include "engine/disk/commit_journal.h"

#include <algorithm>
#include <array>

#include "engine/disk/database_header.h"
#include "engine/foundation/crc32.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/file.h"
#include "engine/foundation/platform/random.h"

namespace qdx {
namespace {

constexpr std::array<uint8_t, 8> kJournalMagic = {'Q', 'D', 'X', 'J', 'R', 'N', 'L', 0x1A};
constexpr uint16_t kJournalVersion = 1;
constexpr size_t kHeaderCRCOffset = TQDXCommitJournal::kJournalHeaderSize - 4;

static_assert(40 + kMainHeaderSize + 4 == TQDXCommitJournal::kJournalHeaderSize);

int64_t RecordSize(uint16_t pageSize) {
  return 8 + int64_t{pageSize} + 4;
}

uint32_t RecordCRC(uint32_t salt, int64_t position, std::span<const uint8_t> image) {
  uint8_t prefix[12];
  le::Store(prefix, salt);
  le::Store(prefix + 4, position);
  return RawCRC32(image, RawCRC32(prefix));
}

// The journal's header as read back.
struct TJournalHeader {
  uint16_t PageSize = 0;
  uint32_t Salt = 0;
  int32_t ChangeCounter = 0;
  int32_t RecordCount = 0;
  int64_t FileSize = 0;
  int64_t HeaderPosition = 0;
  std::array<uint8_t, kMainHeaderSize> HeaderImage{};
};

// Decodes a whole, checksummed header; false for anything else.
bool DecodeJournalHeader(std::span<const uint8_t> bytes, TJournalHeader& header) {
  if (bytes.size() < static_cast<size_t>(TQDXCommitJournal::kJournalHeaderSize)) return false;
  ByteReader reader(bytes);
  const std::span<const uint8_t> magic = reader.Bytes(kJournalMagic.size());
  if (!std::equal(magic.begin(), magic.end(), kJournalMagic.begin())) return false;
  if (reader.U16() != kJournalVersion) return false;
  header.PageSize = reader.U16();
  header.Salt = reader.U32();
  header.ChangeCounter = reader.I32();
  header.RecordCount = reader.I32();
  header.FileSize = reader.I64();
  header.HeaderPosition = reader.I64();
  reader.CopyTo(header.HeaderImage.data(), header.HeaderImage.size());
  const uint32_t crc = reader.U32();
  return crc == RawCRC32(bytes.first(kHeaderCRCOffset)) && header.PageSize > 0 &&
         header.RecordCount >= 0 && header.FileSize >= 0 && header.HeaderPosition >= 0;
}

}  // namespace

void TQDXCommitJournal::Begin(const std::string& databaseFile, const Start& start, bool durable) {
  if (file_.IsOpen()) Abandon();
  const std::string path = PathFor(databaseFile);
  if (platform::FileExists(file_.FileSystemInUse(), path)) {
    file_.OpenFile(path, TQDXDatabaseFile::kAccessReadWrite, TQDXDatabaseFile::kShareReadWrite);
  } else {
    file_.CreateFile(path);
    if (durable) platform::SyncDirectoryOf(file_.FileSystemInUse(), path);
  }
  pageSize_ = start.PageSize;
  recordCount_ = 0;
  salt_ = platform::RandomBelow(0xFFFFFFFFu);
  header_.assign(kJournalHeaderSize, 0);
  ByteWriter writer(header_);
  writer.Bytes(kJournalMagic);
  writer.U16(kJournalVersion);
  writer.U16(start.PageSize);
  writer.U32(salt_);
  writer.I32(start.ChangeCounter);
  writer.I32(0);  // RecordCount, set by each Seal
  writer.I64(start.FileSize);
  writer.I64(start.HeaderPosition);
  writer.Bytes(start.HeaderImage.first(kMainHeaderSize));
  record_.assign(static_cast<size_t>(RecordSize(pageSize_)), 0);
}

void TQDXCommitJournal::AddPage(int64_t position, std::span<const uint8_t> image) {
  ByteWriter writer(record_);
  writer.I64(position);
  writer.Bytes(image.first(pageSize_));
  writer.U32(RecordCRC(salt_, position, image.first(pageSize_)));
  file_.WriteBuffer(record_.data(), msg::kWriteCommitJournal,
                    kRecordsOffset + recordCount_ * RecordSize(pageSize_),
                    static_cast<int32_t>(record_.size()));
  ++recordCount_;
}

void TQDXCommitJournal::WriteHeader() {
  le::Store(header_.data() + 20, recordCount_);
  le::Store(header_.data() + kHeaderCRCOffset,
            RawCRC32(std::span<const uint8_t>(header_).first(kHeaderCRCOffset)));
  file_.WriteBuffer(header_.data(), msg::kWriteCommitJournal, 0, kJournalHeaderSize);
}

void TQDXCommitJournal::Seal(bool durable) {
  WriteHeader();
  if (durable) file_.FlushFileBuffers();
}

void TQDXCommitJournal::End() {
  if (!file_.IsOpen()) return;
  try {
    if (kRecordsOffset + recordCount_ * RecordSize(pageSize_) <= kKeptJournalSize) {
      // No magic, no journal: the records that follow are never read.
      std::fill(header_.begin(), header_.end(), uint8_t{0});
      file_.WriteBuffer(header_.data(), msg::kWriteCommitJournal, 0, kJournalHeaderSize);
    } else {
      file_.SetSize(0);
    }
  } catch (const EQDXException&) {  // stale by its ChangeCounter anyway
  }
  Abandon();
}

void TQDXCommitJournal::Abandon() {
  if (!file_.IsOpen()) return;
  try {
    file_.CloseFile();
  } catch (const EQDXException&) {  // the handle is gone either way
  }
}

namespace {

// Whether the journal's size and page records fit the database it would roll back: its pages
// are of the database's size, the size it restores keeps every page its old header counts and
// adds none beyond them or the file as it is, and every record is whole, checksummed and names
// a page of that area. Answers the size to restore.
struct TRecordCheck {
  bool Valid = false;
  int64_t RestoredSize = 0;
};

TRecordCheck CheckJournal(TQDXDatabaseFile& database, TQDXDatabaseFile& journal,
                          const TJournalHeader& header, const TQDXDatabaseLayout& layout) {
  TRecordCheck check;
  const TQDXDatabaseHeader old = TQDXDatabaseHeader::Decode(header.HeaderImage);
  if (header.PageSize != layout.PageSize() || old.PageSize != layout.PageSize() ||
      old.TotalPageCount < 0) {
    return check;
  }
  const int64_t oldEnd = layout.FileSizeFor(old.TotalPageCount);
  if (header.FileSize < oldEnd) return check;
  check.RestoredSize = std::min(header.FileSize, std::max(oldEnd, database.GetSize()));
  std::vector<uint8_t> record(static_cast<size_t>(RecordSize(header.PageSize)));
  const std::span<const uint8_t> image(record.data() + 8, header.PageSize);
  for (int32_t n = 0; n < header.RecordCount; ++n) {
    const int64_t offset = TQDXCommitJournal::kRecordsOffset + n * RecordSize(header.PageSize);
    int32_t got = 0;
    if (!journal.ReadBuffer(record.data(), offset, static_cast<int32_t>(record.size()), &got) ||
        got != static_cast<int32_t>(record.size())) {
      return check;
    }
    const int64_t position = le::Load<int64_t>(record.data());
    const uint32_t crc = le::Load<uint32_t>(record.data() + 8 + header.PageSize);
    if (crc != RecordCRC(header.Salt, position, image) || position < layout.PageAreaPosition() ||
        (position - layout.PageAreaPosition()) % header.PageSize != 0 ||
        position + header.PageSize > header.FileSize) {
      return check;
    }
  }
  check.Valid = true;
  return check;
}

}  // namespace

bool RollBackJournal(TQDXDatabaseFile& database, const TQDXDatabaseLayout& layout,
                     std::vector<int64_t>* restoredPositions, bool ownCommit) {
  const std::string path = TQDXCommitJournal::PathFor(database.FileName());
  if (!platform::FileExists(database.FileSystemInUse(), path)) return false;
  TQDXDatabaseFile journal;
  journal.SetFileSystem(database.GivenFileSystem());
  try {
    journal.OpenFile(path, TQDXDatabaseFile::kAccessReadWrite, TQDXDatabaseFile::kShareReadWrite);
  } catch (const EQDXException&) {  // a journal that cannot be opened cannot be used
    return false;
  }
  const int64_t headerPosition = layout.HeaderPosition();
  std::array<uint8_t, TQDXCommitJournal::kJournalHeaderSize> headerBytes{};
  int32_t got = 0;
  TJournalHeader header;
  if (!journal.ReadBuffer(headerBytes.data(), 0, TQDXCommitJournal::kJournalHeaderSize, &got) ||
      !DecodeJournalHeader({headerBytes.data(), static_cast<size_t>(got)}, header) ||
      header.HeaderPosition != headerPosition) {
    return false;
  }
  // The journal belongs to the commit that left the marker only when it names the ChangeCounter
  // the file still has: a commit raises it with its last write. The commit that just failed
  // may have written that too.
  std::array<uint8_t, kMainHeaderSize> current{};
  database.CheckedReadBuffer(current.data(), msg::kReadFileHeader, headerPosition, kMainHeaderSize);
  if (!ownCommit && le::Load<int32_t>(current.data() + kChangeCounterOffset) != header.ChangeCounter) {
    return false;
  }
  // Everything is checked before the first byte is written back: a journal that is damaged
  // part way leaves the file marked as needing repair, and stays, rather than half applied
  // under a header that calls it consistent.
  const TRecordCheck check = CheckJournal(database, journal, header, layout);
  if (!check.Valid) return false;

  database.SetSize(check.RestoredSize);
  std::vector<uint8_t> record(static_cast<size_t>(RecordSize(header.PageSize)));
  const std::span<const uint8_t> image(record.data() + 8, header.PageSize);
  for (int32_t n = 0; n < header.RecordCount; ++n) {
    const int64_t offset = TQDXCommitJournal::kRecordsOffset + n * RecordSize(header.PageSize);
    journal.CheckedReadBuffer(record.data(), msg::kReadPageForJournal, offset,
                              static_cast<int32_t>(record.size()));
    const int64_t position = le::Load<int64_t>(record.data());
    // A page past the size restored was free growth: nothing of it is kept.
    if (position + header.PageSize > check.RestoredSize) continue;
    database.WriteBuffer(image.data(), msg::kWriteFilePage, position, header.PageSize);
    if (restoredPositions != nullptr) restoredPositions->push_back(position);
  }
  database.WriteBuffer(header.HeaderImage.data(), msg::kWriteFileHeader, headerPosition,
                       kMainHeaderSize);
  database.FlushFileBuffers();
  try {
    journal.SetSize(0);
  } catch (const EQDXException&) {  // the header no longer carries the commit marker
  }
  return true;
}

}  // namespace qdx
