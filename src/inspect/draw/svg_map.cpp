#include <algorithm>
#include <cmath>
#include <filesystem>

#include "inspect/draw/levels.hpp"
#include "inspect/draw/map_parts.hpp"
#include "inspect/draw/svg_draw.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"

namespace kestrel::inspect {

namespace {

constexpr int kWidth = 900, kHeight = 760;

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

// Lines of at most `width` px at `size`, broken at spaces.
std::vector<std::string> wrapped(const std::string& text, double size, bool bold, double width) {
  std::vector<std::string> lines{""};
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = text.find(' ', at);
    const std::string word = text.substr(at, space == std::string::npos ? std::string::npos : space - at);
    const std::string longer = lines.back().empty() ? word : lines.back() + " " + word;
    if (!lines.back().empty() && text_width(longer, size, bold) > width) lines.push_back(word);
    else lines.back() = longer;
    if (space == std::string::npos) break;
    at = space + 1;
  }
  return lines;
}

MapData data_of(const MapModel& model, const View& v) {
  MapData d{model, v, {}, {}};
  for (const Pt& q : model.km) d.page.push_back(v.page(q));
  // Each mark fills less than half the way to its nearest neighbour, so
  // that the dense inner rings of a polar network stay apart.
  for (const double near : model.spacing) {
    d.radius.push_back(near > 0 ? std::clamp(0.4 * near * v.scale, 1.0, 7.0) : 4.0);
  }
  return d;
}

}  // namespace

std::string map_title(const Summary& s, const MapOptions& m, const MapValues& mv, const MapModel& model) {
  if (!m.title.empty()) return m.title;
  std::string what = what_and_averaging(s);
  if (!s.deposition.empty()) what += (what.empty() ? "" : ", ") + s.deposition;
  const std::string shown = mv.what.empty() ? "highest value" : mv.what;
  return (what.empty() ? "" : what + ": ") + shown + " at each receptor, " + model.unit;
}

namespace {

std::string foot_of(const Summary& s, const MapOptions& m, const MapModel& model) {
  std::string foot = count_of(static_cast<std::int64_t>(s.receptors.x.size()), "receptor");
  if (m.filled) foot += ", the logarithm of the values interpolated linearly between them";
  if (model.blanked > 0) {
    foot += std::string(m.filled ? "; left blank" : "; no contours") + " across gaps wider than " +
            plain_number(kReach, 2) + " times the receptors' spacing";
  }
  if (!m.sources.empty()) foot += "; ▲ sources (" + std::filesystem::path(m.sources_from).filename().string() + ")";
  if (!m.no_sources.empty()) foot += "; " + m.no_sources;
  if (m.grid && s.grid.known) foot += "; dashed: the dataset's nominal grid";
  return foot;
}

}  // namespace

std::string map_svg(const Summary& s, const MapOptions& m, const MapValues& mv, const MapModel& model) {
  if (!s.receptors.known()) throw Failure("a map needs the receptors' coordinates (for a POSTFILE: --control)");
  const View v = view_of(s, m);
  const MapData d = data_of(model, v);
  const std::string title = map_title(s, m, mv, model);
  const std::string name = std::filesystem::path(s.file).filename().string();
  // Long titles and feet wrap to the picture's width, which stays; the
  // picture grows down by the lines they add.
  const auto heads = wrapped(title, 17, true, kWidth - kMapLeft - 20);
  const auto subs = wrapped(periods_covered(s) + " · " + name, 13, false, kWidth - kMapLeft - 20);
  const auto feet = wrapped(foot_of(s, m, model), 12, false, kWidth - kMapLeft - 20);
  const double shift = 21.0 * static_cast<double>(heads.size() - 1) + 16.0 * static_cast<double>(subs.size() - 1);
  const double height = kHeight + shift + 15.0 * static_cast<double>(feet.size() - 1);
  std::string o = svg_open(kWidth, static_cast<int>(std::ceil(height)), title);
  for (std::size_t i = 0; i < heads.size(); ++i) {
    o += text(kMapLeft, 28 + 21.0 * static_cast<double>(i), heads[i], "font-size=\"17\" font-weight=\"bold\"");
  }
  for (std::size_t i = 0; i < subs.size(); ++i) {
    o += text(kMapLeft, 50 + 21.0 * static_cast<double>(heads.size() - 1) + 16.0 * static_cast<double>(i), subs[i],
              "font-size=\"13\"");
  }
  if (shift > 0) o += fmt("<g transform=\"translate(0 %.0f)\">\n", shift);
  o += axes(v);
  // The map's layers clipped to the plot square.
  o += fmt("<svg x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" viewBox=\"%.0f %.0f %.0f %.0f\">\n", kMapLeft,
           kMapTop, kMapSize, kMapSize, kMapLeft, kMapTop, kMapSize, kMapSize);
  Obstacles around;
  around.bounds = {kMapLeft + 2, kMapTop + 2, kMapLeft + kMapSize - 2, kMapTop + kMapSize - 2};
  o += m.filled ? filled_bands(d) + receptor_marks(d, true) : receptor_marks(d, false);
  // Labels keep clear of the receptors, marks or dots.
  for (std::size_t k = 0; k < d.page.size(); ++k) {
    around.marks.push_back({d.page[k].x, d.page[k].y, m.filled ? dot_radius(d.radius[k]) : d.radius[k]});
  }
  if (m.grid && s.grid.known) o += nominal_grid(s, v);  // over the marks, which would hide it
  // Sources before the contour labels, which then keep clear of them.
  const std::string sources = source_marks(m.sources, v, around);
  o += contour_lines(d, m.filled, around);
  o += sources;
  o += peak_mark(d, around) + "</svg>\n";
  double y = 0;
  o += legend(s, model, mv, m.filled, y);
  o += scale_bar_and_north(v, kMapLeft + kMapSize + 30, y);
  if (shift > 0) o += "</g>\n";
  for (std::size_t i = 0; i < feet.size(); ++i) {
    o += text(kMapLeft, height - 14 - 15.0 * static_cast<double>(feet.size() - 1 - i), feet[i], "fill=\"#555\"");
  }
  return o + "</svg>\n";
}

}  // namespace kestrel::inspect
