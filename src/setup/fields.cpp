#include "setup/fields.hpp"

#include <charconv>
#include <cstring>
#include <system_error>

namespace kestrel {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t'; }
bool is_separator(char c) { return is_space(c) || c == ','; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

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

bool parse_real(std::string_view field, float& value) {
  // Validate the Fortran form first: sign, digits with an optional point, an
  // optional exponent introduced by E or D.
  std::size_t i = 0;
  const std::size_t n = field.size();
  if (n == 0 || n > 64) return false;
  if (field[i] == '+' || field[i] == '-') ++i;
  std::size_t mantissa_digits = 0;
  while (i < n && is_digit(field[i])) ++i, ++mantissa_digits;
  if (i < n && field[i] == '.') {
    ++i;
    while (i < n && is_digit(field[i])) ++i, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return false;
  std::size_t exp_at = n;
  if (i < n && (field[i] == 'E' || field[i] == 'e' || field[i] == 'D' || field[i] == 'd')) {
    exp_at = i++;
    if (i < n && (field[i] == '+' || field[i] == '-')) ++i;
    std::size_t exp_digits = 0;
    while (i < n && is_digit(field[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return false;
  }
  if (i != n) return false;

  char buf[72];
  std::size_t len = 0;
  for (std::size_t k = 0; k < n; ++k) {
    char c = field[k];
    if (k == 0 && c == '+') continue;  // from_chars takes no plus sign
    if (k == exp_at) c = 'e';
    buf[len++] = c;
  }
  // Correctly rounded straight to single precision, as a Fortran REAL read is.
  const auto res = std::from_chars(buf, buf + len, value);
  return res.ec == std::errc() && res.ptr == buf + len;
}

}  // namespace kestrel
