#include "inspect/stats/summary.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "inspect/format.hpp"

namespace kestrel::inspect {

namespace {

struct Extent {
  float xmin, ymin, xmax, ymax;
};

Extent extent_of(const Receptors& r) {
  const auto [xmin, xmax] = std::minmax_element(r.x.begin(), r.x.end());
  const auto [ymin, ymax] = std::minmax_element(r.y.begin(), r.y.end());
  return {*xmin, *ymin, *xmax, *ymax};
}

}  // namespace

Receptors receptors_of(const ControlFile& c) {
  Receptors r;
  r.x = c.x;
  r.y = c.y;
  r.x_m = c.x_m;
  r.y_m = c.y_m;
  r.grid = {true, c.box.x0, c.box.y0, c.box.d, 2, 2};
  return r;
}

std::string extent_text(const Receptors& r) {
  std::string extent = std::to_string(r.x.size());
  if (r.known()) {
    const Extent e = extent_of(r);
    extent += " from (" + fixed4(e.xmin) + ", " + fixed4(e.ymin) + ") to (" + fixed4(e.xmax) + ", " + fixed4(e.ymax) +
              ") km";
  }
  return extent;
}

Json extent_json(const Receptors& r) {
  const Extent e = extent_of(r);
  return json_object({{"x_min", e.xmin}, {"y_min", e.ymin}, {"x_max", e.xmax}, {"y_max", e.ymax}});
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

std::vector<double> Summary::stat_values(std::size_t i) const {
  std::vector<double> v(static_cast<std::size_t>(layout.nrec), std::nan(""));
  for (const auto& [group, list] : statistics) {
    if (i >= list.size()) continue;
    for (std::size_t k = 0; k < list[i].receptors() && k < v.size(); ++k) {
      const double x = list[i].at(k).value;
      if (std::isfinite(x) && (std::isnan(v[k]) || x > v[k])) v[k] = x;
    }
  }
  return v;
}

std::vector<Summary::Peak> Summary::stat_top(std::size_t i, std::size_t count) const {
  std::vector<Peak> all;
  for (const auto& [group, list] : statistics) {
    if (i >= list.size()) continue;
    for (std::size_t k = 0; k < list[i].receptors(); ++k) {
      const StatValue x = list[i].at(k);
      if (std::isfinite(x.value)) all.push_back({k, x.value, x.end.value_or(Time{}), group, x.end.has_value()});
    }
  }
  std::stable_sort(all.begin(), all.end(), [](const Peak& a, const Peak& b) { return a.value > b.value; });
  if (all.size() > count) all.resize(count);
  return all;
}

}  // namespace kestrel::inspect
