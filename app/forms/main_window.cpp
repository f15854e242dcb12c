#include "app/forms/main_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QLineEdit>
#include <QShowEvent>
#include <QStringList>
#include <initializer_list>

#include "app/data/db_grid.h"
#include "app/error_box.h"
#include "app/forms/chart_windows.h"
#include "app/forms/data_module.h"
#include "app/interchange/interchange_menu.h"
#include "app/statistics/chart_commands.h"
#include "app/statistics/statistics_labels.h"
#include "app/vehicle_files.h"
#include "app/widgets/date_edit.h"
#include "app/widgets/gradient.h"
#include "app/widgets/label_command.h"
#include "app/widgets/numeric_edit.h"
#include "app/widgets/question_box.h"
#include "engine/foundation/format.h"
#include "engine/foundation/messages.h"
#include "wagenlog/program_texts.h"
#include "wagenlog/report/cost_report.h"
#include "wagenlog/statistics/statistics.h"

namespace qdx {

namespace {

// The window was laid out as 840 x 618 with its frame on Windows; the gradient, which reaches
// from (0, -8) to (820, 579), filled what the frame left. The window here is the gradient's
// size inside whatever frame the window manager draws, so that no strip of bare window shows
// right of it or below it.
constexpr QSize kClientSize(820, 579);
const QColor kBackground(226, 226, 241);

bool IsChanging(const TDataSet& dataSet) {
  return dataSet.State() == TDataSetState::Editing || dataSet.State() == TDataSetState::Inserting;
}

// The window was laid out in "MS Sans Serif" and "Microsoft Sans Serif", which Linux rarely
// has; a font of the same widths, where one is installed, keeps the captions as they were
// placed. Without one the platform's sans serif stands in.
void SubstituteWindowsFonts() {
  const QStringList alike = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                             QStringLiteral("Arial"), QStringLiteral("Helvetica")};
  for (const QString& family :
       {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif")}) {
    if (QFont::substitutes(family).isEmpty()) QFont::insertSubstitutions(family, alike);
  }
}

}  // namespace

TForm1::TForm1(TDataModule1& dataModule) : TForm(QStringLiteral("TForm1")), data_(dataModule) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(msg::kProgramName));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  SubstituteWindowsFonts();
  setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kBackground);
  setPalette(palette);
  setFixedSize(kClientSize);
  SetPosition(TFormPosition::DesktopCenter);
  KeepOnScreenOf(this);

  auto* gradient = new TGradient(QColor(0, 0, 255), Qt::black, this);
  gradient->setObjectName(QStringLiteral("Gradient1"));
  gradient->setGeometry(0, -8, 820, 587);

  BuildVehiclePanel();
  BuildStatistics();
  BuildEntryPanel();
  BuildNavigationAndGrid();
  BuildChartCommands();
  SetTabOrder();

  LbStaticText[0]->OnClick = [this] { RunHandler([this] { LbStaticText1Click(); }, this); };
  LbStaticText[1]->OnClick = [this] { LbStaticText2Click(); };
  LbStaticText[2]->OnClick = [this] { LbStaticText3Click(); };
  LbStaticText[3]->OnClick = [this] { LbStaticText4Click(); };
  LbStaticText[4]->OnClick = [this] { LbStaticText5Click(); };
  LbStaticText[5]->OnClick = [this] { LbStaticText6Click(); };
  LbStaticText[6]->OnClick = [this] { LbStaticText7Click(); };
  LbStaticText[7]->OnClick = [this] { LbStaticText8Click(); };
  LbStaticText[8]->OnClick = [this] { LbStaticText9Click(); };
  writeCommands_.push_back(AddInterchangeCommands(*this, data_, [this] {
                             RunHandler([this] { LbStaticText1Click(); }, this);
                           }).Import);
  AddVehicleCommands(*this);
  // A stored vehicle record may have given the vehicle another name.
  data_.tb6.AfterPost = [this](TDataSet&) { ShowCaption(); };
  writeCommands_.push_back(
      AddRestoreCommand(*this, data_,
                        {.MayClose = [this] { return CloseQuery(); },
                         // The restore keeps the replaced file itself: no close-time copy.
                         .CloseTables =
                             [this] {
                               data_.tb1.Close();
                               data_.tb6.Close();
                             },
                         .OpenTables =
                             [this] {
                               OpenDatabase();
                               FormShow();
                               LbStaticText1Click();
                               WatchForBackup();
                             }}));

  RunHandler([this] { FormCreate(); }, this);
}

TForm1::~TForm1() {
  // The data module outlives the window.
  data_.tb6.AfterPost = nullptr;
}

void TForm1::SetChartWindows(TForm2* form2, TForm3* form3, TForm4* form4) {
  form2_ = form2;
  form3_ = form3;
  form4_ = form4;
  // The chart windows open on the main window's screen, whatever they were laid out or stored for.
  for (TForm* chart :
       {static_cast<TForm*>(form2), static_cast<TForm*>(form3), static_cast<TForm*>(form4)}) {
    if (chart != nullptr) chart->KeepOnScreenOf(this);
  }
}

void TForm1::FormCreate() {
  data_.QDXDatabase1.SetDatabaseFileName(DatabasePath());
  OpenDatabase();
  LbStaticText1Click();
  WatchForBackup();
}

// After the statistics: writing the consumption back is the program's own doing, not a change
// of the session's that asks for a backup at close.
void TForm1::WatchForBackup() {
  backupOnClose_.Opened(data_.QDXDatabase1.DatabaseFileName(), data_.QDXDatabase1.ReadOnly);
}

void TForm1::OpenDatabase() {
  data_.tb1.Open();
  data_.tb6.Open();
  ShowReadOnlyState();
  ShowCaption();
  if (OnVehicleOpened) OnVehicleOpened(VehicleFile());
}

void TForm1::CloseDatabase() {
  FormClose();
  data_.QDXDatabase1.Close();
}

QString TForm1::VehicleFile() const {
  return QDir::toNativeSeparators(QString::fromStdString(data_.QDXDatabase1.DatabaseFileName()));
}

bool TForm1::OpenVehicleFile(const QString& path) {
  if (!CloseQuery()) return false;
  const std::string previous = data_.QDXDatabase1.DatabaseFileName();
  const auto open = [this](const std::string& file) {
    // Read-only is the previous file's state; the next file says its own.
    data_.QDXDatabase1.ReadOnly = false;
    data_.QDXDatabase1.SetDatabaseFileName(file);
    OpenDatabase();
  };
  RunHandler([this] { CloseDatabase(); }, this);
  const std::string next =
      QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdString();
  const bool opened = RunHandler([&] { open(next); }, this);
  if (!opened) {
    RunHandler([this] { CloseDatabase(); }, this);
    RunHandler([&] { open(previous); }, this);
  }
  // The statistics of the file now open, or nothing where they cannot be computed.
  ShowStatistics(StatisticsLabels(TStatistics{}));
  RunHandler(
      [this] {
        FormShow();
        LbStaticText1Click();
        WatchForBackup();
      },
      this);
  return opened;
}

void TForm1::ShowCaption() {
  if (data_.QDXDatabase1.ReadOnly) {
    setWindowTitle(QString::fromUtf8(msg::kDatabaseInUseCaption));
    return;
  }
  std::u16string name = wagenlog::VehicleName(data_.tb6);
  if (name.empty()) name = QFileInfo(VehicleFile()).fileName().toStdU16String();
  const std::string text = QString::fromStdU16String(name).toStdString();
  setWindowTitle(
      QString::fromStdString(FormatOrFallback(msg::kVehicleCaption, {{FormatArg(text)}})));
}

void TForm1::ShowReadOnlyState() {
  const bool writable = !data_.QDXDatabase1.ReadOnly;
  // The navigators follow their datasets; the inputs and "Legen tabel" are told here.
  for (QWidget* input : std::initializer_list<QWidget*>{
           DBEditMerk, DBEditType, DBEditKenteken, DBEditStartKm, DBEditGewicht, DBDateDeel1,
           DBDateDatum, DBComboOmschrijving, DBEditBedrijf, DBEditKMStand, DBEditLiters,
           DBEditBedrag, LbStaticText[5]}) {
    input->setEnabled(writable);
  }
  for (QAction* command : writeCommands_) command->setEnabled(writable);
}

void TForm1::FormShow() {
  startKmStand_ = ReadStartKmStand(data_.tb6);
}

void TForm1::FormClose() {
  data_.tb1.Close();
  data_.tb6.Close();
  backupOnClose_.Closed();
}

void TForm1::ShowStatistics(const TStatisticsLabels& labels) {
  Label6->setText(labels.Label6);
  Label27->setText(labels.Label27);
  Label28->setText(labels.Label28);
  Label1->setText(labels.Label1);
  Label3->setText(labels.Label3);
  Label8->setText(labels.Label8);
  Label29->setText(labels.Label29);
  Label30->setText(labels.Label30);
  Label31->setText(labels.Label31);
  Label12->setText(labels.Label12);
  Label9->setText(labels.Label9);
}

void TForm1::LbStaticText1Click() {
  // Called from FormCreate too, where an error must end the create handler.
  // What the user typed after Nieuw or Wijzig goes into the record now: the walk suspends the
  // controls before its first move settles the record, and suspended controls are not asked.
  data_.tb1.UpdateRecord();
  const TStatistics statistics = ComputeStatistics(data_.tb1, data_.tb6, startKmStand_);
  ShowStatistics(StatisticsLabels(statistics));
}

template <typename Command>
void TForm1::RunChart(Command command) {
  RunHandler([&] { command(data_.tb1); }, this);
}

void TForm1::LbStaticText2Click() {
  RunChart([&](TDataSet& tb1) { ChartConsumption(tb1, startKmStand_, *form2_); });
}

void TForm1::LbStaticText3Click() {
  RunChart([&](TDataSet& tb1) { ChartLitres(tb1, startKmStand_, *form2_); });
}

void TForm1::LbStaticText4Click() {
  RunChart([&](TDataSet& tb1) { ChartKilometres(tb1, startKmStand_, *form2_); });
}

void TForm1::LbStaticText5Click() {
  RunChart([&](TDataSet& tb1) { ChartConsumptionLitresKilometres(tb1, startKmStand_, *form3_); });
}

void TForm1::LbStaticText7Click() {
  RunChart([&](TDataSet& tb1) { ChartCostShares(tb1, *form4_); });
}

void TForm1::LbStaticText8Click() {
  RunChart([&](TDataSet& tb1) { ChartFuelPrice(tb1, startKmStand_, *form2_); });
}

void TForm1::LbStaticText9Click() {
  RunChart([&](TDataSet& tb1) { ChartCostPerMonth(tb1, *form2_); });
}

void TForm1::LbStaticText6Click() {
  if (!LbStaticText[5]->isEnabled()) return;
  TQuestion question;
  question.Title = QString::fromUtf8(msg::kConfirmationCaption);
  question.Text = QString::fromUtf8(msg::kClearTableQuestion);
  question.Icon = QMessageBox::NoIcon;
  question.Buttons = {{QMessageBox::Yes, {}}, {QMessageBox::No, {}}};
  question.DefaultButton = QMessageBox::No;
  question.EscapeButton = QMessageBox::No;
  if (AskQuestion(question) != QMessageBox::Yes) return;
  RunHandler(
      [this] {
        data_.tb1.Close();
        data_.tb1.EmptyTable();
        data_.tb1.Open();
      },
      this);
}

void TForm1::DBNavigator3Click(TNavigateBtn button) {
  if (button == TNavigateBtn::nbInsert) DBDateDatum->setFocus();
}

bool TForm1::CloseQuery() {
  // Controls first write what the user typed into their records, so that a change still in an
  // edit counts as well.
  bool changed = false;
  for (TDataSet* dataSet :
       {static_cast<TDataSet*>(&data_.tb1), static_cast<TDataSet*>(&data_.tb6)}) {
    if (!IsChanging(*dataSet)) continue;
    if (!RunHandler([&] { dataSet->UpdateRecord(); }, this)) return false;
    changed = changed || dataSet->Modified();
  }
  if (!changed) return true;
  TQuestion question;
  question.Title = QString::fromUtf8(msg::kProgramName);
  question.Text = QString::fromUtf8(msg::kUnsavedChangeQuestion);
  question.Icon = QMessageBox::Question;
  question.Parent = this;
  question.Buttons = {{QMessageBox::Save, QString::fromUtf8(msg::kSaveButton)},
                      {QMessageBox::Discard, QString::fromUtf8(msg::kDiscardButton)},
                      {QMessageBox::Cancel, QString::fromUtf8(msg::kCancelButton)}};
  question.DefaultButton = QMessageBox::Save;
  question.EscapeButton = QMessageBox::Cancel;
  switch (AskQuestion(question)) {
    case QMessageBox::Save:
      // A record that cannot be stored keeps the window open so the user can correct it.
      return RunHandler(
          [this] {
            for (TDataSet* dataSet :
                 {static_cast<TDataSet*>(&data_.tb1), static_cast<TDataSet*>(&data_.tb6)}) {
              if (IsChanging(*dataSet)) dataSet->Post();
            }
          },
          this);
    case QMessageBox::Discard:
      return true;
    default:
      return false;
  }
}

void TForm1::showEvent(QShowEvent* event) {
  TForm::showEvent(event);
  if (!event->spontaneous()) RunHandler([this] { FormShow(); }, this);
}

void TForm1::closeEvent(QCloseEvent* event) {
  TForm::closeEvent(event);
  if (event->isAccepted() && !closed_) {
    closed_ = true;
    RunHandler([this] { FormClose(); }, this);
  }
}

}  // namespace qdx
