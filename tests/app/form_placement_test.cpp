// The window placement store: saved once per showing, restored on every showing, and never in
// the way of the window when the store is damaged.
#include "app/forms/form_placement.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include "app/error_box.h"
#include "app/forms/chart_windows.h"
#include "qt_printers.h"

namespace qdx {
namespace {

class FormPlacementTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    iniFile_ = folder_.filePath(QStringLiteral("placement.ini"));
    previousFile_ = TFormPlacement::DefaultIniFileName();
    TFormPlacement::SetDefaultIniFileName(iniFile_);
    previousPresenter_ = SetErrorBoxPresenter(
        [this](const QString&, const QString& text, QWidget*) { errors_.push_back(text); });
  }
  void TearDown() override {
    SetErrorBoxPresenter(previousPresenter_);
    TFormPlacement::SetDefaultIniFileName(previousFile_);
  }

  QString Group(const char* windowClass) const {
    return QStringLiteral("Software/") + TFormPlacement::ExecutableName() + QLatin1Char('/') +
           QLatin1String(windowClass);
  }
  QVariant Stored(const char* windowClass, const char* value) const {
    QSettings settings(iniFile_, QSettings::IniFormat);
    return settings.value(Group(windowClass) + QLatin1Char('/') + QLatin1String(value));
  }
  void Store(const char* windowClass, const QList<std::pair<const char*, QVariant>>& values) {
    QSettings settings(iniFile_, QSettings::IniFormat);
    settings.beginGroup(Group(windowClass));
    for (const auto& [name, value] : values) settings.setValue(QLatin1String(name), value);
    settings.endGroup();
    settings.sync();
  }
  void WriteFile(const QByteArray& bytes) {
    QFile file(iniFile_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  QTemporaryDir folder_;
  QString iniFile_;
  std::vector<QString> errors_;

 private:
  QString previousFile_;
  TErrorBoxPresenter previousPresenter_;
};

// A fixed-size window that opens centred, as the main window does.
class FixedCentredForm : public TForm {
 public:
  FixedCentredForm() : TForm(QStringLiteral("TFixedForm")) {
    setFixedSize(300, 200);
    SetPosition(TFormPosition::ScreenCenter);
  }
};

TEST_F(FormPlacementTest, TheSectionIsTheProgramKeyAndTheWindowClass) {
  TForm3 form;
  EXPECT_EQ(
      form.Placement().IniSection(),
      QStringLiteral("Software\\") + TFormPlacement::ExecutableName() + QStringLiteral("\\TForm3"));
  EXPECT_EQ(TFormPlacement::ExecutableName(), QStringLiteral("app_tests"));
}

TEST_F(FormPlacementTest, ClosingSavesThePlacementAndANewWindowReopensThere) {
  {
    TForm2 form;
    form.show();
    form.SetOuterGeometry(QRect(120, 40, 500, 380));
    ASSERT_TRUE(form.close());
    EXPECT_EQ(Stored("TForm2", "FormVersion").toInt(), 0);
    EXPECT_EQ(Stored("TForm2", "Flags").toInt(), 0);
    EXPECT_EQ(Stored("TForm2", "ShowCmd").toInt(), 1);
    EXPECT_EQ(Stored("TForm2", "PixelsPerInch").toInt(), ScreenPixelsPerInch());
    EXPECT_EQ(Stored("TForm2", "MinMaxPos").toStringList().join(','),
              QStringLiteral("-1,-1,-1,-1"));
    EXPECT_EQ(Stored("TForm2", "NormPos").toStringList().join(','),
              QStringLiteral("120,40,620,420"));
    EXPECT_FALSE(Stored("TForm2", "Visible").toBool());
  }
  TForm2 again;
  EXPECT_EQ(again.OuterGeometry(), QRect(829, 284, 800, 617));
  again.show();
  EXPECT_EQ(again.OuterGeometry(), QRect(120, 40, 500, 380));
  EXPECT_TRUE(errors_.empty());
}

TEST_F(FormPlacementTest, SavedOncePerShowingAndOnDestructionOnlyWhenShownSince) {
  { TForm4 neverShown; }
  EXPECT_FALSE(QFile::exists(iniFile_));

  auto form = std::make_unique<TForm4>();
  form->show();
  form->close();
  EXPECT_FALSE(Stored("TForm4", "Visible").toBool());
  Store("TForm4", {{"ShowCmd", 77}});
  form.reset();  // closed since its last showing: nothing to save
  EXPECT_EQ(Stored("TForm4", "ShowCmd").toInt(), 77);

  form = std::make_unique<TForm4>();
  form->show();
  form.reset();  // destroyed while shown
  EXPECT_TRUE(Stored("TForm4", "Visible").toBool());
  EXPECT_EQ(Stored("TForm4", "ShowCmd").toInt(), 1);
}

TEST_F(FormPlacementTest, ShowCmdSetsTheWindowState) {
  const struct {
    int ShowCmd;
    int Flags;
    Qt::WindowStates State;
  } cases[] = {
      {1, 0, Qt::WindowNoState},
      {5, 0, Qt::WindowNoState},
      {9, 0, Qt::WindowNoState},
      {2, 0, Qt::WindowMinimized},
      {6, 0, Qt::WindowMinimized},
      {7, 0, Qt::WindowMinimized},
      {3, 0, Qt::WindowMaximized},
      {0, 0, Qt::WindowNoState},
      {4, 0, Qt::WindowNoState},
      {42, 0, Qt::WindowNoState},
      {2, 2, Qt::WindowMinimized | Qt::WindowMaximized},
  };
  for (const auto& c : cases) {
    Store("TForm3", {{"ShowCmd", c.ShowCmd}, {"Flags", c.Flags}});
    TForm3 form;
    form.show();
    EXPECT_EQ(form.windowState(), c.State) << "ShowCmd " << c.ShowCmd;
    form.setWindowState(Qt::WindowNoState);
  }
  EXPECT_TRUE(errors_.empty());
}

TEST_F(FormPlacementTest, MaximisedStateIsSavedWithTheNormalPosition) {
  {
    TForm3 form;
    form.show();
    form.SetOuterGeometry(QRect(50, 60, 400, 300));
    form.setWindowState(Qt::WindowMaximized);
    form.close();
  }
  EXPECT_EQ(Stored("TForm3", "ShowCmd").toInt(), 3);
  TForm3 again;
  again.show();
  EXPECT_TRUE(again.isMaximized());
  again.setWindowState(Qt::WindowNoState);
  EXPECT_EQ(again.OuterGeometry().topLeft(), QPoint(50, 60));
}

TEST_F(FormPlacementTest, AChangedResolutionIgnoresTheStoredPosition) {
  Store("TForm2", {{"NormPos", "10,20,310,220"}, {"PixelsPerInch", ScreenPixelsPerInch() + 24}});
  TForm2 form;
  form.show();
  EXPECT_EQ(form.OuterGeometry(), QRect(829, 284, 800, 617));
  EXPECT_TRUE(errors_.empty());
}

TEST_F(FormPlacementTest, AFixedSizeWindowKeepsItsSizeAndACentredOneStopsCentring) {
  {
    FixedCentredForm first;
    first.show();
    const QRect screen = first.screen()->availableGeometry();
    EXPECT_EQ(first.OuterGeometry().center(), screen.center());
  }
  Store("TFixedForm", {{"NormPos", "30,40,930,940"}, {"PixelsPerInch", ScreenPixelsPerInch()}});
  FixedCentredForm form;
  form.show();
  EXPECT_EQ(form.OuterGeometry().topLeft(), QPoint(30, 40));
  EXPECT_EQ(form.size(), QSize(300, 200));
  EXPECT_EQ(form.Position(), TFormPosition::Designed);
}

TEST_F(FormPlacementTest, APositionOnNoScreenIsBroughtBackOntoOne) {
  Store("TForm3", {{"NormPos", "-5000,-4000,-4600,-3700"}});
  TForm3 form;
  form.show();
  const QRect screen = form.screen()->availableGeometry();
  EXPECT_TRUE(screen.intersects(form.OuterGeometry()));
  EXPECT_EQ(form.OuterGeometry().size(), QSize(400, 300));
}

TEST_F(FormPlacementTest, ADamagedStoreIsReportedAndTheWindowStillOpensAndLaterSavesAfresh) {
  WriteFile("[Software\nFlags=\x01\x02\x03\n=\n[[[\n");
  {
    TForm2 form;
    form.show();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.OuterGeometry(), QRect(829, 284, 800, 617));
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0],
              QStringLiteral("The window placement store '%1' is damaged.").arg(iniFile_));
    form.SetOuterGeometry(QRect(100, 100, 300, 300));
    form.close();
  }
  ASSERT_EQ(errors_.size(), 1u);
  TForm2 again;
  again.show();
  EXPECT_EQ(again.OuterGeometry(), QRect(100, 100, 300, 300));
  EXPECT_EQ(errors_.size(), 1u);
}

TEST_F(FormPlacementTest, AValueOfTheWrongKindIsReportedByName) {
  const struct {
    const char* Value;
    const char* Text;
  } cases[] = {
      {"NormPos", "1,2,three,4"}, {"NormPos", "1,2,3"}, {"MinMaxPos", "x"},
      {"Flags", "many"},          {"ShowCmd", "3.5"},   {"FormVersion", "zero"},
  };
  for (const auto& c : cases) {
    QFile::remove(iniFile_);
    errors_.clear();
    Store("TForm3", {{c.Value, QString::fromLatin1(c.Text)}});
    TForm3 form;
    form.show();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.OuterGeometry(), QRect(722, 343, 800, 616)) << c.Value;
    ASSERT_EQ(errors_.size(), 1u) << c.Value << "=" << c.Text;
    // A message ending in a quote gains no full stop.
    EXPECT_EQ(errors_[0].toStdString(), std::string("Invalid data type for '") + c.Value + "'");
  }
}

TEST_F(FormPlacementTest, AnUnreadableStoreIsReportedOnShowAndOnSave) {
  ASSERT_TRUE(QDir().mkpath(iniFile_));  // a folder where the file should be
  {
    TForm4 form;
    form.show();
    EXPECT_TRUE(form.isVisible());
    form.close();
  }
  ASSERT_EQ(errors_.size(), 2u);
  EXPECT_EQ(errors_[0],
            QStringLiteral("Cannot read the window placement store '%1'").arg(iniFile_));
  EXPECT_EQ(errors_[1],
            QStringLiteral("Cannot write the window placement store '%1'").arg(iniFile_));
}

}  // namespace
}  // namespace qdx
