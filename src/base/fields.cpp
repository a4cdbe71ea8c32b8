#include "base/fields.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <system_error>
#include <type_traits>

namespace kestrel {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t'; }
bool is_separator(char c) { return is_space(c) || c == ','; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Every power of ten up to 1e22 is exact in double.
constexpr std::array<double, 23> kPow10 = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                           1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The digits of a decimal's mantissa, gathered while it is validated: the
// first 15 significant ones as an integer, and how many follow the point.
struct Digits {
  std::uint64_t mantissa = 0;
  int significant = 0;
  int fraction = 0;
  std::size_t count = 0;

  void add(char c, bool after_point) {
    ++count;
    if (after_point) ++fraction;
    if (significant == 0 && c == '0') return;
    if (++significant <= 15) mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
  }
};

// A decimal without exponent (coordinates, mostly), converted without the
// library: its digits as an integer over a power of ten, both exact in
// double, give a quotient rounded once. Rounding that to float gives the
// correctly rounded float unless the quotient lies exactly halfway between
// two floats; that case, more than 15 significant digits and more than 22
// decimals are left to from_chars (false).
bool plain_decimal(const Digits& d, bool negative, float& value) {
  if (d.significant == 0) {
    value = negative ? -0.0F : 0.0F;
    return true;
  }
  if (d.significant > 15 || d.fraction >= static_cast<int>(kPow10.size())) return false;
  // At most 15 digits over at most 1e22: between 1e-22 and 1e15, well
  // inside the normal float range.
  const double q = static_cast<double>(d.mantissa) / kPow10[static_cast<std::size_t>(d.fraction)];
  // A float has 29 fewer significand bits than a double: a quotient whose
  // dropped bits are exactly 1000...0 is a midpoint.
  constexpr std::uint64_t kDropped = (std::uint64_t{1} << 29) - 1;
  if ((std::bit_cast<std::uint64_t>(q) & kDropped) == (std::uint64_t{1} << 28)) return false;
  value = static_cast<float>(negative ? -q : q);
  return true;
}

}  // namespace

std::size_t split_fields(std::string_view text, std::span<std::string_view> out) {
  std::size_t count = 0;
  auto add = [&](std::string_view f) {
    if (count < out.size()) out[count] = f;
    ++count;
  };
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto skip_spaces = [&] {
    while (i < n && is_space(text[i])) ++i;
  };
  skip_spaces();
  while (i < n) {
    if (text[i] == ',') {
      add({});
      ++i;
      skip_spaces();
      continue;
    }
    const std::size_t start = i;
    while (i < n && !is_separator(text[i])) ++i;
    add(text.substr(start, i - start));
    skip_spaces();
    if (i < n && text[i] == ',') {
      ++i;  // the comma that ends this value
      skip_spaces();
    }
  }
  return count;
}

bool parse_int32(std::string_view field, std::int32_t& value) {
  // from_chars takes a minus sign but no plus sign.
  if (!field.empty() && field.front() == '+') {
    field.remove_prefix(1);
    if (field.empty() || field.front() == '-') return false;
  }
  const char* end = field.data() + field.size();
  const auto res = std::from_chars(field.data(), end, value);
  return res.ec == std::errc() && res.ptr == end;
}

namespace {

// The Fortran form: sign, digits with an optional point, an optional
// exponent introduced by E or D. Copies the field into `buf` in the form
// from_chars reads (no plus sign, 'e' for the exponent) and returns its
// length, or 0 when the field is not such a number. `digits` receives the
// mantissa's digits.
std::size_t fortran_number(std::string_view field, char (&buf)[72], Digits& digits, bool& plain, bool& negative) {
  std::size_t i = 0;
  const std::size_t n = field.size();
  if (n == 0 || n > 64) return 0;
  negative = field[0] == '-';
  if (negative || field[0] == '+') ++i;
  for (; i < n && is_digit(field[i]); ++i) digits.add(field[i], false);
  if (i < n && field[i] == '.') {
    for (++i; i < n && is_digit(field[i]); ++i) digits.add(field[i], true);
  }
  if (digits.count == 0) return 0;
  plain = i == n;
  std::size_t exp_at = n;
  if (i < n && (field[i] == 'E' || field[i] == 'e' || field[i] == 'D' || field[i] == 'd')) {
    exp_at = i++;
    if (i < n && (field[i] == '+' || field[i] == '-')) ++i;
    std::size_t exp_digits = 0;
    while (i < n && is_digit(field[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return 0;
  }
  if (i != n) return 0;
  std::size_t len = 0;
  for (std::size_t k = 0; k < n; ++k) {
    char c = field[k];
    if (k == 0 && c == '+') continue;  // from_chars takes no plus sign
    if (k == exp_at) c = 'e';
    buf[len++] = c;
  }
  return len;
}

// A Fortran number, correctly rounded straight to T (a Fortran REAL read
// rounds once, to single precision).
template <class T>
bool parse_fortran(std::string_view field, T& value) {
  char buf[72];
  Digits digits;
  bool plain = false;
  bool negative = false;
  const std::size_t len = fortran_number(field, buf, digits, plain, negative);
  if (len == 0) return false;
  if constexpr (std::is_same_v<T, float>) {
    if (plain && plain_decimal(digits, negative, value)) return true;
  }
  const auto res = std::from_chars(buf, buf + len, value);
  return res.ec == std::errc() && res.ptr == buf + len;
}

}  // namespace

bool parse_real(std::string_view field, float& value) { return parse_fortran(field, value); }
bool parse_real(std::string_view field, double& value) { return parse_fortran(field, value); }

}  // namespace kestrel
