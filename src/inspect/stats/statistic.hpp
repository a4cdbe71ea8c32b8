// The statistics of --stat live in the library (analysis/), shared with the
// Python package; the tool's reports and checks name them from here.
#pragma once

#include "analysis/statistic.hpp"

namespace kestrel::inspect {

using analysis::Flag;
using analysis::HourMark;
using analysis::HourMarks;
using analysis::ordinal;
using analysis::parse_stat;
using analysis::Quantity;
using analysis::Ranks;
using analysis::StatAsked;
using analysis::Statistic;
using analysis::StatKind;
using analysis::StatValue;
using analysis::SurfaceHours;
using analysis::YearSplit;

}  // namespace kestrel::inspect
