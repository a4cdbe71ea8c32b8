// What the Python module asks of the library, in plain C++: each call reads
// or runs something whole and hands back buffers the module gives to numpy
// without a copy. Failures come out as PyFailure, sorted the way the package
// raises them; no Python object is touched here, so these run without the GIL.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/run.hpp"
#include "dataset/header.hpp"

namespace kestrel::python {

struct PyFailure {
  enum class Kind { input, file, missing, interrupted };
  Kind kind;
  std::string message;
};

// Period ends as hours since 1970-01-01 00:00, hour 00 being midnight.
std::int64_t hours_since_epoch(const DateHour& t) noexcept;
DateHour date_hour_of(std::int64_t hours) noexcept;

struct DatasetData {
  dataset::HeaderInfo header;
  std::int64_t periods = 0;
  std::unique_ptr<float[]> values;  // periods x receptors
  std::vector<std::int64_t> ends;   // hours_since_epoch
  std::vector<std::int64_t> begins;
};
DatasetData read_dataset(const std::string& path);

struct PostfileData {
  std::vector<float> x, y, z;  // as a dataset of the run would hold them
  std::vector<float> values;   // records x receptors, AERMOD's unit
  std::vector<std::int64_t> ends;
  std::vector<std::int32_t> group, kave;
  std::vector<std::string> groups, warnings;
  std::string species;
  std::vector<std::string> titles;
  float factor = 1.0F;  // AERMOD's unit to g/m3, or (deposition) to g/m2/s
  std::string type;     // CONC, DEPOS, DDEP or WDEP
  std::vector<std::string> types;
};
PostfileData read_postfile(const std::string& path, const std::string& control, const std::string& type);

struct StatisticData {
  std::string title, column, unit;
  bool dated = false;
  bool flagged = false;            // each value has AERMOD's calm/missing flag
  std::vector<std::string> flags;  // "", "c", "m" or "b"
  std::vector<double> values;      // in the unit shown
  std::vector<std::int64_t> ends;  // hours_since_epoch, or kNoEnd
  std::vector<std::string> warnings;
};
inline constexpr std::int64_t kNoEnd = std::numeric_limits<std::int64_t>::min();
// values: periods x receptors in the file's unit; `to_own` from it to the
// tool's own (ug/m3 or ug/m2/h), `shown` the unit to give back.
// `met`, else `control`'s ME SURFFILE, else that of the control file beside
// `source` naming it, gives the calm and missing hours.
struct StatisticAsked {
  std::string name;
  double to_own = 1;
  std::string own_unit, shown;
  std::string met, control, source;
};
StatisticData statistic(const float* values, std::int64_t periods, std::int64_t receptors,
                        const std::vector<std::int64_t>& ends, const StatisticAsked& asked);

}  // namespace kestrel::python
