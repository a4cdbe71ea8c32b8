#include "convert/scale.hpp"

#include <bit>

#include "convert/scale_loop.hpp"
#include "io/byte_order.hpp"

namespace kestrel {

#if defined(KESTREL_SCALE_AVX)
// Built in scale_wide.cpp with AVX enabled.
void scale_values_avx(const std::byte* in, std::size_t n, bool real8, float factor, std::byte* out) noexcept;
#endif

namespace {

#if defined(KESTREL_SCALE_AVX)
// The compiler's run-time check reports AVX only where the system also saves
// its registers across task switches, on Linux and Windows alike.
bool cpu_has_avx() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx") != 0;
}

bool wide_usable() {
  static const bool usable = cpu_has_avx();
  return usable;
}
#endif

}  // namespace

void scale_values_baseline(const std::byte* in, std::size_t n, bool real8, float factor, std::byte* out) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    scale_loop(in, n, real8, factor, out);
  } else {
    using namespace io;
    for (std::size_t i = 0; i < n; ++i) {
      const float v = real8 ? static_cast<float>(get_f64(in + 8 * i)) : get_f32(in + 4 * i);
      put_f32(out + 4 * i, v * factor);
    }
  }
}

bool scale_values_wide(const std::byte* in, std::size_t n, bool real8, float factor, std::byte* out) noexcept {
#if defined(KESTREL_SCALE_AVX)
  if (!wide_usable()) return false;
  scale_values_avx(in, n, real8, factor, out);
  return true;
#else
  (void)in, (void)n, (void)real8, (void)factor, (void)out;
  return false;
#endif
}

void scale_values(const std::byte* in, std::size_t n, bool real8, float factor, std::byte* out) noexcept {
  if (!scale_values_wide(in, n, real8, factor, out)) scale_values_baseline(in, n, real8, factor, out);
}

}  // namespace kestrel
