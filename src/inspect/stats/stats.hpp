// Value statistics of a file, in one pass and fixed memory.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "inspect/kestrel_calls.hpp"

namespace kestrel::inspect {

struct Top {
  double value = 0;
  Time time;
  std::int32_t receptor = 0;  // 1-based
};

class Stats {
 public:
  void add(double v, const Time& t, std::int32_t receptor);
  [[nodiscard]] std::int64_t count() const { return count_; }
  [[nodiscard]] std::int64_t nonfinite() const { return nonfinite_; }
  [[nodiscard]] double min() const;
  [[nodiscard]] double max() const;
  [[nodiscard]] double mean() const;
  // The ten highest values, highest first; the earlier of equal values first.
  [[nodiscard]] const std::vector<Top>& top() const { return top_; }

 private:
  std::int64_t count_ = 0;
  std::int64_t nonfinite_ = 0;
  double sum_ = 0;
  double min_ = std::numeric_limits<double>::infinity();
  double max_ = -std::numeric_limits<double>::infinity();
  std::vector<Top> top_;
};

// One receptor's values over the periods: highest, second-highest (the
// same value again when it comes twice) and mean.
class ReceptorStat {
 public:
  void add(double v, const Time& end) {
    if (!std::isfinite(v)) return;
    sum_ += v;
    ++count_;
    if (count_ == 1 || v > high_) {
      second_ = high_, second_end_ = high_end_;
      high_ = v, high_end_ = end;
    } else if (count_ == 2 || v > second_) {
      second_ = v, second_end_ = end;
    }
  }
  [[nodiscard]] std::int64_t count() const { return count_; }
  [[nodiscard]] double high() const { return high_; }
  [[nodiscard]] const Time& high_end() const { return high_end_; }
  [[nodiscard]] double second() const { return second_; }
  [[nodiscard]] const Time& second_end() const { return second_end_; }
  [[nodiscard]] double mean() const { return count_ ? sum_ / static_cast<double>(count_) : 0.0; }

 private:
  double high_ = 0, second_ = 0, sum_ = 0;
  Time high_end_, second_end_;
  std::int64_t count_ = 0;
};

// The periods against a dataset's run period; -1 when not checked.
struct HourCount {
  std::int64_t missing = -1, repeated = -1, outside = -1;
};

// The hours from `begin` that the periods' end times fall on.
class HourCheck {
 public:
  HourCheck(const Time& begin, std::int32_t irlg);
  void add(const Time& end);
  [[nodiscard]] HourCount result() const;

 private:
  Time begin_;
  std::vector<std::uint32_t> seen_;
  std::int64_t outside_ = 0;
};

}  // namespace kestrel::inspect
