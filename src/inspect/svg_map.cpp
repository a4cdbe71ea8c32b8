#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>

#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/svg.hpp"
#include "inspect/svg_draw.hpp"

namespace kestrel::inspect {

namespace {

constexpr double kLeft = 80, kTop = 72, kSize = 600;  // the plot square, px
constexpr int kWidth = 900, kHeight = 750;
constexpr double kBar = 300;  // the colour bar's height, px

// The median distance from a receptor to its nearest neighbour, km: the
// receptors sorted by x, each one searching outwards until x alone is too far.
double spacing(const Receptors& r) {
  const std::size_t n = r.x.size();
  if (n < 2) return 0;
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return r.x[a] < r.x[b]; });
  std::vector<double> nearest;
  nearest.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    double best = INFINITY;
    auto look = [&](std::size_t j) {
      const double dx = r.x[order[j]] - r.x[order[i]], dy = r.y[order[j]] - r.y[order[i]];
      if (dx * dx >= best * best) return false;
      const double d = std::hypot(dx, dy);
      if (d > 0) best = std::min(best, d);
      return true;
    };
    for (std::size_t j = i + 1; j < n && look(j);) ++j;
    for (std::size_t j = i; j-- > 0 && look(j);) {
    }
    if (std::isfinite(best)) nearest.push_back(best);
  }
  if (nearest.empty()) return 0;
  std::nth_element(nearest.begin(), nearest.begin() + static_cast<std::ptrdiff_t>(nearest.size() / 2), nearest.end());
  return nearest[nearest.size() / 2];
}

// Where km go on the page: one scale for both axes, the extent centred.
struct View {
  double cx = 0, cy = 0, side = 1, scale = 1;
  [[nodiscard]] double px(double x) const { return kLeft + kSize / 2 + (x - cx) * scale; }
  [[nodiscard]] double py(double y) const { return kTop + kSize / 2 - (y - cy) * scale; }
  [[nodiscard]] double x_at(double p) const { return cx + (p - kLeft - kSize / 2) / scale; }
  [[nodiscard]] double y_at(double p) const { return cy - (p - kTop - kSize / 2) / scale; }
};

View view_of(const Summary& s, bool grid) {
  const auto [xmin, xmax] = std::minmax_element(s.receptors.x.begin(), s.receptors.x.end());
  const auto [ymin, ymax] = std::minmax_element(s.receptors.y.begin(), s.receptors.y.end());
  double x0 = *xmin, x1 = *xmax, y0 = *ymin, y1 = *ymax;
  if (grid && s.grid.known) {
    x0 = std::min<double>(x0, s.grid.x0), y0 = std::min<double>(y0, s.grid.y0);
    x1 = std::max<double>(x1, s.grid.x0 + s.grid.d * s.grid.nx);
    y1 = std::max<double>(y1, s.grid.y0 + s.grid.d * s.grid.ny);
  }
  View v;
  v.cx = (x0 + x1) / 2, v.cy = (y0 + y1) / 2;
  v.side = std::max({x1 - x0, y1 - y0, 1e-3}) * 1.08;
  v.scale = kSize / v.side;
  return v;
}

std::string axes(const View& v) {
  const double bottom = kTop + kSize, right = kLeft + kSize;
  std::string o = frame(kLeft, kTop, kSize, kSize);
  const auto xs = nice_ticks(v.x_at(kLeft), v.x_at(right), 6);
  const auto ys = nice_ticks(v.y_at(bottom), v.y_at(kTop), 6);
  const double xstep = xs.size() > 1 ? xs[1] - xs[0] : 1, ystep = ys.size() > 1 ? ys[1] - ys[0] : 1;
  o += "<g stroke=\"#e4e4e4\">\n";
  for (const double x : xs) o += line(v.px(x), kTop, v.px(x), bottom);
  for (const double y : ys) o += line(kLeft, v.py(y), right, v.py(y));
  o += "</g>\n<g stroke=\"black\">\n";
  for (const double x : xs) o += line(v.px(x), bottom, v.px(x), bottom + 5);
  for (const double y : ys) o += line(kLeft - 5, v.py(y), kLeft, v.py(y));
  o += "</g>\n<g text-anchor=\"middle\">\n";
  for (const double x : xs) o += text(v.px(x), bottom + 19, tick_label(x, xstep));
  o += text(kLeft + kSize / 2, bottom + 40, "x, km");
  o += "</g>\n<g text-anchor=\"end\">\n";
  for (const double y : ys) o += text(kLeft - 8, v.py(y) + 4, tick_label(y, ystep));
  o += "</g>\n";
  return o + vertical_text(kLeft - 58, kTop + kSize / 2, "y, km");
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

// The colour scale: log10 of the values from lo to hi, at most six decades.
struct Scale {
  double lo = 1, hi = 10;
  bool clipped = false;  // values below lo take lo's colour
  [[nodiscard]] double t(double v) const {
    return (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo));
  }
};

// The 1, 2 or 5 times a power of ten at or above v (`up`), or at or below.
double round_125(double v, bool up) {
  const double mag = std::pow(10.0, std::floor(std::log10(v)));
  const double m = v / mag;
  if (up) return (m <= 1 + 1e-9 ? 1 : m <= 2 + 1e-9 ? 2 : m <= 5 + 1e-9 ? 5 : 10) * mag;
  return (m >= 5 - 1e-9 ? 5 : m >= 2 - 1e-9 ? 2 : 1) * mag;
}

// The scale runs between round values so that both its ends are labelled.
Scale scale_of(const std::vector<double>& high) {
  Scale sc{INFINITY, -INFINITY};
  for (const double v : high) {
    if (v > 0 && std::isfinite(v)) sc.lo = std::min(sc.lo, v), sc.hi = std::max(sc.hi, v);
  }
  if (!std::isfinite(sc.hi)) return Scale{};
  if (sc.lo < sc.hi * 1e-6) sc.lo = sc.hi * 1e-6, sc.clipped = true;
  sc.hi = round_125(sc.hi, true);
  sc.lo = round_125(sc.lo, false);
  if (sc.lo >= sc.hi) sc.lo = sc.hi / 10;
  return sc;
}

// The mark of the highest value: a red diamond of half-width d.
std::string diamond(double x, double y, double d) {
  return fmt("<path d=\"M %.2f %.2f l %.2f %.2f l %.2f %.2f l %.2f %.2f z\" fill=\"none\" stroke=\"#d00000\" "
             "stroke-width=\"2\"/>\n",
             x - d, y, d, -d, d, d, -d, d);
}

std::string legend(const Summary& s, const Scale& sc, bool some_zero) {
  const double x = kLeft + kSize + 40, top = kTop + 24;
  std::string o = "<defs><linearGradient id=\"ramp\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">";
  for (int i = 0; i <= 8; ++i) o += fmt("<stop offset=\"%.1f%%\" stop-color=\"%s\"/>", i * 12.5, ramp(i / 8.0).c_str());
  o += "</linearGradient></defs>\n";
  o += text(x - 10, kTop + 8, "highest, " + pretty_unit(s));
  o += fmt("<rect x=\"%.0f\" y=\"%.0f\" width=\"18\" height=\"%.0f\" fill=\"url(#ramp)\"/>\n", x, top, kBar);
  o += frame(x, top, 18, kBar) + "<g stroke=\"black\">\n";
  const auto ticks = log_ticks(sc.lo, sc.hi);
  auto at = [&](double v) { return top + kBar * (1 - sc.t(v)); };
  for (const double v : ticks) o += line(x + 18, at(v), x + 23, at(v));
  o += "</g>\n";
  for (const double v : ticks) o += text(x + 27, at(v) + 4, log_label(v));
  double y = top + kBar + 24;
  if (sc.clipped) {
    o += text(x - 10, y, "lower values in") + text(x - 10, y + 15, "the lowest colour");
    y += 36;
  }
  if (some_zero) {
    o += fmt("<rect x=\"%.0f\" y=\"%.0f\" width=\"10\" height=\"10\" rx=\"5\" fill=\"#cccccc\"/>", x + 4, y - 9);
    o += text(x + 20, y, "0 or no value");
    y += 30;
  }
  if (const auto peak = s.peak()) {
    o += diamond(x + 9, y - 4, 7) + text(x + 20, y, "highest:");
    std::vector<std::string> lines = {num(peak->value) + " " + pretty_unit(s),
                                      "receptor " + std::to_string(peak->k + 1)};
    if (s.receptors.known()) lines.push_back(fmt("(%.3f, %.3f) km", s.receptors.x[peak->k], s.receptors.y[peak->k]));
    lines.push_back("period ending");
    lines.push_back(clock_time(peak->end));
    for (const auto& l : lines) o += text(x - 10, y += 16, l);
  }
  return o;
}

std::string marks(const Summary& s, const View& v, const std::vector<double>& high, const Scale& sc, double r) {
  // The highest drawn last, on top of neighbours they overlap.
  std::vector<std::size_t> order(s.receptors.x.size());
  std::iota(order.begin(), order.end(), 0);
  auto key = [&](std::size_t k) { return k < high.size() && high[k] > 0 ? high[k] : 0.0; };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  std::string o = r >= 4 ? "<g stroke=\"#333\" stroke-width=\"0.5\">\n" : "<g>\n";
  for (const std::size_t k : order) {
    const double h = k < high.size() ? high[k] : NAN;
    const bool positive = h > 0 && std::isfinite(h);
    const float x = s.receptors.x[k], y = s.receptors.y[k];
    o += fmt("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\" fill=\"%s\">", v.px(x), v.py(y), r,
             positive ? ramp(sc.t(h)).c_str() : "#cccccc");
    o += fmt("<title>receptor %zu (%.3f, %.3f) km: %s %s</title></circle>\n", k + 1, x, y,
             std::isfinite(h) ? num(h).c_str() : "none", pretty_unit(s).c_str());
  }
  return o + "</g>\n";
}

// The diamond round the receptor with the highest value, and only the value
// beside it, so that it hides few neighbours; the rest goes under the legend.
std::string peak_mark(const Summary& s, const View& v, double r) {
  const auto peak = s.peak();
  if (!peak || peak->k >= s.receptors.x.size()) return "";
  const double x = v.px(s.receptors.x[peak->k]), y = v.py(s.receptors.y[peak->k]), d = r + 5;
  const bool left = x > kLeft + kSize * 0.7;
  const std::string value = peak->value < 1e4 ? fmt("%.4g", peak->value) : fmt("%.0f", peak->value);
  return diamond(x, y, d) + text(left ? x - d - 3 : x + d + 3, y + 4, value, label_attributes(left));
}

}  // namespace

void write_map(const Summary& s, const std::string& file, bool grid) {
  if (!s.receptors.known()) throw Failure("--svg needs the receptors' coordinates (for a POSTFILE: --control)");
  const std::vector<double> high = s.highest();
  const View v = view_of(s, grid);
  const Scale sc = scale_of(high);
  const bool some_zero = std::any_of(high.begin(), high.end(), [](double h) { return !(h > 0) || !std::isfinite(h); });
  const std::string what = what_and_averaging(s);
  const std::string title = (what.empty() ? "" : what + ": ") + "highest value at each receptor, " + pretty_unit(s);
  std::string o = svg_open(kWidth, kHeight, title);
  o += text(kLeft, 28, title, "font-size=\"17\" font-weight=\"bold\"");
  const std::string name = std::filesystem::path(s.file).filename().string();
  o += text(kLeft, 50, periods_covered(s) + " · " + name, "font-size=\"13\"");
  o += axes(v);
  // Marks and grid clipped to the plot square.
  o += fmt("<svg x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" viewBox=\"%.0f %.0f %.0f %.0f\">\n", kLeft, kTop,
           kSize, kSize, kLeft, kTop, kSize, kSize);
  // Marks sized to the receptors' spacing: apart when they are many.
  const double r = std::clamp(0.45 * spacing(s.receptors) * v.scale, 1.0, 7.0);
  o += marks(s, v, high, sc, r);
  if (grid && s.grid.known) o += nominal_grid(s, v);  // over the marks, which would hide it
  o += peak_mark(s, v, r) + "</svg>\n";
  o += legend(s, sc, some_zero);
  std::string foot = std::to_string(s.receptors.x.size()) + " receptors";
  if (grid && s.grid.known) foot += "; dashed: the dataset's nominal grid";
  o += text(kLeft, kHeight - 14, foot, "fill=\"#555\"");
  save(file, o + "</svg>\n");
}

}  // namespace kestrel::inspect
