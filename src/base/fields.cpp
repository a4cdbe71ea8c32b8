#include "base/fields.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <system_error>
#include <optional>

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
// double, give the correctly rounded double in one division. More than 15
// significant digits or more than 22 decimals are left to from_chars.
std::optional<double> plain_quotient(const Digits& d, bool negative) {
  if (d.significant == 0) return negative ? -0.0 : 0.0;
  if (d.significant > 15 || d.fraction >= static_cast<int>(kPow10.size())) return std::nullopt;
  // At most 15 digits over at most 1e22: between 1e-22 and 1e15, well
  // inside the normal float range.
  const double q = static_cast<double>(d.mantissa) / kPow10[static_cast<std::size_t>(d.fraction)];
  return negative ? -q : q;
}

// The quotient rounded to float is the correctly rounded float unless it lies
// exactly halfway between two floats (false).
bool float_of(double q, float& value) {
  // A float has 29 fewer significand bits than a double: a quotient whose
  // dropped bits are exactly 1000...0 is a midpoint.
  constexpr std::uint64_t kDropped = (std::uint64_t{1} << 29) - 1;
  if ((std::bit_cast<std::uint64_t>(q) & kDropped) == (std::uint64_t{1} << 28)) return false;
  value = static_cast<float>(q);
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

std::string_view first_field(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  std::size_t j = i;
  while (j < text.size() && !is_separator(text[j])) ++j;
  return text.substr(i, j - i);
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

// A field checked for the Fortran form: sign, digits with an optional point,
// an optional exponent introduced by E or D.
struct FortranNumber {
  Digits digits;
  bool negative = false;
  bool plain = false;       // no exponent
  std::size_t exp_at = 0;   // where the exponent letter stands
  bool valid = false;

  explicit FortranNumber(std::string_view field) {
    std::size_t i = 0;
    const std::size_t n = field.size();
    exp_at = n;
    if (n == 0 || n > 64) return;
    negative = field[0] == '-';
    if (negative || field[0] == '+') ++i;
    for (; i < n && is_digit(field[i]); ++i) digits.add(field[i], false);
    if (i < n && field[i] == '.') {
      for (++i; i < n && is_digit(field[i]); ++i) digits.add(field[i], true);
    }
    if (digits.count == 0) return;
    plain = i == n;
    if (i < n && (field[i] == 'E' || field[i] == 'e' || field[i] == 'D' || field[i] == 'd')) {
      exp_at = i++;
      if (i < n && (field[i] == '+' || field[i] == '-')) ++i;
      std::size_t exp_digits = 0;
      while (i < n && is_digit(field[i])) ++i, ++exp_digits;
      if (exp_digits == 0) return;
    }
    valid = i == n;
  }

  // The field as from_chars reads it: no plus sign, 'e' for the exponent.
  template <class T>
  bool read(std::string_view field, T& value) const {
    char buf[72];
    std::size_t len = 0;
    for (std::size_t k = 0; k < field.size(); ++k) {
      char c = field[k];
      if (k == 0 && c == '+') continue;
      if (k == exp_at) c = 'e';
      buf[len++] = c;
    }
    const auto res = std::from_chars(buf, buf + len, value);
    return res.ec == std::errc() && res.ptr == buf + len;
  }
};

// A Fortran number, correctly rounded straight to single precision (as a
// Fortran REAL read is) into `f` and to double into `d`, either optional.
bool parse_fortran(std::string_view field, float* f, double* d) {
  const FortranNumber number(field);
  if (!number.valid) return false;
  const std::optional<double> q = number.plain ? plain_quotient(number.digits, number.negative) : std::nullopt;
  if (d != nullptr && !(q ? (*d = *q, true) : number.read(field, *d))) return false;
  return f == nullptr || (q && float_of(*q, *f)) || number.read(field, *f);
}

}  // namespace

bool parse_real(std::string_view field, float& value) { return parse_fortran(field, &value, nullptr); }
bool parse_real(std::string_view field, double& value) { return parse_fortran(field, nullptr, &value); }
bool parse_real(std::string_view field, float& single, double& twice) { return parse_fortran(field, &single, &twice); }

}  // namespace kestrel
