// Real AERMOD runs whose receptors come from networks, polar receptors and
// included files: every dataset's receptors are AERMOD's own list, in its
// order, and its values the POSTFILE's.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "convert/postfile.hpp"
#include "io/byte_order.hpp"
#include "io/crc32.hpp"
#include "io/files.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

using test::records;

namespace fs = std::filesystem;

const fs::path kNetworks = fs::path(KESTREL_TEST_DATA) / "networks";

struct Point {
  double x, y;
};

// receptors.csv: index,x,y,zelev,zhill,zflag,net_id in metres, AERMOD's order.
std::vector<Point> receptor_list(const fs::path& csv) {
  std::vector<Point> out;
  const auto lines = test::lines_of(test::read_text(csv));
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    const std::size_t a = l.find(',') + 1, b = l.find(',', a) + 1, c = l.find(',', b);
    Point p{};
    std::from_chars(l.data() + a, l.data() + b - 1, p.x);
    std::from_chars(l.data() + b, l.data() + c, p.y);
    out.push_back(p);
  }
  return out;
}

// A list file with each dataset's CRC-32 checked against the dataset in
// `dir` (where one is given) and then left out: a polar network's receptors
// come from sin and cos, whose last bit the system's library decides.
std::string checked_crcs(const std::string& list, const fs::path& dir = {}) {
  constexpr std::string_view lead = " CRC-32 of ";
  std::string out;
  for (const std::string& l : test::lines_of(list)) {
    if (l.starts_with(lead)) {
      const std::string name = l.substr(lead.size(), l.find(": ") - lead.size());
      out += std::string(lead) + name + "\n";
      if (dir.empty()) continue;
      const io::FileCrc crc = io::crc32_of_file(dir / name, name);
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(crc.crc));
      EXPECT_EQ(l, std::string(lead) + name + ": " + hex + ", " + std::to_string(crc.size) + " bytes");
      continue;
    }
    out += l + "\n";
  }
  return out;
}

class NetworkRun : public ::testing::TestWithParam<const char*> {};

TEST_P(NetworkRun, ReceptorsInAermodsOrderAndValuesOfThePostfile) {
  const fs::path input = kNetworks / GetParam() / "input";
  const fs::path expected = kNetworks / GetParam() / "expected";
  test::TempDir dir;
  for (const auto& e : fs::directory_iterator(input)) fs::copy_file(e.path(), dir / e.path().filename().string());

  const test::RunResult r = test::run_in(dir.path());
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_EQ(r.console, test::read_text(expected / "console.txt"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(checked_crcs(test::read_text(dir / "AERMOD.INP.kst"), dir.path()),
            checked_crcs(test::read_text(expected / "AERMOD.INP.kst")));

  const std::vector<Point> aermod = receptor_list(input / "receptors.csv");
  const std::size_t n = aermod.size();
  int datasets = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    if (e.path().extension() != ".gdx") continue;
    ++datasets;
    const auto recs = records(test::read_bytes(e.path()));
    ASSERT_EQ(recs[7].size(), 12 * n) << e.path();
    for (std::size_t k = 0; k < n; ++k) {
      // The printed metres have five decimals; the km float holds 24 bits.
      const double x = 1000.0 * io::get_f32(recs[7].data() + 4 * k);
      const double y = 1000.0 * io::get_f32(recs[7].data() + 4 * (n + k));
      const double tol_x = 5e-6 + std::abs(aermod[k].x) * 0x1p-23;
      const double tol_y = 5e-6 + std::abs(aermod[k].y) * 0x1p-23;
      ASSERT_NEAR(x, aermod[k].x, tol_x) << "receptor " << k + 1;
      ASSERT_NEAR(y, aermod[k].y, tol_y) << "receptor " << k + 1;
    }
    // Every period's values are the POSTFILE record's, scaled to g/m3.
    fs::path post = e.path();
    post.replace_extension();
    const test::Bytes postfile = test::read_bytes(post);
    io::MemorySource src(postfile);
    PostfileReader reader(src, n, "P");
    std::size_t period = 0;
    while (reader.next() == PostfileReader::Result::record) {
      const test::Bytes& values = recs[9 + 3 * period + 2];
      const std::vector<float> want = reader.values();
      ASSERT_EQ(values.size(), 15 + 4 * n);
      for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(io::get_f32(values.data() + 15 + 4 * k), want[k]) << k;
      ++period;
    }
    EXPECT_EQ(recs.size(), 9 + 3 * period);
    EXPECT_GT(period, 0U);
  }
  EXPECT_GT(datasets, 0);
}

// The same hours written formatted: every record equals the one converted
// from the UNFORM twin, the values to the PLOT file's printed precision.
TEST_P(NetworkRun, FormattedPostfilesGiveTheUnformattedDatasetsToTheirPrecision) {
  const fs::path input = kNetworks / GetParam() / "input";
  const fs::path expected = kNetworks / GetParam() / "expected";
  test::TempDir dir;
  for (const auto& e : fs::directory_iterator(input)) fs::copy_file(e.path(), dir / e.path().filename().string());
  ASSERT_EQ(test::run_in(dir.path()).status, 0);
  const test::RunResult r = test::run_in(dir.path(), {"AERMOD_PLOT.INP"});
  ASSERT_EQ(r.status, 0) << r.console;
  EXPECT_EQ(r.console, test::read_text(expected / "console_plot.txt"));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(checked_crcs(test::read_text(dir / "AERMOD_PLOT.INP.kst"), dir.path()),
            checked_crcs(test::read_text(expected / "AERMOD_PLOT.INP.kst")));
  const bool exponent = std::string_view(GetParam()) == "fileform-exp";

  int pairs = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    if (!name.ends_with(".BIN.gdx")) continue;
    ++pairs;
    const auto bin = records(test::read_bytes(e.path()));
    const auto plt = records(test::read_bytes(dir / (name.substr(0, name.size() - 8) + ".PLT.gdx")));
    ASSERT_EQ(plt.size(), bin.size()) << name;
    for (std::size_t i = 0; i < bin.size(); ++i) {
      const bool values = i >= 9 && (i - 9) % 3 == 2;
      if (!values) {
        ASSERT_EQ(plt[i], bin[i]) << name << " record " << i;
        continue;
      }
      ASSERT_EQ(plt[i].size(), bin[i].size());
      for (std::size_t k = 15; k < bin[i].size(); k += 4) {
        // Back in micrograms: F13.5 prints 5 decimals, E13.6 six significant digits.
        const double want = 1.0e6 * io::get_f32(bin[i].data() + k);
        const double got = 1.0e6 * io::get_f32(plt[i].data() + k);
        const double unit = exponent ? (want == 0.0 ? 0.0 : std::pow(10.0, std::floor(std::log10(std::abs(want))) - 5)) : 1e-5;
        ASSERT_NEAR(got, want, 0.5 * unit + std::abs(want) * 0x1p-22) << name << " record " << i << " value " << (k - 15) / 4;
      }
    }
  }
  EXPECT_GT(pairs, 0);
}

INSTANTIATE_TEST_SUITE_P(RealRuns, NetworkRun,
                         ::testing::Values("aertest-polar", "allsrcs-networks", "terrain-included", "fileform-exp"),
                         [](const auto& info) {
                           std::string s = info.param;
                           for (char& c : s) {
                             if (c == '-') c = '_';
                           }
                           return s;
                         });

}  // namespace
}  // namespace kestrel
