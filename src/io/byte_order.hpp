// Explicit little-endian encoding of the numeric items of binary records.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kestrel::io {

// On a little-endian host the bytes are the value's own; elsewhere they are
// assembled with shifts.
inline void put_le32(std::byte* p, std::uint32_t v) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 4);
    return;
  }
  p[0] = static_cast<std::byte>(v);
  p[1] = static_cast<std::byte>(v >> 8);
  p[2] = static_cast<std::byte>(v >> 16);
  p[3] = static_cast<std::byte>(v >> 24);
}

inline void put_le64(std::byte* p, std::uint64_t v) noexcept {
  put_le32(p, static_cast<std::uint32_t>(v));
  put_le32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

inline std::uint32_t get_le32(const std::byte* p) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  return std::to_integer<std::uint32_t>(p[0]) | (std::to_integer<std::uint32_t>(p[1]) << 8) |
         (std::to_integer<std::uint32_t>(p[2]) << 16) | (std::to_integer<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t get_le64(const std::byte* p) noexcept {
  return get_le32(p) | (static_cast<std::uint64_t>(get_le32(p + 4)) << 32);
}

inline void put_i32(std::byte* p, std::int32_t v) noexcept { put_le32(p, static_cast<std::uint32_t>(v)); }
inline void put_f32(std::byte* p, float v) noexcept { put_le32(p, std::bit_cast<std::uint32_t>(v)); }
inline void put_f64(std::byte* p, double v) noexcept { put_le64(p, std::bit_cast<std::uint64_t>(v)); }

inline std::int32_t get_i32(const std::byte* p) noexcept { return static_cast<std::int32_t>(get_le32(p)); }
inline float get_f32(const std::byte* p) noexcept { return std::bit_cast<float>(get_le32(p)); }
inline double get_f64(const std::byte* p) noexcept { return std::bit_cast<double>(get_le64(p)); }

}  // namespace kestrel::io
