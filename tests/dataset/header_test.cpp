#include "dataset/header.hpp"

#include <gtest/gtest.h>

#include <array>

#include "io/byte_order.hpp"
#include "dataset/period.hpp"
#include "support.hpp"

namespace kestrel::dataset {
namespace {

using test::ByteBuilder;
using test::Bytes;

const std::array<float, 3> kX{0.5F, 1.0F, 2.0F};
const std::array<float, 3> kY{-0.25F, 0.0F, 0.75F};
const std::array<float, 3> kZ{12.5F, 0.0F, 3.0F};

HeaderArgs sample_args(std::size_t nrec) {
  HeaderArgs a;
  a.dxkm = 1.5F;
  a.xorigkm = -1.0F;
  a.yorigkm = 2.0F;
  a.iyrb = 88;
  a.ijulb = 60;
  a.ihrb = 0;
  a.irlg = 96;
  a.xrec = std::span<const float>(kX).first(nrec);
  a.yrec = std::span<const float>(kY).first(nrec);
  a.zrec = std::span<const float>(kZ).first(nrec);
  a.ver = "1.21        ";
  a.level = "100301      ";
  a.speclev = "SO2           1";
  a.csrcnam = "TOTAL           ";
  a.atitle = {std::string("A SIMPLE RUN") + std::string(68, ' '), std::string(80, '\0')};
  return a;
}

Bytes written(const HeaderArgs& a) {
  io::MemorySink sink;
  io::RecordWriter w(sink);
  wrout1(w, a);
  w.flush();
  return sink.data;
}

TEST(Wrout1, WholeHeaderByteForByte) {
  for (std::size_t nrec : {3U, 1U, 0U}) {
    const HeaderArgs a = sample_args(nrec);
    const Bytes got = written(a);
    const Bytes want = test::expected_header(a);
    EXPECT_EQ(test::first_difference(got, want), "") << nrec << " receptors";
    EXPECT_EQ(got.size(), nrec == 0 ? 1023U : 1023U + 8 + 12 * nrec);
  }
  EXPECT_EQ(written(sample_args(3)).size(), 1067U);
}

TEST(Wrout1, Record5Offsets) {
  const Bytes h = written(sample_args(3));
  const std::size_t rec5 = 104 + 12 + 140 + 140 + 4;  // payload start
  EXPECT_EQ(io::get_i32(h.data() + rec5 - 4), 320);
  EXPECT_EQ(io::get_f32(h.data() + rec5 + 76), 1.5F);
  EXPECT_EQ(io::get_f32(h.data() + rec5 + 80), 1.5F);
  EXPECT_EQ(io::get_le32(h.data() + rec5 + 52), 0x40A00000U);   // xbtz 5.0
  EXPECT_EQ(io::get_le32(h.data() + rec5 + 212), 0xC2C20000U);  // relon0 -97.0
  EXPECT_EQ(io::get_i32(h.data() + rec5 + 172), 3);             // nrec
  // A title never set is 80 zero bytes (payload bytes 81 to 160 of record 6).
  const std::size_t rec6 = rec5 + 320 + 4 + 4;
  for (std::size_t i = 80; i < 160; ++i) ASSERT_EQ(h[rec6 + i], std::byte{0});
}

TEST(Wrout1, CommentLine1SqueezesVersionAndLevel) {
  struct Case {
    std::string ver, level, want;
  };
  const Case cases[] = {
      {"1.21        ", "100301      ", "Produced by KESTREL Version: 1.21  Level: 100301"},
      {"1.2 3       ", "100301      ", "Produced by KESTREL Version: 1.23  Level: 100301"},
      {"            ", "100301      ", "Produced by KESTREL Version:   Level: 100301"},
      {"1.21        ", "ABCDEFGHIJ  ", "Produced by KESTREL Version: 1.21  Level: ABCDEFGH"},
      {"12345678XYZW", "1 2 3 4 5 6 ", "Produced by KESTREL Version: 12345678  Level: 1234"},
  };
  for (const auto& c : cases) {
    const std::string line = comment_line1(c.ver, c.level);
    EXPECT_EQ(line.size(), 132U);
    EXPECT_EQ(line.substr(0, c.want.size()), c.want);
    EXPECT_EQ(line.find_first_not_of(' ', c.want.size()), std::string::npos) << line;
  }
}

TEST(FormatCfactor, ScientificWithZeroIntegerPart) {
  struct Case {
    float v;
    std::string want;
  };
  const Case cases[] = {
      {1.0e-6F, "       0.1000000E-05"}, {-2.5F, "      -0.2500000E+01"}, {0.0F, "       0.0000000E+00"},
      {123456789.0F, "       0.1234568E+09"}, {1.0e-30F, "       0.1000000E-29"}, {1.0e-38F, "       0.9999999E-38"}, {0.99999999F, "       0.1000000E+01"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_cfactor(c.v), c.want) << c.v;
}

TEST(Period, ThreeRecordsOfStamp88010101) {
  io::MemorySink sink;
  io::RecordWriter w(sink);
  write_period_head(w, {1988, 1, 0}, {1988, 1, 1}, {2.0F, 0.5F});
  const std::array<float, 3> v{1.0e-6F, 0.0F, 2.5e-6F};
  write_values(w, "SO2           1", v);
  w.flush();
  const Bytes want = ByteBuilder()
                         .i32(1988).i32(1).i32(0).i32(0).i32(1988).i32(1).i32(1).i32(0).record()
                         .i32(0).i32(1).text("TOTAL           ").f32(2.0F).f32(0.5F).record()
                         .text("SO2           1").f32(1.0e-6F).f32(0.0F).f32(2.5e-6F).record()
                         .bytes();
  EXPECT_EQ(sink.data, want);
  EXPECT_EQ(io::get_i32(sink.data.data()), 32);
  EXPECT_EQ(io::get_i32(sink.data.data() + 40), 32);
  EXPECT_EQ(io::get_i32(sink.data.data() + 80), 27);
}

}  // namespace
}  // namespace kestrel::dataset
