// Every call kestrel-inspect makes into the converter's setup, convert and
// datetime code, in one place: reading the control file, the POSTFILE stamp,
// the formatted POSTFILE reader and the date arithmetic. The rest of the tool
// sees only these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/hours.hpp"
#include "datetime/datetime.hpp"

namespace kestrel::inspect {

using Time = DateHour;

// The receptor limit of a run.
extern const std::int32_t kMaxReceptors;

// "kestrel-inspect <version> (level <level>)"
std::string version_line();

// The nominal grid the conversion puts around receptors (km): origin and cell.
struct Box {
  float x0 = 0, y0 = 0, d = 0;
};
Box nominal_box(std::span<const float> x_km, std::span<const float> y_km);

// A receptor coordinate in km as kestrel keeps it.
float km_of(double metres);

// What the control file gives: the receptors in km (and in metres, as
// formatted POSTFILEs repeat them), the nominal grid, the pollutant, the
// output types in the POSTFILEs' order, the deposition's flux factor and the
// sources.
struct SourcePlace {
  std::string id;
  double x_km = 0, y_km = 0;
  std::string type;  // POINT, AREA, LINE, ... as LOCATION names it
  // Its outline in km where it has one (areas, lines, an open pit), else empty.
  std::vector<std::pair<double, double>> outline_km;
  bool closed = false;  // the outline is a polygon rather than a line
};
struct ControlFile {
  std::vector<float> x, y;
  std::vector<double> x_m, y_m;
  Box box;
  std::string species;
  std::vector<std::string> types;      // CONC, DEPOS, DDEP, WDEP
  double flux_factor = 0;              // the hour's deposition to g/m2/s
  std::vector<SourcePlace> sources;    // every SO LOCATION
  std::vector<std::string> postfiles;  // the 1-hour POSTFILEs, as named
  std::vector<std::string> groups;     // each one's source group, upper case
  std::vector<bool> plot;              // each one formatted (PLOT)
  float conc_factor = 1.0e-6F;         // AERMOD's concentration unit to g/m3, as converted
  float flux_factor_f = 1.0F / 3600.0F;  // its hourly deposition to g/m2/s, as converted
  std::vector<std::filesystem::path> included;  // the RE and SO INCLUDED files it read
};

// Reads the control file as kestrel reads it; throws Failure.
ControlFile read_control_file(const std::string& control);

// The end of the period a POSTFILE stamp closes, as the conversion writes
// it; nothing for an impossible stamp.
std::optional<Time> stamp_end(std::int32_t kurdat);

// A data line of a formatted POSTFILE as the converter reads it; views into
// `line`. Nothing for a line it cannot read.
struct PlotLine {
  double x_m = 0, y_m = 0;
  std::string_view ave, group;  // lines with other first eight characters are another record
  std::int32_t date = 0;
};
std::optional<PlotLine> read_plot_line(std::string_view line, std::size_t columns = 1);
// The value columns of a line that starts as a formatted POSTFILE's data
// line does: X, Y, one to four values, ZELEV, ZHILL, ZFLAG, the averaging
// period, the group, an eight-digit date and maybe a network id.
std::optional<std::size_t> plot_columns(std::string_view line);
inline bool plot_line_start(std::string_view line) { return plot_columns(line).has_value(); }
// The message on a line that cannot be read, naming it as kestrel does:
// "cannot read Line <n>: <its first 256 characters, trimmed>".
std::string cannot_read_line(std::int64_t n, std::string_view line);
// Longer lines cannot be read.
extern const std::size_t kMaxPlotLine;

// A formatted POSTFILE read record by record with the converter's reader,
// the receptors at x_m, y_m (which must outlive it). Throws Failure on a
// line that cannot be read, worded as kestrel words it.
class PlotFile {
 public:
  // Lines of `columns` values, of which column `slice` (from 0) is read.
  PlotFile(const std::filesystem::path& path, const std::string& name, std::span<const double> x_m,
           std::span<const double> y_m, std::size_t columns = 1, std::size_t slice = 0);
  PlotFile(const PlotFile&) = delete;
  PlotFile& operator=(const PlotFile&) = delete;
  ~PlotFile();

  // The next whole record's values (ug/m3) into `out` as 4-byte
  // little-endian reals, one per receptor; false at the end.
  bool next(std::span<std::byte> out);
  [[nodiscard]] std::int32_t stamp() const;
  [[nodiscard]] std::int32_t kave() const;
  [[nodiscard]] std::string_view group() const;  // 8 characters
  [[nodiscard]] bool longer() const;             // the record had more lines than receptors
  [[nodiscard]] std::int32_t first_misplaced() const;
  [[nodiscard]] bool fixed_point_values() const;
  [[nodiscard]] bool ended_inside_record() const;

 private:
  struct Reader;
  std::unique_ptr<Reader> reader_;
};

// A two-digit year in a header gets the POSTFILEs' century window.
using analysis::four_digit;

// Month and day of t's day of the year; false when the day is outside it.
bool month_day(const Time& t, std::int32_t& mo, std::int32_t& dy);

// Hours from `a` to `b`.
std::int64_t hours_between(const Time& a, const Time& b);

// The date-hour of a calendar date; nothing for an impossible date.
std::optional<Time> from_date(std::int32_t yr, std::int32_t mo, std::int32_t dy, std::int32_t hr);

// Days in the calendar year `yr` (four digits).
using analysis::days_in_year;

// `t` moved by `hours` (at least -24).
Time add_hours(Time t, std::int32_t hours);

}  // namespace kestrel::inspect
