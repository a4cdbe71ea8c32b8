// What the keywords say about the output: the POSTFILE names of OU
// POSTFILE, the types of CO MODELOPT, the pollutant of CO POLLUTID and the
// unit labels of SO EMISUNIT, CONCUNIT and DEPOUNIT.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.hpp"
#include "dataset/output_type.hpp"
#include "setup/ctrl.hpp"
#include "setup/networks.hpp"

namespace kestrel {

// A name in double quotes (AERMOD's way of writing blanks into a name) loses
// its quotes; otherwise the text is the name.
[[nodiscard]] std::string_view unquote(std::string_view t);

// The POSTFILE name from the text after UNFORM or PLOT: a last word of one
// to three digits after another word is AERMOD's optional unit number.
[[nodiscard]] std::string_view postfile_name(std::string_view text);

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
// A unit label as read, and the line it came from.
struct UnitLabel {
  std::string text;
  LinePlace at;
};

struct UnitLabels {
  std::optional<UnitLabel> emisunit;
  std::optional<UnitLabel> concunit;
  std::optional<UnitLabel> depounit;
};

// Sets ctrl.cfactor and ctrl.ffactor for ctrl.types from the labels; a halt
// for a label of a type the run has that is not a mass per cubic metre
// (concentration) or per square metre (deposition).
[[nodiscard]] Status apply_units(const UnitLabels& labels, Ctrl& ctrl);

}  // namespace kestrel
