#include "inspect/draw/map_model.hpp"

#include <algorithm>

#include "inspect/draw/levels.hpp"
#include "inspect/draw/svg_draw.hpp"

namespace kestrel::inspect {

namespace {

// The 1, 2 or 5 times a power of ten at or above v (`up`), or at or below.
double round_125(double v, bool up) {
  const double mag = std::pow(10.0, std::floor(std::log10(v)));
  const double m = v / mag;
  if (up) return (m <= 1 + 1e-9 ? 1 : m <= 2 + 1e-9 ? 2 : m <= 5 + 1e-9 ? 5 : 10) * mag;
  return (m >= 5 - 1e-9 ? 5 : m >= 2 - 1e-9 ? 2 : 1) * mag;
}

// The scale runs between round values so that both its ends are labelled;
// values more than six decades below the highest count as below it.
Scale default_scale(std::span<const double> values) {
  Scale sc;
  sc.lo = INFINITY, sc.hi = -INFINITY;
  for (const double v : values) {
    if (v > 0 && std::isfinite(v)) sc.lo = std::min(sc.lo, v), sc.hi = std::max(sc.hi, v);
  }
  if (!std::isfinite(sc.hi)) sc = Scale{};
  sc.lo = std::max(sc.lo, sc.hi * 1e-6);
  sc.hi = round_125(sc.hi, true);
  sc.lo = round_125(sc.lo, false);
  if (sc.lo >= sc.hi) sc.lo = sc.hi / 10;
  sc.levels = log_ticks(sc.lo, sc.hi);
  // Up to four decades, contours at 1, 2 and 5 times each power of ten.
  if (sc.hi / sc.lo <= 1e4 * (1 + 1e-9)) {
    sc.levels.clear();
    for (double e = std::floor(std::log10(sc.lo)); e <= std::ceil(std::log10(sc.hi)); e += 1) {
      for (const double m : {1.0, 2.0, 5.0}) {
        const double v = m * std::pow(10.0, e);
        if (v >= sc.lo * (1 - 1e-9) && v <= sc.hi * (1 + 1e-9)) sc.levels.push_back(v);
      }
    }
  }
  return sc;
}

Scale chosen_scale(std::span<const double> levels) {
  Scale sc;
  sc.levels.assign(levels.begin(), levels.end());
  sc.chosen = true;
  sc.lo = levels.front();
  sc.hi = levels.size() > 1 ? levels.back() : levels.front() * 10;
  return sc;
}

}  // namespace

std::size_t Scale::band_of(double v) const {
  return static_cast<std::size_t>(std::upper_bound(levels.begin(), levels.end(), v) - levels.begin());
}

std::string Scale::band_colour(std::size_t band) const {
  if (band == 0) return kBelowColour;
  if (band >= levels.size()) return ramp(1.0);
  if (chosen) return ramp(static_cast<double>(band - 1) / static_cast<double>(levels.size() - 1));
  return ramp((t(levels[band - 1]) + t(levels[band])) / 2);
}

std::string Scale::colour(double v) const {
  if (!std::isfinite(v)) return kNoValueColour;
  const std::size_t band = band_of(v);
  if (band == 0 || chosen) return band_colour(band);
  return ramp(t(v));
}

std::string Scale::band_text(std::size_t band) const {
  if (band == 0) return "below " + labels.front();
  if (band >= levels.size()) return labels.back() + " and above";
  return labels[band - 1] + " to " + labels[band];
}

MapModel map_model(const Summary& s, const MapValues& mv, std::span<const double> levels) {
  MapModel m;
  const std::size_t n = s.receptors.x.size();
  m.values = mv.values;
  m.values.resize(n, std::nan(""));
  m.peak = mv.peak;
  m.unit = mv.unit.empty() ? pretty_unit(s) : pretty_unit(mv.unit);
  m.unit_text = mv.unit.empty() ? s.own_unit : mv.unit;
  m.what = mv.name.empty() ? "highest" : mv.name;
  m.scale = levels.empty() ? default_scale(m.values) : chosen_scale(levels);
  m.scale.labels = level_labels(m.scale.levels);
  const double floor = m.scale.levels.front() / 10;
  for (const double v : m.values) {
    m.field.push_back(std::isfinite(v) ? std::log10(std::max(v, floor)) : v);
    m.some_below = m.some_below || (std::isfinite(v) && v < m.scale.levels.front());
    m.some_missing = m.some_missing || !std::isfinite(v);
  }
  // The places in metres where the file or control file gives them: a run in
  // UTM has northings that a 4-byte km value keeps only to about 0.25 m.
  const bool metres = s.receptors.x_m.size() == n && s.receptors.y_m.size() == n;
  for (std::size_t k = 0; k < n; ++k) {
    m.km.push_back(metres ? Pt{s.receptors.x_m[k] / 1000, s.receptors.y_m[k] / 1000}
                          : Pt{s.receptors.x[k], s.receptors.y[k]});
  }
  m.spacing = nearest_distances(m.km);
  const auto all = triangulate(m.km);
  m.triangles = interpolable(m.km, all, m.spacing, kReach);
  m.blanked = all.size() - m.triangles.size();
  std::vector<double> cuts;
  for (const double l : m.scale.levels) cuts.push_back(std::log10(l));
  m.bands = bands(m.km, m.field, m.triangles, cuts);
  double lo = INFINITY, hi = -INFINITY;
  for (const double v : m.field) {
    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  }
  for (std::size_t i = cuts.size(); i-- > 0;) {
    if (!(cuts[i] > lo && cuts[i] < hi)) continue;
    auto lines = isolines(m.km, m.field, m.triangles, cuts[i]);
    if (!lines.empty()) m.contours.push_back({m.scale.levels[i], m.scale.labels[i], std::move(lines)});
  }
  return m;
}

}  // namespace kestrel::inspect
