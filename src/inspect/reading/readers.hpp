// The readers of the three kinds of file kestrel-inspect takes: a dataset, an
// unformatted POSTFILE and a formatted (PLOT) one. Each opens its file into a
// Summary's header part and then yields its periods one at a time, in fixed
// memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "inspect/kestrel_calls.hpp"
#include "inspect/stats/summary.hpp"

namespace kestrel::inspect {

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

// Any of the three, told by its bytes; `real` and `receptors` override an
// unformatted POSTFILE's (0: inferred). Throws Failure.
Summary open_file(const std::string& name, int real, std::int32_t receptors, const Receptors& control,
                  const TypeChoice& type);

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
