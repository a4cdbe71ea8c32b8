#include "join/join_support.hpp"

#include <sstream>

#include "base/text.hpp"
#include "convert/comp.hpp"
#include "dataset/header.hpp"
#include "dataset/period.hpp"
#include "join/command.hpp"

namespace kestrel::join::test {

Bytes make_dataset(const MadeDataset& s) {
  std::vector<float> x, y, z;
  for (const Receptor& r : s.receptors) {
    x.push_back(r.x);
    y.push_back(r.y);
    z.push_back(r.z);
  }
  const ReceptorBox box = receptor_box(x, y);
  dataset::HeaderArgs a;
  a.dxkm = box.dgrid;
  a.xorigkm = box.x0;
  a.yorigkm = box.y0;
  a.iyrb = s.begin.yr, a.ijulb = s.begin.jul, a.ihrb = s.begin.hr;
  a.irlg = s.irlg >= 0 ? s.irlg : s.periods;
  a.type = s.type;
  a.cfactor = s.cfactor;
  a.xrec = x, a.yrec = y, a.zrec = z;
  a.ver = fixed("1.21", 12), a.level = fixed("100301", 12);
  a.speclev = s.speclev;
  a.csrcnam = fixed("TOTAL", 16);
  a.atitle = {fixed(s.title1, 80), std::string(80, '\0')};
  io::MemorySink sink;
  io::RecordWriter w(sink);
  dataset::wrout1(w, a);
  std::vector<float> v(x.size());
  for (int p = 0; p < s.periods; ++p) {
    const DateHour end = *incr(s.first_end, p);
    dataset::write_period_head(w, *incr(end, -1), end, {box.xc, box.yc});
    for (std::size_t r = 0; r < v.size(); ++r) v[r] = s.value(p, static_cast<int>(r));
    dataset::write_values(w, s.speclev, v);
  }
  w.flush();
  return sink.data;
}

void write(const std::filesystem::path& p, const MadeDataset& s, const std::function<void(Bytes&)>& change) {
  Bytes b = make_dataset(s);
  if (change) change(b);
  kestrel::test::write_bytes(p, b);
}

MadeDataset later(int hours) {
  MadeDataset s;
  s.first_end = *incr(s.first_end, hours);
  return s;
}

MadeDataset at(std::vector<Receptor> receptors) {
  MadeDataset s;
  s.receptors = std::move(receptors);
  return s;
}

std::map<std::string, Bytes> files_of(const std::filesystem::path& dir) {
  std::map<std::string, Bytes> m;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    m[e.path().filename().string()] =
        std::filesystem::is_regular_file(e.path()) ? kestrel::test::read_bytes(e.path()) : Bytes{};
  }
  return m;
}

Ran run(const std::filesystem::path& dir, std::vector<std::string> args) {
  std::ostringstream out, err;
  Ran r;
  r.status = run_join(args, dir, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

}  // namespace kestrel::join::test
