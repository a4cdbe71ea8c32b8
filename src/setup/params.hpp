// Limits of the run.
#pragma once

#include <cstddef>

namespace kestrel {

inline constexpr std::size_t MXFIL = 100;    // POSTFILE names
inline constexpr std::size_t MXREC = 10000;  // discrete receptors

}  // namespace kestrel
