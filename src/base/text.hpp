// Fixed-width texts: every text has a declared width, is blank-padded on the
// right and cut when longer. Only the space counts as a blank.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr char kBlank = ' ';

// The widths of the program's fixed texts.
inline constexpr std::size_t kLineWidth = 320;    // a control-file line as read
inline constexpr std::size_t kNameWidth = 132;    // a file name; the status text
inline constexpr std::size_t kTitleWidth = 80;    // a title
inline constexpr std::size_t kMaxNameLength = 128;  // leaves room for ".kst" and ".gdx"

// `s` padded with blanks or cut to exactly `width` characters.
std::string fixed(std::string_view s, std::size_t width);

// "1 period", "2 periods": a count and its noun, plural but for one. Signed:
// a count made by subtraction (a run period ending before it begins) shows
// as the negative number it is.
[[nodiscard]] std::string count_of(std::int64_t n, std::string_view what);

// "2026-12-08T19:30:05Z": a time in UTC, to the second (ISO 8601).
[[nodiscard]] std::string utc_text(std::chrono::system_clock::time_point t);

// Length without trailing blanks.
std::size_t len_trim(std::string_view s) noexcept;

std::string_view trim_right(std::string_view s) noexcept;
std::string_view trim(std::string_view s) noexcept;

}  // namespace kestrel
