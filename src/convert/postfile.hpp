// Records of an AERMOD unformatted POSTFILE: stamp, averaging period, source
// group and one real per receptor for each output type of the run, type after
// type, 8-byte or 4-byte as the file turns out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/record_io.hpp"
#include "base/status.hpp"

namespace kestrel {

// From micrograms per cubic metre, AERMOD's default unit, to g/m3.
inline constexpr float cfactor = 1.0e-6F;

struct Stamp {
  std::int32_t iyr = 0;  // four digits after the century window
  std::int32_t imo = 0;
  std::int32_t idy = 0;
  std::int32_t ihr = 0;  // 1 to 24
};

// YYMMDDHH or YYYYMMDDHH; two-digit years 50-99 are the 1900s, 0-49 the 2000s.
[[nodiscard]] Stamp decode_kurdat(std::int32_t kurdat) noexcept;

class PostfileReader {
 public:
  enum class Result { record, end_of_file, failure };

  // `name` is the POSTFILE as the list file names it; its records hold
  // `numtyp` sets of nrecin values.
  PostfileReader(io::ByteSource& source, std::size_t nrecin, std::string name, std::size_t numtyp = 1);
  // The same through a caller's buffer of at least buffer_for(nrecin, numtyp) bytes.
  PostfileReader(io::ByteSource& source, std::size_t nrecin, std::string name, std::span<std::byte> buffer,
                 std::size_t numtyp = 1);

  // The read buffer such a POSTFILE needs: two 8-byte records, at least 1 MiB.
  [[nodiscard]] static std::size_t buffer_for(std::size_t nrecin, std::size_t numtyp = 1) noexcept;

  // The next record. Every record of a POSTFILE has the length of the
  // first; one that does not, or whose markers differ, is damage and a
  // failure. Only a first record too short for 8-byte reals makes the file
  // be read again from its start with 4-byte reals. A record cut short by
  // the end of the file ends it (ended_inside_record()).
  Result next();

  // The lines that say the file is read again with 4-byte reals; empty
  // until then.
  [[nodiscard]] std::vector<std::string> retry_notes() const;
  // The halt after a failure.
  [[nodiscard]] Status failure() const;

  [[nodiscard]] std::int32_t kurdat() const noexcept;
  [[nodiscard]] std::int32_t kave() const noexcept;
  [[nodiscard]] std::string_view grpid() const noexcept;
  // The record held more bytes than this mode's read takes.
  [[nodiscard]] bool longer() const noexcept { return longer_; }
  [[nodiscard]] bool real8() const noexcept { return lreal8_; }
  // The records held 8-byte reals too few for the control file's receptors.
  [[nodiscard]] bool misread() const noexcept { return misread_ != 0; }
  [[nodiscard]] bool ended_inside_record() const noexcept { return ended_inside_; }
  [[nodiscard]] std::uint64_t position() const noexcept { return reader_.position(); }
  [[nodiscard]] std::uint64_t size() const { return reader_.source_size(); }

  // Writes the nrecin values of the record's set `slice` (its output type's
  // place among the run's types) times `factor` as little-endian floats at `out`.
  void convert_into(std::byte* out, float factor, std::size_t slice = 0) const noexcept;
  // The same values as floats (tests and tools).
  [[nodiscard]] std::vector<float> values(float factor = cfactor, std::size_t slice = 0) const;

 private:
  [[nodiscard]] std::size_t need() const noexcept;
  Result damage(std::uint64_t offset);
  [[nodiscard]] bool holds_8byte_reals(std::uint64_t offset);
  Result cut_short();

  io::RecordReader reader_;
  std::size_t nrecin_;
  std::size_t numtyp_;
  std::string name_;
  std::span<const std::byte> raw_;
  bool lreal8_ = true;
  bool longer_ = false;
  bool ended_inside_ = false;
  bool done_ = false;
  std::int64_t k_ = 0;    // records begun in this mode, the current one included
  std::int64_t l1_ = 0;   // the first record's length marker
  // Where the damage stands.
  std::int64_t failed_k_ = 0;
  std::uint64_t failed_at_ = 0;
  bool formatted_ = false;  // the file is text, not records
  bool undecided_ = true;   // no record with a value read yet
  std::size_t misread_ = 0;  // 8-byte reals a record held, read as 4-byte
};

}  // namespace kestrel
