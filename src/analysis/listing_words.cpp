#include "analysis/listing_words.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <sstream>

namespace kestrel::analysis::listing {

namespace {

int decimals_of(std::string_view s) {
  const auto dot = s.find('.');
  return dot == std::string_view::npos ? 0 : static_cast<int>(s.size() - dot - 1);
}

// "1-HR" -> 1, "MONTH" -> kMonth
std::optional<int> hours_of(const std::string& w) {
  if (w == "MONTH") return kMonth;
  if (w.size() < 4 || w.substr(w.size() - 3) != "-HR") return std::nullopt;
  return integer(std::string_view(w).substr(0, w.size() - 3));
}

}  // namespace

bool has(std::string_view line, std::string_view what) { return line.find(what) != std::string_view::npos; }

std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> w;
  std::istringstream in{std::string(line)};
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

std::optional<double> number(std::string_view s) {
  double v = 0;
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc{} || ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<int> integer(std::string_view s) {
  int v = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc{} || ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

// "(88030111)", "88030111" or "88030111:" as a date.
std::optional<std::int32_t> date_of(std::string_view s) {
  if (!s.empty() && s.back() == ':') s.remove_suffix(1);
  if (s.size() >= 2 && s.front() == '(' && s.back() == ')') s = s.substr(1, s.size() - 2);
  if (s.size() != 8) return std::nullopt;
  return integer(s);
}

// A value as printed, with the flag AERMOD puts right after it: "19.93847c".
bool value_of(std::string_view w, PrintedValue& out) {
  char flag = ' ';
  if (!w.empty() && (w.back() == 'c' || w.back() == 'm' || w.back() == 'b')) {
    flag = w.back();
    w.remove_suffix(1);
  }
  const auto x = number(w);
  if (!x) return false;
  out.value = *x;
  out.decimals = decimals_of(w);
  out.flag = flag;
  return true;
}

// A line's words, a date glued to its value ("0.18878m(88010418)") split off.
std::vector<std::string> cells(std::string_view line) {
  std::string l(line);
  for (std::size_t i = l.find('('); i != std::string::npos; i = l.find('(', i + 2)) l.insert(i, " ");
  return words(l);
}

// The ordinal of "1ST", "2ND-HIGHEST" and the like.
std::optional<int> rank_of(std::string_view w) {
  std::size_t n = 0;
  while (n < w.size() && w[n] >= '0' && w[n] <= '9') ++n;
  if (n == 0 || n + 2 > w.size()) return std::nullopt;
  const auto suffix = w.substr(n, 2);
  if (suffix != "ST" && suffix != "ND" && suffix != "RD" && suffix != "TH") return std::nullopt;
  // Digits past an int's range: a rank too deep all the same.
  return integer(w.substr(0, n)).value_or(std::numeric_limits<int>::max());
}

std::string join(const std::vector<std::string>& w) {
  std::string o;
  for (const auto& s : w) o += (o.empty() ? "" : " ") + s;
  return o;
}

std::optional<Averaging> averaging_of(const std::vector<std::string>& h, std::size_t at) {
  Averaging a;
  if (at + 2 < h.size() && h[at] == "MAX" && h[at + 1] == "DAILY") a.daily = true, at += 2;
  if (at >= h.size()) return std::nullopt;
  const auto hours = hours_of(h[at]);
  if (!hours) return std::nullopt;
  a.hours = *hours;
  a.next = at + 1;
  return a;
}

// "AVERAGED OVER   2 YEARS" in a title's words: 2; 0 without.
int years_in(const std::vector<std::string>& h) {
  const auto over = std::find(h.begin(), h.end(), "OVER");
  if (over == h.end() || over + 1 == h.end()) return 0;
  return integer(*(over + 1)).value_or(0);
}

}  // namespace kestrel::analysis::listing
