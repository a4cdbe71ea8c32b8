#include "inspect/stats/statistic.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "inspect/failure.hpp"
#include "inspect/format.hpp"

namespace kestrel::inspect {

namespace {

// Deep enough for a year's 99th percentile of hours (the 88th highest) and
// more; each rank costs every receptor 16 bytes.
constexpr int kMaxRank = 1000;

int rank_of(std::string_view text, std::string_view name, int most) {
  int n = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (ec != std::errc{} || ptr != text.data() + text.size() || n < 1 || n > most) {
    throw Failure("--stat " + std::string(name) + ": the rank must be 1 to " + std::to_string(most));
  }
  return n;
}

bool known_block(int h) { return h == 2 || h == 3 || h == 4 || h == 6 || h == 8 || h == 12 || h == 24; }

// Days counted from year 0 of this calendar, every fourth year leap.
std::int64_t day_number(const Time& day) {
  const std::int64_t y = day.yr;
  return y * 365 + (y + 3) / 4 + day.jul;
}

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
  if (text == "max" || text == "mean") {
    s.kind = text == "max" ? StatKind::max : StatKind::mean;
  } else if (head == "high" && !rest.empty()) {
    s.kind = StatKind::high;
    s.n = rank_of(rest, text, kMaxRank);
  } else if (head == "daily-max" && !rest.empty()) {
    s.kind = StatKind::daily_max;
    s.n = rank_of(rest, text, 366);
  } else if (head == "avg" && rest.find(':') != std::string_view::npos) {
    s.kind = StatKind::avg;
    const auto second = rest.find(':');
    s.hours = rank_of(rest.substr(0, second), text, 24);
    if (!known_block(s.hours)) throw Failure("--stat " + s.name + ": blocks of 2, 3, 4, 6, 8, 12 or 24 hours");
    s.n = rank_of(rest.substr(second + 1), text, kMaxRank);
  } else if (head == "exceed" && !rest.empty()) {
    s.kind = StatKind::exceed;
    const auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), s.threshold);
    if (ec != std::errc{} || ptr != rest.data() + rest.size() || !(s.threshold >= 0) || !std::isfinite(s.threshold)) {
      throw Failure("--stat " + s.name + ": the threshold must be a number, 0 or more");
    }
  } else {
    throw Failure("--stat takes max, high:N, daily-max:N, mean, avg:H:N or exceed:T, not '" + s.name + "'");
  }
  return s;
}

std::string StatAsked::title() const {
  switch (kind) {
    case StatKind::max:
      return "highest 1-hour value";
    case StatKind::high:
      return ordinal(n) + " highest 1-hour value";
    case StatKind::daily_max:
      return ordinal(n) + " highest daily maximum 1-hour value, mean over the years";
    case StatKind::mean:
      return "mean of all periods";
    case StatKind::avg:
      return ordinal(n) + " highest " + std::to_string(hours) + "-hour block average";
    case StatKind::exceed:
      return "hours above " + num(threshold);
  }
  return name;
}

std::string StatAsked::column() const {
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
      return "avg_" + std::to_string(hours) + "_" + std::to_string(n);
    case StatKind::exceed:
      return "exceed_" + num(threshold);
  }
  return name;
}

Time day_of(const Time& end) {
  const Time four{four_digit(end.yr), end.jul, end.hr};
  if (four.hr != 0) return {four.yr, four.jul, 0};
  const Time before = add_hours(four, -1);
  return {before.yr, before.jul, 0};
}

Ranks::Ranks(std::size_t receptors, int depth)
    : depth_(std::max(depth, 1)), entries_(receptors * static_cast<std::size_t>(depth_)), count_(receptors, 0) {}

void Ranks::insert(std::size_t k, double v, const Time& end) {
  Entry* e = entries_.data() + k * static_cast<std::size_t>(depth_);
  const auto d = static_cast<std::size_t>(depth_);
  std::size_t filled = count_[k];
  // After every value at least as high: an equal value later ranks below.
  std::size_t at = 0;
  while (at < filled && e[at].value >= v) ++at;
  if (at >= d) return;
  if (filled < d) ++filled;
  for (std::size_t i = filled - 1; i > at; --i) e[i] = e[i - 1];
  e[at] = {v, end};
  count_[k] = static_cast<std::uint32_t>(filled);
}

StatValue Ranks::nth(std::size_t k, int n) const {
  const auto got = of(k);
  if (n < 1 || static_cast<std::size_t>(n) > got.size()) return {};
  const Entry& e = got[static_cast<std::size_t>(n - 1)];
  return {e.value, e.end};
}

Statistic::Statistic(StatAsked asked, std::size_t receptors, double threshold)
    : asked_(std::move(asked)), n_(receptors), threshold_(threshold), ranks_(0, 1) {
  switch (asked_.kind) {
    case StatKind::max:
    case StatKind::high:
    case StatKind::avg:
    case StatKind::daily_max:
      ranks_ = Ranks(n_, asked_.n);
      break;
    case StatKind::mean:
    case StatKind::exceed:
      break;
  }
  if (asked_.kind != StatKind::max && asked_.kind != StatKind::high) {
    sum_.assign(n_, 0.0);
    count_.assign(n_, 0);
  }
  if (asked_.kind == StatKind::daily_max) {
    running_.assign(n_, {-std::numeric_limits<double>::infinity(), {}});
    single_.assign(n_, {});
  }
}

void Statistic::add(const Time& end, std::span<const double> values) {
  const std::size_t n = std::min(n_, values.size());
  switch (asked_.kind) {
    case StatKind::max:
    case StatKind::high:
      for (std::size_t k = 0; k < n; ++k) {
        if (std::isfinite(values[k])) ranks_.add(k, values[k], end);
      }
      return;
    case StatKind::mean:
      for (std::size_t k = 0; k < n; ++k) {
        if (std::isfinite(values[k])) sum_[k] += values[k], ++count_[k];
      }
      return;
    case StatKind::exceed:
      for (std::size_t k = 0; k < n; ++k) count_[k] += values[k] > threshold_ ? 1 : 0;
      return;
    case StatKind::avg: {
      const Time day = day_of(end);
      const int hour = end.hr == 0 ? 24 : end.hr;
      const int block = (hour - 1) / asked_.hours;
      const std::int64_t key = day_number(day) * 24 + block;
      if (key != key_) {
        if (key_ >= 0) close_block();
        key_ = key;
        // Ends at hour (block + 1) * H of its day; hour 24 is the next day's 00.
        key_end_ = add_hours({day.yr, day.jul, 0}, (block + 1) * asked_.hours);
      }
      for (std::size_t k = 0; k < n; ++k) {
        if (std::isfinite(values[k])) sum_[k] += values[k], ++count_[k];
      }
      return;
    }
    case StatKind::daily_max: {
      const Time day = day_of(end);
      const std::int64_t key = day_number(day);
      if (key != key_) {
        if (key_ >= 0) close_day();
        if (years_.empty() || years_.back().year != day.yr) {
          if (!years_.empty()) close_year();
          years_.push_back({day.yr, 0, days_in_year(day.yr)});
        }
        ++years_.back().present;
        key_ = key;
      }
      for (std::size_t k = 0; k < n; ++k) {
        if (values[k] > running_[k].value) running_[k] = {values[k], end};
      }
      return;
    }
  }
}

void Statistic::close_block() {
  for (std::size_t k = 0; k < n_; ++k) {
    // A plain mean of the hours the block holds.
    if (count_[k] > 0) ranks_.add(k, sum_[k] / static_cast<double>(count_[k]), key_end_);
    sum_[k] = 0;
    count_[k] = 0;
  }
}

void Statistic::close_day() {
  for (std::size_t k = 0; k < n_; ++k) {
    if (std::isfinite(running_[k].value)) ranks_.add(k, running_[k].value, running_[k].end);
    running_[k].value = -std::numeric_limits<double>::infinity();
  }
}

void Statistic::close_year() {
  for (std::size_t k = 0; k < n_; ++k) {
    single_[k] = ranks_.nth(k, asked_.n);
    sum_[k] += single_[k].value;
  }
  ranks_ = Ranks(n_, asked_.n);
}

void Statistic::finish() {
  if (key_ < 0) return;
  if (asked_.kind == StatKind::avg) close_block();
  if (asked_.kind == StatKind::daily_max) {
    close_day();
    close_year();
  }
  key_ = -1;
}

StatValue Statistic::at(std::size_t k) const {
  switch (asked_.kind) {
    case StatKind::max:
    case StatKind::high:
    case StatKind::avg:
      return ranks_.nth(k, asked_.n);
    case StatKind::mean:
      return {count_[k] > 0 ? sum_[k] / static_cast<double>(count_[k]) : std::nan(""), std::nullopt};
    case StatKind::exceed:
      return {static_cast<double>(count_[k]), std::nullopt};
    case StatKind::daily_max:
      if (years_.size() == 1) return single_[k];
      if (years_.empty()) return {};
      return {sum_[k] / static_cast<double>(years_.size()), std::nullopt};
  }
  return {};
}

}  // namespace kestrel::inspect
