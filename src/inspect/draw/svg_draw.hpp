// Drawing helpers shared by the SVG pictures: axis ticks, the colour ramp,
// the document frame.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "inspect/format.hpp"  // fmt
#include "inspect/stats/summary.hpp"

namespace kestrel::inspect {

// About `count` round values (1, 2 or 5 times a power of ten apart) in [lo, hi].
std::vector<double> nice_ticks(double lo, double hi, int count);
// Round values for a log scale over [lo, hi], lo > 0: the powers of ten, and
// 2 and 5 times them when the range is short.
std::vector<double> log_ticks(double lo, double hi);
// A tick's label with just the digits the step needs.
std::string tick_label(double v, double step);
std::string log_label(double v);

// A perceptual ramp (dark violet through teal to yellow), t in [0, 1].
std::string ramp(double t);


// The tool's own unit of the file's values as the pictures write it: µg/m³,
// or µg/m²/h for deposition.
std::string pretty_unit(const Summary& s);
// A unit as --unit names it (ug/m3, g/m2/s, ...), as the pictures write it.
std::string pretty_unit(const std::string& unit);

// "SO2, 1-hour" or "1-hour" or ""; the title's first words.
std::string what_and_averaging(const Summary& s);
// "24 periods ending 1988-03-01 01:00 to 1988-03-02 00:00"
std::string periods_covered(const Summary& s);

std::string svg_open(int width, int height, const std::string& title);
std::string line(double x1, double y1, double x2, double y2);
// <text> at (x, y) with extra attributes; `content` is escaped.
std::string text(double x, double y, std::string_view content, std::string_view attributes = {});
// The same turned to read upwards, centred on (x, y).
std::string vertical_text(double x, double y, std::string_view content);
// Bold text with a white halo, readable over marks and lines, anchored at
// its end (`left` of the point) or start.
std::string label_attributes(bool left);
// An unfilled black rectangle.
std::string frame(double x, double y, double width, double height);
// Writes a picture or GIS file through `<file>.part`; throws IoError or Failure.
void save(const std::string& file, std::string_view bytes);

}  // namespace kestrel::inspect
