// Dates and times: the engine's day numbers and milliseconds, and the platform's date values.
//
// The engine stores a DATE as a day number (day 1 = 0001-01-01, so 1899-12-30 is day 693594), a
// TIME as milliseconds since midnight and a DATETIME as the pair. The platform's date value
// (TDateTime) is a double counting days since 1899-12-30 whose fraction is the time of day; for
// a value before that day the whole part is the (negative) day and the fraction, taken without
// its sign, is still the time of day.
#pragma once

#include <cstdint>

namespace qdx {

// The platform's date value.
using TDateTime = double;

// Day number of 1899-12-30, the platform's day 0.
inline constexpr int32_t kDateDelta = 693594;
inline constexpr int32_t kMSecsPerDay = 86'400'000;

// A DATETIME value: day number, then milliseconds since midnight.
struct TQDXDateTime {
  int32_t Date = 0;
  int32_t Time = 0;
  friend bool operator==(const TQDXDateTime&, const TQDXDateTime&) = default;
};

// The day number and the time of day in milliseconds (rounded to the nearest) of a date value.
// A time that rounds up to midnight moves to the next day.
TQDXDateTime DateTimeToQDX(TDateTime value);
// The date value of a day number and milliseconds.
TDateTime QDXToDateTime(TQDXDateTime value);

// The day number of a date value's date.
inline int32_t DateValueToDayNumber(TDateTime value) {
  return DateTimeToQDX(value).Date;
}
// Milliseconds of a date value's time of day.
inline int32_t DateValueToMilliseconds(TDateTime value) {
  return DateTimeToQDX(value).Time;
}
inline TDateTime DayNumberToDateValue(int32_t day) {
  return static_cast<double>(day - kDateDelta);
}
inline TDateTime MillisecondsToDateValue(int32_t ms) {
  return static_cast<double>(ms) / kMSecsPerDay;
}

// Calendar dates (proleptic Gregorian) and day numbers.
struct TCalendarDate {
  int32_t Year = 1;
  uint32_t Month = 1;
  uint32_t Day = 1;
};
// False for a date that does not exist or lies outside the years 1..9999.
bool TryEncodeDate(int32_t year, uint32_t month, uint32_t day, int32_t& dayNumber);
TCalendarDate DecodeDate(int32_t dayNumber);

}  // namespace qdx
