// Block averages as AERMOD computes them. Fed one source group's periods in
// time order (end, the hour's mark, every receptor's value), it closes each
// H-hour block of a day (H = 1, 2, 3, 4, 6, 8, 12, 24) or calendar month and
// yields the block's end, its flag and every receptor's block value:
//  - concentration: the block's sum / max(valid hours, round(0.75 n + 0.4)),
//    n the hours the block holds; AERMOD writes 0 for a calm or missing
//    hour, so those add nothing to the sum but count in n;
//  - deposition: the block's total, never adjusted for calm hours.
// The flag is AERMOD's: ' ', 'c' (calm hours only), 'm' (missing only), 'b'.
// Per-receptor sums live in one flat array; the mark is read once a period.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/hours.hpp"
#include "analysis/met.hpp"

namespace kestrel::analysis {

enum class Quantity : std::uint8_t { concentration, deposition };

// A block's flag as AERMOD prints it beside the value.
enum class Flag : char { none = ' ', calm = 'c', missing = 'm', both = 'b' };
Flag flag_of(std::int64_t calm_hours, std::int64_t missing_hours);

// The divisor of a concentration block of `hours` hours, `valid` of them
// neither calm nor missing: `hours` when all are valid, else
// max(valid, round(0.75 hours + 0.4)).
double block_divisor(std::int64_t hours, std::int64_t valid);

// A block as it closes: values into the averager's own buffer, valid until
// the next add() or finish().
struct ClosedBlock {
  Time end;
  Flag flag = Flag::none;
  std::int64_t hours = 0, valid = 0;
  std::span<const double> values;
};

class BlockAverager {
 public:
  static constexpr int kMonth = 0;
  // `hours` one of 1, 2, 3, 4, 6, 8, 12, 24, or kMonth.
  BlockAverager(std::size_t receptors, int hours, Quantity quantity);

  // Adds a period; true when it opened a new block and so closed the one
  // before, which closed() then gives.
  bool add(const Time& end, HourMark mark, std::span<const double> values);
  // Closes the last block; true when there was one.
  bool finish();
  [[nodiscard]] const ClosedBlock& closed() const { return closed_; }

 private:
  void close();
  std::size_t n_;
  int hours_;
  Quantity quantity_;
  std::int64_t key_ = -1;     // the open block
  std::int64_t end_ = 0;      // its end as an hour number
  std::int64_t count_ = 0, calm_ = 0, missing_ = 0;
  std::vector<double> sum_, out_;
  ClosedBlock closed_;
};

// The run's sum and hours per receptor: AERMOD's PERIOD value is the sum
// over the valid hours (concentration) or the total (deposition).
class PeriodSum {
 public:
  PeriodSum(std::size_t receptors, Quantity quantity);
  void add(HourMark mark, std::span<const double> values);
  [[nodiscard]] double value(std::size_t k) const;
  [[nodiscard]] Flag flag() const { return flag_of(calm_, missing_); }
  [[nodiscard]] std::int64_t hours() const { return hours_; }
  [[nodiscard]] std::int64_t valid() const { return hours_ - calm_ - missing_; }
  void reset();

 private:
  Quantity quantity_;
  std::vector<double> sum_;
  std::int64_t hours_ = 0, calm_ = 0, missing_ = 0;
};

}  // namespace kestrel::analysis
