// What kestrel-inspect learns about one file, and how its periods are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
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
  Grid grid;                // the nominal grid the conversion gives them
  [[nodiscard]] bool known() const { return !x.empty(); }
};

// Where a file's values are: a dataset's values records hold 4-byte reals
// after the 15-character species; a POSTFILE's records 4- or 8-byte reals
// after stamp, averaging period and source group.
struct Layout {
  bool dataset = false;
  int width = 4;
  std::int32_t nrec = 0;
};

// One period as the file holds it.
struct Period {
  Time end;
  std::int32_t stamp = 0;   // a POSTFILE's YYMMDDHH
  std::string_view group;   // a POSTFILE's source group, 8 characters as held
  std::span<const std::byte> values;
  int width = 4;
  [[nodiscard]] double value(std::size_t k) const;  // 0-based receptor, in the file's unit
};

using PeriodVisitor = std::function<void(const Period&)>;

struct Summary {
  std::filesystem::path path;
  std::string file;
  std::string kind;  // "dataset" or "POSTFILE"
  std::vector<std::pair<std::string, std::string>> fields;  // readable header fields, in order
  Layout layout;
  std::optional<Time> run_begin;  // a dataset's, with four-digit year
  std::int32_t run_length = 0;
  std::int64_t periods = 0;
  std::optional<Time> first, last;
  HourCount hours;
  std::string unit;
  Stats stats;
  Receptors receptors;
  std::vector<double> highest;  // per receptor, for the map
  Grid grid;
  std::set<std::string> groups;
};

// A dataset's header as a Summary without values; throws Failure.
Summary open_dataset(const std::filesystem::path& path, const std::string& name);

// A POSTFILE's value width and receptor count, from `real` and `receptors`
// (0: inferred) and the control file's receptors when known.
Summary open_postfile(const std::filesystem::path& path, const std::string& name, int real, std::int32_t receptors,
                      const Receptors& control);

// Call `each` for every whole period of the file `s` describes.
void scan_dataset(const Summary& s, const PeriodVisitor& each);
// Returns false when the POSTFILE ends inside a record.
bool scan_postfile(const Summary& s, const PeriodVisitor& each);

inline bool scan(const Summary& s, const PeriodVisitor& each) {
  if (!s.layout.dataset) return scan_postfile(s, each);
  scan_dataset(s, each);
  return true;
}

}  // namespace kestrel::inspect
