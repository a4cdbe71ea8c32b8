// EPA's deposition decks run with AERMOD (MODELOPT CONC DDEP WDEP), UNFORM
// and PLOT: every dataset against the POSTFILE's values, and against the runs
// of other type lists made from them (a CONC-only run, a deposition-only run,
// a DEPOS run) by taking a record's sets of values or a line's columns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "base/text.hpp"
#include "io/byte_order.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

using test::records;

namespace fs = std::filesystem;

const fs::path kData = KESTREL_TEST_DATA;
constexpr std::size_t kReceptors = 46;
constexpr std::size_t kHead = 16;  // kurdat, kave, grpid

std::string text_of(const test::Bytes& b, std::size_t at, std::size_t n) {
  return {reinterpret_cast<const char*>(b.data() + at), n};
}

// A new type list for a POSTFILE of the run's three sets (CONC, DDEP, WDEP):
// each new set is the sum of the listed old ones.
using Sets = std::vector<std::vector<std::size_t>>;

test::Bytes unform_with(const test::Bytes& post, const Sets& sets) {
  test::ByteBuilder b;
  for (const test::Bytes& r : records(post)) {
    b.raw(test::Bytes(r.begin(), r.begin() + kHead));
    for (const auto& set : sets) {
      for (std::size_t k = 0; k < kReceptors; ++k) {
        double v = 0.0;
        for (const std::size_t s : set) v += io::get_f64(r.data() + kHead + 8 * (s * kReceptors + k));
        b.f64(v);
      }
    }
    b.record();
  }
  return b.bytes();
}

// AERMOD's data lines: X, Y and each value in 14 columns, then the rest.
std::string plot_with(const std::string& plt, const std::vector<std::size_t>& columns) {
  std::string out;
  for (std::size_t at = 0; at < plt.size();) {
    const std::size_t end = plt.find('\n', at) + 1;
    const std::string line = plt.substr(at, end - at);
    at = end;
    if (line[0] == '*') {
      out += line;
      continue;
    }
    out += line.substr(0, 28);
    for (const std::size_t c : columns) out += line.substr(28 + 14 * c, 14);
    out += line.substr(28 + 14 * 3);
  }
  return out;
}

std::string with_modelopt(std::string deck, const std::string& types) {
  const std::size_t at = deck.find("   MODELOPT");
  deck.replace(at, deck.find('\n', at) - at, "   MODELOPT  " + types + "  FLAT   ALPHA");
  return deck;
}

struct Deck {
  const char* name;
  const char* species;
  double grams;  // of the DEPOUNIT label's mass
};

void PrintTo(const Deck& d, std::ostream* os) { *os << d.name; }

class DepositionRun : public ::testing::TestWithParam<Deck> {
 protected:
  void SetUp() override {
    input_ = kData / (std::string(GetParam().name) + "-deposition") / "input";
    for (const auto& e : fs::directory_iterator(input_)) fs::copy_file(e.path(), full_.path() / e.path().filename());
    const test::RunResult r = test::run_in(full_.path());
    ASSERT_EQ(r.status, 0) << r.console;
    flux_factor_ = static_cast<float>(GetParam().grams / 3600.0);
  }

  // A run of `deck` with `post` as ALL_01H.BIN (or .PLT) in a folder of its own.
  test::RunResult run_variant(const test::TempDir& dir, const std::string& deck, const std::string& post_name,
                              const test::Bytes& post) const {
    test::write_text(dir / "AERMOD.INP", deck);
    test::write_bytes(dir / post_name, post);
    return test::run_in(dir.path());
  }

  fs::path input_;
  test::TempDir full_;
  float flux_factor_ = 0.0F;
};

TEST_P(DepositionRun, EveryFluxIsThePostfilesValueTimesTheFluxFactor) {
  const test::Bytes post = test::read_bytes(input_ / "ALL_01H.BIN");
  const auto in = records(post);
  struct Want {
    const char* suffix;
    const char* kind;
    const char* level;
    std::size_t set;
    float factor;
  };
  const Want wants[] = {{".gdx", "CONC.DAT", "  1", 0, 1.0e-6F},
                        {".dflx.gdx", "DFLX.DAT", " DF", 1, flux_factor_},
                        {".wflx.gdx", "WFLX.DAT", " WF", 2, flux_factor_}};
  for (const Want& w : wants) {
    SCOPED_TRACE(w.suffix);
    const auto ds = records(test::read_bytes(full_ / (std::string("ALL_01H.BIN") + w.suffix)));
    ASSERT_EQ(ds.size(), 9 + 3 * in.size());
    EXPECT_EQ(text_of(ds[0], 0, 16), std::string(w.kind) + std::string(8, ' '));
    EXPECT_EQ(text_of(ds[5], 160, 30), std::string(w.set == 0 ? "Conversion Factor to g/m3:    "
                                                              : "Conversion Factor to g/m2/s:  "));
    const std::string speclev = fixed(GetParam().species, 12) + w.level;
    EXPECT_EQ(text_of(ds[6], 0, 15), speclev);
    for (std::size_t p = 0; p < in.size(); ++p) {
      const test::Bytes& values = ds[9 + 3 * p + 2];
      ASSERT_EQ(text_of(values, 0, 15), speclev);
      for (std::size_t k = 0; k < kReceptors; ++k) {
        const double v = io::get_f64(in[p].data() + kHead + 8 * (w.set * kReceptors + k));
        ASSERT_EQ(io::get_f32(values.data() + 15 + 4 * k), static_cast<float>(v) * w.factor) << p << " " << k;
      }
    }
  }
}

// The other type lists AERMOD can be asked for, made from the same records:
// each dataset equals the one of its type from the three-type run.
TEST_P(DepositionRun, OtherTypeListsGiveTheSameDatasets) {
  const std::string deck = test::read_text(input_ / "AERMOD.INP");
  const test::Bytes post = test::read_bytes(input_ / "ALL_01H.BIN");
  const auto same = [&](const test::TempDir& dir, const char* suffix) {
    const std::string name = std::string("ALL_01H.BIN") + suffix;
    EXPECT_EQ(test::first_difference(test::read_bytes(dir / name), test::read_bytes(full_ / name)), "") << name;
  };
  {
    test::TempDir dir;
    const test::RunResult r = run_variant(dir, with_modelopt(deck, "CONC"), "ALL_01H.BIN", unform_with(post, {{0}}));
    ASSERT_EQ(r.status, 0) << r.console;
    same(dir, ".gdx");
    EXPECT_FALSE(fs::exists(dir / "ALL_01H.BIN.dflx.gdx"));
    EXPECT_EQ(r.console.find("Writing:"), std::string::npos);
  }
  {
    test::TempDir dir;
    const test::RunResult r =
        run_variant(dir, with_modelopt(deck, "DDEP WDEP"), "ALL_01H.BIN", unform_with(post, {{1}, {2}}));
    ASSERT_EQ(r.status, 0) << r.console;
    same(dir, ".dflx.gdx");
    same(dir, ".wflx.gdx");
    EXPECT_FALSE(fs::exists(dir / "ALL_01H.BIN.gdx"));
    EXPECT_NE(r.console.find(" Writing: ALL_01H.BIN.dflx.gdx (dry deposition flux, g/m2/s)\n"
                             " Writing: ALL_01H.BIN.wflx.gdx (wet deposition flux, g/m2/s)\n"),
              std::string::npos)
        << r.console;
  }
  {
    // Total deposition is AERMOD's sum of dry and wet, written as it is.
    test::TempDir dir;
    const test::RunResult r = run_variant(dir, with_modelopt(deck, "WDEP DDEP DEPOS CONC"), "ALL_01H.BIN",
                                          unform_with(post, {{0}, {1, 2}, {1}, {2}}));
    ASSERT_EQ(r.status, 0) << r.console;
    same(dir, ".gdx");
    same(dir, ".dflx.gdx");
    same(dir, ".wflx.gdx");
    const auto tflx = records(test::read_bytes(dir / "ALL_01H.BIN.tflx.gdx"));
    const auto dflx = records(test::read_bytes(dir / "ALL_01H.BIN.dflx.gdx"));
    EXPECT_EQ(text_of(tflx[0], 0, 8), "DFLX.DAT");
    EXPECT_EQ(text_of(tflx[6], 12, 3), " TF");
    const auto in = records(post);
    for (std::size_t p = 0; p < in.size(); ++p) {
      const test::Bytes& values = tflx[9 + 3 * p + 2];
      for (std::size_t k = 0; k < kReceptors; ++k) {
        const double dry = io::get_f64(in[p].data() + kHead + 8 * (kReceptors + k));
        const double wet = io::get_f64(in[p].data() + kHead + 8 * (2 * kReceptors + k));
        ASSERT_EQ(io::get_f32(values.data() + 15 + 4 * k), static_cast<float>(dry + wet) * flux_factor_);
      }
      // Everything but the values and the label is the dry dataset's.
      ASSERT_EQ(tflx[9 + 3 * p], dflx[9 + 3 * p]);
    }
  }
}

// PLOT: the datasets of the UNFORM run to the printed precision (F13.5 in the
// POSTFILE's units), and the same for PLOT files of other column lists.
TEST_P(DepositionRun, FormattedPostfileGivesTheUnformattedDatasetsToItsPrecision) {
  const test::RunResult r = test::run_in(full_.path(), {"AERMOD_PLOT.INP"});
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_EQ(r.err, "");
  for (const char* suffix : {".gdx", ".dflx.gdx", ".wflx.gdx"}) {
    const auto bin = records(test::read_bytes(full_ / (std::string("ALL_01H.BIN") + suffix)));
    const auto plt = records(test::read_bytes(full_ / (std::string("ALL_01H.PLT") + suffix)));
    ASSERT_EQ(plt.size(), bin.size()) << suffix;
    const double unit = std::string_view(suffix) == ".gdx" ? 1.0e-6 : GetParam().grams / 3600.0;
    for (std::size_t i = 0; i < bin.size(); ++i) {
      if (i < 9 || (i - 9) % 3 != 2) {
        ASSERT_EQ(plt[i], bin[i]) << suffix << " record " << i;
        continue;
      }
      for (std::size_t k = 15; k < bin[i].size(); k += 4) {
        const double want = io::get_f32(bin[i].data() + k);
        const double got = io::get_f32(plt[i].data() + k);
        ASSERT_NEAR(got, want, 0.5e-5 * unit + std::abs(want) * 0x1p-22) << suffix << " record " << i;
      }
    }
  }
  const std::string deck = test::read_text(input_ / "AERMOD_PLOT.INP");
  const std::string plt = test::read_text(input_ / "ALL_01H.PLT");
  const auto as_bytes = [](const std::string& s) {
    test::Bytes b(s.size());
    std::memcpy(b.data(), s.data(), s.size());
    return b;
  };
  const struct {
    const char* types;
    std::vector<std::size_t> columns;
    std::vector<const char*> suffixes;
  } variants[] = {
      {"CONC", {0}, {".gdx"}}, {"DDEP WDEP", {1, 2}, {".dflx.gdx", ".wflx.gdx"}}, {"WDEP", {2}, {".wflx.gdx"}}};
  for (const auto& v : variants) {
    SCOPED_TRACE(v.types);
    test::TempDir dir;
    const test::RunResult rv =
        run_variant(dir, with_modelopt(deck, v.types), "ALL_01H.PLT", as_bytes(plot_with(plt, v.columns)));
    ASSERT_EQ(rv.status, 0) << rv.console;
    for (const char* s : v.suffixes) {
      const std::string name = std::string("ALL_01H.PLT") + s;
      EXPECT_EQ(test::first_difference(test::read_bytes(dir / name), test::read_bytes(full_ / name)), "") << name;
    }
  }
}


// Two types in the POSTFILE where MODELOPT names three: its 8-byte records
// fit the control file only as 4-byte reals, and halt.
TEST_P(DepositionRun, TwoTypesWhereTheControlFileNamesThreeHalt) {
  const std::string deck = test::read_text(input_ / "AERMOD.INP");
  const test::Bytes post = test::read_bytes(input_ / "ALL_01H.BIN");
  test::TempDir dir;
  const test::RunResult r =
      run_variant(dir, with_modelopt(deck, "CONC DDEP WDEP"), "ALL_01H.BIN", unform_with(post, {{0}, {1}}));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find("the POSTFILE's records fit the control file only as 4-byte reals"), std::string::npos)
      << r.console;
  EXPECT_NE(test::read_text(dir / "AERMOD.INP.kst").find("names 46 receptors x 3 output types"), std::string::npos);
  for (const char* suffix : {".gdx", ".dflx.gdx", ".wflx.gdx"}) {
    EXPECT_FALSE(fs::exists(dir / (std::string("ALL_01H.BIN") + suffix))) << suffix;
  }
}

INSTANTIATE_TEST_SUITE_P(RealRuns, DepositionRun,
                         ::testing::Values(Deck{"testgas", "BENZENE", 1.0e-6}, Deck{"testpart", "CHROMIUM", 1.0e-3}),
                         [](const auto& info) { return std::string(info.param.name); });

// Each dataset of a POSTFILE gets the warnings about its hours; those about
// the records come once, naming the POSTFILE.
TEST(DepositionWarnings, EachDatasetGetsItsOwn) {
  test::TempDir dir;
  const fs::path input = kData / "testgas-deposition" / "input";
  std::string deck = test::read_text(input / "AERMOD.INP");
  deck.replace(deck.find("90 01 01 06"), 11, "90 01 01 08");
  test::write_text(dir / "AERMOD.INP", deck);
  fs::copy_file(input / "ALL_01H.BIN", dir / "ALL_01H.BIN");
  const test::RunResult r = test::run_in(dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "WARNING: ALL_01H.BIN.gdx holds 6 periods but the run period has 8 hours\n"
            "WARNING: ALL_01H.BIN.dflx.gdx holds 6 periods but the run period has 8 hours\n"
            "WARNING: ALL_01H.BIN.wflx.gdx holds 6 periods but the run period has 8 hours\n");
}

// A PLOT file of other output types than the control file's: the halt says so.
TEST(DepositionWarnings, PlotColumnsOtherThanTheTypesHalt) {
  test::TempDir dir;
  const fs::path input = kData / "testgas-deposition" / "input";
  test::write_text(dir / "AERMOD.INP", with_modelopt(test::read_text(input / "AERMOD_PLOT.INP"), "CONC"));
  fs::copy_file(input / "ALL_01H.PLT", dir / "ALL_01H.PLT");
  EXPECT_EQ(test::run_in(dir.path()).status, 1);
  const std::string list = test::read_text(dir / "AERMOD.INP.kst");
  EXPECT_NE(list.find(" ERROR reading formatted AERMOD file: ALL_01H.PLT\n Line 9: 0.00000     100.00000      15.23407"),
            std::string::npos)
      << list;
  EXPECT_NE(list.find("\n Its lines hold 3 value columns; CO MODELOPT selects 1 output type\n"), std::string::npos);
}

// A unit line on the SO pathway sets the values' unit: an EMISUNIT in
// milligrams gives 1.0E-03, a PPB label halts.
TEST(SourcePathwayUnits, EmisunitInMilligramsAndConcunitInPpb) {
  const fs::path input = kData / "testgas-deposition" / "input";
  std::string deck = with_modelopt(test::read_text(input / "AERMOD.INP"), "CONC");
  const std::size_t at = deck.find("   DEPOUNIT");
  deck.replace(at, deck.find('\n', at) - at, "   EMISUNIT 1.0E3 GRAMS/SEC MILLIGRAMS/M**3");
  const test::Bytes post = unform_with(test::read_bytes(input / "ALL_01H.BIN"), {{0}});
  {
    test::TempDir dir;
    test::write_text(dir / "AERMOD.INP", deck);
    test::write_bytes(dir / "ALL_01H.BIN", post);
    ASSERT_EQ(test::run_in(dir.path()).status, 0);
    const auto ds = records(test::read_bytes(dir / "ALL_01H.BIN.gdx"));
    EXPECT_EQ(text_of(ds[5], 160, 50), "Conversion Factor to g/m3:" + std::string(11, ' ') + "0.1000000E-02");
    const auto in = records(post);
    EXPECT_EQ(io::get_f32(ds[11].data() + 15), static_cast<float>(io::get_f64(in[0].data() + kHead)) * 1.0e-3F);
  }
  {
    test::TempDir dir;
    std::string ppb = deck;
    ppb.replace(ppb.find("   EMISUNIT"), 11, "SO CONCUNIT");
    ppb.replace(ppb.find("MILLIGRAMS/M**3"), 15, "PPB");
    test::write_text(dir / "AERMOD.INP", ppb);
    test::write_bytes(dir / "ALL_01H.BIN", post);
    const test::RunResult r = test::run_in(dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.console.find(" Halted in SETUP:  concentration unit is not a mass per cubic metre   --   See the list file"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "ALL_01H.BIN.gdx"));
  }
}

}  // namespace
}  // namespace kestrel
