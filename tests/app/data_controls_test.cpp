// The data-aware controls over a dataset: navigator button states and actions, an edit bound
// to a field under AutoEdit on and off, the drop-down list, and the grid's window, indicator
// and Ctrl+Delete.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QToolButton>

#include "app/data/db_grid.h"
#include "app/data/db_navigator.h"
#include "app/data/field_binding.h"
#include "app/widgets/question_box.h"
#include "dataset/framework/data_source.h"
#include "expense_tables.h"
#include "ui_test_support.h"
#include "qt_printers.h"
#include "tests/foundation/locale_pin.h"

namespace qdx {
namespace {

using test::TExpenseTables;

using test::ScopedAnswer;
using test::Type;

class DataControlsTest : public ::testing::Test {
 protected:
  DataControlsTest() : locale_("en_US") {
    tables_.SetVehicle(10000);
    tables_.Add({{2024, 1, 10, "Brandstof", 10500, 40, 60.00, "Shell"},
                 {2024, 1, 20, "Onderhoud", 0, 0, 100.00, "Garage"},
                 {2024, 2, 5, "Brandstof", 11000, 35, 56.00, "BP"}});
    brandstof_.SetDataSet(&tables_.tb1);
    brandstof_.SetAutoEdit(false);
    autogegevens_.SetDataSet(&tables_.tb6);
  }
  ~DataControlsTest() override {
    brandstof_.SetDataSet(nullptr);
    autogegevens_.SetDataSet(nullptr);
  }

  testing::ScopedUserLocale locale_;
  TExpenseTables tables_;
  TDataSource brandstof_;
  TDataSource autogegevens_;
};

TEST_F(DataControlsTest, NavigatorButtonStatesFollowTheDataset) {
  TDBNavigator moves({TNavigateBtn::nbFirst, TNavigateBtn::nbPrior, TNavigateBtn::nbNext,
                      TNavigateBtn::nbLast},
                     &brandstof_);
  TDBNavigator changes({TNavigateBtn::nbInsert, TNavigateBtn::nbDelete, TNavigateBtn::nbEdit,
                        TNavigateBtn::nbCancel, TNavigateBtn::nbRefresh},
                       &brandstof_);
  const auto enabled = [](TDBNavigator& n, TNavigateBtn b) { return n.Button(b)->isEnabled(); };
  EXPECT_FALSE(enabled(moves, TNavigateBtn::nbNext));  // closed
  EXPECT_FALSE(enabled(changes, TNavigateBtn::nbInsert));
  EXPECT_EQ(changes.Button(TNavigateBtn::nbPost), nullptr);

  tables_.Open();
  // At the start: only forward moves.
  EXPECT_FALSE(enabled(moves, TNavigateBtn::nbFirst));
  EXPECT_FALSE(enabled(moves, TNavigateBtn::nbPrior));
  EXPECT_TRUE(enabled(moves, TNavigateBtn::nbNext));
  EXPECT_TRUE(enabled(moves, TNavigateBtn::nbLast));
  EXPECT_TRUE(enabled(changes, TNavigateBtn::nbInsert));
  EXPECT_TRUE(enabled(changes, TNavigateBtn::nbDelete));
  EXPECT_TRUE(enabled(changes, TNavigateBtn::nbEdit));
  EXPECT_FALSE(enabled(changes, TNavigateBtn::nbCancel));

  moves.BtnClick(TNavigateBtn::nbLast);
  EXPECT_TRUE(enabled(moves, TNavigateBtn::nbFirst));
  EXPECT_TRUE(enabled(moves, TNavigateBtn::nbPrior));
  EXPECT_FALSE(enabled(moves, TNavigateBtn::nbNext));
  EXPECT_FALSE(enabled(moves, TNavigateBtn::nbLast));

  changes.BtnClick(TNavigateBtn::nbEdit);
  EXPECT_EQ(tables_.tb1.State(), TDataSetState::Editing);
  EXPECT_FALSE(enabled(changes, TNavigateBtn::nbEdit));
  EXPECT_TRUE(enabled(changes, TNavigateBtn::nbCancel));
  changes.BtnClick(TNavigateBtn::nbCancel);
  EXPECT_EQ(tables_.tb1.State(), TDataSetState::Browse);

  moves.setEnabled(false);
  EXPECT_FALSE(enabled(moves, TNavigateBtn::nbFirst));
}

TEST_F(DataControlsTest, NavigatorDeleteAsksFirst) {
  TDBNavigator changes({TNavigateBtn::nbDelete}, &brandstof_);
  tables_.Open();
  {
    ScopedAnswer cancel(QMessageBox::Cancel);
    changes.BtnClick(TNavigateBtn::nbDelete);
    EXPECT_EQ(cancel.Questions, QStringList{"Delete record?"});
    EXPECT_EQ(tables_.tb1.StoredCount(), 3u);
  }
  ScopedAnswer ok(QMessageBox::Ok);
  changes.BtnClick(TNavigateBtn::nbDelete);
  EXPECT_EQ(tables_.tb1.StoredCount(), 2u);
}

TEST_F(DataControlsTest, TypingChangesARecordOnlyWhenItMayBeEdited) {
  QLineEdit company;
  TDBFieldBinding companyLink(company, &brandstof_, "Bedrijf");
  QLineEdit make;
  TDBFieldBinding makeLink(make, &autogegevens_, "Merk");
  tables_.Open();
  EXPECT_EQ(company.text(), "Shell");
  EXPECT_EQ(make.text(), "Volvo");

  // brandstof does not start edits by itself: the key is swallowed.
  Type(company, QStringLiteral("X"));
  EXPECT_EQ(company.text(), "Shell");
  EXPECT_EQ(tables_.tb1.State(), TDataSetState::Browse);

  // autogegevens does: typing puts tb6 in edit state.
  make.end(false);
  Type(make, QStringLiteral("!"));
  EXPECT_EQ(tables_.tb6.State(), TDataSetState::Editing);
  EXPECT_EQ(make.text(), "Volvo!");
  tables_.tb6.Post();
  EXPECT_EQ(tables_.tb6.FieldByName("Merk").AsString(), u"Volvo!");

  // After Wijzig the entry panel's edits take typing; moving on stores it.
  tables_.tb1.Edit();
  company.end(false);
  Type(company, QStringLiteral("-Oost"));
  tables_.tb1.Next();
  tables_.tb1.First();
  EXPECT_EQ(company.text(), "Shell-Oost");
  EXPECT_EQ(tables_.tb1.PostCount, 1);
}

// The keys as a keyboard sends them, with their key codes (Type sends text alone).
TEST_F(DataControlsTest, KeysThatTypeTextChangeARecordOnlyWhenItMayBeEdited) {
  QLineEdit company;
  TDBFieldBinding companyLink(company, &brandstof_, "Bedrijf");
  QLineEdit make;
  TDBFieldBinding makeLink(make, &autogegevens_, "Merk");
  tables_.Open();
  struct Case {
    Qt::Key Key;
    const char* Text;
  };
  for (const Case& c : {Case{Qt::Key_Space, " "}, Case{Qt::Key_X, "x"}, Case{Qt::Key_5, "5"}}) {
    SCOPED_TRACE(c.Text);
    const auto press = [&c](QLineEdit& edit) {
      edit.end(false);
      QKeyEvent key(QEvent::KeyPress, c.Key, Qt::NoModifier, QString::fromLatin1(c.Text));
      QApplication::sendEvent(&edit, &key);
    };
    // brandstof does not start edits by itself: the key is swallowed.
    press(company);
    EXPECT_EQ(company.text(), "Shell");
    EXPECT_EQ(tables_.tb1.State(), TDataSetState::Browse);
    // autogegevens starts one, and the key's text is part of the change.
    press(make);
    EXPECT_EQ(tables_.tb6.State(), TDataSetState::Editing);
    EXPECT_EQ(make.text(), "Volvo" + QString::fromLatin1(c.Text));
    tables_.tb6.Post();
    EXPECT_EQ(QString::fromStdU16String(tables_.tb6.FieldByName("Merk").AsString()), make.text());
    tables_.tb6.Edit();
    tables_.tb6.FieldByName("Merk").SetAsString(u"Volvo");
    tables_.tb6.Post();
  }
}

TEST_F(DataControlsTest, DropDownListStoresTheChosenCategory) {
  QComboBox list;
  list.addItems({"Brandstof", "Onderhoud", "Verzekering", "Wegenbelasting", "Afschrijving"});
  TDBFieldBinding link(list, &brandstof_, "Omschrijving");
  tables_.Open();
  EXPECT_EQ(list.currentText(), "Brandstof");
  tables_.tb1.Next();
  EXPECT_EQ(list.currentText(), "Onderhoud");
  tables_.tb1.Edit();
  list.setCurrentIndex(2);
  link.Link().Modified();
  tables_.tb1.Post();
  EXPECT_EQ(tables_.tb1.FieldByName("Omschrijving").AsString(), u"Verzekering");
}

TEST_F(DataControlsTest, GridShowsTheWindowWithTheCurrentRecordMarked) {
  TDBGrid grid({{"Datum", {}, 70}, {"Omschrijving", {}, 100}, {"bedrag", {}, 80},
                {"verbruik", QStringLiteral("KM/ltr"), 50}},
               &brandstof_);
  grid.resize(715, 225);
  grid.show();
  tables_.Open();
  TDataSetModel& model = grid.Model();
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), "KM/ltr");
  EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Datum");
  EXPECT_EQ(model.index(1, 0).data().toString(), "1/20/2024");
  EXPECT_EQ(model.index(1, 1).data().toString(), "Onderhoud");
  EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), QString::fromUtf8("\u25b6"));
  EXPECT_EQ(grid.View().editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(grid.View().selectionBehavior(), QAbstractItemView::SelectRows);

  EXPECT_TRUE(grid.HandleKey(Qt::Key_Down, Qt::NoModifier));
  EXPECT_EQ(model.ActiveRow(), 1);
  EXPECT_EQ(grid.View().selectionModel()->selectedRows().value(0).row(), 1);
  EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), QString::fromUtf8("\u25b6"));
  EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), "");

  {
    ScopedAnswer no(QMessageBox::No);
    EXPECT_TRUE(grid.HandleKey(Qt::Key_Delete, Qt::ControlModifier));
    EXPECT_EQ(tables_.tb1.StoredCount(), 3u);
  }
  ScopedAnswer yes(QMessageBox::Yes);
  EXPECT_FALSE(grid.HandleKey(Qt::Key_Delete, Qt::NoModifier));
  EXPECT_TRUE(grid.HandleKey(Qt::Key_Delete, Qt::ControlModifier));
  EXPECT_EQ(yes.Questions, QStringList{"Delete record?"});
  EXPECT_EQ(tables_.tb1.StoredCount(), 2u);
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.index(1, 1).data().toString(), "Brandstof");
}

}  // namespace
}  // namespace qdx
