// kestrel-inspect --check on EPA's runs and on AERMOD runs with a year or
// more of met: their datasets, converted here, and POSTFILEs against every
// table AERMOD printed; a value changed in its last printed digit, a
// 24-hour block changed and a dataset of another group are caught.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "inspect/inspect_support.hpp"
#include "io/byte_order.hpp"
#include "support.hpp"

namespace kestrel::inspect {
namespace {

namespace fs = std::filesystem;

// A run's inputs and its AERMOD output in `dir`, converted by kestrel (its
// PLOT control file too, when it has one); returns every dataset and 1-hour
// POSTFILE, in name order.
std::vector<std::string> converted(const test::TempDir& dir, const std::string& input, const std::string& out) {
  const std::string data = KESTREL_TEST_DATA;
  for (const auto& e : fs::directory_iterator(data + "/" + input)) fs::copy_file(e.path(), dir.path() / e.path().filename());
  fs::copy_file(data + "/check/" + out, dir / "AERMOD.OUT");
  // The run's surface file, cut to its hours.
  const fs::path met = data + "/check/" + out.substr(0, out.size() - 4);
  for (const auto& e : fs::directory_iterator(met)) fs::copy_file(e.path(), dir.path() / e.path().filename());
  EXPECT_EQ(test::run_in(dir.path()).status, 0);
  if (fs::exists(dir / "AERMOD_PLOT.INP")) {
    EXPECT_EQ(test::run_in(dir.path(), {"AERMOD_PLOT.INP"}).status, 0);
  }
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    if (name.ends_with(".gdx") || name.ends_with("_01H.BIN") || name.ends_with("_01H.PLT")) files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

Result check(const test::TempDir& dir, std::vector<std::string> files) {
  files.insert(files.begin(), {"--check", (dir / "AERMOD.OUT").string()});
  return inspect(files);
}

TEST(InspectCheck, EveryTableAgreesOnEpaRuns) {
  struct Case {
    const char* input;
    const char* out;
    std::size_t files;
    const char* compared;  // the last line
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"aertest-disccart/input", "aertest-disccart.OUT", 2, "kestrel-inspect: 4188 values compared, all agree",
       {"  1ST HIGHEST 1-HR: 144 values compared, all agree", "  MAXIMUM 50 1-HR: 50 values compared, all agree",
        "  3RD HIGHEST 24-HR: 144 values compared, all agree", "  MAXIMUM 50 24-HR: 50 values compared, all agree"}},
      // Grids, rings, discrete Cartesian and polar receptors; two groups; UNFORM and PLOT.
      {"networks/allsrcs-networks/input", "allsrcs-networks.OUT", 8, "kestrel-inspect: 25648 values compared, all agree",
       {"group AREA, concentration in MICROGRAMS/M**3 (the dataset's values divided by 1e-06)",
        "group STACK, concentration in MICROGRAMS/M**3 (the dataset's values divided by 1e-06)",
        "  2ND HIGHEST 1-HR: 332 values compared, all agree"}},
      // PLOT values with six significant digits, coarser than AERMOD's five decimals above 10.
      {"networks/fileform-exp/input", "fileform-exp.OUT", 4, "kestrel-inspect: 8376 values compared, all agree", {}},
      // Deposition against the flux datasets, and each type of the POSTFILEs.
      {"testgas-deposition/input", "testgas-deposition.OUT", 8, "kestrel-inspect: 1248 values compared, all agree",
       {"group ALL, dry deposition in MICROGRAMS/M**2 (the dataset's values divided by 2.777778e-10)",
        "  MAXIMUM 10 1-HR: 10 values compared, all agree"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    test::TempDir dir;
    const auto files = converted(dir, c.input, c.out);
    ASSERT_EQ(files.size(), c.files);
    const Result r = check(dir, files);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    const auto lines = test::lines_of(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), c.compared);
    for (const auto& want : c.lines) {
      EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.ends_with(want); }))
          << want << "\n" << r.out;
    }
  }
}

// The byte offset of receptor k's value in the period ending at day `jul`, hour `hr`.
std::size_t value_at(const test::Bytes& b, std::size_t nrec, std::int32_t jul, std::int32_t hr, std::size_t k) {
  std::vector<std::pair<std::size_t, std::size_t>> recs;  // payload offset, length
  for (std::size_t at = 0; at + 8 <= b.size();) {
    const auto len = static_cast<std::size_t>(io::get_i32(b.data() + at));
    recs.emplace_back(at + 4, len);
    at += len + 8;
  }
  for (std::size_t i = 0; i + 2 < recs.size(); ++i) {
    const auto [times, len] = recs[i];
    if (len == 32 && recs[i + 2].second == 15 + 4 * nrec && io::get_i32(b.data() + times + 20) == jul &&
        io::get_i32(b.data() + times + 24) == hr) {
      return recs[i + 2].first + 15 + 4 * k;
    }
  }
  ADD_FAILURE() << "no period ending day " << jul << " hour " << hr;
  return 0;
}

TEST(InspectCheck, OneValueChangedInItsLastPrintedDigitIsReported) {
  test::TempDir dir;
  converted(dir, "aertest-disccart/input", "aertest-disccart.OUT");
  const fs::path d = dir / "AERTEST_01H.BIN.gdx";
  // AERMOD: 1.97563 at (-59.85, -164.45), hour 88030319 (day 63); receptor 77 of 144.
  const Result rows = inspect({"--receptors-csv", d.string()});
  const auto lines = test::lines_of(rows.out);
  const auto row = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("77,-0.05985,-0.16445,"); });
  ASSERT_NE(row, lines.end()) << rows.out;
  test::Bytes b = test::read_bytes(d);
  io::put_f32(b.data() + value_at(b, 144, 63, 19, 76), 1.97564e-6F);
  test::write_bytes(d, b);
  const Result r = check(dir, {d.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("  1ST HIGHEST 1-HR: 144 values compared, 1 disagrees\n"
                       "    receptor 77 (-59.85, -164.45), rank 1: AERMOD 1.97563 (88030319), dataset 1.97564"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  2ND HIGHEST 1-HR: 144 values compared, all agree\n"), std::string::npos);
  EXPECT_EQ(test::lines_of(r.out).back(), "kestrel-inspect: 2094 values compared, 1 disagreement");
}

TEST(InspectCheck, ADatasetOfAnotherGroupIsReported) {
  test::TempDir dir;
  converted(dir, "networks/allsrcs-networks/input", "allsrcs-networks.OUT");
  // Removed first: MinGW's copy_file cannot overwrite.
  fs::remove(dir / "ALLSRCS_STACK_01H.BIN.gdx");
  fs::copy_file(dir / "ALLSRCS_AREA_01H.BIN.gdx", dir / "ALLSRCS_STACK_01H.BIN.gdx");
  const Result r = check(dir, {(dir / "ALLSRCS_STACK_01H.BIN.gdx").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("ALLSRCS_STACK_01H.BIN.gdx: group STACK, concentration"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  1ST HIGHEST 1-HR: 332 values compared, 33"), std::string::npos) << r.out;
}

TEST(InspectCheck, FilesThatCannotBeReadOrPlaced) {
  test::TempDir dir;
  converted(dir, "aertest-disccart/input", "aertest-disccart.OUT");
  const std::string d = dir.path().string();
  test::write_text(dir / "other.gdx", "");
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"--check", d + "/none.OUT", d + "/AERTEST_01H.BIN.gdx"},
       "kestrel-inspect: cannot open '" + d + "/none.OUT': No such file or directory\n"},
      {{"--check", d + "/AERMOD.INP", d + "/AERTEST_01H.BIN.gdx"},
       "kestrel-inspect: " + d + "/AERMOD.INP: holds no table of AERMOD's results (RECTABLE, MAXTABLE, PERIOD, ANNUAL)\n"},
      {{"--check", d + "/AERMOD.OUT", d + "/other.gdx"},
       "kestrel-inspect: " + d + "/other.gdx: no control file beside it names it in a POSTFILE line (give it with --control)\n"},
      {{"--check", d + "/AERMOD.OUT", "--csv", d + "/AERTEST_01H.BIN.gdx"},
       "kestrel-inspect: --check takes only --control beside the files (see kestrel-inspect --help)\n"},
  };
  for (const Case& c : cases) {
    const Result r = inspect(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, c.err);
  }
}

// A listing cut inside a table, or with a rank deeper than any run prints:
// said so, exit 2, nothing claimed of what was not read, nothing allocated for it.
TEST(InspectCheck, ListingsCutShortOrAskingTooDeep) {
  test::TempDir dir;
  const auto files = converted(dir, "aertest-disccart/input", "aertest-disccart.OUT");
  const std::vector<std::string> listing = test::lines_of(test::read_text(dir / "AERMOD.OUT"));
  const auto edited = [&](std::size_t keep, std::size_t at, const std::string& from, const std::string& to) {
    std::string text;
    for (std::size_t i = 0; i < keep && i < listing.size(); ++i) {
      std::string l = listing[i];
      if (i + 1 == at) l.replace(l.find(from), from.size(), to);
      text += l + "\n";
    }
    return text;
  };
  const std::string two = "  2ND HIGHEST  1-HR";
  struct Case {
    const char* what;
    std::string text;
    std::string err;  // after "kestrel-inspect: <listing>: "
  };
  const Case cases[] = {
      {"cut inside a table", edited(910, 0, "", ""),
       "cut short: it ends at line 910 without AERMOD's message summary, in or after the table 2ND HIGHEST 1-HR (group "
       "ALL); the tables after it were not compared"},
      {"a rank past the cap", edited(listing.size(), 893, two, "999999999TH HIGHEST  1-HR"),
       "line 893: the rank 999999999 is not 1 to 1000"},
      {"a rank past an int", edited(listing.size(), 893, two, "99999999999TH HIGHEST  1-HR"),
       "line 893: the rank 2147483647 is not 1 to 1000"},
      {"a MAXTABLE count past the cap", edited(listing.size(), 1993, "MAXIMUM   50", "MAXIMUM 5000"),
       "line 1993: the count 5000 is not 1 to 1000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::write_text(dir / "AERMOD.OUT", c.text);
    const Result r = check(dir, files);
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(r.err, "kestrel-inspect: " + (dir / "AERMOD.OUT").string() + ": " + c.err + "\n");
    if (std::string(c.what) == "cut inside a table") {
      EXPECT_EQ(test::lines_of(r.out).back(), "kestrel-inspect: 612 values compared, none disagrees; AERMOD's output is cut short");
    }
  }
}

// A run of tests/data/averages (unpacked by the test build) copied into `dir`.
void copy_run(const test::TempDir& dir, const std::string& run) {
  for (const auto& e : fs::directory_iterator(std::string(KESTREL_AVERAGES) + "/" + run)) {
    fs::copy_file(e.path(), dir.path() / e.path().filename());
  }
}

bool has_line(const std::vector<std::string>& lines, const std::string& want) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l == want; });
}

TEST(InspectCheck, EveryTableAgreesOnAermodsLongRuns) {
  struct Case {
    const char* run;
    const char* listing;
    std::vector<std::string> files;
    const char* last;
    std::vector<std::string> lines;  // some of the lines
  };
  const Case cases[] = {
      {"hrdow-houston-1996", "AERMOD.OUT", {"STACK1_01H.BIN", "STACK2_01H.BIN"},
       "kestrel-inspect: 684 values compared, all agree; 56 tables not compared",
       {"  1ST HIGHEST 24-HR: 36 values compared, all agree", "  PERIOD: 36 values compared, all agree",
        "  SUMMARY OF HIGHEST 24-HR: 2 values compared, all agree", "  SUMMARY OF PERIOD: 10 values compared, all agree",
        "not compared: 14 tables of group STACK3 (concentration): no file of it given"}},
      {"no2-design-value-1999", "AERMOD.OUT", {"ALL_01H.BIN"}, "kestrel-inspect: 368 values compared, all agree",
       {"  8TH-HIGHEST MAX DAILY 1-HR OVER 1 YEAR: 36 values compared, all agree"}},
      {"so2-design-value-from-april", "AERMOD.OUT", {"STACK1_01H.BIN", "STACK2_01H.BIN"},
       "kestrel-inspect: 368 values compared, all agree; 32 tables not compared",
       {"  4TH-HIGHEST MAX DAILY 1-HR OVER 2 YEARS: 36 values compared, all agree",
        "  SUMMARY OF 1ST-HIGHEST MAX DAILY 1-HR OVER 2 YEARS: 10 values compared, all agree"}},
      {"pm25-design-value-3-years", "AERMOD.OUT", {"ALL_01H.BIN"}, "kestrel-inspect: 592 values compared, all agree",
       {"  8TH HIGHEST 24-HR: 36 values compared, all agree"}},
      // The PM2.5 run without a POSTFILE: the 1-hour file of the same run's other listing.
      {"pm25-design-value-3-years", "AERMOD_DV.OUT", {"ALL_01H.BIN"}, "kestrel-inspect: 368 values compared, all agree",
       {"  8TH-HIGHEST 24-HR OVER 3 YEARS: 36 values compared, all agree",
        "  SUMMARY OF 8TH-HIGHEST 24-HR OVER 3 YEARS: 10 values compared, all agree"}},
      // Deposition totals over the blocks and the period, never adjusted for calm hours.
      {"deposition-houston-1996-q1", "AERMOD.OUT", {"ALL_01H.BIN"}, "kestrel-inspect: 1998 values compared, all agree",
       {"ALL_01H.BIN: group ALL, wet deposition in MICROGRAMS/M**2", "  2ND HIGHEST 24-HR: 72 values compared, all agree"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.run) + " " + c.listing);
    test::TempDir dir;
    copy_run(dir, c.run);
    std::vector<std::string> args{"--check", (dir / c.listing).string()};
    for (const auto& f : c.files) args.push_back((dir / f).string());
    const Result r = inspect(args);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    const auto lines = test::lines_of(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), c.last) << r.out;
    for (const auto& l : lines) EXPECT_EQ(l.find(": not compared: "), std::string::npos) << l;
    for (const auto& want : c.lines) {
      EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.ends_with(want); }))
          << want << "\n" << r.out;
    }
  }
}

TEST(InspectCheck, AChangedTwentyFourHourBlockIsReportedWithItsFlag) {
  test::TempDir dir;
  copy_run(dir, "hrdow-houston-1996");
  // Receptor 1 (100 m at 10 degrees): AERMOD's 1st highest 24-hour value
  // 19.93847c, the block ending 96061624, which held calm hours. Its hour
  // ending 96061603, a calm hour (0), raised by 3.6: the block's sum by 3.6,
  // its value by 3.6 / 18, the block holding fewer than 18 valid hours.
  const fs::path post = dir / "STACK1_01H.BIN";
  auto recs = test::postfile_fields(test::read_bytes(post));
  const auto hour = std::find_if(recs.begin(), recs.end(), [](const test::PostfileFields& f) { return f.kurdat == 96061603; });
  ASSERT_NE(hour, recs.end());
  hour->values[0] += 3.6;
  test::write_bytes(post, test::postfile_of(recs));
  const Result r = inspect({"--check", (dir / "AERMOD.OUT").string(), post.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("  1ST HIGHEST 24-HR: 36 values compared, 1 disagrees\n"
                       "    receptor 1 (100.00 m at 10.0 deg from the network's origin), rank 1: AERMOD 19.93847c (96061624), "
                       "POSTFILE 20.1384683c (96061624)\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  2ND HIGHEST 24-HR: 36 values compared, all agree\n"), std::string::npos) << r.out;
}

// AERMOD fills a MAXTABLE that has fewer blocks than rows with rows
// "0.00000 (00000000) AT (0.00, 0.00)": each is counted and agrees with no block.
TEST(InspectCheck, PlaceholderRowsOfAShortMaxtableAgree) {
  test::TempDir dir;
  const std::string data = KESTREL_TEST_DATA;
  for (const auto& e : fs::directory_iterator(data + "/flatelev-included/input")) fs::copy_file(e.path(), dir.path() / e.path().filename());
  for (const auto& e : fs::directory_iterator(data + "/check/flatelev-included")) fs::copy_file(e.path(), dir.path() / e.path().filename());
  const Result r = inspect({"--check", (dir / "AERMOD.OUT").string(), (dir / "FLATELEV_ELEV_STK_01H.PST").string(),
                            (dir / "FLATELEV_FLAT_STK_01H.PST").string()});
  EXPECT_EQ(r.status, 0) << r.out;
  const auto lines = test::lines_of(r.out);
  EXPECT_TRUE(has_line(lines, "  MAXIMUM 400 24-HR: 400 values compared, all agree")) << r.out;
  EXPECT_TRUE(has_line(lines, "  MAXIMUM 400 8-HR: 400 values compared, all agree")) << r.out;
}

}  // namespace
}  // namespace kestrel::inspect
