// The map of one file in every form asked for: SVG, PNG, PDF, GeoJSON, KML.
#pragma once

#include <optional>
#include <string>

#include "inspect/kestrel_calls.hpp"
#include "inspect/options.hpp"
#include "inspect/stats/summary.hpp"

namespace kestrel::inspect {

// The sources come from `control` (--control) or else from the control file
// beside the file that names its POSTFILE; without one the map says so.
// Throws Failure or IoError.
// The PNG legend a KML file names, beside it: "map.kml" -> "map-legend.png".
std::string legend_name(const std::string& kml);

void write_maps(const Options& o, const Summary& s, const std::optional<ControlFile>& control);

}  // namespace kestrel::inspect
