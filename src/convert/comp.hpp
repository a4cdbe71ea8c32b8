// The COMPUTATION phase: every 1-hour POSTFILE line becomes a dataset. The
// phase comes in steps so that a driver can convert the POSTFILEs of a run
// side by side and put their datasets in place in control-file order.
#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/report.hpp"
#include "base/status.hpp"
#include "convert/plot_reader.hpp"
#include "convert/postfile.hpp"
#include "convert/postfile_job.hpp"
#include "dataset/header.hpp"
#include "dataset/period.hpp"
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

[[nodiscard]] ReceptorBox receptor_box(std::span<const Receptor> receptors);
// The same from the receptors' x and y in km, as a dataset holds them.
[[nodiscard]] ReceptorBox receptor_box(std::span<const float> x, std::span<const float> y);

// The end time of the period a POSTFILE stamp closes: its julian day, and
// hour 24 as hour 0 of the next day.
Result<DateHour> period_end(const Stamp& stamp);

// The halt of a formatted POSTFILE whose reading failed: the line that cannot
// be read, and its column count when that is why.
[[nodiscard]] Status plot_failure(const PlotReader& reader, const std::string& name, std::size_t numtyp);

// Looks up every POSTFILE of the run; the messages of those that cannot be
// opened ("cannot open POSTFILE '<name>': <reason>"), in control-file order.
[[nodiscard]] std::vector<std::string> check_postfiles(const Ctrl& ctrl, const std::filesystem::path& dir);

// What every dataset of a run shares. Keeps a reference to `ctrl`.
// Finds the run period (from the POSTFILEs without ME STARTEND).
Result<std::unique_ptr<CompPlan>> plan_comp(const Ctrl& ctrl, const std::filesystem::path& dir);

// Converts the POSTFILEs of `ctrl` one after the other, each dataset put in
// place before the next POSTFILE is opened; progress lines and warnings go to
// `report`. Files that cannot be opened or written throw IoError.
Status comp(const Ctrl& ctrl, const std::filesystem::path& dir, Report& report);

}  // namespace kestrel
