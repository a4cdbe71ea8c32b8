// Date-time triples (year, day of the year, hour). Every fourth year is a
// leap year, 1900 included; hour 24 is accepted as the end of a day.
#pragma once

#include <cstdint>
#include <ostream>

#include "base/halt.hpp"

namespace kestrel {

// A date-hour: year, day of the year, hour.
struct DateHour {
  std::int32_t yr = 0;
  std::int32_t jul = 0;
  std::int32_t hr = 0;
  friend bool operator==(const DateHour&, const DateHour&) = default;
};


[[nodiscard]] constexpr bool is_leap(std::int64_t year) noexcept { return year % 4 == 0; }

// Day of the year of (iyr, imo, iday) into ijuldy; an impossible date halts
// and leaves ijuldy as it was. Day 0 and negative days are not refused.
void julday(std::ostream& io, std::int32_t iyr, std::int32_t imo, std::int32_t iday, std::int32_t& ijuldy,
            Halt132& halt132);

// Moves (iyr, ijul, ihr) by nhrinc hours; a step below -24 halts.
void incr(std::ostream& io, std::int32_t& iyr, std::int32_t& ijul, std::int32_t& ihr, std::int32_t nhrinc,
          Halt132& halt132);

// Signed hours from the first triple to the second, days and hours taken as
// they are (hour 24 counts as hour 0 of the next day).
[[nodiscard]] std::int64_t deltt(std::int32_t j1yr, std::int32_t j1jul, std::int32_t j1hr, std::int32_t j2yr,
                                 std::int32_t j2jul, std::int32_t j2hr) noexcept;

// Month and day of day `ijul` of year `iyr` (the inverse of julday); false
// when the day is outside the year.
bool calendar_date(std::int32_t iyr, std::int32_t ijul, std::int32_t& imo, std::int32_t& iday) noexcept;

}  // namespace kestrel
