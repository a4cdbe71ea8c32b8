// What kestrel-inspect learns about one file (the readers in reading/ fill
// in its header part, the statistics its values).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "inspect/format.hpp"
#include "inspect/kestrel_calls.hpp"
#include "inspect/stats/statistic.hpp"
#include "inspect/stats/stats.hpp"

namespace kestrel::inspect {

struct Grid {
  bool known = false;
  float x0 = 0, y0 = 0, d = 0;
  std::int32_t nx = 0, ny = 0;
};

struct Receptors {
  std::vector<float> x, y;  // km; empty when unknown
  std::vector<double> x_m, y_m;  // metres, for reading a formatted POSTFILE
  Grid grid;                // the nominal grid the conversion gives them
  [[nodiscard]] bool known() const { return !x.empty(); }
};

// Where a file's values are: a dataset's values records hold 4-byte reals
// after the 15-character species; a POSTFILE's records 4- or 8-byte reals
// after stamp, averaging period and source group; a formatted POSTFILE's
// records are lines, read into 4-byte reals.
struct Layout {
  bool dataset = false;
  int width = 4;
  std::int32_t nrec = 0;
  bool plot = false;
  // A POSTFILE's records hold `sets` sets of nrec values (a PLOT line as many
  // value columns), one per output type; the one read is at `slice`.
  std::size_t sets = 1;
  std::size_t slice = 0;
  // From the file's unit to the tool's own: ug/m3, or ug/m2/h for deposition.
  double to_own = 1.0;
};

// Which output type of a POSTFILE to read, as --type and the control file's
// MODELOPT tell it; `sets` 0 when only the file can tell (its first type).
struct TypeChoice {
  std::string type;  // CONC, DEPOS, DDEP or WDEP; empty when not known
  std::size_t slice = 0;
  std::size_t sets = 0;
  double to_own = 1.0;  // a deposition's hourly unit to ug/m2/h
};

// What reading a formatted POSTFILE finds besides its records.
struct PlotEnd {
  bool ended_inside = false;
  std::int32_t misplaced = 0;  // the first receptor away from the control file's place, 1-based
  bool longer = false;         // records with more lines than receptors
  bool fixed_point = false;    // values written with 5 decimals rather than an exponent
};

struct Summary {
  std::filesystem::path path;
  std::string file;
  std::string kind;  // "dataset" or "POSTFILE"
  std::vector<std::pair<std::string, std::string>> fields;  // readable header fields, in order
  std::vector<std::pair<std::string, Json>> json_fields;  // the same as JSON values
  std::string species;  // the dataset's, or the control file's pollutant
  std::string source;   // a dataset's source name
  std::string deposition;  // "total deposition", "dry deposition" or "wet deposition"; empty for concentration
  Layout layout;
  std::optional<Time> run_begin;  // a dataset's, with four-digit year
  std::int32_t run_length = 0;
  std::int64_t periods = 0;
  std::optional<Time> first, last;
  HourCount hours;
  std::string unit;
  std::string own_unit = "ug/m3";  // of the tables and pictures
  Stats stats;
  Receptors receptors;
  Grid grid;
  std::set<std::string> groups;
  std::set<std::int32_t> averages;  // averaging times, hours
  // Per source group (a dataset's source name), per receptor; in ug/m3.
  std::map<std::string, std::vector<ReceptorStat>> by_group;
  // The statistics asked for (--stat), per source group, one per asked, in the tool's own unit.
  std::map<std::string, std::vector<Statistic>> statistics;
  bool marks_known = false;   // the statistics saw the run's calm and missing hours
  bool ended_inside = false;  // a POSTFILE's incomplete last record was left out
  PlotEnd plot;

  // Each receptor's highest value over the groups (ug/m3), NaN when it has none.
  [[nodiscard]] std::vector<double> highest() const;
  // The highest value of all (ug/m3): receptor (0-based), its period end and group.
  struct Peak {
    std::size_t k = 0;
    double value = 0;
    Time end;
    std::string group;
    bool dated = true;  // a statistic without a date of its own (a mean, a count) has none
  };
  [[nodiscard]] std::optional<Peak> peak() const;
  // Statistic i (of those asked for) at each receptor, the highest over the
  // groups, NaN where it has none; and its `count` highest receptors over
  // the groups, highest first.
  [[nodiscard]] std::vector<double> stat_values(std::size_t i) const;
  [[nodiscard]] std::vector<Peak> stat_top(std::size_t i, std::size_t count) const;
};

// The control file's receptors and the nominal grid around them.
Receptors receptors_of(const ControlFile& c);

// "N from (x0, y0) to (x1, y1) km", or just N when the places are unknown.
std::string extent_text(const Receptors& r);
// {"x_min": ..., ...}
Json extent_json(const Receptors& r);

}  // namespace kestrel::inspect
