// The two tables of the program as in-memory datasets, for tests of the statistics, the chart
// commands and the data-aware controls: tb1 with the expense fields (records kept in the order
// they are added, so tests add them in date order) and tb6 with the vehicle fields.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dataset/database_error.h"  // memory_data_set.h uses it without including it
#include "tests/dataset/memory_data_set.h"

namespace qdx::test {

struct TExpense {
  int Year, Month, Day;
  const char* Category;
  int32_t KmStand;
  double Liters;
  double Bedrag;
  const char* Company = "";
};

class TExpenseTables {
 public:
  TExpenseTables();
  ~TExpenseTables();

  // Stores records before Open.
  void Add(const TExpense& expense);
  void Add(std::initializer_list<TExpense> expenses);
  // Stores the vehicle record (none: the table stays empty); a null reading when not given.
  void SetVehicle(std::optional<int32_t> startKmStand);
  void Open();

  // `verbruik` of every record, in table order (null reads 0); moves tb1.
  std::vector<double> Consumptions();

  testing::TMemoryDataSet tb1;
  testing::TMemoryDataSet tb6;
};

// The native form of a date (the date-time value of that day).
std::vector<uint8_t> NativeDate(int year, int month, int day);
std::vector<uint8_t> NativeText(const std::string& text);
std::vector<uint8_t> NativeInt(int32_t value);
std::vector<uint8_t> NativeFloat(double value);

}  // namespace qdx::test
