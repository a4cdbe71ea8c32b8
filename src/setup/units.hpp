// The units of the POSTFILE values: AERMOD writes concentrations in the unit
// of the CONCUNIT or EMISUNIT label (micrograms per cubic metre without
// one) and the hour's deposition in that of the DEPOUNIT label (grams per
// square metre without one).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// The factor that turns values in the unit `label` (upper case, as read)
// into g/m3; none when the label is not a mass per cubic metre.
[[nodiscard]] std::optional<float> unit_factor(std::string_view label);

// The factor that turns an hour's deposition in the unit `label` into a
// flux in g/m2/s; none when the label is not a mass per square metre.
[[nodiscard]] std::optional<float> flux_factor(std::string_view label);

// "Accepted: <mass>/<volume> with <mass> one of MICROGRAMS, ... (e.g.
// MICROGRAMS/M**3)": the labels unit_factor (or, per area, flux_factor) takes.
[[nodiscard]] std::string accepted_units(bool per_area);

// The flux factor of AERMOD's default deposition unit, grams per square metre.
[[nodiscard]] float default_flux_factor() noexcept;

}  // namespace kestrel
