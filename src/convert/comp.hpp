// The COMPUTATION phase: every 1-hour POSTFILE becomes one dataset.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "convert/postfile.hpp"
#include "dataset/period.hpp"
#include "app/channels.hpp"
#include "base/halt.hpp"
#include "app/qa.hpp"
#include "setup/ctrl.hpp"

namespace kestrel {

// The nominal 2 x 2 grid around the receptors, in km.
struct ReceptorBox {
  float xmin = 0.0F, xmax = 0.0F, ymin = 0.0F, ymax = 0.0F;
  float xc = 0.0F, yc = 0.0F;
  float delxby2 = 0.0F, delyby2 = 0.0F;
  float dgrid = 0.0F;
  float x0 = 0.0F, y0 = 0.0F;
};

[[nodiscard]] ReceptorBox receptor_box(const Ctrl& ctrl);

// The end time of the period a POSTFILE stamp closes: its julian day, and
// hour 24 as hour 0 of the next day. A halt of julday or incr is left in
// halt132 (and its line on `io`).
DateHour period_end(std::ostream& io, const Stamp& stamp, Halt132& halt132);

// Converts the POSTFILEs of `ctrl`. Returns with halt132 untouched when all
// were converted. Files that cannot be opened or written throw IoError.
void comp(const Ctrl& ctrl, const Qa& qa, Channels& ch, const std::filesystem::path& dir, Halt132& halt132);

}  // namespace kestrel
