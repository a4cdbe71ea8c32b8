#include <proj.h>

#include <cmath>

#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/gis/gis.hpp"

namespace kestrel::inspect {

struct Projection::Impl {
  PJ_CONTEXT* context = nullptr;
  PJ* to_lonlat = nullptr;
  double e0 = 0, n0 = 0;
  std::string name;
  ~Impl() {
    if (to_lonlat != nullptr) proj_destroy(to_lonlat);
    if (context != nullptr) proj_context_destroy(context);
  }
};

bool projection_available() { return true; }

Projection::Projection(const std::string& crs, double e0, double n0) : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  m.context = proj_context_create();
  m.e0 = e0, m.n0 = n0;
  // PROJ's own messages go nowhere: the one below says what went wrong.
  proj_log_level(m.context, PJ_LOG_NONE);
  PJ* source = proj_create(m.context, crs.c_str());
  if (source == nullptr) throw Failure("--crs: PROJ does not know '" + crs + "'");
  const PJ_TYPE type = proj_get_type(source);
  const char* name = proj_get_name(source);
  m.name = name != nullptr ? name : crs;
  proj_destroy(source);
  if (type != PJ_TYPE_PROJECTED_CRS) {
    throw Failure("--crs: '" + crs + "' (" + m.name +
                  ") is not a projected system; the run's x and y are metres east and north");
  }
  PJ* raw = proj_create_crs_to_crs(m.context, crs.c_str(), "EPSG:4326", nullptr);
  if (raw == nullptr) throw Failure("--crs: PROJ has no way from '" + crs + "' to WGS 84");
  // Longitude first, as GeoJSON and KML write it (EPSG:4326 itself says latitude first).
  m.to_lonlat = proj_normalize_for_visualization(m.context, raw);
  proj_destroy(raw);
  if (m.to_lonlat == nullptr) throw Failure("--crs: PROJ has no way from '" + crs + "' to WGS 84");
}

Projection::~Projection() = default;

Lonlat Projection::operator()(double x_km, double y_km) const {
  const PJ_COORD in = proj_coord(impl_->e0 + x_km * 1000.0, impl_->n0 + y_km * 1000.0, 0, 0);
  const PJ_COORD out = proj_trans(impl_->to_lonlat, PJ_FWD, in);
  if (!std::isfinite(out.lp.lam) || !std::isfinite(out.lp.phi) || out.xy.x == HUGE_VAL) {
    throw Failure("--crs: the place (" + fixed_to(impl_->e0 + x_km * 1000.0, 1) + ", " +
                  fixed_to(impl_->n0 + y_km * 1000.0, 1) + ") has no longitude and latitude in " + impl_->name);
  }
  return {out.xy.x, out.xy.y};
}

const std::string& Projection::name() const { return impl_->name; }

}  // namespace kestrel::inspect
