// The warnings a conversion gives about a POSTFILE, worded once for the
// converter and kestrel-inspect.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

inline std::string ended_inside_warning(std::string_view name) {
  return "WARNING: " + std::string(name) + " ends inside a record; its incomplete last record was not converted";
}

inline std::string misplaced_warning(std::string_view name, std::int32_t receptor) {
  return "WARNING: " + std::string(name) + " holds receptors at other places than the control file's, first receptor " +
         std::to_string(receptor);
}

inline std::string longer_warning(std::string_view name) {
  return "WARNING: " + std::string(name) +
         " holds records with more values than the control file has receptors; only the first values were converted";
}

}  // namespace kestrel
