// The SO pathway's sources: each LOCATION's place, from which polar
// networks and DISCPOLR receptors are placed, and what a map draws of it.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "setup/ctrl.hpp"
#include "setup/networks.hpp"

namespace kestrel {

class SourceTable {
 public:
  // "LOCATION srcid srctype x y ...", from column 3.
  void location(std::string_view line);
  // "SRCPARAM srcid numbers..." or "AREAVERT srcid x y x y ...", from
  // column 3: kept as read, up to the first field that is not a number.
  void numbers(std::string_view line);
  [[nodiscard]] const SourceLocations& places() const noexcept { return places_; }
  // Every source with a LOCATION, in id order.
  [[nodiscard]] std::vector<SourceLocation> list() const;

 private:
  SourceLocations places_;
  std::map<std::string, SourceLocation, std::less<>> shapes_;
};

}  // namespace kestrel
