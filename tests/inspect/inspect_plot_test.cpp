// Formatted POSTFILEs in kestrel-inspect: a hand-made file worked out by
// hand, a real one against its unformatted twin, detection and troubles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "inspect/inspect_support.hpp"
#include "support.hpp"

namespace kestrel::inspect {
namespace {

// Two receptors at (1, 2) and (3, -0.5) km; ALL holds 1.5 and 2 ug/m3 at
// hour 1, 4 and 0.25 at hour 2 (written with exponents); STACK1 3 and 5 at
// hour 2. Mean (1.5 + 2 + 4 + 0.25 + 3 + 5) / 6 = 2.625.
constexpr std::string_view kPlot =
    "* AERMOD ( 24142): A HAND-MADE FILE\n"
    "*        X             Y      AVERAGE CONC    ZELEV    ZHILL    ZFLAG    AVE     GRP       DATE     NET ID\n"
    "    1000.00000    2000.00000       1.50000     0.00     0.00     0.00    1-HR  ALL       88030101  NET1\n"
    "    3000.00000    -500.00000       2.00000     0.00     0.00     0.00    1-HR  ALL       88030101  NET1\n"
    "    1000.00000    2000.00000  0.400000E+01     0.00     0.00     0.00    1-HR  ALL       88030102  NET1\n"
    "    3000.00000    -500.00000  0.250000E+00     0.00     0.00     0.00    1-HR  ALL       88030102  NET1\n"
    "    1000.00000    2000.00000       3.00000     0.00     0.00     0.00    1-HR  STACK1    88030102  NET1\n"
    "    3000.00000    -500.00000       5.00000     0.00     0.00     0.00    1-HR  STACK1    88030102  NET1\n";

TEST(InspectPlot, SummaryAndTablesOfAHandMadeFile) {
  test::TempDir dir;
  const std::string p = (dir / "hand.plt").string();
  test::write_text(p, kPlot);
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;  // expected lines, in order, among the output's
  };
  const Case cases[] = {
      {{p},
       {p + ": formatted POSTFILE", "  receptors: 2 from (1.0000, -0.5000) to (3.0000, 2.0000) km (its first record's)",
        "  stamps: 88030101 to 88030102", "  source groups: ALL, STACK1", "  values written: with 5 decimals (F13.5)",
        "  periods: 3", "  first period ends: 1988-03-01 hour 01", "  last period ends: 1988-03-01 hour 02",
        "  values (ug/m3): min 0.25, max 5, mean 2.625", "    5 at 1988-03-01 hour 02, receptor 2 (3.0000, -0.5000) km",
        "    4 at 1988-03-01 hour 02, receptor 1 (1.0000, 2.0000) km"}},
      {{"--csv", p},
       {"group,time,receptor,x_km,y_km,value,unit", "ALL,1988-03-01T01:00,1,1,2,1.5,ug/m3",
        "ALL,1988-03-01T01:00,2,3,-0.5,2,ug/m3", "ALL,1988-03-01T02:00,1,1,2,4,ug/m3",
        "ALL,1988-03-01T02:00,2,3,-0.5,0.25,ug/m3", "STACK1,1988-03-01T02:00,1,1,2,3,ug/m3",
        "STACK1,1988-03-01T02:00,2,3,-0.5,5,ug/m3"}},
      {{"--receptors-csv", p},
       {"group,receptor,x_km,y_km,highest,highest_end,second,second_end,mean,unit",
        "ALL,1,1,2,4,1988-03-01T02:00,1.5,1988-03-01T01:00,2.75,ug/m3",
        "STACK1,2,3,-0.5,5,1988-03-01T02:00,,,5,ug/m3"}},
  };
  for (const auto& c : cases) {
    const Result r = inspect(c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto got = test::lines_of(r.out);
    EXPECT_EQ(got.front(), c.lines.front());
    if (c.args.front() == "--csv") {
      EXPECT_EQ(got, c.lines);  // every value
    }
    auto at = got.begin();
    for (const auto& want : c.lines) {
      at = std::find(at, got.end(), want);
      EXPECT_NE(at, got.end()) << want << "\nin\n" << r.out;
    }
  }
}

// Words equal, numbers to the 6 significant digits a PLOT line keeps.
void expect_same_to_plot_precision(const std::string& plot_line, const std::string& bin_line) {
  std::istringstream a(plot_line), b(bin_line);
  std::string u, v;
  while (a >> u && b >> v) {
    const auto number = [](std::string w, double& d) {
      if (!w.empty() && w.back() == ',') w.pop_back();
      char* end = nullptr;
      d = std::strtod(w.c_str(), &end);
      return !w.empty() && *end == '\0';
    };
    double x = 0, y = 0;
    if (number(u, x) && number(v, y)) {
      EXPECT_NEAR(x, y, 1e-5 * std::fabs(y)) << plot_line << "\n" << bin_line;
    } else {
      EXPECT_EQ(u, v) << plot_line << "\n" << bin_line;
    }
  }
  EXPECT_TRUE(!(a >> u) && !(b >> v)) << plot_line << "\n" << bin_line;
}

// A real run's PLOT file read alone says what its unformatted twin read
// with the control file says: records, stamps, groups, receptors and their
// places (from the PLOT file's first record), values.
TEST(InspectPlot, RealFileMatchesItsUnformattedTwin) {
  const std::string d = std::string(KESTREL_TEST_DATA) + "/networks/fileform-exp/input/";
  const Result plot = inspect({d + "AERTEST_EXP_01H.PLT"});
  const Result bin = inspect({"--control", d + "AERMOD.INP", d + "AERTEST_EXP_01H.BIN"});
  ASSERT_EQ(plot.status, 0) << plot.err;
  ASSERT_EQ(bin.status, 0) << bin.err;
  const auto compared = [](const std::string& out) {
    std::vector<std::string> kept;
    const auto lines = test::lines_of(out);
    for (const auto& line : std::span(lines).subspan(1)) {
      if (line.starts_with("  value width:") || line.starts_with("  values written:")) continue;
      kept.push_back(line.starts_with("  receptors:") ? line.substr(0, line.find(' ', 14)) : line);
    }
    return kept;
  };
  const auto a = compared(plot.out), b = compared(bin.out);
  ASSERT_EQ(a.size(), b.size()) << plot.out << bin.out;
  EXPECT_EQ(a[0], "  receptors: 144");
  EXPECT_EQ(a[3], "  periods: 24");
  for (std::size_t i = 0; i < a.size(); ++i) expect_same_to_plot_precision(a[i], b[i]);
}

// Which files are read as PLOT files, and how a cut, unreadable or
// misplaced one is told.
TEST(InspectPlot, DetectionAndTroubles) {
  test::TempDir dir;
  const std::string d = dir.path().string() + "/";
  const std::string body(kPlot.substr(kPlot.find("    1000")));
  std::string bad(kPlot);
  bad.replace(bad.find("0.400000E+01"), 12, "0.4x");
  test::write_text(d + "bare", body);  // no header: a PLOT file all the same
  test::write_text(d + "cut", kPlot.substr(0, kPlot.find("  STACK1") + 12));
  test::write_text(d + "bad", bad);
  test::write_text(d + "headers", "* AERMOD\n* no lines\n");
  test::write_text(d + "hand", kPlot);
  test::write_text(d + "moved.inp", "CO MODELOPT CONC\nRE DISCCART 1000 2000\nRE DISCCART 3000 -400\n");
  test::write_text(d + "one.inp", "CO MODELOPT CONC\nRE DISCCART 1000 2000\n");
  const std::string warn = "WARNING: " + d + "hand holds ";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_has, err;
  };
  const Case cases[] = {
      {{d + "bare"}, 0, "  periods: 3\n", ""},
      {{d + "cut"}, 0, "  periods: 2\n",
       "WARNING: " + d + "cut ends inside a record; its incomplete last record was not converted\n"},
      {{d + "bad"}, 2, "",
       "kestrel-inspect: " + d + "bad: cannot read Line 5: 1000.00000    2000.00000  0.4x     0.00     0.00     "
       "0.00    1-HR  ALL       88030102  NET1\n"},
      {{d + "headers"}, 2, "", "kestrel-inspect: " + d + "headers: holds no record\n"},
      {{"--real8", d + "hand"}, 2, "",
       "kestrel-inspect: " + d + "hand: a formatted POSTFILE: --real4, --real8 and --receptors are for unformatted ones\n"},
      {{"--control", d + "moved.inp", d + "hand"}, 0, "receptor 2 (3.0000, -0.4000) km",
       warn + "receptors at other places than the control file's, first receptor 2\n"},
      {{"--control", d + "one.inp", d + "hand"}, 0, "  receptors: 1 from (1.0000, 2.0000) to (1.0000, 2.0000) km (the control file's)",
       warn + "records with more values than the control file has receptors; only the first values were converted\n"},
  };
  for (const auto& k : cases) {
    const Result r = inspect(k.args);
    EXPECT_EQ(r.status, k.status) << k.args.back() << "\n" << r.err;
    EXPECT_NE(r.out.find(k.out_has), std::string::npos) << r.out;
    EXPECT_EQ(r.err, k.err);
  }
}

}  // namespace
// A deposition run: each type of its POSTFILEs, UNFORM or PLOT, read with
// --type, gives its dataset's highest values per receptor, in ug/m3 or ug/m2/h.
TEST(InspectDeposition, TypesOfPostfilesAndFluxDatasets) {
  test::TempDir dir;
  const std::string d = dir.path().string() + "/";
  for (const auto& e : std::filesystem::directory_iterator(std::string(KESTREL_TEST_DATA) + "/testgas-deposition/input")) {
    std::filesystem::copy_file(e.path(), dir / e.path().filename().string());
  }
  ASSERT_EQ(test::run_in(dir.path()).status, 0);
  // The highest value of each receptor, from --receptors-csv.
  const auto highest = [](const std::string& csv) {
    std::vector<double> v;
    const auto lines = test::lines_of(csv);
    const auto column = std::count(lines[0].begin(), lines[0].begin() + static_cast<std::ptrdiff_t>(lines[0].find("highest")), ',');
    for (const auto& line : std::span(lines).subspan(1)) {
      std::size_t at = 0;
      for (std::ptrdiff_t comma = 0; comma < column; ++comma) at = line.find(',', at) + 1;
      v.push_back(std::strtod(line.c_str() + at, nullptr));
    }
    return v;
  };
  for (const char* type : {"conc", "ddep", "wdep"}) {
    SCOPED_TRACE(type);
    const bool flux = std::string(type) != "conc";
    const std::string suffix = flux ? "." + std::string(type, 1) + "flx.gdx" : ".gdx";
    const Result ds = inspect({d + "ALL_01H.BIN" + suffix});
    const Result ds_csv = inspect({"--receptors-csv", "--svg", d + "ds.svg", d + "ALL_01H.BIN" + suffix});
    const Result bin = inspect({"--control", d + "AERMOD.INP", "--type", type, "--receptors-csv", d + "ALL_01H.BIN"});
    const Result plt = inspect({"--control", d + "AERMOD_PLOT.INP", "--type", type, "--receptors-csv", d + "ALL_01H.PLT"});
    ASSERT_EQ(ds.status + ds_csv.status + bin.status + plt.status, 0) << ds.err << bin.err << plt.err;
    EXPECT_NE(ds.out.find(flux ? "  values (g/m2/s)" : "  values (g/m3)"), std::string::npos);
    EXPECT_NE(ds.out.find(flux ? (type[0] == 'd' ? "  dataset: DFLX.DAT" : "  dataset: WFLX.DAT") : "  dataset: CONC.DAT"),
              std::string::npos);
    EXPECT_NE(test::read_text(dir / "ds.svg").find(flux ? "µg/m²/h" : "µg/m³"), std::string::npos);
    const auto want = highest(ds_csv.out), got = highest(bin.out), printed = highest(plt.out);
    ASSERT_EQ(want.size(), 46U);
    ASSERT_EQ(got.size(), want.size());
    ASSERT_EQ(printed.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k) {
      EXPECT_NEAR(got[k], want[k], 2e-6 * want[k]) << k;
      EXPECT_NEAR(printed[k], want[k], 0.5e-5 + 2e-6 * want[k]) << k;  // F13.5 in ug
    }
  }
  EXPECT_EQ(inspect({"--type", "ddep", d + "ALL_01H.BIN"}).status, 2);
  const Result absent = inspect({"--control", d + "AERMOD.INP", "--type", "depos", d + "ALL_01H.BIN"});
  EXPECT_EQ(absent.err, "kestrel-inspect: " + d + "AERMOD.INP: the control file's MODELOPT has no DEPOS\n");
}


// What kestrel-inspect says of a control file given in a file's place, and
// the types a formatted POSTFILE's own column line names.
TEST(InspectPlot, ControlFileGivenAndTypesFromTheColumnLine) {
  const std::string d = std::string(KESTREL_TEST_DATA) + "/testgas-deposition/input/";
  const Result control = inspect({d + "AERMOD.INP"});
  EXPECT_EQ(control.status, 2);
  EXPECT_EQ(control.err, "kestrel-inspect: " + d +
                             "AERMOD.INP is an AERMOD control file; give a dataset or a POSTFILE, and this file with "
                             "--control\n");
  struct Case {
    const char* type;
    const char* file;
    std::string want;  // a line of the summary, or the error
  };
  const std::vector<Case> cases = {
      {"WDEP", "ALL_01H.PLT", "  output type: WDEP, set 3 of 3"},
      {"ddep", "ALL_01H.PLT", "  output type: DDEP, set 2 of 3"},
      {"DEPOS", "ALL_01H.PLT",
       "kestrel-inspect: " + d + "ALL_01H.PLT: its column line names no DEPOS (it names CONC, DDEP, WDEP); give the "
       "run's control file with --control\n"},
      {"CONC", "ALL_01H.BIN",
       "kestrel-inspect: " + d + "ALL_01H.BIN: --type on an unformatted POSTFILE goes with --control, whose MODELOPT "
       "tells the types\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.file);
    const Result r = inspect({"--type", c.type, d + c.file});
    if (c.want.starts_with("kestrel-inspect:")) {
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.err, c.want);
    } else {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_NE(r.out.find("\n" + c.want + "\n"), std::string::npos) << r.out;
    }
  }
  // The same values as with the control file's MODELOPT.
  const Result own = inspect({"--type", "WDEP", "--csv", d + "ALL_01H.PLT"});
  const Result with_control = inspect({"--control", d + "AERMOD_PLOT.INP", "--type", "WDEP", "--csv", d + "ALL_01H.PLT"});
  EXPECT_EQ(own.out, with_control.out);
}

}  // namespace kestrel::inspect
