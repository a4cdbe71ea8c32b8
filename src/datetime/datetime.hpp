// Date-time triples (year, day of the year, hour). Every fourth year is a
// leap year, 1900 included; hour 24 is accepted as the end of a day.
#pragma once

#include <cstdint>

#include "base/status.hpp"

namespace kestrel {

// A date-hour: year, day of the year, hour.
struct DateHour {
  std::int32_t yr = 0;
  std::int32_t jul = 0;
  std::int32_t hr = 0;
  friend bool operator==(const DateHour&, const DateHour&) = default;
};

[[nodiscard]] constexpr bool is_leap(std::int64_t year) noexcept { return year % 4 == 0; }

// Day of the year of (iyr, imo, iday); an impossible date halts. Day 0 and
// negative days are not refused.
Result<std::int32_t> julday(std::int32_t iyr, std::int32_t imo, std::int32_t iday);

// `t` moved by nhrinc hours; a step below -24 halts.
Result<DateHour> incr(DateHour t, std::int32_t nhrinc);

// Signed hours from j1 to j2, days and hours taken as they are (hour 24
// counts as hour 0 of the next day).
[[nodiscard]] std::int64_t deltt(const DateHour& j1, const DateHour& j2) noexcept;

// Month and day of day `ijul` of year `iyr` (the inverse of julday); false
// when the day is outside the year.
bool calendar_date(std::int32_t iyr, std::int32_t ijul, std::int32_t& imo, std::int32_t& iday) noexcept;

}  // namespace kestrel
