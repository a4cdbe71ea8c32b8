// The scaling loop built for AVX. Only called once the processor is known
// to have it; see scale_loop.hpp for why nothing here is shared.
#include <cstddef>

#include "convert/scale_loop.hpp"

namespace kestrel {

void scale_values_avx(const std::byte* in, std::size_t n, bool real8, float factor, std::byte* out) noexcept {
  scale_loop(in, n, real8, factor, out);
}

}  // namespace kestrel
