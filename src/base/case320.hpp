// Upper- or lower-casing the leading part of a 320-character line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.hpp"

namespace kestrel {

// Converts the first nlim characters of c320 in place (ASCII letters only).
// mode is "UPPER", "upper", "LOWER" or "lower"; anything else, or nlim above
// 320, halts and leaves the line unchanged.
Status case320(std::string_view mode, std::string& c320, std::int32_t nlim);

}  // namespace kestrel
