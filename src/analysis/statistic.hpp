// The statistics asked for by name ("high:2", "avg:24:8", "period", ...),
// per receptor over one source group's periods, as AERMOD computes them:
// the Nth highest hour, block averages with AERMOD's calm and missing rule,
// PERIOD and ANNUAL, the Nth highest daily maximum and the Nth highest
// H-hour average each averaged over AERMOD's years, deposition totals, the
// plain mean and the hours above a threshold. Each keeps the receptors
// times its largest rank in memory, never the periods.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/blocks.hpp"
#include "analysis/hours.hpp"
#include "analysis/met.hpp"
#include "analysis/years.hpp"

namespace kestrel::analysis {

// The deepest rank computed: deep enough for a year's 99th percentile of
// hours (the 88th highest) and more; each rank costs every receptor 24 bytes.
// A daily maximum's rank is a day of the year.
inline constexpr int kMaxRank = 1000;
inline constexpr int kMaxDailyRank = 366;

enum class StatKind { max, high, daily_max, mean, avg, avg_years, period, annual, exceed };

struct StatAsked {
  StatKind kind = StatKind::max;
  int n = 1;               // the rank
  int hours = 1;           // a block's hours (avg, avg-years); 0 for a calendar month
  double threshold = 0;    // exceed's, in the unit shown
  std::string name;        // as written: "high:2"

  // Whether each receptor's value comes from one hour or block, with its date.
  [[nodiscard]] bool dated() const;
  // Whether its value is taken over AERMOD's years.
  [[nodiscard]] bool over_years() const;
  // Whether the calm and missing hours change it.
  [[nodiscard]] bool needs_marks() const;
  // "2nd highest 1-hour value"; a deposition's sums are "total".
  [[nodiscard]] std::string title(Quantity q = Quantity::concentration) const;
  // A CSV column name: "high_2"
  [[nodiscard]] std::string column() const;
};

// Throws Failure on a name that is not a statistic.
StatAsked parse_stat(std::string_view text);

// "1st", "2nd", "3rd", "4th", "11th", ...
std::string ordinal(int n);

// A receptor's value of a statistic; a rank that no hour reached is 0
// without a date, as AERMOD prints it. `flag` is the block's (or the
// period's) calm and missing mark.
struct StatValue {
  double value = 0;
  std::optional<Time> end;
  Flag flag = Flag::none;
};

// The highest `depth` values of each receptor with their period ends and
// flags, ranked as AERMOD ranks them: an equal value later in time ranks
// below, and a zero never enters (its tables start from zero, undated).
class Ranks {
 public:
  struct Entry {
    double value = 0;
    Time end;
    Flag flag = Flag::none;
  };
  Ranks(std::size_t receptors, int depth);
  void add(std::size_t k, double v, const Time& end, Flag flag = Flag::none) {
    const auto d = static_cast<std::size_t>(depth_);
    const std::size_t filled = count_[k];
    if (!(v > 0) || (filled == d && !(v > entries_[k * d + d - 1].value))) return;
    insert(k, v, end, flag);
  }
  [[nodiscard]] std::span<const Entry> of(std::size_t k) const {
    return {entries_.data() + k * static_cast<std::size_t>(depth_), count_[k]};
  }
  [[nodiscard]] StatValue nth(std::size_t k, int n) const;
  [[nodiscard]] int depth() const { return depth_; }
  void clear();

 private:
  void insert(std::size_t k, double v, const Time& end, Flag flag);
  int depth_;
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> count_;
};

// One statistic over one source group's periods, fed in time order with
// each period's mark and values in the tool's own unit (ug/m3, or ug/m2
// deposited in the hour).
class Statistic {
 public:
  // `threshold` is exceed's in the tool's own unit.
  Statistic(StatAsked asked, std::size_t receptors, Quantity quantity = Quantity::concentration,
            double threshold = 0);
  void add(const Time& end, HourMark mark, std::span<const double> values);
  // Closes the last day, block and year; call once after the last period.
  void finish();
  [[nodiscard]] StatValue at(std::size_t k) const { return at(k, asked_.n); }
  // A ranked statistic's (max, high, avg) value at another rank, up to its own.
  [[nodiscard]] StatValue at(std::size_t k, int rank) const;
  [[nodiscard]] const StatAsked& asked() const { return asked_; }
  [[nodiscard]] Quantity quantity() const { return quantity_; }
  [[nodiscard]] std::size_t receptors() const { return n_; }
  // After finish(): the data in AERMOD's years, for a statistic over years.
  [[nodiscard]] const std::optional<YearSplit>& years() const { return split_; }

 private:
  void ranked(const Time& end, HourMark mark, std::span<const double> values);
  void close_day();
  void close_year();
  void next_year(const Time& end);

  StatAsked asked_;
  std::size_t n_;
  Quantity quantity_;
  double threshold_;
  Ranks ranks_;
  std::optional<BlockAverager> blocks_;
  std::optional<PeriodSum> period_;
  std::vector<double> sum_;            // mean's sum; the sum over years
  std::vector<std::int64_t> count_;    // mean's values; exceed's hours
  std::vector<Ranks::Entry> running_;  // daily-max: the day's maximum so far
  std::vector<StatValue> single_;      // the last year's value, with its date
  std::int64_t day_ = -1;              // daily-max's open day
  Time day_last_;                      // and its last period's end
  std::optional<YearClock> clock_;
  std::optional<Time> first_, last_;
  int year_ = 0;                       // the open year
  int closed_years_ = 0;               // years whose values entered sum_
  std::optional<YearSplit> split_;
};

}  // namespace kestrel::analysis
