// Hours as the statistics count them: a period's end as one number, so that
// blocks, days, months and years are found by integer arithmetic; the
// two-digit years of POSTFILE stamps and surface files take the POSTFILEs'
// century window.
#pragma once

#include <cstdint>

#include "datetime/datetime.hpp"

namespace kestrel::analysis {

using Time = DateHour;

// A two-digit year gets the POSTFILEs' century window; four digits stay.
std::int32_t four_digit(std::int32_t yr);

// Hours since year 0 of this calendar (every fourth year leap) to the end
// `t` (any year form): hour 00 of a day and hour 24 of the day before are
// the same hour.
std::int64_t hour_number(const Time& t);

// The end (four-digit year, hour 1 to 23 or hour 00 of the next day) of
// hour number `h`.
Time time_of(std::int64_t h);

// The day a period belongs to (four-digit year, day of the year, hour 0):
// a day runs from its hour 01 to hour 00 of the next day.
Time day_of(const Time& end);

// Days in the calendar year `yr` (four digits).
std::int32_t days_in_year(std::int32_t yr);

// Month (1 to 12) of a period's end: hour 00 belongs to the day before.
std::int32_t month_of(const Time& end);

}  // namespace kestrel::analysis
