// The program over a real wagenlog.qdx: start-up and its failures, the statistics the window
// shows, entering, deleting and clearing records through the window, closing with a change that
// was not stored, and the chart commands.
#include "app/forms/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTableView>
#include <QToolButton>
#include <algorithm>
#include <memory>
#include <tuple>

#include "app/data/db_grid.h"
#include "app/data/db_navigator.h"
#include "app/data/field_binding.h"
#include "app/forms/chart_windows.h"
#include "app/forms/data_module.h"
#include "app/forms/program.h"
#include "app/widgets/date_edit.h"
#include "app/widgets/label_command.h"
#include "app/widgets/numeric_edit.h"
#include "engine/foundation/types/date_time.h"
#include "qt_printers.h"
#include "tests/foundation/locale_pin.h"
#include "ui_test_support.h"

namespace qdx {
namespace {

using test::ScopedAnswer;
using test::ScopedErrorBoxes;
using test::Type;

struct TRecord {
  int Year, Month, Day;
  const char16_t* Category;
  int32_t KmStand;
  double Liters;
  double Bedrag;
};

// The program as main() builds it, with shorter names.
struct TProgram : TWagenlogProgram {
  TDataModule1& data = DataModule1;
  TForm1& form1 = Form1;
  TForm2& form2 = Form2;
  TForm3& form3 = Form3;
  TForm4& form4 = Form4;
};

TDateTime DateValue(int year, int month, int day) {
  int32_t dayNumber = 0;
  TryEncodeDate(year, static_cast<uint32_t>(month), static_cast<uint32_t>(day), dayNumber);
  return DayNumberToDateValue(dayNumber);
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : locale_("en_US") { SetDatabaseDirectory(directory_.path()); }
  ~MainWindowTest() override { SetDatabaseDirectory({}); }

  QString DatabaseFile() const { return directory_.filePath(QStringLiteral("wagenlog.qdx")); }

  // An empty database with the program's two tables, as scripts/run makes it.
  void CreateDatabase() {
    const int status = QProcess::execute(QStringLiteral(QDX_TOOL_PATH),
                                         {QStringLiteral("create"), DatabaseFile(),
                                          QStringLiteral("--schema"), QStringLiteral("wagenlog")});
    ASSERT_EQ(status, 0);
  }

  // Creates the database and stores a vehicle record (when given) and the expenses.
  void CreateDatabase(std::optional<int32_t> startKmStand, std::initializer_list<TRecord> records) {
    CreateDatabase();
    TDataModule1 data;
    data.QDXDatabase1.SetDatabaseFileName(DatabasePath());
    data.tb1.Open();
    data.tb6.Open();
    if (startKmStand) {
      data.tb6.Append();
      data.tb6.FieldByName("Merk").SetAsString(u"Volvo");
      data.tb6.FieldByName("Start_km-stand").SetAsInteger(*startKmStand);
      data.tb6.Post();
    }
    for (const TRecord& r : records) {
      data.tb1.Append();
      data.tb1.FieldByName("Datum").SetAsDateTime(DateValue(r.Year, r.Month, r.Day));
      data.tb1.FieldByName("Omschrijving").SetAsString(r.Category);
      data.tb1.FieldByName("KMStand").SetAsInteger(r.KmStand);
      data.tb1.FieldByName("Liters").SetAsFloat(r.Liters);
      data.tb1.FieldByName("bedrag").SetAsCurrency(r.Bedrag);
      data.tb1.Post();
    }
  }

  std::unique_ptr<TProgram> Start() {
    auto program = std::make_unique<TProgram>();
    program->form1.show();
    return program;
  }

  // The grid's column of a field, as texts, for every record (the grid shows a window).
  static QStringList Column(TProgram& p, int column) {
    QStringList texts;
    const TDataSetModel& model = p.form1.DBGrid1->Model();
    for (int row = 0; row < model.rowCount(); ++row) {
      texts << model.index(row, column).data().toString();
    }
    return texts;
  }

  testing::ScopedUserLocale locale_;
  QTemporaryDir directory_;
};

TEST_F(MainWindowTest, StartUpShowsTheStatisticsOfTheRecords) {
  CreateDatabase(10000, {{2024, 1, 10, u"Brandstof", 10500, 40, 60.00},
                         {2024, 1, 20, u"Onderhoud", 0, 0, 100.00},
                         {2024, 2, 5, u"Brandstof", 11000, 35, 56.00}});
  auto p = Start();
  TForm1& f = p->form1;
  EXPECT_EQ(f.StartKmStand(), 10000);
  EXPECT_EQ(f.Label6->text(), "216");
  EXPECT_EQ(f.Label27->text(), "75");
  EXPECT_EQ(f.Label28->text(), "1000");
  EXPECT_EQ(f.Label1->text(), "$0.216");
  EXPECT_EQ(f.Label3->text(), "$0.116");
  EXPECT_EQ(f.Label8->text(), "$0.100");
  EXPECT_EQ(f.Label29->text(), "$0.000");
  EXPECT_EQ(f.Label12->text(), "13.333");
  EXPECT_EQ(f.Label9->text(), "7.500");
  // The walk ends on the last record; the consumption was written into both fuel records.
  EXPECT_EQ(Column(*p, 0).size(), 3);
  EXPECT_EQ(Column(*p, 6), (QStringList{"12.5", "", "14.29"}));
  EXPECT_EQ(f.DBEditMerk->text(), "Volvo");
  EXPECT_EQ(f.DBEditStartKm->Text(), "10000");
  EXPECT_EQ(f.DBComboOmschrijving->currentText(), "Brandstof");
}

TEST_F(MainWindowTest, WindowLayoutAndTexts) {
  CreateDatabase(10000, {});
  auto p = Start();
  TForm1& f = p->form1;
  // The caption names the vehicle of the file.
  EXPECT_EQ(f.windowTitle(), "Wagenlog - Volvo");
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  EXPECT_EQ(f.size(), QSize(820, 579));
  EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
  QStringList captions;
  for (const QLabel* label : f.findChildren<QLabel*>()) captions << label->text();
  for (const char* text :
       {"VOERTUIG GEGEVENS", "Merk", "Type", "Start KM stand", "Afgifte datum deel 1", "Kenteken",
        "Gewicht", "Wijzig", "Cancel", "Ververs", "KM prijs totaal", "KM prijs brandstof",
        "KM prijs onderhoud", "KM prijs verzekering", "KM prijs wegenbelasting",
        "KM prijs afschrijving", "EUROs", "Kosten", "Liters", "Kilometers", "Ltr per 100 km",
        "Km per liter", "INVOER  Brandstof/Onderhoud/Verzekering/Wegenbelasting/Afschrijving",
        "Datum", "Omschrijving", "Bedrijf", "KM stand", "Ltrs getankt", "Bedrag", "Eerste",
        "Vorig", "Volgend", "Laatste", "Nieuw", "Wis", "Grafieken"}) {
    EXPECT_TRUE(captions.contains(QString::fromUtf8(text))) << text;
  }
  QStringList items;
  for (int i = 0; i < f.DBComboOmschrijving->count(); ++i) items << f.DBComboOmschrijving->itemText(i);
  EXPECT_EQ(items, (QStringList{"Brandstof", "Onderhoud", "Verzekering", "Wegenbelasting", "Afschrijving"}));
  EXPECT_FALSE(f.DBComboOmschrijving->isEditable());
  const QStringList commands = {"Berekenen", "Verbruik", "Brandstof Ltr", "Kilometers", "VerbrLtrKm",
                                "Legen tabel", "Taart", "Brandstof Prijs", "Kost p mnd"};
  for (size_t i = 0; i < f.LbStaticText.size(); ++i) {
    EXPECT_EQ(f.LbStaticText[i]->Caption(), commands[static_cast<int>(i)]);
  }
  EXPECT_EQ(f.LbStaticText[5]->HighlightColor(), QColor(Qt::red));
  EXPECT_EQ(f.LbStaticText[0]->HighlightColor(), QColor(206, 255, 206));
  EXPECT_EQ(f.DBGrid1->geometry(), QRect(8, 346, 715, 225));
  QStringList titles;
  for (int c = 0; c < f.DBGrid1->Model().columnCount(); ++c) {
    titles << f.DBGrid1->Model().headerData(c, Qt::Horizontal).toString();
  }
  EXPECT_EQ(titles, (QStringList{"Datum", "Omschrijving", "Bedrijf", "KMStand", "Liters", "bedrag", "KM/ltr"}));
  EXPECT_EQ(f.DBGrid1->View().columnWidth(6), 50);
}

// Where a control stands in the window's own coordinates.
QRect InWindow(const QWidget& window, const QWidget& control) {
  return QRect(control.mapTo(&window, QPoint(0, 0)), control.size());
}

TEST_F(MainWindowTest, ControlsStandAsLaidOutAndNoTextIsClippedOrOverlapped) {
  CreateDatabase(10000, {{2024, 1, 10, u"Brandstof", 10500, 40, 60.00},
                         {2024, 11, 25, u"Onderhoud", 0, 0, 1234.56}});
  auto p = Start();
  TForm1& f = p->form1;
  QApplication::processEvents();
  ASSERT_EQ(f.size(), QSize(820, 579));

  const std::pair<const QWidget*, QRect> layout[] = {
      {f.DBEditMerk, {24, 45, 121, 21}},         {f.DBEditType, {160, 45, 121, 21}},
      {f.DBEditStartKm, {24, 87, 121, 21}},      {f.DBDateDeel1, {160, 87, 121, 21}},
      {f.DBEditKenteken, {24, 128, 121, 21}},    {f.DBEditGewicht, {160, 128, 121, 21}},
      {f.DBNavigator2, {288, 87, 180, 25}},      {f.LbStaticText[0], {488, 16, 81, 41}},
      {f.DBDateDatum, {8 + 17, 204 + 46, 97, 21}}, {f.DBComboOmschrijving, {8 + 120, 204 + 47, 145, 21}},
      {f.DBEditBedrijf, {8 + 281, 204 + 48, 153, 21}}, {f.DBEditKMStand, {8 + 441, 204 + 46, 81, 21}},
      {f.DBEditLiters, {8 + 537, 204 + 46, 73, 21}}, {f.DBEditBedrag, {8 + 625, 204 + 46, 89, 21}},
      {f.DBNavigator1, {24, 312, 232, 25}},      {f.DBNavigator3, {296, 312, 260, 25}},
      {f.LbStaticText[5], {584, 312, 81, 23}},   {f.DBGrid1, {8, 346, 715, 225}},
      {f.LbStaticText[1], {734, 352, 77, 23}},   {f.LbStaticText[2], {734, 376, 77, 23}},
      {f.LbStaticText[7], {734, 400, 77, 23}},   {f.LbStaticText[3], {734, 424, 77, 23}},
      {f.LbStaticText[4], {734, 448, 77, 23}},   {f.LbStaticText[6], {734, 472, 77, 23}},
      {f.LbStaticText[8], {734, 496, 77, 23}}};
  QList<std::pair<QString, QRect>> occupied;  // every control and caption, to find overlaps
  for (const auto& [control, geometry] : layout) {
    EXPECT_EQ(InWindow(f, *control), geometry) << control->objectName().toStdString();
    occupied.append({control->objectName(), geometry});
  }
  for (const TLbStaticText* command : f.LbStaticText) {
    EXPECT_LE(QFontMetrics(command->CaptionFont()).horizontalAdvance(command->Caption()),
              command->Face().width())
        << command->Caption().toStdString();
  }

  // Every caption and value is wide enough for its text and overlaps nothing else.
  for (const QLabel* label : f.findChildren<QLabel*>()) {
    if (!label->isVisible() || label->text().isEmpty()) continue;
    const QString text = label->text();
    EXPECT_LE(label->fontMetrics().horizontalAdvance(text), label->contentsRect().width())
        << text.toStdString();
    const QRect where = InWindow(f, *label);
    EXPECT_TRUE(QRect(0, 0, 820, 579).contains(where)) << text.toStdString();
    for (const auto& [other, otherWhere] : occupied) {
      EXPECT_FALSE(where.intersects(otherWhere)) << text.toStdString() << " / " << other.toStdString();
    }
    occupied.append({text, where});
  }

  // The grid's dates fit their column, with the margins a cell keeps around its text.
  QTableView& grid = f.DBGrid1->View();
  ASSERT_EQ(Column(*p, 0), (QStringList{"1/10/2024", "11/25/2024"}));
  for (int row = 0; row < 2; ++row) {
    // The grid line takes a pixel of the column.
    EXPECT_LT(grid.sizeHintForIndex(grid.model()->index(row, 0)).width(), grid.columnWidth(0)) << row;
  }

  // The navigators' captions stand centred over their buttons, above the bar.
  const std::tuple<const TDBNavigator*, TNavigateBtn, const char*> captions[] = {
      {f.DBNavigator1, TNavigateBtn::nbFirst, "Eerste"},  {f.DBNavigator1, TNavigateBtn::nbPrior, "Vorig"},
      {f.DBNavigator1, TNavigateBtn::nbNext, "Volgend"},  {f.DBNavigator1, TNavigateBtn::nbLast, "Laatste"},
      {f.DBNavigator3, TNavigateBtn::nbInsert, "Nieuw"},  {f.DBNavigator3, TNavigateBtn::nbDelete, "Wis"},
      {f.DBNavigator3, TNavigateBtn::nbEdit, "Wijzig"},   {f.DBNavigator3, TNavigateBtn::nbCancel, "Cancel"},
      {f.DBNavigator3, TNavigateBtn::nbRefresh, "Ververs"}};
  for (const auto& [navigator, button, text] : captions) {
    const QRect face = InWindow(f, *navigator->Button(button));
    EXPECT_EQ(face, navigator->ButtonFace(button).translated(navigator->pos())) << text;
    // A copy for the search: clang 14 cannot capture a structured binding in a lambda.
    const QString caption = QString::fromUtf8(text);
    const auto label = std::find_if(occupied.begin(), occupied.end(), [&](const auto& entry) {
      return entry.first == caption && entry.second.top() == 293;
    });
    ASSERT_NE(label, occupied.end()) << text;
    EXPECT_LE(std::abs(label->second.center().x() - face.center().x()), 1) << text;
  }
}

TEST_F(MainWindowTest, MissingDatabaseShowsTwoErrorsAndCreatesNothing) {
  ScopedErrorBoxes errors;
  auto p = Start();
  const QString path = QString::fromStdString(DatabasePath());
  EXPECT_EQ(errors.Texts,
            (QStringList{"QDXDatabase1: Database file '" + path + "' does not exist.",
                         "tb6: Field 'start_km-stand' not found."}));
  EXPECT_FALSE(QFile::exists(DatabaseFile()));
  EXPECT_EQ(p->form1.Label6->text(), "0");
  EXPECT_TRUE(p->form1.isVisible());
  EXPECT_EQ(p->form1.DBEditMerk->text(), "");
}

TEST_F(MainWindowTest, EmptyTablesStartWithZeros) {
  CreateDatabase(std::nullopt, {});
  auto p = Start();
  EXPECT_EQ(p->form1.StartKmStand(), 0);
  EXPECT_EQ(p->form1.Label6->text(), "0");
  EXPECT_EQ(p->form1.Label1->text(), "$0.000");
  EXPECT_EQ(p->form1.Label12->text(), "0.000");
  EXPECT_EQ(p->form1.DBGrid1->Model().rowCount(), 0);
}

TEST_F(MainWindowTest, NewRecordIsStoredAndShownInDateOrder) {
  CreateDatabase(10000, {{2024, 1, 10, u"Brandstof", 10500, 40, 60.00},
                         {2024, 3, 5, u"Brandstof", 11000, 35, 56.00}});
  {
    auto p = Start();
    TForm1& f = p->form1;
    // Typing into the entry panel before Nieuw changes nothing.
    Type(*f.DBEditBedrijf, QStringLiteral("X"));
    EXPECT_EQ(f.DBEditBedrijf->text(), "");
    EXPECT_EQ(p->data.tb1.State(), TDataSetState::Browse);

    f.DBNavigator3->BtnClick(TNavigateBtn::nbInsert);
    EXPECT_EQ(p->data.tb1.State(), TDataSetState::Inserting);
    Type(f.DBDateDatum->Edit(), QStringLiteral("2/15/2024"));
    f.DBComboOmschrijving->setCurrentIndex(1);
    static_cast<TDBFieldBinding*>(f.DBComboOmschrijving->findChild<QObject*>(QStringLiteral("FieldBinding")))
        ->Link()
        .Modified();
    Type(*f.DBEditBedrijf, QStringLiteral("Garage"));
    Type(f.DBEditBedrag->Edit(), QStringLiteral("120.5"));
    f.DBNavigator3->BtnClick(TNavigateBtn::nbRefresh);
    EXPECT_EQ(p->data.tb1.State(), TDataSetState::Browse);
    EXPECT_EQ(Column(*p, 0), (QStringList{"1/10/2024", "2/15/2024", "3/5/2024"}));
    EXPECT_EQ(Column(*p, 1), (QStringList{"Brandstof", "Onderhoud", "Brandstof"}));
    p->form1.close();
  }
  // Still there after a restart.
  auto p = Start();
  EXPECT_EQ(Column(*p, 2), (QStringList{"", "Garage", ""}));
  EXPECT_EQ(p->form1.Label6->text(), "236.5");
}

TEST_F(MainWindowTest, WisAsksBeforeDeleting) {
  CreateDatabase(10000, {{2024, 1, 10, u"Onderhoud", 0, 0, 60.00}, {2024, 3, 5, u"Onderhoud", 0, 0, 56.00}});
  auto p = Start();
  {
    ScopedAnswer cancel(QMessageBox::Cancel);
    p->form1.DBNavigator3->BtnClick(TNavigateBtn::nbDelete);
    EXPECT_EQ(cancel.Questions, QStringList{"Delete record?"});
  }
  EXPECT_EQ(p->data.tb1.RecordCount(), 2);
  ScopedAnswer ok(QMessageBox::Ok);
  p->form1.DBNavigator3->BtnClick(TNavigateBtn::nbDelete);
  EXPECT_EQ(p->data.tb1.RecordCount(), 1);
}

TEST_F(MainWindowTest, LegenTabelEmptiesTheTableOnlyOnYes) {
  CreateDatabase(10000, {{2024, 1, 10, u"Onderhoud", 0, 0, 60.00}, {2024, 3, 5, u"Onderhoud", 0, 0, 56.00}});
  auto p = Start();
  {
    ScopedAnswer no(QMessageBox::No);
    p->form1.LbStaticText[5]->Click();
    EXPECT_EQ(no.Questions, QStringList{"Alle Records leeg maken?? Zeker weten?"});
    EXPECT_EQ(no.Titles, QStringList{"Bevestiging"});
  }
  EXPECT_EQ(p->data.tb1.RecordCount(), 2);
  ScopedAnswer yes(QMessageBox::Yes);
  p->form1.LbStaticText[5]->Click();
  EXPECT_EQ(p->data.tb1.RecordCount(), 0);
  EXPECT_TRUE(p->data.tb1.Active());
  EXPECT_EQ(p->form1.DBGrid1->Model().rowCount(), 0);
  // The statistics keep their figures until Berekenen.
  EXPECT_EQ(p->form1.Label6->text(), "116");
  p->form1.LbStaticText[0]->Click();
  EXPECT_EQ(p->form1.Label6->text(), "0");
}

TEST_F(MainWindowTest, ClosingWithAChangeNotStoredAsksWhatToDo) {
  CreateDatabase(10000, {});
  struct Case {
    QMessageBox::StandardButton Answer;
    bool Closes;
    const char* Stored;
  };
  for (const Case& c : {Case{QMessageBox::Cancel, false, "Volvo"}, Case{QMessageBox::Discard, true, "Volvo"},
                        Case{QMessageBox::Save, true, "Volvo 2"}}) {
    SCOPED_TRACE(c.Stored);
    {
      auto p = Start();
      p->form1.DBEditMerk->end(false);
      Type(*p->form1.DBEditMerk, QStringLiteral(" 2"));
      EXPECT_EQ(p->data.tb6.State(), TDataSetState::Editing);
      ScopedAnswer answer(c.Answer);
      EXPECT_EQ(p->form1.close(), c.Closes);
      EXPECT_EQ(answer.Questions.size(), 1);
      if (!c.Closes) {
        EXPECT_EQ(p->data.tb6.State(), TDataSetState::Editing);
        p->data.tb6.Cancel();
      }
    }
    auto p = Start();
    EXPECT_EQ(p->form1.DBEditMerk->text(), QString::fromUtf8(c.Stored));
    p->form1.close();
  }
}

TEST_F(MainWindowTest, ChartCommandsFillTheirWindows) {
  CreateDatabase(10000, {{2024, 1, 10, u"Brandstof", 10500, 40, 60.00},
                         {2024, 1, 20, u"Onderhoud", 0, 0, 100.00},
                         {2024, 2, 5, u"Brandstof", 11000, 35, 56.00}});
  auto p = Start();
  p->form1.LbStaticText[8]->Click();  // Kost p mnd
  EXPECT_TRUE(p->form2.isVisible());
  EXPECT_EQ(p->form2.Series1().Count(), 2u);
  EXPECT_EQ(p->form2.Series1().Point(0).Value, 160);
  p->form1.LbStaticText[4]->Click();  // VerbrLtrKm
  EXPECT_TRUE(p->form3.isVisible());
  EXPECT_EQ(p->form3.Series3().Point(0).Value, 50);
  p->form1.LbStaticText[6]->Click();  // Taart
  EXPECT_TRUE(p->form4.isVisible());
  EXPECT_EQ(p->form4.Series1().Point(1).Value, 100);
}

}  // namespace
}  // namespace qdx
