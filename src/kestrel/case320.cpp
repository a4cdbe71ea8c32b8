#include "kestrel/case320.hpp"

#include <algorithm>

#include "kestrel/free_line.hpp"
#include "kestrel/text.hpp"

namespace kestrel {

namespace {
constexpr std::int32_t kLineWidth = 320;
}

void case320(std::ostream& io, std::string_view mode, std::string& c320, std::int32_t nlim, Halt132& halt132) {
  if (nlim > kLineWidth) {
    constexpr std::string_view msg = "Halted in CASE320 - string is too long";
    halt132.set(msg, true);
    io << free_line(msg) << '\n'
       << free_line("Maximum length  : 320") << '\n'
       << FreeLine().text("Requested length: ").i32(nlim).str() << '\n';
    return;
  }
  const auto n = static_cast<std::size_t>(std::clamp<std::int32_t>(nlim, 0, static_cast<std::int32_t>(c320.size())));
  const std::string_view mode5 = mode.substr(0, 5);
  // Through a plain pointer: a store through the string's operator[] could
  // alias its own data pointer, which keeps the loop from vectorising.
  char* p = c320.data();
  if (mode5 == "UPPER" || mode5 == "upper") {
    for (std::size_t i = 0; i < n; ++i) {
      if (p[i] >= 'a' && p[i] <= 'z') p[i] = static_cast<char>(p[i] - 32);
    }
  } else if (mode5 == "LOWER" || mode5 == "lower") {
    for (std::size_t i = 0; i < n; ++i) {
      if (p[i] >= 'A' && p[i] <= 'Z') p[i] = static_cast<char>(p[i] + 32);
    }
  } else {
    constexpr std::string_view msg = "Halted in CASE320 - invalid output mode";
    halt132.set(msg, true);
    io << free_line(msg) << '\n'
       << free_line("Expected UPPER or LOWER") << '\n'
       << free_line("Found: " + fixed(mode, 5)) << '\n';
  }
}

}  // namespace kestrel
