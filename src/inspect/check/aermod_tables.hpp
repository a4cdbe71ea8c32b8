// The tables of highest values that AERMOD prints in its main output file:
// RECTABLE's "THE nTH HIGHEST ..." per receptor, on every network and
// discrete-receptor page, and MAXTABLE's "THE MAXIMUM n ..." over all
// receptors and hours.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "inspect/kestrel_calls.hpp"

namespace kestrel::inspect {

// A printed value and where it stands: at x, y, or (a polar receptor) at a
// distance and direction from a source or a network's origin.
struct PrintedValue {
  double x_m = 0, y_m = 0;
  std::string origin;          // a discrete polar receptor's source id; empty: x_m, y_m hold the place
  double dist = 0, dir = 0;    // from x_m, y_m (a polar network's origin) or from `origin`
  bool polar = false;
  double value = 0;
  int decimals = 5;            // printed after the point
  std::int32_t date = 0;       // YYMMDDHH; 0 where AERMOD set none
  int rank = 0;                // MAXTABLE's
};

struct PrintedTable {
  bool max_table = false;      // MAXTABLE; else RECTABLE
  int rank = 0;                // RECTABLE's rank, MAXTABLE's count
  int hours = 1;
  std::string type;            // CONC, DEPOS, DDEP or WDEP
  std::string group;
  std::string unit;            // as printed: MICROGRAMS/M**3
  std::vector<PrintedValue> values;
  // "1ST HIGHEST 1-HR" or "MAXIMUM 50 1-HR"
  [[nodiscard]] std::string name() const;
};

struct AermodTables {
  std::vector<PrintedTable> tables;    // of 1-hour values
  std::vector<std::string> other;      // other tables, one line each: "3-HR RECTABLE (group ALL, CONC)"
};

// Reads AERMOD's main output file; throws IoError when it cannot be read
// and Failure when it holds no table of highest values.
AermodTables read_aermod_tables(const std::string& file);

// A table title's output type: CONC, DEPOS, DDEP or WDEP.
std::string type_of_title(const std::string& what);

}  // namespace kestrel::inspect
