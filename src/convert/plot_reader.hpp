// Records of an AERMOD formatted POSTFILE (`OU POSTFILE ... PLOT`): one text
// line per receptor and hour, `X Y VALUE... ZELEV ZHILL ZFLAG AVE GRP DATE
// [NET]` with one value per output type of the run; the lines of one stamp,
// group and averaging period are one record.
// Lines that begin with `*` (AERMOD's header) are skipped wherever they stand.
//
// The reader reports everything through its return values and accessors.
// The file is read in segments of whole lines; while one is consumed, a
// second thread scans the next, so that both cores parse. Memory does not
// grow with the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/plot_scan.hpp"
#include "io/files.hpp"

namespace kestrel {

// The segments a reader works in; one set can serve one file after another
// (one reader at a time).
class PlotBuffers {
 public:
  static constexpr std::size_t kSegment = std::size_t{256} << 10;
  static constexpr std::size_t kSlots = 4;

  // At least 1 KiB segments and two slots. Without `second_thread` the
  // reader scans every segment itself (for runs converted side by side).
  explicit PlotBuffers(std::size_t segment = kSegment, std::size_t slots = kSlots, bool second_thread = true);
  PlotBuffers(const PlotBuffers&) = delete;
  PlotBuffers& operator=(const PlotBuffers&) = delete;
  ~PlotBuffers();

  [[nodiscard]] std::size_t segment() const noexcept { return segment_; }
  [[nodiscard]] std::size_t slots() const noexcept { return slots_.size(); }
  [[nodiscard]] bool second_thread() const noexcept { return second_thread_; }

 private:
  friend class PlotReader;
  struct Slot;
  // The slot of the i-th segment of a file.
  [[nodiscard]] Slot& slot(std::size_t i) noexcept;

  std::size_t segment_;
  bool second_thread_;
  std::vector<std::unique_ptr<Slot>> slots_;
};

class PlotReader {
 public:
  enum class Result { record, end_of_file, failure };

  // x_m, y_m: the control file's receptors in metres; their count is the
  // number of lines a record needs. Both spans must outlive the reader.
  // `columns`: the value columns of a line, 1 to plot::kMaxColumns.
  PlotReader(io::ByteSource& source, std::span<const double> x_m, std::span<const double> y_m,
             std::size_t columns = 1);
  PlotReader(io::ByteSource& source, std::span<const double> x_m, std::span<const double> y_m, PlotBuffers& buffers,
             std::size_t columns = 1);
  PlotReader(const PlotReader&) = delete;
  PlotReader& operator=(const PlotReader&) = delete;
  ~PlotReader();

  // The next record, once it has a line for every receptor. A record with
  // fewer lines, or a line that cannot be read (fewer than nine fields, a
  // number or the date unreadable, more than 512 characters), is a failure,
  // except at the end of the file, where it is the end with
  // ended_inside_record().
  Result next();

  [[nodiscard]] std::int32_t kurdat() const noexcept { return key_.kurdat; }
  // Hours of the averaging period: "1-HR" is 1, "24-HR" 24, others 0.
  [[nodiscard]] std::int32_t kave() const noexcept { return key_.kave; }
  // Eight characters, blank-padded.
  [[nodiscard]] std::string_view grpid() const noexcept { return {key_.grpid.data(), 8}; }
  // The record had more lines than receptors; the extra ones are left out.
  [[nodiscard]] bool longer() const noexcept { return longer_; }
  // Writes the record's values of column `slice` (from 0), each times
  // `factor` in single precision, as little-endian floats at `out` (one per
  // receptor).
  void convert_into(std::byte* out, float factor, std::size_t slice = 0) const noexcept;

  // The 1-based receptor whose line is more than 0.01 m away from the
  // control file's, the first such in the first whole record that has one;
  // 0 when none so far. Records are checked as they become whole.
  [[nodiscard]] std::int32_t first_misplaced() const noexcept { return misplaced_; }
  // A data line read so far wrote its value without an exponent (F13.5).
  [[nodiscard]] bool fixed_point_values() const noexcept { return fixed_; }
  [[nodiscard]] bool ended_inside_record() const noexcept { return ended_inside_; }
  // Bytes of the file read so far, a little ahead of the records handed out.
  [[nodiscard]] std::uint64_t position() const noexcept;
  [[nodiscard]] std::uint64_t size() const;
  // For a failure: the line (counted from 1, header lines included) and its
  // first 256 characters, trimmed.
  [[nodiscard]] std::int64_t error_line() const noexcept { return error_line_; }
  [[nodiscard]] std::string_view error_text() const noexcept { return error_text_; }

 private:
  class Pipeline;
  PlotReader(io::ByteSource& source, std::span<const double> x_m, std::span<const double> y_m, PlotBuffers* buffers,
             std::size_t columns);
  enum class At { values, bad_line, end };

  At settle();
  void take(std::size_t n, std::size_t& count);
  void check_places(std::size_t first, std::size_t n, std::size_t receptor);
  Result bad_line();
  Result finish(Result r);
  Result end_inside();
  Result fail_at(std::size_t offset, std::size_t end, std::int64_t line);
  [[nodiscard]] std::size_t line_end(std::size_t offset) const noexcept;
  [[nodiscard]] bool last_line(std::size_t line_end) const noexcept;

  std::span<const double> x_m_;
  std::span<const double> y_m_;
  std::size_t nrecin_;
  std::uint32_t columns_;
  std::unique_ptr<PlotBuffers> own_;
  std::unique_ptr<Pipeline> pipe_;
  std::unique_ptr<float[]> values_;  // column after column, nrecin_ each

  // Where the consumption stands: a scan of the current slot and an entry in it.
  PlotBuffers::Slot* slot_ = nullptr;
  std::uint32_t run_ = 0;
  std::uint32_t entry_ = 0;
  std::int64_t line_base_ = 0;  // lines before the current scan

  plot::Key key_;
  bool longer_ = false;
  // Per receptor, the X and Y text of a line found at its place.
  static constexpr std::size_t kPlaceText = 32;
  std::unique_ptr<char[]> place_text_;
  std::unique_ptr<std::uint8_t[]> place_len_;
  std::int32_t misplaced_ = 0;
  std::int32_t candidate_ = 0;
  bool fixed_ = false;
  bool ended_inside_ = false;
  bool done_ = false;
  Result final_ = Result::end_of_file;
  std::int64_t error_line_ = 0;
  std::string error_text_;
};

}  // namespace kestrel
