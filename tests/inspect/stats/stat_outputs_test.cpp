// --stat and --unit in kestrel-inspect's outputs: the per-receptor table,
// the console, JSON and the map of a statistic, on a hand-made formatted
// POSTFILE worked out by hand, and the units of a flux dataset.
#include <gtest/gtest.h>

#ifdef KESTREL_HAVE_JSON
#include <nlohmann/json.hpp>
#endif

#include <string>
#include <vector>

#include "inspect/inspect_support.hpp"
#include "support.hpp"

namespace kestrel::inspect {
namespace {

// Two receptors at (1, 2) and (3, -0.5) km; ALL holds 1.5 and 2 ug/m3 at
// hour 1, 4 and 0.25 at hour 2; STACK1 3 and 5 at hour 2.
constexpr std::string_view kPlot =
    "* AERMOD ( 24142): A HAND-MADE FILE\n"
    "    1000.00000    2000.00000       1.50000     0.00     0.00     0.00    1-HR  ALL       88030101  NET1\n"
    "    3000.00000    -500.00000       2.00000     0.00     0.00     0.00    1-HR  ALL       88030101  NET1\n"
    "    1000.00000    2000.00000       4.00000     0.00     0.00     0.00    1-HR  ALL       88030102  NET1\n"
    "    3000.00000    -500.00000       0.25000     0.00     0.00     0.00    1-HR  ALL       88030102  NET1\n"
    "    1000.00000    2000.00000       3.00000     0.00     0.00     0.00    1-HR  STACK1    88030102  NET1\n"
    "    3000.00000    -500.00000       5.00000     0.00     0.00     0.00    1-HR  STACK1    88030102  NET1\n";

void expect_lines(const std::string& text, const std::vector<std::string>& want) {
  const auto got = test::lines_of(text);
  std::size_t at = 0;
  for (const auto& w : want) {
    while (at < got.size() && got[at] != w) ++at;
    EXPECT_LT(at, got.size()) << "missing, or out of order: " << w << "\n" << text;
  }
}

TEST(InspectStatOutputs, TablesConsoleJsonAndMapOfAHandMadeFile) {
  test::TempDir dir;
  const std::string p = (dir / "hand.plt").string(), svg = (dir / "m.svg").string();
  test::write_text(p, kPlot);
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      // ALL: receptor 1's second hour is 1.5 (hour 1), receptor 2's 0.25 (hour 2);
      // STACK1 has one hour: no second, 0 undated. Above 1.9: 4, 2, 3 and 5.
      {{"--receptors-csv", "--stat", "high:2", "--stat", "exceed:1.9", "--stat", "mean", p},
       {"group,receptor,x_km,y_km,high_2,high_2_end,exceed_1.9,mean,unit",
        "ALL,1,1,2,1.5,1988-03-01T01:00,1,2.75,ug/m3", "ALL,2,3,-0.5,0.25,1988-03-01T02:00,1,1.125,ug/m3",
        "STACK1,1,1,2,0,,1,3,ug/m3", "STACK1,2,3,-0.5,0,,1,5,ug/m3"}},
      // The threshold is in the unit shown: 1.9 g/m3 is never reached.
      {{"--receptors-csv", "--unit", "g/m3", "--stat", "high:2", "--stat", "exceed:1.9", p},
       {"group,receptor,x_km,y_km,high_2,high_2_end,exceed_1.9,unit", "ALL,1,1,2,1.5e-06,1988-03-01T01:00,0,g/m3"}},
      {{"--stat", "high:2", p},
       {"  high:2, the 2nd highest 1-hour value (ug/m3); highest receptors:",
        "    1.5 at 1988-03-01 hour 01, receptor 1 (1.0000, 2.0000) km, group ALL",
        "    0.25 at 1988-03-01 hour 02, receptor 2 (3.0000, -0.5000) km, group ALL"}},
      {{"--unit", "g/m3", p},
       {"  values (g/m3): min 2.5e-07, max 5e-06, mean 2.625e-06",
        "    5e-06 at 1988-03-01 hour 02, receptor 2 (3.0000, -0.5000) km"}},
  };
  for (const auto& c : cases) {
    const Result r = inspect(c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    expect_lines(r.out, c.lines);
  }
  const Result json = inspect({"--json", "--unit", "g/m3", "--stat", "high:2", p});
  ASSERT_EQ(json.status, 0) << json.err;
#ifdef KESTREL_HAVE_JSON
  const auto doc = nlohmann::json::parse(json.out);
  EXPECT_EQ(doc["unit"], "g/m3");
  EXPECT_EQ(doc["min"], 2.5e-07);
  EXPECT_EQ(doc["max"], 5e-06);
  const auto& st = doc["statistics"][0];
  EXPECT_EQ(st["name"], "high:2");
  EXPECT_EQ(st["title"], "2nd highest 1-hour value");
  EXPECT_EQ(st["highest"][0],
            nlohmann::json::parse(R"({"value": 1.5e-06, "time": "1988-03-01T01:00", "receptor": 1, "x_km": 1,
                                      "y_km": 2, "group": "ALL"})"));
#endif
  // The map of a statistic says which in its title and legend, and marks its highest.
  const Result map = inspect({"--svg", svg, "--stat", "high:2", p});
  ASSERT_EQ(map.status, 0) << map.err;
  const std::string drawn = test::read_text(svg);
  for (const char* want : {"2nd highest 1-hour value at each receptor, µg/m³", ">high:2, µg/m³<", ">1.5 µg/m³<",
                           ">1988-03-01 01:00<"}) {
    EXPECT_NE(drawn.find(want), std::string::npos) << want;
  }
  // Two hours of 1988: less than a year, computed and said to be no design value.
  const Result year = inspect({"--stat", "daily-max:1", p});
  EXPECT_EQ(year.status, 0);
  EXPECT_NE(year.err.find("WARNING: " + p + " (group ALL): daily-max:1: the data holds less than one of AERMOD's "
                          "years (12 months from its first hour): the value is over the one partial period and is "
                          "not a design value\n"),
            std::string::npos)
      << year.err;
}

// A flux dataset's tables name its own unit; a concentration unit is refused for it.
TEST(InspectStatOutputs, UnitsOfAFluxDataset) {
  const std::string d = std::string(KESTREL_TEST_DATA) + "/testgas-deposition/expected/ALL_01H.BIN.dflx.gdx";
  const Result own = inspect({"--receptors-csv", "--stat", "max", d});
  ASSERT_EQ(own.status, 0) << own.err;
  const auto rows = test::lines_of(own.out);
  ASSERT_EQ(rows.size(), 47U);
  for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_EQ(rows[i].substr(rows[i].rfind(',')), ",ug/m2/h");
  const Result per_second = inspect({"--unit", "g/m2/s", d});
  EXPECT_NE(per_second.out.find("  values (g/m2/s): "), std::string::npos);
  for (const char* unit : {"ug/m3", "g/m3"}) {
    const Result refused = inspect({"--receptors-csv", "--unit", unit, d});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "kestrel-inspect: " + d + ": holds deposition fluxes: --unit takes ug/m2/h or g/m2/s for it, not " +
                               unit + "\n");
    EXPECT_EQ(refused.out, "receptor,x_km,y_km,highest,highest_end,second,second_end,mean,unit\n");
  }
}

}  // namespace
}  // namespace kestrel::inspect
