#include "analysis/blocks.hpp"

#include <algorithm>
#include <cmath>

namespace kestrel::analysis {

Flag flag_of(std::int64_t calm_hours, std::int64_t missing_hours) {
  if (calm_hours > 0) return missing_hours > 0 ? Flag::both : Flag::calm;
  return missing_hours > 0 ? Flag::missing : Flag::none;
}

double block_divisor(std::int64_t hours, std::int64_t valid) {
  if (valid >= hours) return static_cast<double>(hours);
  // 0.75 n + 0.4 is never half way, so rounding has no tie to break.
  const auto least = std::lround(0.75 * static_cast<double>(hours) + 0.4);
  return static_cast<double>(std::max<std::int64_t>(valid, least));
}

BlockAverager::BlockAverager(std::size_t receptors, int hours, Quantity quantity)
    : n_(receptors), hours_(hours), quantity_(quantity), sum_(receptors, 0.0), out_(receptors, 0.0) {}

bool BlockAverager::add(const Time& end, HourMark mark, std::span<const double> values) {
  const std::int64_t h = hour_number(end);
  std::int64_t key = 0, block_end = 0;
  if (hours_ == kMonth) {
    const Time day = day_of(end);
    const std::int32_t mo = month_of(end);
    key = std::int64_t{day.yr} * 12 + mo;
    // The month ends at hour 00 of the next month's first day.
    const std::int32_t next_yr = mo == 12 ? day.yr + 1 : day.yr;
    const std::int32_t next_mo = mo == 12 ? 1 : mo + 1;
    const auto jul = julday(next_yr, next_mo, 1);
    block_end = hour_number({next_yr, jul.ok() ? *jul : 1, 0});
  } else {
    // Blocks of a day from its hour 01: the block holding hour h ends at
    // the next multiple of H hours from the day's start.
    const std::int64_t from_midnight = h - 1;
    key = from_midnight / hours_;
    block_end = (key + 1) * hours_;
  }
  bool closing = false;
  if (key != key_) {
    if (key_ >= 0 && count_ > 0) {
      close();
      closing = true;
    }
    key_ = key;
    end_ = block_end;
  }
  ++count_;
  calm_ += mark == HourMark::calm ? 1 : 0;
  missing_ += mark == HourMark::missing ? 1 : 0;
  const std::size_t n = std::min(n_, values.size());
  double* const s = sum_.data();
  for (std::size_t k = 0; k < n; ++k) {
    // A value that is no number (a dataset's gap) adds nothing.
    if (std::isfinite(values[k])) s[k] += values[k];
  }
  return closing;
}

bool BlockAverager::finish() {
  if (count_ == 0) return false;
  close();
  key_ = -1;
  return true;
}

void BlockAverager::close() {
  const std::int64_t valid = count_ - calm_ - missing_;
  const double divisor = quantity_ == Quantity::deposition ? 1.0 : block_divisor(count_, valid);
  for (std::size_t k = 0; k < n_; ++k) {
    out_[k] = sum_[k] / divisor;
    sum_[k] = 0.0;
  }
  closed_ = {time_of(end_), flag_of(calm_, missing_), count_, valid, out_};
  count_ = calm_ = missing_ = 0;
}

PeriodSum::PeriodSum(std::size_t receptors, Quantity quantity) : quantity_(quantity), sum_(receptors, 0.0) {}

void PeriodSum::add(HourMark mark, std::span<const double> values) {
  ++hours_;
  calm_ += mark == HourMark::calm ? 1 : 0;
  missing_ += mark == HourMark::missing ? 1 : 0;
  const std::size_t n = std::min(sum_.size(), values.size());
  double* const s = sum_.data();
  for (std::size_t k = 0; k < n; ++k) {
    if (std::isfinite(values[k])) s[k] += values[k];
  }
}

double PeriodSum::value(std::size_t k) const {
  if (quantity_ == Quantity::deposition) return sum_[k];
  const std::int64_t v = valid();
  return v > 0 ? sum_[k] / static_cast<double>(v) : 0.0;
}

void PeriodSum::reset() {
  std::fill(sum_.begin(), sum_.end(), 0.0);
  hours_ = calm_ = missing_ = 0;
}

}  // namespace kestrel::analysis
