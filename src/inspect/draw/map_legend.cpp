#include <algorithm>
#include <cmath>

#include "inspect/draw/levels.hpp"
#include "inspect/draw/map_parts.hpp"
#include "inspect/draw/svg_draw.hpp"
#include "inspect/format.hpp"

namespace kestrel::inspect {

namespace {

constexpr double kBar = 300;  // the colour bar's height, px

std::string swatch(double x, double y, double h, const std::string& colour) {
  return fmt("<rect x=\"%.0f\" y=\"%.2f\" width=\"18\" height=\"%.2f\" fill=\"%s\" stroke=\"#555\" stroke-width=\"0.5\"/>\n",
             x, y, h, colour.c_str());
}

// Chosen levels: a row per band, highest first, as a report's legend lists classes.
std::string class_rows(const MapModel& m, double x, double top, double& y) {
  const Scale& sc = m.scale;
  const std::size_t first = m.some_below ? 0 : 1, rows = sc.levels.size() + 1 - first;
  const double row = std::min(20.0, kBar / static_cast<double>(rows));
  std::string o;
  y = top;
  for (std::size_t b = sc.levels.size() + 1; b-- > first; y += row) {
    o += swatch(x, y, row - 3, sc.band_colour(b)) + text(x + 26, y + row / 2 + 2, sc.band_text(b));
  }
  y += 20;
  return o;
}

// The 1-2-5 levels: a bar on the log scale, a ramp under marks or a step per band.
std::string bar(const MapModel& m, bool filled, double x, double top, double& y) {
  const Scale& sc = m.scale;
  auto at = [&](double v) { return top + kBar * (1 - sc.t(v)); };
  std::string o;
  if (filled) {
    for (std::size_t i = 0; i + 1 < sc.levels.size(); ++i) {
      o += fmt("<rect x=\"%.0f\" y=\"%.2f\" width=\"18\" height=\"%.2f\" fill=\"%s\"/>\n", x, at(sc.levels[i + 1]),
               at(sc.levels[i]) - at(sc.levels[i + 1]), sc.band_colour(i + 1).c_str());
    }
  } else {
    o += "<defs><linearGradient id=\"ramp\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">";
    for (int i = 0; i <= 8; ++i) {
      o += fmt("<stop offset=\"%.1f%%\" stop-color=\"%s\"/>", i * 12.5, ramp(i / 8.0).c_str());
    }
    o += "</linearGradient></defs>\n";
    o += fmt("<rect id=\"colour-bar\" x=\"%.0f\" y=\"%.0f\" width=\"18\" height=\"%.0f\" fill=\"url(#ramp)\"/>\n", x, top,
             kBar);
  }
  o += frame(x, top, 18, kBar) + "<g stroke=\"black\">\n";
  for (const double v : sc.levels) o += line(x + 18, at(v), x + 23, at(v));
  o += "</g>\n";
  for (std::size_t i = 0; i < sc.levels.size(); ++i) o += text(x + 27, at(sc.levels[i]) + 4, sc.labels[i]);
  y = top + kBar + 24;
  if (m.some_below) {
    o += swatch(x, y - 11, 14, kBelowColour) + text(x + 26, y, sc.band_text(0));
    y += 22;
  }
  return o;
}

}  // namespace

std::string legend(const Summary& s, const MapModel& m, const MapValues& mv, bool filled, double& y) {
  const double x = kMapLeft + kMapSize + 40, top = kMapTop + 24;
  std::string o = text(x - 10, kMapTop + 8, m.what + ", " + m.unit);
  o += m.scale.chosen ? class_rows(m, x, top, y) : bar(m, filled, x, top, y);
  if (!m.contours.empty()) {
    o += line(x - 10, y - 4, x + 8, y - 4).insert(5, " stroke=\"#1a1a1a\"") + text(x + 14, y, "contour");
    y += 22;
  }
  if (filled) {
    o += fmt("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"1.3\" fill=\"#202020\"/>", x - 1, y - 4) + text(x + 14, y, "receptor");
    y += 22;
  } else if (m.some_missing) {
    o += fmt("<circle cx=\"%.0f\" cy=\"%.0f\" r=\"5\" fill=\"%s\" stroke=\"#333\" stroke-width=\"0.5\"/>", x - 1, y - 4,
             kNoValueColour) +
         text(x + 14, y, "no value");
    y += 22;
  }
  if (const auto& peak = m.peak) {
    o += fmt("<path d=\"M %.1f %.1f l 7 -7 l 7 7 l -7 7 z\" fill=\"none\" stroke=\"#d00000\" stroke-width=\"2\"/>",
             x - 8, y - 4) +
         text(x + 14, y, "highest:");
    std::vector<std::string> lines = {value_label(peak->value) + " " + m.unit,
                                      "receptor " + std::to_string(peak->k + 1)};
    if (s.receptors.known()) {
      lines.push_back("(" + fixed_to(s.receptors.x[peak->k], 3) + ", " + fixed_to(s.receptors.y[peak->k], 3) + ") km");
    }
    if (peak->dated) {
      lines.push_back(mv.name.empty() || mv.count ? "period ending" : "period or block ending");
      lines.push_back(clock_time(peak->end));
    }
    for (const auto& l : lines) o += text(x - 10, y += 16, l);
    y += 28;
  }
  return o;
}

std::string legend_svg(const Summary& s, const MapModel& m, const MapValues& mv, bool filled) {
  double y = 0;
  const std::string body = legend(s, m, mv, filled, y);
  const double left = kMapLeft + kMapSize + 20, top = kMapTop - 12;
  const int width = 230, height = static_cast<int>(y - top);
  return svg_open(width, height, "legend") +
         fmt("<rect width=\"%d\" height=\"%d\" fill=\"white\" stroke=\"#888\"/>\n", width, height) +
         fmt("<g transform=\"translate(%.0f %.0f)\">\n", -left, -top) + body + "</g>\n</svg>\n";
}

}  // namespace kestrel::inspect
