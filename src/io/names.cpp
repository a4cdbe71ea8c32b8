#include "io/names.hpp"

#include <string>
#include <system_error>

#include "base/io_error.hpp"

namespace kestrel::io {

namespace {

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::filesystem::path resolve_name(const std::filesystem::path& dir, std::string_view name, std::string_view what) {
  std::string n(name);
  for (char& c : n) {
    if (c == '\\') c = '/';
  }
  const std::filesystem::path stored = dir / n;
  std::error_code ec;
  if (n.empty() || std::filesystem::exists(stored, ec)) return stored;

  std::filesystem::path base = (!n.empty() && n.front() == '/') ? std::filesystem::path("/") : dir;
  std::size_t i = 0;
  while (i < n.size()) {
    std::size_t j = n.find('/', i);
    if (j == std::string::npos) j = n.size();
    const std::string part = n.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == "." || part == "..") {
      if (!part.empty()) base /= part;
      continue;
    }
    if (std::filesystem::exists(base / part, ec)) {
      base /= part;
      continue;
    }
    std::filesystem::path found;
    int matches = 0;
    for (std::filesystem::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string entry = it->path().filename().string();
      if (same_ignoring_case(entry, part)) {
        found = it->path();
        ++matches;
      }
    }
    if (matches == 0) return stored;
    if (matches > 1) {
      throw io_error("cannot open", file_label(what, name), "more than one file matches when case is ignored");
    }
    base = found;
  }
  return base;
}

}  // namespace kestrel::io
