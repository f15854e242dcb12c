// One file per vehicle: two vehicles switched back and forth through the window's menu (their
// own records, statistics and caption), the question about an unsaved change on the way, files
// that do not open, a new vehicle, and the list of recent files the program starts from.
#include "app/vehicle_files.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "app/data/db_grid.h"
#include "app/data/db_navigator.h"
#include "app/forms/form_placement.h"
#include "app/forms/program.h"
#include "engine/foundation/types/date_time.h"
#include "qt_printers.h"
#include "tests/foundation/locale_pin.h"
#include "ui_test_support.h"

namespace qdx {
namespace {

using test::ScopedAnswer;
using test::ScopedErrorBoxes;

struct TVehicle {
  const char16_t* Merk;
  const char16_t* Type;
  const char16_t* Kenteken;
  int32_t StartKm;
};

struct TFuel {
  int Year, Month, Day;
  int32_t KmStand;
  double Liters;
  double Bedrag;
};

// The menu's chooser answers with the file a test names, and records what it was asked.
class ScopedChooser {
 public:
  ScopedChooser()
      : previous_(SetVehicleFileChooser([this](QWidget*, TVehicleFileRole role) {
          Roles.push_back(role);
          return Answer;
        })) {}
  ~ScopedChooser() { SetVehicleFileChooser(previous_); }
  QString Answer;
  std::vector<TVehicleFileRole> Roles;

 private:
  TVehicleFileChooser previous_;
};

class VehicleFilesTest : public ::testing::Test {
 protected:
  VehicleFilesTest() : locale_("en_US"), previousStore_(TFormPlacement::DefaultIniFileName()) {
    TFormPlacement::SetDefaultIniFileName(directory_.filePath(QStringLiteral("placement.ini")));
  }
  ~VehicleFilesTest() override {
    SetDatabaseFile({});
    TFormPlacement::SetDefaultIniFileName(previousStore_);
  }

  QString File(const char* name) const { return directory_.filePath(QString::fromUtf8(name)); }

  // A database with the program's tables, a vehicle record (when given) and fuel records.
  QString CreateVehicle(const char* name, std::optional<TVehicle> vehicle,
                        std::initializer_list<TFuel> fuel) {
    const QString file = File(name);
    EXPECT_EQ(QProcess::execute(QStringLiteral(QDX_TOOL_PATH),
                                {QStringLiteral("create"), file, QStringLiteral("--schema"),
                                 QStringLiteral("wagenlog")}),
              0);
    TDataModule1 data;
    data.QDXDatabase1.SetDatabaseFileName(file.toStdString());
    data.tb1.Open();
    data.tb6.Open();
    if (vehicle) {
      data.tb6.Append();
      data.tb6.FieldByName("Merk").SetAsString(vehicle->Merk);
      data.tb6.FieldByName("Type").SetAsString(vehicle->Type);
      data.tb6.FieldByName("Kenteken").SetAsString(vehicle->Kenteken);
      data.tb6.FieldByName("Start_km-stand").SetAsInteger(vehicle->StartKm);
      data.tb6.Post();
    }
    for (const TFuel& r : fuel) {
      int32_t day = 0;
      TryEncodeDate(r.Year, static_cast<uint32_t>(r.Month), static_cast<uint32_t>(r.Day), day);
      data.tb1.Append();
      data.tb1.FieldByName("Datum").SetAsDateTime(DayNumberToDateValue(day));
      data.tb1.FieldByName("Omschrijving").SetAsString(u"Brandstof");
      data.tb1.FieldByName("KMStand").SetAsInteger(r.KmStand);
      data.tb1.FieldByName("Liters").SetAsFloat(r.Liters);
      data.tb1.FieldByName("bedrag").SetAsCurrency(r.Bedrag);
      data.tb1.Post();
    }
    return file;
  }

  // The two vehicles of most tests: a Volvo driven 1000 km on 75 litres, a Fiat 600 km on 40.
  void CreateTwoVehicles() {
    volvo_ = CreateVehicle("volvo.qdx", TVehicle{u"Volvo", u"V70", u"AB-12-CD", 10000},
                           {{2024, 1, 10, 10500, 40, 60.00}, {2024, 2, 5, 11000, 35, 56.00}});
    fiat_ = CreateVehicle("fiat.qdx", TVehicle{u"Fiat", u"Panda", u"", 500},
                          {{2024, 3, 1, 1100, 40, 70.00}});
  }

  std::unique_ptr<TWagenlogProgram> Start(const QString& file) {
    SetDatabaseFile(file);
    auto program = std::make_unique<TWagenlogProgram>();
    program->Form1.show();
    return program;
  }

  // The window's menu command by its text ("&1 volvo.qdx" for a recent file).
  static QAction* Command(TForm1& window, const QString& text) {
    for (QAction* action : window.actions()) {
      if (action->text() == text && action->isVisible()) return action;
    }
    ADD_FAILURE() << "no command " << text.toStdString();
    return nullptr;
  }

  void OpenThroughTheMenu(TForm1& window, const QString& file) {
    ScopedChooser chooser;
    chooser.Answer = file;
    QAction* open = Command(window, QStringLiteral("Ander voertuig openen..."));
    ASSERT_NE(open, nullptr);
    open->trigger();
    ASSERT_EQ(chooser.Roles, std::vector<TVehicleFileRole>{TVehicleFileRole::OpenVehicle});
  }

  static QStringList RecentTexts(TForm1& window) {
    QStringList texts;
    for (QAction* action : window.actions()) {
      if (action->text().startsWith(QLatin1Char('&')) && action->isVisible())
        texts << action->text();
    }
    return texts;
  }

  testing::ScopedUserLocale locale_;
  QTemporaryDir directory_;
  QString previousStore_;
  QString volvo_;
  QString fiat_;
};

TEST_F(VehicleFilesTest, TwoVehiclesSwitchedThroughTheMenuKeepTheirOwnRecordsAndStatistics) {
  CreateTwoVehicles();
  auto program = Start(volvo_);
  TForm1& window = program->Form1;
  struct TShown {
    QString File, Caption, KmPerLitre, Kilometres;
    int Records;
  };
  const TShown volvo{volvo_, "Wagenlog - Volvo V70 AB-12-CD", "13.333", "1000", 2};
  const TShown fiat{fiat_, "Wagenlog - Fiat Panda", "15.000", "600", 1};
  const auto expectShown = [&](const TShown& shown) {
    EXPECT_EQ(window.VehicleFile(), shown.File);
    EXPECT_EQ(window.windowTitle(), shown.Caption);
    EXPECT_EQ(window.Label12->text(), shown.KmPerLitre);
    EXPECT_EQ(window.Label28->text(), shown.Kilometres);
    EXPECT_EQ(window.DBGrid1->Model().rowCount(), shown.Records);
    EXPECT_EQ(window.StartKmStand(), shown.File == volvo_ ? 10000 : 500);
  };
  expectShown(volvo);

  OpenThroughTheMenu(window, fiat_);
  expectShown(fiat);
  // A record entered for the Fiat stays in the Fiat's file.
  program->DataModule1.tb1.Append();
  int32_t april = 0;
  ASSERT_TRUE(TryEncodeDate(2024, 4, 1, april));
  program->DataModule1.tb1.FieldByName("Datum").SetAsDateTime(DayNumberToDateValue(april));
  program->DataModule1.tb1.FieldByName("Omschrijving").SetAsString(u"Onderhoud");
  program->DataModule1.tb1.FieldByName("bedrag").SetAsCurrency(99);
  program->DataModule1.tb1.Post();

  // Back to the Volvo through the recent files, newest first.
  EXPECT_EQ(RecentTexts(window), (QStringList{"&1 fiat.qdx", "&2 volvo.qdx"}));
  Command(window, QStringLiteral("&2 volvo.qdx"))->trigger();
  expectShown(volvo);
  EXPECT_EQ(RecentTexts(window), (QStringList{"&1 volvo.qdx", "&2 fiat.qdx"}));

  Command(window, QStringLiteral("&2 fiat.qdx"))->trigger();
  expectShown({fiat_, fiat.Caption, fiat.KmPerLitre, fiat.Kilometres, 2});
  EXPECT_EQ(window.Label6->text(), "169");
}

TEST_F(VehicleFilesTest, TheCaptionNamesTheFileUntilTheVehicleRecordNamesTheVehicle) {
  const QString file = CreateVehicle("zonder-naam.qdx", std::nullopt, {});
  auto program = Start(file);
  TForm1& window = program->Form1;
  EXPECT_EQ(window.windowTitle(), "Wagenlog - zonder-naam.qdx");
  window.DBEditKenteken->setFocus();
  test::Type(*window.DBEditKenteken, QStringLiteral("XY-99-Z"));
  window.DBNavigator2->BtnClick(TNavigateBtn::nbRefresh);
  EXPECT_EQ(window.windowTitle(), "Wagenlog - XY-99-Z");
}

TEST_F(VehicleFilesTest, SwitchingAsksAboutAnUnsavedChangeAsClosingDoes) {
  CreateTwoVehicles();
  auto program = Start(volvo_);
  TForm1& window = program->Form1;
  window.DBEditMerk->setFocus();
  window.DBEditMerk->selectAll();
  test::Type(*window.DBEditMerk, QStringLiteral("Saab"));
  {
    ScopedAnswer stay(QMessageBox::Cancel);
    OpenThroughTheMenu(window, fiat_);
    ASSERT_EQ(stay.Questions.size(), 1);
    EXPECT_EQ(window.VehicleFile(), volvo_);
    EXPECT_EQ(window.DBEditMerk->text(), "Saab");
  }
  {
    ScopedAnswer save(QMessageBox::Save);
    OpenThroughTheMenu(window, fiat_);
    EXPECT_EQ(save.Questions.size(), 1);
    EXPECT_EQ(window.VehicleFile(), fiat_);
  }
  OpenThroughTheMenu(window, volvo_);
  EXPECT_EQ(window.windowTitle(), "Wagenlog - Saab V70 AB-12-CD");
  window.DBEditMerk->selectAll();
  test::Type(*window.DBEditMerk, QStringLiteral("Opel"));
  {
    ScopedAnswer discard(QMessageBox::Discard);
    OpenThroughTheMenu(window, fiat_);
  }
  OpenThroughTheMenu(window, volvo_);
  EXPECT_EQ(window.DBEditMerk->text(), "Saab");
}

TEST_F(VehicleFilesTest, AFileThatDoesNotOpenIsReportedAndTheCurrentOneStays) {
  CreateTwoVehicles();
  QFile text(File("notities.qdx"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("Dit is geen database, maar een boodschappenlijst.\n");
  text.close();
  const QString damaged = File("beschadigd.qdx");
  ASSERT_TRUE(QFile::copy(fiat_, damaged));
  QFile cut(damaged);
  ASSERT_TRUE(cut.resize(100));
  const QString folder = directory_.path();

  auto program = Start(volvo_);
  TForm1& window = program->Form1;
  for (const QString& file : {File("ontbreekt.qdx"), File("notities.qdx"), damaged, folder}) {
    SCOPED_TRACE(file.toStdString());
    ScopedErrorBoxes errors;
    ScopedAnswer no(QMessageBox::No);
    OpenThroughTheMenu(window, file);
    EXPECT_FALSE(errors.Texts.isEmpty());
    EXPECT_EQ(window.VehicleFile(), volvo_);
    EXPECT_EQ(window.windowTitle(), "Wagenlog - Volvo V70 AB-12-CD");
    EXPECT_EQ(window.Label12->text(), "13.333");
    EXPECT_EQ(window.DBGrid1->Model().rowCount(), 2);
    EXPECT_TRUE(program->DataModule1.tb1.CanModify());
  }
  // Only the files that opened are offered again.
  EXPECT_EQ(RecentVehicleFiles(), QStringList{volvo_});
}

TEST_F(VehicleFilesTest, ANewVehicleIsAnEmptyFileWithTheProgramsTables) {
  CreateTwoVehicles();
  auto program = Start(volvo_);
  TForm1& window = program->Form1;
  {
    ScopedChooser chooser;
    chooser.Answer = File("tweede auto");
    Command(window, QStringLiteral("Nieuw voertuig..."))->trigger();
    EXPECT_EQ(chooser.Roles, std::vector<TVehicleFileRole>{TVehicleFileRole::NewVehicle});
  }
  const QString made = File("tweede auto.qdx");
  EXPECT_TRUE(QFileInfo(made).isFile());
  EXPECT_EQ(window.VehicleFile(), made);
  EXPECT_EQ(window.windowTitle(), "Wagenlog - tweede auto.qdx");
  EXPECT_TRUE(program->DataModule1.tb1.IsEmpty());
  EXPECT_TRUE(program->DataModule1.tb6.IsEmpty());
  EXPECT_EQ(window.Label6->text(), "0");

  // An existing file is never made again over its records.
  ScopedErrorBoxes errors;
  ScopedChooser chooser;
  chooser.Answer = volvo_;
  Command(window, QStringLiteral("Nieuw voertuig..."))->trigger();
  ASSERT_EQ(errors.Texts.size(), 1);
  EXPECT_TRUE(errors.Texts[0].startsWith("Het bestand '" + volvo_ + "' bestaat al."));
  EXPECT_EQ(window.VehicleFile(), made);
  OpenThroughTheMenu(window, volvo_);
  EXPECT_EQ(window.DBGrid1->Model().rowCount(), 2);
}

// Files of one name in different folders are told apart on the menu by their folders.
TEST_F(VehicleFilesTest, RecentFilesOfOneNameShowTheirFolders) {
  CreateTwoVehicles();
  const QString first = File("a/wagenlog.qdx");
  const QString second = File("b/wagenlog.qdx");
  RememberVehicleFile(first);
  RememberVehicleFile(second);
  auto program = Start(volvo_);
  const auto folder = [](const QString& file) {
    return QDir::toNativeSeparators(QFileInfo(file).absolutePath());
  };
  EXPECT_EQ(RecentTexts(program->Form1),
            (QStringList{"&1 volvo.qdx", "&2 wagenlog.qdx (" + folder(second) + ")",
                         "&3 wagenlog.qdx (" + folder(first) + ")"}));
}

TEST_F(VehicleFilesTest, RecentFilesKeepTheFiveNewestAndChooseTheStart) {
  QStringList files;
  for (const char* name : {"a.qdx", "b.qdx", "c.qdx", "d.qdx", "e.qdx", "f.qdx"}) {
    files << File(name);
    RememberVehicleFile(files.back());
  }
  RememberVehicleFile(files[3]);
  EXPECT_EQ(RecentVehicleFiles(), (QStringList{files[3], files[5], files[4], files[2], files[1]}));

  const QString program = QStringLiteral("wagenlog");
  struct TCase {
    const char* Name;
    QStringList Arguments;
    bool LastExists;
    QString Start;
  };
  const TCase cases[] = {
      {"an argument wins", {program, QStringLiteral("--start-and-quit"), files[0]}, true, files[0]},
      {"else the file used last", {program}, true, files[3]},
      {"not when it is gone", {program, QStringLiteral("--start-and-quit")}, false, QString()},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.LastExists) {
      QFile last(files[3]);
      EXPECT_TRUE(last.open(QIODevice::WriteOnly));
    } else {
      QFile::remove(files[3]);
    }
    EXPECT_EQ(StartVehicleFile(c.Arguments), c.Start);
  }
}

}  // namespace
}  // namespace qdx
