// The SVG pictures: the map of the receptors and one receptor's series.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "inspect/stats/summary.hpp"

namespace kestrel::inspect {

struct MapOptions {
  std::string file;
  bool grid = false;    // the dataset's nominal grid, dashed
  bool filled = false;  // bands between the contours instead of receptor marks
  std::string title;    // instead of the title line
  std::vector<SourcePlace> sources;
  std::string sources_from;  // the control file that gave them
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

// The receptors coloured by their values (log scale) on axes in km,
// contours at the scale's labelled values, the sources and the highest value
// marked, a scale bar and a north arrow. Throws Failure.
void write_map(const Summary& s, const MapOptions& m, const MapValues& values);

// The hourly values of `receptor` (1-based; 0: the one with the highest
// value), read in a second pass over the file: every hour up to about a
// month, longer spans as each pixel column's range with the daily maximum.
// Throws Failure.
void write_series(const Summary& s, const std::string& file, std::int32_t receptor);

}  // namespace kestrel::inspect
