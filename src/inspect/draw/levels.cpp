#include "inspect/draw/levels.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "inspect/failure.hpp"

namespace kestrel::inspect {

namespace {

constexpr std::size_t kMostLevels = 24;  // more are unreadable on a map and in its legend

double number(std::string_view text, std::string_view whole) {
  double v = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc{} || ptr != text.data() + text.size() || !std::isfinite(v)) {
    throw Failure("--levels: '" + std::string(text) + "' in '" + std::string(whole) +
                  "' is not a number (levels as 10,50,100,196, or fractions of a limit as 196x0.1,0.25,0.5,1)");
  }
  return v;
}

}  // namespace

std::vector<double> parse_levels(std::string_view text) {
  const std::string_view whole = text;
  double limit = 1;
  if (const auto x = text.find_first_of("xX"); x != std::string_view::npos) {
    limit = number(text.substr(0, x), whole);
    if (!(limit > 0)) throw Failure("--levels: the limit before 'x' must be above 0");
    text.remove_prefix(x + 1);
  }
  std::vector<double> levels;
  while (true) {
    const auto comma = text.find(',');
    levels.push_back(limit * number(text.substr(0, comma), whole));
    if (!std::isfinite(levels.back())) {
      throw Failure("--levels: '" + std::string(whole) + "' gives a level past the largest number");
    }
    if (!(levels.back() > 0)) {
      throw Failure("--levels: every level must be above 0 (the map is drawn on a log scale)");
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  std::sort(levels.begin(), levels.end());
  if (std::adjacent_find(levels.begin(), levels.end()) != levels.end()) throw Failure("--levels: a level is given twice");
  if (levels.size() > kMostLevels) throw Failure("--levels: at most " + std::to_string(kMostLevels) + " levels");
  return levels;
}

std::string plain_number(double v, int digits) {
  if (v == 0 || !std::isfinite(v)) return v == 0 ? "0" : std::isnan(v) ? "none" : v > 0 ? "inf" : "-inf";
  char buf[64];
  const double a = std::fabs(v);
  // Rounded first, so that 99.96 to three digits is 100, not 100.0 or 99.96.
  const int e = static_cast<int>(std::floor(std::log10(a)));
  const int shift = digits - 1 - e;
  const double r = shift >= 0 ? std::round(a * std::pow(10.0, shift)) / std::pow(10.0, shift)
                              : std::round(a / std::pow(10.0, -shift)) * std::pow(10.0, -shift);
  const int er = static_cast<int>(std::floor(std::log10(r) + 1e-12));
  if (r < 1e-4 || r >= 1e9) {
    char* end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, digits - 1).ptr;
    std::string s(buf, end);
    // 1.50e-05 is 1.5e-05.
    const auto mark = s.find('e');
    std::string mantissa = s.substr(0, mark);
    if (mantissa.find('.') != std::string::npos) {
      while (mantissa.back() == '0') mantissa.pop_back();
      if (mantissa.back() == '.') mantissa.pop_back();
    }
    return mantissa + s.substr(mark);
  }
  const int decimals = std::max(0, digits - 1 - er);
  char* end = std::to_chars(buf, buf + sizeof buf, v < 0 ? -r : r, std::chars_format::fixed, decimals).ptr;
  std::string s(buf, end);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

std::vector<std::string> level_labels(std::span<const double> levels) {
  std::vector<std::string> labels(levels.size());
  for (int digits = 1; digits <= 7; ++digits) {
    bool close = true;
    for (std::size_t i = 0; i < levels.size(); ++i) {
      labels[i] = plain_number(levels[i], digits);
      double back = 0;
      std::from_chars(labels[i].data(), labels[i].data() + labels[i].size(), back);
      close = close && std::fabs(back - levels[i]) <= 0.005 * std::fabs(levels[i]);
    }
    if (close && std::set<std::string>(labels.begin(), labels.end()).size() == labels.size()) break;
  }
  return labels;
}

}  // namespace kestrel::inspect
