// Every call kestrel-inspect makes into the converter's setup, convert and
// datetime code, in one place: reading the control file, the POSTFILE stamp
// and the date arithmetic. The rest of the tool sees only these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datetime/datetime.hpp"

namespace kestrel::inspect {

using Time = DateHour;

// The receptor limit of a run.
extern const std::int32_t kMaxReceptors;

// "kestrel-inspect <version> (level <level>)"
std::string version_line();

// What the control file gives: the receptors in km, the nominal grid the
// conversion puts around them, and the pollutant.
struct ControlFile {
  std::vector<float> x, y;
  float x0 = 0, y0 = 0, d = 0;
  std::string species;
};

// Reads the control file as kestrel reads it; throws Failure.
ControlFile read_control_file(const std::string& control);

// The end of the period a POSTFILE stamp closes, as the conversion writes
// it; nothing for an impossible stamp.
std::optional<Time> stamp_end(std::int32_t kurdat);

// A two-digit year in a header gets the POSTFILEs' century window.
std::int32_t four_digit(std::int32_t yr);

// Month and day of t's day of the year; false when the day is outside it.
bool month_day(const Time& t, std::int32_t& mo, std::int32_t& dy);

// Hours from `a` to `b`.
std::int64_t hours_between(const Time& a, const Time& b);

// The date-hour of a calendar date; nothing for an impossible date.
std::optional<Time> from_date(std::int32_t yr, std::int32_t mo, std::int32_t dy, std::int32_t hr);

// `t` moved by `hours` (at least -24).
Time add_hours(Time t, std::int32_t hours);

}  // namespace kestrel::inspect
