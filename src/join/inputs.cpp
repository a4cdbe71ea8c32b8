#include "join/inputs.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

#include "base/interrupt.hpp"
#include "base/text.hpp"
#include "convert/postfile.hpp"
#include "setup/params.hpp"

namespace kestrel::join {

namespace {

using dataset::DatasetReader;
using dataset::PeriodHead;

constexpr std::int64_t kPeriodSeconds = 3600;

// A text as held, without its trailing blanks.
std::string held(std::string_view s) { return std::string(trim_right(s)); }

// The shortest decimal that reads back as the same float.
std::string number(float v) {
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc{} ? std::string(buf, end) : "?";
}

std::string place(const dataset::HeaderInfo& h, std::size_t r) {
  return "(" + number(h.xrec[r]) + ", " + number(h.yrec[r]) + ") km, elevation " + number(h.zrec[r]);
}

// A period's end as a modeller reads it: "1988-03-02 hour 00".
std::string when(const DateHour& t, std::int32_t sec) {
  std::int32_t mo = 0, dy = 0;
  std::string s;
  if (calendar_date(t.yr, t.jul, mo, dy) && t.hr >= 0 && t.hr <= 24) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d hour %02d", static_cast<int>(t.yr), static_cast<int>(mo),
                  static_cast<int>(dy), static_cast<int>(t.hr));
    s = buf;
  } else {
    s = "year " + std::to_string(t.yr) + " day " + std::to_string(t.jul) + " hour " + std::to_string(t.hr);
  }
  if (sec != 0) s += " second " + std::to_string(sec);
  return s;
}

std::string ending(const PeriodHead& h) { return when(h.end, h.end_sec); }

// A header's begin year in four digits, as POSTFILE stamps are read.
std::int32_t four_digit(std::int32_t yr) {
  return yr >= 0 && yr < 100 ? decode_kurdat(yr * 1000000 + 10101).iyr : yr;
}

std::string plural(std::int64_t n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

Inputs::Inputs(Mode mode, std::span<const Input> inputs, Progress* progress) : mode_(mode), progress_(progress) {
  // A reader's buffer: 1 MiB, less among many inputs (8 MiB for them all),
  // never less than one period.
  const std::size_t block =
      std::clamp<std::size_t>((std::size_t{8} << 20) / std::max<std::size_t>(inputs.size(), 1), std::size_t{64} << 10,
                              DatasetReader::kDefaultBlock);
  for (const Input& in : inputs) {
    Opened o{&in, nullptr};
    try {
      o.reader = std::make_unique<DatasetReader>(*in.bytes, static_cast<std::int32_t>(MXREC), block);
    } catch (const dataset::DatasetError& e) {
      throw Refusal(o.name() + " " + e.what());
    }
    total_bytes_ += in.bytes->size();
    in_.push_back(std::move(o));
    check_header(in_.back());
  }
  check_receptors();
  irlg_ = run_length();
}

// The pass over every input's period heads.
void Inputs::check_periods() {
  phase("checking");
  if (mode_ == Mode::time) {
    for (std::size_t i = 0; i < in_.size(); ++i) {
      DatasetReader& r = *in_[i].reader;
      if (r.periods() == 0) {
        guard(i, [&] { r.check_end(); });
        throw Refusal(in_[i].name() + " holds no periods");
      }
      for (std::int64_t k = 0; k < r.periods(); ++k) {
        stop_if_interrupted();
        const PeriodHead h = guard(i, [&] { return r.head(k); });
        follows(i, k, h);
        advance(r.period_size());
      }
      guard(i, [&] { r.check_end(); });
    }
    return;
  }
  std::vector<PeriodHead> heads(in_.size());
  for (std::int64_t k = 0; in_step(k); ++k) {
    stop_if_interrupted();
    for (std::size_t i = 0; i < in_.size(); ++i) {
      heads[i] = guard(i, [&] { return in_[i].reader->head(k); });
      same_time(i, k, heads[i], heads[0]);
      advance(in_[i].reader->period_size());
    }
  }
}

void Inputs::check_header(const Opened& o) {
  const auto& h = o.header();
  // Fields no dataset of one-hour periods holds: kestrel writes 1 x 3600 s.
  if (h.iavg <= 0 || h.nsecdt <= 0) {
    throw Refusal(o.name() + " is no dataset of periods: its header's averaging time is " + std::to_string(h.iavg) +
                  " time steps of " + std::to_string(h.nsecdt) + " s");
  }
  if (h.xrec.empty()) throw Refusal(o.name() + " holds no receptors: its header's receptor count is 0");
  const std::int64_t seconds = std::int64_t{h.iavg} * h.nsecdt;
  if (seconds != kPeriodSeconds) {
    throw Refusal(o.name() + " holds periods of " + std::to_string(seconds) + " s (" + std::to_string(h.iavg) +
                  " x " + std::to_string(h.nsecdt) + " s), not 3600 s");
  }
  if (in_.size() == 1) return;
  const Opened& first = in_.front();
  const auto& f = first.header();
  if (h.kind != f.kind) {
    throw Refusal(o.name() + " is a " + held(h.kind) + " dataset, " + first.name() + " a " + held(f.kind) +
                  " dataset");
  }
  if (h.speclev != f.speclev) {
    throw Refusal(o.name() + " holds species '" + held(h.speclev) + "', " + first.name() + " '" +
                  held(f.speclev) + "'");
  }
  if (h.titles[2] != f.titles[2]) {
    throw Refusal("the conversion factors differ: title 3 of " + o.name() + " reads '" + held(h.titles[2]) +
                  "', of " + first.name() + " '" + held(f.titles[2]) + "'");
  }
}

void Inputs::check_receptors() {
  const Opened& first = in_.front();
  const auto& f = first.header();
  if (mode_ == Mode::receptors) {
    // Places compared as values: -0 and 0 are one place.
    const auto key = [](float x, float y, float z) {
      const auto bits = [](float v) { return std::bit_cast<std::uint32_t>(v == 0.0F ? 0.0F : v); };
      return (std::uint64_t{bits(x)} << 32 | bits(y)) ^ (std::uint64_t{bits(z)} * 0x9E3779B97F4A7C15ULL);
    };
    struct Seen {
      std::size_t input, receptor;
    };
    std::unordered_multimap<std::uint64_t, Seen> seen;
    // Receptors of a later input found at a place an earlier one holds, per
    // pair of inputs: a chunk cut at a place two receptors share is kept as
    // the uncut run keeps them; a chunk all of whose receptors another holds
    // is that chunk given twice.
    std::map<std::pair<std::size_t, std::size_t>, std::size_t> shared;  // (earlier, later): receptors of the later
    std::set<std::tuple<std::size_t, std::size_t, std::size_t>> covered;  // (earlier, receptor, later)
    std::size_t total = 0;
    for (std::size_t i = 0; i < in_.size(); ++i) {
      const auto& h = in_[i].header();
      total += h.xrec.size();
      for (std::size_t r = 0; r < h.xrec.size(); ++r) {
        const std::uint64_t k = key(h.xrec[r], h.yrec[r], h.zrec[r]);
        std::set<std::size_t> in_inputs;
        const auto [b, e] = seen.equal_range(k);
        for (auto it = b; it != e; ++it) {
          const auto& g = in_[it->second.input].header();
          const std::size_t q = it->second.receptor;
          if (it->second.input == i || g.xrec[q] != h.xrec[r] || g.yrec[q] != h.yrec[r] || g.zrec[q] != h.zrec[r]) {
            continue;
          }
          if (in_inputs.insert(it->second.input).second) ++shared[{it->second.input, i}];
          covered.insert({it->second.input, q, i});
          if (shared_places_++ == 0) {
            first_shared_ = "receptor " + std::to_string(r + 1) + " of " + in_[i].name() + " at " + place(h, r) +
                            " is also receptor " + std::to_string(q + 1) + " of " + in_[it->second.input].name();
          }
        }
        seen.emplace(k, Seen{i, r});
      }
    }
    for (const auto& [pair, n] : shared) {
      const auto [a, b] = pair;
      std::size_t of_a = 0;
      for (auto it = covered.lower_bound({a, 0, 0}); it != covered.end() && std::get<0>(*it) == a; ++it) {
        if (std::get<2>(*it) == b) ++of_a;
      }
      const std::size_t na = in_[a].header().xrec.size(), nb = in_[b].header().xrec.size();
      if (n == nb || of_a == na) {
        const bool later_in_earlier = n == nb;
        const Opened& sub = later_in_earlier ? in_[b] : in_[a];
        const Opened& all = later_in_earlier ? in_[a] : in_[b];
        throw Refusal("every receptor of " + sub.name() + " is also one of " + all.name() +
                      ", at the same place: the same part given twice?");
      }
    }
    if (total > MXREC) {
      throw Refusal("the inputs hold " + std::to_string(total) + " receptors together; a dataset holds at most " +
                    std::to_string(MXREC));
    }
    return;
  }
  // The same receptors, as stored, bit for bit.
  const auto same = [](float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); };
  for (std::size_t i = 1; i < in_.size(); ++i) {
    const auto& h = in_[i].header();
    if (h.xrec.size() != f.xrec.size()) {
      throw Refusal(in_[i].name() + " holds " + plural(static_cast<std::int64_t>(h.xrec.size()), "receptor") + ", " +
                    first.name() + " " + std::to_string(f.xrec.size()));
    }
    for (std::size_t r = 0; r < h.xrec.size(); ++r) {
      if (same(h.xrec[r], f.xrec[r]) && same(h.yrec[r], f.yrec[r]) && same(h.zrec[r], f.zrec[r])) continue;
      throw Refusal("receptor " + std::to_string(r + 1) + " of " + in_[i].name() + " is at " + place(h, r) +
                    ", of " + first.name() + " at " + place(f, r));
    }
  }
}

// Whether every input holds period k; false after the last. Inputs that
// end sooner than the others are refused.
bool Inputs::in_step(std::int64_t k) {
  bool all = true, any = false;
  for (const Opened& o : in_) {
    if (k < o.reader->periods()) {
      any = true;
    } else {
      all = false;
    }
  }
  if (all) return true;
  // A cut input is refused at its cut.
  for (std::size_t i = 0; i < in_.size(); ++i) {
    if (k >= in_[i].reader->periods()) guard(i, [&] { in_[i].reader->check_end(); });
  }
  if (!any) return false;
  const std::int64_t p0 = in_[0].reader->periods();
  for (std::size_t i = 1; i < in_.size(); ++i) {
    const std::int64_t p = in_[i].reader->periods();
    if (p != p0) throw Refusal(in_[i].name() + " holds " + plural(p, "period") + ", " + in_[0].name() + " " +
                               std::to_string(p0));
  }
  return false;
}

void Inputs::period_length(std::size_t i, std::int64_t k, const PeriodHead& h) {
  const std::int64_t seconds = deltt(h.begin, h.end) * 3600 + h.end_sec - h.begin_sec;
  if (seconds == kPeriodSeconds) return;
  throw Refusal("period " + std::to_string(k + 1) + " of " + in_[i].name() + " begins " + when(h.begin, h.begin_sec) +
                " and ends " + ending(h) + ": " + std::to_string(seconds) + " s, not 3600 s");
}

void Inputs::same_time(std::size_t i, std::int64_t k, const PeriodHead& h, const PeriodHead& h0) {
  period_length(i, k, h);
  if (i == 0 || (h.end == h0.end && h.end_sec == h0.end_sec)) return;
  throw Refusal("period " + std::to_string(k + 1) + " of " + in_[i].name() + " ends " + ending(h) + ", of " +
                in_[0].name() + " " + ending(h0));
}

// Input i's period k in a join by time: the first of each input must end
// one hour after the last of the one before.
void Inputs::follows(std::size_t i, std::int64_t k, const PeriodHead& h) {
  period_length(i, k, h);
  if (k == 0 && i > 0 && deltt(first_.end, h.end) * 3600 + h.end_sec - first_.end_sec <= 0) {
    throw Refusal(in_[i - 1].name() + " and " + in_[i].name() + " are in the wrong order: " + in_[i].name() +
                  " begins with the period ending " + ending(h) + ", " + in_[i - 1].name() +
                  " with the period ending " + ending(first_) + " (give the inputs earliest first)");
  }
  if (k == 0 && i > 0) {
    const std::int64_t step = deltt(last_.end, h.end) * 3600 + h.end_sec - last_.end_sec;
    if (step != kPeriodSeconds) {
      const std::int64_t hours = deltt(last_.end, h.end);
      const std::string what = step > kPeriodSeconds ? "a gap of " + plural(hours - 1, "hour")
                                                     : "an overlap of " + plural(1 - hours, "hour");
      throw Refusal(in_[i].name() + " does not follow " + in_[i - 1].name() + " by one hour: " +
                    in_[i - 1].name() + " ends with the period ending " + ending(last_) + ", " + in_[i].name() +
                    " begins with the period ending " + ending(h) + " (" + what + ")");
    }
  }
  if (k == 0) first_ = h;
  last_ = h;
}

// The run length of the whole: by time, from the first input's begin to
// the end of the last input's run.
std::int32_t Inputs::run_length() const {
  const auto& f = in_.front().header();
  if (mode_ != Mode::time) return f.irlg;
  const auto& l = in_.back().header();
  const std::int64_t hours =
      deltt({four_digit(f.iyrb), f.ijulb, f.ihrb}, {four_digit(l.iyrb), l.ijulb, l.ihrb}) + l.irlg;
  if (hours < 0 || hours > std::numeric_limits<std::int32_t>::max()) {
    throw Refusal("the joined run would last " + std::to_string(hours) + " hours, from the begin of " +
                  in_.front().name() + " to the end of the run of " + in_.back().name());
  }
  return static_cast<std::int32_t>(hours);
}

}  // namespace kestrel::join
