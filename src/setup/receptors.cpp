#include "setup/receptors.hpp"

#include <array>

#include "base/text.hpp"
#include "base/fields.hpp"

namespace kestrel {

bool ReceptorStore::add(std::string_view text) {
  if (ends_.size() >= MXREC) return false;
  text_.append(text);
  ends_.push_back(text_.size());
  ctrl_.nrecin = static_cast<std::int32_t>(ends_.size());
  return true;
}

ReceptorError ReceptorStore::parse() {
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
    ctrl_.xrecin[k] = metres_to_km(v[0]);
    ctrl_.yrecin[k] = metres_to_km(v[1]);
    ctrl_.zrecin[k] = v[2];
  }
  return {};
}

}  // namespace kestrel
