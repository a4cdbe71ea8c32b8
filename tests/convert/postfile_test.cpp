#include "convert/postfile.hpp"

#include <gtest/gtest.h>

#include "base/text.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

using test::Bytes;

TEST(DecodeKurdat, StampsAndCenturyWindow) {
  struct Case {
    std::int32_t kurdat;
    Stamp want;
  };
  const Case cases[] = {
      {88010124, {1988, 1, 1, 24}}, {2008123124, {2008, 12, 31, 24}}, {49123101, {2049, 12, 31, 1}},
      {51010101, {1951, 1, 1, 1}},  {50010101, {1950, 1, 1, 1}},      {99123124, {1999, 12, 31, 24}},
      {1010101, {2001, 1, 1, 1}},   {88130101, {1988, 13, 1, 1}},
  };
  for (const auto& c : cases) {
    const Stamp s = decode_kurdat(c.kurdat);
    EXPECT_EQ(s.iyr, c.want.iyr) << c.kurdat;
    EXPECT_EQ(s.imo, c.want.imo) << c.kurdat;
    EXPECT_EQ(s.idy, c.want.idy) << c.kurdat;
    EXPECT_EQ(s.ihr, c.want.ihr) << c.kurdat;
  }
}

struct Read {
  std::vector<std::vector<float>> values;
  std::vector<bool> real8;
  std::string list;
  Status halt;
  bool failed = false;
};

Read read_all(const Bytes& file, std::size_t nrecin) {
  Read r;
  io::MemorySource src(file);
  PostfileReader reader(src, nrecin, "POST.BIN");
  for (;;) {
    const auto res = reader.next();
    if (res == PostfileReader::Result::end_of_file) break;
    if (res == PostfileReader::Result::failure) {
      r.failed = true;
      r.halt = reader.failure();
      break;
    }
    r.values.push_back(reader.values());
    r.real8.push_back(reader.real8());
  }
  for (const auto& l : reader.retry_notes()) r.list += l + "\n";
  for (const auto& l : r.halt.lines()) r.list += l + "\n";
  return r;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(PostfileReader, EightByteFileReadsWithoutRetry) {
  const Read r = read_all(concat({test::postfile_record(88010101, {5.0, 0.1}),
                                  test::postfile_record(88010102, {1.0e-3, 7.0})}),
                          2);
  ASSERT_EQ(r.values.size(), 2U);
  EXPECT_EQ(r.values[0], (std::vector<float>{5.0F * 1.0e-6F, 0.1F * 1.0e-6F}));
  EXPECT_EQ(r.values[1][1], 7.0F * 1.0e-6F);
  EXPECT_EQ(r.real8, (std::vector<bool>{true, true}));
  EXPECT_EQ(r.list, "");
}

TEST(PostfileReader, ValueRoundsToFloatBeforeScaling) {
  // 0.1 as a double, rounded to float and then scaled, differs in the last
  // bit from the double scaled and rounded once.
  const double v = 0.30000001192092896 + 1.0e-17;
  const Read r = read_all(test::postfile_record(88010101, {v}), 1);
  EXPECT_EQ(r.values[0][0], static_cast<float>(v) * 1.0e-6F);
}

TEST(PostfileReader, FourByteFileIsReadAgainFromItsStart) {
  const Read r = read_all(concat({test::postfile_record(88010101, {5.0, 0.1}, false),
                                  test::postfile_record(88010102, {1.0, 2.0}, false)}),
                          2);
  ASSERT_EQ(r.values.size(), 2U);
  EXPECT_EQ(r.values[0][0], 5.0e-6F);
  EXPECT_EQ(r.real8, (std::vector<bool>{false, false}));
  EXPECT_EQ(r.list, " ERROR reading AERMOD file as R*8: POST.BIN\n Retry as R*4\n");
}

TEST(PostfileReader, RecordTooShortForBothModesFails) {
  const Read r = read_all(test::postfile_record(88010101, {1.0}, false), 3);
  EXPECT_TRUE(r.failed);
  EXPECT_TRUE(r.values.empty());
  EXPECT_EQ(r.halt.text(), "ERROR reading AERMOD file as R*4");
  EXPECT_EQ(r.list,
            " ERROR reading AERMOD file as R*8: POST.BIN\n Retry as R*4\n"
            " ERROR reading AERMOD file as R*4: POST.BIN\n");
}

}  // namespace
}  // namespace kestrel
