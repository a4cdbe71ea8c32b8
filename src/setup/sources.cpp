#include "setup/sources.hpp"

#include <algorithm>
#include <array>

#include "base/fields.hpp"

namespace kestrel {

void SourceTable::location(std::string_view line) {
  std::array<std::string_view, 12> f;
  const std::size_t n = std::min(split_fields(line, f), f.size());
  double x = 0.0, y = 0.0;
  if (n < 5 || !parse_real(f[3], x) || !parse_real(f[4], y)) return;
  places_.insert_or_assign(std::string(f[1]), std::pair{x, y});
  SourceLocation& shape = shapes_[std::string(f[1])];
  shape.type = std::string(f[2]);
  shape.location.clear();
  for (std::size_t i = 3; i < n && parse_real(f[i], x); ++i) shape.location.push_back(x);
}

void SourceTable::numbers(std::string_view line) {
  std::array<std::string_view, 24> f;
  const std::size_t n = std::min(split_fields(line, f), f.size());
  if (n < 2) return;
  SourceLocation& shape = shapes_[std::string(f[1])];
  const bool params = f[0] == "SRCPARAM";
  std::vector<double>& into = params ? shape.params : shape.vertices;
  if (params) into.clear();  // a SRCPARAM again replaces the first; AREAVERT lines add corners
  double v = 0.0;
  for (std::size_t i = 2; i < n && parse_real(f[i], v); ++i) into.push_back(v);
}

std::vector<SourceLocation> SourceTable::list() const {
  std::vector<SourceLocation> out;
  for (const auto& [id, xy] : places_) {
    SourceLocation src{id, xy.first, xy.second, {}, {}, {}, {}};
    if (const auto shape = shapes_.find(id); shape != shapes_.end()) {
      src.type = shape->second.type;
      src.location = shape->second.location;
      src.params = shape->second.params;
      src.vertices = shape->second.vertices;
    }
    out.push_back(std::move(src));
  }
  return out;
}

}  // namespace kestrel
