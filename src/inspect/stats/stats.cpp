#include "inspect/stats/stats.hpp"

#include <algorithm>
#include <cmath>

namespace kestrel::inspect {

void Stats::add(double v, const Time& t, std::int32_t receptor) {
  if (!std::isfinite(v)) {
    ++nonfinite_;
    return;
  }
  ++count_;
  sum_ += v;
  min_ = std::min(min_, v);
  max_ = std::max(max_, v);
  if (top_.size() < 10 || v > top_.back().value) {
    top_.push_back({v, t, receptor});
    std::stable_sort(top_.begin(), top_.end(), [](const Top& a, const Top& b) { return a.value > b.value; });
    if (top_.size() > 10) top_.pop_back();
  }
}

double Stats::min() const { return count_ ? min_ : std::nan(""); }
double Stats::max() const { return count_ ? max_ : std::nan(""); }
double Stats::mean() const { return count_ ? sum_ / static_cast<double>(count_) : std::nan(""); }

HourCheck::HourCheck(const Time& begin, std::int32_t irlg) : begin_(begin) {
  if (irlg > 0 && irlg <= 1000000) seen_.assign(static_cast<std::size_t>(irlg), 0);
}

void HourCheck::add(const Time& end) {
  const std::int64_t h = hours_between(begin_, end);
  if (h >= 1 && h <= static_cast<std::int64_t>(seen_.size())) {
    ++seen_[static_cast<std::size_t>(h - 1)];
  } else {
    ++outside_;
  }
}

HourCount HourCheck::result() const {
  HourCount c;
  c.missing = static_cast<std::int64_t>(std::count(seen_.begin(), seen_.end(), 0U));
  c.repeated = 0;
  for (const auto n : seen_) c.repeated += n > 1 ? n - 1 : 0;
  c.outside = outside_;
  return c;
}

}  // namespace kestrel::inspect
