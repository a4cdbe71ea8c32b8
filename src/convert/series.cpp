#include "convert/series.hpp"

#include <string>

#include "base/text.hpp"
#include "convert/warnings.hpp"

namespace kestrel {

void SeriesCheck::add(std::string_view grpid, std::int32_t kave, bool longer, const DateHour& end) {
  if (count_ == 0) {
    grp0_.assign(grpid);
    first_ = end;
  } else {
    if (grpid != grp0_) mixed_groups_ = true;
    if (deltt(prev_, end) != 1) ++not_following_;
  }
  if (kave != 1) not_hourly_ = true;
  if (longer) longer_ = true;
  prev_ = end;
  ++count_;
}

namespace {

}  // namespace

void SeriesCheck::report(Report& report, const std::string& name, std::int32_t irlg,
                         std::span<const std::string> datasets) const {
  const std::string holds = "WARNING: " + name + " holds ";
  if (mixed_groups_) report.warn(holds + "records of more than one source group");
  if (not_hourly_) report.warn(holds + "records whose averaging period is not 1 hour");
  const auto gaps = [&](const std::string& who) {
    if (not_following_ == 0) return;
    report.warn("WARNING: " + who + " holds " + count_of(not_following_, "period") +
                (not_following_ == 1 ? " that does" : " that do") +
                " not follow the one before by one hour (missing or repeated hours)");
  };
  const auto count = [&](const std::string& who) {
    const std::string w = "WARNING: " + who + " holds ";
    if (count_ == 0) {
      report.warn(w + "no records");
    } else if (count_ != irlg) {
      report.warn(w + count_of(count_, "period") + " but the run period has " + count_of(irlg, "hour"));
    }
  };
  if (datasets.empty()) {
    gaps(name);
    if (longer_) report.warn(longer_warning(name));
    count(name);
    return;
  }
  if (longer_) report.warn(longer_warning(name));
  for (const std::string& d : datasets) {
    gaps(d);
    count(d);
  }
}

}  // namespace kestrel
