// AERMOD's years: 12 consecutive months from the first hour of the data
// (from 1 April 1996 01:00 to 1 April 1997 00:00, the next from there), not
// calendar years. Only whole years enter a design value; what is left over
// is named in a warning, and data shorter than a year is one partial period
// that is no design value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "analysis/hours.hpp"

namespace kestrel::analysis {

// Which of AERMOD's years each period falls in, fed in time order.
class YearClock {
 public:
  explicit YearClock(const Time& first_end);
  // The year (from 0) of the period ending at `end`, not before the first.
  [[nodiscard]] int year_of(const Time& end);
  // Hour number of the end of year `i`'s last hour.
  [[nodiscard]] std::int64_t year_end(int i) const;

 private:
  std::int64_t start_;  // hour number of the first hour's start
  std::int32_t yr_, mo_, dy_, hr_;  // the first hour's start as a calendar date
  int current_ = 0;
  std::int64_t next_;   // hour number of the current year's last hour
};

// What a run's data holds in AERMOD's years.
struct YearSplit {
  int whole = 0;                  // whole years
  bool partial = false;           // shorter than a year: one partial period
  std::int64_t left_out = 0;      // hours after the last whole year
  std::optional<Time> left_first, left_last;  // their first and last ends
  // The warning to give, empty when the data is whole years.
  [[nodiscard]] std::string warning(const std::string& stat) const;
};
YearSplit split_years(const Time& first_end, const Time& last_end);

}  // namespace kestrel::analysis
