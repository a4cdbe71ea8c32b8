// The SVG pictures: the map of the receptors.
#pragma once

#include <string>

#include "inspect/summary.hpp"

namespace kestrel::inspect {

// Writes the map of the receptors coloured by their highest value; throws Failure.
void write_map(const Summary& s, const std::string& file);

}  // namespace kestrel::inspect
