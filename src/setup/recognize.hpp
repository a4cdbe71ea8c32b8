// Telling an AERMOD control file from other files by what it says.
#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>

namespace kestrel {

// Whether the file has a CO STARTING line (blanks and case as AERMOD
// allows) within its first `within` bytes: without one it is no AERMOD
// control file, whatever else it says. Throws IoError when it cannot be read.
[[nodiscard]] bool has_co_starting(const std::filesystem::path& file, const std::string& label,
                                   std::uint64_t within = std::numeric_limits<std::uint64_t>::max());

}  // namespace kestrel
