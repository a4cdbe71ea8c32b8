#include "inspect/inspect.hpp"

#include <gtest/gtest.h>

#ifdef KESTREL_HAVE_JSON
#include <nlohmann/json.hpp>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "base/text.hpp"
#include "dataset/header.hpp"
#include "inspect/inspect_support.hpp"
#include "support.hpp"

namespace kestrel::inspect {
namespace {

using test::ByteBuilder;
using test::Bytes;


// A dataset of two receptors at (1, 2) and (3, 4) km, run from 1988-01-01
// hour 0 for 4 hours; periods end at hours 1, 2, 2 and 4 (3 is missing).
Bytes small_dataset() {
  const std::array<float, 2> x{1.0F, 3.0F}, y{2.0F, 4.0F}, z{0.0F, 0.0F};
  dataset::HeaderArgs a;
  a.dxkm = 1.0F, a.xorigkm = 1.0F, a.yorigkm = 2.0F;
  a.iyrb = 88, a.ijulb = 1, a.ihrb = 0, a.irlg = 4;
  a.xrec = x, a.yrec = y, a.zrec = z;
  a.ver = fixed("1.21", 12), a.level = fixed("100301", 12), a.speclev = "NOX           1", a.csrcnam = fixed("TOTAL", 16);
  a.atitle = {fixed("FIRST TITLE", 80), std::string(80, '\0')};
  Bytes b = test::expected_header(a);
  const int hours[] = {1, 2, 2, 4};
  const float values[4][2] = {{1.0F, 2.0F}, {3.0F, 4.0F}, {5.0F, 0.5F}, {0.25F, 8.0F}};
  for (int p = 0; p < 4; ++p) {
    ByteBuilder r;
    r.i32(1988).i32(1).i32(hours[p] - 1).i32(0).i32(1988).i32(1).i32(hours[p]).i32(0).record();
    r.i32(0).i32(1).text("TOTAL", 16).f32(2.0F).f32(3.0F).record();
    r.text("NOX           1").f32(values[p][0]).f32(values[p][1]).record();
    b.insert(b.end(), r.bytes().begin(), r.bytes().end());
  }
  return b;
}

TEST(Inspect, DatasetSummary) {
  test::TempDir dir;
  test::write_bytes(dir / "d.gdx", small_dataset());
  const Result r = inspect({(dir / "d.gdx").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* want : {
           "  dataset: CONC.DAT version 2.1\n", "  model: AERMOD\n",
           "  program: Produced by KESTREL Version: 1.21  Level: 100301\n", "  begin: 1988-01-01 hour 00\n",
           "  run length: 4 h\n", "  receptors: 2 from (1.0000, 2.0000) to (3.0000, 4.0000) km\n",
           "  species: NOX, level 1\n", "  title 1: FIRST TITLE\n", "  title 2: \n", "  source: TOTAL\n",
           "  periods: 4\n", "  first period ends: 1988-01-01 hour 01\n", "  last period ends: 1988-01-01 hour 04\n",
           "  against the run period: 1 hour missing, 1 repeated, 0 outside\n",
           // (1 + 2 + 3 + 4 + 5 + 0.5 + 0.25 + 8) / 8 = 2.96875
           "  values (g/m3): min 0.25, max 8, mean 2.96875\n",
           "    8 at 1988-01-01 hour 04, receptor 2 (3.0000, 4.0000) km\n",
           "    5 at 1988-01-01 hour 02, receptor 1 (1.0000, 2.0000) km\n"}) {
    EXPECT_NE(r.out.find(want), std::string::npos) << want << "\nin\n" << r.out;
  }
}

TEST(Inspect, CsvRows) {
  test::TempDir dir;
  test::write_bytes(dir / "d.gdx", small_dataset());
  const Result r = inspect({"--csv", (dir / "d.gdx").string()});
  ASSERT_EQ(r.status, 0);
  const auto lines = test::lines_of(r.out);
  ASSERT_EQ(lines.size(), 9U);
  EXPECT_EQ(lines[0], "time,receptor,x_km,y_km,value,unit");
  EXPECT_EQ(lines[1], "1988-01-01T01:00,1,1,2,1,g/m3");
  EXPECT_EQ(lines[8], "1988-01-01T04:00,2,3,4,8,g/m3");
}

TEST(Inspect, JsonParsesAndSvgIsWellFormed) {
  test::TempDir dir;
  test::write_bytes(dir / "d.gdx", small_dataset());
  const Result r = inspect({"--json", "--svg", (dir / "map.svg").string(), (dir / "d.gdx").string()});
  ASSERT_EQ(r.status, 0);
  // Parsed in CI (.ci/run, with Python) on the sample run: the tests run no interpreter.
  for (const char* item : {"\"periods\": 4", "\"max\": 8", "\"hours_missing\": 1", "\"x_km\": 3"}) {
    EXPECT_NE(r.out.find(item), std::string::npos) << item << " in " << r.out;
  }
  const std::string svg = test::read_text(dir / "map.svg");
  std::size_t circles = 0;
  for (auto at = svg.find("<circle"); at != std::string::npos; at = svg.find("<circle", at + 1)) ++circles;
  EXPECT_EQ(circles, 2U);
}

Bytes postfile(bool real8, int receptors, int records) {
  Bytes b;
  for (int h = 1; h <= records; ++h) {
    std::vector<double> v;
    for (int k = 0; k < receptors; ++k) v.push_back(0.25 * (k + 1) + h);
    const Bytes r = test::postfile_record(88030100 + h, v, real8, 1, h % 2 ? "ALL" : "STACK1");
    b.insert(b.end(), r.begin(), r.end());
  }
  return b;
}

TEST(Inspect, PostfileWidthAndReceptors) {
  struct Case {
    bool real8;
    int receptors;
    std::vector<std::string> options;
    std::string width;
    std::string count;
  };
  const Case cases[] = {
      {true, 3, {}, "8-byte", "3"},   {false, 3, {}, "4-byte", "3"},  {false, 10, {}, "4-byte", "10"},
      {true, 10, {}, "8-byte", "10"}, {false, 10, {"--real8"}, "8-byte", "5"}, {true, 4, {"--receptors", "4"}, "8-byte", "4"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    test::write_bytes(dir / "p.bin", postfile(c.real8, c.receptors, 3));
    std::vector<std::string> args = c.options;
    args.push_back((dir / "p.bin").string());
    const Result r = inspect(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  value width: " + c.width + " reals\n  receptors: " + c.count + "\n"), std::string::npos)
        << r.out;
  }
  test::TempDir dir;
  test::write_bytes(dir / "p.bin", postfile(true, 3, 3));
  const Result r = inspect({(dir / "p.bin").string()});
  for (const char* want : {"  stamps: 88030101 to 88030103\n", "  source groups: ALL, STACK1\n", "  periods: 3\n",
                           // values 0.25k + h for k = 1..3, h = 1..3: mean 2.5
                           "  values (ug/m3): min 1.25, max 3.75, mean 2.5\n"}) {
    EXPECT_NE(r.out.find(want), std::string::npos) << want << "\nin\n" << r.out;
  }
}

TEST(Inspect, ControlFileGivesCoordinates) {
  test::TempDir dir;
  test::write_text(dir / "run.inp", "CO MODELOPT CONC\nRE DISCCART 1000 2000\nRE DISCCART 3000 4000 5\n"
                                    "RE DISCCART -500 0 0\n");
  test::write_bytes(dir / "p.bin", postfile(true, 3, 2));
  const Result r = inspect({"--control", (dir / "run.inp").string(), (dir / "p.bin").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("    2.75 at 1988-03-01 hour 02, receptor 3 (-0.5000, 0.0000) km\n"), std::string::npos) << r.out;
}

TEST(Inspect, BadInputIsOneLineAndStatus2) {
  test::TempDir dir;
  Bytes cut = small_dataset();
  cut.resize(cut.size() / 2);
  test::write_bytes(dir / "cut.gdx", cut);
  test::write_bytes(dir / "junk", Bytes(100, std::byte{0xff}));
  test::write_bytes(dir / "empty", {});
  test::write_bytes(dir / "ok.gdx", small_dataset());
  struct Case {
    std::vector<std::string> args;
    std::string err_starts;
  };
  const std::string d = dir.path().string();
  const Case cases[] = {
      {{}, "kestrel-inspect: no file named (see kestrel-inspect --help)\n"},
      {{"--bogus", "x"}, "kestrel-inspect: unknown option --bogus (see kestrel-inspect --help)\n"},
      {{"--csv", "--json", "x"}, "kestrel-inspect: --csv and --json exclude each other (see kestrel-inspect --help)\n"},
      {{d + "/none"}, "kestrel-inspect: cannot open '" + d + "/none': No such file or directory\n"},
      {{d}, "kestrel-inspect: " + d + ": is a folder\n"},
      {{d + "/cut.gdx"}, "kestrel-inspect: " + d + "/cut.gdx: ends inside or before"},
      {{d + "/junk"}, "kestrel-inspect: " + d + "/junk: "},
      {{d + "/empty"}, "kestrel-inspect: " + d + "/empty: holds no record\n"},
      {{"--svg", d + "/m.svg", d + "/junk"}, "kestrel-inspect: " + d + "/junk: "},
      {{"--csv", "--unit", "mg/m3", "x"}, "kestrel-inspect: --unit takes ug/m3, g/m3, ug/m2/h or g/m2/s (see kestrel-inspect --help)\n"},
      {{"--filled", "x"}, "kestrel-inspect: --filled goes with a map (--svg, --png, --pdf, --geojson or --kml) (see kestrel-inspect "
       "--help)\n"},
      {{"--svg", d + "/none/m.svg", d + "/ok.gdx"},
       "kestrel-inspect: cannot create '" + d + "/none/m.svg': No such file or directory\n"},
  };
  for (const auto& c : cases) {
    const Result r = inspect(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, c.err_starts.size()), c.err_starts);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
}  // namespace kestrel::inspect

namespace kestrel::inspect {
namespace {

// The new outputs on the hand-built files, worked out by hand: the dataset's
// receptor 1 holds 1, 3, 5, 0.25 g/m3 at hours 1, 2, 2, 4 and receptor 2
// holds 2, 4, 0.5, 8; the POSTFILE's records hold 0.25 k + h ug/m3 at hour h,
// group ALL at hours 1 and 3, STACK1 at hour 2.
TEST(Inspect, ReceptorTablesAndCsvColumns) {
  test::TempDir dir;
  const std::string d = (dir / "d.gdx").string(), p = (dir / "p.bin").string();
  test::write_bytes(d, small_dataset());
  test::write_bytes(p, postfile(true, 3, 3));
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;  // expected lines, in order, among the output's
  };
  // Values as the shortest text that reads back to the same 4- or 8-byte real.
  const Case cases[] = {
      {{"--receptors-csv", d},
       {"receptor,x_km,y_km,highest,highest_end,second,second_end,mean,unit",
        "1,1,2,5e+06,1988-01-01T02:00,3e+06,1988-01-01T02:00,2312500,ug/m3",
        "2,3,4,8e+06,1988-01-01T04:00,4e+06,1988-01-01T02:00,3625000,ug/m3"}},
      {{"--receptors-csv", "--unit", "g/m3", d},
       {"receptor,x_km,y_km,highest,highest_end,second,second_end,mean,unit",
        "1,1,2,5,1988-01-01T02:00,3,1988-01-01T02:00,2.3125,g/m3"}},
      {{"--receptors-csv", p},
       {"group,receptor,x_km,y_km,highest,highest_end,second,second_end,mean,unit",
        "ALL,1,,,3.25,1988-03-01T03:00,1.25,1988-03-01T01:00,2.25,ug/m3",
        "ALL,3,,,3.75,1988-03-01T03:00,1.75,1988-03-01T01:00,2.75,ug/m3",
        "STACK1,1,,,2.25,1988-03-01T02:00,,,2.25,ug/m3"}},
      // Each file in its own unit, or all in one: a dataset and a POSTFILE row by row.
      {{"--csv", d, p},
       {"file,group,time,receptor,x_km,y_km,value,unit", d + ",TOTAL,1988-01-01T01:00,1,1,2,1,g/m3",
        d + ",TOTAL,1988-01-01T04:00,2,3,4,8,g/m3", p + ",STACK1,1988-03-01T02:00,3,,,2.75,ug/m3"}},
      {{"--csv", "--unit", "ug/m3", d, p},
       {"file,group,time,receptor,x_km,y_km,value,unit", d + ",TOTAL,1988-01-01T01:00,1,1,2,1e+06,ug/m3",
        p + ",STACK1,1988-03-01T02:00,3,,,2.75,ug/m3"}},
      {{"--csv", "--unit", "g/m3", d, p},
       {"file,group,time,receptor,x_km,y_km,value,unit", d + ",TOTAL,1988-01-01T04:00,2,3,4,8,g/m3",
        p + ",STACK1,1988-03-01T02:00,3,,,2.75e-06,g/m3"}},
  };
  for (const auto& c : cases) {
    const Result r = inspect(c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto got = test::lines_of(r.out);
    EXPECT_EQ(got.front(), c.lines.front());
    auto at = got.begin();
    for (const auto& want : c.lines) {
      at = std::find(at, got.end(), want);
      EXPECT_NE(at, got.end()) << want << "\nin\n" << r.out;
    }
  }
}

TEST(Inspect, JsonHeaderNumbers) {
  test::TempDir dir;
  test::write_bytes(dir / "d.gdx", small_dataset());
  test::write_bytes(dir / "p.bin", postfile(true, 3, 3));
  const Result r = inspect({"--json", (dir / "d.gdx").string(), (dir / "p.bin").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  // Numbers are JSON numbers: no quotes, no units.
  for (const char* want : {"\"run_length_h\": 4", "\"averaging_h\": 1", "\"receptors\": 2", "\"nx\": 2",
                           "\"cell_km\": 1", "\"x0_km\": 1", "\"y0_km\": 2", "\"x_max\": 3",
                           "\"begin\": \"1988-01-01T00:00\"", "\"species\": \"NOX\"", "\"value_width_bytes\": 8",
                           "\"receptors\": 3", "\"first_stamp\": 88030101"}) {
    EXPECT_NE(r.out.find(want), std::string::npos) << want << "\nin\n" << r.out;
  }
#ifdef KESTREL_HAVE_JSON
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc[1]["header"]["source_groups"], nlohmann::json::array({"ALL", "STACK1"}));
#endif
}

// A wrong override is refused; a POSTFILE cut inside a record is read as
// kestrel reads it, with kestrel's note.
TEST(Inspect, OverridesAndCutPostfiles) {
  test::TempDir dir;
  Bytes full;
  for (int h = 1; h <= 3; ++h) {
    const Bytes r = test::postfile_record(88030100 + h, {0.1 + h, 0.3 + h, 0.7 + h, 1.1 + h});
    full.insert(full.end(), r.begin(), r.end());
  }
  Bytes cut = full;
  cut.resize(cut.size() - 5);
  const std::string f = (dir / "p.bin").string(), c = (dir / "cut.bin").string();
  test::write_bytes(f, full);
  test::write_bytes(c, cut);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_has, err;
  };
  const Case cases[] = {
      {{"--real4", f}, 2, "", "kestrel-inspect: " + f + ": read with --real4 as 4-byte reals for 8 receptors, record 1 holds"},
      {{"--receptors", "4", f}, 0, "  periods: 3\n", ""},
      {{c}, 0, "  periods: 2\n",
       "WARNING: " + c + " ends inside a record; its incomplete last record was not converted\n"},
  };
  for (const auto& k : cases) {
    const Result r = inspect(k.args);
    EXPECT_EQ(r.status, k.status) << r.err;
    EXPECT_NE(r.out.find(k.out_has), std::string::npos) << r.out;
    EXPECT_EQ(r.err.substr(0, k.err.size()), k.err);
  }
}

// The pictures, checked for what a reader needs: marks, labels, axes.
TEST(Inspect, MapAndSeriesPictures) {
  test::TempDir dir;
  const std::string d = (dir / "d.gdx").string();
  test::write_bytes(d, small_dataset());
  struct Case {
    std::vector<std::string> args;
    std::string file;
    int circles;                     // -1: not counted
    std::vector<std::string> texts;  // each a whole <text> element's content
    bool dashed;                     // the nominal grid's dashed lines
  };
  const std::string map = (dir / "m.svg").string(), series = (dir / "s.svg").string();
  const Case cases[] = {
      {{"--svg", map, d}, map, 2,
       {"NOX, 1-hour: highest value at each receptor, µg/m³", "4 periods ending 1988-01-01 01:00 to 1988-01-01 04:00 · d.gdx",
        "x, km", "1.5", "8000000", "10000000"},
       false},
      {{"--svg", map, "--grid", d}, map, 2, {}, true},
      {{"--svg-series", series, d}, series, -1,
       {"NOX, 1-hour values at receptor 2 (3.000, 4.000) km, µg/m³", "8000000 µg/m³, period ending 1988-01-01 04:00",
        "01-01 01:00"},
       false},
      {{"--svg-series", series, "--receptor", "1", d}, series, -1,
       {"NOX, 1-hour values at receptor 1 (1.000, 2.000) km, µg/m³"}, false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.args[0]);
    const Result r = inspect(k.args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string doc = test::read_text(k.file);
    std::size_t circles = 0;
    for (std::size_t at = doc.find("<circle"); at != std::string::npos; at = doc.find("<circle", at + 1)) ++circles;
    if (k.circles >= 0) {
      EXPECT_EQ(circles, static_cast<std::size_t>(k.circles));
    }
    for (const auto& t : k.texts) EXPECT_NE(doc.find(">" + t + "<"), std::string::npos) << t;
    EXPECT_EQ(doc.find("dasharray") != std::string::npos, k.dashed);
  }
  {
    // Receptor 2's series: hours 1 and 2, then the missing hour 3 breaks the
    // line before hour 4.
    inspect({"--svg-series", series, d});
    const std::string doc = test::read_text(series);
    std::vector<std::size_t> lengths;
    for (std::size_t at = doc.find("points=\""); at != std::string::npos; at = doc.find("points=\"", at + 1)) {
      const std::size_t start = at + 8, end = doc.find('"', start);
      std::size_t n = 0;
      for (std::size_t i = start; i < end; ++i) n += doc[i] != ' ' && (i == start || doc[i - 1] == ' ') ? 1 : 0;
      lengths.push_back(n);
    }
    EXPECT_EQ(lengths, (std::vector<std::size_t>{3, 1}));
  }
  const Result r = inspect({"--svg-series", series, "--receptor", "3", d});
  EXPECT_EQ(r.err, "kestrel-inspect: " + d + ": --receptor 3: the file has 2 receptors\n");
}

// Forty days of hours across a new year: drawn as each column's range and
// the daily maximum, ticks on months with January as its year, the axis
// title without a year; the peak still marked.
TEST(Inspect, LongSeriesAcrossAYear) {
  test::TempDir dir;
  Bytes b;
  for (int day = 0; day < 40; ++day) {
    const int stamp_day = day < 31 ? 88120100 + day * 100 : 89010100 + (day - 31) * 100;
    for (int h = 1; h <= 24; ++h) {
      const double v = day == 33 && h == 7 ? 500.0 : 10.0 + h % 5;
      const Bytes r = test::postfile_record(stamp_day + h, {v, 1.0}, true, 1, "ALL");
      b.insert(b.end(), r.begin(), r.end());
    }
  }
  test::write_bytes(dir / "p.bin", b);
  const std::string series = (dir / "s.svg").string();
  const Result r = inspect({"--svg-series", series, (dir / "p.bin").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string doc = test::read_text(series);
  for (const char* t : {">period end<", ">1989<", ">500 µg/m³, period ending 1989-01-03 07:00<", ">daily maximum<",
                        ">range of the hours<"}) {
    EXPECT_NE(doc.find(t), std::string::npos) << t;
  }
  EXPECT_EQ(doc.find(">period end, 1988<"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::inspect
