// The SVG pictures: the map of the receptors and one receptor's series.
#pragma once

#include <cstdint>
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

// The receptors coloured by their highest value (ug/m3, log scale) on axes
// in km, contours at the scale's labelled values, the sources and the
// highest value marked, a scale bar and a north arrow. Throws Failure.
void write_map(const Summary& s, const MapOptions& m);

// The hourly values of `receptor` (1-based; 0: the one with the highest
// value), read in a second pass over the file: every hour up to about a
// month, longer spans as each pixel column's range with the daily maximum.
// Throws Failure.
void write_series(const Summary& s, const std::string& file, std::int32_t receptor);

}  // namespace kestrel::inspect
