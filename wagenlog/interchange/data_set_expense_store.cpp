#include "wagenlog/interchange/data_set_expense_store.h"

#include <array>

#include "dataset/framework/field.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/date_time.h"

namespace qdx::interchange {
namespace {

// The seven fields of the expense table, in table order.
std::array<TField*, kExpenseFieldCount> FieldsOf(TDataSet& dataSet) {
  std::array<TField*, kExpenseFieldCount> fields{};
  for (size_t i = 0; i < kExpenseFieldCount; ++i) {
    fields[i] = &dataSet.FieldByName(kExpenseFieldNames[i]);
  }
  return fields;
}

ExpenseRecord ReadCurrent(const std::array<TField*, kExpenseFieldCount>& f) {
  const auto field = [&](ExpenseField which) -> const TField& {
    return *f[static_cast<size_t>(which)];
  };
  const auto text = [&](ExpenseField which) {
    return field(which).IsNull() ? std::string() : platform::WideToAnsi(field(which).AsString());
  };
  const auto number = [&](ExpenseField which) -> std::optional<double> {
    if (field(which).IsNull()) return std::nullopt;
    return which == ExpenseField::bedrag ? field(which).AsCurrency() : field(which).AsFloat();
  };
  ExpenseRecord r;
  if (!field(ExpenseField::Datum).IsNull()) {
    r.Datum = DateValueToDayNumber(field(ExpenseField::Datum).AsDateTime());
  }
  r.Omschrijving = text(ExpenseField::Omschrijving);
  r.Bedrijf = text(ExpenseField::Bedrijf);
  if (!field(ExpenseField::KMStand).IsNull()) {
    r.KMStand = field(ExpenseField::KMStand).AsInteger();
  }
  r.Liters = number(ExpenseField::Liters);
  r.bedrag = number(ExpenseField::bedrag);
  r.verbruik = number(ExpenseField::verbruik);
  return r;
}

void WriteCurrent(const std::array<TField*, kExpenseFieldCount>& f, const ExpenseRecord& r) {
  const auto field = [&](ExpenseField which) -> TField& { return *f[static_cast<size_t>(which)]; };
  const auto text = [&](ExpenseField which, const std::string& value) {
    if (value.empty()) return field(which).Clear();
    field(which).SetAsString(platform::AnsiToWide(value));
  };
  const auto number = [&](ExpenseField which, const std::optional<double>& value) {
    if (!value) return field(which).Clear();
    if (which == ExpenseField::bedrag) return field(which).SetAsCurrency(*value);
    field(which).SetAsFloat(*value);
  };
  if (r.Datum) {
    field(ExpenseField::Datum).SetAsDateTime(DayNumberToDateValue(*r.Datum));
  } else {
    field(ExpenseField::Datum).Clear();
  }
  text(ExpenseField::Omschrijving, r.Omschrijving);
  text(ExpenseField::Bedrijf, r.Bedrijf);
  if (r.KMStand) {
    field(ExpenseField::KMStand).SetAsInteger(*r.KMStand);
  } else {
    field(ExpenseField::KMStand).Clear();
  }
  number(ExpenseField::Liters, r.Liters);
  number(ExpenseField::bedrag, r.bedrag);
  number(ExpenseField::verbruik, r.verbruik);
}

}  // namespace

std::vector<ExpenseRecord> DataSetExpenseStore::ReadAll() {
  const auto fields = FieldsOf(dataSet_);
  const TControlsSuspension quiet(dataSet_);
  std::vector<ExpenseRecord> records;
  for (dataSet_.First(); !dataSet_.Eof(); dataSet_.Next()) records.push_back(ReadCurrent(fields));
  return records;
}

void DataSetExpenseStore::InsertAll(std::span<const ExpenseRecord> records) {
  const auto fields = FieldsOf(dataSet_);
  dataSet_.CheckBrowseMode();
  const TControlsSuspension quiet(dataSet_);
  transaction_.Start();
  try {
    for (size_t i = 0; i < records.size(); ++i) {
      dataSet_.Append();
      WriteCurrent(fields, records[i]);
      dataSet_.Post();
      if (OnProgress) OnProgress(i + 1, records.size());
    }
  } catch (...) {
    if (dataSet_.State() == TDataSetState::Inserting) dataSet_.Cancel();
    transaction_.Rollback();
    throw;
  }
  transaction_.Commit();
}

}  // namespace qdx::interchange
