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

Quantity quantity_of(const Summary& s) { return flux(s.own_unit) ? Quantity::deposition : Quantity::concentration; }

StatUnit stat_unit(const Summary& s, const StatAsked& asked, const std::string& asked_unit) {
  if (asked.kind == StatKind::exceed) return {"hours", 1.0};
  const std::string shown = shown_unit(s, asked_unit);
  const bool total = asked.kind == StatKind::avg || asked.kind == StatKind::avg_years ||
                     asked.kind == StatKind::period || asked.kind == StatKind::annual;
  if (quantity_of(s) == Quantity::deposition && total) {
    // The hour's ug/m2/h times its one hour is the ug/m2 it deposited.
    return shown == "g/m2/s" ? StatUnit{"g/m2", 1.0e-6} : StatUnit{"ug/m2", 1.0};
  }
  return {shown, own_to_shown(s, shown)};
}

double own_to_shown(const Summary& s, const std::string& shown) { return unit_factor(s.own_unit, shown); }

double file_to_shown(const Summary& s, const std::string& asked) {
  if (asked.empty() || asked == s.unit) return 1.0;
  return s.layout.to_own * unit_factor(s.own_unit, asked);
}

}  // namespace kestrel::inspect
