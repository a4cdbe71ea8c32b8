// The free-format (list-directed) line that every console and list-file line
// is built with: a blank in column 1, texts at their full width, integers
// right-justified in 11 columns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

class FreeLine {
 public:
  FreeLine() = default;

  FreeLine& text(std::string_view s);
  FreeLine& i32(std::int32_t value);

  // The finished line, without a line end. A line with no items is one blank.
  [[nodiscard]] std::string str() const;

 private:
  std::string line_ = " ";
  bool last_was_int_ = false;
  bool any_ = false;
};

// Shorthand for the common one-text line.
inline std::string free_line(std::string_view s) { return FreeLine().text(s).str(); }

}  // namespace kestrel
