#include "inspect/kestrel_calls.hpp"

#include <filesystem>

#include "base/report.hpp"
#include "base/version.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "convert/comp.hpp"
#include "convert/postfile.hpp"
#include "inspect/failure.hpp"
#include "setup/params.hpp"
#include "setup/setup.hpp"

namespace kestrel::inspect {

const std::int32_t kMaxReceptors = static_cast<std::int32_t>(MXREC);

std::string version_line() {
  return "kestrel-inspect " + std::string(mver) + " (level " + std::string(mlevel) + ")";
}

ControlFile read_control_file(const std::string& control) {
  namespace fs = std::filesystem;
  const fs::path p(control);
  SilentReport report;
  std::optional<Result<Ctrl>> read;
  try {
    read.emplace(setup(p.parent_path().empty() ? fs::path(".") : p.parent_path(), p.filename().string(), report));
  } catch (const IoError& e) {
    throw Failure(e.what());
  }
  if (!read->ok()) throw Failure("control file " + control + ": " + read->status().text());
  const Ctrl& ctrl = **read;
  ControlFile c;
  for (const Receptor& r : ctrl.receptors) {
    c.x.push_back(r.x);
    c.y.push_back(r.y);
  }
  const ReceptorBox box = receptor_box(ctrl.receptors);
  c.x0 = box.x0, c.y0 = box.y0, c.d = box.dgrid;
  c.species = fixed(ctrl.aerspec, 12);
  return c;
}

std::optional<Time> stamp_end(std::int32_t kurdat) {
  const auto end = period_end(decode_kurdat(kurdat));
  if (!end.ok()) return std::nullopt;
  return *end;
}

std::int32_t four_digit(std::int32_t yr) { return yr < 100 ? decode_kurdat(yr * 1000000 + 10101).iyr : yr; }

bool month_day(const Time& t, std::int32_t& mo, std::int32_t& dy) { return calendar_date(t.yr, t.jul, mo, dy); }

std::int64_t hours_between(const Time& a, const Time& b) { return deltt(a, b); }

std::optional<Time> from_date(std::int32_t yr, std::int32_t mo, std::int32_t dy, std::int32_t hr) {
  const auto jul = julday(yr, mo, dy);
  if (!jul.ok()) return std::nullopt;
  return Time{yr, *jul, hr};
}

Time add_hours(Time t, std::int32_t hours) {
  const auto moved = incr(t, hours);
  return moved.ok() ? *moved : t;
}

}  // namespace kestrel::inspect
