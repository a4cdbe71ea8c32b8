#include "inspect/summary.hpp"

#include <algorithm>
#include <cmath>

#include "io/byte_order.hpp"

namespace kestrel::inspect {

double Period::value(std::size_t k) const {
  return width == 8 ? io::get_f64(values.data() + 8 * k) : io::get_f32(values.data() + 4 * k);
}

std::vector<double> Summary::highest() const {
  std::vector<double> h(static_cast<std::size_t>(layout.nrec), std::nan(""));
  for (const auto& [group, table] : by_group) {
    for (std::size_t k = 0; k < table.size() && k < h.size(); ++k) {
      if (table[k].count() > 0 && (std::isnan(h[k]) || table[k].high() > h[k])) h[k] = table[k].high();
    }
  }
  return h;
}

std::optional<Summary::Peak> Summary::peak() const {
  std::optional<Peak> best;
  for (const auto& [group, table] : by_group) {
    for (std::size_t k = 0; k < table.size(); ++k) {
      const ReceptorStat& r = table[k];
      if (r.count() > 0 && (!best || r.high() > best->value)) best = Peak{k, r.high(), r.high_end(), group};
    }
  }
  return best;
}

}  // namespace kestrel::inspect
