// Writes a dataset as kestrel writes it, for kestrel-join's benchmarks: R
// receptors on a grid of 100 m (the first at receptor number FIRST of the
// grid, so that chunks of one grid are told apart), H hours from hour
// index START of 1988 on (hour 0 ends at 1988-01-01 hour 01), values that
// change with the hour and the receptor.
//
// usage: gen_dataset FILE R H [START [FIRST [SIDE]]]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/text.hpp"
#include "convert/comp.hpp"
#include "dataset/header.hpp"
#include "dataset/period.hpp"
#include "datetime/datetime.hpp"
#include "io/files.hpp"
#include "io/record_io.hpp"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: gen_dataset FILE R H [START [FIRST [SIDE]]]\n");
    return 2;
  }
  using namespace kestrel;
  const long nrec = std::atol(argv[2]);
  const long hours = std::atol(argv[3]);
  const long start = argc > 4 ? std::atol(argv[4]) : 0;
  const long first = argc > 5 ? std::atol(argv[5]) : 0;
  const long side = argc > 6 ? std::atol(argv[6]) : static_cast<long>(std::ceil(std::sqrt(first + nrec)));
  std::vector<float> x(static_cast<std::size_t>(nrec)), y(x.size()), z(x.size());
  for (long i = 0; i < nrec; ++i) {
    const long g = first + i;
    x[static_cast<std::size_t>(i)] = static_cast<float>((g % side) * 100 - 5000) * 0.001F;
    y[static_cast<std::size_t>(i)] = static_cast<float>((g / side) * 100 - 5000) * 0.001F;
  }
  const ReceptorBox box = receptor_box(x, y);
  dataset::HeaderArgs a;
  a.dxkm = box.dgrid, a.xorigkm = box.x0, a.yorigkm = box.y0;
  const DateHour begin = *incr({1988, 1, 0}, static_cast<std::int32_t>(start));
  a.iyrb = begin.yr % 100, a.ijulb = begin.jul, a.ihrb = begin.hr;
  a.irlg = static_cast<std::int32_t>(hours);
  a.xrec = x, a.yrec = y, a.zrec = z;
  a.ver = fixed("1.21", 12), a.level = fixed("100301", 12);
  a.speclev = "SO2           1", a.csrcnam = fixed("TOTAL", 16);
  a.atitle = {fixed("BENCHMARK", 80), std::string(80, '\0')};
  io::FileSink sink(argv[1], "dataset");
  io::RecordWriter w(sink);
  dataset::wrout1(w, a);
  std::vector<float> v(x.size());
  DateHour end = begin;
  for (long h = 0; h < hours; ++h) {
    const DateHour b = end;
    end = *incr(end, 1);
    dataset::write_period_head(w, b, end, {box.xc, box.yc});
    for (long i = 0; i < nrec; ++i) {
      v[static_cast<std::size_t>(i)] = 5.0e-5F * std::exp(-static_cast<float>((first + i + (start + h) * 7) % 997) / 120.0F);
    }
    dataset::write_values(w, a.speclev, v);
  }
  w.flush();
  sink.close();
  return 0;
}
