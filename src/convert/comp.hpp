// The COMPUTATION phase: every 1-hour POSTFILE becomes one dataset.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/report.hpp"
#include "base/status.hpp"
#include "convert/postfile.hpp"
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

// The end time of the period a POSTFILE stamp closes: its julian day, and
// hour 24 as hour 0 of the next day.
Result<DateHour> period_end(const Stamp& stamp);

// One dataset a POSTFILE gives: its output type, where its values stand in
// each record, how they are scaled, its species record and its file.
struct Output {
  dataset::OutputType type;
  std::size_t slice;  // the type's place among the run's types
  float factor;
  std::string speclev;
  std::filesystem::path path;
  std::string shown;  // as messages name it
};

// The datasets of the POSTFILE at `post`, one per output type of the run, in
// the record's order, each beside it; `dir` is the run folder.
[[nodiscard]] std::vector<Output> outputs_of(const Ctrl& ctrl, const std::filesystem::path& post,
                                             const std::filesystem::path& dir);

// Converts the POSTFILEs of `ctrl`, each beside its POSTFILE; progress lines
// and warnings go to `report`. Files that cannot be opened or written throw
// IoError.
Status comp(const Ctrl& ctrl, const std::filesystem::path& dir, Report& report);

}  // namespace kestrel
