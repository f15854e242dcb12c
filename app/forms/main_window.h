// TForm1: the main window. A fixed window, 820 x 579 inside its frame, filled by a blue-to-black
// gradient, with
//  - the vehicle panel: the fields of the vehicle record (tb6 through `autogegevens`) and a
//    navigator with Edit, Cancel, Refresh;
//  - the statistics: the command "Berekenen" and the eleven value labels it fills;
//  - the entry panel: the six inputs of the current expense record (tb1 through `brandstof`),
//    which change a record only after Nieuw or Wijzig;
//  - two navigators for the expense records (moving; Insert, Delete, Edit, Cancel, Refresh),
//    the command "Legen tabel", the record grid, and the seven chart commands.
//
// Handlers, as the program runs them:
//   FormCreate   (end of construction) sets the database file beside the executable, opens tb1
//                and tb6, shows a read-only database in the caption and computes the
//                statistics; an error ends it at that step
//   FormShow     (each showing) reads StartKmStand from the vehicle record
//   FormClose    closes tb1, then tb6, and backs the database up when the session changed it
// Every handler shows an error in an error box and the program carries on.
//
// Closing with a change that was not stored asks whether to store it (save, discard, or stay
// open) instead of dropping it silently.
//
// One file holds one vehicle. OpenVehicleFile switches to another file as closing and starting
// the program would (the question about an unsaved change included); a file that does not open
// is reported and the current one is opened again. The caption names the vehicle.
#pragma once

#include <QAction>
#include <QLabel>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/backup/backup_commands.h"
#include "app/data/db_navigator.h"
#include "app/forms/form.h"

class QComboBox;
class QLineEdit;

namespace qdx {

class TDataModule1;
class TDataSet;
class TDBFieldBinding;
class TDBGrid;
class TDateEdit;
class TForm2;
class TForm3;
class TForm4;
class TLbStaticText;
class TNumericEdit;
struct TStatisticsLabels;

class TForm1 : public TForm {
 public:
  // Builds the window over the data module and runs FormCreate.
  explicit TForm1(TDataModule1& dataModule);
  ~TForm1() override;

  // The chart windows the chart commands fill (created after the main window).
  void SetChartWindows(TForm2* form2, TForm3* form3, TForm4* form4);

  int32_t StartKmStand() const { return startKmStand_; }
  TDataModule1& Data() { return data_; }
  TForm2* ChartWindow2() const { return form2_; }
  TForm3* ChartWindow3() const { return form3_; }
  TForm4* ChartWindow4() const { return form4_; }

  // The open vehicle's file (the database file), as the user names it.
  QString VehicleFile() const;
  // Closes the current file and opens `path`; false when the user stayed on the current file
  // or `path` did not open (an error box said why).
  bool OpenVehicleFile(const QString& path);
  // "Wagenlog - <vehicle>", or the read-only caption.
  void ShowCaption();
  // Runs after each file the window opened (the menu keeps its recent files).
  std::function<void(const QString& path)> OnVehicleOpened;

  // ---- Handlers --------------------------------------------------------------------------------
  void FormCreate();
  void FormShow();
  void FormClose();
  // "Berekenen".
  void LbStaticText1Click();
  // "Verbruik", "Brandstof Ltr", "Kilometers", "VerbrLtrKm", "Taart", "Brandstof Prijs",
  // "Kost p mnd".
  void LbStaticText2Click();
  void LbStaticText3Click();
  void LbStaticText4Click();
  void LbStaticText5Click();
  void LbStaticText7Click();
  void LbStaticText8Click();
  void LbStaticText9Click();
  // "Legen tabel".
  void LbStaticText6Click();
  // After a button of the expense change navigator: Nieuw moves the focus to the date edit.
  void DBNavigator3Click(TNavigateBtn button);

  // ---- Controls, by their names
  // ------------------------------------------------------------------
  QLabel* Label1;   // total per km
  QLabel* Label3;   // fuel per km
  QLabel* Label6;   // total cost
  QLabel* Label8;   // maintenance per km
  QLabel* Label9;   // litres per 100 km
  QLabel* Label12;  // km per litre
  QLabel* Label27;  // total litres
  QLabel* Label28;  // kilometres driven
  QLabel* Label29;  // insurance per km
  QLabel* Label30;  // road tax per km
  QLabel* Label31;  // depreciation per km
  QLineEdit* DBEditMerk;
  QLineEdit* DBEditType;
  QLineEdit* DBEditKenteken;
  TNumericEdit* DBEditStartKm;
  TNumericEdit* DBEditGewicht;
  TDateEdit* DBDateDeel1;
  TDateEdit* DBDateDatum;
  QComboBox* DBComboOmschrijving;
  QLineEdit* DBEditBedrijf;
  TNumericEdit* DBEditKMStand;
  TNumericEdit* DBEditLiters;
  TNumericEdit* DBEditBedrag;
  TDBNavigator* DBNavigator1;  // expense records: First, Prior, Next, Last
  TDBNavigator* DBNavigator2;  // vehicle record: Edit, Cancel, Refresh
  TDBNavigator* DBNavigator3;  // expense records: Insert, Delete, Edit, Cancel, Refresh
  TDBGrid* DBGrid1;
  // "Berekenen", "Verbruik", "Brandstof Ltr", "Kilometers", "VerbrLtrKm", "Legen tabel",
  // "Taart", "Brandstof Prijs", "Kost p mnd" as LbStaticText1..9.
  std::array<TLbStaticText*, 9> LbStaticText{};

 protected:
  bool CloseQuery() override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildVehiclePanel();
  void BuildStatistics();
  void BuildEntryPanel();
  void BuildNavigationAndGrid();
  void BuildChartCommands();
  void SetTabOrder();
  void ShowStatistics(const TStatisticsLabels& labels);
  // Connects to the database file set and opens both tables.
  void OpenDatabase();
  // Closes both tables (FormClose) and disconnects.
  void CloseDatabase();
  // Arms the close-time backup for the file now open, once the start-up's own writes are done.
  void WatchForBackup();
  // On a database opened read-only (another program writes it): says so in the caption and
  // disables the inputs, "Legen tabel" and the commands that write the file.
  void ShowReadOnlyState();
  // Runs a chart command on the expense table; errors go to an error box.
  template <typename Command>
  void RunChart(Command command);

  TDataModule1& data_;
  TForm2* form2_ = nullptr;
  TForm3* form3_ = nullptr;
  TForm4* form4_ = nullptr;
  int32_t startKmStand_ = 0;
  bool closed_ = false;
  // The menu's commands that write the file: the import and the restore of a backup.
  std::vector<QAction*> writeCommands_;
  // A backup when the window closes after the session changed the database.
  TBackupOnClose backupOnClose_;
};

}  // namespace qdx
