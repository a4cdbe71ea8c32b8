// kestrel-inspect --stat against AERMOD's own tables on real runs: every
// receptor's value, date and calm/missing flag of a RECTABLE page, PERIOD,
// the design values over AERMOD's years and the deposition totals, within
// half a unit of AERMOD's last printed digit.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "analysis/hours.hpp"
#include "inspect/inspect_support.hpp"
#include "support.hpp"

namespace kestrel::inspect {
namespace {

const std::string kRuns = KESTREL_AVERAGES;

struct Printed {
  std::string value;  // as printed, for its last digit
  char flag = ' ';
  std::string date;  // YYMMDDHH, empty where the table has none
};

// The values of AERMOD's polar-grid page whose title holds `title` and
// `group`, row by row (direction, then distance: the receptors' order).
std::vector<Printed> page(const std::string& out_file, const std::string& title, const std::string& group) {
  const auto lines = test::lines_of(test::read_text(out_file));
  const std::regex cell(R"(([0-9]+\.[0-9]+)([cmb ]?)(?:\((\d{8})\))?)");
  std::vector<Printed> got;
  bool in_page = false, rows = false;
  for (const std::string& l : lines) {
    if (!in_page) {
      in_page = l.find(title) != std::string::npos && l.find("GROUP: " + group) != std::string::npos;
      if (!in_page) in_page = l.find(title) != std::string::npos && l.find("GROUP:  " + group) != std::string::npos;
      continue;
    }
    const auto bar = l.find('|');
    if (l.find(" - - -") != std::string::npos) {
      rows = true;
      continue;
    }
    if (!rows) continue;
    if (bar == std::string::npos) {
      if (!got.empty()) break;
      continue;
    }
    const std::string cells = l.substr(bar + 1);
    for (std::sregex_iterator it(cells.begin(), cells.end(), cell), end; it != end; ++it) {
      got.push_back({(*it)[1], (*it)[2].length() ? (*it)[2].str()[0] : ' ', (*it)[3]});
    }
  }
  return got;
}

// YYMMDDHH of an ISO period end (hour 00 is hour 24 of the day before).
std::string yymmddhh(const std::string& iso_end) {
  int y = 0, mo = 0, d = 0, h = 0;
  std::sscanf(iso_end.c_str(), "%d-%d-%dT%d", &y, &mo, &d, &h);
  if (h == 0) {
    const analysis::Time before = analysis::time_of(analysis::hour_number({y, *julday(y, mo, d), 0}) - 1);
    calendar_date(before.yr, before.jul, mo, d);
    y = before.yr;
    h = 24;
  }
  char b[16];
  std::snprintf(b, sizeof b, "%02d%02d%02d%02d", y % 100, mo, d, h);
  return b;
}

struct Case {
  std::string run, file;
  std::vector<std::string> options;
  std::string stat, out, title, group;
};

TEST(InspectStatAermod, EveryReceptorAsAermodPrintsIt) {
  const Case cases[] = {
      {"hrdow-houston-1996", "STACK1_01H.BIN", {}, "avg:24:1", "AERMOD.OUT", "1ST HIGHEST 24-HR AVERAGE", "STACK1"},
      {"hrdow-houston-1996", "STACK2_01H.BIN", {}, "avg:24:2", "AERMOD.OUT", "2ND HIGHEST 24-HR AVERAGE", "STACK2"},
      {"hrdow-houston-1996", "STACK1_01H.BIN", {}, "period", "AERMOD.OUT", "THE PERIOD (", "STACK1"},
      {"no2-design-value-1999", "ALL_01H.BIN", {}, "daily-max:1", "AERMOD.OUT", "1ST-HIGHEST MAX DAILY 1-HR", "ALL"},
      {"so2-design-value-from-april", "STACK1_01H.BIN", {}, "daily-max:1", "AERMOD.OUT",
       "1ST-HIGHEST MAX DAILY 1-HR", "STACK1"},
      {"pm25-design-value-3-years", "ALL_01H.BIN", {}, "avg-years:24:8", "AERMOD_DV.OUT", "8TH-HIGHEST 24-HR", "ALL"},
      {"pm25-design-value-3-years", "ALL_01H.BIN", {}, "avg-years:24:1", "AERMOD_DV.OUT", "1ST-HIGHEST 24-HR", "ALL"},
      {"deposition-houston-1996-q1", "ALL_01H.BIN", {"--control", "AERMOD.INP", "--type", "ddep"}, "avg:24:1",
       "AERMOD.OUT", "1ST HIGHEST 24-HR     DRY DEPOSITION", "ALL"},
      {"deposition-houston-1996-q1", "ALL_01H.BIN", {"--control", "AERMOD.INP", "--type", "wdep"}, "period",
       "AERMOD.OUT", "WET DEPOSITION", "ALL"},
      {"deposition-houston-1996-q1", "ALL_01H.BIN", {"--control", "AERMOD.INP"}, "avg:24:2", "AERMOD.OUT",
       "2ND HIGHEST 24-HR AVERAGE CONC", "ALL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.run + " " + c.stat);
    const std::string dir = kRuns + "/" + c.run + "/";
    std::vector<std::string> args = {"--receptors-csv", "--stat", c.stat};
    for (const auto& o : c.options) args.push_back(o == "AERMOD.INP" ? dir + o : o);
    args.push_back(dir + c.file);
    const Result r = inspect(args);
    ASSERT_EQ(r.status, 0) << r.err;
    // Whole years, the surface file found: nothing to warn of.
    EXPECT_EQ(r.err, "");
    const std::vector<Printed> want = page(dir + c.out, c.title, c.group);
    const auto rows = test::lines_of(r.out);
    ASSERT_EQ(rows.size(), want.size() + 1);
    const bool dated = rows.front().find("_end,") != std::string::npos;
    const bool flag = rows.front().find("_flag,") != std::string::npos;
    for (std::size_t k = 0; k < want.size(); ++k) {
      SCOPED_TRACE("receptor " + std::to_string(k + 1));
      std::vector<std::string> f;
      std::string row = rows[k + 1];
      for (std::size_t at = 0; at <= row.size();) {
        const auto comma = row.find(',', at);
        f.push_back(row.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
        if (comma == std::string::npos) break;
        at = comma + 1;
      }
      const double printed = number(want[k].value);
      const auto decimals = want[k].value.size() - want[k].value.find('.') - 1;
      EXPECT_NEAR(number(f[4]), printed, 0.5 * std::pow(10.0, -static_cast<double>(decimals)) + 1e-6 * printed);
      if (dated && !want[k].date.empty()) {
        EXPECT_EQ(yymmddhh(f[5]), want[k].date);
      }
      if (flag) {
        EXPECT_EQ(f[6].empty() ? ' ' : f[6][0], want[k].flag);
      }
    }
  }
}

TEST(InspectStatAermod, WarningsWhenKestrelCannotKnowAermodsNumbers) {
  const test::TempDir dir;
  const std::string run = kRuns + "/hrdow-houston-1996/";
  // A POSTFILE without its run folder: computed, and one word that calm and
  // missing hours are unknown.
  std::filesystem::copy_file(run + "STACK1_01H.BIN", dir / "STACK1_01H.BIN");
  const Result alone = inspect({"--stat", "avg:24:1", "--stat", "period", (dir / "STACK1_01H.BIN").string()});
  EXPECT_EQ(alone.status, 0);
  EXPECT_EQ(test::lines_of(alone.err).size(), 1U) << alone.err;
  EXPECT_NE(alone.err.find("calm and missing hours are unknown"), std::string::npos) << alone.err;
  // --met gives them back.
  const Result met = inspect({"--stat", "period", "--met", run + "HOUSTON_ADJU.SFC", (dir / "STACK1_01H.BIN").string()});
  EXPECT_EQ(met.err, "");
  // A surface file that does not hold the data's hours: refused, the hour named.
  test::write_text(dir / "short.sfc", test::read_text(run + "HOUSTON_ADJU.SFC").substr(0, 5000));
  const Result wrong = inspect({"--stat", "period", "--met", (dir / "short.sfc").string(), run + "STACK1_01H.BIN"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("has no line for 1996-01-0"), std::string::npos) << wrong.err;
  // Not whole years: the hours left out are named.
  const Result half = inspect({"--stat", "daily-max:1", kRuns + "/pm25-design-value-3-years/ALL_01H.BIN"});
  EXPECT_EQ(half.err, "");
}

}  // namespace
}  // namespace kestrel::inspect
