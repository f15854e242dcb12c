// The info and check commands: both open the file read-only, single-user, straight through the
// disk page manager, so that they never write, never take session slots and work on a file
// that other processes have open. Files are reached only through the engine's platform layer.
#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/core/page_format.h"
#include "engine/core/page_handle.h"
#include "engine/disk/active_sessions_file.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/free_space_format.h"
#include "engine/disk/internal_direct_file.h"
#include "engine/disk/internal_file_format.h"
#include "engine/disk/internal_transacted_file.h"
#include "engine/disk/system_directory.h"
#include "engine/disk/table_list_file.h"
#include "engine/foundation/cipher/engine_cipher.h"
#include "engine/foundation/except.h"
#include "engine/foundation/format.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/critical_section.h"
#include "engine/foundation/platform/file.h"
#include "tools/qdx/qdx_commands.h"
#include "tools/qdx/qdx_messages.h"

namespace qdx::tools {

namespace {

[[noreturn]] void Fault(std::string_view format, FormatArgs args) {
  throw EQdxToolFault(ToolText(format, args));
}

// Opens the file read-only; answers whether it needs repair.
bool OpenReadOnly(TQDXDiskPageManager& pm, const std::string& fileName,
                  const std::string& password) {
  bool multiUser = false;
  bool repairNeeded = false;
  bool readOnly = true;
  pm.SetLockRetry(50, 20);
  try {
    pm.OpenDatabaseFile(fileName, {password, 0}, multiUser, /*exclusive=*/false, repairNeeded,
                        readOnly);
  } catch (const EQDXException& e) {
    // Without a password the engine's answer is a wrong password; the user needs to know that
    // one is asked for at all.
    if (e.ErrorCode() == msg::kIncorrectPassword.Code && password.empty()) {
      throw EQdxToolFault(msg::kQdxPasswordNeeded);
    }
    throw;
  }
  return repairNeeded;
}

// Runs `read` on the structure that starts at `pageNo`. A start outside the file is a fault
// of the utility (the engine would try to read there); an engine error is passed on behind the
// name of the structure it met, so that the user learns what is damaged first.
template <typename Read>
void ReadStructure(const std::string& structure, int32_t pageNo, int32_t totalPageCount,
                   Read read) {
  if (pageNo < 0 || pageNo >= totalPageCount) {
    Fault(msg::kQdxPageOutsideFile, {pageNo, structure, totalPageCount});
  }
  try {
    read();
  } catch (const EQDXException& e) {
    Fault(msg::kQdxStructureUnreadable, {structure, pageNo, e.Message()});
  }
}

std::string VersionText(double version) {
  std::ostringstream text;
  text << version;
  return text.str();
}

std::string CipherName(const TQDXDiskPageManager& pm) {
  if (!pm.IsEncrypted()) return "none";
  const uint8_t code = pm.PasswordBlock().CryptoAlgorithm;
  const TQDXCryptoAlgorithm* algorithm = CryptoAlgorithm(code);
  return std::to_string(code) + " " + (algorithm != nullptr ? algorithm->Name : "unknown");
}

std::string KindName(uint8_t kind) {
  switch (kind) {
    case kTableListFileKind:
      return "table list";
    case kSessionsFileKind:
      return "session slot file";
    default:
      return "unknown";
  }
}

// Walks the database's structures and compares them with the free-space maps.
class Checker {
 public:
  Checker(TQDXDiskPageManager& pm, int64_t pagesInFile)
      : pm_(pm),
        pagesInFile_(pagesInFile),
        geometry_(pm.Header().PageSize, pm.Header().PagesPerExtent),
        total_(pm.Header().TotalPageCount),
        owner_(static_cast<size_t>(std::max(total_, 0))) {}

  void Run() {
    ReadMaps();
    CheckStructures();
    CheckUnreachedPages();
    CheckExtents();
  }

 private:
  void ReadMaps() {
    const int32_t dataSize = pm_.PageDataSize();
    used_.assign(owner_.size(), false);
    std::vector<uint8_t> data(static_cast<size_t>(dataSize));
    for (int64_t pfs = 0; pfs < total_; pfs += geometry_.PagesPerPfsPage()) {
      ExpectMapType(static_cast<int32_t>(pfs), ptPFS);
      pm_.ReadPagePart(data.data(), static_cast<int32_t>(pfs), dataSize, kPageHeaderSize);
      const int64_t end = pfs + geometry_.PagesPerPfsPage();
      for (int64_t n = pfs; n < end; ++n) {
        const TQDXMapSlot slot = geometry_.PfsSlot(n);
        const bool used = (data[slot.ByteOffset] >> slot.Shift) & 1;
        // Pages past the end are free until the file grows over them. A growth that marked
        // pages and then died or failed before writing the header leaves them marked in a file
        // that is longer than the header says; the next growth clears them. Marked pages past
        // the file's real end are damage.
        if (n >= total_ && used && n >= pagesInFile_) Fault(msg::kQdxMapBeyondEnd, {n, total_});
        if (n < total_) used_[n] = used;
      }
    }
    for (int64_t n = 0; n < total_; ++n) {
      if (!geometry_.IsSystemPage(n)) continue;
      if (n % geometry_.PagesPerPfsPage() != 0) ExpectMapType(static_cast<int32_t>(n), ptEAM);
      Claim(static_cast<int32_t>(n), "free space maps");
    }
  }

  void ExpectMapType(int32_t pageNo, uint16_t type) {
    std::array<uint8_t, kPageHeaderSize> header{};
    pm_.ReadPagePart(header.data(), pageNo, kPageHeaderSize, 0);
    const uint16_t found = le::Load<uint16_t>(header.data() + page_header::kTypeOffset);
    if (found != type) Fault(msg::kQdxMapPageType, {pageNo, found, type});
  }

  // Records that `pageNo` belongs to `structure`.
  void Claim(int32_t pageNo, const std::string& structure) {
    if (pageNo < 0 || pageNo >= total_) {
      Fault(msg::kQdxPageOutsideFile, {pageNo, structure, total_});
    }
    std::string& owner = owner_[static_cast<size_t>(pageNo)];
    if (owner == structure) Fault(msg::kQdxChainLoops, {structure, pageNo});
    if (!owner.empty()) Fault(msg::kQdxPageShared, {pageNo, owner, structure});
    if (!used_[pageNo]) Fault(msg::kQdxChainPageFree, {pageNo, structure});
    owner = structure;
  }

  // A transacted file: every page through the cache (type and, when enciphered, checksum),
  // then its content read back whole (sizes and decompression).
  void CheckTransacted(int32_t startPageNo, uint16_t type, const std::string& structure) {
    ReadStructure(structure, startPageNo, total_, [&] {
      int32_t pageNo = startPageNo;
      while (pageNo != -1) {
        Claim(pageNo, structure);
        TQDXPageHandle page = TQDXPageHandle::Get(pm_, kSystemSessionID, pageNo, true, type);
        pageNo = page->NextPageNo();
      }
      TQDXInternalDBTransactedAccessFile file(pm_, type);
      file.Open(startPageNo);
      int32_t size = 0;
      file.ReadAll(kSystemSessionID, true, size);
    });
  }

  void CheckDirect(int32_t startPageNo, uint16_t type, const std::string& structure) {
    ReadStructure(structure, startPageNo, total_, [&] {
      TQDXInternalDBDirectAccessFile file(pm_, type);
      file.Open(startPageNo);
      for (int32_t pageNo : file.Pages()) Claim(pageNo, structure);
    });
  }

  void CheckStructures() {
    CheckTransacted(kSystemDirectoryPageNo, ptFileSystemDirectory, "system directory");
    TQDXSystemDirectory directory(pm_);
    ReadStructure("system directory", kSystemDirectoryPageNo, total_, [&] { directory.Load(); });
    for (size_t i = 0; i < directory.Entries().size(); ++i) {
      const uint8_t kind = directory.Entries()[i].Kind;
      if (kind != kTableListFileKind && kind != kSessionsFileKind) {
        Fault(msg::kQdxDirectoryEntryUnknown, {i, kind});
      }
    }
    for (uint8_t kind : {kSessionsFileKind, kTableListFileKind}) {
      if (directory.FindEntry(kind) == -1) Fault(msg::kQdxDirectoryEntryMissing, {kind});
    }
    CheckDirect(directory.FindEntry(kSessionsFileKind), ptActiveSessionList, "session slot file");

    const int32_t listStart = directory.FindEntry(kTableListFileKind);
    CheckTransacted(listStart, ptTableList, "table list");
    TQDXTableListFile list(pm_);
    ReadStructure("table list", listStart, total_, [&] {
      list.Open(listStart);
      list.Load();
    });
    for (const TQDXTableListEntry& table : list.Entries()) {
      tableIDs_.insert(table.TableID);
      const std::string name = "table '" + PrintableText(table.TableName) + "'";
      CheckTransacted(table.MetadataStartPage, ptTableMetaData, "metadata file of " + name);
      CheckTransacted(table.MostUpdatedStartPage, ptTableMostUpdated, "header file of " + name);
      CheckDirect(table.LocksStartPage, ptTableLocks, "lock slot file of " + name);
    }
  }

  // Pages in use that no structure claimed: record, BLOB and index pages are reached through
  // their table's indexes, which this check does not walk; they must name a table as owner
  // (record pages) and read correctly. Anything else in use belongs to nothing.
  //
  // Pages are marked in use when a transaction adds them, long before its commit writes them.
  // A page still holding what it held before (the zeros of a grown file, or the mark of a freed
  // page) belongs to a transaction that is running in another process or died with its process:
  // space lost until the next repair, not damage.
  void CheckUnreachedPages() {
    for (int32_t n = 0; n < total_; ++n) {
      if (!used_[n] || !owner_[n].empty()) continue;
      std::array<uint8_t, kPageHeaderSize> header{};
      pm_.ReadPagePart(header.data(), n, kPageHeaderSize, 0);
      const int32_t version = le::Load<int32_t>(header.data() + page_header::kVersionOffset);
      const bool neverWritten =
          std::all_of(header.begin(), header.end(), [](uint8_t b) { return b == 0; });
      if (version == kFreedPageVersion || neverWritten) continue;
      const uint16_t type = le::Load<uint16_t>(header.data() + page_header::kTypeOffset);
      const int32_t owner = le::Load<int32_t>(header.data() + page_header::kOwnerObjectIDOffset);
      const bool tablePage = type == ptTableBlob || type == ptTableIndex ||
                             (type == ptTableRecord && tableIDs_.contains(owner));
      if (!tablePage) {
        const std::string typeName = type <= kLastPageType ? std::string(PageTypeName(type))
                                                           : "type " + std::to_string(type);
        Fault(msg::kQdxUnreachedPage, {n, typeName});
      }
      TQDXPageHandle page = TQDXPageHandle::Get(pm_, kSystemSessionID, n, true, type);
    }
  }

  void CheckExtents() {
    const int32_t dataSize = pm_.PageDataSize();
    std::vector<uint8_t> data(static_cast<size_t>(dataSize));
    int32_t loaded = -1;
    const int64_t extents =
        (int64_t{total_} + geometry_.PagesPerExtent() - 1) / geometry_.PagesPerExtent();
    for (int64_t e = 0; e < extents; ++e) {
      const TQDXMapSlot slot = geometry_.EamSlot(e);
      if (slot.MapPageNo >= total_) break;
      if (slot.MapPageNo != loaded) {
        pm_.ReadPagePart(data.data(), slot.MapPageNo, dataSize, kPageHeaderSize);
        loaded = slot.MapPageNo;
      }
      if (((data[slot.ByteOffset] >> slot.Shift) & 3) != kEamExtentFull) continue;
      const int64_t first = e * geometry_.PagesPerExtent();
      for (int64_t n = first; n < std::min<int64_t>(total_, first + geometry_.PagesPerExtent());
           ++n) {
        if (!used_[n]) Fault(msg::kQdxExtentMarkedFull, {e, n});
      }
    }
  }

  TQDXDiskPageManager& pm_;
  int64_t pagesInFile_;
  TQDXFreeSpaceGeometry geometry_;
  int32_t total_;
  std::vector<std::string> owner_;
  std::vector<bool> used_;
  std::set<int32_t> tableIDs_;
};

}  // namespace

void PrintInfo(const std::string& fileName, const std::string& password, std::ostream& out) {
  TQDXDiskPageManager pm;
  const platform::CriticalSectionGuard held(pm.DatabaseLock());
  const bool repairNeeded = OpenReadOnly(pm, fileName, password);
  const TQDXDatabaseHeader& header = pm.Header();
  out << "File: " << fileName << "\n"
      << "BaseOffset: " << pm.Layout().BaseOffset() << "\n"
      << "Signature: "
      << std::string(reinterpret_cast<const char*>(header.Signature.data()),
                     header.Signature.size())
      << "\n"
      << "HeaderSize: " << header.HeaderSize << "\n"
      << "Version: " << VersionText(header.Version) << "\n"
      << "PageSize: " << header.PageSize << "\n"
      << "PagesPerExtent: " << header.PagesPerExtent << "\n"
      << "TotalPageCount: " << header.TotalPageCount << "\n"
      << "LastUsedPageNo: " << header.LastUsedPageNo << "\n"
      << "ChangeCounter: " << header.ChangeCounter << "\n"
      << "FileState: " << int{header.FileState}
      << (header.IsConsistent() ? " (consistent)" : " (commit unfinished)") << "\n"
      << "RepairNeeded: " << (repairNeeded ? "yes" : "no") << "\n"
      << "Encrypted: " << (header.IsEncrypted() ? "yes" : "no") << "\n"
      << "CryptoAlgorithm: " << CipherName(pm) << "\n";
  if (platform::FileStatus status; platform::StatFile(fileName, status)) {
    const int64_t area = status.Size - pm.Layout().PageAreaPosition();
    out << "FileSize: " << status.Size << "\n"
        << "PagesInFile: " << std::max<int64_t>(area, 0) / header.PageSize << "\n";
  }

  const int32_t total = header.TotalPageCount;
  TQDXSystemDirectory directory(pm);
  ReadStructure("system directory", kSystemDirectoryPageNo, total, [&] { directory.Load(); });
  out << "SystemDirectoryPageNo: " << kSystemDirectoryPageNo << "\n"
      << "SystemDirectoryEntries: " << directory.Entries().size() << "\n";
  for (size_t i = 0; i < directory.Entries().size(); ++i) {
    const TQDXSystemDirectoryEntry& entry = directory.Entries()[i];
    out << "SystemDirectoryEntry" << i << ": kind " << int{entry.Kind} << " ("
        << KindName(entry.Kind) << "), page " << entry.FirstPageNo << "\n";
  }
  if (const int32_t sessions = directory.FindEntry(kSessionsFileKind); sessions != -1) {
    TQDXActiveSessionsFile slots(pm);
    int32_t slotCount = 0;
    ReadStructure("session slot file", sessions, total, [&] {
      slots.Open(sessions);
      slotCount = slots.SlotCount();
    });
    out << "MaxConnections: " << slotCount << "\n";
  }
  if (const int32_t listStart = directory.FindEntry(kTableListFileKind); listStart != -1) {
    TQDXTableListFile list(pm);
    ReadStructure("table list", listStart, total, [&] {
      list.Open(listStart);
      list.Load();
    });
    out << "TableCount: " << list.Entries().size() << "\n";
    for (const TQDXTableListEntry& table : list.Entries()) {
      out << "Table: " << PrintableText(table.TableName) << " (TableID " << table.TableID << ", MetadataStartPage "
          << table.MetadataStartPage << ", MostUpdatedStartPage " << table.MostUpdatedStartPage
          << ", LocksStartPage " << table.LocksStartPage << ")\n";
    }
  }
}

void CheckDatabase(const std::string& fileName, const std::string& password) {
  TQDXDiskPageManager pm;
  const platform::CriticalSectionGuard held(pm.DatabaseLock());
  const bool repairNeeded = OpenReadOnly(pm, fileName, password);
  const TQDXDatabaseHeader& header = pm.Header();
  if (repairNeeded) {
    Fault(msg::kQdxNeedsRepair, {int{header.FileState}, VersionText(header.Version)});
  }
  const int64_t fileSize = pm.File().GetSize();
  const int64_t pagesInFile =
      std::max<int64_t>(fileSize - pm.Layout().PageAreaPosition(), 0) / header.PageSize;
  // A file longer than its pages is left by a growth that did not reach the header (the process
  // died or the header write failed); the next growth cuts the file to the header's size first.
  if (header.TotalPageCount > pagesInFile) {
    Fault(msg::kQdxPageCountMismatch, {header.TotalPageCount, pagesInFile});
  }
  if (header.LastUsedPageNo >= header.TotalPageCount) {
    Fault(msg::kQdxLastUsedPageBeyondEnd, {header.LastUsedPageNo, header.TotalPageCount});
  }
  Checker(pm, pagesInFile).Run();
}

}  // namespace qdx::tools
