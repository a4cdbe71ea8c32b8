// What CO and SO keywords say about the output: the types of CO MODELOPT,
// the pollutant of CO POLLUTID and the unit labels of SO EMISUNIT,
// CONCUNIT and DEPOUNIT.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.hpp"
#include "dataset/output_type.hpp"
#include "setup/ctrl.hpp"

namespace kestrel {

// The output types a MODELOPT line selects (`text` follows the keyword), in
// AERMOD's order; CONC alone when it names none.
[[nodiscard]] std::vector<dataset::OutputType> output_types(std::string_view text);

// The pollutant of a POLLUTID line (`text` follows the keyword): its first
// word, at most 12 characters.
[[nodiscard]] std::string pollutant(std::string_view text);

// The output label of a unit line (`text` follows the keyword): the third
// word, after the emission factor and the emission label.
[[nodiscard]] std::string unit_label(std::string_view text);

// The last label of each unit keyword.
struct UnitLabels {
  std::optional<std::string> emisunit;
  std::optional<std::string> concunit;
  std::optional<std::string> depounit;
};

// Sets ctrl.cfactor and ctrl.ffactor for ctrl.types from the labels; a halt
// for a label of a type the run has that is not a mass per cubic metre
// (concentration) or per square metre (deposition).
[[nodiscard]] Status apply_units(const UnitLabels& labels, Ctrl& ctrl);

}  // namespace kestrel
