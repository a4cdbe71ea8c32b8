#include "base/text.hpp"

namespace kestrel {

std::string fixed(std::string_view s, std::size_t width) {
  std::string out(s.substr(0, width));
  out.resize(width, kBlank);
  return out;
}

std::size_t len_trim(std::string_view s) noexcept {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] == kBlank) --n;
  return n;
}

std::string_view trim_right(std::string_view s) noexcept { return s.substr(0, len_trim(s)); }

std::string_view trim(std::string_view s) noexcept {
  s = trim_right(s);
  std::size_t i = 0;
  while (i < s.size() && s[i] == kBlank) ++i;
  return s.substr(i);
}

std::string count_of(std::int64_t n, std::string_view what) {
  return std::to_string(n) + " " + std::string(what) + (n == 1 ? "" : "s");
}

}  // namespace kestrel
