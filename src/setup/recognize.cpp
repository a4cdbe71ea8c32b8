#include "setup/recognize.hpp"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "io/files.hpp"
#include "io/line_reader.hpp"

namespace kestrel {

namespace {

bool equal_upper(std::string_view a, std::string_view upper) {
  return a.size() == upper.size() && std::equal(a.begin(), a.end(), upper.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == y;
         });
}

std::string_view next_word(std::string_view& s) {
  const std::size_t start = s.find_first_not_of(" \t");
  if (start == std::string_view::npos) {
    s = {};
    return {};
  }
  const std::size_t end = s.find_first_of(" \t", start);
  const std::string_view word = s.substr(start, end == std::string_view::npos ? s.npos : end - start);
  s = end == std::string_view::npos ? std::string_view{} : s.substr(end);
  return word;
}

}  // namespace

bool has_co_starting(const std::filesystem::path& file, const std::string& label, std::uint64_t within) {
  io::LineReader in(io::open_for_reading(file, label), label);
  std::string raw;
  std::uint64_t read = 0;
  while (read < within && in.next(raw)) {
    read += raw.size() + 1;
    std::string_view rest = raw;
    if (equal_upper(next_word(rest), "CO") && equal_upper(next_word(rest), "STARTING")) return true;
  }
  return false;
}

}  // namespace kestrel
