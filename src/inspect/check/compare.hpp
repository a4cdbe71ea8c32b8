// One file's values against AERMOD's printed tables: what is kept of its
// periods (each receptor's highest hours, the highest hours of all) and the
// comparison of each printed value, within what the roundings allow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "inspect/check/aermod_tables.hpp"
#include "inspect/stats/statistic.hpp"

namespace kestrel::inspect {

// The highest values of one group and type, in AERMOD's unit.
class Tally {
 public:
  struct Hour {
    double value = 0;
    Time end;
    std::size_t k = 0;  // receptor, 0-based
  };
  Tally(std::size_t receptors, int ranks, std::size_t most);
  void add(const Time& end, std::span<const double> values);
  [[nodiscard]] const Ranks& ranks() const { return ranks_; }
  [[nodiscard]] const std::vector<Hour>& top() const { return top_; }

 private:
  Ranks ranks_;
  std::vector<Hour> top_;
  std::size_t most_;
};

// How far a file's value may be from AERMOD's printed one: half a unit in
// the printed last digit, plus `relative` times the value (the single
// precision a value went through), plus, for values that went through a
// formatted POSTFILE, half a unit in its sixth significant digit.
struct Rounding {
  double relative = 0;
  bool plot = false;
  [[nodiscard]] double tolerance(const PrintedValue& p) const;
};

// Where the receptors are (metres, AERMOD's order) and the sources, for
// placing printed values.
struct Places {
  std::span<const double> x_m, y_m;
  std::span<const SourcePlace> sources;
};

struct Disagreement {
  std::string text;
};

struct TableResult {
  std::int64_t compared = 0;
  std::vector<Disagreement> disagreements;
};

// Compares one printed table with the tally; `label` names the file's side
// ("dataset", "POSTFILE").
TableResult compare_table(const PrintedTable& t, const Tally& tally, const Places& places, const Rounding& r,
                          const std::string& label);

// The deepest RECTABLE rank and the longest MAXTABLE of these tables.
int deepest_rank(std::span<const PrintedTable* const> tables);
std::size_t longest_max(std::span<const PrintedTable* const> tables);

}  // namespace kestrel::inspect
