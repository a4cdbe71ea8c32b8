// The map as geographic data: GeoJSON and KML in longitude and latitude
// (WGS 84, as both formats require), the run's x and y placed by the
// projected system the user names (AERMOD records none).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "inspect/draw/map_model.hpp"

namespace kestrel::inspect {

// Whether this build has PROJ: without it --geojson and --kml are refused.
bool projection_available();

struct Lonlat {
  double lon = 0, lat = 0;
};

// From the run's x and y in km to longitude and latitude: x and y are metres
// of `crs` from `e0`, `n0` (the run's (0, 0) in it).
class Projection {
 public:
  // Throws Failure when PROJ does not know `crs` or it is not projected.
  Projection(const std::string& crs, double e0, double n0);
  Projection(const Projection&) = delete;
  Projection& operator=(const Projection&) = delete;
  ~Projection();
  // Throws Failure for a place the system cannot convert.
  [[nodiscard]] Lonlat operator()(double x_km, double y_km) const;
  [[nodiscard]] const std::string& name() const;  // the system's name, as PROJ gives it

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// What the files hold besides the model.
struct GisMap {
  const MapModel& model;
  const Summary& summary;
  std::string title;
  std::vector<SourcePlace> sources;
  std::vector<std::string> ends;  // each receptor's value's period end (ISO 8601), or empty
  std::string crs;                // as the user named it
  double e0 = 0, n0 = 0;
};

std::string geojson_of(const GisMap& map, const Projection& p);
// `legend_png`: the legend image's name beside the KML, for its screen
// overlay; empty when there is none.
std::string kml_of(const GisMap& map, const Projection& p, const std::string& legend_png);

}  // namespace kestrel::inspect
