// The loop that scales POSTFILE reals into dataset floats, for a
// little-endian host. It is compiled once for the baseline instruction set
// and once more with wider vectors (scale_wide.cpp), so it lives in an
// unnamed namespace: each build of it must stay private to its file, or the
// linker could hand the wide copy to callers on machines without those
// instructions. For the same reason it calls nothing but memcpy.
#pragma once

#include <cstddef>
#include <cstring>

namespace kestrel {
namespace {

// 8-byte reals are rounded to single precision first, then scaled: the
// product of two floats, rounded once more.
void scale_loop(const std::byte* in, std::size_t n, bool real8, float factor, std::byte* out) noexcept {
  if (real8) {
    for (std::size_t i = 0; i < n; ++i) {
      double d;
      std::memcpy(&d, in + 8 * i, 8);
      const float f = static_cast<float>(d) * factor;
      std::memcpy(out + 4 * i, &f, 4);
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      float v;
      std::memcpy(&v, in + 4 * i, 4);
      const float f = v * factor;
      std::memcpy(out + 4 * i, &f, 4);
    }
  }
}

}  // namespace
}  // namespace kestrel
