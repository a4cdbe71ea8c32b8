#include "setup/receptors.hpp"

#include <array>

#include "base/fields.hpp"
#include "base/text.hpp"
#include "setup/params.hpp"

namespace kestrel {

bool ReceptorStore::add(std::string_view text) {
  if (ends_.size() >= MXREC) return false;
  text_.append(text);
  ends_.push_back(text_.size());
  return true;
}

ReceptorError ReceptorStore::parse(std::vector<Receptor>& out) const {
  out.clear();
  out.reserve(ends_.size());
  std::size_t start = 0;
  for (std::size_t k = 0; k < ends_.size(); ++k) {
    const std::string_view entry = std::string_view(text_).substr(start, ends_[k] - start);
    start = ends_[k];
    std::array<std::string_view, 3> f;
    const std::size_t n = split_fields(entry, f);
    std::array<float, 3> v{0.0F, 0.0F, 0.0F};
    bool ok = n >= 2;
    for (std::size_t i = 0; ok && i < std::min<std::size_t>(n, 3); ++i) ok = parse_real(f[i], v[i]);
    if (!ok) return {static_cast<std::int32_t>(k + 1), std::string(trim(entry))};
    out.push_back({metres_to_km(v[0]), metres_to_km(v[1]), v[2], v[0], v[1]});
  }
  return {};
}

}  // namespace kestrel
