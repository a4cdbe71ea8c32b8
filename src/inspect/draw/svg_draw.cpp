#include "inspect/draw/svg_draw.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <span>

#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "io/files.hpp"

namespace kestrel::inspect {

std::vector<double> nice_ticks(double lo, double hi, int count) {
  if (!(hi > lo)) return {lo};
  const double raw = (hi - lo) / count;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  double step = 10 * mag;
  for (const double m : {1.0, 2.0, 5.0}) {
    if (m * mag >= raw) {
      step = m * mag;
      break;
    }
  }
  std::vector<double> ticks;
  for (double i = std::ceil(lo / step - 1e-9); i * step <= hi + step * 1e-9; i += 1) ticks.push_back(i * step);
  return ticks;
}

std::vector<double> log_ticks(double lo, double hi) {
  std::vector<double> ticks;
  const std::vector<double> choices[] = {{1}, {1, 2, 5}, {1, 2, 3, 5, 7}};
  for (const auto& mantissas : choices) {
    ticks.clear();
    for (double e = std::floor(std::log10(lo)); e <= std::ceil(std::log10(hi)); e += 1) {
      for (const double m : mantissas) {
        const double v = m * std::pow(10.0, e);
        if (v >= lo * (1 - 1e-9) && v <= hi * (1 + 1e-9)) ticks.push_back(v);
      }
    }
    if (ticks.size() >= 3) return ticks;
  }
  return ticks;
}

std::string tick_label(double v, double step) {
  const int decimals = step > 0 ? std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 6) : 0;
  if (std::fabs(v) < step * 1e-6) v = 0;  // no "-0"
  return fmt("%.*f", decimals, v);
}

std::string log_label(double v) {
  if (v >= 1 && v < 1e9) return fmt("%.0f", v);
  if (v >= 1e-4 && v < 1) return fmt("%g", v);
  return fmt("%.0e", v);
}

std::string ramp(double t) {
  static constexpr std::array<std::array<int, 3>, 5> kStops = {
      {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}}};
  t = std::clamp(t, 0.0, 1.0) * 4.0;
  const auto i = std::min<std::size_t>(3, static_cast<std::size_t>(t));
  const double f = t - static_cast<double>(i);
  auto channel = [&](std::size_t c) { return static_cast<int>(kStops[i][c] + f * (kStops[i + 1][c] - kStops[i][c])); };
  return fmt("#%02x%02x%02x", channel(0), channel(1), channel(2));
}

std::string pretty_unit(const Summary& s) { return pretty_unit(s.own_unit); }

std::string pretty_unit(const std::string& unit) {
  if (unit == "ug/m2/h") return "µg/m²/h";
  if (unit == "g/m2/s") return "g/m²/s";
  if (unit == "g/m3") return "g/m³";
  if (unit == "ug/m3") return "µg/m³";
  return unit;
}

std::string what_and_averaging(const Summary& s) {
  std::string averaging;
  for (const auto a : s.averages) averaging += (averaging.empty() ? "" : "/") + std::to_string(a);
  if (!averaging.empty()) averaging += "-hour";
  if (s.species.empty()) return averaging;
  return averaging.empty() ? s.species : s.species + ", " + averaging;
}

std::string periods_covered(const Summary& s) {
  std::string text = std::to_string(s.periods) + (s.periods == 1 ? " period" : " periods");
  if (s.first && s.last) text += " ending " + clock_time(*s.first) + " to " + clock_time(*s.last);
  return text;
}

std::string svg_open(int width, int height, const std::string& title) {
  return fmt("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
             "font-family=\"sans-serif\" font-size=\"12\">\n",
             width, height, width, height) +
         "<title>" + xml_text(title) + "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
}

std::string line(double x1, double y1, double x2, double y2) {
  return fmt("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", x1, y1, x2, y2);
}

std::string text(double x, double y, std::string_view content, std::string_view attributes) {
  return fmt("<text x=\"%.2f\" y=\"%.2f\"", x, y) + (attributes.empty() ? "" : " " + std::string(attributes)) + ">" +
         xml_text(content) + "</text>\n";
}

std::string vertical_text(double x, double y, std::string_view content) {
  return text(x, y, content, fmt("text-anchor=\"middle\" transform=\"rotate(-90 %.2f %.2f)\"", x, y));
}

std::string label_attributes(bool left) {
  return std::string("text-anchor=\"") + (left ? "end" : "start") +
         "\" font-weight=\"bold\" stroke=\"white\" stroke-width=\"3\" paint-order=\"stroke\"";
}

std::string frame(double x, double y, double width, double height) {
  return fmt("<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"none\" stroke=\"black\"/>\n", x, y,
             width, height);
}

void save(const std::string& file, std::string_view bytes) {
  // Written beside it and renamed when whole: a picture or GIS file that
  // cannot be finished leaves nothing half-written under its name. Kestrel's
  // own file writing names the file and the system's reason when it fails.
  namespace fs = std::filesystem;
  const fs::path to(file), part(file + ".part");
  {
    io::FileSink f(part, "'" + file + "'");
    f.write(std::as_bytes(std::span(bytes.data(), bytes.size())));
    f.close();
  }
  std::error_code ec;
  fs::rename(part, to, ec);
  if (ec) {
    // Where a rename does not replace a file (some Windows file systems).
    fs::remove(to, ec);
    fs::rename(part, to, ec);
  }
  if (ec) {
    std::error_code ignored;
    fs::remove(part, ignored);
    throw Failure("cannot create '" + file + "': " + ec.message());
  }
}

}  // namespace kestrel::inspect
