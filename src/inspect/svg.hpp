// The SVG pictures: the map of the receptors and one receptor's series.
#pragma once

#include <cstdint>
#include <string>

#include "inspect/summary.hpp"

namespace kestrel::inspect {

// The receptors coloured by their highest value (ug/m3, log scale) on axes
// in km, the highest marked; `grid` adds the nominal grid. Throws Failure.
void write_map(const Summary& s, const std::string& file, bool grid);

// The hourly values of `receptor` (1-based; 0: the one with the highest
// value), read in a second pass over the file. Throws Failure.
void write_series(const Summary& s, const std::string& file, std::int32_t receptor);

}  // namespace kestrel::inspect
