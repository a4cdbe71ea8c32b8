#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/svg.hpp"

namespace kestrel::inspect {

namespace {

// A colour ramp from dark blue through green to yellow.
std::string colour(double t) {
  static const std::array<std::array<int, 3>, 5> kStops = {
      {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}}};
  t = std::clamp(t, 0.0, 1.0) * 4.0;
  const auto i = std::min<std::size_t>(3, static_cast<std::size_t>(t));
  const double f = t - static_cast<double>(i);
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<int>(kStops[i][0] + f * (kStops[i + 1][0] - kStops[i][0])),
                static_cast<int>(kStops[i][1] + f * (kStops[i + 1][1] - kStops[i][1])),
                static_cast<int>(kStops[i][2] + f * (kStops[i + 1][2] - kStops[i][2])));
  return buf;
}

}  // namespace

void write_map(const Summary& s, const std::string& file) {
  if (!s.receptors.known()) throw Failure("--svg needs the receptors' coordinates (for a POSTFILE: --control)");
  double x0 = s.receptors.x[0], x1 = x0, y0 = s.receptors.y[0], y1 = y0;
  for (std::size_t k = 0; k < s.receptors.x.size(); ++k) {
    x0 = std::min<double>(x0, s.receptors.x[k]), x1 = std::max<double>(x1, s.receptors.x[k]);
    y0 = std::min<double>(y0, s.receptors.y[k]), y1 = std::max<double>(y1, s.receptors.y[k]);
  }
  if (s.grid.known) {
    x0 = std::min<double>(x0, s.grid.x0), y0 = std::min<double>(y0, s.grid.y0);
    x1 = std::max<double>(x1, s.grid.x0 + s.grid.d * s.grid.nx), y1 = std::max<double>(y1, s.grid.y0 + s.grid.d * s.grid.ny);
  }
  const double span = std::max({x1 - x0, y1 - y0, 1e-6});
  const double size = 600, margin = 40, legend = 160;
  auto px = [&](double x) { return margin + (x - x0) / span * size; };
  auto py = [&](double y) { return margin + size - (y - y0) / span * size; };
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const double v : s.highest) {
    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  }
  if (!std::isfinite(lo)) lo = hi = 0;
  std::ostringstream o;
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
                "font-family=\"sans-serif\" font-size=\"12\">\n",
                size + 2 * margin + legend, size + 2 * margin, size + 2 * margin + legend, size + 2 * margin);
  o << buf << "<title>Highest value per receptor</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  if (s.grid.known) {
    o << "<g fill=\"none\" stroke=\"#888\" stroke-dasharray=\"4 3\">\n";
    for (int i = 0; i <= s.grid.nx && i <= 100; ++i) {
      const double x = s.grid.x0 + s.grid.d * i;
      std::snprintf(buf, sizeof buf, "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", px(x), py(s.grid.y0), px(x),
                    py(s.grid.y0 + s.grid.d * s.grid.ny));
      o << buf;
    }
    for (int j = 0; j <= s.grid.ny && j <= 100; ++j) {
      const double y = s.grid.y0 + s.grid.d * j;
      std::snprintf(buf, sizeof buf, "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", px(s.grid.x0), py(y),
                    px(s.grid.x0 + s.grid.d * s.grid.nx), py(y));
      o << buf;
    }
    o << "</g>\n";
  }
  o << "<g stroke=\"black\" stroke-width=\"0.5\">\n";
  for (std::size_t k = 0; k < s.receptors.x.size(); ++k) {
    const double v = k < s.highest.size() ? s.highest[k] : 0;
    const double t = hi > lo ? (v - lo) / (hi - lo) : 1.0;
    std::snprintf(buf, sizeof buf, "<circle cx=\"%.2f\" cy=\"%.2f\" r=\"5\" fill=\"%s\"><title>receptor %zu: %s g/m3</title></circle>\n",
                  px(s.receptors.x[k]), py(s.receptors.y[k]), colour(t).c_str(), k + 1, num(v).c_str());
    o << buf;
  }
  o << "</g>\n";
  // Legend: the colour ramp with its end values in g/m3.
  const double lx = size + 2 * margin + 20;
  o << "<defs><linearGradient id=\"ramp\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">";
  for (int i = 0; i <= 4; ++i) {
    std::snprintf(buf, sizeof buf, "<stop offset=\"%d%%\" stop-color=\"%s\"/>", i * 25, colour(i / 4.0).c_str());
    o << buf;
  }
  o << "</linearGradient></defs>\n";
  std::snprintf(buf, sizeof buf, "<rect x=\"%.0f\" y=\"%.0f\" width=\"20\" height=\"300\" fill=\"url(#ramp)\" stroke=\"black\"/>\n",
                lx, margin + 20);
  o << buf;
  std::snprintf(buf, sizeof buf, "<text x=\"%.0f\" y=\"%.0f\">highest, g/m3</text>\n", lx, margin + 10);
  o << buf;
  std::snprintf(buf, sizeof buf, "<text x=\"%.0f\" y=\"%.0f\">%s</text>\n<text x=\"%.0f\" y=\"%.0f\">%s</text>\n", lx + 26,
                margin + 30, short_num(hi).c_str(), lx + 26, margin + 320, short_num(lo).c_str());
  o << buf;
  std::snprintf(buf, sizeof buf, "<text x=\"%.0f\" y=\"%.0f\">map %.4g km wide; dashed: the dataset's nominal grid</text>\n",
                margin, size + 2 * margin - 12, span);
  o << buf;
  std::string title = "Highest hourly value per receptor: " + s.file;
  const std::string escaped = xml_text(title);
  std::snprintf(buf, sizeof buf, "<text x=\"%.0f\" y=\"24\" font-size=\"15\">", margin);
  o << buf << escaped << "</text>\n</svg>\n";
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  f << o.str();
  f.close();
  if (!f) throw Failure("cannot write " + file);
}

}  // namespace kestrel::inspect
