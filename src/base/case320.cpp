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
// included, stay as they are. Eight characters at a time, as one 64-bit
// word: adding (0x80 - lo) to a byte's low seven bits sets its top bit
// exactly when they are lo or more, and no byte carries into the next.
void flip_case(char* p, std::size_t n, char lo, char hi) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kTop = 0x80 * kOnes;
  const std::uint64_t from_lo = static_cast<std::uint64_t>(0x80 - lo) * kOnes;
  const std::uint64_t past_hi = static_cast<std::uint64_t>(0x80 - hi - 1) * kOnes;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x;
    std::memcpy(&x, p + i, 8);
    const std::uint64_t low7 = x & ~kTop;
    const std::uint64_t in_range = (low7 + from_lo) & ~(low7 + past_hi) & ~x & kTop;
    x ^= in_range >> 2;  // the top bit moved down to 0x20
    std::memcpy(p + i, &x, 8);
  }
  for (; i < n; ++i) {
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
