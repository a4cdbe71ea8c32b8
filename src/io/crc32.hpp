// CRC-32 as zlib, gzip, PNG and the `crc32` tool compute it (IEEE 802.3:
// polynomial 0x04C11DB7 reflected, starting from and ending with all bits
// inverted), so that a user can check a dataset against its list file with
// any of them. Table-driven, sixteen bytes a step: no platform intrinsics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "io/files.hpp"

namespace kestrel::io {

class Crc32 {
 public:
  void update(std::span<const std::byte> bytes) noexcept;
  [[nodiscard]] std::uint32_t value() const noexcept { return ~state_; }

 private:
  std::uint32_t state_ = 0xFFFFFFFFU;
};

// A file's CRC-32 and its size in bytes.
struct FileCrc {
  std::uint32_t crc = 0;
  std::uint64_t size = 0;
  bool operator==(const FileCrc&) const = default;
};

// Reads the file whole in large blocks. Throws IoError naming `label`.
[[nodiscard]] FileCrc crc32_of_file(const std::filesystem::path& path, const std::string& label);

// Hands every byte on to `next`, keeping their CRC-32 and their count.
class Crc32Sink final : public ByteSink {
 public:
  explicit Crc32Sink(ByteSink& next) : next_(next) {}
  void write(std::span<const std::byte> bytes) override {
    next_.write(bytes);
    crc_.update(bytes);
    size_ += bytes.size();
  }
  [[nodiscard]] FileCrc written() const noexcept { return {crc_.value(), size_}; }

 private:
  ByteSink& next_;
  Crc32 crc_;
  std::uint64_t size_ = 0;
};

}  // namespace kestrel::io
