// A long series drawn in fixed memory: for each pixel column the range of
// the hourly values it covers, and each day's maximum.
#pragma once

#include <cstdint>
#include <vector>

#include "inspect/kestrel_calls.hpp"

namespace kestrel::inspect {

class Envelope {
 public:
  // Periods ending from `first` to `span` hours after it, over `columns` columns.
  Envelope(const Time& first, std::int64_t span, int columns);
  void add(const Time& end, double value);

  // Per column: the lowest and highest value, NaN where no hour falls.
  [[nodiscard]] const std::vector<double>& low() const { return low_; }
  [[nodiscard]] const std::vector<double>& high() const { return high_; }
  // Per day from the day of the first period's hour: its highest value, NaN for none.
  [[nodiscard]] const std::vector<double>& daily_max() const { return daily_; }
  // Hours from `first` to the middle of day d.
  [[nodiscard]] double day_middle(std::size_t d) const { return static_cast<double>(d) * 24 + 12 - lead_; }
  [[nodiscard]] std::int64_t span() const { return span_; }

 private:
  Time first_;
  std::int64_t span_;
  std::int32_t lead_;  // hours of the first day before the first period's hour
  std::vector<double> low_, high_, daily_;
};

}  // namespace kestrel::inspect
