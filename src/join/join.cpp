#include "join/join.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <vector>

#include "base/interrupt.hpp"
#include "base/text.hpp"
#include "base/version.hpp"
#include "convert/comp.hpp"
#include "dataset/header.hpp"
#include "dataset/output_type.hpp"
#include "dataset/period.hpp"
#include "io/byte_order.hpp"
#include "join/inputs.hpp"

namespace kestrel::join {

namespace {

using dataset::DatasetReader;
using dataset::PeriodHead;

std::string held(std::string_view s) { return std::string(trim_right(s)); }

// The values of every view added in double, in the order given, and rounded
// to single precision once, into `out`. Plain loops over whole periods, so
// that the compiler vectorises them: the first two inputs added in one,
// the last added and rounded in one.
void add_values(std::span<const DatasetReader::View> views, std::vector<double>& sums, std::byte* out) {
  const std::size_t n = sums.size();
  const auto value = [](const std::byte* p, std::size_t r) { return double{io::get_f32(p + 4 * r)}; };
  if (views.size() == 1) {
    std::memcpy(out, views[0].values.data(), 4 * n);
    return;
  }
  const std::byte* a = views[0].values.data();
  const std::byte* b = views[1].values.data();
  if (views.size() == 2) {
    for (std::size_t r = 0; r < n; ++r) io::put_f32(out + 4 * r, static_cast<float>(value(a, r) + value(b, r)));
    return;
  }
  for (std::size_t r = 0; r < n; ++r) sums[r] = value(a, r) + value(b, r);
  for (std::size_t i = 2; i + 1 < views.size(); ++i) {
    const std::byte* p = views[i].values.data();
    for (std::size_t r = 0; r < n; ++r) sums[r] += value(p, r);
  }
  const std::byte* z = views.back().values.data();
  for (std::size_t r = 0; r < n; ++r) io::put_f32(out + 4 * r, static_cast<float>(sums[r] + value(z, r)));
}

// A float's exponent plus one carries into the sign bit only where it is
// all ones: NaN or infinite.
constexpr std::uint32_t carry(std::uint32_t bits) { return (bits & 0x7F800000U) + 0x00800000U; }
constexpr bool finite(std::uint32_t bits) { return (carry(bits) & 0x80000000U) == 0; }

// Whether any value of the period is NaN or infinite: a plain OR over it,
// which the compiler vectorises.
bool any_not_finite(std::span<const std::byte> values) {
  std::uint32_t any = 0;
  const std::size_t n = values.size() / 4;
  for (std::size_t r = 0; r < n; ++r) any |= carry(io::get_le32(values.data() + 4 * r));
  return (any & 0x80000000U) != 0;
}

// The values copied to `to`, and whether any is NaN or infinite: one pass.
bool copy_values(std::byte* to, std::span<const std::byte> from) {
  std::uint32_t any = 0;
  const std::size_t n = from.size() / 4;
  for (std::size_t r = 0; r < n; ++r) {
    const std::uint32_t bits = io::get_le32(from.data() + 4 * r);
    io::put_le32(to + 4 * r, bits);
    any |= carry(bits);
  }
  return (any & 0x80000000U) != 0;
}

// Input i's NaN and infinite values in a period that has some.
void count_input(std::span<const std::byte> values, std::size_t i, Joined& j) {
  for (std::size_t at = 0; at + 4 <= values.size(); at += 4) {
    const float v = io::get_f32(values.data() + at);
    if (std::isnan(v)) ++j.nans[i];
    if (std::isinf(v)) ++j.infinities[i];
  }
}

// A sum's period: every input's NaN and infinite values, and the sums that
// are infinite where every input's value is finite. A value that is no number
// in an input is none in the sum, so the sum alone is looked through first.
void count_sums(std::span<const DatasetReader::View> views, std::span<const std::byte> out, Joined& j) {
  if (!any_not_finite(out)) return;
  for (std::size_t i = 0; i < views.size(); ++i) count_input(views[i].values, i, j);
  const auto finite_at = [](std::span<const std::byte> values, std::size_t r) {
    return finite(io::get_le32(values.data() + 4 * r));
  };
  for (std::size_t r = 0; 4 * r < out.size(); ++r) {
    if (finite_at(out, r)) continue;
    const bool inputs_finite = std::all_of(views.begin(), views.end(),
                                           [&](const DatasetReader::View& v) { return finite_at(v.values, r); });
    if (inputs_finite) ++j.overflows;
  }
}

// The output's header: the first input's, with the receptors of the whole
// and the nominal grid by the converter's own rule.
dataset::PeriodSource write_header(Inputs& in, io::RecordWriter& out) {
  const dataset::HeaderInfo& h0 = in.header(0);
  std::vector<float> xrec, yrec, zrec;
  for (std::size_t i = 0; i < (in.mode() == Mode::receptors ? in.size() : 1); ++i) {
    const auto& h = in.header(i);
    xrec.insert(xrec.end(), h.xrec.begin(), h.xrec.end());
    yrec.insert(yrec.end(), h.yrec.begin(), h.yrec.end());
    zrec.insert(zrec.end(), h.zrec.begin(), h.zrec.end());
  }
  const ReceptorBox box = receptor_box(xrec, yrec);
  dataset::HeaderArgs a;
  a.nx = 2;
  a.ny = 2;
  a.dxkm = box.dgrid;
  a.xorigkm = box.x0;
  a.yorigkm = box.y0;
  a.iyrb = h0.iyrb;
  a.ijulb = h0.ijulb;
  a.ihrb = h0.ihrb;
  a.irlg = in.irlg();
  // The type gives the dataset's name; the third title is the input's own.
  a.type = held(h0.kind) == "WFLX.DAT"   ? dataset::OutputType::wdep
           : held(h0.kind) == "DFLX.DAT" ? dataset::OutputType::ddep
                                         : dataset::OutputType::conc;
  a.title3 = h0.titles[2];
  a.xrec = xrec;
  a.yrec = yrec;
  a.zrec = zrec;
  a.ver = fixed(mver, 12);
  a.level = fixed(mlevel, 12);
  a.speclev = h0.speclev;
  // One source, "TOTAL", as every period's source record names it.
  a.csrcnam = fixed("TOTAL", 16);
  a.atitle = {h0.titles[0], h0.titles[1]};
  out.reserve_for(8 + 12 * xrec.size() + 4096);
  dataset::wrout1(out, a);
  return {box.xc, box.yc};
}

// The second pass: the output, period by period, from one period of every
// input at a time.
Joined write(Inputs& in, io::RecordWriter& out) {
  in.phase("joining");
  const dataset::PeriodSource source = write_header(in, out);
  const std::string& speclev = in.header(0).speclev;
  std::size_t nrec = 0;
  for (std::size_t i = 0; i < (in.mode() == Mode::receptors ? in.size() : 1); ++i) nrec += in.reader(i).receptors();

  Joined j;
  j.receptors = nrec;
  j.nans.assign(in.size(), 0);
  j.infinities.assign(in.size(), 0);
  // A period's first two records and its values record begun: room for its values.
  const auto put = [&](const PeriodHead& h) {
    if (j.periods == 0) j.first = h.end;
    j.last = h.end;
    ++j.periods;
    dataset::write_period_head(out, h.begin, h.end, source);
    out.begin().text(speclev, DatasetReader::kLabel);
    return out.grow(4 * nrec);
  };
  if (in.mode() == Mode::time) {
    for (std::size_t i = 0; i < in.size(); ++i) {
      DatasetReader& r = in.reader(i);
      for (std::int64_t k = 0; k < r.periods(); ++k) {
        stop_if_interrupted();
        const auto v = in.guard(i, [&] { return r.view(k); });
        in.follows(i, k, v.head);
        if (copy_values(put(v.head), v.values)) count_input(v.values, i, j);
        out.end();
        in.advance(r.period_size());
      }
    }
    out.flush();
    return j;
  }
  std::vector<DatasetReader::View> views(in.size());
  std::vector<double> sums(in.mode() == Mode::sum ? nrec : 0);
  const std::int64_t periods = in.reader(0).periods();
  for (std::int64_t k = 0; k < periods; ++k) {
    stop_if_interrupted();
    for (std::size_t i = 0; i < in.size(); ++i) {
      views[i] = in.guard(i, [&] { return in.reader(i).view(k); });
      in.same_time(i, k, views[i].head, views[0].head);
      in.advance(in.reader(i).period_size());
    }
    std::byte* values = put(views[0].head);
    if (in.mode() == Mode::receptors) {
      // Values as held, input after input: the bytes are the floats'.
      for (std::size_t i = 0; i < views.size(); ++i) {
        if (copy_values(values, views[i].values)) count_input(views[i].values, i, j);
        values += views[i].values.size();
      }
    } else {
      add_values(views, sums, values);
      count_sums(views, std::span<const std::byte>(values, 4 * nrec), j);
    }
    out.end();
  }
  out.flush();
  return j;
}

}  // namespace

Joined join(Mode mode, std::span<const Input> inputs, const std::function<io::RecordWriter&()>& open_output,
            Progress* progress) {
  if (inputs.empty()) throw Refusal("no input");
  Inputs in(mode, inputs, progress);
  in.check_periods();
  Joined j = write(in, open_output());
  j.shared_places = in.shared_places();
  j.first_shared = in.first_shared();
  return j;
}

}  // namespace kestrel::join
