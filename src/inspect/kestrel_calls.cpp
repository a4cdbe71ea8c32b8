#include "inspect/kestrel_calls.hpp"

#include <filesystem>
#include <sstream>

#include "app/qa.hpp"
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
  Ctrl ctrl;
  std::ostringstream console, err;
  Channels ch(console, err);
  Halt132 halt;
  const fs::path p(control);
  try {
    read_control(ctrl, ch, p.parent_path().empty() ? fs::path(".") : p.parent_path(), p.filename().string(), halt);
  } catch (const IoError& e) {
    throw Failure(e.what());
  }
  if (!halt.normal()) throw Failure("control file " + control + ": " + std::string(trim(halt.text())));
  ControlFile c;
  c.x.assign(ctrl.xrecin.begin(), ctrl.xrecin.begin() + ctrl.nrecin);
  c.y.assign(ctrl.yrecin.begin(), ctrl.yrecin.begin() + ctrl.nrecin);
  const ReceptorBox box = receptor_box(ctrl);
  c.x0 = box.x0, c.y0 = box.y0, c.d = box.dgrid;
  c.species = ctrl.aerspec;
  return c;
}

std::optional<Time> stamp_end(std::int32_t kurdat) {
  std::ostringstream sink;
  Halt132 halt;
  const Time end = period_end(sink, decode_kurdat(kurdat), halt);
  if (!halt.normal()) return std::nullopt;
  return end;
}

std::int32_t four_digit(std::int32_t yr) { return yr < 100 ? decode_kurdat(yr * 1000000 + 10101).iyr : yr; }

bool month_day(const Time& t, std::int32_t& mo, std::int32_t& dy) { return calendar_date(t.yr, t.jul, mo, dy); }

std::int64_t hours_between(const Time& a, const Time& b) { return deltt(a.yr, a.jul, a.hr, b.yr, b.jul, b.hr); }

std::optional<Time> from_date(std::int32_t yr, std::int32_t mo, std::int32_t dy, std::int32_t hr) {
  std::ostringstream sink;
  Halt132 halt;
  Time t{yr, 0, hr};
  julday(sink, yr, mo, dy, t.jul, halt);
  if (!halt.normal()) return std::nullopt;
  return t;
}

Time add_hours(Time t, std::int32_t hours) {
  std::ostringstream sink;
  Halt132 halt;
  incr(sink, t.yr, t.jul, t.hr, hours, halt);
  return t;
}

}  // namespace kestrel::inspect
