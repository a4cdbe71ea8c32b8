// The program's version and level texts.
#pragma once

#include <string_view>

namespace kestrel {

inline constexpr std::string_view mver = "1.21";
inline constexpr std::string_view mlevel = "100301";

}  // namespace kestrel
