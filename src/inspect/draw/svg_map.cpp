#include <algorithm>
#include <cmath>
#include <filesystem>

#include "inspect/draw/map_parts.hpp"
#include "inspect/draw/svg_draw.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"

namespace kestrel::inspect {

namespace {

constexpr int kWidth = 900, kHeight = 760;
constexpr double kBar = 300;  // the colour bar's height, px

View view_of(const Summary& s, const MapOptions& m) {
  const auto [xmin, xmax] = std::minmax_element(s.receptors.x.begin(), s.receptors.x.end());
  const auto [ymin, ymax] = std::minmax_element(s.receptors.y.begin(), s.receptors.y.end());
  double x0 = *xmin, x1 = *xmax, y0 = *ymin, y1 = *ymax;
  if (m.grid && s.grid.known) {
    x0 = std::min<double>(x0, s.grid.x0), y0 = std::min<double>(y0, s.grid.y0);
    x1 = std::max<double>(x1, s.grid.x0 + s.grid.d * s.grid.nx);
    y1 = std::max<double>(y1, s.grid.y0 + s.grid.d * s.grid.ny);
  }
  for (const SourcePlace& p : m.sources) {
    x0 = std::min(x0, p.x_km), x1 = std::max(x1, p.x_km), y0 = std::min(y0, p.y_km), y1 = std::max(y1, p.y_km);
  }
  View v;
  v.cx = (x0 + x1) / 2, v.cy = (y0 + y1) / 2;
  v.side = std::max({x1 - x0, y1 - y0, 1e-3}) * 1.08;
  v.scale = kMapSize / v.side;
  return v;
}

std::string axes(const View& v) {
  const double bottom = kMapTop + kMapSize, right = kMapLeft + kMapSize;
  std::string o = frame(kMapLeft, kMapTop, kMapSize, kMapSize);
  const auto xs = nice_ticks(v.x_at(kMapLeft), v.x_at(right), 6);
  const auto ys = nice_ticks(v.y_at(bottom), v.y_at(kMapTop), 6);
  const double xstep = xs.size() > 1 ? xs[1] - xs[0] : 1, ystep = ys.size() > 1 ? ys[1] - ys[0] : 1;
  o += "<g stroke=\"#e4e4e4\">\n";
  for (const double x : xs) o += line(v.px(x), kMapTop, v.px(x), bottom);
  for (const double y : ys) o += line(kMapLeft, v.py(y), right, v.py(y));
  o += "</g>\n<g stroke=\"black\">\n";
  for (const double x : xs) o += line(v.px(x), bottom, v.px(x), bottom + 5);
  for (const double y : ys) o += line(kMapLeft - 5, v.py(y), kMapLeft, v.py(y));
  o += "</g>\n<g text-anchor=\"middle\">\n";
  for (const double x : xs) o += text(v.px(x), bottom + 19, tick_label(x, xstep));
  o += text(kMapLeft + kMapSize / 2, bottom + 40, "x, km");
  o += "</g>\n<g text-anchor=\"end\">\n";
  for (const double y : ys) o += text(kMapLeft - 8, v.py(y) + 4, tick_label(y, ystep));
  o += "</g>\n";
  return o + vertical_text(kMapLeft - 58, kMapTop + kMapSize / 2, "y, km");
}

std::string nominal_grid(const Summary& s, const View& v) {
  std::string o = "<g fill=\"none\" stroke=\"#222\" stroke-width=\"1.2\" stroke-dasharray=\"5 4\">\n";
  const Grid& g = s.grid;
  const double x1 = g.x0 + g.d * g.nx, y1 = g.y0 + g.d * g.ny;
  for (int i = 0; i <= g.nx && i <= 100; ++i) {
    const double x = v.px(g.x0 + g.d * i);
    o += line(x, v.py(g.y0), x, v.py(y1));
  }
  for (int j = 0; j <= g.ny && j <= 100; ++j) {
    const double y = v.py(g.y0 + g.d * j);
    o += line(v.px(g.x0), y, v.px(x1), y);
  }
  return o + "</g>\n";
}

// The 1, 2 or 5 times a power of ten at or above v (`up`), or at or below.
double round_125(double v, bool up) {
  const double mag = std::pow(10.0, std::floor(std::log10(v)));
  const double m = v / mag;
  if (up) return (m <= 1 + 1e-9 ? 1 : m <= 2 + 1e-9 ? 2 : m <= 5 + 1e-9 ? 5 : 10) * mag;
  return (m >= 5 - 1e-9 ? 5 : m >= 2 - 1e-9 ? 2 : 1) * mag;
}

// The scale runs between round values so that both its ends are labelled.
Scale scale_of(const std::vector<double>& high) {
  Scale sc;
  sc.lo = INFINITY, sc.hi = -INFINITY;
  for (const double v : high) {
    if (v > 0 && std::isfinite(v)) sc.lo = std::min(sc.lo, v), sc.hi = std::max(sc.hi, v);
  }
  if (!std::isfinite(sc.hi)) sc = Scale{};
  if (sc.lo < sc.hi * 1e-6) sc.lo = sc.hi * 1e-6, sc.clipped = true;
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

std::string legend(const Summary& s, const MapData& d, const MapValues& mv, const Scale& sc, bool some_zero, bool filled,
                   double& y) {
  const double x = kMapLeft + kMapSize + 40, top = kMapTop + 24;
  std::string o = text(x - 10, kMapTop + 8, (mv.name.empty() ? "highest" : mv.name) + ", " + d.unit);
  auto at = [&](double v) { return top + kBar * (1 - sc.t(v)); };
  if (filled) {
    // One step per band, as the map shows them.
    for (std::size_t i = 0; i + 1 < sc.levels.size(); ++i) {
      o += fmt("<rect x=\"%.0f\" y=\"%.2f\" width=\"18\" height=\"%.2f\" fill=\"%s\"/>\n", x, at(sc.levels[i + 1]),
               at(sc.levels[i]) - at(sc.levels[i + 1]), sc.band_colour(i).c_str());
    }
  } else {
    o += "<defs><linearGradient id=\"ramp\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">";
    for (int i = 0; i <= 8; ++i) {
      o += fmt("<stop offset=\"%.1f%%\" stop-color=\"%s\"/>", i * 12.5, ramp(i / 8.0).c_str());
    }
    o += "</linearGradient></defs>\n";
    o += fmt("<rect x=\"%.0f\" y=\"%.0f\" width=\"18\" height=\"%.0f\" fill=\"url(#ramp)\"/>\n", x, top, kBar);
  }
  o += frame(x, top, 18, kBar) + "<g stroke=\"black\">\n";
  for (const double v : sc.levels) o += line(x + 18, at(v), x + 23, at(v));
  o += "</g>\n";
  for (const double v : sc.levels) o += text(x + 27, at(v) + 4, log_label(v));
  y = top + kBar + 24;
  o += line(x - 10, y - 4, x + 8, y - 4).insert(5, " stroke=\"#1a1a1a\"") + text(x + 14, y, "contour");
  y += 22;
  if (sc.clipped) {
    o += text(x - 10, y, filled ? "lower values" : "lower values in") +
         text(x - 10, y + 15, filled ? "not filled" : "the lowest colour");
    y += 36;
  }
  if (some_zero && !filled) {
    o += fmt("<rect x=\"%.0f\" y=\"%.0f\" width=\"10\" height=\"10\" rx=\"5\" fill=\"#cccccc\"/>", x + 4, y - 9);
    o += text(x + 20, y, "0 or no value");
    y += 24;
  }
  if (const auto& peak = d.peak) {
    o += fmt("<path d=\"M %.1f %.1f l 7 -7 l 7 7 l -7 7 z\" fill=\"none\" stroke=\"#d00000\" stroke-width=\"2\"/>",
             x + 2, y - 4) +
         text(x + 20, y, "highest:");
    std::vector<std::string> lines = {num(peak->value) + " " + d.unit, "receptor " + std::to_string(peak->k + 1)};
    if (s.receptors.known()) lines.push_back(fmt("(%.3f, %.3f) km", s.receptors.x[peak->k], s.receptors.y[peak->k]));
    if (peak->dated) {
      lines.push_back(mv.name.empty() || mv.count ? "period ending" : "period or block ending");
      lines.push_back(clock_time(peak->end));
    }
    for (const auto& l : lines) o += text(x - 10, y += 16, l);
    y += 28;
  }
  return o;
}

MapData data_of(const Summary& s, const MapValues& mv, const View& v, Scale& sc) {
  MapData d;
  const std::size_t n = s.receptors.x.size();
  d.high = mv.values;
  d.peak = mv.peak;
  d.unit = mv.unit.empty() ? pretty_unit(s) : pretty_unit(mv.unit);
  d.high.resize(n, std::nan(""));
  sc = scale_of(d.high);
  for (const double h : d.high) d.field.push_back(std::isfinite(h) ? std::log10(std::max(h, sc.lo / 10)) : h);
  std::vector<Pt> km(n);
  for (std::size_t k = 0; k < n; ++k) {
    km[k] = {s.receptors.x[k], s.receptors.y[k]};
    d.page.push_back({v.px(km[k].x), v.py(km[k].y)});
  }
  d.triangles = triangulate(km);
  // Each mark fills less than half the way to its nearest neighbour, so
  // that the dense inner rings of a polar network stay apart.
  for (const double near : nearest_distances(km)) {
    d.radius.push_back(near > 0 ? std::clamp(0.4 * near * v.scale, 1.0, 7.0) : 4.0);
  }
  return d;
}

}  // namespace

void write_map(const Summary& s, const MapOptions& m, const MapValues& mv) {
  if (!s.receptors.known()) throw Failure("--svg needs the receptors' coordinates (for a POSTFILE: --control)");
  const View v = view_of(s, m);
  Scale sc;
  const MapData d = data_of(s, mv, v, sc);
  const bool some_zero = std::any_of(d.high.begin(), d.high.end(), [](double h) { return !(h > 0) || !std::isfinite(h); });
  const std::string what = what_and_averaging(s);
  const std::string shown = mv.what.empty() ? "highest value" : mv.what;
  const std::string title =
      !m.title.empty() ? m.title : (what.empty() ? "" : what + ": ") + shown + " at each receptor, " + d.unit;
  std::string o = svg_open(kWidth, kHeight, title);
  o += text(kMapLeft, 28, title, "font-size=\"17\" font-weight=\"bold\"");
  const std::string name = std::filesystem::path(s.file).filename().string();
  o += text(kMapLeft, 50, periods_covered(s) + " · " + name, "font-size=\"13\"");
  o += axes(v);
  // The map's layers clipped to the plot square.
  o += fmt("<svg x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" viewBox=\"%.0f %.0f %.0f %.0f\">\n", kMapLeft,
           kMapTop, kMapSize, kMapSize, kMapLeft, kMapTop, kMapSize, kMapSize);
  Obstacles around;
  around.bounds = {kMapLeft + 2, kMapTop + 2, kMapLeft + kMapSize - 2, kMapTop + kMapSize - 2};
  if (m.filled) {
    o += filled_bands(d, sc);
  } else {
    o += receptor_marks(d, sc);
    for (std::size_t k = 0; k < d.page.size(); ++k) around.marks.push_back({d.page[k].x, d.page[k].y, d.radius[k]});
  }
  if (m.grid && s.grid.known) o += nominal_grid(s, v);  // over the marks, which would hide it
  // Sources before the contour labels, which then keep clear of them.
  const std::string sources = source_marks(m.sources, v, around);
  o += contour_lines(d, sc, m.filled, around);
  o += sources;
  o += peak_mark(d, around) + "</svg>\n";
  double y = 0;
  o += legend(s, d, mv, sc, some_zero, m.filled, y);
  o += scale_bar_and_north(v, kMapLeft + kMapSize + 30, y);
  std::string foot = count_of(static_cast<std::int64_t>(s.receptors.x.size()), "receptor");
  if (m.filled) foot += ", the logarithm of the values interpolated linearly between them";
  if (!m.sources.empty()) foot += "; ▲ sources (" + std::filesystem::path(m.sources_from).filename().string() + ")";
  if (m.grid && s.grid.known) foot += "; dashed: the dataset's nominal grid";
  o += text(kMapLeft, kHeight - 14, foot, "fill=\"#555\"");
  save(m.file, o + "</svg>\n");
}

}  // namespace kestrel::inspect
