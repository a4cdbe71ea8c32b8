// What CO MODELOPT, CO POLLUTID and the SO unit keywords decide, through
// the SETUP phase.
#include "setup/options.hpp"

#include <gtest/gtest.h>

#include "setup/setup.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

using dataset::OutputType;

using test::SetupRun;

SetupRun run(const std::string& co, const std::string& so, const std::string& included = "") {
  std::vector<std::pair<std::string, std::string>> files;
  if (!included.empty()) files.emplace_back("units.inc", included);
  return test::run_setup("CO STARTING\n" + co + "CO FINISHED\nSO STARTING\n" + so +
                             "SO FINISHED\nRE STARTING\n   DISCCART 1. 2.\nRE FINISHED\n"
                             "OU POSTFILE 1 ALL UNFORM P.BIN\n",
                         files);
}

TEST(Options, TypesFromTheLastModeloptInAermodsOrder) {
  using T = OutputType;
  struct Case {
    std::string co;
    std::vector<T> want;  // empty: halts
  };
  const Case cases[] = {
      {"   MODELOPT  DFAULT CONC\n", {T::conc}},
      {"   MODELOPT  CONC DDEP WDEP FLAT ALPHA\n", {T::conc, T::ddep, T::wdep}},
      {"   MODELOPT  WDEP DDEP\n", {T::ddep, T::wdep}},
      {"   MODELOPT  WDEP,DEPOS CONC DDEP\n", {T::conc, T::depos, T::ddep, T::wdep}},
      {"   MODELOPT  DFAULT\n", {T::conc}},
      {"   MODELOPT  DDEP DRYDPLT WETDPLT NODRYDPLT\n", {T::ddep}},
      {"   MODELOPT  CONCX DDEPO\n", {T::conc}},  // words, not parts of words
      {"   MODELOPT  DDEP\n   MODELOPT  CONC\n", {T::conc}},
      {"   MODELOPT  CONC\n   MODELOPT  DEPOS\n", {T::depos}},
      {"   POLLUTID  SO2\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.co);
    const SetupRun s = run(c.co, "");
    if (c.want.empty()) {
      EXPECT_EQ(s.halt.text(), "Halted in SETUP:  Must ONLY have Concentrations!");
      continue;
    }
    ASSERT_TRUE(s.halt.ok()) << s.list;
    EXPECT_EQ(s.ctrl.types, c.want);
  }
}

TEST(Options, PollutantIsTheFirstWord) {
  const std::pair<std::string, std::string> cases[] = {
      {"   POLLUTID  NO2 H1H\n", "NO2"},
      {"   POLLUTID  so2\n", "SO2"},
      {"   POLLUTID  ABCDEFGHIJKLMNOP\n", "ABCDEFGHIJKL"},
      {"   POLLUTID\n", ""},
  };
  for (const auto& [co, want] : cases) {
    EXPECT_EQ(run("   MODELOPT CONC\n" + co, "").ctrl.aerspec, want) << co;
  }
}

// Where a unit line may stand: on the SO pathway as written, on a line whose
// blank pathway field continues SO, and in an SO INCLUDED file.
enum class Place { explicit_so, continued, included };

SetupRun run_units(const std::string& modelopt, const std::string& lines, Place place) {
  const std::string co = "   MODELOPT  " + modelopt + "\n";
  if (place == Place::included) return run(co, "SO INCLUDED units.inc\n", "** units\n" + lines);
  std::string so = lines;
  if (place == Place::explicit_so) {
    for (std::size_t at = 0; at < so.size(); at = so.find('\n', at) + 1) so.replace(at, 2, "SO");
  }
  return run(co, so);
}

TEST(Options, UnitLabelsGiveTheFactors) {
  struct Case {
    std::string modelopt;
    std::string lines;  // blank pathway field
    float cfactor;      // 0: the concentration halt
    float ffactor;      // 0: the deposition halt
    std::string label;  // shown by the halt
  };
  const float per_hour = 1.0F / 3600.0F;
  const Case cases[] = {
      {"CONC", "", 1.0e-6F, per_hour, ""},
      {"CONC", "   EMISUNIT 1.0E6 (GRAMS/SEC) (MICROGRAMS/M**3)\n", 1.0e-6F, per_hour, ""},
      {"CONC", "   EMISUNIT 1.0E3 GRAMS/SEC MILLIGRAMS/M**3\n", 1.0e-3F, per_hour, ""},
      {"CONC", "   EMISUNIT 1.0E3 GRAMS/SEC MILLIGRAMS/M3\n", 1.0e-3F, per_hour, ""},
      {"CONC", "   EMISUNIT 1.0E3 GRAMS/SEC mg/m^3\n", 1.0e-3F, per_hour, ""},
      {"CONC", "   EMISUNIT 1.0E9 GRAMS/SEC NANOGRAMS/M**3\n", 1.0e-9F, per_hour, ""},
      {"CONC", "   EMISUNIT 1.0E9 GRAMS/SEC NG/M**3\n", 1.0e-9F, per_hour, ""},
      {"CONC", "   EMISUNIT 1.0 GRAMS/SEC GRAMS/M**3\n", 1.0F, per_hour, ""},
      {"CONC", "   EMISUNIT 1.0 GRAMS/SEC G/M3\n", 1.0F, per_hour, ""},
      {"CONC", "   EMISUNIT 1.0E6 GRAMS/SEC UG/M**3\n", 1.0e-6F, per_hour, ""},
      {"CONC", "   CONCUNIT 1.0E3 GRAMS/SEC MILLIGRAM/M**3\n   EMISUNIT 1.0E6 GRAMS/SEC MICROGRAM/M**3\n", 1.0e-3F,
       per_hour, ""},
      {"CONC", "   EMISUNIT 1.0E6 GRAMS/SEC MICROGRAMS/M**3\n   EMISUNIT 1.0 GRAMS/SEC GRAMS/M**3\n", 1.0F, per_hour,
       ""},
      {"CONC", "   EMISUNIT 1.0E6 GRAMS/SEC PPB\n", 0.0F, 0.0F, "PPB"},
      {"CONC", "   CONCUNIT 1.0E3 GRAMS/SEC PPB\n", 0.0F, 0.0F, "PPB"},
      {"CONC", "   CONCUNIT 1.0E6 GRAMS/SEC (MICROGRAMS/L)\n", 0.0F, 0.0F, "(MICROGRAMS/L)"},
      {"CONC", "   EMISUNIT 1.0E6 GRAMS/SEC\n", 0.0F, 0.0F, ""},
      // Deposition: DEPOUNIT, else grams per square metre.
      {"CONC DDEP WDEP", "   DEPOUNIT 3.6E9 GRAM/SEC MICROGRAMS/M**2\n", 1.0e-6F,
       static_cast<float>(1.0e-6 / 3600.0), ""},
      {"CONC DDEP WDEP", "   DEPOUNIT 3.6D6 grams/sec milligrams/sq-m\n", 1.0e-6F,
       static_cast<float>(1.0e-3 / 3600.0), ""},
      {"DEPOS", "   DEPOUNIT 3.6E3 GRAMS/SEC (GRAMS/M^2)\n", 1.0e-6F, per_hour, ""},
      {"DDEP", "   DEPOUNIT 1 GRAMS/SEC NG/SQM\n", 1.0e-6F, static_cast<float>(1.0e-9 / 3600.0), ""},
      {"WDEP", "   DEPOUNIT 1 GRAMS/SEC MG/M2\n", 1.0e-6F, static_cast<float>(1.0e-3 / 3600.0), ""},
      {"CONC DDEP", "", 1.0e-6F, per_hour, ""},
      // EMISUNIT is the deposition's unit where there is no concentration.
      {"DDEP WDEP", "   EMISUNIT 1.0E3 GRAMS/SEC MILLIGRAMS/M**2\n", 1.0e-6F, static_cast<float>(1.0e-3 / 3600.0),
       ""},
      {"CONC DDEP", "   EMISUNIT 1.0E3 GRAMS/SEC MILLIGRAMS/M**3\n", 1.0e-3F, per_hour, ""},
      {"DDEP", "   DEPOUNIT 1 GRAMS/SEC MG/M**2\n   EMISUNIT 1 GRAMS/SEC G/M**2\n", 1.0e-6F,
       static_cast<float>(1.0e-3 / 3600.0), ""},
      // A unit of a type the run does not have is not looked at.
      {"CONC", "   DEPOUNIT 1 GRAMS/SEC KG/HA\n", 1.0e-6F, per_hour, ""},
      {"DDEP", "   CONCUNIT 1 GRAMS/SEC PPB\n", 1.0e-6F, per_hour, ""},
      {"CONC WDEP", "   DEPOUNIT 1 GRAMS/SEC MICROGRAMS/M**3\n", 1.0e-6F, 0.0F, "MICROGRAMS/M**3"},
      {"DDEP", "   EMISUNIT 1 GRAMS/SEC GRAMS/M**3\n", 1.0e-6F, 0.0F, "GRAMS/M**3"},
      {"DDEP", "   DEPOUNIT 1 GRAMS/SEC KG/HA\n", 1.0e-6F, 0.0F, "KG/HA"},
  };
  for (const Place place : {Place::explicit_so, Place::continued, Place::included}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.modelopt + ": " + c.lines + " place " + std::to_string(static_cast<int>(place)));
      const SetupRun s = run_units(c.modelopt, c.lines, place);
      if (c.cfactor == 0.0F) {
        EXPECT_EQ(s.halt.text(),
                  "Halted in SETUP:  concentration unit is not a mass per cubic metre   --   See the list file");
        EXPECT_TRUE(s.list.starts_with(" Halted in SETUP:  concentration unit is not a mass per cubic metre\n"
                                       " Concentration unit: " + c.label + "\n In ")) << s.list;
        EXPECT_NE(s.list.find("\n Accepted: <mass>/<volume> with <mass> one of MICROGRAMS, "), std::string::npos);
      } else if (c.ffactor == 0.0F) {
        EXPECT_EQ(s.halt.text(), "Halted in SETUP:  deposition unit is not a mass per square metre   --   See the list file");
        EXPECT_TRUE(s.list.starts_with(" Halted in SETUP:  deposition unit is not a mass per square metre\n"
                                       " Deposition unit: " + c.label + "\n In ")) << s.list;
        EXPECT_NE(s.list.find("\n Accepted: <mass>/<area> with"), std::string::npos);
      } else {
        ASSERT_TRUE(s.halt.ok()) << s.list;
        EXPECT_EQ(s.ctrl.cfactor, c.cfactor);
        EXPECT_EQ(s.ctrl.ffactor, c.ffactor);
      }
    }
  }
}

// AERMOD takes the unit keywords on the SO pathway alone; elsewhere they are
// not units.
TEST(Options, UnitKeywordsOffTheSoPathwayAreNotRead) {
  const SetupRun s = run("   MODELOPT CONC\nCO EMISUNIT 1.0E3 GRAMS/SEC MILLIGRAMS/M**3\n   CONCUNIT 1 G/S PPB\n", "");
  ASSERT_TRUE(s.halt.ok()) << s.list;
  EXPECT_EQ(s.ctrl.cfactor, 1.0e-6F);
}

}  // namespace
}  // namespace kestrel
