#include "analysis/statistic.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "analysis/failure.hpp"

namespace kestrel::analysis {

namespace {

int asked_rank(std::string_view text, std::string_view name, int most) {
  int n = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc{} || ptr != text.data() + text.size() || n < 1 || n > most) {
    throw Failure("--stat " + std::string(name) + ": the rank must be 1 to " + std::to_string(most));
  }
  return n;
}

bool known_block(int h) { return h == 1 || h == 2 || h == 3 || h == 4 || h == 6 || h == 8 || h == 12 || h == 24; }

// "avg:H:N" and "avg-years:H:N": the hours (a month is 0 where allowed) and the rank.
void block_and_rank(std::string_view rest, StatAsked& s, bool month) {
  const auto second = rest.find(':');
  const std::string_view h = rest.substr(0, second);
  if (second == std::string_view::npos) throw Failure("--stat " + s.name + ": the rank is missing (" + s.name + ":N)");
  if (month && h == "month") {
    s.hours = BlockAverager::kMonth;
  } else {
    int hours = 0;
    const auto [ptr, ec] = std::from_chars(h.data(), h.data() + h.size(), hours);
    if (ec != std::errc{} || ptr != h.data() + h.size() || !known_block(hours)) {
      throw Failure("--stat " + s.name + ": blocks of 1, 2, 3, 4, 6, 8, 12 or 24 hours" +
                    (month ? std::string(", or month") : std::string()));
    }
    s.hours = hours;
  }
  s.n = asked_rank(rest.substr(second + 1), s.name, kMaxRank);
}

std::string shortest(double v) {
  std::array<char, 32> b{};
  const auto r = std::to_chars(b.data(), b.data() + b.size(), v);
  return {b.data(), r.ptr};
}

std::string span_name(int hours) { return hours == 0 ? "monthly" : std::to_string(hours) + "-hour"; }

// Days counted from year 0 of this calendar.
std::int64_t day_key(const Time& end) { return (hour_number(end) - 1) / 24; }

}  // namespace

std::string ordinal(int n) {
  const int tens = n % 100, ones = n % 10;
  const char* suffix = (tens >= 11 && tens <= 13) ? "th" : ones == 1 ? "st" : ones == 2 ? "nd" : ones == 3 ? "rd" : "th";
  return std::to_string(n) + suffix;
}

StatAsked parse_stat(std::string_view text) {
  StatAsked s;
  s.name = std::string(text);
  const auto colon = text.find(':');
  const std::string_view head = text.substr(0, colon);
  const std::string_view rest = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
  if (text == "max") {
    s.kind = StatKind::max;
  } else if (text == "mean") {
    s.kind = StatKind::mean;
  } else if (text == "period") {
    s.kind = StatKind::period;
  } else if (text == "annual") {
    s.kind = StatKind::annual;
  } else if (head == "high" && !rest.empty()) {
    s.kind = StatKind::high;
    s.n = asked_rank(rest, text, kMaxRank);
  } else if (head == "daily-max" && !rest.empty()) {
    s.kind = StatKind::daily_max;
    s.n = asked_rank(rest, text, kMaxDailyRank);
  } else if (head == "avg" && !rest.empty()) {
    s.kind = StatKind::avg;
    block_and_rank(rest, s, true);
  } else if (head == "avg-years" && !rest.empty()) {
    s.kind = StatKind::avg_years;
    block_and_rank(rest, s, false);
  } else if (head == "exceed" && !rest.empty()) {
    s.kind = StatKind::exceed;
    const auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), s.threshold);
    if (ec != std::errc{} || ptr != rest.data() + rest.size() || !(s.threshold >= 0) || !std::isfinite(s.threshold)) {
      throw Failure("--stat " + s.name + ": the threshold must be a number, 0 or more");
    }
  } else {
    throw Failure(
        "--stat takes max, high:N, avg:H:N, avg:month:N, period, annual, daily-max:N, avg-years:H:N, mean or "
        "exceed:T, not '" +
        s.name + "'");
  }
  return s;
}

bool StatAsked::dated() const {
  return kind == StatKind::max || kind == StatKind::high || kind == StatKind::avg || kind == StatKind::daily_max ||
         kind == StatKind::avg_years;
}

bool StatAsked::over_years() const {
  return kind == StatKind::daily_max || kind == StatKind::avg_years || kind == StatKind::annual;
}

bool StatAsked::needs_marks() const {
  return kind == StatKind::avg || kind == StatKind::avg_years || kind == StatKind::period || kind == StatKind::annual;
}

std::string StatAsked::title(Quantity q) const {
  const bool dep = q == Quantity::deposition;
  const std::string block = span_name(hours) + (dep ? " total" : " average");
  switch (kind) {
    case StatKind::max:
      return "highest 1-hour value";
    case StatKind::high:
      return ordinal(n) + " highest 1-hour value";
    case StatKind::daily_max:
      return ordinal(n) + " highest daily maximum 1-hour value, mean over AERMOD's years";
    case StatKind::mean:
      return "plain mean of all hours, calm and missing ones included";
    case StatKind::avg:
      return ordinal(n) + " highest " + block;
    case StatKind::avg_years:
      return ordinal(n) + " highest " + block + " of each year, mean over AERMOD's years";
    case StatKind::period:
      return dep ? "total over the period (AERMOD's PERIOD)"
                 : "period average over the hours neither calm nor missing (AERMOD's PERIOD)";
    case StatKind::annual:
      return dep ? "each year's total, mean over AERMOD's years (AERMOD's ANNUAL)"
                 : "each year's period average, mean over AERMOD's years (AERMOD's ANNUAL)";
    case StatKind::exceed:
      return "hours above " + shortest(threshold);
  }
  return name;
}

std::string StatAsked::column() const {
  const std::string h = hours == 0 ? "month" : std::to_string(hours);
  switch (kind) {
    case StatKind::max:
      return "max";
    case StatKind::high:
      return "high_" + std::to_string(n);
    case StatKind::daily_max:
      return "daily_max_" + std::to_string(n);
    case StatKind::mean:
      return "mean";
    case StatKind::avg:
      return "avg_" + h + "_" + std::to_string(n);
    case StatKind::avg_years:
      return "avg_years_" + h + "_" + std::to_string(n);
    case StatKind::period:
      return "period";
    case StatKind::annual:
      return "annual";
    case StatKind::exceed:
      return "exceed_" + shortest(threshold);
  }
  return name;
}

Ranks::Ranks(std::size_t receptors, int depth)
    : depth_(std::max(depth, 1)), entries_(receptors * static_cast<std::size_t>(depth_)), count_(receptors, 0) {}

void Ranks::insert(std::size_t k, double v, const Time& end, Flag flag) {
  Entry* e = entries_.data() + k * static_cast<std::size_t>(depth_);
  const auto d = static_cast<std::size_t>(depth_);
  std::size_t filled = count_[k];
  // After every value at least as high: an equal value later ranks below.
  std::size_t at = 0;
  while (at < filled && e[at].value >= v) ++at;
  if (at >= d) return;
  if (filled < d) ++filled;
  for (std::size_t i = filled - 1; i > at; --i) e[i] = e[i - 1];
  e[at] = {v, end, flag};
  count_[k] = static_cast<std::uint32_t>(filled);
}

StatValue Ranks::nth(std::size_t k, int n) const {
  const auto got = of(k);
  if (n < 1 || static_cast<std::size_t>(n) > got.size()) return {};
  const Entry& e = got[static_cast<std::size_t>(n - 1)];
  return {e.value, e.end, e.flag};
}

void Ranks::clear() { std::fill(count_.begin(), count_.end(), 0U); }

Statistic::Statistic(StatAsked asked, std::size_t receptors, Quantity quantity, double threshold)
    : asked_(std::move(asked)), n_(receptors), quantity_(quantity), threshold_(threshold), ranks_(0, 1) {
  switch (asked_.kind) {
    case StatKind::max:
    case StatKind::high:
    case StatKind::daily_max:
      ranks_ = Ranks(n_, asked_.n);
      break;
    case StatKind::avg:
    case StatKind::avg_years:
      ranks_ = Ranks(n_, asked_.n);
      blocks_.emplace(n_, asked_.hours, quantity_);
      break;
    case StatKind::period:
    case StatKind::annual:
      period_.emplace(n_, quantity_);
      break;
    case StatKind::mean:
    case StatKind::exceed:
      break;
  }
  if (asked_.kind == StatKind::mean || asked_.kind == StatKind::exceed || asked_.over_years()) {
    sum_.assign(n_, 0.0);
    count_.assign(n_, 0);
  }
  if (asked_.kind == StatKind::daily_max) running_.assign(n_, {-std::numeric_limits<double>::infinity(), {}, {}});
  if (asked_.over_years()) single_.assign(n_, {});
}

void Statistic::next_year(const Time& end) {
  const int y = clock_->year_of(end);
  while (year_ < y) {
    close_year();
    ++year_;
  }
}

void Statistic::ranked(const Time& end, HourMark mark, std::span<const double> values) {
  const std::size_t n = std::min(n_, values.size());
  const Flag flag = flag_of(mark == HourMark::calm, mark == HourMark::missing);
  for (std::size_t k = 0; k < n; ++k) {
    if (std::isfinite(values[k])) ranks_.add(k, values[k], end, flag);
  }
}

void Statistic::add(const Time& end, HourMark mark, std::span<const double> values) {
  if (!first_) {
    first_ = end;
    if (asked_.over_years()) clock_.emplace(end);
  }
  last_ = end;
  const std::size_t n = std::min(n_, values.size());
  switch (asked_.kind) {
    case StatKind::max:
    case StatKind::high:
      ranked(end, mark, values);
      return;
    case StatKind::mean:
      for (std::size_t k = 0; k < n; ++k) {
        if (std::isfinite(values[k])) sum_[k] += values[k], ++count_[k];
      }
      return;
    case StatKind::exceed:
      for (std::size_t k = 0; k < n; ++k) count_[k] += values[k] > threshold_ ? 1 : 0;
      return;
    case StatKind::period:
      period_->add(mark, values);
      return;
    case StatKind::annual:
      next_year(end);
      period_->add(mark, values);
      return;
    case StatKind::avg:
    case StatKind::avg_years:
      if (blocks_->add(end, mark, values)) {
        const ClosedBlock& b = blocks_->closed();
        if (clock_) next_year(b.end);
        for (std::size_t k = 0; k < n_; ++k) ranks_.add(k, b.values[k], b.end, b.flag);
      }
      return;
    case StatKind::daily_max: {
      const std::int64_t day = day_key(end);
      if (day != day_) {
        if (day_ >= 0) close_day();
        day_ = day;
      }
      day_last_ = end;
      for (std::size_t k = 0; k < n; ++k) {
        if (values[k] > running_[k].value) running_[k] = {values[k], end, Flag::none};
      }
      return;
    }
  }
}

void Statistic::close_day() {
  // The day's year is that of its last hour seen.
  next_year(day_last_);
  for (std::size_t k = 0; k < n_; ++k) {
    if (std::isfinite(running_[k].value)) ranks_.add(k, running_[k].value, running_[k].end);
    running_[k].value = -std::numeric_limits<double>::infinity();
  }
}

void Statistic::close_year() {
  for (std::size_t k = 0; k < n_; ++k) {
    if (period_) {
      single_[k] = {period_->value(k), std::nullopt, period_->flag()};
    } else {
      single_[k] = ranks_.nth(k, asked_.n);
    }
    sum_[k] += single_[k].value;
  }
  if (period_) period_->reset();
  ranks_.clear();
  ++closed_years_;
}

void Statistic::finish() {
  if (!first_) return;
  if (blocks_ && blocks_->finish()) {
    const ClosedBlock& b = blocks_->closed();
    if (clock_) next_year(b.end);
    for (std::size_t k = 0; k < n_; ++k) ranks_.add(k, b.values[k], b.end, b.flag);
  }
  if (asked_.kind == StatKind::daily_max && day_ >= 0) {
    close_day();
    day_ = -1;
  }
  if (!asked_.over_years()) return;
  split_ = split_years(*first_, *last_);
  // The open year counts when it is whole, or when it is all there is.
  if (split_->partial || split_->left_out == 0) close_year();
}

StatValue Statistic::at(std::size_t k, int rank) const {
  switch (asked_.kind) {
    case StatKind::max:
    case StatKind::high:
    case StatKind::avg:
      return ranks_.nth(k, std::min(rank, asked_.n));
    case StatKind::mean:
      return {count_[k] > 0 ? sum_[k] / static_cast<double>(count_[k]) : std::nan(""), std::nullopt};
    case StatKind::exceed:
      return {static_cast<double>(count_[k]), std::nullopt};
    case StatKind::period:
      return {period_->value(k), std::nullopt, period_->flag()};
    case StatKind::daily_max:
    case StatKind::avg_years:
    case StatKind::annual:
      if (closed_years_ == 1) return single_[k];
      if (closed_years_ == 0) return {};
      return {sum_[k] / static_cast<double>(closed_years_), std::nullopt};
  }
  return {};
}

}  // namespace kestrel::analysis
