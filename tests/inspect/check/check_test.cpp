// kestrel-inspect --check on EPA's runs: their datasets, converted here, and
// POSTFILEs against AERMOD's own printed tables; a value changed in its last
// printed digit and a dataset of another group are caught.
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

TEST(InspectCheck, EveryOneHourValueAgreesOnEpaRuns) {
  struct Case {
    const char* input;
    const char* out;
    std::size_t files;
    const char* compared;  // the last line
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"aertest-disccart/input", "aertest-disccart.OUT", 2, "kestrel-inspect: 964 values compared, all agree",
       {"  1ST HIGHEST 1-HR: 144 values compared, all agree", "  MAXIMUM 50 1-HR: 50 values compared, all agree",
        "not compared: 1ST HIGHEST 3-HR AVERAGE CONCENTRATION (group ALL)"}},
      // Grids, rings, discrete Cartesian and polar receptors; two groups; UNFORM and PLOT.
      {"networks/allsrcs-networks/input", "allsrcs-networks.OUT", 8, "kestrel-inspect: 5712 values compared, all agree",
       {"group AREA, concentration in MICROGRAMS/M**3 (the dataset's values divided by 1e-06)",
        "group STACK, concentration in MICROGRAMS/M**3 (the dataset's values divided by 1e-06)",
        "  2ND HIGHEST 1-HR: 332 values compared, all agree"}},
      // PLOT values with six significant digits, coarser than AERMOD's five decimals above 10.
      {"networks/fileform-exp/input", "fileform-exp.OUT", 4, "kestrel-inspect: 1928 values compared, all agree", {}},
      // Deposition against the flux datasets, and each type of the POSTFILEs.
      {"testgas-deposition/input", "testgas-deposition.OUT", 8, "kestrel-inspect: 1224 values compared, all agree",
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
  EXPECT_EQ(test::lines_of(r.out).back(), "kestrel-inspect: 482 values compared, 1 disagreement");
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
       "kestrel-inspect: " + d + "/AERMOD.INP: holds no table of highest values (RECTABLE, MAXTABLE)\n"},
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

}  // namespace
}  // namespace kestrel::inspect
