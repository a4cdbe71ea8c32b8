// Scanning the text of a formatted (PLOT) POSTFILE: its data lines become
// values, and runs of lines that share a stamp, group and averaging period.
// A scan covers whole lines of one segment of the file and allocates nothing,
// so that it can run on a second thread while the first consumes an earlier
// segment.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace kestrel::plot {

// Bytes that must be readable before a segment's first line and after its
// last: the wide scan loads whole vectors around each line.
inline constexpr std::size_t kLead = 16;
inline constexpr std::size_t kTail = 160;
// A longer line (its line end not counted) cannot be read: AERMOD's are 107
// characters, and a segment must hold two lines whole.
inline constexpr std::size_t kMaxLine = 512;
// Value columns a line can have: one per output type of the run.
inline constexpr std::size_t kMaxColumns = 4;

// What makes lines one record: the stamp, the averaging period and the group,
// the last two on their first eight characters (AERMOD writes at most six and
// eight).
struct Key {
  std::int32_t kurdat = 0;
  std::int32_t kave = 0;
  std::array<char, 8> grpid{};
  std::array<char, 8> ave{};
  bool operator==(const Key&) const = default;
};

// Consecutive data lines with one key.
struct Run {
  Key key;
  std::uint32_t first_entry = 0;  // index of its first value
  std::uint32_t line = 0;         // its first line, counted from the scan's first line (0-based)
  std::uint32_t offset = 0;       // where that line starts in the segment
};

enum class Stop : std::uint8_t {
  end,       // every line was scanned
  bad_line,  // the line at stop_offset cannot be read
  full,      // no room for the line at stop_offset: scan again from there
};

// The outcome of a scan and the room it is written into.
class Scan {
 public:
  Scan(std::size_t max_entries, std::size_t max_runs);

  std::size_t max_entries;
  std::size_t max_runs;
  // Value columns per line, between Y and ZELEV; set before a scan.
  std::uint32_t columns = 1;
  // `columns` per data line, rounded to single precision, line after line.
  std::unique_ptr<float[]> values;
  std::unique_ptr<std::uint32_t[]> offsets;  // where each data line starts in the segment
  std::unique_ptr<Run[]> runs;
  std::uint32_t entries = 0;
  std::uint32_t run_count = 0;
  std::uint32_t lines = 0;  // lines scanned, header lines included, the stop line not
  Stop stop = Stop::end;
  std::uint32_t stop_offset = 0;
  std::uint32_t stop_next = 0;    // bad_line: where the line after it starts
  std::int64_t first_fixed = -1;  // first value written without an exponent
};

// Scans the lines of text[begin, end): whole lines, the last one possibly
// without its line feed. text[begin - kLead, end + kTail) must be readable.
// Uses the widest vectors this machine offers; the outcome is the same on all.
void scan(const char* text, std::size_t begin, std::size_t end, Scan& out) noexcept;

// The builds of the scan loop, for tests and benchmarks: the field-by-field
// reference that the others fall back on line by line, the baseline build
// (SSE2 on x86-64), AVX2 and AVX-512.
enum class Build { fields, baseline, avx2, avx512 };
// False, doing nothing, where this program or this machine lacks the build.
bool scan_with(Build build, const char* text, std::size_t begin, std::size_t end, Scan& out) noexcept;

// A number field as Fortran reads it: optional sign, digits with at most one
// point, optional exponent (also Fortran's E-less form of three-digit
// exponents, 0.1-100). The double is the correctly rounded one.
[[nodiscard]] std::optional<double> read_number(std::string_view field) noexcept;

// Fields of a line split on blanks (space and the control characters other
// than the line feed); at most `max` are filled, the count of all is returned.
std::size_t split_fields(std::string_view line, std::string_view* fields, std::size_t max) noexcept;

// The value columns of a line laid out as a data line (X, Y, one to
// kMaxColumns values, ZELEV, ZHILL, ZFLAG, the averaging period, the group,
// an eight-digit date and perhaps a network id); none for another line.
[[nodiscard]] std::optional<std::size_t> value_columns(std::string_view line) noexcept;

// The text without leading and trailing blanks.
[[nodiscard]] std::string_view trim(std::string_view line) noexcept;

}  // namespace kestrel::plot
