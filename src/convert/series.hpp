// Checks that a dataset makes one unbroken hourly series of one source group,
// and says where it does not.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/report.hpp"
#include "datetime/datetime.hpp"

namespace kestrel {

class SeriesCheck {
 public:
  // One record: its 8-character group, averaging hours, whether it held
  // more values than receptors, and the end of its period.
  void add(std::string_view grpid, std::int32_t kave, bool longer, const DateHour& end);

  [[nodiscard]] std::int64_t count() const noexcept { return count_; }
  // The ends of the first and last periods (when count() > 0).
  [[nodiscard]] const DateHour& first() const noexcept { return first_; }
  [[nodiscard]] const DateHour& last() const noexcept { return prev_; }

  // The warnings about the POSTFILE `name`, against a run of `irlg` hours.
  // With `datasets` (a POSTFILE of several), those about missing and
  // repeated hours come once for each dataset, naming it.
  void report(Report& report, const std::string& name, std::int32_t irlg,
              std::span<const std::string> datasets = {}) const;

 private:
  std::int64_t count_ = 0;
  std::string grp0_;  // the first record's group
  DateHour first_;
  DateHour prev_;
  bool mixed_groups_ = false;
  bool not_hourly_ = false;
  bool longer_ = false;
  std::int64_t not_following_ = 0;
};

}  // namespace kestrel
