#include "engine/foundation/types/date_time.h"

#include <chrono>
#include <cmath>

namespace qdx {
namespace {
// Day number of 1970-01-01, the epoch of std::chrono::sys_days.
constexpr int32_t kUnixEpochDay = 719163;
}  // namespace

TQDXDateTime DateTimeToQDX(TDateTime value) {
  const double whole = std::trunc(value);
  double ms = std::nearbyint(std::fabs(value - whole) * kMSecsPerDay);
  double day = whole + kDateDelta;
  if (ms >= kMSecsPerDay) {
    ms -= kMSecsPerDay;
    day += 1;
  }
  // Values far outside the calendar saturate rather than overflow.
  if (!(day >= INT32_MIN)) day = INT32_MIN;
  if (!(day <= INT32_MAX)) day = INT32_MAX;
  return {static_cast<int32_t>(day), static_cast<int32_t>(ms)};
}

TDateTime QDXToDateTime(TQDXDateTime value) {
  const double days = static_cast<double>(value.Date) - kDateDelta;
  const double fraction = static_cast<double>(value.Time) / kMSecsPerDay;
  return days < 0 ? days - fraction : days + fraction;
}

bool TryEncodeDate(int32_t year, uint32_t month, uint32_t day, int32_t& dayNumber) {
  if (year < 1 || year > 9999) return false;
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                         std::chrono::day(day)};
  if (!date.ok()) return false;
  dayNumber =
      static_cast<int32_t>(std::chrono::sys_days(date).time_since_epoch().count()) + kUnixEpochDay;
  return true;
}

TCalendarDate DecodeDate(int32_t dayNumber) {
  const std::chrono::sys_days days{
      std::chrono::days(static_cast<int64_t>(dayNumber) - kUnixEpochDay)};
  const std::chrono::year_month_day date(days);
  return {static_cast<int32_t>(date.year()), static_cast<unsigned>(date.month()),
          static_cast<unsigned>(date.day())};
}

}  // namespace qdx
