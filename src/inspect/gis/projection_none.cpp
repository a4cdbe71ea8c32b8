// A build without PROJ: --geojson and --kml are refused before anything is
// read, so a Projection is never made.
#include "inspect/failure.hpp"
#include "inspect/gis/gis.hpp"

namespace kestrel::inspect {

struct Projection::Impl {
  std::string name;
};

bool projection_available() { return false; }

Projection::Projection(const std::string&, double, double) { throw Failure("--geojson is not available in this build"); }

Projection::~Projection() = default;

Lonlat Projection::operator()(double, double) const { return {}; }

const std::string& Projection::name() const { return impl_->name; }

}  // namespace kestrel::inspect
