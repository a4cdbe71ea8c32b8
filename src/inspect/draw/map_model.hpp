// What a map shows, in km and in the unit shown, before it is drawn: the
// receptors and their values, the colour scale and its levels, the bands and
// contours between them. The SVG map and the GIS files draw the same model.
#pragma once

#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "inspect/draw/contour.hpp"
#include "inspect/draw/svg.hpp"

namespace kestrel::inspect {

// The colour scale. Bands: 0 below levels[0], i from levels[i - 1] up to
// levels[i], the last open above. Without chosen levels, 1, 2 and 5 times the
// powers of ten from the scale's low end to its high one, coloured on a log
// ramp; with chosen levels (--levels), one colour per band, evenly spaced.
struct Scale {
  double lo = 1, hi = 10;
  std::vector<double> levels;
  std::vector<std::string> labels;  // of the levels, as the map writes them
  bool chosen = false;
  [[nodiscard]] double t(double v) const {
    return (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo));
  }
  [[nodiscard]] std::size_t band_of(double v) const;
  [[nodiscard]] std::string band_colour(std::size_t band) const;
  // A receptor's mark: its band's colour, or with the 1-2-5 levels its place
  // on the ramp; grey for no value.
  [[nodiscard]] std::string colour(double v) const;
  // "below 19.6", "19.6 to 49", "196 and above"
  [[nodiscard]] std::string band_text(std::size_t band) const;
};

// Below the lowest level: pale, so that it reads as low rather than as a
// colour of the ramp, and not white, which is where nothing is known.
inline constexpr const char* kBelowColour = "#e9e4ef";
inline constexpr const char* kNoValueColour = "#bdbdbd";

// How far interpolation reaches: across a triangle at most this many times
// the receptors' spacing at its corners.
inline constexpr double kReach = 4.0;

struct Contour {
  double level = 0;
  std::string label;
  std::vector<Polyline> lines;  // km
};

struct MapModel {
  std::vector<Pt> km;          // the receptors
  std::vector<double> values;  // in the unit shown, NaN for none
  // log10 of the values, interpolated linearly within each triangle: values
  // spanning decades change by the same factor from receptor to receptor,
  // not by the same amount. Zeros count as a tenth of the lowest level.
  std::vector<double> field;
  std::vector<double> spacing;  // each receptor's distance to its nearest neighbour, km
  std::vector<Triangle> triangles;  // those interpolated across
  std::size_t blanked = 0;          // triangles left blank: too wide for the receptors round them
  Scale scale;
  std::vector<Region> bands;       // km, one per band of the scale
  std::vector<Contour> contours;   // the levels inside the values' range, highest first
  std::string unit;                // as the picture writes it: µg/m³
  std::string unit_text;           // as a file's attribute: ug/m3
  std::string what;                // "highest" or the statistic's name
  std::optional<Summary::Peak> peak;
  bool some_below = false;         // a receptor's value under the lowest level
  bool some_missing = false;       // a receptor without a value
};

// `levels` empty: the 1-2-5 levels of the values' range.
MapModel map_model(const Summary& s, const MapValues& mv, std::span<const double> levels);

}  // namespace kestrel::inspect
