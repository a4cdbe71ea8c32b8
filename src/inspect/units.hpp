// The units kestrel-inspect shows values in: a file's own (g/m3 in a
// dataset, ug/m3 in a POSTFILE, g/m2/s in a flux dataset), the tool's own
// (ug/m3, or ug/m2/h for deposition) and the one --unit asks for.
#pragma once

#include <string>

#include "inspect/stats/summary.hpp"

namespace kestrel::inspect {

// Whether --unit may name `unit`: ug/m3, g/m3, ug/m2/h or g/m2/s.
bool known_unit(const std::string& unit);

// The factor from `from` to `to`, two of the units above; throws Failure
// when one is a concentration and the other a deposition flux.
double unit_factor(const std::string& from, const std::string& to);

// What a file's tables and statistics are shown in: `asked` (--unit), else
// the tool's own unit. Throws Failure when `asked` does not fit the file.
std::string shown_unit(const Summary& s, const std::string& asked);

// Whether `s` holds deposition: its statistics' blocks and periods are totals.
Quantity quantity_of(const Summary& s);

// What a statistic is shown in, and the factor from the tool's own unit: a
// deposition's block and period totals in ug/m2 (g/m2 when g/m2/s is
// shown), a count of hours in hours, else the unit shown.
struct StatUnit {
  std::string unit;
  double factor = 1;
};
StatUnit stat_unit(const Summary& s, const StatAsked& asked, const std::string& asked_unit);

// From the tool's own unit of `s` to `shown`.
double own_to_shown(const Summary& s, const std::string& shown);
// From the file's unit of `s` to `asked`; 1 when nothing is asked.
double file_to_shown(const Summary& s, const std::string& asked);

}  // namespace kestrel::inspect
