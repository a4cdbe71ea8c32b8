// Scaling a record's reals into the dataset's little-endian floats: the one
// loop of a conversion that touches every value.
#pragma once

#include <cstddef>

namespace kestrel {

// out[i] = float(in[i]) * factor for n little-endian reals, 8-byte when
// `real8`, else 4-byte; `out` receives n little-endian floats. Uses the
// widest vectors this machine offers; the result is the same on all.
void scale_values(const std::byte* in, std::size_t n, bool real8, float factor, std::byte* out) noexcept;

// The two builds of the loop, for tests and benchmarks.
void scale_values_baseline(const std::byte* in, std::size_t n, bool real8, float factor, std::byte* out) noexcept;
// False, writing nothing, when this build or this machine has no wide path.
bool scale_values_wide(const std::byte* in, std::size_t n, bool real8, float factor, std::byte* out) noexcept;

}  // namespace kestrel
