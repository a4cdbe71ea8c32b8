#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

#include "inspect/draw/map_parts.hpp"
#include "inspect/draw/svg_draw.hpp"
#include "inspect/format.hpp"

namespace kestrel::inspect {

namespace {

// White round the letters: readable over lines and marks.
constexpr const char* kHalo = "stroke=\"white\" stroke-width=\"3\" paint-order=\"stroke\"";

std::string path_of(const Polyline& line, bool close) {
  std::string d;
  for (std::size_t i = 0; i < line.size(); ++i) d += fmt(i == 0 ? "M%.1f %.1f" : "L%.1f %.1f", line[i].x, line[i].y);
  return d + (close ? "Z" : "");
}

// The mark of the highest value: a red diamond of half-width d.
std::string diamond(double x, double y, double d) {
  return fmt("<path d=\"M %.2f %.2f l %.2f %.2f l %.2f %.2f l %.2f %.2f z\" fill=\"none\" stroke=\"#d00000\" "
             "stroke-width=\"2\"/>\n",
             x - d, y, d, -d, d, d, -d, d);
}

// A rotated label's page box.
Rect turned_box(double x, double y, double w, double h, double angle) {
  const double c = std::fabs(std::cos(angle)), s = std::fabs(std::sin(angle));
  const double bw = w * c + h * s, bh = w * s + h * c;
  return {x - bw / 2, y - bh / 2, x + bw / 2, y + bh / 2};
}

bool free_of_labels(const Rect& r, const Obstacles& around) {
  const Rect& b = around.bounds;
  if (r.x0 < b.x0 || r.y0 < b.y0 || r.x1 > b.x1 || r.y1 > b.y1) return false;
  return std::none_of(around.boxes.begin(), around.boxes.end(), [&](const Rect& o) { return overlaps(r, o); });
}

// Labels along the line, clear of other labels: one per 250 px of line,
// each tried at the middle of its stretch first, then nearer its ends.
std::string line_label(const Polyline& line, const std::string& label, Obstacles& around) {
  std::vector<double> at(line.size(), 0.0);
  for (std::size_t i = 1; i < line.size(); ++i) {
    at[i] = at[i - 1] + std::hypot(line[i].x - line[i - 1].x, line[i].y - line[i - 1].y);
  }
  const double length = at.back(), w = text_width(label, 10, false) + 4, h = 12;
  if (length < 2.5 * w) return "";
  auto point_at = [&](double d) {
    d = std::clamp(d, 0.0, length);
    const auto i = std::min<std::size_t>(
        line.size() - 1, std::max<std::size_t>(1, std::upper_bound(at.begin(), at.end(), d) - at.begin()));
    const double g = at[i] > at[i - 1] ? (d - at[i - 1]) / (at[i] - at[i - 1]) : 0;
    return Pt{line[i - 1].x + g * (line[i].x - line[i - 1].x), line[i - 1].y + g * (line[i].y - line[i - 1].y)};
  };
  std::string o;
  const auto stretches = static_cast<int>(std::max(1.0, std::floor(length / 250)));
  for (int k = 0; k < stretches; ++k) {
    for (const double f : {0.5, 0.35, 0.65, 0.2, 0.8, 0.1, 0.9}) {
      const double want = (k + f) * length / stretches;
      const Pt p = point_at(want);
      // The text reads along the line over its own width, never upside down.
      const Pt before = point_at(want - w / 2), after = point_at(want + w / 2);
      double angle = std::atan2(after.y - before.y, after.x - before.x);
      if (angle > std::numbers::pi / 2) angle -= std::numbers::pi;
      if (angle < -std::numbers::pi / 2) angle += std::numbers::pi;
      const Rect box = turned_box(p.x, p.y, w, h, angle);
      if (!free_of_labels(box, around)) continue;
      around.boxes.push_back(box);
      o += fmt("<text transform=\"translate(%.1f %.1f) rotate(%.1f)\" dy=\"3.5\">", p.x, p.y,
               angle * 180 / std::numbers::pi) +
           xml_text(label) + "</text>\n";
      break;
    }
  }
  return o;
}

}  // namespace

std::string Scale::band_colour(std::size_t i) const {
  if (i + 1 >= levels.size()) return ramp(1.0);
  return ramp((t(levels[i]) + t(levels[i + 1])) / 2);
}

std::string receptor_marks(const MapData& d, const Scale& sc) {
  // The highest drawn last, on top of neighbours they overlap.
  std::vector<std::size_t> order(d.page.size());
  std::iota(order.begin(), order.end(), 0);
  auto key = [&](std::size_t k) { return d.high[k] > 0 ? d.high[k] : 0.0; };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  std::string o = "<g stroke=\"#333\" stroke-width=\"0.5\">\n";
  for (const std::size_t k : order) {
    const double h = d.high[k];
    const bool positive = h > 0 && std::isfinite(h);
    o += fmt("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\" fill=\"%s\"%s>", d.page[k].x, d.page[k].y, d.radius[k],
             positive ? ramp(sc.t(std::max(h, sc.lo))).c_str() : "#cccccc",
             d.radius[k] < 2.5 ? " stroke-width=\"0.25\"" : "");
    o += fmt("<title>receptor %zu: %s %s</title></circle>\n", k + 1, std::isfinite(h) ? num(h).c_str() : "none",
             d.unit.c_str());
  }
  return o + "</g>\n";
}

std::string filled_bands(const MapData& d, const Scale& sc) {
  std::string o = "<g stroke-width=\"0.6\" stroke-linejoin=\"round\">\n";
  for (std::size_t i = 0; i < sc.levels.size(); ++i) {
    const double hi = i + 1 < sc.levels.size() ? std::log10(sc.levels[i + 1]) : INFINITY;
    const auto parts = band(d.page, d.field, d.triangles, std::log10(sc.levels[i]), hi);
    if (parts.empty()) continue;
    // A stroke of the fill's colour closes the hairlines between triangles.
    const std::string colour = sc.band_colour(i);
    o += "<path fill=\"" + colour + "\" stroke=\"" + colour + "\" d=\"";
    for (const auto& p : parts) o += path_of(p, true);
    o += "\"/>\n";
  }
  return o + "</g>\n";
}

std::string contour_lines(const MapData& d, const Scale& sc, bool filled, Obstacles& around) {
  double lo = INFINITY, hi = -INFINITY;
  for (const double v : d.field) {
    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  }
  std::string lines = fmt("<g fill=\"none\" stroke=\"#1a1a1a\" stroke-width=\"%s\" stroke-opacity=\"%s\">\n",
                          filled ? "0.7" : "1", filled ? "0.8" : "0.9");
  std::string labels = "<g font-size=\"10\" text-anchor=\"middle\" " + std::string(kHalo) + ">\n";
  // Highest levels first: their labels, on the smaller lines, take their places first.
  for (auto l = sc.levels.rbegin(); l != sc.levels.rend(); ++l) {
    if (!(std::log10(*l) > lo && std::log10(*l) < hi)) continue;
    for (const Polyline& p : isolines(d.page, d.field, d.triangles, std::log10(*l))) {
      const bool closed = p.size() > 2 && p.front().x == p.back().x && p.front().y == p.back().y;
      lines += "<path d=\"" + path_of(p, closed) + "\"/>\n";
      labels += line_label(p, log_label(*l), around);
    }
  }
  return lines + "</g>\n" + labels + "</g>\n";
}

std::string source_marks(const std::vector<SourcePlace>& sources, const View& v, Obstacles& around) {
  struct Group {
    double x, y;
    std::string ids;
  };
  std::vector<Group> groups;
  for (const SourcePlace& s : sources) {
    const double x = v.px(s.x_km), y = v.py(s.y_km);
    auto g = std::find_if(groups.begin(), groups.end(), [&](const Group& o) { return std::hypot(o.x - x, o.y - y) < 4; });
    if (g == groups.end()) groups.push_back({x, y, s.id});
    else g->ids += ", " + s.id;
  }
  // The ids keep clear of each other and of the sources, and stay beside
  // their own: over receptor marks their white halo keeps them readable.
  Obstacles ids;
  ids.bounds = around.bounds;
  ids.boxes = around.boxes;
  std::string o = "<g fill=\"black\" stroke=\"white\" stroke-width=\"1.2\">\n";
  for (const Group& g : groups) {
    o += fmt("<path d=\"M%.1f %.1f l5.5 9.5 h-11 z\"><title>source %s</title></path>\n", g.x, g.y - 6.5,
             xml_text(g.ids).c_str());
    ids.marks.push_back({g.x, g.y - 1.5, 7});
  }
  o += "</g>\n<g font-size=\"11\" font-weight=\"bold\" " + std::string(kHalo) + ">\n";
  std::string leaders;
  for (const Group& g : groups) {
    const double w = text_width(g.ids, 11, true) + 2, h = 13;
    const Placed at = place_label(g.x, g.y - 1.5, w, h, 7, ids);
    ids.boxes.push_back(at.box);
    around.boxes.push_back(at.box);
    if (at.moved) {
      // A thin line from the source to its id, which had to move away.
      const double bx = std::clamp(g.x, at.box.x0, at.box.x1), by = std::clamp(g.y, at.box.y0, at.box.y1);
      leaders += line(g.x, g.y - 1.5, bx, by);
    }
    o += text(at.box.x0 + 1, at.box.y1 - 3, g.ids);
  }
  if (!leaders.empty()) o += "</g>\n<g stroke=\"black\" stroke-width=\"0.8\">\n" + leaders;
  around.marks.insert(around.marks.end(), ids.marks.begin(), ids.marks.end());
  return o + "</g>\n";
}

std::string peak_mark(const MapData& d, const Obstacles& around) {
  const auto& peak = d.peak;
  if (!peak || peak->k >= d.page.size()) return "";
  const double x = d.page[peak->k].x, y = d.page[peak->k].y, r = d.radius[peak->k] + 5;
  const std::string value = peak->value < 1e4 ? fmt("%.4g", peak->value) : fmt("%.0f", peak->value);
  const double w = text_width(value, 12, true) + 10, h = 18;
  Obstacles clear = around;
  clear.marks.push_back({x, y, r + 1});
  const Placed at = place_label(x, y, w, h, r + 3, clear);
  std::string o = diamond(x, y, r);
  if (at.moved) {
    // From the diamond's edge to the nearest point of the label.
    const double bx = std::clamp(x, at.box.x0, at.box.x1), by = std::clamp(y, at.box.y0, at.box.y1);
    const double len = std::hypot(bx - x, by - y);
    if (len > r) o += "<g stroke=\"#d00000\" stroke-width=\"1.2\">" +
                      line(x + (bx - x) * r / len, y + (by - y) * r / len, bx, by) + "</g>\n";
  }
  o += fmt("<rect id=\"peak-label\" x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" rx=\"3\" fill=\"white\" "
           "stroke=\"#d00000\"/>\n",
           at.box.x0, at.box.y0, w, h);
  return o + text((at.box.x0 + at.box.x1) / 2, at.box.y1 - 5, value,
                  "text-anchor=\"middle\" font-weight=\"bold\" fill=\"#a00000\"");
}

std::string scale_bar_and_north(const View& v, double x, double& y) {
  // North: the page's up, as the axes are east and north.
  std::string o = fmt("<g><path d=\"M%.1f %.1f l8 22 l-8 -6 l-8 6 z\" fill=\"black\"/>", x + 9, y);
  o += text(x + 9, y - 4, "N", "text-anchor=\"middle\" font-weight=\"bold\"") + "</g>\n";
  y += 46;
  // The longest 1, 2 or 5 times a power of ten that fits in 150 px.
  const double most = 150 / v.scale;
  double len = std::pow(10.0, std::floor(std::log10(most)));
  for (const double m : {5.0, 2.0}) {
    if (len * m <= most) {
      len *= m;
      break;
    }
  }
  const double w = len * v.scale;
  o += fmt("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"6\" fill=\"white\" stroke=\"black\"/>", x, y, w);
  o += fmt("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"6\" fill=\"black\"/>\n", x, y, w / 2);
  const std::string label = len < 1 ? fmt("%g m", len * 1000) : fmt("%g km", len);
  o += text(x, y + 20, "0") + text(x + w, y + 20, label, "text-anchor=\"middle\"");
  y += 30;
  return o;
}

}  // namespace kestrel::inspect
