#include "setup/units.hpp"

#include <array>
#include <utility>

namespace kestrel {

std::optional<float> unit_factor(std::string_view label) {
  if (label.size() >= 2 && label.front() == '(' && label.back() == ')') label = label.substr(1, label.size() - 2);
  const std::size_t slash = label.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view mass = label.substr(0, slash);
  const std::string_view volume = label.substr(slash + 1);
  if (volume != "M**3" && volume != "M3" && volume != "M^3") return std::nullopt;
  static constexpr std::array<std::pair<std::string_view, float>, 12> kMasses = {{
      {"MICROGRAMS", 1.0e-6F}, {"MICROGRAM", 1.0e-6F}, {"UG", 1.0e-6F},
      {"MILLIGRAMS", 1.0e-3F}, {"MILLIGRAM", 1.0e-3F}, {"MG", 1.0e-3F},
      {"NANOGRAMS", 1.0e-9F},  {"NANOGRAM", 1.0e-9F},  {"NG", 1.0e-9F},
      {"GRAMS", 1.0F},         {"GRAM", 1.0F},         {"G", 1.0F},
  }};
  for (const auto& [name, factor] : kMasses) {
    if (mass == name) return factor;
  }
  return std::nullopt;
}

}  // namespace kestrel
