// The statistics --stat asks for, per receptor over a file's periods: the
// Nth highest hour, the Nth highest daily maximum (the design value over
// years), the mean, the Nth highest block average and the hours above a
// threshold. Each keeps the receptors times its largest rank in memory,
// never the periods.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/kestrel_calls.hpp"

namespace kestrel::inspect {

enum class StatKind { max, high, daily_max, mean, avg, exceed };

struct StatAsked {
  StatKind kind = StatKind::max;
  int n = 1;               // the rank
  int hours = 1;           // a block's hours (avg)
  double threshold = 0;    // exceed's, in the unit shown
  std::string name;        // as written: "high:2"

  // Whether each receptor's value comes from one hour or block, with its date.
  [[nodiscard]] bool dated() const { return kind != StatKind::mean && kind != StatKind::exceed; }
  // "2nd highest 1-hour value"
  [[nodiscard]] std::string title() const;
  // A CSV column name: "high_2"
  [[nodiscard]] std::string column() const;
};

// Throws Failure on a name that is not a statistic.
StatAsked parse_stat(std::string_view text);

// "1st", "2nd", "3rd", "4th", "11th", ...
std::string ordinal(int n);

// A receptor's value of a statistic; a rank that no hour reached is 0
// without a date, as AERMOD prints it.
struct StatValue {
  double value = 0;
  std::optional<Time> end;
};

// The highest `depth` values of each receptor with their period ends,
// ranked as AERMOD ranks them: an equal value later in time ranks below,
// and a zero never enters (its tables start from zero, undated).
class Ranks {
 public:
  struct Entry {
    double value = 0;
    Time end;
  };
  Ranks(std::size_t receptors, int depth);
  void add(std::size_t k, double v, const Time& end) {
    const auto d = static_cast<std::size_t>(depth_);
    const std::size_t filled = count_[k];
    if (!(v > 0) || (filled == d && !(v > entries_[k * d + d - 1].value))) return;
    insert(k, v, end);
  }
  [[nodiscard]] std::span<const Entry> of(std::size_t k) const {
    return {entries_.data() + k * static_cast<std::size_t>(depth_), count_[k]};
  }
  [[nodiscard]] StatValue nth(std::size_t k, int n) const;
  [[nodiscard]] int depth() const { return depth_; }

 private:
  void insert(std::size_t k, double v, const Time& end);
  int depth_;
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> count_;
};

// A year of daily maxima: how many of its days held an hour.
struct YearDays {
  std::int32_t year = 0;
  std::int32_t present = 0;
  std::int32_t days = 365;
  [[nodiscard]] bool short_of_data() const { return 4 * present < 3 * days; }
};

// One statistic over one source group's periods, fed in time order with
// each period's values in the tool's own unit.
class Statistic {
 public:
  // `threshold` is exceed's in the tool's own unit.
  Statistic(StatAsked asked, std::size_t receptors, double threshold = 0);
  void add(const Time& end, std::span<const double> values);
  // Closes the last day, block and year; call once after the last period.
  void finish();
  [[nodiscard]] StatValue at(std::size_t k) const;
  [[nodiscard]] const StatAsked& asked() const { return asked_; }
  [[nodiscard]] const std::vector<YearDays>& years() const { return years_; }
  [[nodiscard]] std::size_t receptors() const { return n_; }

 private:
  void close_block();
  void close_day();
  void close_year();

  StatAsked asked_;
  std::size_t n_;
  double threshold_;
  Ranks ranks_;
  std::vector<double> sum_;            // mean; avg's block; daily-max's sum over years
  std::vector<std::int64_t> count_;    // mean's values; exceed's hours; avg's block hours
  std::vector<Ranks::Entry> running_;  // daily-max: the day's maximum so far
  std::vector<StatValue> single_;      // daily-max: the one year's value, with its date
  std::int64_t key_ = -1;              // the open day or block
  Time key_end_;                       // the open block's end, or the open day's first period
  std::vector<YearDays> years_;
};

// The day (four-digit year and day of the year) a period belongs to: a day
// runs from its hour 01 to hour 00 of the next day.
Time day_of(const Time& end);

}  // namespace kestrel::inspect
