// Fixed-width texts: every text has a declared width, is blank-padded on the
// right and cut when longer. Only the space counts as a blank.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr char kBlank = ' ';

// `s` padded with blanks or cut to exactly `width` characters.
std::string fixed(std::string_view s, std::size_t width);

// Length without trailing blanks.
std::size_t len_trim(std::string_view s) noexcept;

std::string_view trim_right(std::string_view s) noexcept;
std::string_view trim(std::string_view s) noexcept;

// Leading blanks moved to the end; the width stays the same.
std::string left_adjust(std::string_view s);

}  // namespace kestrel
