// A file's values against AERMOD's printed tables: each printed value placed
// at its receptor and compared, within what the roundings allow, with the
// same statistic computed from the file (its date and calm/missing flag too).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/aermod_listing.hpp"
#include "inspect/check/computed.hpp"
#include "inspect/kestrel_calls.hpp"

namespace kestrel::inspect {

// How far a file's value may be from AERMOD's printed one: half a unit in
// the printed last digit, plus `relative` times the value (the single
// precision a value went through), plus, for values that went through a
// formatted POSTFILE, half a unit in its sixth significant digit (for a
// value of `several` hours, what the hours' own roundings add up to at most:
// a relative 5e-6 of it, and half a unit of a fixed form's fifth decimal).
struct Rounding {
  double relative = 0;
  bool plot = false;
  [[nodiscard]] double tolerance(const analysis::PrintedValue& p, bool several = false) const;
};

// Where the receptors are (metres, AERMOD's order) and the sources, for
// placing printed values.
struct Places {
  std::span<const double> x_m, y_m;
  std::span<const SourcePlace> sources;
};

struct TableResult {
  std::int64_t compared = 0;
  std::vector<std::string> disagreements;
};

// Compares one printed table with what was computed from a file; `label`
// names the file's side ("dataset", "POSTFILE").
TableResult compare_table(const analysis::PrintedTable& t, const Computed& computed, const Places& places,
                          const Rounding& r, const std::string& label);

}  // namespace kestrel::inspect
