#include "analysis/hours.hpp"

#include "convert/postfile.hpp"

namespace kestrel::analysis {

namespace {

// Days counted from year 0 of this calendar, every fourth year leap.
std::int64_t day_number(std::int64_t yr, std::int64_t jul) { return yr * 365 + (yr + 3) / 4 + jul; }

}  // namespace

std::int32_t four_digit(std::int32_t yr) { return yr < 100 ? decode_kurdat(yr * 1000000 + 10101).iyr : yr; }

std::int64_t hour_number(const Time& t) { return day_number(four_digit(t.yr), t.jul) * 24 + t.hr; }

Time time_of(std::int64_t h) {
  std::int64_t day = h / 24;
  const auto hr = static_cast<std::int32_t>(h % 24);
  // The year: a first guess from the mean year, then corrected.
  std::int64_t yr = (day * 4) / 1461;
  while (day_number(yr, 1) > day) --yr;
  while (day_number(yr + 1, 1) <= day) ++yr;
  return {static_cast<std::int32_t>(yr), static_cast<std::int32_t>(day - day_number(yr, 0)), hr};
}

Time day_of(const Time& end) {
  // Hour 00 is the last hour of the day before.
  const Time t = time_of(hour_number(end) - 1);
  return {t.yr, t.jul, 0};
}

std::int32_t days_in_year(std::int32_t yr) { return is_leap(yr) ? 366 : 365; }

std::int32_t month_of(const Time& end) {
  const Time day = day_of(end);
  std::int32_t mo = 0, dy = 0;
  calendar_date(day.yr, day.jul, mo, dy);
  return mo;
}

}  // namespace kestrel::analysis
