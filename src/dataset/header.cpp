#include "dataset/header.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/text.hpp"
#include "io/byte_order.hpp"

namespace kestrel::dataset {

namespace {

constexpr std::size_t kCommentWidth = 132;

// Appends to `line` at column `j` (0-based) the non-blank characters among
// the first 8 of `s`.
void squeeze8(std::string& line, std::size_t& j, std::string_view s) {
  for (std::size_t i = 0; i < 8 && i < s.size(); ++i) {
    if (s[i] != ' ') line[j++] = s[i];
  }
}

}  // namespace

std::string comment_line1(std::string_view ver, std::string_view level) {
  std::string line(kCommentWidth, ' ');
  line.replace(0, 30, "Produced by KESTREL Version:  ");
  // The first version character replaces the second of the two blanks.
  std::size_t j = 29;
  squeeze8(line, j, ver);
  j += 1;
  line.replace(j, 8, " Level: ");
  j += 8;
  squeeze8(line, j, level);
  return line;
}

std::string format_cfactor(float value) {
  const double v = value;
  std::string body;
  if (std::isnan(v)) {
    body = "NaN";
  } else if (std::isinf(v)) {
    body = v < 0 ? "-Infinity" : "Infinity";
  } else if (v == 0.0) {
    body = "0.0000000E+00";
  } else {
    // %.6e gives d.dddddd e±xx: seven significant digits, correctly rounded.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.6e", std::fabs(v));
    const std::string_view s(buf);
    const std::size_t epos = s.find('e');
    const int exponent = std::atoi(buf + epos + 1) + 1;
    std::string digits;
    digits.push_back(s[0]);
    digits.append(s.substr(2, epos - 2));
    if (v < 0) body.push_back('-');
    body.append("0.").append(digits);
    char ebuf[16];
    const int mag = std::abs(exponent);
    if (mag <= 99) {
      std::snprintf(ebuf, sizeof ebuf, "E%c%02d", exponent < 0 ? '-' : '+', mag);
    } else {
      std::snprintf(ebuf, sizeof ebuf, "%c%03d", exponent < 0 ? '-' : '+', mag);
    }
    body.append(ebuf);
  }
  if (body.size() >= 20) return body.substr(0, 20);
  return std::string(20 - body.size(), ' ') + body;
}

void wrout1(io::RecordWriter& io8, const HeaderArgs& a) {
  const auto nrec = static_cast<std::int32_t>(a.xrec.size());

  // Record 1: dataset kind and version.
  io8.begin()
      .text(traits(a.type).kind, 16)
      .text("2.1", 16)
      .text("No-Obs file structure with embedded control file", 64)
      .end();

  // Record 2: two comment records follow.
  io8.begin().i32(2).end();

  io8.begin().text(comment_line1(a.ver, a.level)).end();
  io8.begin().text(fixed("NO Internal Coordinate Transformations", kCommentWidth)).end();

  // Record 5: run and grid description. The sampling-grid limits come as
  // first column, first row, last column, last row, unlike the
  // computational grid's.
  io8.begin()
      .text("AERMOD", 12)
      .text("00000", 12)
      .text("00000", 12)
      .i32(a.iyrb)
      .i32(a.ijulb)
      .i32(a.ihrb)
      .i32(0)       // isecb
      .f32(5.0F)    // xbtz
      .i32(a.irlg)
      .i32(1)       // iavg
      .i32(3600)    // nsecdt
      .i32(a.nx)
      .i32(a.ny)
      .f32(a.dxkm)
      .f32(a.dxkm)  // dykm
      .i32(1)       // ione
      .f32(a.xorigkm)
      .f32(a.yorigkm)
      .i32(1)       // nssta
      .i32(1)       // ibcomp
      .i32(a.nx)    // iecomp
      .i32(1)       // jbcomp
      .i32(a.ny)    // jecomp
      .i32(1)       // ibsamp
      .i32(1)       // jbsamp
      .i32(a.nx)    // iesamp
      .i32(a.ny)    // jesamp
      .i32(1)       // meshdn
      .i32(1)       // npt1
      .i32(0)       // npt2
      .i32(0)       // nar1
      .i32(0)       // nar2
      .i32(0)       // nlines
      .i32(0)       // nln2
      .i32(0)       // nvl1
      .i32(0)       // nvl2
      .i32(0)       // msource
      .i32(nrec)
      .i32(0)       // nctrec
      .logical(false)  // lsamp
      .i32(1)       // nspout
      .logical(false)  // lcomprs
      .i32(1)       // i2dmet
      .i32(19)      // iutmzn
      .f32(0.0F)    // feast
      .f32(0.0F)    // fnorth
      .f32(40.0F)   // rnlat0
      .f32(-97.0F)  // relon0
      .f32(33.0F)   // xlat1
      .f32(45.0F)   // xlat2
      .text("UTM", 8)
      .text("N", 4)
      .text("WGS-84", 8)
      .text("02-21-2003", 12)
      .text("40.0 N", 16)
      .text("97.0 W", 16)
      .text("33.0 N", 16)
      .text("45.0 N", 16)
      .end();

  // Record 6: titles. Titles the control file never set are zero bytes and
  // are written as they are.
  std::string title3 = a.title3;
  if (title3.empty()) {
    title3 = fixed(traits(a.type).title, kTitleWidth);
    title3.replace(30, 20, format_cfactor(a.cfactor));
  }
  io8.begin().text(a.atitle[0], kTitleWidth).text(a.atitle[1], kTitleWidth).text(title3, kTitleWidth).end();

  io8.begin().text(a.speclev, 15).end();

  if (nrec != 0) io8.begin().f32s(a.xrec).f32s(a.yrec).f32s(a.zrec).end();

  // npt1 is always 1, so the source record is always written.
  io8.begin().i32(1).text(a.csrcnam, 16).end();
}

namespace {

// Decodes a record's items in list order, as wrout1 encodes them.
class Items {
 public:
  explicit Items(std::span<const std::byte> bytes) : bytes_(bytes) {}
  std::string text(std::size_t n) {
    return {reinterpret_cast<const char*>(take(n)), n};
  }
  std::int32_t i32() { return io::get_i32(take(4)); }
  bool logical() { return i32() != 0; }
  float f32() { return io::get_f32(take(4)); }
  void skip(std::size_t n) { take(n); }
  std::vector<float> f32s(std::size_t n) {
    std::vector<float> v(n);
    for (float& x : v) x = f32();
    return v;
  }

 private:
  // The callers size their reads from the record's known layout.
  const std::byte* take(std::size_t n) {
    const std::byte* p = bytes_.data() + at_;
    at_ += n;
    return p;
  }
  std::span<const std::byte> bytes_;
  std::size_t at_ = 0;
};

// The next record's first `need` bytes; fails on anything shorter.
std::span<const std::byte> whole(io::RecordReader& in, std::size_t need, const char* what) {
  const std::uint64_t at = in.position();
  std::span<const std::byte> view;
  const auto outcome = in.read_view(need, view);
  if (outcome == io::ReadOutcome::ok) return view;
  if (outcome == io::ReadOutcome::end_of_file) throw HeaderError(std::string("ends inside or before ") + what, at);
  throw HeaderError(std::string(what) + " is shorter than it must be", at);
}

constexpr std::size_t kRunRecord = 320;

}  // namespace

HeaderInfo read_header(io::RecordReader& in, std::int32_t max_receptors) {
  HeaderInfo h;
  Items r1(whole(in, 96, "the first header record"));
  h.kind = r1.text(16);
  h.version = r1.text(16);

  const std::uint64_t count_at = in.position();
  const std::int32_t ncom = Items(whole(in, 4, "the comment count")).i32();
  if (ncom < 0 || ncom > 1000) throw HeaderError("comment count " + std::to_string(ncom) + " is out of range", count_at);
  for (std::int32_t i = 0; i < ncom; ++i) {
    // A comment record may be shorter than its usual width.
    const std::uint64_t at = in.position();
    std::span<const std::byte> view;
    const auto outcome = in.read_view(kCommentWidth, view);
    if (outcome == io::ReadOutcome::end_of_file) throw HeaderError("ends inside or before a comment record", at);
    if (outcome == io::ReadOutcome::error && in.length() < 0) throw HeaderError("a comment record has a negative length", at);
    h.comments.push_back(Items(view).text(view.size()));
  }

  const std::uint64_t run_at = in.position();
  Items r5(whole(in, kRunRecord, "the run description record"));
  h.model = r5.text(12);
  r5.skip(24);  // two "00000" texts
  h.iyrb = r5.i32();
  h.ijulb = r5.i32();
  h.ihrb = r5.i32();
  r5.skip(8);  // isecb, xbtz
  h.irlg = r5.i32();
  h.iavg = r5.i32();
  h.nsecdt = r5.i32();
  h.nx = r5.i32();
  h.ny = r5.i32();
  h.dxkm = r5.f32();
  h.dykm = r5.f32();
  r5.skip(4);  // ione
  h.xorigkm = r5.f32();
  h.yorigkm = r5.f32();
  r5.skip(4 * 10);  // nssta through meshdn
  for (auto& n : h.sources) n = r5.i32();
  h.msource = r5.i32();
  const std::int32_t nrec = r5.i32();
  if (nrec < 0 || nrec > max_receptors) {
    throw HeaderError("receptor count " + std::to_string(nrec) + " is out of range", run_at);
  }
  h.nctrec = r5.i32();
  h.lsamp = r5.logical();
  h.nspout = r5.i32();
  h.lcomprs = r5.logical();

  Items titles(whole(in, 3 * kTitleWidth, "the title record"));
  for (auto& t : h.titles) t = titles.text(kTitleWidth);
  h.speclev = Items(whole(in, 15, "the species record")).text(15);
  if (nrec > 0) {
    const auto n = static_cast<std::size_t>(nrec);
    Items rec(whole(in, 12 * n, "the receptor record"));
    h.xrec = rec.f32s(n);
    h.yrec = rec.f32s(n);
    h.zrec = rec.f32s(n);
  }
  Items source(whole(in, 20, "the source record"));
  source.skip(4);  // npt1
  h.csrcnam = source.text(16);
  return h;
}

}  // namespace kestrel::dataset
