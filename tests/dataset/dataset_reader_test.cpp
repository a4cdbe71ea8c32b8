// The dataset reader: what the writer wrote read back, by period number and
// in order; every layout it refuses, every length marker it checks, and the
// byte it names.
#include "dataset/dataset_reader.hpp"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "base/text.hpp"
#include "dataset/header.hpp"
#include "dataset/period.hpp"
#include "support.hpp"

namespace kestrel::dataset {
namespace {

using test::Bytes;

// Offsets in the header of three receptors: each record's first byte.
constexpr std::size_t kRun = 396;        // record 5, the run description
constexpr std::size_t kRunPayload = kRun + 4;
constexpr std::size_t kFirstPeriod = 1067;

// Receptor i at (i, 2i) km, elevation i / 2; period p ends at hour p + 1 of
// 1988-03-01 and holds the values p * 10 + i.
Bytes dataset(std::size_t nrec, int periods) {
  std::vector<float> x(nrec), y(nrec), z(nrec);
  for (std::size_t i = 0; i < nrec; ++i) {
    x[i] = static_cast<float>(i);
    y[i] = 2.0F * static_cast<float>(i);
    z[i] = static_cast<float>(i) / 2.0F;
  }
  HeaderArgs a;
  a.dxkm = 1.0F;
  a.iyrb = 88, a.ijulb = 61, a.ihrb = 0, a.irlg = periods;
  a.xrec = x, a.yrec = y, a.zrec = z;
  a.ver = fixed("1.21", 12), a.level = fixed("100301", 12);
  a.speclev = "SO2           1", a.csrcnam = fixed("TOTAL", 16);
  a.atitle = {fixed("TITLE ONE", 80), std::string(80, '\0')};
  io::MemorySink sink;
  io::RecordWriter w(sink);
  wrout1(w, a);
  std::vector<float> v(nrec);
  for (int p = 0; p < periods; ++p) {
    write_period_head(w, {1988, 61, p}, {1988, 61, p + 1}, {0.5F, 1.0F});
    for (std::size_t i = 0; i < nrec; ++i) v[i] = static_cast<float>(p * 10 + static_cast<int>(i));
    write_values(w, a.speclev, v);
  }
  w.flush();
  return sink.data;
}

// A source that counts what is read of it.
class Counting final : public io::ByteSource {
 public:
  explicit Counting(const Bytes& b) : inner_(b) {}
  [[nodiscard]] std::uint64_t size() const override { return inner_.size(); }
  std::size_t read_at(std::uint64_t offset, std::span<std::byte> dest) override {
    const std::size_t n = inner_.read_at(offset, dest);
    bytes += n;
    ++calls;
    return n;
  }
  std::uint64_t bytes = 0;
  std::uint64_t calls = 0;

 private:
  io::MemorySource inner_;
};

// What the reader refuses: the message and the byte it names.
struct Refused {
  std::string what;
  std::uint64_t offset = 0;
};

template <class F>
Refused refused(F f) {
  try {
    f();
  } catch (const DatasetError& e) {
    return {e.what(), e.offset()};
  }
  return {"(not refused)", 0};
}

TEST(DatasetReader, ReadsBackWhatTheWriterWrote) {
  const Bytes b = dataset(3, 4);
  io::MemorySource src(b);
  DatasetReader r(src, 10000);
  EXPECT_EQ(r.header().kind, fixed("CONC.DAT", 16));
  EXPECT_EQ(r.header().speclev, "SO2           1");
  EXPECT_EQ(r.header().titles[0], fixed("TITLE ONE", 80));
  EXPECT_EQ(r.header().irlg, 4);
  EXPECT_EQ(r.receptors(), 3U);
  EXPECT_EQ(r.header().yrec[2], 4.0F);
  EXPECT_EQ(r.header().zrec[1], 0.5F);
  EXPECT_EQ(r.header().sources[0], 1);
  EXPECT_EQ(r.header().nspout, 1);
  EXPECT_EQ(r.first_period(), kFirstPeriod);
  EXPECT_EQ(r.period_size(), 40U + 40U + 8U + 15U + 12U);
  EXPECT_EQ(r.periods(), 4);
  EXPECT_EQ(r.trailing_bytes(), 0U);

  // In order.
  std::array<float, 3> v{};
  PeriodHead h;
  int p = 0;
  while (r.next(h, v)) {
    EXPECT_EQ(h.begin, (DateHour{1988, 61, p}));
    EXPECT_EQ(h.end, (DateHour{1988, 61, p + 1}));
    EXPECT_EQ(h.ksource, 1);
    EXPECT_EQ(std::string(h.source.data(), 16), fixed("TOTAL", 16));
    EXPECT_EQ(h.xc, 0.5F);
    EXPECT_EQ(h.yc, 1.0F);
    EXPECT_EQ(v, (std::array<float, 3>{p * 10.0F, p * 10.0F + 1, p * 10.0F + 2}));
    ++p;
  }
  EXPECT_EQ(p, 4);

  // By number, in any order.
  for (const std::int64_t k : {3, 0, 2, 2, 1}) {
    EXPECT_EQ(r.read(k, v).end.hr, k + 1);
    EXPECT_EQ(v[2], static_cast<float>(k * 10 + 2));
    EXPECT_EQ(r.head(k).end.hr, k + 1);
    const auto view = r.view(k);
    ASSERT_EQ(view.values.size(), 12U);
    EXPECT_EQ(io::get_f32(view.values.data() + 4), static_cast<float>(k * 10 + 1));
  }
  std::vector<std::int32_t> ends;
  r.scan([&](std::int64_t k, const PeriodHead& head) {
    EXPECT_EQ(k, static_cast<std::int64_t>(ends.size()));
    ends.push_back(head.end.hr);
  });
  EXPECT_EQ(ends, (std::vector<std::int32_t>{1, 2, 3, 4}));
}

TEST(DatasetReader, NoReceptorsNoPeriods) {
  const Bytes b = dataset(0, 0);
  io::MemorySource src(b);
  DatasetReader r(src, 10000);
  EXPECT_EQ(r.receptors(), 0U);
  EXPECT_EQ(r.first_period(), 1023U);
  EXPECT_EQ(r.periods(), 0);
  PeriodHead h;
  EXPECT_FALSE(r.next(h, {}));
  r.scan([](std::int64_t, const PeriodHead&) { FAIL(); });
}

// Small periods are read in large blocks; large ones head by head, so that
// a pass over the times of a year of 5,000 receptors reads kilobytes, not
// the 175 MB of its values.
TEST(DatasetReader, ScanReadsInBlocksOrHeadByHead) {
  {
    const Bytes b = dataset(3, 2000);
    Counting src(b);
    DatasetReader r(src, 10000);
    const std::uint64_t calls = src.calls;
    std::int64_t n = 0;
    r.scan([&](std::int64_t, const PeriodHead&) { ++n; });
    EXPECT_EQ(n, 2000);
    EXPECT_LE(src.calls - calls, 2U);  // 230 kB in one block of 1 MiB, and the end
  }
  {
    const Bytes b = dataset(5000, 30);
    Counting src(b);
    DatasetReader r(src, 10000);
    const std::uint64_t bytes = src.bytes;
    std::int64_t n = 0;
    r.scan([&](std::int64_t, const PeriodHead&) { ++n; });
    EXPECT_EQ(n, 30);
    EXPECT_LE(src.bytes - bytes, 30U * 103 + 4);
    // Reading the values is another matter: whole periods.
    std::vector<float> v(5000);
    EXPECT_EQ(r.read(29, v).end.hr, 30);
    EXPECT_EQ(v[4999], 290.0F + 4999.0F);
  }
}

TEST(DatasetReader, RefusesOtherLayouts) {
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    std::int32_t max_receptors;
    Refused want;
  };
  const std::string not_dataset =
      "is not a CONC.DAT, DFLX.DAT or WFLX.DAT dataset: its first record is not a dataset's (byte 0)";
  const Case cases[] = {
      {"a POSTFILE", [](Bytes& b) { b = test::postfile_record(88030101, {1.0, 2.0, 3.0}); }, 10000, {not_dataset, 0}},
      {"an empty file", [](Bytes& b) { b.clear(); }, 10000, {not_dataset, 0}},
      {"another name", [](Bytes& b) { b[4] = std::byte{'X'}; }, 10000, {not_dataset, 0}},
      {"version 2.0", [](Bytes& b) { b[4 + 16 + 2] = std::byte{'0'}; }, 10000,
       {"is a dataset of version '2.0', not 2.1 (byte 16)", 16}},
      {"two species levels", [](Bytes& b) { test::patch_i32(b, kRunPayload + 184, 2); }, 10000,
       {"holds 2 species levels, not one", 0}},
      {"a second source", [](Bytes& b) { test::patch_i32(b, kRunPayload + 144, 1); }, 10000,
       {"holds 2 sources, not one", 0}},
      {"no source", [](Bytes& b) { test::patch_i32(b, kRunPayload + 136, 0); }, 10000,
       {"holds 0 sources, not one", 0}},
      {"a sampling grid", [](Bytes& b) { test::patch_i32(b, kRunPayload + 180, 1); }, 10000,
       {"holds values at its sampling grid, not at discrete receptors alone", 0}},
      {"complex terrain", [](Bytes& b) { test::patch_i32(b, kRunPayload + 176, 4); }, 10000,
       {"holds 4 complex-terrain receptors, not discrete receptors alone", 0}},
      {"compressed", [](Bytes& b) { test::patch_i32(b, kRunPayload + 188, 1); }, 10000, {"holds compressed values", 0}},
      {"too many receptors", [](Bytes&) {}, 2,
       {"has a header that cannot be read: receptor count 3 is out of range (byte 396)", kRun}},
      {"cut in the run record", [](Bytes& b) { b.resize(600); }, 10000,
       {"has a header that cannot be read: ends inside or before the run description record (byte 396)", kRun}},
      {"cut in the receptor record", [](Bytes& b) { b.resize(1000); }, 10000,
       {"has a header that cannot be read: ends inside or before the receptor record (byte 995)", 995}},
      {"no source record", [](Bytes& b) { b.resize(1039); }, 10000,
       {"has a header that cannot be read: ends inside or before the source record (byte 1039)", 1039}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b = dataset(3, 2);
    c.change(b);
    io::MemorySource src(b);
    const Refused r = refused([&] { DatasetReader reader(src, c.max_receptors); });
    EXPECT_EQ(r.what, c.want.what);
    EXPECT_EQ(r.offset, c.want.offset);
  }
}

// Every length marker of a period and its species label, damaged in the
// second period: the same refusal from a scan, in order and by number.
TEST(DatasetReader, DamageNamedWithItsRecordAndByte) {
  for (const std::size_t nrec : {std::size_t{3}, std::size_t{5000}}) {
    const std::uint64_t period = 103 + 4 * nrec;
    const std::uint64_t first = 1023 + 8 + 12 * nrec;
    const std::uint64_t at = first + period;  // period 2
    struct Case {
      std::uint64_t offset;  // of the damage, in the period
      std::string what;      // after "is damaged: "
      std::uint64_t record;  // the record's first byte, in the period
    };
    const std::string values = std::to_string(15 + 4 * nrec);
    const Case cases[] = {
        {0, "the times record of period 2, at byte " + std::to_string(at) + ", has the length 33, not 32", 0},
        {36, "the times record of period 2, at byte " + std::to_string(at) + ", ends with the length 33, not 32", 0},
        {40, "the source record of period 2, at byte " + std::to_string(at + 40) + ", has the length 33, not 32", 40},
        {76, "the source record of period 2, at byte " + std::to_string(at + 40) + ", ends with the length 33, not 32",
         40},
        {80, "the values record of period 2, at byte " + std::to_string(at + 80) + ", has the length 33, not " + values,
         80},
        {period - 4,
         "the values record of period 2, at byte " + std::to_string(at + 80) + ", ends with the length 33, not " + values,
         80},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(nrec) + " receptors, damage at " + std::to_string(c.offset));
      Bytes b = dataset(nrec, 3);
      test::patch_i32(b, at + c.offset, 33);
      io::MemorySource src(b);
      DatasetReader r(src, 10000);
      EXPECT_EQ(r.periods(), 3);
      const Refused s = refused([&] { r.scan([](std::int64_t, const PeriodHead&) {}); });
      EXPECT_EQ(s.what, "is damaged: " + c.what);
      EXPECT_EQ(s.offset, at + c.record);
      EXPECT_EQ(refused([&] { r.view(1); }).what, s.what);
      std::vector<float> v(nrec);
      PeriodHead h;
      EXPECT_EQ(refused([&] {
                  while (r.next(h, v)) {
                  }
                }).what,
                s.what);
    }
    Bytes b = dataset(nrec, 3);
    std::memcpy(b.data() + at + 84, "NO2", 3);
    io::MemorySource src(b);
    DatasetReader r(src, 10000);
    EXPECT_EQ(refused([&] { r.head(1); }).what,
              "is damaged: the values record of period 2, at byte " + std::to_string(at + 80) +
                  ", is of species 'NO2           1', not the header's 'SO2           1'");
  }
}

// A file cut anywhere inside its last period holds the periods before it
// and is refused where the cut period begins.
TEST(DatasetReader, CutNamedWhereThePeriodBegins) {
  const Bytes whole = dataset(3, 3);
  const std::uint64_t period = 115;
  const std::uint64_t last = kFirstPeriod + 2 * period;
  ASSERT_EQ(whole.size(), last + period);
  for (std::uint64_t size = last + 1; size < last + period; ++size) {
    SCOPED_TRACE(size);
    const Bytes b(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    io::MemorySource src(b);
    DatasetReader r(src, 10000);
    EXPECT_EQ(r.periods(), 2);
    EXPECT_EQ(r.trailing_bytes(), size - last);
    const std::string want = "ends inside period 3, which begins at byte " + std::to_string(last) + " (the file has " +
                             std::to_string(size) + " bytes)";
    const Refused s = refused([&] { r.scan([](std::int64_t, const PeriodHead&) {}); });
    EXPECT_EQ(s.what, want);
    EXPECT_EQ(s.offset, last);
    std::array<float, 3> v{};
    PeriodHead h;
    EXPECT_TRUE(r.next(h, v));
    EXPECT_TRUE(r.next(h, v));
    EXPECT_EQ(refused([&] { r.next(h, v); }).what, want);
  }
}

}  // namespace
}  // namespace kestrel::dataset
