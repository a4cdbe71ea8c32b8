// The inputs of a join, opened and checked: each a dataset of the layout,
// all of one kind, species, conversion factor and period length, their
// receptors as the mode asks, and one pass over every period's head. The
// checks of a period are the same in the writing pass, so that an input
// changed in between is refused all the same.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "dataset/dataset_reader.hpp"
#include "join/join.hpp"

namespace kestrel::join {

// One input being joined.
struct Opened {
  const Input* input;
  std::unique_ptr<dataset::DatasetReader> reader;
  [[nodiscard]] std::string name() const { return "'" + input->name + "'"; }
  [[nodiscard]] const dataset::HeaderInfo& header() const { return reader->header(); }
};

class Inputs {
 public:
  // Opens every input and checks the headers and receptors. Throws Refusal.
  Inputs(Mode mode, std::span<const Input> inputs, Progress* progress);

  // The pass over every input's period heads. Throws Refusal.
  void check_periods();

  [[nodiscard]] Mode mode() const noexcept { return mode_; }
  [[nodiscard]] std::size_t size() const noexcept { return in_.size(); }
  [[nodiscard]] dataset::DatasetReader& reader(std::size_t i) { return *in_[i].reader; }
  [[nodiscard]] const dataset::HeaderInfo& header(std::size_t i) const { return in_[i].header(); }
  // The run length of the whole, in hours.
  [[nodiscard]] std::int32_t irlg() const noexcept { return irlg_; }
  // By receptors: how many receptors stand where a receptor of an earlier
  // input stands, and the first of them in words.
  [[nodiscard]] std::size_t shared_places() const noexcept { return shared_places_; }
  [[nodiscard]] const std::string& first_shared() const noexcept { return first_shared_; }

  // Input i's period k: of 3600 s and ending when the first input's does.
  void same_time(std::size_t i, std::int64_t k, const dataset::PeriodHead& h, const dataset::PeriodHead& h0);
  // Input i's period k in a join by time: of 3600 s, and the first of each
  // input ending one hour after the last of the one before.
  void follows(std::size_t i, std::int64_t k, const dataset::PeriodHead& h);

  // `f()`, with a reader's refusal named with input i.
  template <class F>
  auto guard(std::size_t i, F f) -> decltype(f()) {
    try {
      return f();
    } catch (const dataset::DatasetError& e) {
      throw Refusal(in_[i].name() + " " + e.what());
    }
  }

  void phase(const char* lead) {
    if (progress_ != nullptr) progress_->phase(lead, total_bytes_);
  }
  void advance(std::uint64_t bytes) {
    if (progress_ != nullptr) progress_->advance(bytes);
  }

 private:
  void check_header(const Opened& o);
  void check_receptors();
  bool in_step(std::int64_t k);
  void period_length(std::size_t i, std::int64_t k, const dataset::PeriodHead& h);
  [[nodiscard]] std::int32_t run_length() const;

  Mode mode_;
  Progress* progress_;
  std::vector<Opened> in_;
  std::uint64_t total_bytes_ = 0;
  std::int32_t irlg_ = 0;
  dataset::PeriodHead first_, last_;  // by time: the previous input's first and last period
  std::size_t shared_places_ = 0;
  std::string first_shared_;
};

}  // namespace kestrel::join
