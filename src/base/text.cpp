#include "base/text.hpp"

#include <cstdio>

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

std::string utc_text(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  const auto day = floor<days>(t);
  const year_month_day ymd{day};
  const hh_mm_ss hms{floor<seconds>(t - day)};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                static_cast<int>(hms.seconds().count()));
  return buf;
}

}  // namespace kestrel
