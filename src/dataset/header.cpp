#include "dataset/header.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/text.hpp"

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
      .text("CONC.DAT", 16)
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
  std::string title3 = fixed("Conversion Factor to g/m3:", kTitleWidth);
  title3.replace(30, 20, format_cfactor(a.cfactor));
  io8.begin().text(a.atitle[0], kTitleWidth).text(a.atitle[1], kTitleWidth).text(title3).end();

  io8.begin().text(a.speclev, 15).end();

  if (nrec != 0) io8.begin().f32s(a.xrec).f32s(a.yrec).f32s(a.zrec).end();

  // npt1 is always 1, so the source record is always written.
  io8.begin().i32(1).text(a.csrcnam, 16).end();
}

}  // namespace kestrel::dataset
