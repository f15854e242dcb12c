// The program as a user meets it, started as main() starts it: the database component's repair
// question, conversion notice and password dialog (the real dialogs, answered from a timer),
// errors that a dataset cannot pass to a caller, Qt's texts in the user's language, input typed
// before "Berekenen", and windows that fill themselves and open on the screen.
#include "app/program_setup.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/data/db_grid.h"
#include "app/forms/chart_windows.h"
#include "app/forms/data_module.h"
#include "app/forms/form.h"
#include "app/forms/form_placement.h"
#include "app/forms/program.h"
#include "app/widgets/date_edit.h"
#include "app/widgets/label_command.h"
#include "app/widgets/numeric_edit.h"
#include "engine/disk/database_header.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/types/date_time.h"
#include "qt_printers.h"
#include "tests/foundation/locale_pin.h"
#include "ui_test_support.h"

namespace qdx {
namespace {

using test::ScopedErrorBoxes;
using test::Type;

// Answers the modal dialogs shown while it lives, one answer each, in turn, and keeps what
// each dialog said (a message box's title and text, another dialog's title). A dialog beyond the
// answers is rejected, and kept too, so that a test sees it.
class ModalAnswers {
 public:
  using TAnswer = std::function<void(QWidget&)>;

  explicit ModalAnswers(std::vector<TAnswer> answers) : answers_(std::move(answers)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  // A message box's button; the dialog's own button by its text otherwise.
  static TAnswer Click(QMessageBox::StandardButton button) {
    return [button](QWidget& modal) {
      auto* box = qobject_cast<QMessageBox*>(&modal);
      ASSERT_NE(box, nullptr) << modal.windowTitle().toStdString();
      box->button(button)->click();
    };
  }
  // Types `password` into the password dialog and clicks OK, or Cancel when none.
  static TAnswer Password(std::optional<QString> password) {
    return [password](QWidget& modal) {
      auto* edit = modal.findChild<QLineEdit*>();
      ASSERT_NE(edit, nullptr) << modal.windowTitle().toStdString();
      if (password) edit->setText(*password);
      for (QPushButton* button : modal.findChildren<QPushButton*>()) {
        if (button->text() == (password ? "OK" : "Cancel")) button->click();
      }
    };
  }

  QStringList Seen;

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal == answered_) return;
    answered_ = modal;
    auto* box = qobject_cast<QMessageBox*>(modal);
    Seen << (box != nullptr ? box->windowTitle() + ": " + box->text() : modal->windowTitle());
    if (next_ < answers_.size()) {
      answers_[next_++](*modal);
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->reject();
    }
  }

  std::vector<TAnswer> answers_;
  size_t next_ = 0;
  QPointer<QWidget> answered_;
  QTimer timer_;
};

// The program's objects with shorter names.
struct TProgram : TWagenlogProgram {
  TDataModule1& data = DataModule1;
  TForm1& form1 = Form1;
  TForm2& form2 = Form2;
};

struct TExpense {
  int Month, Day;
  const char16_t* Category;
  double Bedrag;
};

class ProgramStartTest : public ::testing::Test {
 protected:
  ProgramStartTest() : locale_("en_US") {
    SetDatabaseDirectory(directory_.path());
    previousStore_ = TFormPlacement::DefaultIniFileName();
    TFormPlacement::SetDefaultIniFileName(directory_.filePath(QStringLiteral("placement.ini")));
  }
  ~ProgramStartTest() override {
    TFormPlacement::SetDefaultIniFileName(previousStore_);
    SetDatabaseDirectory({});
  }

  QString DatabaseFile() const { return directory_.filePath(QStringLiteral("wagenlog.qdx")); }

  // A database with the program's tables, a vehicle record and `expenses` of 2024, made as
  // scripts/run makes it; with a password when one is given.
  void CreateDatabase(std::initializer_list<TExpense> expenses, const std::string& password = {}) {
    QStringList arguments = {QStringLiteral("create"), DatabaseFile(), QStringLiteral("--schema"),
                             QStringLiteral("wagenlog")};
    if (!password.empty()) arguments << QStringLiteral("--password") << QString::fromStdString(password);
    ASSERT_EQ(QProcess::execute(QStringLiteral(QDX_TOOL_PATH), arguments), 0);
    TDataModule1 data;
    data.QDXDatabase1.SetDatabaseFileName(DatabasePath());
    data.QDXDatabase1.Password = password;
    data.tb1.Open();
    data.tb6.Open();
    data.tb6.Append();
    data.tb6.FieldByName("Start_km-stand").SetAsInteger(10000);
    data.tb6.Post();
    for (const TExpense& e : expenses) {
      int32_t day = 0;
      ASSERT_TRUE(TryEncodeDate(2024, static_cast<uint32_t>(e.Month), static_cast<uint32_t>(e.Day), day));
      data.tb1.Append();
      data.tb1.FieldByName("Datum").SetAsDateTime(DayNumberToDateValue(day));
      data.tb1.FieldByName("Omschrijving").SetAsString(e.Category);
      data.tb1.FieldByName("bedrag").SetAsCurrency(e.Bedrag);
      data.tb1.Post();
    }
  }

  QByteArray FileBytes() const {
    QFile file(DatabaseFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  // The header's FileState: 0 consistent, 1 left in the middle of a commit.
  uint8_t FileState() const { return static_cast<uint8_t>(FileBytes().at(42)); }
  void SetFileState(uint8_t state) {
    QByteArray bytes = FileBytes();
    bytes[42] = static_cast<char>(state);
    QFile file(DatabaseFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  // Starts the program as main() does: its setup first, then its objects, then the main window.
  struct TStarted {
    TProgramSetup setup;
    TProgram program;
  };
  static std::unique_ptr<TStarted> Start() {
    auto started = std::make_unique<TStarted>();
    started->program.form1.show();
    QApplication::processEvents();
    return started;
  }

  testing::ScopedUserLocale locale_;
  QTemporaryDir directory_;

 private:
  QString previousStore_;
};

TEST_F(ProgramStartTest, AFileLeftInTheMiddleOfACommitBringsTheRepairQuestion) {
  const QString question =
      "Confirm: Database file was not correctly closed last time. Do you want to repair it?";
  struct Case {
    QMessageBox::StandardButton Answer;
    uint8_t StateAfter;  // repaired, or left as it was
  };
  for (const Case& c : {Case{QMessageBox::Yes, kFileStateConsistent},
                        Case{QMessageBox::No, kFileStateWriting}}) {
    SCOPED_TRACE(c.Answer == QMessageBox::Yes ? "Yes" : "No");
    QFile::remove(DatabaseFile());
    CreateDatabase({{1, 10, u"Onderhoud", 60.00}, {3, 5, u"Verzekering", 56.00}});
    SetFileState(kFileStateWriting);
    {
      ModalAnswers answers({ModalAnswers::Click(c.Answer)});
      auto started = Start();
      EXPECT_EQ(answers.Seen, QStringList{question});
      // Either way the program opens the file with its records.
      EXPECT_TRUE(started->program.data.tb1.Active());
      EXPECT_EQ(started->program.form1.DBGrid1->Model().rowCount(), 2);
      EXPECT_EQ(started->program.form1.Label6->text(), "116");
      started->program.form1.close();
    }
    EXPECT_EQ(FileState(), c.StateAfter);
    EXPECT_FALSE(QFile::exists(DatabaseFile() + ".tmp"));
  }
}

TEST_F(ProgramStartTest, AFileOfAnOlderFormatIsConvertedAfterANotice) {
  CreateDatabase({{1, 10, u"Onderhoud", 60.00}, {3, 5, u"Verzekering", 56.00}});
  QByteArray bytes = FileBytes();
  le::Store<double>(reinterpret_cast<uint8_t*>(bytes.data()) + 18, 2.5);  // the header's Version
  {
    QFile file(DatabaseFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  {
    ModalAnswers answers({ModalAnswers::Click(QMessageBox::Ok)});
    auto started = Start();
    EXPECT_EQ(answers.Seen,
              QStringList{"Information: Database file you are opening is of old format. It will be "
                          "converted to the current Quendrix Database format now. It is "
                          "recommended to make a backup of the database before continuing."});
    EXPECT_EQ(started->program.form1.DBGrid1->Model().rowCount(), 2);
    EXPECT_EQ(started->program.form1.Label6->text(), "116");
    started->program.form1.close();
  }
  EXPECT_EQ(le::Load<double>(reinterpret_cast<const uint8_t*>(FileBytes().constData()) + 18),
            kDatabaseFormatVersion);
}

TEST_F(ProgramStartTest, AFileWithAPasswordAsksForItUntilItIsRightOrRefused) {
  struct Case {
    const char* Name;
    std::vector<std::optional<QString>> Typed;  // each showing of the dialog in turn
    bool Opens;
  };
  const Case cases[] = {{"right at once", {"geheim"}, true},
                        {"wrong, then right", {"fout", "geheim"}, true},
                        {"wrong, then refused", {"fout", std::nullopt}, false}};
  CreateDatabase({{1, 10, u"Onderhoud", 60.00}}, "geheim");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<ModalAnswers::TAnswer> typing;
    for (const auto& password : c.Typed) typing.push_back(ModalAnswers::Password(password));
    ModalAnswers answers(typing);
    ScopedErrorBoxes errors;
    auto started = Start();
    EXPECT_EQ(answers.Seen,
              QStringList(static_cast<qsizetype>(c.Typed.size()), "Database authentication"));
    TProgram& p = started->program;
    EXPECT_EQ(p.data.tb1.Active(), c.Opens);
    if (c.Opens) {
      EXPECT_TRUE(errors.Texts.isEmpty()) << errors.Texts.join('\n').toStdString();
      EXPECT_EQ(p.data.QDXDatabase1.Password, "geheim");
      EXPECT_EQ(p.form1.Label6->text(), "60");
    } else {
      // The engine's refusal, then the vehicle record that could not be read.
      ASSERT_EQ(errors.Texts.size(), 2);
      EXPECT_TRUE(errors.Texts[0].contains("30445")) << errors.Texts[0].toStdString();
      EXPECT_TRUE(errors.Texts[1].startsWith("tb6: ")) << errors.Texts[1].toStdString();
    }
    p.form1.close();
  }
}

TEST_F(ProgramStartTest, ErrorsADataSetCannotPassOnAreShownUnlessAbandonedOnPurpose) {
  CreateDatabase({{1, 10, u"Onderhoud", 60.00}, {3, 5, u"Onderhoud", 56.00}});
  struct Case {
    const char* Name;
    std::function<void()> Raise;
    QStringList Shown;
  };
  const Case cases[] = {
      {"an error", [] { throw EFrameworkException("Filter failed"); }, {"Filter failed."}},
      {"an abort", [] { throw EAbort(); }, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto started = Start();
    TQDXTable& tb1 = started->program.data.tb1;
    ScopedErrorBoxes errors;
    bool raised = false;
    tb1.SetOnFilterRecord([&](TDataSet&, bool&) {
      if (raised) return;
      raised = true;
      c.Raise();
    });
    tb1.SetFiltered(true);
    tb1.First();
    EXPECT_TRUE(raised);
    EXPECT_EQ(errors.Texts, c.Shown);
    tb1.SetFiltered(false);
    started->program.form1.close();
  }
}

TEST_F(ProgramStartTest, QtsOwnTextsAreInTheUsersLanguage) {
  struct Case {
    QLocale Language;
    QString Yes, No;
  };
  const Case cases[] = {{QLocale(QLocale::Dutch, QLocale::Netherlands), "Ja", "Nee"},
                        {QLocale(QLocale::English, QLocale::UnitedStates), "Yes", "No"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Language.name().toStdString());
    QLocale::setDefault(c.Language);
    {
      TProgramSetup setup;
      QMessageBox box(QMessageBox::Question, "Wagenlog", "?", QMessageBox::Yes | QMessageBox::No);
      EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&'), c.Yes);
      EXPECT_EQ(box.button(QMessageBox::No)->text().remove('&'), c.No);
    }
    QLocale::setDefault(QLocale::c());
  }
}

TEST_F(ProgramStartTest, BerekenenStoresWhatWasTypedAfterNieuwOrWijzig) {
  struct Case {
    TNavigateBtn Button;
    const char* Typed;  // into Bedrag
    const char* Total;  // afterwards, and after a restart
  };
  for (const Case& c : {Case{TNavigateBtn::nbInsert, "120.5", "236.5"},
                        Case{TNavigateBtn::nbEdit, "99", "159"}}) {
    SCOPED_TRACE(c.Typed);
    QFile::remove(DatabaseFile());
    CreateDatabase({{1, 10, u"Onderhoud", 60.00}, {3, 5, u"Onderhoud", 56.00}});
    {
      auto started = Start();
      TProgram& p = started->program;
      p.form1.DBNavigator3->BtnClick(c.Button);
      if (c.Button == TNavigateBtn::nbInsert) Type(p.form1.DBDateDatum->Edit(), "2/15/2024");
      p.form1.DBEditBedrag->Edit().selectAll();
      Type(p.form1.DBEditBedrag->Edit(), QString::fromUtf8(c.Typed));
      p.form1.LbStaticText[0]->Click();
      EXPECT_EQ(p.data.tb1.State(), TDataSetState::Browse);
      EXPECT_EQ(p.form1.Label6->text(), c.Total);
      p.form1.close();
    }
    auto started = Start();
    EXPECT_EQ(started->program.form1.Label6->text(), c.Total);
    started->program.form1.close();
  }
}

TEST_F(ProgramStartTest, TheMainWindowsContentFillsIt) {
  CreateDatabase({});
  auto started = Start();
  TForm1& form1 = started->program.form1;
  const QImage image = form1.grab().toImage();
  ASSERT_EQ(image.size(), form1.size());
  // The right column and the bottom row are the gradient's blue-to-black, not bare window.
  auto bare = [&](int x, int y) {
    const QColor colour = image.pixelColor(x, y);
    return colour.red() != 0 || colour.green() != 0;
  };
  for (int y = 0; y < image.height(); ++y) ASSERT_FALSE(bare(image.width() - 1, y)) << y;
  for (int x = 0; x < image.width(); ++x) ASSERT_FALSE(bare(x, image.height() - 1)) << x;
  form1.close();
}

TEST_F(ProgramStartTest, AChartWindowOpensOnTheMainWindowsScreen) {
  CreateDatabase({{1, 10, u"Onderhoud", 60.00}});
  struct Case {
    const char* Stored;  // NormPos of Form2; none: the position it was laid out at
    QSize Size;          // as stored, or laid out, before it is fitted
  };
  const Case cases[] = {{"3000,100,3400,400", {400, 300}},       // right of every screen
                        {"-5000,-4000,-4600,-3700", {400, 300}},  // above and left of them
                        {"600,450,1000,750", {400, 300}},         // partly off the edges
                        {nullptr, {800, 617}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Stored ? c.Stored : "laid out");
    QFile::remove(TFormPlacement::DefaultIniFileName());
    if (c.Stored) {
      QSettings store(TFormPlacement::DefaultIniFileName(), QSettings::IniFormat);
      const QString group = "Software/" + TFormPlacement::ExecutableName() + "/TForm2/";
      store.setValue(group + "NormPos", QString::fromLatin1(c.Stored));
      store.setValue(group + "PixelsPerInch", ScreenPixelsPerInch());
    }
    auto started = Start();
    TProgram& p = started->program;
    p.form1.LbStaticText[8]->Click();  // Kost p mnd
    ASSERT_TRUE(p.form2.isVisible());
    const QRect area = p.form1.screen()->availableGeometry();
    const QRect outer = p.form2.OuterGeometry();
    EXPECT_TRUE(area.contains(outer))
        << ::testing::PrintToString(outer) << " on " << ::testing::PrintToString(area);
    EXPECT_EQ(outer.size(), c.Size.boundedTo(area.size()));
    p.form2.close();
    p.form1.close();
  }
}

TEST(FitIntoAreaTest, MovesAsLittleAsItTakesAndShrinksOnlyAResizableWindow) {
  const QRect area(0, 0, 1280, 900);
  struct Case {
    QRect Outer;
    bool Resizable;
    QRect Fitted;
  };
  const Case cases[] = {
      {{100, 100, 400, 300}, true, {100, 100, 400, 300}},     // already inside
      {{3000, 100, 400, 300}, true, {880, 100, 400, 300}},    // off the right edge
      {{-50, -20, 400, 300}, true, {0, 0, 400, 300}},         // off the top left
      {{829, 284, 800, 617}, true, {480, 283, 800, 617}},     // laid out for a larger screen
      {{100, 100, 1400, 1000}, true, {0, 0, 1280, 900}},      // larger than the screen
      {{100, 100, 1400, 1000}, false, {0, 0, 1400, 1000}},    // fixed: its corner on the screen
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.Outer));
    EXPECT_EQ(FitIntoArea(c.Outer, area, c.Resizable), c.Fitted);
    // The same on a second screen right of the first.
    EXPECT_EQ(FitIntoArea(c.Outer.translated(1280, 0), area.translated(1280, 0), c.Resizable),
              c.Fitted.translated(1280, 0));
  }
}

}  // namespace
}  // namespace qdx
