#include "io/names.hpp"

#include <string>
#include <system_error>

#include "base/io_error.hpp"
#include "io/platform.hpp"

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

struct Listed {
  std::filesystem::path exact;
  std::filesystem::path folded;
  int folded_matches = 0;
};

// The entries of `folder` named `part`, exactly and ignoring case.
Listed look_up(const std::filesystem::path& folder, const std::string& part) {
  Listed found;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = io::utf8_of(it->path().filename());
    if (entry == part) {
      found.exact = it->path();
      return found;
    }
    if (same_ignoring_case(entry, part)) {
      found.folded = it->path();
      ++found.folded_matches;
    }
  }
  return found;
}

}  // namespace

std::filesystem::path resolve_name(const std::filesystem::path& dir, std::string_view name, std::string_view what) {
  std::string n(name);
  for (char& c : n) {
    if (c == '\\') c = '/';
  }
  const std::filesystem::path wanted = io::path_from_utf8(n);
  const std::filesystem::path stored = dir / wanted;
  if (n.empty()) return stored;

  std::filesystem::path base = wanted.has_root_path() ? wanted.root_path() : dir;
  for (const auto& component : wanted.relative_path()) {
    const std::string part = io::utf8_of(component);
    if (part.empty() || part == "." || part == "..") {
      if (!part.empty()) base /= component;
      continue;
    }
    const Listed found = look_up(base, part);
    if (!found.exact.empty()) {
      base = found.exact;
    } else if (found.folded_matches == 1) {
      base = found.folded;
    } else if (found.folded_matches == 0) {
      return stored;
    } else {
      throw io_error("cannot open", file_label(what, name), "more than one file matches when case is ignored");
    }
  }
  return base;
}

}  // namespace kestrel::io
