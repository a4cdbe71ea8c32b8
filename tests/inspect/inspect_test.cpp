#include "inspect/inspect.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "dataset/header.hpp"
#include "base/text.hpp"
#include "support.hpp"

namespace kestrel::inspect {
namespace {

using test::ByteBuilder;
using test::Bytes;

struct Result {
  int status;
  std::string out, err;
};

Result inspect(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = run_inspect(args, out, err);
  return {status, out.str(), err.str()};
}

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
           "  against the run period: 1 hours missing, 1 repeated, 0 outside\n",
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
  EXPECT_EQ(lines[0], "time,receptor,x_km,y_km,value");
  EXPECT_EQ(lines[1], "1988-01-01T01:00,1,1,2,1");
  EXPECT_EQ(lines[8], "1988-01-01T04:00,2,3,4,8");
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
