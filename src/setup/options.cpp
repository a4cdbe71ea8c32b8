#include "setup/options.hpp"

#include <algorithm>
#include <array>

#include "base/fields.hpp"
#include "base/free_line.hpp"
#include "base/text.hpp"
#include "setup/units.hpp"

namespace kestrel {

namespace {

using dataset::OutputType;

// Words parted by blanks only, as AERMOD parts a label's words.
std::string_view word_at(std::string_view text, std::size_t& at) {
  while (at < text.size() && text[at] == ' ') ++at;
  const std::size_t end = std::min(text.find(' ', at), text.size());
  const std::string_view w = text.substr(at, end - at);
  at = end;
  return w;
}

// The label, the line it came from and the labels that would do.
Status halt_with(std::string_view message, std::string_view what, const UnitLabel& label, bool per_area) {
  return Status::halt(std::string(message), true)
      .line(free_line(message))
      .line(free_line(std::string(what) + label.text))
      .line(where_line(label.at))
      .line(free_line(accepted_units(per_area)));
}

bool has(const std::vector<OutputType>& types, OutputType t) {
  return std::find(types.begin(), types.end(), t) != types.end();
}

bool is_unit_number(std::string_view w) {
  return !w.empty() && w.size() <= 3 && std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string_view unquote(std::string_view t) {
  if (t.size() >= 2 && t.front() == '"') {
    const std::size_t close = t.find('"', 1);
    if (close != std::string_view::npos) return t.substr(1, close - 1);
  }
  return t;
}

std::string_view postfile_name(std::string_view text) {
  const std::string_view t = trim(text);
  if (!t.empty() && t.front() == '"') {
    const std::string_view q = unquote(t);
    if (q.size() != t.size()) return q;
  }
  const std::size_t blank = t.rfind(' ');
  if (blank != std::string_view::npos && is_unit_number(t.substr(blank + 1))) return trim_right(t.substr(0, blank));
  return t;
}

std::vector<OutputType> output_types(std::string_view text) {
  std::array<std::string_view, 64> words;
  const std::size_t n = std::min(split_fields(text, words), words.size());
  std::vector<OutputType> types;
  for (const OutputType t : dataset::kOutputTypes) {
    const auto end = words.begin() + static_cast<std::ptrdiff_t>(n);
    if (std::find(words.begin(), end, dataset::traits(t).keyword) != end) types.push_back(t);
  }
  if (types.empty()) types.push_back(OutputType::conc);
  return types;
}

std::string pollutant(std::string_view text) {
  std::size_t at = 0;
  return std::string(word_at(text, at).substr(0, 12));
}

std::string unit_label(std::string_view text) {
  std::size_t at = 0;
  std::string_view word;
  for (int k = 0; k < 3; ++k) word = word_at(text, at);
  return std::string(word);
}

Status apply_units(const UnitLabels& labels, Ctrl& ctrl) {
  const bool conc = has(ctrl.types, OutputType::conc);
  const std::optional<UnitLabel>& conc_label = labels.concunit ? labels.concunit : labels.emisunit;
  if (conc && conc_label) {
    const auto factor = unit_factor(conc_label->text);
    if (!factor) {
      return halt_with("Halted in SETUP:  concentration unit is not a mass per cubic metre", "Concentration unit: ",
                       *conc_label, false);
    }
    ctrl.cfactor = *factor;
  }
  // EMISUNIT is the deposition's unit only where there is no concentration.
  const bool deposition = ctrl.types.size() > (conc ? 1U : 0U);
  const std::optional<UnitLabel>& dep_label = labels.depounit || conc ? labels.depounit : labels.emisunit;
  ctrl.ffactor = default_flux_factor();
  if (deposition && dep_label) {
    const auto factor = flux_factor(dep_label->text);
    if (!factor) {
      return halt_with("Halted in SETUP:  deposition unit is not a mass per square metre", "Deposition unit: ",
                       *dep_label, true);
    }
    ctrl.ffactor = *factor;
  }
  return {};
}

}  // namespace kestrel
