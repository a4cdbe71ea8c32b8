#include "io/crc32.hpp"

#include <array>
#include <memory>

#include "io/byte_order.hpp"

namespace kestrel::io {

namespace {

constexpr std::uint32_t kPoly = 0xEDB88320U;  // reflected: bit 31 is x^0
constexpr std::size_t kSlices = 16;
using Tables = std::array<std::array<std::uint32_t, 256>, kSlices>;

// Table k gives the CRC of a byte followed by k zero bytes, so that sixteen
// bytes are folded in at once, each through its own table.
constexpr Tables make_tables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1U) != 0 ? (c >> 1) ^ kPoly : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t k = 1; k < kSlices; ++k) {
    for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFU];
  }
  return t;
}

constexpr Tables kTables = make_tables();

inline std::uint32_t fold4(std::uint32_t w, std::size_t at) {
  return kTables[at + 3][w & 0xFFU] ^ kTables[at + 2][(w >> 8) & 0xFFU] ^ kTables[at + 1][(w >> 16) & 0xFFU] ^
         kTables[at][w >> 24];
}

// Sixteen bytes folded into the (inverted) register c.
inline std::uint32_t fold16(std::uint32_t c, const std::byte* p) {
  return fold4(get_le32(p) ^ c, 12) ^ fold4(get_le32(p + 4), 8) ^ fold4(get_le32(p + 8), 4) ^
         fold4(get_le32(p + 12), 0);
}

std::uint32_t bytewise(std::uint32_t c, const std::byte* p, std::size_t n) {
  for (; n >= kSlices; n -= kSlices, p += kSlices) c = fold16(c, p);
  for (; n > 0; --n, ++p) c = (c >> 8) ^ kTables[0][(c ^ std::to_integer<std::uint32_t>(*p)) & 0xFFU];
  return c;
}

// a * b modulo the polynomial, both reflected.
std::uint32_t multiply(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  for (std::uint32_t m = 1U << 31; m != 0; m >>= 1) {
    if ((a & m) != 0) product ^= b;
    b = (b & 1U) != 0 ? (b >> 1) ^ kPoly : b >> 1;
  }
  return product;
}

// x^(8n) modulo the polynomial: what a CRC is multiplied by when n bytes follow.
std::uint32_t shift_of(std::uint64_t n) {
  std::uint32_t power = 1U << 31;   // x^0
  std::uint32_t square = 1U << 23;  // x^8
  for (; n != 0; n >>= 1) {
    if ((n & 1U) != 0) power = multiply(power, square);
    square = multiply(square, square);
  }
  return power;
}

// Large blocks go as kLanes parts side by side, each its own CRC: the
// table lookups of one lane wait on its last result, not on the others'.
// The parts' CRCs are then joined as one, exactly.
constexpr std::size_t kLanes = 2;
constexpr std::size_t kLaneMinimum = 4096;

}  // namespace

void Crc32::update(std::span<const std::byte> bytes) noexcept {
  std::uint32_t c = state_;
  const std::byte* p = bytes.data();
  std::size_t n = bytes.size();
  if (n >= kLanes * kLaneMinimum) {
    const std::size_t lane = n / kLanes / kSlices * kSlices;
    std::array<std::uint32_t, kLanes> lanes{};
    lanes[0] = c;
    for (std::size_t i = 1; i < kLanes; ++i) lanes[i] = 0xFFFFFFFFU;
    for (std::size_t at = 0; at < lane; at += kSlices) {
      for (std::size_t i = 0; i < kLanes; ++i) lanes[i] = fold16(lanes[i], p + i * lane + at);
    }
    // The register so far, moved past the next lane's bytes, joined with
    // that lane's; the next lane began at all ones, not at zero, so the
    // register is inverted before it is moved to take that start out.
    const std::uint32_t shift = shift_of(lane);
    c = lanes[0];
    for (std::size_t i = 1; i < kLanes; ++i) c = multiply(shift, ~c) ^ lanes[i];
    p += kLanes * lane;
    n -= kLanes * lane;
  }
  state_ = bytewise(c, p, n);
}

FileCrc crc32_of_file(const std::filesystem::path& path, const std::string& label) {
  FileSource source(path, label);
  constexpr std::size_t kBlock = std::size_t{4} << 20;
  const auto block = std::make_unique_for_overwrite<std::byte[]>(kBlock);
  Crc32 crc;
  std::uint64_t at = 0;
  for (;;) {
    const std::size_t got = source.read_at(at, std::span<std::byte>(block.get(), kBlock));
    if (got == 0) break;
    crc.update(std::span<const std::byte>(block.get(), got));
    at += got;
  }
  return {crc.value(), at};
}

}  // namespace kestrel::io
