// What --check computes from one source group's periods of a file for the
// tables AERMOD printed of it: one statistic per printed rank, averaging
// time and kind (each with AERMOD's calm rule, years and deposition totals),
// and for each MAXTABLE the highest blocks of all receptors. Fed once, in
// time order; nothing is kept of the periods themselves.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <memory>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/aermod_listing.hpp"
#include "analysis/blocks.hpp"
#include "analysis/met.hpp"
#include "analysis/statistic.hpp"

namespace kestrel::inspect {

// The statistic behind a printed table's rank: RECTABLE's Nth highest
// block, PERIOD, ANNUAL, or a value averaged over the years.
analysis::StatAsked stat_of(const analysis::PrintedTable& t, int rank);

// Why a table cannot be compared from a file's hours; empty when it can.
std::string not_comparable(const analysis::PrintedTable& t, bool marks_known, analysis::Quantity q);

class Computed {
 public:
  // One of MAXTABLE's blocks: its value, end, flag and receptor (0-based).
  struct Block {
    double value = 0;
    analysis::Time end;
    analysis::Flag flag = analysis::Flag::none;
    std::size_t k = 0;
  };

  // Everything `tables` (of one group and type) needs, that can be compared.
  Computed(std::span<const analysis::PrintedTable* const> tables, std::size_t receptors, analysis::Quantity q);
  Computed(Computed&&) = default;
  Computed& operator=(Computed&&) = default;
  ~Computed();

  void add(const analysis::Time& end, analysis::HourMark mark, std::span<const double> values);
  void finish();

  // A statistic at one of its ranks.
  struct Ranked {
    const analysis::Statistic* s = nullptr;
    int rank = 1;
    [[nodiscard]] analysis::StatValue at(std::size_t k) const { return s->at(k, rank); }
  };
  // The statistic of a table's rank; none when none was kept.
  [[nodiscard]] std::optional<Ranked> stat(const analysis::StatAsked& a) const;
  // Every rank kept of the same kind and averaging time (for equal values in another order).
  [[nodiscard]] std::vector<Ranked> ranks_like(const analysis::StatAsked& a) const;
  // MAXTABLE's blocks of `hours`, highest first.
  [[nodiscard]] const std::vector<Block>* top(int hours) const;
  [[nodiscard]] std::size_t receptors() const { return n_; }
  // The data in AERMOD's years, where a statistic over years was computed.
  [[nodiscard]] const std::optional<analysis::YearSplit>& years() const { return years_; }

 private:
  struct Tops {
    analysis::BlockAverager blocks;
    std::size_t most;
    std::vector<Block> top;
    void keep(const analysis::ClosedBlock& b);
  };
  using Key = std::tuple<int, int, int>;  // kind, n, hours
  // The ranks of the Nth highest hour or block are kept once, at the deepest
  // rank asked (n 0 in the key): memory follows the deepest rank, not their sum.
  static bool shared(const analysis::StatAsked& a) {
    return a.kind == analysis::StatKind::high || a.kind == analysis::StatKind::avg;
  }
  static Key key_of(const analysis::StatAsked& a) { return {static_cast<int>(a.kind), shared(a) ? 0 : a.n, a.hours}; }

  std::size_t n_;
  std::map<Key, std::unique_ptr<analysis::Statistic>> stats_;
  std::map<int, std::unique_ptr<Tops>> tops_;
  std::optional<analysis::YearSplit> years_;
};

}  // namespace kestrel::inspect
