// What kestrel-inspect learns about one file, and how its periods are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "inspect/kestrel_calls.hpp"
#include "inspect/stats.hpp"

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

// One period as the file holds it.
struct Period {
  Time end;
  std::int32_t stamp = 0;   // a POSTFILE's YYMMDDHH
  std::int32_t kave = 1;    // a POSTFILE's averaging period, hours
  std::string_view group;   // a POSTFILE's source group, 8 characters as held
  std::span<const std::byte> values;
  int width = 4;
  [[nodiscard]] double value(std::size_t k) const;  // 0-based receptor, in the file's unit
};

using PeriodVisitor = std::function<void(const Period&)>;

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
  std::vector<std::pair<std::string, std::string>> json_fields;  // the same as JSON values
  std::string species;  // the dataset's, or the control file's pollutant
  std::string source;   // a dataset's source name
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
  };
  [[nodiscard]] std::optional<Peak> peak() const;
};

// A dataset's header as a Summary without values; throws Failure.
Summary open_dataset(const std::filesystem::path& path, const std::string& name);

// A POSTFILE's value width and receptor count, from `real` and `receptors`
// (0: inferred) and the control file's receptors when known. Values that
// no AERMOD run writes under an override fail it.
Summary open_postfile(const std::filesystem::path& path, const std::string& name, int real, std::int32_t receptors,
                      const Receptors& control, const TypeChoice& type);

// Whether the file is a formatted POSTFILE: its first non-blank character is
// the `*` of a header line, or its first line reads as a data line.
bool is_plot(const std::filesystem::path& path, const std::string& name);

// A formatted POSTFILE's receptors: the control file's when known, else the
// places of the lines of its first record. Throws Failure.
Summary open_plot(const std::filesystem::path& path, const std::string& name, const Receptors& control,
                  const TypeChoice& type);

// The unit line of a POSTFILE of output type `type`, and its own unit.
void set_postfile_units(Summary& s, const TypeChoice& type);

// "N from (x0, y0) to (x1, y1) km", or just N when the places are unknown.
std::string extent_text(const Receptors& r);
// {"x_min": ..., ...}
std::string extent_json(const Receptors& r);

// Call `each` for every whole period of the file `s` describes.
void scan_dataset(const Summary& s, const PeriodVisitor& each);
// Returns false when the POSTFILE ends inside a record.
bool scan_postfile(const Summary& s, const PeriodVisitor& each);
PlotEnd scan_plot(const Summary& s, const PeriodVisitor& each);

inline bool scan(const Summary& s, const PeriodVisitor& each) {
  if (s.layout.plot) return !scan_plot(s, each).ended_inside;
  if (!s.layout.dataset) return scan_postfile(s, each);
  scan_dataset(s, each);
  return true;
}

}  // namespace kestrel::inspect
