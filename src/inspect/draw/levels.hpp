// The levels of the map's contours and bands, as --levels gives them, and
// how the map writes them and its values.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::inspect {

// "10,50,100,196", or fractions of a limit, "196x0.1,0.25,0.5,1" (19.6, 49,
// 98 and 196): numbers above 0, in the unit shown, returned rising. Throws
// Failure naming what is wrong.
std::vector<double> parse_levels(std::string_view text);

// v to `digits` significant digits, without an exponent from 1e-4 to 1e9
// and without trailing zeros: 0.00123, 196, 1230000, 1.5e-05.
std::string plain_number(double v, int digits);

// The levels written with the fewest significant digits that keep them apart
// and each within 0.5 % of its value (19.6, 49, 98, 196; 1, 2, 5, 10).
std::vector<std::string> level_labels(std::span<const double> levels);

// A value on the map: three significant digits.
inline std::string value_label(double v) { return plain_number(v, 3); }

}  // namespace kestrel::inspect
