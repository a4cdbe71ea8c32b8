// Whole runs over real AERMOD run folders (and the repository's sample),
// compared whole-file with outputs written independently by
// data/make_golden.py, an oracle that shares no code with the program.
#include <gtest/gtest.h>

#include <set>

#include "support.hpp"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

const fs::path kData = KESTREL_TEST_DATA;

struct Case {
  const char* name;
  fs::path input;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class EndToEnd : public ::testing::TestWithParam<Case> {};

// Outputs of an earlier run of the sample are not inputs.
bool is_output(const fs::path& p) {
  const auto ext = p.extension();
  return ext == ".gdx" || ext == ".kst" || ext == ".part";
}

void copy_folder(const fs::path& from, const fs::path& to) {
  for (const auto& e : fs::directory_iterator(from)) {
    if (!is_output(e.path())) fs::copy_file(e.path(), to / e.path().filename());
  }
}

TEST_P(EndToEnd, MatchesGoldenFiles) {
  const Case& c = GetParam();
  const fs::path expected = kData / c.name / "expected";
  test::TempDir dir;
  copy_folder(c.input, dir.path());
  std::set<fs::path> inputs;
  for (const auto& e : fs::directory_iterator(c.input)) {
    if (!is_output(e.path())) inputs.insert(e.path().filename());
  }

  const test::RunResult r = test::run_in(dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console, test::read_text(expected / "console.txt"));
  EXPECT_EQ(r.err, test::read_text(expected / "err.txt"));

  std::set<fs::path> outputs;
  for (const auto& e : fs::directory_iterator(expected)) {
    const fs::path name = e.path().filename();
    if (name == "console.txt" || name == "err.txt") continue;
    outputs.insert(name);
    if (name.extension() == ".kst") {
      EXPECT_EQ(test::read_text(dir.path() / name), test::read_text(e.path()));
      continue;
    }
    EXPECT_EQ(test::first_difference(test::read_bytes(dir.path() / name), test::read_bytes(e.path())), "") << name;
  }
  // Nothing else is written, and the inputs are untouched.
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const fs::path name = e.path().filename();
    EXPECT_TRUE(outputs.count(name) == 1 || inputs.count(name) == 1) << "unexpected file " << name;
    if (inputs.count(name) == 1) {
      EXPECT_EQ(test::read_bytes(e.path()), test::read_bytes(c.input / name)) << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(RealRuns, EndToEnd,
                         ::testing::Values(Case{"aertest-disccart", kData / "aertest-disccart" / "input"},
                                           Case{"allsrcs-units", kData / "allsrcs-units" / "input"},
                                           Case{"flatelev-included", kData / "flatelev-included" / "input"},
                                           Case{"hrdow-shared", kData / "hrdow-shared" / "input"},
                                           Case{"testgas-deposition", kData / "testgas-deposition" / "input"},
                                           Case{"testpart-deposition", kData / "testpart-deposition" / "input"},
                                           Case{"sample", kData / ".." / ".." / "examples" / "sample"}),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& ch : n) {
                             if (ch == '-') ch = '_';
                           }
                           return n;
                         });

// The installed program itself, as a user runs it.
TEST(Binary, ConvertsTheSampleAndReportsStatus) {
  test::TempDir dir;
  copy_folder(kData / ".." / ".." / "examples" / "sample", dir.path());
  const test::RunResult r = test::run_program(KESTREL_BINARY, {}, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.console, test::read_text(kData / "sample" / "expected" / "console.txt"));

  const test::RunResult missing = test::run_program(KESTREL_BINARY, {"nothere.inp"}, dir.path());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "kestrel: cannot open control file 'nothere.inp': No such file or directory\n");
}


// A control file that names twice the POSTFILE's receptors (its receptor file
// included twice): the 8-byte records fit as 4-byte reals and halt, and the
// previous dataset stays.
TEST(RealRunMisread, TwiceTheReceptorsHalts) {
  test::TempDir dir;
  copy_folder(kData / "flatelev-included" / "input", dir.path());
  test::write_text(dir / "FLATELEV_ELEV_STK_01H.PST.gdx", "previous");
  std::string deck = test::read_text(dir / "AERMOD.INP");
  const std::string include = "   INCLUDED  lovett_rec.dat\n";
  deck.insert(deck.find(include), include);
  test::write_text(dir / "AERMOD.INP", deck);
  const test::RunResult r = test::run_program(KESTREL_BINARY, {}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find(" Halted in COMP:  the POSTFILE's records fit the control file only as 4-byte reals, "
                           "but they hold 8-byte reals"),
            std::string::npos)
      << r.console;
  EXPECT_NE(test::read_text(dir / "AERMOD.INP.kst")
                .find(" FLATELEV_ELEV_STK_01H.PST: the control file names 22 receptors x 1 output type; record 1 at "
                      "byte 0 holds 11 values as 8-byte reals\n"),
            std::string::npos);
  EXPECT_EQ(test::read_text(dir / "FLATELEV_ELEV_STK_01H.PST.gdx"), "previous");
  EXPECT_FALSE(fs::exists(dir / "FLATELEV_ELEV_STK_01H.PST.gdx.part"));
}

}  // namespace
}  // namespace kestrel
