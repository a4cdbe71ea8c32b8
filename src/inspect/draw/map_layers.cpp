#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

#include "inspect/draw/levels.hpp"
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

std::string receptor_marks(const MapData& d, bool small) {
  const MapModel& m = d.model;
  // The highest drawn last, on top of neighbours they overlap.
  std::vector<std::size_t> order(d.page.size());
  std::iota(order.begin(), order.end(), 0);
  auto key = [&](std::size_t k) { return m.values[k] > 0 ? m.values[k] : 0.0; };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  std::string o = small ? "<g fill=\"#202020\" fill-opacity=\"0.55\">\n" : "<g stroke=\"#333\" stroke-width=\"0.5\">\n";
  for (const std::size_t k : order) {
    const double h = m.values[k];
    const std::string tip = fmt("<title>receptor %zu: %s %s</title>", k + 1,
                                std::isfinite(h) ? value_label(h).c_str() : "no value", m.unit.c_str());
    if (small) {
      o += fmt("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\">", d.page[k].x, d.page[k].y,
               dot_radius(d.radius[k])) +
           tip + "</circle>\n";
      continue;
    }
    o += fmt("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"%.2f\" fill=\"%s\"%s>", d.page[k].x, d.page[k].y, d.radius[k],
             m.scale.colour(h).c_str(), d.radius[k] < 2.5 ? " stroke-width=\"0.25\"" : "");
    o += tip + "</circle>\n";
  }
  return o + "</g>\n";
}

std::string filled_bands(const MapData& d) {
  const MapModel& m = d.model;
  std::string o = "<g stroke-width=\"0.6\" stroke-linejoin=\"round\">\n";
  for (std::size_t b = 0; b < m.bands.size(); ++b) {
    if (m.bands[b].empty()) continue;
    // A stroke of the fill's colour closes the hairline where bands meet.
    const std::string colour = m.scale.band_colour(b);
    o += "<path fill=\"" + colour + "\" stroke=\"" + colour + "\" d=\"";
    for (const Polygon& p : m.bands[b]) {
      auto ring = [&](const Polyline& r) {
        Polyline page;
        for (const Pt& q : r) page.push_back(d.view.page(q));
        o += path_of(page, true);
      };
      ring(p.outer);
      for (const Polyline& h : p.holes) ring(h);
    }
    o += "\"><title>" + xml_text(m.scale.band_text(b)) + " " + xml_text(m.unit) + "</title></path>\n";
  }
  return o + "</g>\n";
}

std::string contour_lines(const MapData& d, bool filled, Obstacles& around) {
  std::string lines = fmt("<g fill=\"none\" stroke=\"#1a1a1a\" stroke-width=\"%s\" stroke-opacity=\"%s\">\n",
                          filled ? "0.7" : "1", filled ? "0.8" : "0.9");
  std::string labels = "<g font-size=\"10\" text-anchor=\"middle\" " + std::string(kHalo) + ">\n";
  // Highest levels first: their labels, on the smaller lines, take their places first.
  for (const Contour& c : d.model.contours) {
    for (const Polyline& km : c.lines) {
      Polyline p;
      for (const Pt& q : km) p.push_back(d.view.page(q));
      const bool closed = p.size() > 2 && p.front().x == p.back().x && p.front().y == p.back().y;
      lines += "<path d=\"" + path_of(p, closed) + "\"/>\n";
      labels += line_label(p, c.label, around);
    }
  }
  return lines + "</g>\n" + labels + "</g>\n";
}

namespace {

// Sources whose marks would touch, joined: one label names them all.
struct SourceGroup {
  double x = 0, y = 0;  // the first one's mark, px
  std::vector<std::string> ids;
};

std::vector<SourceGroup> source_groups(const std::vector<SourcePlace>& sources, const View& v) {
  std::vector<SourceGroup> groups;
  std::vector<Pt> at;
  for (const SourcePlace& s : sources) at.push_back({v.px(s.x_km), v.py(s.y_km)});
  std::vector<std::size_t> group(sources.size(), static_cast<std::size_t>(-1));
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (group[i] != static_cast<std::size_t>(-1)) continue;
    group[i] = groups.size();
    groups.push_back({at[i].x, at[i].y, {sources[i].id}});
    // Every source within a mark's width of one already in the group.
    for (std::size_t done = 0; done < groups.back().ids.size(); ++done) {
      for (std::size_t j = 0; j < sources.size(); ++j) {
        if (group[j] != static_cast<std::size_t>(-1)) continue;
        bool near = false;
        for (std::size_t k = 0; k < sources.size() && !near; ++k) {
          near = group[k] == group[i] && std::hypot(at[k].x - at[j].x, at[k].y - at[j].y) < 12;
        }
        if (near) group[j] = group[i], groups.back().ids.push_back(sources[j].id);
      }
    }
  }
  return groups;
}

// The ids in lines of about 22 characters.
std::vector<std::string> id_lines(const std::vector<std::string>& ids) {
  std::vector<std::string> lines{""};
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const std::string word = ids[i] + (i + 1 < ids.size() ? "," : "");
    if (!lines.back().empty() && lines.back().size() + 1 + word.size() > 22) lines.emplace_back();
    lines.back() += (lines.back().empty() ? "" : " ") + word;
  }
  return lines;
}

std::string outlines(const std::vector<SourcePlace>& sources, const View& v) {
  std::string o;
  for (const SourcePlace& s : sources) {
    if (s.outline_km.size() < 2) continue;
    Polyline p;
    for (const auto& [x, y] : s.outline_km) p.push_back({v.px(x), v.py(y)});
    o += "<path d=\"" + path_of(p, s.closed) + "\"" +
         (s.closed ? " fill=\"black\" fill-opacity=\"0.12\"" : " stroke-width=\"2.2\"") + "><title>source " +
         xml_text(s.id) + " (" + xml_text(s.type) + ")</title></path>\n";
  }
  return o.empty() ? o : "<g fill=\"none\" stroke=\"black\" stroke-width=\"1.2\">\n" + o + "</g>\n";
}

}  // namespace

std::string source_marks(const std::vector<SourcePlace>& sources, const View& v, Obstacles& around) {
  const auto groups = source_groups(sources, v);
  // The ids keep clear of each other and of the sources, and stay beside
  // their own: over receptor marks their white halo keeps them readable.
  Obstacles ids;
  ids.bounds = around.bounds;
  ids.boxes = around.boxes;
  std::string o = outlines(sources, v) + "<g fill=\"black\" stroke=\"white\" stroke-width=\"1.2\">\n";
  for (const SourcePlace& s : sources) {
    const double x = v.px(s.x_km), y = v.py(s.y_km);
    o += fmt("<path d=\"M%.1f %.1f l5.5 9.5 h-11 z\"><title>source %s (%s)</title></path>\n", x, y - 6.5,
             xml_text(s.id).c_str(), xml_text(s.type).c_str());
    ids.marks.push_back({x, y - 1.5, 7});
  }
  o += "</g>\n<g font-size=\"11\" font-weight=\"bold\" " + std::string(kHalo) + ">\n";
  std::string leaders;
  for (const SourceGroup& g : groups) {
    const auto lines = id_lines(g.ids);
    double w = 0;
    for (const auto& l : lines) w = std::max(w, text_width(l, 11, true) + 2);
    const double h = 13.0 * static_cast<double>(lines.size());
    const Placed at = place_label(g.x, g.y - 1.5, w, h, 7, ids);
    ids.boxes.push_back(at.box);
    around.boxes.push_back(at.box);
    if (at.moved) {
      // A thin line from the source to its label, which had to move away.
      const double bx = std::clamp(g.x, at.box.x0, at.box.x1), by = std::clamp(g.y, at.box.y0, at.box.y1);
      leaders += line(g.x, g.y - 1.5, bx, by);
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      o += text(at.box.x0 + 1, at.box.y0 + 10 + 13.0 * static_cast<double>(i), lines[i]);
    }
  }
  if (!leaders.empty()) o += "</g>\n<g stroke=\"black\" stroke-width=\"0.8\">\n" + leaders;
  around.marks.insert(around.marks.end(), ids.marks.begin(), ids.marks.end());
  return o + "</g>\n";
}

std::string peak_mark(const MapData& d, const Obstacles& around) {
  const auto& peak = d.model.peak;
  if (!peak || peak->k >= d.page.size()) return "";
  const double x = d.page[peak->k].x, y = d.page[peak->k].y, r = d.radius[peak->k] + 5;
  const std::string value = value_label(peak->value);
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
