// The hours as AERMOD saw them: its surface file read into one mark per
// hour (valid, calm or missing), by AERMOD's own tests of the reference wind
// and the other fields, and looked up by a period's end. Block averages and
// PERIOD divide by the valid hours, so a statistic needs the mark of every
// hour of its data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/hours.hpp"

namespace kestrel::analysis {

enum class HourMark : std::uint8_t { valid, calm, missing };

// The fields of one surface-file hour that decide its mark.
struct SurfaceHour {
  double ustar = 0, wstar = 0, zic = 0, zim = 0, mol = 0, wspd = 0, wdir = 0, temp = 0;
};

// Calm: reference wind exactly 0. Missing (when not calm): the first of
// AERMOD's missing tests that holds. Else valid.
HourMark mark_of(const SurfaceHour& h);

// A surface file's marks, one per hour from its first to its last.
class SurfaceHours {
 public:
  // Reads `path`; throws Failure naming the file and line of a line that
  // cannot be read (or the file, when it cannot be opened).
  static SurfaceHours read(const std::filesystem::path& path);
  // The same from text in memory; `name` names it in messages.
  static SurfaceHours parse(std::string_view text, const std::string& name);

  // The mark of the hour ending at `end`; throws Failure naming the file
  // and the hour when the file does not hold it.
  [[nodiscard]] HourMark at(const Time& end) const;
  // The same, nothing when the file does not hold that hour.
  [[nodiscard]] std::optional<HourMark> find(const Time& end) const;

  [[nodiscard]] const std::string& name() const { return name_; }
  [[nodiscard]] std::size_t hours() const { return held_; }
  [[nodiscard]] std::size_t calm() const { return calm_; }
  [[nodiscard]] std::size_t missing() const { return missing_; }

 private:
  std::string name_;
  std::int64_t first_ = 0;            // hour number of the first hour
  std::vector<std::uint8_t> marks_;   // per hour from first_; kAbsent where no line held it
  std::size_t held_ = 0, calm_ = 0, missing_ = 0;
};

// The marks a statistic reads: a surface file's, or every hour valid when
// none is known (the statistics as the data alone gives them).
class HourMarks {
 public:
  HourMarks() = default;
  explicit HourMarks(const SurfaceHours* surface) : surface_(surface) {}
  [[nodiscard]] HourMark at(const Time& end) const { return surface_ ? surface_->at(end) : HourMark::valid; }
  [[nodiscard]] bool known() const { return surface_ != nullptr; }

 private:
  const SurfaceHours* surface_ = nullptr;
};

// The surface file a control file names on its ME SURFFILE line, relative
// to the control file's folder; nothing when it names none. Throws Failure
// when the control file cannot be read.
std::optional<std::filesystem::path> surface_file_of(const std::filesystem::path& control);

// The one warning given when no surface file is known.
extern const char* const kMarksUnknown;

}  // namespace kestrel::analysis
