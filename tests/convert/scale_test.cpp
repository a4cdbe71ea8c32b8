#include "convert/scale.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "convert/postfile.hpp"
#include "io/byte_order.hpp"

namespace kestrel {
namespace {

using io::get_le32;

// Reals whose rounding is easy to get wrong: ties and near-ties between two
// floats, values that overflow single precision or fall below its normal
// range once scaled, signed zeros, infinities and NaN.
std::vector<double> awkward_reals() {
  const double tie = 1.0 + std::ldexp(1.0, -24);  // halfway between 1 and the next float
  return {0.0,
          -0.0,
          1.0,
          123.456789012345,
          tie,
          std::nextafter(tie, 2.0),
          std::nextafter(tie, 0.0),
          -tie,
          3.4028235677973366e38,  // rounds to infinity as a float
          3.4028234663852886e38,  // the largest float
          1.0e39,
          1.0e-38,
          1.0e-40,  // subnormal as a float, and more so once scaled
          std::numeric_limits<double>::denorm_min(),
          std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN(),
          9.999999e6,
          -5.5e-7};
}

// The values, repeated so that every length exercises both the vector body
// and the scalar tail of the loop.
std::vector<std::byte> encode(const std::vector<double>& reals, std::size_t n, bool real8) {
  std::vector<std::byte> bytes((real8 ? 8 : 4) * n);
  for (std::size_t i = 0; i < n; ++i) {
    const double v = reals[i % reals.size()];
    if (real8) {
      io::put_f64(bytes.data() + 8 * i, v);
    } else {
      io::put_f32(bytes.data() + 4 * i, static_cast<float>(v));
    }
  }
  return bytes;
}

// A 4-byte file holds the real already rounded to a float, so both widths
// expect the same product.
std::uint32_t expected_bits(const std::vector<double>& reals, std::size_t i) {
  return std::bit_cast<std::uint32_t>(static_cast<float>(reals[i % reals.size()]) * cfactor);
}

TEST(ScaleValues, EveryBuildGivesTheSameBitsAsScalarArithmetic) {
  const std::vector<double> reals = awkward_reals();
  for (const bool real8 : {true, false}) {
    for (const std::size_t n : {0U, 1U, 3U, 7U, 8U, 9U, 19U, 33U, 1000U}) {
      const std::vector<std::byte> in = encode(reals, n, real8);
      std::vector<std::byte> base(4 * n + 4, std::byte{0xAB});
      std::vector<std::byte> wide(4 * n + 4, std::byte{0xAB});
      std::vector<std::byte> chosen(4 * n + 4, std::byte{0xAB});
      scale_values_baseline(in.data(), n, real8, cfactor, base.data());
      const bool has_wide = scale_values_wide(in.data(), n, real8, cfactor, wide.data());
      scale_values(in.data(), n, real8, cfactor, chosen.data());
      for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t want = expected_bits(reals, i);
        EXPECT_EQ(get_le32(base.data() + 4 * i), want) << "baseline real8=" << real8 << " n=" << n << " i=" << i;
        if (has_wide) {
          EXPECT_EQ(get_le32(wide.data() + 4 * i), want) << "wide real8=" << real8 << " n=" << n << " i=" << i;
        }
        EXPECT_EQ(get_le32(chosen.data() + 4 * i), want) << "chosen real8=" << real8 << " n=" << n << " i=" << i;
      }
      // Nothing is written past the n values.
      EXPECT_EQ(base[4 * n], std::byte{0xAB});
      EXPECT_EQ(chosen[4 * n], std::byte{0xAB});
      if (has_wide) {
        EXPECT_EQ(wide[4 * n], std::byte{0xAB});
      }
    }
  }
}

}  // namespace
}  // namespace kestrel
