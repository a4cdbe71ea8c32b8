#include <algorithm>
#include <cmath>
#include <limits>

#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/reading/readers.hpp"
#include "inspect/reading/records.hpp"
#include "io/byte_order.hpp"

namespace kestrel::inspect {

namespace {

using io::get_f32;
using io::get_f64;

constexpr std::size_t kHead = 16;  // stamp, averaging period, source group

// How plausible the first records' values are as `width`-byte reals: the
// spread of their binary exponents (reading the wrong width multiplies it
// or makes it random), plus a heavy cost for NaN, infinite or negative values.
double implausibility(std::span<const std::byte> values, int width) {
  std::int64_t n = 0, bad = 0;
  double sum = 0, sum2 = 0;
  const std::size_t count = values.size() / static_cast<std::size_t>(width);
  for (std::size_t i = 0; i < count; ++i) {
    const double v = width == 8 ? get_f64(values.data() + 8 * i) : get_f32(values.data() + 4 * i);
    if (!std::isfinite(v) || v < 0) {
      ++bad;
      continue;
    }
    if (v == 0) continue;
    const double e = std::log2(v);
    sum += e;
    sum2 += e * e;
    ++n;
  }
  const double spread = n > 1 ? std::sqrt(std::max(0.0, sum2 / n - (sum / n) * (sum / n))) : 0.0;
  double cost = spread + (count ? 1000.0 * static_cast<double>(bad) / static_cast<double>(count) : 0.0);
  if (width == 4) {
    // Doubles with short mantissas (1.25, 0.5, ...) read as floats: every
    // first float of a pair is zero, every second one is not.
    std::size_t pairs = 0, zero_then_value = 0;
    for (std::size_t i = 0; i + 1 < count; i += 2, ++pairs) {
      if (get_f32(values.data() + 4 * i) == 0.0F && get_f32(values.data() + 4 * i + 4) != 0.0F) ++zero_then_value;
    }
    if (pairs > 0 && 2 * zero_then_value > pairs) cost += 1000.0;
  }
  return cost;
}

// The value width from the first record's payload length, or, when both
// widths fit, from how plausible its values are.
int infer_width(Records& r, std::int64_t payload, std::int32_t nrec) {
  if (nrec > 0) {
    if (payload >= 8LL * nrec) return 8;
    if (payload >= 4LL * nrec) return 4;
    throw Failure("records are too short for " + count_of(nrec, "receptor"));
  }
  const bool can8 = payload % 8 == 0 && payload > 0;
  const bool can4 = payload % 4 == 0 && payload > 0;
  if (!can4) throw Failure("record length " + std::to_string(payload + 16) + " fits neither 8-byte nor 4-byte reals");
  if (!can8) return 4;
  r.rewind();
  const auto most = static_cast<std::size_t>(std::min<std::int64_t>(payload, 80000));
  const auto first = r.next(most + kHead, "the first record");
  const auto values = first.subspan(kHead);
  return implausibility(values, 8) <= implausibility(values, 4) ? 8 : 4;
}

// No AERMOD run writes these: what a wrong width or receptor count decodes.
bool absurd(double v) { return !std::isfinite(v) || v < 0 || v > 1.0e15 || (v > 0 && v < 1.0e-30); }

std::string override_text(int real, std::int32_t receptors) {
  std::string o;
  if (real) o = "--real" + std::to_string(real);
  if (receptors) o += (o.empty() ? "" : " ") + std::string("--receptors ") + std::to_string(receptors);
  return o;
}

// Fails on the first absurd value of the file as `s` lays it out.
void check_values(const Summary& s, const std::string& override) {
  std::int64_t n = 0;
  scan_postfile(s, [&](const Period& p) {
    ++n;
    for (std::size_t k = 0; k < static_cast<std::size_t>(s.layout.nrec); ++k) {
      const double v = p.value(k);
      if (!absurd(v)) continue;
      throw Failure("read with " + override + " as " + std::to_string(s.layout.width) + "-byte reals for " +
                    count_of(s.layout.nrec, "receptor") + ", record " + std::to_string(n) + " holds " + num(v) +
                    " at receptor " + std::to_string(k + 1) + ": the override does not fit this file");
    }
  });
}

}  // namespace

void set_postfile_units(Summary& s, const TypeChoice& type) {
  s.layout.to_own = type.to_own;
  if (type.type.empty() || type.type == "CONC") {
    s.unit = "ug/m3";
    return;
  }
  s.unit = "per m2 in the hour, DEPOUNIT's mass";
  s.own_unit = "ug/m2/h";
  s.deposition = type.type == "DEPOS" ? "total deposition" : type.type == "WDEP" ? "wet deposition" : "dry deposition";
  s.fields.emplace_back("output type", type.type + ", set " + std::to_string(type.slice + 1) + " of " +
                                           std::to_string(type.sets));
  s.json_fields.emplace_back("output_type", type.type);
}

Summary open_postfile(const std::filesystem::path& path, const std::string& name, int real, std::int32_t receptors,
                      const Receptors& control, const TypeChoice& type) {
  if (type.sets == 0 && !type.type.empty()) {
    throw Failure("--type on an unformatted POSTFILE goes with --control, whose MODELOPT tells the types");
  }
  Summary s;
  s.path = path;
  s.file = name;
  s.kind = "POSTFILE";
  s.receptors = control;
  s.grid = control.grid;
  Records r(path, name);
  const auto head = r.next(kHead, "the first record", true);
  if (head.empty()) throw Failure("holds no record");
  const std::int64_t payload = r.length() - static_cast<std::int64_t>(kHead);
  if (payload < 0) throw Failure("first record is too short for a POSTFILE record");
  std::int32_t nrec = receptors ? receptors : (control.known() ? static_cast<std::int32_t>(control.x.size()) : 0);
  // Every type's values count in a record's length; without the control
  // file's types, a known receptor count tells how many sets there are.
  auto sets = static_cast<std::int32_t>(std::max<std::size_t>(type.sets, 1));
  if (type.sets == 0 && nrec > 0 && real != 0 && payload % (std::int64_t{real} * nrec) == 0) {
    sets = static_cast<std::int32_t>(std::clamp<std::int64_t>(payload / (std::int64_t{real} * nrec), 1, 4));
  }
  const int width = real ? real : infer_width(r, payload, nrec * sets);
  if (nrec == 0) nrec = static_cast<std::int32_t>(std::min<std::int64_t>(payload / width / sets, kMaxReceptors));
  if (nrec < 1) throw Failure("records hold no values");
  if (control.known() && static_cast<std::size_t>(nrec) != control.x.size()) {
    throw Failure("the control file has " + count_of(static_cast<std::int64_t>(control.x.size()), "receptor") + ", the records " +
                  std::to_string(nrec));
  }
  s.layout = {false, width, nrec};
  s.layout.sets = static_cast<std::size_t>(sets);
  s.layout.slice = type.slice;
  set_postfile_units(s, type);
  s.fields.emplace_back("value width", std::to_string(width) + "-byte reals");
  s.fields.emplace_back("receptors", std::to_string(nrec));
  s.json_fields.emplace_back("value_width_bytes", width);
  s.json_fields.emplace_back("receptors", nrec);
  if (real || receptors) check_values(s, override_text(real, receptors));
  return s;
}

bool scan_postfile(const Summary& s, const PeriodVisitor& each) {
  Records r(s.path, s.file);
  const std::size_t set = static_cast<std::size_t>(s.layout.width) * static_cast<std::size_t>(s.layout.nrec);
  const std::size_t need = kHead + set * s.layout.sets;
  for (std::int64_t n = 1;; ++n) {
    const auto rec = r.next_whole(need, "a record");
    if (rec.empty()) return !r.ended_inside_record();
    Period p;
    p.stamp = io::get_i32(rec.data());
    p.kave = io::get_i32(rec.data() + 4);
    p.group = std::string_view(reinterpret_cast<const char*>(rec.data()) + 8, 8);
    p.values = rec.subspan(kHead + set * s.layout.slice, set);
    p.width = s.layout.width;
    const auto end = stamp_end(p.stamp);
    if (!end) throw Failure("record " + std::to_string(n) + " has an impossible stamp " + std::to_string(p.stamp));
    p.end = *end;
    each(p);
  }
}

}  // namespace kestrel::inspect
