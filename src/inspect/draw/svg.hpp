// The SVG pictures: the map of the receptors and one receptor's series.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "inspect/stats/summary.hpp"

namespace kestrel::inspect {

struct MapOptions {
  bool grid = false;    // the dataset's nominal grid, dashed
  bool filled = false;  // bands between the contours, the receptors small dots
  std::string title;    // instead of the title line
  std::vector<double> levels;  // --levels; empty: 1, 2 and 5 times the powers of ten
  std::vector<SourcePlace> sources;
  std::string sources_from;  // the control file that gave them
  std::string no_sources;    // why there are none, said under the map
};

// What the map colours the receptors by: their highest value (in the tool's
// own unit), or a statistic.
struct MapValues {
  std::vector<double> values;  // per receptor, NaN for none
  std::optional<Summary::Peak> peak;
  std::string what;   // the statistic's title; empty: the highest value
  std::string name;   // the statistic as asked for: "daily-max:4"
  std::string unit;   // empty: the tool's own
  bool count = false;  // values are counts of hours
  double factor = 1;   // applied to the values, from the tool's own unit
};

struct MapModel;

// The receptors coloured by their values (log scale) on axes in km,
// contours at the scale's levels, the sources and the highest value marked,
// a scale bar and a north arrow: the SVG document.
std::string map_svg(const Summary& s, const MapOptions& m, const MapValues& mv, const MapModel& model);
// The map's title: --title, or what it shows and in which unit.
std::string map_title(const Summary& s, const MapOptions& m, const MapValues& mv, const MapModel& model);
// The map's legend alone, for the KML's screen overlay.
std::string legend_svg(const Summary& s, const MapModel& m, const MapValues& mv, bool filled);

// The hourly values of `receptor` (1-based; 0: the one with the highest
// value), read in a second pass over the file: every hour up to about a
// month, longer spans as each pixel column's range with the daily maximum.
// Throws Failure.
void write_series(const Summary& s, const std::string& file, std::int32_t receptor);

}  // namespace kestrel::inspect
