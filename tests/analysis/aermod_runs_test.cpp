// The block averages, PERIOD and deposition totals against AERMOD's own
// numbers on real runs: every block of AERMOD's multi-hour POSTFILEs,
// computed from its 1-hour POSTFILE and the hours of its surface file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/blocks.hpp"
#include "analysis/met.hpp"
#include "convert/postfile.hpp"
#include "support.hpp"

namespace kestrel::analysis {
namespace {

const std::string kRuns = KESTREL_AVERAGES;

// One record of an unformatted POSTFILE with 8-byte values.
struct Record {
  Time end;
  std::vector<double> values;  // every type's, type after type
};

std::vector<Record> read_postfile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<Record> out;
  std::size_t at = 0;
  const auto i32 = [&](std::size_t o) {
    std::int32_t v = 0;
    std::memcpy(&v, bytes.data() + o, 4);
    return v;
  };
  while (at + 8 <= bytes.size()) {
    const auto len = static_cast<std::size_t>(i32(at));
    const Stamp s = decode_kurdat(i32(at + 4));
    Record r{{s.iyr, *julday(s.iyr, s.imo, s.idy), s.ihr}, std::vector<double>((len - 16) / 8)};
    std::memcpy(r.values.data(), bytes.data() + at + 20, r.values.size() * 8);
    out.push_back(std::move(r));
    at += len + 8;
  }
  return out;
}

// Every block of `hours` from the 1-hour records against AERMOD's; the
// values of type `slice` of `types`.
void blocks_agree(const std::string& run, const std::string& one_hour, const std::string& blocks, int hours,
                  Quantity q, std::size_t types = 1, std::size_t slice = 0) {
  SCOPED_TRACE(run + "/" + blocks);
  const auto surface = surface_file_of(kRuns + "/" + run + "/AERMOD.INP");
  ASSERT_TRUE(surface);
  const SurfaceHours met = SurfaceHours::read(*surface);
  const auto hourly = read_postfile(kRuns + "/" + run + "/" + one_hour);
  const auto aermod = read_postfile(kRuns + "/" + run + "/" + blocks);
  ASSERT_FALSE(aermod.empty());
  const std::size_t n = hourly.front().values.size() / types;
  BlockAverager avg(n, hours, q);
  std::size_t next = 0, flagged = 0;
  const auto compare = [&] {
    const ClosedBlock& b = avg.closed();
    ASSERT_LT(next, aermod.size());
    const Record& want = aermod[next++];
    ASSERT_EQ(hour_number(b.end), hour_number(want.end)) << next;
    flagged += b.flag != Flag::none ? 1 : 0;
    for (std::size_t k = 0; k < n; ++k) {
      const double w = want.values[slice * n + k];
      ASSERT_NEAR(b.values[k], w, 1e-9 * std::abs(w) + 1e-15) << "block " << next << ", receptor " << k + 1;
    }
  };
  for (const Record& r : hourly) {
    const std::span<const double> v(r.values.data() + slice * n, n);
    if (avg.add(r.end, met.at(r.end), v)) compare();
  }
  if (avg.finish()) compare();
  EXPECT_EQ(next, aermod.size());
  EXPECT_GT(flagged, 0U);
}

TEST(AnalysisAermodRuns, BlocksWithCalmAndMissingHoursAreAermods) {
  blocks_agree("hrdow-houston-1996", "STACK1_01H.BIN", "STACK1_03H.BIN", 3, Quantity::concentration);
  blocks_agree("hrdow-houston-1996", "STACK1_01H.BIN", "STACK1_08H.BIN", 8, Quantity::concentration);
  blocks_agree("hrdow-houston-1996", "STACK2_01H.BIN", "STACK2_24H.BIN", 24, Quantity::concentration);
  blocks_agree("pm25-design-value-3-years", "ALL_01H.BIN", "ALL_24H.BIN", 24, Quantity::concentration);
}

TEST(AnalysisAermodRuns, DepositionBlocksAreTotals) {
  // CONC, DDEP and WDEP in each record: the dry and wet deposition's 24 hours summed.
  blocks_agree("deposition-houston-1996-q1", "ALL_01H.BIN", "ALL_24H.BIN", 24, Quantity::concentration, 3, 0);
  blocks_agree("deposition-houston-1996-q1", "ALL_01H.BIN", "ALL_24H.BIN", 24, Quantity::deposition, 3, 1);
  blocks_agree("deposition-houston-1996-q1", "ALL_01H.BIN", "ALL_24H.BIN", 24, Quantity::deposition, 3, 2);
}

TEST(AnalysisAermodRuns, SurfaceFileOfAYearReadWithItsCalmAndMissingHours) {
  const SurfaceHours met = SurfaceHours::read(kRuns + "/hrdow-houston-1996/HOUSTON_ADJU.SFC");
  EXPECT_EQ(met.hours(), 8784U);
  EXPECT_EQ(met.calm() + met.missing(), 1958U);
}

}  // namespace
}  // namespace kestrel::analysis
