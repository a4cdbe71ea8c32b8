#include "base/case320.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/free_line.hpp"
#include "base/text.hpp"

namespace kestrel {

namespace {

// Flips the case (the 0x20 bit) of the first n characters that lie in
// [lo, hi], a range of ASCII letters; other bytes, those of 0x80 and above
// included, stay as they are.
void flip_case(char* p, std::size_t n, char lo, char hi) {
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] >= lo && p[i] <= hi) p[i] = static_cast<char>(p[i] ^ 0x20);
  }
}

}  // namespace

Status case320(std::string_view mode, std::string& c320, std::int32_t nlim) {
  if (nlim > static_cast<std::int32_t>(kLineWidth)) {
    constexpr std::string_view msg = "Halted in CASE320 - string is too long";
    return Status::halt(std::string(msg), true)
        .line(free_line(msg))
        .line(free_line("Maximum length  : 320"))
        .line(FreeLine().text("Requested length: ").i32(nlim).str());
  }
  const auto n = static_cast<std::size_t>(std::clamp<std::int32_t>(nlim, 0, static_cast<std::int32_t>(c320.size())));
  const std::string_view mode5 = mode.substr(0, 5);
  if (mode5 == "UPPER" || mode5 == "upper") {
    flip_case(c320.data(), n, 'a', 'z');
  } else if (mode5 == "LOWER" || mode5 == "lower") {
    flip_case(c320.data(), n, 'A', 'Z');
  } else {
    constexpr std::string_view msg = "Halted in CASE320 - invalid output mode";
    return Status::halt(std::string(msg), true)
        .line(free_line(msg))
        .line(free_line("Expected UPPER or LOWER"))
        .line(free_line("Found: " + fixed(mode, 5)));
  }
  return {};
}

}  // namespace kestrel
