// The unit of the POSTFILE values: AERMOD writes them in the unit of the
// CONCUNIT or EMISUNIT label, micrograms per cubic metre without one.
#pragma once

#include <optional>
#include <string_view>

namespace kestrel {

// The factor that turns values in the unit `label` (upper case, as read)
// into g/m3; none when the label is not a mass per cubic metre.
[[nodiscard]] std::optional<float> unit_factor(std::string_view label);

}  // namespace kestrel
