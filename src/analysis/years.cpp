#include "analysis/years.hpp"

#include <cstdio>

namespace kestrel::analysis {

namespace {

// Hour number of the calendar date-hour (yr, mo, dy, hr); 29 February of a
// year without one is 1 March.
std::int64_t hour_of_date(std::int32_t yr, std::int32_t mo, std::int32_t dy, std::int32_t hr) {
  if (mo == 2 && dy == 29 && !is_leap(yr)) mo = 3, dy = 1;
  const auto jul = julday(yr, mo, dy);
  return hour_number({yr, jul.ok() ? *jul : 1, hr});
}

std::string when(const Time& t) {
  const Time day = day_of(t);
  std::int32_t mo = 0, dy = 0;
  calendar_date(day.yr, day.jul, mo, dy);
  const std::int32_t hr = t.hr == 0 ? 24 : t.hr;
  char b[40];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d hour %02d", day.yr, mo, dy, hr);
  return b;
}

}  // namespace

YearClock::YearClock(const Time& first_end) : start_(hour_number(first_end) - 1) {
  // The first hour's start as a date: hour 00 of its day, or later.
  const Time s = time_of(start_);
  yr_ = s.yr;
  hr_ = s.hr;
  calendar_date(s.yr, s.jul, mo_, dy_);
  next_ = year_end(0);
}

std::int64_t YearClock::year_end(int i) const { return hour_of_date(yr_ + i + 1, mo_, dy_, hr_); }

int YearClock::year_of(const Time& end) {
  const std::int64_t h = hour_number(end);
  while (h > next_) next_ = year_end(++current_);
  return current_;
}

YearSplit split_years(const Time& first_end, const Time& last_end) {
  YearClock clock(first_end);
  YearSplit s;
  const std::int64_t last = hour_number(last_end);
  while (clock.year_end(s.whole) <= last) ++s.whole;
  const std::int64_t from = s.whole == 0 ? hour_number(first_end) : clock.year_end(s.whole - 1) + 1;
  if (s.whole == 0) {
    s.partial = true;
  } else if (from <= last) {
    s.left_out = last - from + 1;
    s.left_first = time_of(from);
    s.left_last = time_of(last);
  }
  return s;
}

std::string YearSplit::warning(const std::string& stat) const {
  if (partial) {
    return stat + ": the data holds less than one of AERMOD's years (12 months from its first hour): the value is "
                  "over the one partial period and is not a design value";
  }
  if (left_out == 0) return {};
  return stat + ": computed over " + std::to_string(whole) + " whole year" + (whole == 1 ? "" : "s") +
         " (12 months each from the first hour); the " + std::to_string(left_out) + " hour" +
         (left_out == 1 ? "" : "s") + " from " + when(*left_first) + " to " + when(*left_last) + " are left out";
}

}  // namespace kestrel::analysis
