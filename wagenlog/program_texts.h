// The program's own texts: its name, its database file and the Dutch texts of its dialogs. The
// engine's catalogue (engine/foundation/messages.h) keeps only what the engine and the window
// framework say.
#pragma once

namespace qdx::msg {

// The title of error boxes and the main window's caption.
inline constexpr const char* kProgramName = "Wagenlog";
// Its database file, beside the executable.
inline constexpr const char* kDatabaseFileName = "wagenlog.qdx";
// "Legen tabel": the question before the expense table is emptied.
inline constexpr const char* kConfirmationCaption = "Bevestiging";
inline constexpr const char* kClearTableQuestion = "Alle Records leeg maken?? Zeker weten?";
// Closing the main window while a record holds a change that was not stored.
inline constexpr const char* kUnsavedChangeQuestion =
    "Er is een wijziging die nog niet is opgeslagen. Wilt u de wijziging opslaan?";
inline constexpr const char* kSaveButton = "Opslaan";
inline constexpr const char* kDiscardButton = "Niet opslaan";
inline constexpr const char* kCancelButton = "Annuleren";

// The program started on a database another program already writes (a second start): the
// main window's caption, after the program's name, while the database is open read-only.
inline constexpr const char* kDatabaseInUseCaption =
    "Wagenlog - Database elders in gebruik, alleen-lezen geopend";

// Backups: "Backup terugzetten..." on the main window's menu lists the backups beside the
// database and restores one after the question.
inline constexpr const char* kRestoreBackupCommand = "Backup terugzetten...";
inline constexpr const char* kRestoreBackupCaption = "Backup terugzetten";
inline constexpr const char* kBackupDateColumn = "Datum";
inline constexpr const char* kBackupRecordsColumn = "Records";
inline constexpr const char* kBackupRecordsUnknown = "?";
inline constexpr const char* kNoBackups = "Er zijn nog geen backups van deze database.";
inline constexpr const char* kRestoreButton = "Terugzetten";
// %1: the date and time of the backup; %2: its record count.
inline constexpr const char* kRestoreBackupQuestion =
    "Backup van %1 (%2 records) terugzetten? De huidige gegevens worden eerst zelf als backup "
    "bewaard.";

// One file per vehicle: the commands on the main window's menu, the file dialogs' filter, the
// caption "Wagenlog - <vehicle>" (Merk, Type and Kenteken, or the file name while they are
// empty), and refusing a new vehicle over an existing file.
inline constexpr const char* kNewVehicleCommand = "Nieuw voertuig...";
inline constexpr const char* kOpenVehicleCommand = "Ander voertuig openen...";
inline constexpr const char* kNewVehicleCaption = "Nieuw voertuig";
inline constexpr const char* kOpenVehicleCaption = "Ander voertuig openen";
inline constexpr const char* kVehicleFileFilter = "Wagenlog-voertuigen (*.qdx);;Alle bestanden (*)";
inline constexpr const char* kVehicleFileSuffix = ".qdx";
inline constexpr const char* kVehicleCaption = "Wagenlog - %s";
inline constexpr const char* kVehicleFileExists =
    "Het bestand '%s' bestaat al. Kies een andere naam voor het nieuwe voertuig.";

// The cost report as a PDF document.
inline constexpr const char* kReportCommand = "Rapport (PDF)...";
inline constexpr const char* kReportCaption = "Rapport opslaan";
inline constexpr const char* kReportFileFilter = "PDF-documenten (*.pdf);;Alle bestanden (*)";
inline constexpr const char* kReportFileSuffix = ".pdf";
inline constexpr const char* kReportNotWritten =
    "Het rapport kon niet worden geschreven naar '%s'.";

}  // namespace qdx::msg
