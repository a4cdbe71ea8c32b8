#include "io/crc32.hpp"

#include <array>
#include <memory>

#include "io/byte_order.hpp"

namespace kestrel::io {

namespace {

constexpr std::size_t kSlices = 16;
using Tables = std::array<std::array<std::uint32_t, 256>, kSlices>;

// Table k gives the CRC of a byte followed by k zero bytes, so that sixteen
// bytes are folded in at once, each through its own table.
constexpr Tables make_tables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1U) != 0 ? (c >> 1) ^ 0xEDB88320U : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t k = 1; k < kSlices; ++k) {
    for (std::size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFU];
  }
  return t;
}

constexpr Tables kTables = make_tables();

constexpr std::uint32_t fold4(std::uint32_t w, std::size_t at) {
  return kTables[at + 3][w & 0xFFU] ^ kTables[at + 2][(w >> 8) & 0xFFU] ^ kTables[at + 1][(w >> 16) & 0xFFU] ^
         kTables[at][w >> 24];
}

}  // namespace

void Crc32::update(std::span<const std::byte> bytes) noexcept {
  std::uint32_t c = state_;
  const std::byte* p = bytes.data();
  std::size_t n = bytes.size();
  for (; n >= kSlices; n -= kSlices, p += kSlices) {
    c = fold4(get_le32(p) ^ c, 12) ^ fold4(get_le32(p + 4), 8) ^ fold4(get_le32(p + 8), 4) ^ fold4(get_le32(p + 12), 0);
  }
  for (; n > 0; --n, ++p) c = (c >> 8) ^ kTables[0][(c ^ std::to_integer<std::uint32_t>(*p)) & 0xFFU];
  state_ = c;
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
