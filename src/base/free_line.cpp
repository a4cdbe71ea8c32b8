#include "base/free_line.hpp"

#include <charconv>

namespace kestrel {

namespace {
constexpr std::size_t kIntWidth = 11;
}

FreeLine& FreeLine::text(std::string_view s) {
  // After an integer the text starts behind the integer's trailing blank,
  // which is already in the line.
  line_.append(s);
  last_was_int_ = false;
  any_ = true;
  return *this;
}

FreeLine& FreeLine::i32(std::int32_t value) {
  if (any_ && !last_was_int_) line_.push_back(' ');
  char digits[16];
  const auto res = std::to_chars(digits, digits + sizeof digits, value);
  const auto n = static_cast<std::size_t>(res.ptr - digits);
  line_.append(kIntWidth - n, ' ');
  line_.append(digits, n);
  line_.push_back(' ');
  last_was_int_ = true;
  any_ = true;
  return *this;
}

std::string FreeLine::str() const {
  if (last_was_int_) return line_.substr(0, line_.size() - 1);
  return line_;
}

}  // namespace kestrel
