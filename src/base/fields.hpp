// Free-format values on a control-file or receptor line: fields separated by
// blanks, tabs or commas; integers, decimals and exponents (E or D).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kestrel {

// Splits `text` into fields, storing the first out.size() of them; returns
// how many fields there are. A leading comma, or two commas with only blanks
// between them, make an empty field; a trailing comma adds nothing.
std::size_t split_fields(std::string_view text, std::span<std::string_view> out);

// The first of those fields (empty when there is none), without looking further.
std::string_view first_field(std::string_view text);

// Whole-field conversions; false when the field is not such a number.
bool parse_int32(std::string_view field, std::int32_t& value);
bool parse_real(std::string_view field, float& value);
bool parse_real(std::string_view field, double& value);
// Both readings of one field at once.
bool parse_real(std::string_view field, float& single, double& twice);

}  // namespace kestrel
