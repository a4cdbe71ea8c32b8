// The receptor text store: the text after each DISCCART keyword, in the order
// met, parsed into kilometre coordinates once the control file is read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "setup/ctrl.hpp"

namespace kestrel {

struct ReceptorError {
  std::int32_t entry = 0;  // 1-based number in store order; 0 = none
  std::string text;        // the entry without leading or trailing blanks
};

class ReceptorStore {
 public:
  // Stores one entry; false (nothing stored) when MXREC entries are already held.
  bool add(std::string_view text);

  // Reads x, y and the elevation of every entry into `out` (x and y in
  // metres become km). An entry with only x and y gets elevation 0.0.
  // Returns the first entry that is not numbers, if any.
  ReceptorError parse(std::vector<Receptor>& out) const;

 private:
  std::string text_;
  std::vector<std::size_t> ends_;
};

// The unit factor from metres to kilometres, applied as one rounding of the
// exact product of the two single-precision values.
[[nodiscard]] inline float metres_to_km(float metres) {
  constexpr float kFactor = 0.001F;
  return static_cast<float>(static_cast<double>(metres) * static_cast<double>(kFactor));
}

}  // namespace kestrel
