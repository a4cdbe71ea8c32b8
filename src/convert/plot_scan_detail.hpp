// What the scan loops (plot_scan_loop.hpp, built once per instruction set)
// share with the field-by-field code in plot_scan.cpp. Plain pointers and
// lengths only: the loops must not pull inline library code into a wide build.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/plot_scan.hpp"

namespace kestrel::plot::detail {

// A readable data line: its value and where its key fields stand.
struct Line {
  float value = 0.0F;
  bool fixed = false;         // the value has no exponent
  const char* key = nullptr;  // from the period's first character to the date's last
  std::uint32_t key_len = 0;
  const char* period = nullptr;
  std::uint32_t period_len = 0;
  const char* group = nullptr;
  std::uint32_t group_len = 0;
  const char* date = nullptr;
  std::uint32_t date_len = 0;
};

// False when the line (without its line end) cannot be read: fewer than
// nine fields, a number or the date unreadable, a byte that is no text (a
// control character other than tab and CR, or one above 126), a value
// too large for a float.
bool read_line(const char* p, std::size_t len, Line& out) noexcept;
// Where the line at `p` ends: its line feed, a carriage return that no line
// feed follows, or `end`.
const char* line_end(const char* p, const char* end) noexcept;
// A byte that no line of text holds.
inline bool odd_byte(char c) noexcept {
  const auto u = static_cast<unsigned char>(c);
  return (u < 0x20 && c != '\t' && c != '\r' && c != '\n') || u > 0x7E;
}
// Sets the period, group and date of a line from its key's text.
void find_key_fields(Line& line) noexcept;
// The key of a readable line.
void decode_key(const Line& line, Key& out) noexcept;

}  // namespace kestrel::plot::detail
