// Run information record: the program's version and level texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.hpp"

namespace kestrel {

inline constexpr std::string_view mver = "1.21";
inline constexpr std::string_view mlevel = "100301";

struct Qa {
  std::int32_t ncommout = 0;
  float rcpu = 0.0F;
  std::string ver = std::string(12, '\0');
  std::string level = std::string(12, '\0');
  std::string rdate = std::string(10, '\0');
  std::string rtime = std::string(8, '\0');
};

}  // namespace kestrel
