#include "setup/units.hpp"

#include <array>
#include <utility>

namespace kestrel {

namespace {

constexpr double kSecondsPerHour = 3600.0;

constexpr std::array<std::pair<std::string_view, double>, 12> kMasses = {{
    {"MICROGRAMS", 1.0e-6}, {"MICROGRAM", 1.0e-6}, {"UG", 1.0e-6},
    {"MILLIGRAMS", 1.0e-3}, {"MILLIGRAM", 1.0e-3}, {"MG", 1.0e-3},
    {"NANOGRAMS", 1.0e-9},  {"NANOGRAM", 1.0e-9},  {"NG", 1.0e-9},
    {"GRAMS", 1.0},         {"GRAM", 1.0},         {"G", 1.0},
}};

// A label's mass, in grams; none when the label is not `<mass>/<area or volume>`
// with one of `per` after the slash.
template <std::size_t N>
std::optional<double> grams_per(std::string_view label, const std::array<std::string_view, N>& per) {
  if (label.size() >= 2 && label.front() == '(' && label.back() == ')') label = label.substr(1, label.size() - 2);
  const std::size_t slash = label.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view mass = label.substr(0, slash);
  const std::string_view rest = label.substr(slash + 1);
  bool known = false;
  for (const std::string_view p : per) known = known || rest == p;
  if (!known) return std::nullopt;
  for (const auto& [name, grams] : kMasses) {
    if (mass == name) return grams;
  }
  return std::nullopt;
}

constexpr std::array<std::string_view, 3> kCubicMetre = {"M**3", "M3", "M^3"};
constexpr std::array<std::string_view, 5> kSquareMetre = {"M**2", "M2", "M^2", "SQ-M", "SQM"};

template <std::size_t N>
std::string one_of(const std::array<std::string_view, N>& words) {
  std::string s;
  for (const auto w : words) s += (s.empty() ? "" : ", ") + std::string(w);
  return s;
}

}  // namespace

std::string accepted_units(bool per_area) {
  std::array<std::string_view, kMasses.size()> masses{};
  for (std::size_t i = 0; i < kMasses.size(); ++i) masses[i] = kMasses[i].first;
  return "Accepted: <mass>/" + std::string(per_area ? "<area>" : "<volume>") + " with <mass> one of " +
         one_of(masses) + " and " + (per_area ? "<area> one of " + one_of(kSquareMetre) + " (e.g. GRAMS/M**2)"
                                              : "<volume> one of " + one_of(kCubicMetre) + " (e.g. MICROGRAMS/M**3)");
}

std::optional<float> unit_factor(std::string_view label) {
  const auto grams = grams_per(label, kCubicMetre);
  if (!grams) return std::nullopt;
  return static_cast<float>(*grams);
}

std::optional<float> flux_factor(std::string_view label) {
  const auto grams = grams_per(label, kSquareMetre);
  if (!grams) return std::nullopt;
  // The hour's mass per area spread over its seconds, rounded once.
  return static_cast<float>(*grams / kSecondsPerHour);
}

float default_flux_factor() noexcept { return static_cast<float>(1.0 / kSecondsPerHour); }

}  // namespace kestrel
