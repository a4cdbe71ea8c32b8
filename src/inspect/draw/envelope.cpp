#include "inspect/draw/envelope.hpp"

#include <algorithm>
#include <cmath>

namespace kestrel::inspect {

Envelope::Envelope(const Time& first, std::int64_t span, int columns)
    : first_(first),
      span_(std::max<std::int64_t>(1, span)),
      // A period ending at hour h covers the hour from h - 1: hour 00 closes the day before.
      lead_(first.hr == 0 ? 23 : first.hr - 1),
      low_(static_cast<std::size_t>(columns), NAN),
      high_(static_cast<std::size_t>(columns), NAN),
      daily_(static_cast<std::size_t>((span_ + lead_) / 24 + 1), NAN) {}

void Envelope::add(const Time& end, double value) {
  if (!std::isfinite(value)) return;
  const std::int64_t h = hours_between(first_, end);
  if (h < 0 || h > span_) return;
  const auto columns = static_cast<std::int64_t>(low_.size());
  const auto c = static_cast<std::size_t>(std::min(columns - 1, h * columns / (span_ + 1)));
  if (!(low_[c] <= value)) low_[c] = value;
  if (!(high_[c] >= value)) high_[c] = value;
  const auto d = static_cast<std::size_t>((h + lead_) / 24);
  if (d < daily_.size() && !(daily_[d] >= value)) daily_[d] = value;
}

}  // namespace kestrel::inspect
