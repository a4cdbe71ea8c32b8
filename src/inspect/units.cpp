#include "inspect/units.hpp"

#include "inspect/failure.hpp"

namespace kestrel::inspect {

namespace {

bool flux(const std::string& unit) { return unit == "ug/m2/h" || unit == "g/m2/s"; }

// Each unit in the micro-unit of its kind.
double micro(const std::string& unit) {
  if (unit == "g/m3") return 1.0e6;
  if (unit == "g/m2/s") return 1.0e6 * 3600.0;
  return 1.0;
}

}  // namespace

bool known_unit(const std::string& unit) {
  return unit == "ug/m3" || unit == "g/m3" || unit == "ug/m2/h" || unit == "g/m2/s";
}

double unit_factor(const std::string& from, const std::string& to) {
  if (from == to) return 1.0;
  if (flux(from) != flux(to)) {
    throw Failure(flux(from) ? "holds deposition fluxes: --unit takes ug/m2/h or g/m2/s for it, not " + to
                             : "holds concentrations: --unit takes ug/m3 or g/m3 for it, not " + to);
  }
  return micro(from) / micro(to);
}

std::string shown_unit(const Summary& s, const std::string& asked) {
  if (asked.empty()) return s.own_unit;
  unit_factor(s.own_unit, asked);
  return asked;
}

double own_to_shown(const Summary& s, const std::string& shown) { return unit_factor(s.own_unit, shown); }

double file_to_shown(const Summary& s, const std::string& asked) {
  if (asked.empty() || asked == s.unit) return 1.0;
  return s.layout.to_own * unit_factor(s.own_unit, asked);
}

}  // namespace kestrel::inspect
