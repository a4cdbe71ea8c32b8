// A "CONC.DAT" version "2.1" dataset read back, whatever program wrote it:
// its header, its receptors, and its periods one after the other or by
// number. Every period of such a dataset has the same three records (times,
// source, values), so period k stands at a known byte and the reader never
// needs to read a period to find the next one. Damage (a record whose
// length markers are not the layout's) and a cut (a file that ends inside a
// period) are refused with the byte at which they show.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

#include "dataset/header.hpp"
#include "datetime/datetime.hpp"
#include "io/files.hpp"

namespace kestrel::dataset {

// A period's times record and source record, as held.
struct PeriodHead {
  DateHour begin;  // year as held (KESTREL writes four digits), day of the year, hour
  std::int32_t begin_sec = 0;
  DateHour end;
  std::int32_t end_sec = 0;
  std::int32_t ktype = 0;
  std::int32_t ksource = 0;
  std::array<char, 16> source{};
  float xc = 0.0F;  // km
  float yc = 0.0F;
};

// A file that is not a dataset of this layout, or one that is damaged or
// cut: what() says what is wrong and at which byte, offset() is that byte.
class DatasetError : public std::runtime_error {
 public:
  DatasetError(const std::string& what, std::uint64_t offset) : std::runtime_error(what), offset_(offset) {}
  [[nodiscard]] std::uint64_t offset() const noexcept { return offset_; }

 private:
  std::uint64_t offset_;
};

class DatasetReader {
 public:
  static constexpr std::size_t kDefaultBlock = std::size_t{1} << 20;
  // Payload bytes of a period's first two records and of its species label.
  static constexpr std::size_t kTimesRecord = 32;
  static constexpr std::size_t kSourceRecord = 32;
  static constexpr std::size_t kLabel = 15;

  // Reads the header and checks that it is one of the layout this reader
  // takes: a "CONC.DAT" ("DFLX.DAT", "WFLX.DAT") dataset of version 2.1, of
  // one species level and one source, with values at its discrete receptors
  // alone (no sampling grid, no complex-terrain receptors, not compressed),
  // at most `max_receptors` of them. Reads go through a buffer of `block`
  // bytes (more when one period needs more). Throws DatasetError, and
  // IoError when the source cannot be read.
  DatasetReader(io::ByteSource& source, std::int32_t max_receptors, std::size_t block = kDefaultBlock);

  [[nodiscard]] const HeaderInfo& header() const noexcept { return header_; }
  [[nodiscard]] std::size_t receptors() const noexcept { return header_.xrec.size(); }
  // The byte at which the first period begins, and the bytes of each period
  // (its three records with their length markers).
  [[nodiscard]] std::uint64_t first_period() const noexcept { return first_; }
  [[nodiscard]] std::uint64_t period_size() const noexcept { return period_; }
  // Whole periods the file's size holds, and the bytes after the last of
  // them: none unless the file is cut.
  [[nodiscard]] std::int64_t periods() const noexcept { return periods_; }
  [[nodiscard]] std::uint64_t trailing_bytes() const noexcept { return trailing_; }
  [[nodiscard]] std::uint64_t period_at(std::int64_t k) const noexcept {
    return first_ + static_cast<std::uint64_t>(k) * period_;
  }

  // Period k (from 0, below periods()): its head and its values as held,
  // 4 little-endian bytes each, valid until the next call. Its records'
  // length markers and its species label are checked.
  struct View {
    PeriodHead head;
    std::span<const std::byte> values;
  };
  View view(std::int64_t k);
  // Period k with its values decoded into `values` (receptors() of them).
  PeriodHead read(std::int64_t k, std::span<float> values);
  // The periods in order from the first: the next one, false after the
  // last. A cut file throws DatasetError where its last period would be.
  bool next(PeriodHead& head, std::span<float> values);
  // Period k's head alone, reading as little as the layout allows: the file
  // in large blocks when its periods are small, else only the bytes from
  // the previous period's last length marker to period k's species label.
  // Checks those length markers, period k's label, and with the last period
  // its values record's trailing marker: heads read from the first to the
  // last check every length marker of the file.
  PeriodHead head(std::int64_t k);

  // Every period's head in order (see head()), then the end of the file:
  // calls `each(k, head)`; throws DatasetError at the first damage, or at
  // the cut.
  void scan(const std::function<void(std::int64_t, const PeriodHead&)>& each);

  // Throws the cut's DatasetError when the file ends inside a period.
  void check_end() const;

 private:
  // The file's bytes [at, at + n) in the buffer; reading `ahead` fills the
  // whole buffer from `at`. Null when the file holds fewer bytes.
  const std::byte* fetch(std::uint64_t at, std::size_t n, bool ahead);
  PeriodHead decode_head(const std::byte* p, std::int64_t k, std::uint64_t at) const;
  void check_trailer(const std::byte* p, std::int64_t k, std::uint64_t at) const;
  [[noreturn]] void cut(std::int64_t k) const;
  [[noreturn]] void damaged(std::int64_t k, const char* record, std::uint64_t at, const std::string& what) const;
  // Periods large enough to be read head by head in a scan.
  [[nodiscard]] bool seek_per_period() const noexcept;

  io::ByteSource& source_;
  HeaderInfo header_;
  std::uint64_t size_ = 0;
  std::uint64_t first_ = 0;
  std::uint64_t period_ = 0;
  std::int64_t periods_ = 0;
  std::uint64_t trailing_ = 0;
  std::size_t values_length_ = 0;  // the values record's payload
  std::unique_ptr<std::byte[]> buffer_;
  std::size_t capacity_ = 0;
  std::uint64_t buffer_at_ = 0;
  std::size_t buffer_len_ = 0;
  std::int64_t next_ = 0;
};

}  // namespace kestrel::dataset
