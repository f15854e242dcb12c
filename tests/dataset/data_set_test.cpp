// The dataset framework over the in-memory test dataset: walking with windows of one and of
// several records, the edit cycle and the settling of a pending change by the next move, where
// the current record lands after an insert, a delete or a cancel, events and link
// notifications in order, bookmarks, locate and lookup, filter events, calculated fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/database_error.h"
#include "dataset/framework/data_link.h"
#include "dataset/framework/data_set.h"
#include "dataset/framework/data_source.h"
#include "dataset/framework/field_data_link.h"
#include "dataset/framework/numeric_fields.h"
#include "tests/dataset/memory_data_set.h"
#include "tests/foundation/locale_pin.h"

namespace qdx {
namespace {

using testing::TMemoryDataSet;

std::vector<uint8_t> I32(int32_t v) {
  std::vector<uint8_t> b(4);
  le::Store<int32_t>(b.data(), v);
  return b;
}

std::vector<uint8_t> Text(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A link that writes down every notification it receives.
class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> Log;

 protected:
  void ActiveChanged() override { Log.push_back(Active() ? "active" : "inactive"); }
  void DataSetChanged() override { Log.push_back("changed"); }
  void DataSetScrolled(int32_t distance) override { Log.push_back("scrolled " + std::to_string(distance)); }
  void RecordChanged(TField* field) override {
    Log.push_back("record " + (field != nullptr ? field->FieldName() : std::string("*")));
  }
  void EditingChanged() override { Log.push_back(Editing() ? "editing" : "browsing"); }
  void UpdateData() override { Log.push_back("update"); }
};

class DataSetTest : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    ds_.SetName("tb1");
    ds_.FieldDefs().Add("ID", ftInteger);
    ds_.FieldDefs().Add("Naam", ftString, 20);
    ds_.FieldDefs().Add("Bedrag", ftFloat);
    ds_.Layout();
  }

  // Records 10, 20, ... n*10 named "r1".."rn".
  void Fill(int32_t n) {
    // GCC 12 at -O3 warns falsely (-Wrestrict) about the memcpy of "r" + std::string inlined
    // from the standard library; the concatenation is sound.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    for (int32_t i = 1; i <= n; ++i) ds_.Store({I32(i * 10), Text("r" + std::to_string(i)), {}});
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
  }

  // Opens with a window of GetParam() records (a grid's link asks for it).
  void Open() {
    source_.SetDataSet(&ds_);
    grid_.SetDataSource(&source_);
    grid_.SetBufferCount(GetParam());
    ds_.Open();
  }

  int32_t Id() { return ds_.FieldByName("id").AsInteger(); }

  // The IDs of the records shown in the window, in order.
  std::vector<int32_t> Window() {
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < grid_.RecordCount(); ++i) {
      const int32_t old = grid_.SetActiveRecord(i);
      ids.push_back(Id());
      grid_.SetActiveRecord(old);
    }
    return ids;
  }

  // Walks forward from the first record and answers the IDs.
  std::vector<int32_t> Walk() {
    std::vector<int32_t> ids;
    for (ds_.First(); !ds_.Eof(); ds_.Next()) ids.push_back(Id());
    return ids;
  }

  testing::ScopedUserLocale locale_{"nl_NL"};
  TMemoryDataSet ds_;
  TDataSource source_;
  RecordingLink grid_;
};

INSTANTIATE_TEST_SUITE_P(Windows, DataSetTest, ::testing::Values(1, 3),
                         [](const auto& info) { return "Window" + std::to_string(info.param); });

TEST_P(DataSetTest, WalksForwardAndBackWithEndFlags) {
  Fill(5);
  Open();
  EXPECT_TRUE(ds_.Bof());
  EXPECT_FALSE(ds_.Eof());
  EXPECT_EQ(Walk(), (std::vector<int32_t>{10, 20, 30, 40, 50}));
  EXPECT_EQ(Id(), 50) << "Next past the last record keeps it current";
  ds_.Prior();
  EXPECT_EQ(Id(), 40);
  ds_.Last();
  EXPECT_TRUE(ds_.Eof());
  std::vector<int32_t> back;
  for (; !ds_.Bof(); ds_.Prior()) back.push_back(Id());
  EXPECT_EQ(back, (std::vector<int32_t>{50, 40, 30, 20, 10}));
  ds_.First();
  EXPECT_EQ(ds_.MoveBy(3), 3);
  EXPECT_EQ(Id(), 40);
  EXPECT_EQ(ds_.MoveBy(5), 1);
  EXPECT_TRUE(ds_.Eof());
  EXPECT_EQ(ds_.MoveBy(-10), -4);
  EXPECT_TRUE(ds_.Bof());
  EXPECT_EQ(Id(), 10);
  if (GetParam() > 1) {
    ds_.Last();
    EXPECT_EQ(Window(), (std::vector<int32_t>{30, 40, 50}));
  }
}

TEST_P(DataSetTest, EmptyDataSetIsAtBothEndsAndReadsNull) {
  Open();
  EXPECT_TRUE(ds_.Bof());
  EXPECT_TRUE(ds_.Eof());
  EXPECT_TRUE(ds_.IsEmpty());
  EXPECT_EQ(ds_.RecordCount(), 0);
  EXPECT_TRUE(ds_.FieldByName("Naam").IsNull());
  EXPECT_EQ(ds_.FieldByName("Naam").AsString(), u"");
  EXPECT_EQ(ds_.FieldByName("ID").AsInteger(), 0);
  EXPECT_EQ(ds_.FieldByName("Bedrag").AsFloat(), 0.0);
  ds_.Next();
  ds_.Last();
  EXPECT_TRUE(ds_.Bof() && ds_.Eof());
  EXPECT_THROW(ds_.Delete(), EDatabaseError);
}

TEST_P(DataSetTest, NextPostsAWrittenEditAndCancelsAnUntouchedOne) {
  Fill(3);
  Open();
  ds_.Edit();
  ds_.FieldByName("bedrag").SetAsFloat(12.5);
  ds_.Next();
  EXPECT_EQ(ds_.State(), TDataSetState::Browse);
  EXPECT_EQ(ds_.PostCount, 1);
  EXPECT_EQ(Id(), 20);
  ds_.Edit();
  ds_.Next();
  EXPECT_EQ(ds_.PostCount, 1) << "nothing written: cancelled, not posted";
  EXPECT_EQ(ds_.CancelCount, 1);
  // On the last record the Next that finds nothing still posts.
  ds_.Last();
  ds_.Edit();
  ds_.FieldByName("Bedrag").SetAsFloat(7);
  ds_.Next();
  EXPECT_EQ(ds_.PostCount, 2);
  EXPECT_TRUE(ds_.Eof());
  ds_.First();
  EXPECT_EQ(ds_.FieldByName("Bedrag").AsFloat(), 12.5);
  ds_.Last();
  EXPECT_EQ(ds_.FieldByName("Bedrag").AsFloat(), 7.0);
}

TEST_P(DataSetTest, WritingOutsideAnEditStateFails) {
  Fill(1);
  Open();
  try {
    ds_.FieldByName("Naam").SetAsString(u"x");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb1: Dataset not in edit or insert mode");
  }
}

TEST_P(DataSetTest, InsertGoesBeforeTheCurrentRecordAndAppendAtTheEnd) {
  Fill(3);
  Open();
  ds_.Next();  // on 20
  ds_.Insert();
  EXPECT_EQ(ds_.State(), TDataSetState::Inserting);
  EXPECT_EQ(ds_.RecNo(), -1);
  EXPECT_TRUE(ds_.FieldByName("ID").IsNull());
  ds_.FieldByName("ID").SetAsInteger(15);
  ds_.Post();
  EXPECT_EQ(Id(), 15);
  EXPECT_EQ(ds_.RecNo(), 2);
  ds_.Append();
  ds_.FieldByName("ID").SetAsInteger(99);
  ds_.Prior();  // settles the append by posting it
  EXPECT_EQ(Walk(), (std::vector<int32_t>{10, 15, 20, 30, 99}));
  // An insert left untouched is dropped by the next move.
  ds_.First();
  ds_.Insert();
  ds_.Next();
  EXPECT_EQ(ds_.RecordCount(), 5);
}

TEST_P(DataSetTest, CancelledInsertRestoresTheWindow) {
  Fill(4);
  Open();
  ds_.MoveBy(2);  // on 30
  ds_.Insert();
  ds_.FieldByName("ID").SetAsInteger(25);
  ds_.Cancel();
  EXPECT_EQ(Id(), 30);
  EXPECT_EQ(ds_.RecordCount(), 4);
  ds_.Append();
  ds_.Cancel();
  EXPECT_EQ(ds_.State(), TDataSetState::Browse);
  EXPECT_EQ(Walk(), (std::vector<int32_t>{10, 20, 30, 40}));
}

TEST_P(DataSetTest, DeleteLandsOnTheNextRecordOrThePreviousAtTheEnd) {
  Fill(3);
  Open();
  ds_.Next();
  ds_.Delete();
  EXPECT_EQ(Id(), 30);
  ds_.Delete();
  EXPECT_EQ(Id(), 10);
  ds_.Delete();
  EXPECT_TRUE(ds_.IsEmpty());
  EXPECT_TRUE(ds_.Bof() && ds_.Eof());
}

TEST_P(DataSetTest, EditOnAnEmptyDataSetInsertsAndCloseLosesAPendingChange) {
  Open();
  ds_.Edit();
  EXPECT_EQ(ds_.State(), TDataSetState::Inserting);
  ds_.FieldByName("ID").SetAsInteger(1);
  ds_.Close();
  EXPECT_EQ(ds_.PostCount, 0);
  EXPECT_EQ(ds_.StoredCount(), 0u);
}

TEST_P(DataSetTest, PostedEditFollowsTheRecordToItsNewPlaceInTheOrder) {
  ds_.OrderedByFirstField = true;
  Fill(5);
  Open();
  ds_.Edit();
  ds_.FieldByName("ID").SetAsInteger(45);
  ds_.Post();
  EXPECT_EQ(Id(), 45);
  ds_.Next();
  EXPECT_EQ(Id(), 50);
  EXPECT_EQ(Walk(), (std::vector<int32_t>{20, 30, 40, 45, 50}));
}

TEST_P(DataSetTest, FailedPostKeepsTheEditAndItsValues) {
  Fill(2);
  Open();
  ds_.Edit();
  ds_.FieldByName("Naam").SetAsString(u"nieuw");
  ds_.FailNextPost = [] { throw EDatabaseError("locked"); };
  EXPECT_THROW(ds_.Post(), EDatabaseError);
  EXPECT_EQ(ds_.State(), TDataSetState::Editing);
  EXPECT_EQ(ds_.FieldByName("Naam").AsString(), u"nieuw");
  // A handler that asks for a retry gets the post done.
  int calls = 0;
  ds_.OnPostError = [&](TDataSet&, const std::exception&, TDataAction& action) {
    ++calls;
    action = TDataAction::Retry;
  };
  ds_.FailNextPost = [] { throw EDatabaseError("locked"); };
  ds_.Post();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ds_.State(), TDataSetState::Browse);
  EXPECT_EQ(ds_.FieldByName("Naam").AsString(), u"nieuw");
}

TEST_P(DataSetTest, RequiredFieldWithoutValueRefusesThePost) {
  Fill(1);
  Open();
  ds_.FieldByName("Naam").SetRequired(true);
  ds_.Append();
  ds_.FieldByName("ID").SetAsInteger(5);
  try {
    ds_.Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb1: Field 'Naam' must have a value");
  }
  EXPECT_EQ(ds_.State(), TDataSetState::Inserting);
}

TEST_P(DataSetTest, FieldNamesIgnoreCaseAndUnknownNamesCarryTheComponentName) {
  Open();
  EXPECT_EQ(&ds_.FieldByName("naam"), &ds_.FieldByName("NAAM"));
  EXPECT_EQ(ds_.FindField("bestaatniet"), nullptr);
  try {
    ds_.FieldByName("start_km-stand");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "tb1: Field 'start_km-stand' not found");
  }
}

TEST_P(DataSetTest, EventsRunInOrderAroundMovesAndPosts) {
  Fill(2);
  std::vector<std::string> log;
  auto note = [&](const char* what) { return [&log, what](TDataSet&) { log.push_back(what); }; };
  ds_.AfterOpen = note("AfterOpen");
  ds_.BeforeScroll = note("BeforeScroll");
  ds_.AfterScroll = note("AfterScroll");
  ds_.BeforeEdit = note("BeforeEdit");
  ds_.AfterEdit = note("AfterEdit");
  ds_.BeforePost = note("BeforePost");
  ds_.AfterPost = note("AfterPost");
  ds_.BeforeClose = note("BeforeClose");
  Open();
  ds_.Edit();
  ds_.FieldByName("Bedrag").SetAsFloat(1);
  ds_.Next();
  ds_.Close();
  EXPECT_EQ(log, (std::vector<std::string>{"AfterOpen", "BeforeEdit", "AfterEdit", "BeforePost",
                                           "AfterPost", "BeforeScroll", "AfterScroll",
                                           "BeforeClose"}));
}

TEST_P(DataSetTest, LinksHearTheNotificationsInOrder) {
  Fill(3);
  Open();
  grid_.Log.clear();
  ds_.Next();
  ds_.Edit();
  ds_.FieldByName("Naam").SetAsString(u"x");
  ds_.Post();
  ds_.Close();
  EXPECT_EQ(grid_.Log, (std::vector<std::string>{"scrolled 1", "editing", "record *",
                                                 "record Naam", "update", "browsing", "changed",
                                                 "inactive"}));
}

TEST_P(DataSetTest, SuspendedControlsHearOneChangeAtTheEnd) {
  Fill(5);
  Open();
  grid_.Log.clear();
  ds_.DisableControls();
  ds_.DisableControls();
  for (ds_.First(); !ds_.Eof(); ds_.Next()) {
    ds_.Edit();
    ds_.FieldByName("Bedrag").SetAsFloat(1);
  }
  ds_.EnableControls();
  EXPECT_TRUE(grid_.Log.empty());
  ds_.EnableControls();
  EXPECT_EQ(grid_.Log, (std::vector<std::string>{"changed"}));
  ds_.EnableControls();  // at zero: nothing
  EXPECT_EQ(grid_.Log.size(), 1u);
  EXPECT_EQ(ds_.PostCount, 5);
}

TEST_P(DataSetTest, FieldLinkWritesTheControlValueWhenTheRecordIsPosted) {
  Fill(2);
  TFieldDataLink edit;
  std::u16string shown;
  std::u16string typed;
  edit.OnDataChange = [&](TFieldDataLink& l) {
    shown = l.Field() != nullptr ? l.Field()->DisplayText() : u"";
  };
  edit.OnUpdateData = [&](TFieldDataLink& l) { l.Field()->SetEditText(typed); };
  edit.SetFieldName("naam");
  edit.SetDataSource(&source_);
  source_.SetAutoEdit(false);
  Open();
  EXPECT_EQ(shown, u"r1");
  EXPECT_FALSE(edit.Edit()) << "AutoEdit off: typing starts no edit";
  ds_.Edit();
  typed = u"getypt";
  edit.Modified();
  ds_.Next();  // settles: the control's value is written, then posted
  EXPECT_EQ(shown, u"r2");
  ds_.First();
  EXPECT_EQ(shown, u"getypt");
  source_.SetAutoEdit(true);
  EXPECT_TRUE(edit.Edit());
  ds_.Cancel();
}

TEST_P(DataSetTest, BookmarksFindTheirRecordAndCompare) {
  Fill(4);
  Open();
  ds_.MoveBy(2);
  const TBookmark third = ds_.GetBookmark();
  ds_.First();
  const TBookmark first = ds_.GetBookmark();
  ds_.GotoBookmark(third);
  EXPECT_EQ(Id(), 30);
  EXPECT_EQ(ds_.CompareBookmarks(third, ds_.GetBookmark()), 0);
  EXPECT_LT(ds_.CompareBookmarks(first, third), 0);
  EXPECT_GT(ds_.CompareBookmarks({}, first), 0) << "a missing bookmark sorts after";
  EXPECT_EQ(ds_.CompareBookmarks({}, {}), 0);
  ds_.Delete();
  EXPECT_FALSE(ds_.BookmarkValid(third));
  EXPECT_THROW(ds_.GotoBookmark(third), EDatabaseError);
}

TEST_P(DataSetTest, LocateAndLookup) {
  Fill(4);
  Open();
  EXPECT_TRUE(ds_.Locate("Naam", Variant::FromString("r3"), {}));
  EXPECT_EQ(Id(), 30);
  EXPECT_FALSE(ds_.Locate("Naam", Variant::FromString("R9"), {TLocateOption::loCaseInsensitive}));
  EXPECT_EQ(Id(), 30) << "not found: the current record stays";
  EXPECT_TRUE(ds_.Locate("naam", Variant::FromString("R2"), {TLocateOption::loCaseInsensitive}));
  EXPECT_EQ(Id(), 20);
  const Variant keys[] = {Variant::FromInteger(40), Variant::FromOleStr(u"r4")};
  EXPECT_TRUE(ds_.Locate("ID;Naam", keys, {}));
  EXPECT_EQ(Id(), 40);
  ds_.First();
  const Variant key = Variant::FromInteger(30);
  const std::vector<Variant> found = ds_.Lookup("ID", {&key, 1}, "Naam");
  EXPECT_EQ(found.at(0), Variant::FromString("r3"));
  EXPECT_EQ(Id(), 10) << "lookup does not move";
  ds_.Next();
  EXPECT_EQ(Id(), 20);
}

TEST_P(DataSetTest, FilterEventHidesRecordsAndItsErrorsGoToTheHandler) {
  Fill(6);
  Open();
  ds_.SetOnFilterRecord([](TDataSet& d, bool& accept) {
    const int32_t id = d.FieldByName("ID").AsInteger();
    if (id == 50) throw EDatabaseError("bad record");
    accept = id % 20 == 0;
  });
  std::vector<std::string> shown;
  SetDataSetExceptionHandler([&](const std::exception& e) { shown.push_back(e.what()); });
  ds_.SetFiltered(true);
  EXPECT_EQ(Walk(), (std::vector<int32_t>{20, 40, 50, 60})) << "a failing event keeps its flag";
  EXPECT_FALSE(shown.empty());
  SetDataSetExceptionHandler(nullptr);
  ds_.SetFiltered(false);
  EXPECT_EQ(Walk().size(), 6u);
}

TEST_P(DataSetTest, CalculatedFieldIsComputedPerRecord) {
  auto calc = std::make_unique<TIntegerField>();
  calc->SetFieldName("Dubbel");
  calc->SetFieldKind(TFieldKind::fkCalculated);
  ds_.Fields().Add(std::move(calc));
  for (int32_t i = 0; i < ds_.FieldDefs().Count(); ++i) {
    auto field = CreateFieldForType(ds_.FieldDefs()[i].DataType(), ds_.FieldDefs()[i].Size());
    field->SetFieldName(ds_.FieldDefs()[i].Name());
    ds_.Fields().Add(std::move(field));
  }
  ds_.OnCalcFields = [](TDataSet& d) {
    d.FieldByName("Dubbel").SetAsInteger(d.FieldByName("ID").AsInteger() * 2);
  };
  Fill(3);
  Open();
  std::vector<int32_t> doubled;
  for (ds_.First(); !ds_.Eof(); ds_.Next()) doubled.push_back(ds_.FieldByName("Dubbel").AsInteger());
  EXPECT_EQ(doubled, (std::vector<int32_t>{20, 40, 60}));
  EXPECT_THROW(ds_.FieldByName("Dubbel").SetAsInteger(1), EDatabaseError);
}

}  // namespace
}  // namespace qdx
